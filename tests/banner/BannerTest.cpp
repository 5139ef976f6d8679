// The banner strip with pages from a local HTTP server that the test starts
// on the loopback address. The strip runs the quillet-banner helper, which
// renders the page offscreen and sends its frames back: the page paints the
// strip, follows the strip's size and later addresses, takes the clicks and
// pointer moves made on the strip, and the helper goes with the strip. A
// missing, dead or misbehaving helper leaves the strip white, opens only web
// addresses, one for each click of the user's, and a helper that stops
// reading costs the window bounded memory. The page's
// policy (links to the user's browser, no local files, silent failures) is
// tested on the page class itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHostAddress>
#include <QImage>
#include <QLoggingCategory>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>
#include <cerrno>
#include <memory>

#include "platform/qt/banner/BannerPage.h"
#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/window/QtDrops.h"
#include "shell/FileDrop.h"
#include "tests/fakes/FakeTrace.h"

namespace quillet {
namespace {

// Pages fill the view with one colour: blue for the banner, from a style
// sheet it links relative to its own address, green for the second page.
// The click page is green, with a link on its left third, a part that turns
// red under the pointer in the middle, and one that turns it blue when
// clicked on the right; the key x turns it red.
constexpr const char* kServer = R"(
import http.server, sys
FILL = b'html,body{margin:0;height:100%;background:'
def page(head):
    return (b'<html><head><title>Quillet banner</title>' + head + b'</head><body>'
            b'<a id="out" href="/elsewhere">more</a></body></html>')
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        print('GET ' + self.path, flush=True)
        kind = 'text/html; charset=utf-8'
        if self.path == '/second':
            body = page(b'<style>' + FILL + b'#00ff00}</style>')
        elif self.path == '/click':
            body = (b'<html><head><style>' + FILL + b'#00ff00}'
                    b'a,div{position:absolute;top:0;height:100%;width:33%;display:block}'
                    b'#hover{left:33%}#hover:hover{background:#ff0000}body.on{background:#0064c8}'
                    b'body.x{background:#ff0000}</style></head>'
                    b'<body onkeydown="document.body.className=event.key;"><a href="/elsewhere"></a><div id="hover"></div>'
                    b'<div id="on" style="left:66%" onclick="document.body.classList.add(this.id);">'
                    b'</div></body></html>')
        elif self.path == '/banner.css':
            body, kind = FILL + b'#0064c8}', 'text/css'
        else:
            body = page(b'<link rel="stylesheet" href="banner.css">')
        self.send_response(404 if self.path == '/missing' else 200)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

const QColor kBlue(0x00, 0x64, 0xc8);
const QColor kGreen(0x00, 0xff, 0x00);

bool near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
         std::abs(a.blue() - b.blue()) < 24;
}

// What the screen shows of w: where the display server lets no client read
// the screen (Wayland), what w paints.
QImage shown(QWidget& w, QRect area) {
  const QPoint g = w.mapToGlobal(area.topLeft());
  QImage shot = w.screen()->grabWindow(0, g.x(), g.y(), area.width(), area.height()).toImage();
  if (!shot.isNull()) return shot;
  QWidget& window = *w.window();
  return window.grab(QRect(w.mapTo(&window, area.topLeft()), area.size())).toImage();
}

QColor shownAt(QWidget& w, QPoint at) {
  const QImage shot = shown(w, QRect(at, QSize(1, 1)));
  return shot.isNull() ? QColor() : QColor(shot.pixel(0, 0));
}

// Whether every pixel the screen shows of w is white.
bool allWhite(QWidget& w) {
  const QImage shot = shown(w, w.rect());
  if (shot.isNull()) return false;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (shot.pixel(x, y) != qRgb(255, 255, 255)) return false;
  return true;
}

constexpr const char* kSchemes[] = {"http", "https",      "file", "smb",
                                    "ftp",  "javascript", "data", "mailto"};

// The banner's traces of what it dropped (links, input), counted while it
// lives.
class DroppedLinks {
 public:
  DroppedLinks() {
    QLoggingCategory::setFilterRules("quillet.banner.info=true");
    count = 0;
    previous = qInstallMessageHandler(&DroppedLinks::handle);
  }
  ~DroppedLinks() {
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("quillet.banner.info=false");
  }
  static int seen() { return count; }

 private:
  static void handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (QByteArray(context.category) == "quillet.banner" && text.contains("dropped")) ++count;
  }
  static inline int count = 0;
  QtMessageHandler previous;
};

