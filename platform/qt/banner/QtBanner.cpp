#include "platform/qt/banner/QtBanner.h"

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
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/qt/window/Twips.h"
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

bool answeredWithPage(const QNetworkReply& reply) {
  const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  return status >= 200 && status < 300;
}

}  // namespace

bool isPageType(const QByteArray& type) {
  if (type.isEmpty() || type.size() > 200) return false;
  for (char c : type)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/;=+-._", c))) return false;
  return type.contains('/');
}

bool isWebAddress(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && !url.host().isEmpty() && (scheme == "http" || scheme == "https");
}

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
  const auto runnable = [](const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
  };
  const QString found = !runnable(beside) && runnable(installed) ? installed : beside;
  qCDebug(lcBanner) << "banner helper:" << found << (runnable(found) ? "found" : "missing");
  return found;
}

void QtBanner::ProcessEnder::operator()(QProcess* p) const {
  // End of input asks the helper to go; it is killed if it does not.
  p->closeWriteChannel();
  if (p->state() != QProcess::NotRunning && !p->waitForFinished(1000)) {
    p->kill();
    p->waitForFinished(1000);
  }
  delete p;
}

QtBanner::QtBanner(QWidget& parent)
    : area(new BannerStrip(&parent, [this](const QByteArray& line) { send(line); })),
      helperProgram(defaultBannerHelper()) {
  area->setObjectName("WebBrowser1");
  area->installEventFilter(this);
}

QtBanner::~QtBanner() {
  if (probing) probing->disconnect(this);
  delete network.data();
  if (helper) helper->disconnect(this);
  helper.reset();
  helperGone();
  if (area) area->removeEventFilter(this);
}

QWidget& QtBanner::strip() {
  return *area;
}

Maybe<double> QtBanner::height() const {
  if (!area) return std::nullopt;
  return area->height() * twipsPerPixelY(area);
}

Status QtBanner::setTop(double twips) {
  if (!area) return Status::failed("banner gone");
  auto y = toPixels(twips, twipsPerPixelY(area));
  if (!y) return Status::failed("invalid top");
  area->move(area->x(), *y);
  return Status::ok();
}

Status QtBanner::setWidth(double twips) {
  if (!area) return Status::failed("banner gone");
  auto w = toPixelSize(twips, twipsPerPixelX(area));
  if (!w) return Status::failed("invalid width");
  area->resize(*w, area->height());
  return Status::ok();
}

Status QtBanner::navigate(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!isWebAddress(url)) return Status::failed("not a web address");
  pending = url;
  if (helper)
    send("navigate " + pending.toEncoded(QUrl::FullyEncoded));
  else if (started)
    probe(pending);
  return Status::ok();
}

qint64 QtBanner::helperProcessId() const {
  return helper ? helper->processId() : 0;
}

void QtBanner::start() {
  if (started || !area) return;
  const QFileInfo program(helperProgram);
  if (!program.isFile() || !program.isExecutable()) return;
  started = true;
  if (pending.isValid()) probe(pending);
}

void QtBanner::probe(const QUrl& url) {
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
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    if (probing != reply) return;
    probing = nullptr;
    if (reply->property("tooLarge").toBool()) {
      launch();
      if (pending.isValid()) send("navigate " + pending.toEncoded(QUrl::FullyEncoded));
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
    send("page " + reply->url().toEncoded(QUrl::FullyEncoded) + ' ' + type + ' ' +
         QByteArray::number(body.size()));
    if (helper && helper->state() != QProcess::NotRunning) helper->write(body);
  });
}

void QtBanner::launch() {
  if (helper || !area) return;
  // The helper answers on a socket of its own; each end closes on exec, and
  // the helper's end becomes its descriptor 3 in the child alone.
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
    qCWarning(lcBanner) << "no socket for the banner helper:" << strerror(errno);
    return;
  }
  channel.reset(ends[0]);
  const bannerwire::UniqueFd childEnd(ends[1]);
  const int helperEnd = childEnd.get();
  channelWatch = std::make_unique<QSocketNotifier>(channel.get(), QSocketNotifier::Read);
  connect(channelWatch.get(), &QSocketNotifier::activated, this, [this] { readHelper(); });

  helper.reset(new QProcess);
  helper->setProgram(QFileInfo(helperProgram).absoluteFilePath());
  helper->setArguments({QString::number(kHelperChannelFd)});
  helper->setStandardOutputFile(QProcess::nullDevice());
  helper->setStandardErrorFile(QProcess::nullDevice());
  helper->setChildProcessModifier([helperEnd] {
    if (helperEnd == kHelperChannelFd)
      ::fcntl(helperEnd, F_SETFD, 0);
    else
      ::dup2(helperEnd, kHelperChannelFd);  // the copy stays open across exec
  });
  connect(helper.get(), &QProcess::finished, this, [this] { helperGone(); });
  connect(helper.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) helperGone();
  });
  helper->start(QIODevice::WriteOnly);
  sendSize();
}

void QtBanner::readHelper() {
  QImage latest;
  // The helper renders at the size it was told; a frame larger than the
  // strip is a wrong one, and refusing it keeps each read cheap.
  const QSize largest = area ? area->size() * std::max(1.0, area->devicePixelRatioF()) : QSize();
  for (int i = 0; i < kMessagesPerRead && channel.get() >= 0; ++i) {
    bannerwire::Message message = bannerwire::receive(channel.get(), largest);
    if (message.kind == bannerwire::Message::None) break;
    if (message.kind == bannerwire::Message::Closed) {
      helperGone();
      return;
    }
    if (message.kind == bannerwire::Message::Frame)
      latest = std::move(message.frame);
    else if (message.kind == bannerwire::Message::Open && isWebAddress(message.address))
      QDesktopServices::openUrl(message.address);
  }
  // Only the newest of the frames read is painted.
  if (!latest.isNull() && area) area->showFrame(latest);
}

void QtBanner::helperGone() {
  // Whatever the helper showed goes with it.
  channelWatch.reset();
  channel.reset();
  if (area) area->showFrame(QImage());
}

void QtBanner::startLater(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, this, [this] { start(); });
}

bool QtBanner::eventFilter(QObject* watched, QEvent* event) {
  if (watched == area && event->type() == QEvent::Resize) sendSize();
  return QObject::eventFilter(watched, event);
}

void QtBanner::send(const QByteArray& command) {
  // A helper that failed or ended gets nothing more; the strip stays white.
  if (!helper || helper->state() == QProcess::NotRunning) return;
  helper->write(command + '\n');
}

void QtBanner::sendSize() {
  if (!helper || !area) return;
  send(QByteArray("size ") + QByteArray::number(area->width()) + ' ' +
       QByteArray::number(area->height()));
}

}  // namespace quillet::qt
