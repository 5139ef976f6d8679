#include <gtest/gtest.h>

#include "tests/fakes/FakePlatform.h"

namespace quillet::fakes {
namespace {

// The fake window keeps the client size across border changes, like a real
// one, so the frame can be measured the way the program does.
TEST(FakeWindow, BorderChangesKeepTheClientSize) {
  FakePlatform p;
  auto& w = p.window;
  ASSERT_TRUE(w.setBorderStyle(kBorderNone));
  double bare = *w.height();
  ASSERT_TRUE(w.setBorderStyle(kBorderSizable));
  EXPECT_EQ(*w.height() - bare, w.frameH);
}

}  // namespace
}  // namespace quillet::fakes
