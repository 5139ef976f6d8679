// The banner strip with a page from a local HTTP server that the test
// starts on the loopback address: it loads, its links go to the user's
// browser and not into the strip, local files stay out of reach, and a page
// that cannot load fails without a word.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include "platform/qt/QtBanner.h"
#include "platform/qt/QtDrops.h"
#include "shell/FileDrop.h"

namespace quillet {
namespace {

constexpr const char* kServer = R"(
import http.server, sys
page = b'<html><head><title>Quillet banner</title></head><body>' \
       b'<a id="out" href="/elsewhere">more</a></body></html>'
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        print('GET ' + self.path, flush=True)
        self.send_response(200)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Content-Length', str(len(page)))
        self.end_headers()
        self.wfile.write(page)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
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
    QDesktopServices::setUrlHandler("http", &browser, "openUrl");
    parent.resize(640, 100);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("http");
    server.kill();
    server.waitForFinished(5000);
  }
  QString base() const { return QString("http://127.0.0.1:%1").arg(port); }
  QByteArray requests() {
    log += server.readAllStandardOutput();
    return log;
  }

  QProcess server;
  int port = 0;
  QByteArray log;
  BrowserStandIn browser;
  QWidget parent;
};

TEST_F(Banner, LoadsAndHandsLinksToTheBrowser) {
  qt::QtBanner banner(parent);
  const QUrl address(base() + "/info.php?n=Quillet");
  ASSERT_TRUE(banner.navigate(address.toString().toStdString()));
  banner.start();
  ASSERT_TRUE(banner.view());
  QSignalSpy loaded(banner.view(), &QWebEngineView::loadFinished);
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_TRUE(loaded.takeFirst().at(0).toBool());
  EXPECT_EQ(banner.view()->title(), "Quillet banner");
  EXPECT_TRUE(requests().contains("GET /info.php?n=Quillet\n"));

  banner.view()->page()->runJavaScript("document.getElementById('out').click();");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, 20000));
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(base() + "/elsewhere")});
  QTest::qWait(300);
  EXPECT_EQ(banner.view()->url(), address);
  EXPECT_FALSE(requests().contains("GET /elsewhere"));

  // Local files are never loaded into the strip.
  EXPECT_FALSE(banner.navigate("file:///etc/hostname"));
  EXPECT_EQ(banner.view()->url(), address);
}

TEST_F(Banner, UnreachablePageFailsSilently) {
  server.kill();
  server.waitForFinished(5000);
  qt::QtBanner banner(parent);
  ASSERT_TRUE(banner.navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner.start();
  QSignalSpy loaded(banner.view(), &QWebEngineView::loadFinished);
  ASSERT_TRUE(loaded.wait(60000));
  EXPECT_FALSE(loaded.takeFirst().at(0).toBool());
  EXPECT_TRUE(browser.opened.isEmpty());
}

// A file dropped on the banner is the window's: the strip does not take it.
TEST_F(Banner, FilesDroppedOnTheStripReachTheWindow) {
  qt::QtBanner banner(parent);
  banner.strip().setGeometry(0, 0, 640, 100);
  banner.strip().show();
  ASSERT_TRUE(banner.navigate((base() + "/info.php?n=Quillet").toStdString()));
  banner.start();
  QSignalSpy loaded(banner.view(), &QWebEngineView::loadFinished);
  ASSERT_TRUE(loaded.wait(60000));

  qt::QtDrops drops;
  std::vector<std::string> opened;
  FileDrop fileDrop(drops, [&](std::string path) { opened.push_back(std::move(path)); });
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

}  // namespace
}  // namespace quillet

#include "BannerTest.moc"
