#include "player/surface/Screenshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "player/movie/FlashVars.h"

namespace quillet::player {

namespace {

constexpr qsizetype kMaxNameBytes = 255;  // NAME_MAX of Linux's file systems
constexpr qsizetype kNumberRoom = 7;      // " (1000)"

}  // namespace

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
  const QByteArray tail = ' ' + time.toLatin1() + ".png";
  // The name fits the file system's 255 bytes with room for the " (n)"
  // that tells a second one apart: the video's part is shortened, on a
  // character's boundary (a UTF-8 continuation byte is never the first
  // byte cut off).
  QByteArray base = baseName;
  const qsizetype room = kMaxNameBytes - kNumberRoom - tail.size();
  if (base.size() > room) {
    qsizetype cut = std::max<qsizetype>(room, 0);
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.truncate(cut);
  }
  return base + tail;
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
