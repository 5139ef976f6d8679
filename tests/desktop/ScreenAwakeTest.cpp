// Keeping the screen awake on each desktop: stand-in services on a private
// session bus write down every call, and the session's player is a fake.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>

#include "platform/qt/desktop/ScreenSaverInhibitor.h"
#include "quillet/Installation.h"

namespace {

using quillet::qt::MediaSession;
using quillet::qt::ScreenSaverInhibitor;
using namespace std::chrono_literals;

const QString kScreenSaver = "org.freedesktop.ScreenSaver";
const QString kPower = "org.freedesktop.PowerManagement";
const QString kSession = "org.gnome.SessionManager";

bool waitUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

class FakeSession final : public MediaSession {
 public:
  void set(State s) {
    now = s;
    emit stateChanged();
  }
  State state() const override { return now; }
  Video video() const override { return {1, "/v/c.flv", "c", 10, "file:///v/c.flv"}; }
  bool canPlay() const override { return true; }
  bool canSeek() const override { return true; }
  double position() const override { return 0; }
  int volume() const override { return 100; }
  double speed() const override { return 1; }
  quillet::player::PlaybackCommands& commands() override { return none; }

 private:
  State now = State::Stopped;
  quillet::player::NoPlaybackCommands none;
};

// The X server's own hold, as a stand-in that writes down what it is asked.
class FakeServer final : public quillet::qt::ServerScreenHold {
 public:
  explicit FakeServer(QStringList& log) : log(log) {}
  bool canHold() const override { return true; }
  bool hold() override {
    log << "x hold";
    return true;
  }
  void release() override { log << "x release"; }

 private:
  QStringList& log;
};

// One stand-in process owning the names given; its calls, in order.
class Services {
 public:
  explicit Services(const QStringList& names, const QStringList& options = {}) {
    log = dir.filePath("calls.log");
    process.start("/usr/bin/python3", QStringList{QUILLET_FAKE_SERVICES, log} + names + options);
    ready = waitUntil([&] { return read().contains("ready"); });
  }
  ~Services() { stop(); }
  void stop() {
    process.kill();
    process.waitForFinished(10000);
  }
  QStringList calls() const {
    QStringList lines = read();
    lines.removeAll("ready");
    return lines;
  }
  bool ready = false;

 private:
  QStringList read() const {
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  QTemporaryDir dir;
  QString log;
  QProcess process;
};

// A session bus of the test's own, and the application the bus needs.
class ScreenAwake : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "desktop_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"});
    ASSERT_TRUE(daemon.waitForFinished(30000));
    const QStringList out = QString::fromUtf8(daemon.readAllStandardOutput()).split('\n');
    ASSERT_GE(out.size(), 2);
    qputenv("DBUS_SESSION_BUS_ADDRESS", out[0].toUtf8());
    busPid = out[1].toLongLong();
  }
  static void TearDownTestSuite() {
    if (busPid > 0) QProcess::execute("kill", {QString::number(busPid)});
    app.reset();
  }
  static inline std::unique_ptr<QCoreApplication> app;
  static inline qint64 busPid = 0;
};

// GNOME offers the screen saver and its session manager, Xfce its power
// manager under two names, MATE only the session manager: the first in that
// order is asked, once while playing, given back on pause and on close.
TEST_F(ScreenAwake, EachDesktopIsAskedThroughItsOwnService) {
  const QString appId = QString::fromLatin1(quillet::installation::kAppId);
  const struct {
    const char* desktop;
    QStringList names;
    QString inhibit, uninhibit;  // empty: nothing asked
  } profiles[] = {
      {"GNOME",
       {kScreenSaver, kSession},
       "inhibit 41 Quillet " + kScreenSaver,
       "uninhibit 41 " + kScreenSaver},
      {"Xfce",
       {kPower, "org.xfce.PowerManager"},
       "inhibit 41 Quillet " + kPower,
       "uninhibit 41 " + kPower},
      {"MATE",
       {kSession},
       "inhibit 41 " + appId + " " + kSession + " 0 8",
       "uninhibit 41 " + kSession},
      {"none", {"org.example.Unrelated"}, {}, {}},
  };
  for (const auto& p : profiles) {
    SCOPED_TRACE(p.desktop);
    Services services(p.names);
    ASSERT_TRUE(services.ready);
    FakeSession session;
    auto awake = std::make_unique<ScreenSaverInhibitor>(session);
    ASSERT_TRUE(awake->start());
    session.set(MediaSession::State::Playing);
    if (p.inhibit.isEmpty()) {
      waitUntil([] { return false; }, 1000);  // time for a call that must not come
      EXPECT_FALSE(awake->holding());
      EXPECT_EQ(services.calls(), QStringList());
      continue;
    }
    ASSERT_TRUE(waitUntil([&] { return awake->holding(); }))
        << services.calls().join('|').toStdString();
    session.set(MediaSession::State::Paused);
    EXPECT_TRUE(waitUntil([&] { return services.calls().size() == 2; }));
    EXPECT_EQ(services.calls(), QStringList({p.inhibit, p.uninhibit}));
    session.set(MediaSession::State::Playing);
    ASSERT_TRUE(waitUntil([&] { return awake->holding(); }));
    awake.reset();  // the window closes
    EXPECT_EQ(services.calls().size(), 4);
    EXPECT_EQ(services.calls().value(3), QString(p.uninhibit).replace("41", "42"));
  }
}