bool processGone(qint64 pid) {
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Stands in for the helper: sends what the test asks of it (ASKED) on its
// answer socket, then reads its input until it ends (or, deaf, never reads
// it). After each click forwarded to it, it asks to open addresses of every
// scheme, a web address last; ticking, it asks for one every 50 ms from the
// start, with no input at all, as a page's script can.
constexpr const char* kStandIn = R"(#!/usr/bin/python3
import array, fcntl, os, socket, struct, sys, threading, time
s = socket.socket(fileno=int(sys.argv[1]))
FRAME, OPEN = 0x31464251, 0x314f4251
SEALS = fcntl.F_SEAL_SHRINK | fcntl.F_SEAL_GROW | fcntl.F_SEAL_WRITE
def memory(size, seal=True):
    fd = os.memfd_create('frame', os.MFD_ALLOW_SEALING)
    os.write(fd, b'\x00\x00\xff\x00' * (size // 4))
    if seal:
        fcntl.fcntl(fd, fcntl.F_ADD_SEALS, SEALS)
    return fd
def send(data, *fds):
    s.sendmsg([data], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array('i', fds))] if fds else [])
def frame(w, h, stride):
    return struct.pack('<4I', FRAME, w, h, stride)
def open_(address):
    send(struct.pack('<I', OPEN) + address)
def tick():
    n = 0
    while True:
        n += 1
        open_(b'http://127.0.0.1/tick/%d' % n)
        time.sleep(0.05)
asked = 'ASKED'.split()
for what in asked:
    if what == 'garbage':
        send(b'\x01\x02\x03')
        send(b'x' * 100000)
        send(frame(64, 32, 256))
        send(frame(64, 32, 256), memory(8192), memory(8192))
        send(frame(64, 32, 256), memory(16))
        send(frame(64, 32, 256), memory(8192, seal=False))
        send(frame(64, 32, 256), os.open('/proc/self/cmdline', os.O_RDONLY))
        send(frame(64, 32, 100), memory(8192))
        send(frame(0, 32, 256), memory(8192))
        send(frame(100000, 100000, 400000), memory(8192))
        send(frame(300, 32, 1200), memory(38400))
    elif what == 'frame':
        send(frame(64, 32, 256), memory(8192))
    elif what == 'ticking':
        threading.Thread(target=tick, daemon=True).start()
if 'deaf' in asked:
    time.sleep(3600)
for line in sys.stdin:
    if line.startswith('mouse press') and 'ticking' not in asked:
        for address in [b'file:///etc/passwd', b'smb://127.0.0.1/share', b'ftp://127.0.0.1/x',
                        b'javascript:alert(1)', b'data:text/html,x', b'mailto:a@127.0.0.1',
                        b'HTTP:relative', b'http://127.0.0.1/opened']:
            open_(address)
)";

}  // namespace

// Takes the addresses the banner hands to the user's browser.
class BrowserStandIn : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void openUrl(const QUrl& url) { opened << url; }
};

namespace {

class Banner : public ::testing::Test {
 protected:
  void SetUp() override {
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start("python3", {"-c", kServer});
    ASSERT_TRUE(server.waitForStarted(10000));
    ASSERT_TRUE(server.waitForReadyRead(10000));
    port = server.readLine().trimmed().toInt();
    ASSERT_GT(port, 0);
    // Whatever the banner would open, of any scheme, stays in the test.
    for (const char* scheme : kSchemes)
      QDesktopServices::setUrlHandler(scheme, &browser, "openUrl");
    QPalette grey = parent.palette();
    grey.setColor(QPalette::Window, Qt::gray);
    parent.setPalette(grey);
    parent.setAutoFillBackground(true);
    parent.resize(640, 100);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  }
  void TearDown() override {
    for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
    server.kill();
    server.waitForFinished(5000);
  }
  QString base() const { return QString("http://127.0.0.1:%1").arg(port); }
  QByteArray requests() {
    log += server.readAllStandardOutput();
    return log;
  }
  bool requested(const QByteArray& line) {
    return QTest::qWaitFor([&] { return requests().contains(line); }, 60000);
  }
  std::unique_ptr<qt::QtBanner> makeBanner(QRect geometry) {
    auto banner = std::make_unique<qt::QtBanner>(parent);
    banner->helper().setProgram(QUILLET_BANNER_HELPER);
    banner->strip().setGeometry(geometry);
    banner->strip().show();
    return banner;
  }

