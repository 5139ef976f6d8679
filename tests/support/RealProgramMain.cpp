// The tests run the real window and player: they need a display, a private
// temporary folder (the player movie goes there) and no sound device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  char folder[] = "/tmp/quillet-hostile-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  setenv("TMPDIR", folder, 1);
  setenv("QUILLET_AO", "null", 1);
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const int result = RUN_ALL_TESTS();
  // Whatever a test left in the folder is its failure, already reported.
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return result;
}