// While a video plays: a service that starts late is asked; one that hands
// its name to another owner takes its hold with it, and the new owner, who
// counts its own numbers and refuses at first, is asked again until it
// agrees; pausing gives back the new owner's number, never the old one's.
TEST_F(ScreenAwake, FollowsTheServiceAppearingChangingHandsAndRefusing) {
  FakeSession session;
  session.set(MediaSession::State::Playing);
  ScreenSaverInhibitor awake(session, nullptr, 300ms);
  ASSERT_TRUE(awake.start());
  EXPECT_FALSE(awake.holding());

  Services first({kScreenSaver});
  ASSERT_TRUE(first.ready);
  ASSERT_TRUE(waitUntil([&] { return awake.holding(); }));
  EXPECT_EQ(first.calls(), QStringList({"inhibit 41 Quillet " + kScreenSaver}));
  first.stop();

  Services second({kScreenSaver}, {"--cookie", "6", "--refuse", "1"});
  ASSERT_TRUE(second.ready);
  ASSERT_TRUE(waitUntil([&] { return second.calls().size() == 2 && awake.holding(); }))
      << second.calls().join('|').toStdString();
  session.set(MediaSession::State::Paused);
  EXPECT_TRUE(waitUntil([&] { return second.calls().size() == 3; }));
  EXPECT_EQ(second.calls(),
            QStringList({"refused " + kScreenSaver, "inhibit 7 Quillet " + kScreenSaver,
                         "uninhibit 7 " + kScreenSaver}));
  EXPECT_EQ(first.calls(), QStringList({"inhibit 41 Quillet " + kScreenSaver}));
}

// On X11 the server's own hold covers every moment no service holds the
// screen: a service that starts while it holds is asked, and once it says
// yes the server's hold goes; one that keeps refusing never takes the
// server's hold away between its tries; one that never answers leaves the
// server's hold in place.
TEST_F(ScreenAwake, TheXServersHoldBridgesUntilAServiceSaysYes) {
  using Way = ScreenSaverInhibitor::Way;
  {
    SCOPED_TRACE("a service starting while the X server holds");
    QStringList x;
    FakeSession session;
    ScreenSaverInhibitor awake(session, nullptr, 10s, std::make_unique<FakeServer>(x));
    ASSERT_TRUE(awake.start());
    session.set(MediaSession::State::Playing);
    EXPECT_EQ(awake.way(), Way::XServer);
    Services late({kScreenSaver});
    ASSERT_TRUE(late.ready);
    ASSERT_TRUE(waitUntil([&] { return awake.way() == Way::ScreenSaver; }));
    EXPECT_EQ(late.calls(), QStringList({"inhibit 41 Quillet " + kScreenSaver}));
    EXPECT_EQ(x, QStringList({"x hold", "x release"}));
    session.set(MediaSession::State::Paused);
    EXPECT_TRUE(waitUntil([&] { return late.calls().size() == 2; }));
    EXPECT_FALSE(awake.holding());
    EXPECT_EQ(x.size(), 2);
  }
  {
    SCOPED_TRACE("a service that keeps refusing");
    QStringList x;
    Services refusing({kScreenSaver}, {"--refuse", "1000"});
    ASSERT_TRUE(refusing.ready);
    FakeSession session;
    ScreenSaverInhibitor awake(session, nullptr, 50ms, std::make_unique<FakeServer>(x));
    ASSERT_TRUE(awake.start());
    session.set(MediaSession::State::Playing);
    ASSERT_TRUE(waitUntil([&] { return refusing.calls().size() >= 4; }));
    EXPECT_EQ(awake.way(), Way::XServer);
    EXPECT_EQ(x, QStringList({"x hold"}));
    session.set(MediaSession::State::Paused);
    EXPECT_EQ(x, QStringList({"x hold", "x release"}));
  }
  {
    SCOPED_TRACE("a service that never answers");
    QStringList x;
    Services hung({kScreenSaver}, {"--hang"});
    ASSERT_TRUE(hung.ready);
    FakeSession session;
    ScreenSaverInhibitor awake(session, nullptr, 50ms, std::make_unique<FakeServer>(x));
    ASSERT_TRUE(awake.start());
    session.set(MediaSession::State::Playing);
    ASSERT_TRUE(waitUntil([&] { return hung.calls().size() == 1; }));
    EXPECT_EQ(hung.calls(), QStringList({"hung " + kScreenSaver}));
    EXPECT_EQ(awake.way(), Way::XServer);
    EXPECT_EQ(x, QStringList({"x hold"}));
  }
}

}  // namespace
