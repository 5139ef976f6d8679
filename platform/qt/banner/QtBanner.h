#pragma once
// WebBrowser1: the banner strip along the bottom of the window. The web
// engine is heavy (helper processes, memory, hundreds of milliseconds), so it
// never runs in this process: the strip is a plain white widget, and start()
// runs the quillet-banner helper from this program's folder, which renders
// its page offscreen and sends each new frame back in shared memory (the same
// way on X11 and Wayland); the strip paints it and forwards the user's input
// over it to the helper. The helper's web engine costs about a
// second of CPU and 180 MiB to start, so it starts only once the address
// answers: the page is fetched from here first and handed to the helper,
// which shows it with its address as the base for what it links (one request
// per start), and a banner host that is unreachable (offline, or a bad
// answer) costs next to nothing. Sizes, pages, addresses and input go to the
// helper over its standard input; only frames and web addresses for the
// user's browser come back (see BannerWire.h), so pages get no other bridge
// to the program. A missing, failing or misbehaving helper leaves the strip
// white without a word; the helper ends with this object (or with this
// process).

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>

#include "platform/Window.h"
#include "platform/qt/banner/BannerStrip.h"
#include "platform/qt/banner/BannerWire.h"

class QNetworkAccessManager;
class QNetworkReply;
class QSocketNotifier;
class QWidget;

namespace quillet::qt {

class QtBanner : public QObject, public WebBrowser {
  Q_OBJECT
 public:
  // The strip is made as a child of parent, hidden behind nothing: it is
  // shown with its parent.
  explicit QtBanner(QWidget& parent);
  ~QtBanner() override;

  Maybe<double> height() const override;
  Status setTop(double twips) override;
  Status setWidth(double twips) override;
  // Only web addresses (http, https) are loaded; anything else fails.
  Status navigate(const std::string& address) override;

  // From now on (once) the address asked for so far, and
  // each later one, is tried; the first that answers starts the helper with
  // the strip's size and that address.
  void start();
  // Calls start() once delay has passed and the event loop is free.
  void startLater(std::chrono::milliseconds delay);

  QWidget& strip();
  // The address last asked for, loaded or still waiting for start().
  const QUrl& address() const { return pending; }

  // The helper program; by default quillet-banner beside this executable.
  void setHelperProgram(const QString& path) { helperProgram = path; }
  // The helper's process id while it runs, else 0.
  qint64 helperProcessId() const;
  // Whether an address is being tried before the helper starts.
  bool trying() const { return !probing.isNull(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void probe(const QUrl& url);
  void launch();
  void send(const QByteArray& command);
  void sendSize();
  void readHelper();
  void helperGone();

  struct ProcessEnder {
    void operator()(QProcess* p) const;
  };

  QPointer<BannerStrip> area;
  std::unique_ptr<QProcess, ProcessEnder> helper;
  // Quillet's end of the socket the helper answers on, and its watch.
  bannerwire::UniqueFd channel;
  std::unique_ptr<QSocketNotifier> channelWatch;
  QString helperProgram;
  QUrl pending;
  bool started = false;
  QPointer<QNetworkAccessManager> network;
  QPointer<QNetworkReply> probing;
};

// The largest page handed to the helper; the web engine shows handed
// content only up to 2 MB. A larger page is loaded by the helper itself.
inline constexpr qsizetype kMaxHandedPage = 1536 * 1024;

// Whether a media type (without blanks) may be handed to the helper with a
// page: letters, digits and "/;=+-._" only.
bool isPageType(const QByteArray& type);

// Whether an address may be loaded into the banner or handed to the user's
// browser from it: only web addresses, never local files or other schemes.
bool isWebAddress(const QUrl& url);

// quillet-banner in the folder of the running executable.
QString defaultBannerHelper();

}  // namespace quillet::qt
