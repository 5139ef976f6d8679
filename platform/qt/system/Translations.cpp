#include "platform/qt/system/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

namespace quillet::qt {

namespace {

Q_LOGGING_CATEGORY(lcLanguage, "quillet.language", QtWarningMsg)

// The logic's texts, for lupdate: they are looked up by these same English
// words at run time (translated() below).
[[maybe_unused]] constexpr const char* kLogicTexts[] = {
    QT_TRANSLATE_NOOP("quillet::Messages",
                      "You need to have installed Flash Player prior to running this software. Do "
                      "you want to download it now?"),
    QT_TRANSLATE_NOOP("quillet::Messages",
                      "You need to have installed Flash Player version 8 or higher prior to "
                      "running this software. Do you want to download it now?"),
    QT_TRANSLATE_NOOP("quillet::OpenDialog", "Select file to open"),
    QT_TRANSLATE_NOOP("quillet::OpenDialog", "Flash video files (*.flv)"),
    QT_TRANSLATE_NOOP("quillet::OpenDialog", "All Files (*.*)"),
};

}  // namespace

QString installTranslations(QCoreApplication& app) {
  const QLocale locale = QLocale::system();
  auto* own = new QTranslator(&app);
  if (!own->load(locale, QStringLiteral("quillet"), QStringLiteral("_"),
                 QStringLiteral(":/i18n"))) {
    qCDebug(lcLanguage) << "no translation for" << locale.uiLanguages() << "- texts stay English";
    delete own;
    return {};
  }
  QCoreApplication::installTranslator(own);
  // Qt's own words (Yes, No, the file dialog's) in the same language, where
  // the system has them.
  auto* qt = new QTranslator(&app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt);
  } else {
    qCDebug(lcLanguage) << "Qt's own translation is not installed for" << own->language();
    delete qt;
  }
  qCDebug(lcLanguage) << "language" << own->language();
  return own->language();
}

QString translated(const char* context, const std::string& english) {
  return QCoreApplication::translate(context, english.c_str());
}

}  // namespace quillet::qt
