// quillet-banner: shows the banner page inside the strip of Quillet's window,
// in a process of its own so that the player's process never carries the web
// engine. Usage: quillet-banner WINDOW-ID
// The window id is the strip's native X11 window. Commands arrive one per
// line on standard input and nothing goes back:
//   size W H        the strip's size in pixels
//   navigate URL    load a web address (http, https)
//   page URL TYPE N followed by N bytes: a page already fetched from the web
//                   address URL, of media type TYPE, shown with URL as the
//                   base for everything it links
// End of input (Quillet ended or died) ends the helper. Every failure is
// silent: the strip then simply stays as Quillet painted it.
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWindow>
#include <cerrno>
#include <memory>
#include <optional>

#include "platform/qt/banner/QtBanner.h"
#include "platform/qt/banner/BannerPage.h"

namespace {

using namespace quillet::qt;

// Longest command line taken; longer ones are dropped whole.
constexpr qsizetype kMaxLine = 16 * 1024;
constexpr int kMaxSide = 16384;

class Commands : public QObject {
 public:
  Commands(QWebEngineView& view) : view(view), notifier(STDIN_FILENO, QSocketNotifier::Read) {
    connect(&notifier, &QSocketNotifier::activated, this, [this] { readInput(); });
  }

 private:
  void readInput() {
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      notifier.setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    pending.append(chunk, n);
    for (;;) {
      if (page) {
        if (pending.size() < page->size) break;
        const QByteArray body = pending.left(page->size);
        pending.remove(0, page->size);
        if (auto* shown = dynamic_cast<BannerPage*>(view.page()); shown && !page->type.isEmpty())
          shown->showFetched(body, page->type, page->base);
        page.reset();
        continue;
      }
      const qsizetype end = pending.indexOf('\n');
      if (end < 0) break;
      const QByteArray line = pending.left(end);
      pending.remove(0, end + 1);
      if (!overlong) run(line.trimmed());
      overlong = false;
    }
    if (!page && pending.size() > kMaxLine) {
      pending.clear();
      overlong = true;  // the rest of this line goes too
    }
  }

  void run(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() == 3 && words[0] == "size") {
      bool okW = false, okH = false;
      const int w = words[1].toInt(&okW), h = words[2].toInt(&okH);
      if (!okW || !okH || w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return;
      view.setGeometry(0, 0, w, h);
      if (!view.isVisible()) view.show();
    } else if (words.size() == 2 && words[0] == "navigate") {
      const QUrl url(QString::fromUtf8(words[1]), QUrl::StrictMode);
      if (isWebAddress(url)) view.load(url);
    } else if (words.size() == 4 && words[0] == "page") {
      const QUrl base(QString::fromUtf8(words[1]), QUrl::StrictMode);
      bool ok = false;
      const qsizetype size = words[3].toLongLong(&ok);
      if (!ok || size < 0 || size > kMaxHandedPage) return;
      // The body is read even when the rest is refused, so that it is not
      // taken for commands.
      page = Page{
          base,
          isPageType(words[2]) && isWebAddress(base) ? QString::fromLatin1(words[2]) : QString(),
          size};
    }
  }

  // A page whose body is still arriving; one with no type is dropped.
  struct Page {
    QUrl base;
    QString type;
    qsizetype size = 0;
  };

  QWebEngineView& view;
  QSocketNotifier notifier;
  QByteArray pending;
  std::optional<Page> page;
  bool overlong = false;
};

// Keeps the view inside the strip. Qt makes the view's native window anew
// when the web engine's drawing surface arrives, and the new one starts as a
// top-level window: it goes back into the strip at once.
class KeepInside : public QObject {
 public:
  KeepInside(QWidget& view, QWindow& strip) : view(view), strip(strip) {
    view.installEventFilter(this);
    embed();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &view && event->type() == QEvent::WinIdChange) embed();
    return QObject::eventFilter(watched, event);
  }

 private:
  void embed() {
    if (QWindow* own = view.windowHandle(); own && own->parent() != &strip) own->setParent(&strip);
  }

  QWidget& view;
  QWindow& strip;
};

}  // namespace

int main(int argc, char* argv[]) {
  // The web engine refuses to run as root with its sandbox on and would
  // abort; the banner then runs without it.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  if (argc != 2 || QGuiApplication::platformName() != "xcb") return 2;
  bool ok = false;
  const WId id = QByteArray(argv[1]).toULongLong(&ok);
  if (!ok || id == 0) return 2;

  // The strip's window; declared before the view so that it outlives it.
  std::unique_ptr<QWindow> strip(QWindow::fromWinId(id));
  if (!strip) return 2;
  // The view, and with it its page, goes before the profile.
  std::unique_ptr<QWebEngineProfile> profile(makeBannerProfile(nullptr));
  QWebEngineView view;
  setUpBannerView(view, *profile);
  view.setWindowFlag(Qt::FramelessWindowHint);
  view.winId();  // makes the native window, to be put into the strip
  if (!view.windowHandle()) return 2;
  KeepInside inside(view, *strip);

  Commands commands(view);
  return app.exec();
}
