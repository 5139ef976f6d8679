#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/window/QtControlHost.h"
#include "platform/qt/window/QtWindow.h"
#include "shell/WebLinks.h"
#include "tests/fakes/FakePlatform.h"
#include "tests/window_gui/TestComponent.h"
#include "window/Form1.h"

namespace quillet::guitest {
namespace {

using qt::QtWindow;

bool waitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

// The frame the window manager has put around a mapped window, read from
// the window's own property.
qt::FrameExtents frameOnScreen(QWidget& w) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return {};
  xcb_connection_t* c = x11->connection();
  auto* atomReply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 18, "_NET_FRAME_EXTENTS"), nullptr);
  if (!atomReply) return {};
  const xcb_atom_t atom = atomReply->atom;
  std::free(atomReply);
  auto* reply = xcb_get_property_reply(
      c,
      xcb_get_property(c, 0, static_cast<xcb_window_t>(w.winId()), atom, XCB_ATOM_CARDINAL, 0, 4),
      nullptr);
  qt::FrameExtents e;
  if (reply && reply->format == 32 && reply->value_len == 4) {
    auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    e = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
         static_cast<int>(v[3])};
  }
  std::free(reply);
  return e;
}

// Announces a frame for the window as a window manager would.
void setFrameOnScreen(QWidget& w, const qt::FrameExtents& e) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_NE(x11, nullptr);
  xcb_connection_t* c = x11->connection();
  auto* atomReply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 18, "_NET_FRAME_EXTENTS"), nullptr);
  ASSERT_NE(atomReply, nullptr);
  const uint32_t values[4] = {static_cast<uint32_t>(e.left), static_cast<uint32_t>(e.right),
                              static_cast<uint32_t>(e.top), static_cast<uint32_t>(e.bottom)};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(w.winId()),
                      atomReply->atom, XCB_ATOM_CARDINAL, 32, 4, values);
  xcb_flush(c);
  std::free(atomReply);
}

// Records what the window tells its logic.
struct Recorder : WindowEvents {
  void Form_Resize() override { ++resizes; }
  void Form_Unload() override { ++unloads; }
  void OpenFile_Click() override { clicks.push_back("OpenFile"); }
  void Command1_Click() override { clicks.push_back("Command1"); }
  void Check1_Click() override { clicks.push_back("Check1"); }
  int resizes = 0, unloads = 0;
  std::vector<std::string> clicks;
};

qt::QtWindowOptions noBanner() {
  qt::QtWindowOptions o;
  o.bannerDelay.reset();  // the tests stay off the network
  return o;
}

// Form1 on the real window, control host and screen; everything that would
// reach outside the test (registry, files, processes) stays a fake.
struct RealWindow : ::testing::Test {
  RealWindow() {
    components.registerComponent("ShockwaveFlash.ShockwaveFlash",
                                 [] { return std::make_unique<TestComponent>(); });
  }
  fakes::FakePlatform fakes;
  QtWindow window{noBanner()};
  qt::QtScreen screen{window};
  qt::QtComponentRegistry components;
  qt::QtControlHost controls{window.widget(), components};
  Platform platform{window,           screen,          controls,    components,
                    fakes.messageBox, fakes.processes, fakes.files, fakes.registry,
                    fakes.dialogs,    fakes.drops,     fakes.trace};
  Form1 form{platform};

  // The initial size and layout, for the frame the window manager drew.
  void expectSizedAndLaidOutFor(const qt::FrameExtents& real) {
    QWidget& w = window.widget();
    const QRect outer = w.geometry().adjusted(-real.left, -real.top, real.right, real.bottom);
    // 640 pixels wide outside, frame included.
    EXPECT_EQ(outer.width(), 640);
    // The measured frame is the window manager's real one.
    EXPECT_EQ(form.measuredFrameHeight(), (real.top + real.bottom) * 15);
    // Outer height 480 pixels plus the panel less the frame.
    EXPECT_EQ(outer.height(), 480 + 48 - (real.top + real.bottom));
    EXPECT_EQ(*window.height(), outer.height() * 15);
    EXPECT_EQ(*window.width(), 640 * 15);

    // Panel and banner keep their heights, the banner ends on the client
    // area's bottom edge and the panel sits right above it.
    const QRect panel = window.picture3Widget().geometry();
    const QRect banner = window.banner().strip().geometry();
    EXPECT_EQ(panel.height(), 48);
    EXPECT_EQ(banner.height(), 81);
    EXPECT_EQ(banner.bottom() + 1, w.height());
    EXPECT_EQ(panel.bottom() + 1, banner.top());
    EXPECT_EQ(panel.width(), 640);
    EXPECT_EQ(banner.width(), 633);  // 9500 twips
    // The player fills the area above the panel.
    QWidget* player = controls.widgetOf("flashplayer");
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isVisible());
    EXPECT_EQ(player->geometry(), QRect(0, 0, 640, panel.top()));
  }
};

