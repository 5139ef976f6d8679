#include "player/surface/Screenshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "player/movie/FlashVars.h"

namespace quillet::player {

QByteArray videoBaseName(const QString& source) {
  const QUrl url(source);
  const QString scheme = url.scheme().toLower();
  QString name;
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
    name = url.fileName();
  else
    name = (scheme == QLatin1String("file") ? url.toLocalFile() : source).section(u'/', -1);
  QByteArray base = bytesOf(name);
  // "clip.flv" is "clip", ".flv" stays ".flv".
  if (const qsizetype dot = base.lastIndexOf('.'); dot > 0) base.truncate(dot);
  return base.isEmpty() ? QByteArrayLiteral("video") : base;
}

QByteArray screenshotName(const QByteArray& baseName, double seconds) {
  const qint64 ms = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0;
  const QString time = QStringLiteral("%1-%2.%3")
                           .arg(ms / 60000, 2, 10, QLatin1Char('0'))
                           .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                           .arg(ms % 1000, 3, 10, QLatin1Char('0'));
  return baseName + ' ' + time.toLatin1() + ".png";
}

QByteArray picturesFolder() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return QFile::encodeName(pictures);
  return QFile::encodeName(QDir::homePath());
}

namespace {

bool writeAll(int fd, const QByteArray& data) {
  const char* at = data.constData();
  qsizetype left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    left -= n;
  }
  return true;
}

}  // namespace

std::optional<QByteArray> writeNewFile(const QByteArray& folder, const QByteArray& name,
                                       const QByteArray& data, QString* why) {
  const QByteArray stem = name.endsWith(".png") ? name.chopped(4) : name;
  constexpr int kTries = 1000;
  for (int n = 1; n <= kTries; ++n) {
    const QByteArray candidate =
        n == 1 ? name : stem + " (" + QByteArray::number(n) + ")" + (stem == name ? "" : ".png");
    const QByteArray path = folder + '/' + candidate;
    // O_EXCL: an existing file, or one made meanwhile, is never replaced.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      if (why) *why = QString::fromLocal8Bit(std::strerror(errno));
      return std::nullopt;
    }
    const bool written = writeAll(fd, data);
    const int savedErrno = errno;
    if (::close(fd) == 0 && written) return candidate;
    ::unlink(path.constData());
    if (why) *why = QString::fromLocal8Bit(std::strerror(written ? errno : savedErrno));
    return std::nullopt;
  }
  if (why) *why = QStringLiteral("too many screenshots of the same name");
  return std::nullopt;
}

}  // namespace quillet::player
