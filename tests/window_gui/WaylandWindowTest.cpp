// The real main window as a native client of a headless Wayland compositor
// (run through tools/headless-wayland.sh: sway, or weston with
// QUILLET_WAYLAND_COMPOSITOR=weston); skipped on any other platform.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <functional>

#include "platform/qt/wayland/Decorations.h"
#include "platform/qt/window/QtWindow.h"

namespace quillet::guitest {
namespace {

constexpr const char* kNoDecorations = "QT_WAYLAND_DISABLE_WINDOWDECORATION";

struct OnWayland : ::testing::Test {
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
      GTEST_SKIP() << "needs a Wayland session (tools/headless-wayland.sh)";
  }
  static bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > ms) return false;
      QTest::qWait(20);
    }
    return true;
  }
  static qt::QtWindowOptions noBanner() {
    qt::QtWindowOptions o;
    o.bannerDelay.reset();
    return o;
  }
};

// sway offers the decoration manager and draws the title bars, so Qt is told
// to draw none; weston offers none, and Qt draws its own. A choice the user
// made stands.
TEST_F(OnWayland, TitleBarsAreLeftToACompositorThatDrawsThem) {
  const bool westonSession = qEnvironmentVariable("QUILLET_WAYLAND_COMPOSITOR") == "weston";
  const QByteArray before = qgetenv(kNoDecorations);
  qunsetenv(kNoDecorations);
  qt::leaveTitleBarsToTheCompositor();
  EXPECT_EQ(qEnvironmentVariableIsSet(kNoDecorations), !westonSession);
  qputenv(kNoDecorations, "0");
  qt::leaveTitleBarsToTheCompositor();
  EXPECT_EQ(qgetenv(kNoDecorations), "0");
  if (before.isNull())
    qunsetenv(kNoDecorations);
  else
    qputenv(kNoDecorations, before);
}

// Full screen asked for before the window first shows is what it shows in:
// the compositor's full-screen state over the whole output, with no frame.
TEST_F(OnWayland, FullScreenAskedBeforeTheFirstShowIsShown) {
  qt::QtWindow window{noBanner()};
  window.learnFrame();
  ASSERT_TRUE(window.setBorderStyle(kBorderNone));
  ASSERT_TRUE(window.setCaption("Quillet"));
  ASSERT_TRUE(window.show());
  QWidget& w = window.widget();
  const QSize output = w.screen()->geometry().size();
  EXPECT_TRUE(waitFor([&] {
    return w.windowHandle() && w.windowHandle()->windowStates().testFlag(Qt::WindowFullScreen) &&
           w.size() == output;
  })) << "state "
      << (w.windowHandle() ? int(w.windowHandle()->windowStates()) : -1) << ", " << w.width() << "x"
      << w.height();
  EXPECT_EQ(window.frame(), QMargins());
  EXPECT_EQ(*window.height(), output.height() * 15);
}

}  // namespace
}  // namespace quillet::guitest