  // A stand-in helper (see kStandIn) doing what asked says, in dir.
  QString standIn(const QTemporaryDir& dir, const QByteArray& asked) {
    const QString path = dir.filePath(QString::fromLatin1(asked).replace(' ', '-'));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly)) return {};
    script.write(QByteArray(kStandIn).replace("ASKED", asked));
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    return path;
  }

  QProcess server;
  int port = 0;
  QByteArray log;
  BrowserStandIn browser;
  QWidget parent;
};

TEST_F(Banner, HelperShowsThePageInTheStripAndFollowsItsSizeAndAddress) {
  auto banner = makeBanner(QRect(0, 0, 200, 100));
  // Native, made and shown before the strip gets its native window, as the
  // player is.
  auto* cover = new QWidget(&parent);
  QPalette red = cover->palette();
  red.setColor(QPalette::Window, Qt::red);
  cover->setPalette(red);
  cover->setAutoFillBackground(true);
  cover->setGeometry(0, 0, 1, 1);
  cover->winId();
  cover->show();
  // Asked for before the start, loaded once the address has answered.
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  EXPECT_EQ(banner->helper().processId(), 0);
  banner->start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() != 0; }, 20000));
  const qint64 pid = banner->helper().processId();
  ASSERT_TRUE(requested("GET /info.php?n=Quillet\n"));
  QWidget& strip = banner->strip();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return near(shownAt(strip, {100, 50}), kBlue);
      },
      30000))
      << shownAt(strip, {100, 50}).name().toStdString();
  // The page was asked for once: the helper showed the page that answered,
  // and found its style sheet relative to the page's address.
  EXPECT_EQ(requests().count("GET /info.php?n=Quillet\n"), 1) << requests().toStdString();
  EXPECT_TRUE(requests().contains("GET /banner.css\n"));

  // The helper's view follows the strip when it grows.
  EXPECT_FALSE(near(shownAt(parent, {500, 50}), kBlue));
  strip.resize(640, 100);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return near(shownAt(strip, {600, 90}), kBlue);
      },
      20000))
      << shownAt(strip, {600, 90}).name().toStdString();

  // A plain sibling stacked above the strip hides it, as the video does in
  // full screen, although the helper's window is a native one.
  cover->setGeometry(0, 0, 320, 100);
  cover->show();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return shownAt(strip, {100, 50}) == QColor(Qt::red);
      },
      5000))
      << shownAt(strip, {100, 50}).name().toStdString();
  EXPECT_TRUE(near(shownAt(strip, {500, 50}), kBlue));
  cover->setGeometry(0, 0, 640, 100);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt(strip, {500, 50}) == QColor(Qt::red); }, 5000));
  cover->hide();
  EXPECT_TRUE(QTest::qWaitFor([&] { return near(shownAt(strip, {100, 50}), kBlue); }, 5000));
  delete cover;

  // A later address goes to the running helper; local files never do.
  EXPECT_FALSE(banner->navigate("file:///etc/hostname"));
  ASSERT_TRUE(banner->navigate((base() + "/second").toStdString()));
  ASSERT_TRUE(requested("GET /second\n"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return near(shownAt(strip, {320, 50}), kGreen); }, 20000));
  EXPECT_EQ(banner->address(), QUrl(base() + "/second"));

  // No helper outlives the strip.
  banner.reset();
  EXPECT_TRUE(processGone(pid));
}

// The user's clicks, keys and pointer moves on the strip reach the page, and
// a link clicked there opens in the user's browser, from this process.
TEST_F(Banner, InputOnTheStripReachesThePage) {
  auto banner = makeBanner(QRect(0, 0, 600, 100));
  QWidget& strip = banner->strip();
  ASSERT_TRUE(banner->navigate((base() + "/click").toStdString()));
  banner->start();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return near(shownAt(strip, {500, 50}), kGreen);
      },
      60000))
      << shownAt(strip, {500, 50}).name().toStdString();

  // The pointer's moves as the display server delivers them (QTest's move
  // warps the pointer, which Wayland does not allow).
  const auto moveTo = [&](QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, strip.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&strip, &move);
  };
  moveTo({300, 50});
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt(strip, {300, 50}) == QColor(Qt::red); }, 20000));
  moveTo({500, 50});
  EXPECT_TRUE(QTest::qWaitFor([&] { return near(shownAt(strip, {300, 50}), kGreen); }, 20000));

  QTest::mouseClick(&strip, Qt::LeftButton, {}, {500, 50});
  EXPECT_TRUE(QTest::qWaitFor([&] { return near(shownAt(strip, {500, 50}), kBlue); }, 20000));
  // The click gave the page the keys.
  QTest::keyClick(&strip, Qt::Key_X);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt(strip, {500, 50}) == QColor(Qt::red); }, 20000));

  QTest::mouseClick(&strip, Qt::LeftButton, {}, {100, 50});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, 20000));
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(base() + "/elsewhere")});
  EXPECT_FALSE(requests().contains("GET /elsewhere"));
}

