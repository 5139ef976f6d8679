#pragma once
// The desktop's language for everything a user reads. The program's logic
// keeps its texts in English, byte for byte; they are translated here, at
// the Qt edge, by looking the English text up in a context. A language
// without a translation, and English, keep the texts exactly as they are.

#include <QString>
#include <string>

class QCoreApplication;

namespace quillet::qt {

// The contexts the logic's texts are looked up in.
inline constexpr const char* kMessagesContext = "quillet::Messages";
inline constexpr const char* kOpenDialogContext = "quillet::OpenDialog";

// Loads Quillet's own translation and Qt's (the message box's buttons, the
// file dialog) for the desktop's language (QLocale::system(), LANGUAGE
// first); the translators are children of app. Returns the language loaded,
// empty when none.
QString installTranslations(QCoreApplication& app);

// The translation of one of the logic's English texts, or the text itself.
QString translated(const char* context, const std::string& english);

}  // namespace quillet::qt
