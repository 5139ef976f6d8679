#include "platform/qt/banner/BannerHelper.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "quillet/Installation.h"

namespace quillet::qt {

namespace {

Q_LOGGING_CATEGORY(lcBanner, "quillet.banner", QtWarningMsg)

// A banner host that has not answered by then is taken as unreachable.
constexpr int kProbeTimeoutMs = 20000;
// The helper's end of the answer socket, as the helper finds it.
constexpr int kHelperChannelFd = 3;
// Messages taken from the helper in one go, so that a helper that never
// stops sending cannot hold up the window.
constexpr int kMessagesPerRead = 64;
// How long after the user's click or key on the strip the page may open the
// link it led to: as long as web browsers let a page use a click (5 s), which
// a slow helper on a loaded machine needs. A link the page opens by itself
// comes at no such time.
constexpr auto kGestureLifetime = std::chrono::seconds(5);
// What may wait for a helper that stopped reading: beyond the first bound
// the user's input is dropped, beyond the second everything (a page handed
// over fits), so that a stuck helper costs the window no memory.
constexpr qint64 kMaxQueuedInput = 64 * 1024;
constexpr qint64 kMaxQueued = kMaxHandedPage + 64 * 1024;

bool isRunnable(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

bool answeredWithPage(const QNetworkReply& reply) {
  const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  return status >= 200 && status < 300;
}

}  // namespace

// Beside the program in the build folder; in the helper folder of the
// installed layout, found from the program's own place so that any prefix
// works. A helper that is nowhere is named where it was first looked for.
QString defaultBannerHelper() {
  const QFileInfo self(QStringLiteral("/proc/self/exe"));
  const QDir programDir = QFileInfo(self.canonicalFilePath()).dir();
  const QString name = QStringLiteral("quillet-banner");
  const QString beside = programDir.filePath(name);
  const QString installed = QDir::cleanPath(
      programDir.filePath(QLatin1String(installation::kHelperDirFromProgram) + '/' + name));
  const QString found = !isRunnable(beside) && isRunnable(installed) ? installed : beside;
  qCDebug(lcBanner) << "banner helper:" << found << (isRunnable(found) ? "found" : "missing");
  return found;
}

void BannerHelper::ProcessEnder::operator()(QProcess* p) const {
  // End of input asks the helper to go; it is killed if it does not.
  p->closeWriteChannel();
  if (p->state() != QProcess::NotRunning && !p->waitForFinished(1000)) {
    p->kill();
    p->waitForFinished(1000);
  }
  delete p;
}

BannerHelper::BannerHelper(BannerStrip& strip) : strip(&strip), program(defaultBannerHelper()) {
  strip.installEventFilter(this);
}

BannerHelper::~BannerHelper() {
  if (probing) probing->disconnect(this);
  delete network.data();
  if (process) process->disconnect(this);
  process.reset();
  gone();
  if (strip) strip->removeEventFilter(this);
}

bool BannerHelper::runnable() const {
  return isRunnable(program);
}

void BannerHelper::show(const QUrl& url) {
  // A helper that ended is not started again: the strip stays white.
  if (process)
    write("navigate " + url.toEncoded(QUrl::FullyEncoded) + '\n', kMaxQueued);
  else
    probe(url);
}

void BannerHelper::input(const QByteArray& line, bool isGesture) {
  if (write(line + '\n', kMaxQueuedInput) && isGesture) gesture = std::chrono::steady_clock::now();
}

void BannerHelper::probe(const QUrl& url) {
  // Only the newest address counts.
  if (QNetworkReply* older = probing.data()) {
    probing = nullptr;
    older->abort();
  }
  // The same proxy settings as the helper's web engine, which follows Qt's.
  if (!network) network = new QNetworkAccessManager(this);
  QNetworkRequest request(url);
  request.setTransferTimeout(kProbeTimeoutMs);
  QNetworkReply* reply = network->get(request);
  probing = reply;
  // The page that answered goes to the helper as it is, so that the banner
  // host sees one request per start. A page too large to hand over is
  // left for the helper to load itself.
  connect(reply, &QNetworkReply::readyRead, this, [reply] {
    if (!answeredWithPage(*reply) || reply->size() <= kMaxHandedPage) return;
    reply->setProperty("tooLarge", true);
    reply->abort();
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply, url] {
    reply->deleteLater();
    if (probing != reply) return;
    probing = nullptr;
    if (reply->property("tooLarge").toBool()) {
      launch();
      write("navigate " + url.toEncoded(QUrl::FullyEncoded) + '\n', kMaxQueued);
      return;
    }
    if (reply->error() != QNetworkReply::NoError || !answeredWithPage(*reply)) return;
    const QByteArray body = reply->readAll();
    if (body.size() > kMaxHandedPage) return;
    launch();
    // Relative links and resources resolve against where the page came from.
    QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    type.replace(' ', "");
    if (!isPageType(type)) type = "text/html";
    // The body goes with its command, or neither does.
    write("page " + reply->url().toEncoded(QUrl::FullyEncoded) + ' ' + type + ' ' +
              QByteArray::number(body.size()) + '\n' + body,
          kMaxQueued);
  });
}

void BannerHelper::launch() {
  if (process || !strip) return;
  // The helper answers on a socket of its own; each end closes on exec, and
  // the helper's end becomes its descriptor 3 in the child alone.
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
    qCWarning(lcBanner) << "no socket for the banner helper:" << strerror(errno);
    return;
  }
  channel.reset(ends[0]);
  const UniqueFd childEnd(ends[1]);
  const int helperEnd = childEnd.get();
  channelWatch = std::make_unique<QSocketNotifier>(channel.get(), QSocketNotifier::Read);
  connect(channelWatch.get(), &QSocketNotifier::activated, this, [this] { read(); });