// A helper that sends garbage, lies about its frames' sizes or passes
// memory that could shrink under the reader leaves the strip white; the
// frames it sends right are shown, and nothing of it is left open once it
// has gone. Of the addresses it asks to open after a click only the web
// address opens, and only one.
TEST_F(Banner, MisbehavingHelperIsSurvivedAndLeavesTheStripWhite) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto openDescriptors = [] {
    QStringList targets;
    const QDir fds("/proc/self/fd");
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
      targets << QFile::symLinkTarget(fds.filePath(fd));
    // The window's own buffers come and go on Wayland.
    targets.removeIf([](const QString& t) { return t.contains("wayland-shm"); });
    targets.sort();
    return targets.join(' ').toStdString();
  };
  const auto before = openDescriptors();
  ASSERT_NE(before.find("/dev/"), std::string::npos) << before;

  for (const QByteArray& asked : {QByteArray("garbage"), QByteArray("garbage frame")}) {
    SCOPED_TRACE(asked.toStdString());
    const QString program = standIn(dir, asked);
    ASSERT_FALSE(program.isEmpty());
    browser.opened.clear();
    auto banner = makeBanner(QRect(0, 0, 200, 100));
    banner->helper().setProgram(program);
    ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
    banner->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() != 0; }, 20000));
    // Clicked until the stand-in, which may take its time to start, answers.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          if (browser.opened.isEmpty())
            QTest::mouseClick(&banner->strip(), Qt::LeftButton, {}, {150, 80});
          return !browser.opened.isEmpty();
        },
        20000));
    if (asked.contains("frame")) {
      EXPECT_TRUE(QTest::qWaitFor(
          [&] {
            return shownAt(banner->strip(), {10, 10}) == QColor(Qt::red);
          },
          20000))
          << shownAt(banner->strip(), {10, 10}).name().toStdString();
      EXPECT_EQ(shownAt(banner->strip(), {100, 50}), QColor(Qt::white));
    } else {
      QTest::qWait(500);
      EXPECT_TRUE(allWhite(banner->strip()));
    }
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("http://127.0.0.1/opened")});
    banner.reset();
  }
  EXPECT_EQ(openDescriptors(), before);
}

// A page that clicks its own links (a script on a timer) opens nothing while
// the user does nothing; one click of the user's lets one of them through.
TEST_F(Banner, LinksOpenOnlyAfterTheUsersClick) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString program = standIn(dir, "ticking");
  ASSERT_FALSE(program.isEmpty());
  const DroppedLinks dropped;
  auto banner = makeBanner(QRect(0, 0, 200, 100));
  banner->helper().setProgram(program);
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner->start();
  // Heard 20 times, whether dropped or not.
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return DroppedLinks::seen() + browser.opened.size() >= 20; }, 30000));
  EXPECT_TRUE(browser.opened.isEmpty()) << browser.opened.size();

  // The pointer over the strip, the wheel and a key released are no clicks.
  QMouseEvent move(QEvent::MouseMove, QPointF(50, 50), banner->strip().mapToGlobal(QPointF(50, 50)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&banner->strip(), &move);
  QTest::keyRelease(&banner->strip(), Qt::Key_A);
  int seen = DroppedLinks::seen();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return DroppedLinks::seen() + browser.opened.size() >= seen + 5; }, 20000));
  EXPECT_TRUE(browser.opened.isEmpty()) << browser.opened.size();

  QTest::mouseClick(&banner->strip(), Qt::LeftButton, {}, {50, 50});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, 20000));
  seen = DroppedLinks::seen();
  ASSERT_TRUE(QTest::qWaitFor([&] { return DroppedLinks::seen() >= seen + 10; }, 20000));
  ASSERT_EQ(browser.opened.size(), 1);
  EXPECT_TRUE(browser.opened[0].path().startsWith("/tick/"))
      << browser.opened[0].toString().toStdString();

  // A key pressed on the strip is a gesture of the user's too.
  QTest::keyClick(&banner->strip(), Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return browser.opened.size() == 2; }, 20000));
  seen = DroppedLinks::seen();
  ASSERT_TRUE(QTest::qWaitFor([&] { return DroppedLinks::seen() >= seen + 5; }, 20000));
  EXPECT_EQ(browser.opened.size(), 2);
}

