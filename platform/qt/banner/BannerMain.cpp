// quillet-banner: renders the banner page for the strip of Quillet's window,
// in a process of its own so that the player's process never carries the web
// engine. Usage: quillet-banner FD
// FD is a local SOCK_SEQPACKET socket on which the page's frames and the web
// addresses to open in the user's browser go back to Quillet (see
// BannerWire.h). The page is rendered offscreen, with no display at all, so
// the same helper serves X11 and Wayland. Commands arrive one per line on
// standard input:
//   size W H        the strip's size in pixels
//   navigate URL    load a web address (http, https)
//   page URL TYPE N followed by N bytes: a page already fetched from the web
//                   address URL, of media type TYPE, shown with URL as the
//                   base for everything it links
//   mouse press|release|double|move X Y BUTTON BUTTONS MODIFIERS
//   wheel X Y DX DY BUTTONS MODIFIERS   (angle deltas, eighths of a degree)
//   key press|release KEY MODIFIERS AUTOREPEAT TEXT   (TEXT in hex, or -)
//   leave           the pointer left the strip
// (the numbers are Qt's own values). End of input (Quillet ended or died), or
// of the socket, ends the helper. Every failure is silent: the strip then
// simply stays as Quillet painted it.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWheelEvent>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

#include "platform/qt/banner/BannerPage.h"
#include "platform/qt/banner/BannerWire.h"

namespace {

using namespace quillet::qt;

// Longest command line taken; longer ones are dropped whole.
constexpr qsizetype kMaxLine = 16 * 1024;
// Frames go at most this often: a change after a rest goes at once, and
// every change within this time of the last frame goes with the next one.
// Animations reach the strip at up to 25 frames a second, and a page at rest
// costs nothing.
constexpr int kFrameIntervalMs = 40;
// When Quillet has not taken the last frames yet, the next try comes later.
constexpr int kRetryMs = 200;

// Sends the view's pixels to Quillet whenever the view has painted.
class Frames : public QObject {
 public:
  Frames(QWebEngineView& view, int socket) : view(view), socket(socket) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] { send(); });
    // The web engine paints into a child of the view that it makes when a
    // page first arrives, and anew later: every paint within the view counts.
    qApp->installEventFilter(this);
  }

  void changed() {
    if (timer.isActive()) return;
    const qint64 since = lastSent.isValid() ? lastSent.elapsed() : kFrameIntervalMs;
    // Even at once, only after the paint that told of the change is done.
    timer.start(int(std::max<qint64>(0, kFrameIntervalMs - since)));
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !rendering && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget == &view || view.isAncestorOf(widget)) changed();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void send() {
    if (!view.isVisible()) return;
    rendering = true;
    const bool sent =
        bannerwire::sendFrame(socket, view.size(), [this](QImage& image) { view.render(&image); });
    rendering = false;
    lastSent.start();
    if (!sent) timer.start(kRetryMs);
  }

  QWebEngineView& view;
  int socket;
  QTimer timer;
  QElapsedTimer lastSent;
  bool rendering = false;
};

// Hands the addresses the page opens in the user's browser to Quillet: this
// process has no desktop of its own.
class BrowserForward : public QObject {
  Q_OBJECT
 public:
  explicit BrowserForward(int socket) : socket(socket) {}
 public slots:
  void open(const QUrl& url) {
    if (isWebAddress(url)) bannerwire::sendOpen(socket, url);
  }

 private:
  int socket;
};

// Input from the strip, given to the widget the web engine takes it on.
class Input {
 public:
  explicit Input(QWebEngineView& view) : view(view) {}

