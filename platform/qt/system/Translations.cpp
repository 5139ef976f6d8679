#include "platform/qt/system/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>
#include <memory>
#include <optional>

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
  // The desktop's languages in the user's order (LANGUAGE's chain first).
  // The first one Quillet speaks wins; English, which has no file, wins
  // where it stands: the texts stay as they are written.
  const QStringList wanted = QLocale::system().uiLanguages();
  auto own = std::make_unique<QTranslator>();
  std::optional<QLocale> locale;
  for (const QString& name : wanted) {
    const QLocale candidate(name);
    if (candidate.language() == QLocale::English) break;
    if (candidate.language() == QLocale::C) continue;
    if (own->load(candidate, QStringLiteral("quillet"), QStringLiteral("_"),
                  QStringLiteral(":/i18n"))) {
      locale = candidate;
      break;
    }
  }
  // Each translator goes to the application only once it has loaded.
  if (!locale) {
    qCDebug(lcLanguage) << "no translation for" << wanted << "- texts stay English";
    return {};
  }
  const QString language = own->language();
  own->setParent(&app);
  QCoreApplication::installTranslator(own.release());
  // Qt's own words (Yes, No, the file dialog's) in the same language, where
  // the system has them.
  auto qt = std::make_unique<QTranslator>();
  if (qt->load(*locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    qt->setParent(&app);
    QCoreApplication::installTranslator(qt.release());
  } else {
    qCDebug(lcLanguage) << "Qt's own translation is not installed for" << language;
  }
  qCDebug(lcLanguage) << "language" << language;
  return language;
}

QString translated(const char* context, const std::string& english) {
  return QCoreApplication::translate(context, english.c_str());
}

}  // namespace quillet::qt