// A helper that stops reading its input does not make the window keep what
// the user does over the strip: the input waiting for it stays bounded.
TEST_F(Banner, InputForAHelperThatDoesNotReadIsBounded) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString program = standIn(dir, "deaf");
  ASSERT_FALSE(program.isEmpty());
  const DroppedLinks dropped;
  auto banner = makeBanner(QRect(0, 0, 200, 100));
  banner->helper().setProgram(program);
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner->start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() != 0; }, 20000));
  QWidget& strip = banner->strip();
  // Far more than a pipe holds, as a pointer moved for minutes would send.
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 2000; ++i) {
      const QPointF at(i % 200, i % 100);
      QMouseEvent move(QEvent::MouseMove, at, strip.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
      QApplication::sendEvent(&strip, &move);
    }
    QWheelEvent wheel(QPointF(5, 5), strip.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&strip, &wheel);
    QTest::qWait(1);  // lets the pipe take what it can
  }
  EXPECT_LE(banner->helper().queuedBytes(), 64 * 1024);
  EXPECT_GT(banner->helper().queuedBytes(), 0);
  EXPECT_GE(DroppedLinks::seen(), 1);
  // The helper still gets its size, and goes with the strip.
  const qint64 queued = banner->helper().queuedBytes();
  strip.resize(150, 90);
  EXPECT_GT(banner->helper().queuedBytes(), queued);
  const qint64 pid = banner->helper().processId();
  banner.reset();
  EXPECT_TRUE(processGone(pid));
}

TEST_F(Banner, MissingHelperLeavesTheStripWhite) {
  auto banner = makeBanner(QRect(0, 0, 640, 100));
  banner->helper().setProgram("/nonexistent/quillet-banner");
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner->start();
  EXPECT_EQ(banner->helper().processId(), 0);
  QTest::qWait(500);
  EXPECT_TRUE(allWhite(banner->strip()));
  EXPECT_TRUE(banner->navigate((base() + "/second").toStdString()));
  banner->strip().resize(300, 80);
  QTest::qWait(200);
  EXPECT_TRUE(allWhite(banner->strip()));
  EXPECT_FALSE(requests().contains("GET"));
}

// The web engine starts only for an address that answers with a page: an
// unreachable host or an error status leave the strip white and start no
// helper; the next address that answers starts it.
TEST_F(Banner, HelperStartsOnlyForAnAddressThatAnswers) {
  auto banner = makeBanner(QRect(0, 0, 640, 100));
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 closedPort = closed.serverPort();
  closed.close();
  ASSERT_TRUE(
      banner->navigate(QString("http://127.0.0.1:%1/info.php").arg(closedPort).toStdString()));
  banner->start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !banner->helper().trying(); }, 20000));
  EXPECT_EQ(banner->helper().processId(), 0);

  ASSERT_TRUE(banner->navigate((base() + "/missing").toStdString()));
  ASSERT_TRUE(requested("GET /missing\n"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !banner->helper().trying(); }, 20000));
  EXPECT_EQ(banner->helper().processId(), 0);
  EXPECT_TRUE(allWhite(banner->strip()));

  ASSERT_TRUE(banner->navigate((base() + "/second").toStdString()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() != 0; }, 20000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return near(shownAt(banner->strip(), {320, 50}), kGreen);
      },
      30000));
}

TEST_F(Banner, DeadHelperLeavesTheStripWhite) {
  auto banner = makeBanner(QRect(0, 0, 640, 100));
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner->start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() != 0; }, 20000));
  const qint64 pid = banner->helper().processId();
  ASSERT_TRUE(requested("GET /info.php?n=Quillet\n"));
  ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return banner->helper().processId() == 0; }, 10000));
  // Later sizes and addresses go nowhere, without a word.
  banner->strip().resize(600, 90);
  EXPECT_TRUE(banner->navigate((base() + "/second").toStdString()));
  EXPECT_TRUE(QTest::qWaitFor([&] { return allWhite(banner->strip()); }, 10000));
  QTest::qWait(300);
  EXPECT_FALSE(requests().contains("GET /second"));
}