  void run(const QList<QByteArray>& words) {
    std::vector<int> n;
    for (qsizetype i = words[0] == "wheel" ? 1 : 2; i < words.size(); ++i) {
      if (words[0] == "key" && i == 5) break;  // the text
      bool ok = false;
      n.push_back(words[i].toInt(&ok));
      if (!ok) return;
    }
    QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
    const auto buttons = Qt::MouseButtons::fromInt(n.size() > 3 ? n[3] : 0);
    if (words[0] == "mouse" && words.size() == 7) {
      const QPointF at(n[0], n[1]);
      const auto type = words[1] == "press"     ? QEvent::MouseButtonPress
                        : words[1] == "release" ? QEvent::MouseButtonRelease
                        : words[1] == "double"  ? QEvent::MouseButtonDblClick
                        : words[1] == "move"    ? QEvent::MouseMove
                                                : QEvent::None;
      if (type == QEvent::None) return;
      const auto modifiers = Qt::KeyboardModifiers::fromInt(n[4]);
      if (type == QEvent::MouseButtonPress) focus(*target);
      QMouseEvent event(type, at, at, Qt::MouseButton(n[2]), buttons, modifiers);
      QApplication::sendEvent(target, &event);
    } else if (words[0] == "wheel" && words.size() == 7) {
      const QPointF at(n[0], n[1]);
      QWheelEvent event(at, at, QPoint(), QPoint(n[2], n[3]), Qt::MouseButtons::fromInt(n[4]),
                        Qt::KeyboardModifiers::fromInt(n[5]), Qt::NoScrollPhase, false);
      QApplication::sendEvent(target, &event);
    } else if (words[0] == "key" && words.size() == 6) {
      const auto type = words[1] == "press"     ? QEvent::KeyPress
                        : words[1] == "release" ? QEvent::KeyRelease
                                                : QEvent::None;
      if (type == QEvent::None) return;
      const QString text =
          words[5] == "-" ? QString() : QString::fromUtf8(QByteArray::fromHex(words[5]));
      focus(*target);
      QKeyEvent event(type, n[0], Qt::KeyboardModifiers::fromInt(n[1]), text, n[2] != 0);
      QApplication::sendEvent(target, &event);
    } else if (words[0] == "leave" && words.size() == 1) {
      QEvent event(QEvent::Leave);
      QApplication::sendEvent(target, &event);
    }
  }

 private:
  void focus(QWidget& target) {
    if (!view.isActiveWindow()) view.activateWindow();
    if (!target.hasFocus()) target.setFocus(Qt::MouseFocusReason);
  }

  QWebEngineView& view;
};

class Commands : public QObject {
 public:
  Commands(QWebEngineView& view, Frames& frames)
      : view(view), frames(frames), input(view), notifier(STDIN_FILENO, QSocketNotifier::Read) {
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
      if (!okW || !okH || w < 1 || h < 1 || w > bannerwire::kMaxSide || h > bannerwire::kMaxSide ||
          qint64(w) * h * 4 > bannerwire::kMaxFrameBytes)
        return;
      view.setGeometry(0, 0, w, h);
      if (!view.isVisible()) {
        view.show();
        // Active from the start, so that the page takes the first click.
        view.activateWindow();
      }
      frames.changed();
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
    } else if (!words.isEmpty() && (words[0] == "mouse" || words[0] == "wheel" ||
                                    words[0] == "key" || words[0] == "leave")) {
      if (view.isVisible()) input.run(words);
    }
  }

  // A page whose body is still arriving; one with no type is dropped.
  struct Page {
    QUrl base;
    QString type;
    qsizetype size = 0;
  };

  QWebEngineView& view;
  Frames& frames;
  Input input;
  QSocketNotifier notifier;
  QByteArray pending;
  std::optional<Page> page;
  bool overlong = false;
};

// The socket to Quillet, or -1 when fd is not one.
int answerSocket(const char* fd) {
  bool ok = false;
  const int n = QByteArray(fd).toInt(&ok);
  int type = 0;
  socklen_t length = sizeof type;
  if (!ok || n < 0 || ::getsockopt(n, SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
      type != SOCK_SEQPACKET)
    return -1;
  // Not inherited by the web engine's own processes, and never blocking.
  ::fcntl(n, F_SETFD, FD_CLOEXEC);
  ::fcntl(n, F_SETFL, ::fcntl(n, F_GETFL) | O_NONBLOCK);
  return n;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The web engine refuses to run as root with its sandbox on and would
  // abort; the banner then runs without it.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The page is drawn for Quillet, never on a display of its own.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QLoggingCategory::setFilterRules(
      "qt.webenginecontext.info=false\nqt.qpa.*=false\nqt.scenegraph.general=false");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (argc != 2) return 2;
  const int socket = answerSocket(argv[1]);
  if (socket < 0) return 2;
  QApplication app(argc, argv);

  BrowserForward browser(socket);
  for (const char* scheme : {"http", "https"})
    QDesktopServices::setUrlHandler(scheme, &browser, "open");
  // Quillet gone: its end of the socket closes.
  QSocketNotifier hangUp(socket, QSocketNotifier::Read);
  QObject::connect(&hangUp, &QSocketNotifier::activated, &app, [&] {
    char byte;
    const ssize_t n = ::recv(socket, &byte, 1, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      hangUp.setEnabled(false);
      QCoreApplication::quit();
    }
  });

  // The view, and with it its page, goes before the profile.
  std::unique_ptr<QWebEngineProfile> profile(makeBannerProfile(nullptr));
  QWebEngineView view;
  setUpBannerView(view, *profile);
  view.setWindowFlag(Qt::FramelessWindowHint);
  Frames frames(view, socket);
  Commands commands(view, frames);
  const int code = app.exec();
  for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
  return code;
}

#include "BannerMain.moc"
