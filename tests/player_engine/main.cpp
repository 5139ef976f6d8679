// The engine's tests need an event loop (libmpv's wake-ups arrive as queued
// calls) but no display.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
  // No sound device in tests, and no probing for one.
  setenv("QUILLET_AO", "null", 0);
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
