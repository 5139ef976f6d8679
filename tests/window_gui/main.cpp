// The tests need a QApplication on a display; listing them does not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "platform/qt/system/Translations.h"

int main(int argc, char** argv) {
  // The language the program picks for the environment it was started in
  // (the language tests start this binary so, with the environment to try):
  // the translation loaded, and how the open dialog's title reads.
  if (argc > 1 && std::strcmp(argv[1], "--print-language") == 0) {
    QApplication app(argc, argv);
    const QString language = quillet::qt::installTranslations(app);
    std::printf("%s\n%s\n", qPrintable(language),
                qPrintable(quillet::qt::translated(quillet::qt::kOpenDialogContext,
                                                   "Select file to open")));
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return RUN_ALL_TESTS();
}