  process.reset(new QProcess);
  process->setProgram(QFileInfo(program).absoluteFilePath());
  process->setArguments({QString::number(kHelperChannelFd)});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->setChildProcessModifier([helperEnd] {
    if (helperEnd == kHelperChannelFd)
      ::fcntl(helperEnd, F_SETFD, 0);
    else
      ::dup2(helperEnd, kHelperChannelFd);  // the copy stays open across exec
  });
  connect(process.get(), &QProcess::finished, this, [this] { gone(); });
  connect(process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) gone();
  });
  process->start(QIODevice::WriteOnly);
  sendSize();
}

void BannerHelper::read() {
  QImage latest;
  // The helper renders at the size it was told; a frame larger than the
  // strip is a wrong one, and refusing it keeps each read cheap.
  const QSize largest = strip ? strip->size() * std::max(1.0, strip->devicePixelRatioF()) : QSize();
  for (int i = 0; i < kMessagesPerRead && channel.get() >= 0; ++i) {
    bannerwire::Message message = bannerwire::receive(channel.get(), largest);
    if (message.kind == bannerwire::Message::None) break;
    if (message.kind == bannerwire::Message::Closed) {
      gone();
      return;
    }
    if (message.kind == bannerwire::Message::Frame)
      latest = std::move(message.frame);
    else if (message.kind == bannerwire::Message::Open)
      open(message.address);
  }
  // Only the newest of the frames read is painted.
  if (!latest.isNull() && strip) strip->showFrame(latest);
}

void BannerHelper::open(const QUrl& address) {
  if (!isWebAddress(address)) {
    qCInfo(lcBanner) << "banner link that is no web address dropped:" << address.scheme();
    return;
  }
  const bool followsGesture =
      gesture && std::chrono::steady_clock::now() - *gesture <= kGestureLifetime;
  if (!followsGesture) {
    qCInfo(lcBanner) << "banner link without the user's click dropped:" << address;
    return;
  }
  gesture.reset();
  QDesktopServices::openUrl(address);
}

void BannerHelper::gone() {
  // Whatever the helper showed goes with it.
  channelWatch.reset();
  channel.reset();
  if (strip) strip->showFrame(QImage());
}

bool BannerHelper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == strip && event->type() == QEvent::Resize) sendSize();
  return QObject::eventFilter(watched, event);
}

bool BannerHelper::write(const QByteArray& bytes, qint64 bound) {
  // A helper that failed or ended gets nothing more; the strip stays white.
  if (!process || process->state() == QProcess::NotRunning) return false;
  if (process->bytesToWrite() + bytes.size() > bound) {
    if (!stalled)
      qCInfo(lcBanner) << "the banner helper is not reading; what it is sent is dropped";
    stalled = true;
    return false;
  }
  stalled = false;
  process->write(bytes);
  return true;
}

void BannerHelper::sendSize() {
  if (!process || !strip) return;
  write("size " + QByteArray::number(strip->width()) + ' ' + QByteArray::number(strip->height()) +
            '\n',
        kMaxQueued);
}

}  // namespace quillet::qt