// A file dropped on the banner is the window's: the strip does not take it.
TEST_F(Banner, FilesDroppedOnTheStripReachTheWindow) {
  auto banner = makeBanner(QRect(0, 0, 640, 100));
  ASSERT_TRUE(banner->navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner->start();
  ASSERT_TRUE(requested("GET /info.php?n=Quillet\n"));

  qt::QtDrops drops;
  std::vector<std::string> opened;
  fakes::FakeTrace trace;
  FileDrop fileDrop(drops, trace, [&](std::string path) { opened.push_back(std::move(path)); });
  fileDrop.EnableFileDrop(static_cast<WindowHandle>(parent.winId()));

  const QPoint at(320, 50);
  QWidget* target = parent.childAt(at);
  ASSERT_TRUE(target);
  const QPoint local = target->mapFrom(&parent, at);
  QMimeData mime;
  mime.setData("text/uri-list", "file:///tmp/on%20the%20banner.flv\r\n");
  QDragEnterEvent enter(local, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(local), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_EQ(opened, std::vector<std::string>{"/tmp/on the banner.flv"});
  fileDrop.DisableFileDrop(static_cast<WindowHandle>(parent.winId()));
}

// The helper on its own: it ends at the end of its input, whatever came
// before, and refuses to start without a socket to answer on.
TEST_F(Banner, HelperEndsAtEndOfInputAndShrugsOffBadCommands) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
  QProcess helper;
  const int helperEnd = ends[1];
  helper.setChildProcessModifier([helperEnd] { ::dup2(helperEnd, 3); });
  helper.start(QUILLET_BANNER_HELPER, {"3"});
  ASSERT_TRUE(helper.waitForStarted(10000));
  ::close(helperEnd);
  helper.write("size -5 10\nsize 0 0\nsize 99999999999 1\nsize 16384 16384\nsize a b\nsize 10\n");
  helper.write("navigate file:///etc/passwd\nnavigate javascript:alert(1)\nnavigate\n");
  helper.write("mouse press 1 2\nmouse fly 1 2 3 4 5\nwheel a b c d e f\nkey press x 0 0 zz\n");
  helper.write("bogus words here\n\n\n");
  helper.write(QByteArray(100000, 'x') + "\n");
  helper.write("navigate " + (base() + "/after-junk").toUtf8() + "\n");
  ASSERT_TRUE(requested("GET /after-junk\n"));
  helper.closeWriteChannel();
  ASSERT_TRUE(helper.waitForFinished(15000));
  EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(helper.exitCode(), 0);
  EXPECT_FALSE(requests().contains("/etc/passwd"));
  ::close(ends[0]);

  for (const QStringList& args : {QStringList{}, QStringList{"not-a-socket"}, QStringList{"0"}}) {
    QProcess refused;
    refused.start(QUILLET_BANNER_HELPER, args);
    ASSERT_TRUE(refused.waitForStarted(10000));
    EXPECT_TRUE(refused.waitForFinished(15000)) << args.join(' ').toStdString();
    EXPECT_EQ(refused.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(refused.exitCode(), 0);
  }
}

// The page class the helper uses: links and new windows go to the user's
// browser and never into the page, the profile keeps nothing, and a page
// that cannot load fails without a word.
TEST_F(Banner, PageHandsLinksToTheBrowser) {
  std::unique_ptr<QWebEngineProfile> profile(qt::makeBannerProfile(nullptr));
  EXPECT_TRUE(profile->isOffTheRecord());
  auto view = std::make_unique<QWebEngineView>();
  qt::setUpBannerView(*view, *profile);
  EXPECT_FALSE(view->acceptDrops());
  EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
  const QUrl address(base() + "/info.php?n=Quillet");
  QSignalSpy loaded(view.get(), &QWebEngineView::loadFinished);
  view->load(address);
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_TRUE(loaded.takeFirst().at(0).toBool());
  EXPECT_EQ(view->title(), "Quillet banner");

  view->page()->runJavaScript("document.getElementById('out').click();");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, 20000));
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(base() + "/elsewhere")});
  QTest::qWait(300);
  EXPECT_EQ(view->url(), address);
  EXPECT_FALSE(requests().contains("GET /elsewhere"));

  // A main-frame load of a local file is refused.
  view->load(QUrl("file:///etc/hostname"));
  QTest::qWait(300);
  EXPECT_EQ(view->url(), address);

  server.kill();
  server.waitForFinished(5000);
  view->load(QUrl(base() + "/gone"));
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_FALSE(loaded.takeFirst().at(0).toBool());
  EXPECT_EQ(browser.opened.size(), 1);
  view.reset();  // the page before its profile
}

}  // namespace
}  // namespace quillet

#include "BannerTest.moc"