TEST_F(RealWindow, AppearsAsDesigned) {
  ASSERT_DOUBLE_EQ(screen.twipsPerPixelX(), 15.0) << "the test expects 96 DPI";
  form.Show();
  QWidget& w = window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  // The frame as the window manager draws it, read from the X server: Qt's
  // own idea of it (frameGeometry) is cached and, when the window manager
  // reparents the window after Qt's first look, can stay empty.
  ASSERT_TRUE(waitFor([&] {
    const qt::FrameExtents e = frameOnScreen(w);
    return e.top + e.bottom > 0;
  }));
  const qt::FrameExtents real = frameOnScreen(w);
  const QRect outer = w.geometry().adjusted(-real.left, -real.top, real.right, real.bottom);
  expectSizedAndLaidOutFor(real);

  EXPECT_EQ(w.windowTitle(), "Quillet");
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_TRUE(window.openFileButton().isVisible());
  EXPECT_EQ(window.openFileButton().text(), "Open File");
  EXPECT_TRUE(window.command1Button().isVisible());
  EXPECT_EQ(window.command1Button().text(), "Website");
  EXPECT_TRUE(window.check1Box().isVisible());
  EXPECT_EQ(window.check1Box().text(), "Associate with .flv files");
  EXPECT_TRUE(window.check1Box().isChecked());
  EXPECT_EQ(window.check1().value(), 1);
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));

  // Centred on the screen.
  const QRect area = w.screen()->availableGeometry();
  EXPECT_NEAR(outer.center().x(), area.center().x(), 1);
  EXPECT_NEAR(outer.center().y(), area.center().y(), 1);

  // The banner page was asked for, to be loaded once the web engine starts.
  EXPECT_EQ(window.banner().address().toString().toStdString(), bannerAddress());
  EXPECT_EQ(window.banner().helper().processId(), 0);
}

// A window manager that is busy while the window is made (held still for
// 1.5 s) still gives the window its real frame: the load waits for its
// answer, so the size, the measured frame and the layout are right.
TEST_F(RealWindow, KeepsItsFrameWhenTheWindowManagerAnswersLate) {
  const char* wmPid = std::getenv("QUILLET_WM_PID");
  if (!wmPid) GTEST_SKIP() << "needs the window manager of tools/headless.sh";
  const pid_t wm = static_cast<pid_t>(std::atol(wmPid));
  ASSERT_GT(wm, 0);
  ASSERT_EQ(::kill(wm, SIGSTOP), 0);
  // The release runs on its own, so that the window manager goes on even
  // when this test does not.
  const bool releaseStarted = QProcess::startDetached(
      "/bin/sh", {"-c", QStringLiteral("sleep 1.5; kill -CONT %1").arg(wm)});
  if (!releaseStarted) ::kill(wm, SIGCONT);
  ASSERT_TRUE(releaseStarted);
  struct Release {
    pid_t wm;
    ~Release() { ::kill(wm, SIGCONT); }
  } release{wm};

  form.Show();
  QWidget& w = window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 20000));
  ASSERT_TRUE(waitFor([&] {
    const qt::FrameExtents e = frameOnScreen(w);
    return e.top + e.bottom > 0;
  }));
  QTest::qWait(200);  // anything the window does about a late frame, it has done
  expectSizedAndLaidOutFor(frameOnScreen(w));
}

// The next widget the Tab key goes to, as Qt walks its focus chain.
QWidget* nextTabStop(QWidget* w) {
  for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain())
    if ((n->focusPolicy() & Qt::TabFocus) && n->isEnabled()) return n;
  return w;
}

TEST_F(RealWindow, ControlsAreInTheirTabOrder) {
  EXPECT_EQ(nextTabStop(&window.openFileButton()), &window.check1Box());
  EXPECT_EQ(nextTabStop(&window.check1Box()), &window.command1Button());
  EXPECT_EQ(nextTabStop(&window.command1Button()), &window.banner().strip());
  EXPECT_EQ(nextTabStop(&window.banner().strip()), &window.openFileButton());
  // Left to right: Open File, Website, the check box.
  EXPECT_LT(window.openFileButton().x(), window.command1Button().x());
  EXPECT_LT(window.command1Button().x(), window.check1Box().x());
  EXPECT_EQ(window.openFileButton().size(), QSize(84, 23));
}

TEST_F(RealWindow, HandleIsTheNativeWindow) {
  form.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window.widget()));
  EXPECT_EQ(QWidget::find(static_cast<WId>(window.hWnd())), &window.widget());
}

struct BareWindow : ::testing::Test {
  BareWindow() { window.setEvents(&events); }
  Recorder events;
  QtWindow window{noBanner()};
};

