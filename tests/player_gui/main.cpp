// The player's surface under a real QApplication; the offscreen platform
// unless the environment picks another.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No sound device in tests, and no probing for one.
  setenv("QUILLET_AO", "null", 0);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
