#pragma once
// Quillet's side of the quillet-banner helper. Its web engine costs about a
// second of CPU and 180 MiB to start, so the address is asked from here
// first, and the helper starts only for one that answers with a page, handed
// over as it came. Sizes, pages and input go to the helper's standard input;
// frames and web addresses for the user's browser come back on its socket
// (see BannerWire.h). The helper runs the page, so nothing it sends is
// trusted: a link opens only just after the user's click or key on the strip,
// one a gesture. A failing helper leaves the strip white; it ends with this.

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

#include "platform/qt/banner/BannerStrip.h"
#include "platform/qt/banner/BannerWire.h"
#include "platform/qt/system/UniqueFd.h"

class QNetworkAccessManager;
class QNetworkReply;
class QSocketNotifier;

namespace quillet::qt {

class BannerHelper : public QObject {
 public:
  // Frames are painted on strip, whose size the helper follows.
  explicit BannerHelper(BannerStrip& strip);
  ~BannerHelper() override;

  // The helper program; by default quillet-banner beside this executable.
  void setProgram(const QString& path) { program = path; }
  bool runnable() const;

  // Loads a web address: in the running helper, else the newest address
  // asked for is tried and the helper starts once one answers.
  void show(const QUrl& url);
  // A line of the user's input on the strip; a gesture (a press of a button
  // or key) lets the page open one link in the user's browser shortly after.
  void input(const QByteArray& line, bool gesture);

  // The helper's process id while it runs, else 0.
  qint64 processId() const { return process ? process->processId() : 0; }
  // Whether an address is being tried before the helper starts.
  bool trying() const { return !probing.isNull(); }
  // What waits for the helper to read it.
  qint64 queuedBytes() const { return process ? process->bytesToWrite() : 0; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void probe(const QUrl& url);
  void launch();
  bool write(const QByteArray& bytes, qint64 bound);
  void sendSize();
  void read();
  void open(const QUrl& address);
  void gone();

  struct ProcessEnder {
    void operator()(QProcess* p) const;
  };

  QPointer<BannerStrip> strip;
  QString program;
  std::unique_ptr<QProcess, ProcessEnder> process;
  // Quillet's end of the socket the helper answers on, and its watch.
  UniqueFd channel;
  std::unique_ptr<QSocketNotifier> channelWatch;
  QPointer<QNetworkAccessManager> network;
  QPointer<QNetworkReply> probing;
  // The user's last gesture on the strip whose link is still to come.
  std::optional<std::chrono::steady_clock::time_point> gesture;
  bool stalled = false;
};

// quillet-banner in the folder of the running executable.
QString defaultBannerHelper();

}  // namespace quillet::qt