// Setting a new size reaches the layout before the setter returns, hidden or
// shown; the same size again does not.
TEST_F(BareWindow, SizeChangesRunTheLayoutAtOnce) {
  const qt::FrameExtents e = window.frameExtents();
  EXPECT_TRUE(window.setWidth(9600));
  EXPECT_EQ(events.resizes, 1);
  EXPECT_EQ(window.widget().width(), 640 - e.left - e.right);
  EXPECT_EQ(*window.width(), 9600);
  EXPECT_TRUE(window.setWidth(9600));
  EXPECT_EQ(events.resizes, 1);

  EXPECT_TRUE(window.show());
  EXPECT_EQ(events.resizes, 2);  // the first display lays the window out
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window.widget()));
  const int before = events.resizes;
  EXPECT_TRUE(window.setHeight(6000));
  EXPECT_EQ(events.resizes, before + 1);
  EXPECT_EQ(*window.height(), 6000);
  EXPECT_FALSE(window.setHeight(-15));
  EXPECT_EQ(*window.height(), 6000);
}

TEST_F(BareWindow, ButtonsAndCloseReachTheirHandlers) {
  EXPECT_TRUE(window.show());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window.widget()));
  QTest::mouseClick(&window.openFileButton(), Qt::LeftButton);
  QTest::mouseClick(&window.check1Box(), Qt::LeftButton);
  QTest::mouseClick(&window.command1Button(), Qt::LeftButton);
  EXPECT_EQ(events.clicks, (std::vector<std::string>{"OpenFile", "Check1", "Command1"}));
  EXPECT_EQ(window.check1().value(), 0);
  window.widget().close();
  EXPECT_EQ(events.unloads, 1);
}

// Without a border the outer size is the client size; with it again the
// window manager's frame is back, and the client area stays as it was. The
// window stays mapped throughout: the window manager redraws its frame in
// place.
TEST_F(BareWindow, BorderChangesApplyWithTheCaption) {
  EXPECT_TRUE(window.show());
  QWidget& w = window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  ASSERT_TRUE(waitFor([&] { return frameOnScreen(w).top > 0; }));
  const QSize client = window.widget().size();
  const double framed = *window.height();
  const WindowHandle handle = window.hWnd();
  QSignalSpy mapping(w.windowHandle(), &QWindow::visibleChanged);

  EXPECT_TRUE(window.setBorderStyle(kBorderNone));
  EXPECT_FALSE(window.widget().windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window.setCaption("Quillet"));
  EXPECT_TRUE(window.widget().windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(*window.height(), client.height() * 15);
  EXPECT_EQ(window.widget().size(), client);
  EXPECT_TRUE(window.widget().isVisible());
  EXPECT_TRUE(waitFor([&] { return frameOnScreen(w) == qt::FrameExtents{}; }));

  EXPECT_TRUE(window.setBorderStyle(kBorderSizable));
  EXPECT_TRUE(window.setCaption("Quillet"));
  EXPECT_FALSE(window.widget().windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(*window.height(), framed);
  EXPECT_EQ(window.widget().size(), client);
  EXPECT_TRUE(waitFor([&] { return frameOnScreen(w).top > 0; }));
  EXPECT_EQ(mapping.count(), 0);
  // Drops are tied to the handle: it outlives border changes.
  EXPECT_EQ(window.hWnd(), handle);
  EXPECT_FALSE(window.setBorderStyle(1));
}

// When the window manager announces another frame (a late answer, a new
// decoration), the outer size follows and the window is laid out again.
TEST_F(BareWindow, FollowsTheFrameTheWindowManagerAnnounces) {
  EXPECT_TRUE(window.show());
  QWidget& w = window.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  ASSERT_TRUE(waitFor([&] { return frameOnScreen(w) == window.frameExtents(); }));
  const int before = events.resizes;

  const qt::FrameExtents other{3, 4, 30, 7};
  setFrameOnScreen(w, other);
  ASSERT_TRUE(waitFor([&] { return window.frameExtents() == other; }));
  EXPECT_EQ(events.resizes, before + 1);
  EXPECT_EQ(*window.width(), (w.width() + 7) * 15);
  EXPECT_EQ(*window.height(), (w.height() + 37) * 15);
}

// The outer frame's corner goes where it is put and reads back the same.
TEST_F(BareWindow, PositionIsTheOuterCorner) {
  EXPECT_TRUE(window.setLeft(100 * 15));
  EXPECT_TRUE(window.setTop(50 * 15));
  EXPECT_TRUE(window.show());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window.widget()));
  QWidget& w = window.widget();
  const auto outerCorner = [&] {
    const qt::FrameExtents e = frameOnScreen(w);
    return w.geometry().topLeft() - QPoint(e.left, e.top);
  };
  ASSERT_TRUE(waitFor([&] { return outerCorner() == QPoint(100, 50); }))
      << outerCorner().x() << "," << outerCorner().y();
  EXPECT_EQ(*window.outerLeft(), 1500);
  EXPECT_EQ(*window.outerTop(), 750);
}

}  // namespace
}  // namespace quillet::guitest
