#include "player/resume/PlaceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace quillet::player {

namespace {

Q_LOGGING_CATEGORY(lcPlaces, "quillet.player.places", QtWarningMsg)

constexpr double kMinLength = 120;    // seconds: shorter videos start over
constexpr double kMinIn = 60;         // seconds from the start
constexpr double kMinBeforeEnd = 30;  // seconds before the end
constexpr qint64 kMaxFileBytes = 4 << 20;
constexpr int kLockWaitMs = 2000;

}  // namespace

bool worthResuming(double position, double duration) {
  return std::isfinite(position) && std::isfinite(duration) && duration > kMinLength &&
         position > kMinIn && position < duration - kMinBeforeEnd;
}

PlaceStore::PlaceStore(QString file) : file_(std::move(file)) {}

QString PlaceStore::defaultFile() {
  QString base = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
  // XDG base directories: a relative path is to be ignored.
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.local/state";
  return base + "/quillet/places.json";
}

PlaceStore::Stamp PlaceStore::stamp() const {
  struct stat st {};
  if (::stat(QFile::encodeName(file_).constData(), &st) != 0) return {};
  return {static_cast<qint64>(st.st_size),
          static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000,
          static_cast<qint64>(st.st_ino)};
}

void PlaceStore::load() {
  // Another player may have written the file since it was read: a stat
  // tells, and this store's unsaved changes go on top of what it holds now.
  if (stamp() == read_) return;  // a file that is not there has nothing to read
  readFile();
  read_ = stamp();
  for (const Change& c : pending_) apply(c);
}

void PlaceStore::readFile() {
  places_.clear();
  clock_ = 0;
  QFile in(file_);
  if (!in.exists()) return;
  bool sound = false;
  if (in.open(QIODevice::ReadOnly) && in.size() <= kMaxFileBytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    const QJsonValue list = doc.object().value(QLatin1String("places"));
    sound = error.error == QJsonParseError::NoError && doc.isObject() && list.isArray();
    for (const QJsonValue& v : list.toArray()) {
      const QJsonObject o = v.toObject();
      Place p{QByteArray::fromPercentEncoding(o.value(QLatin1String("path")).toString().toLatin1()),
              o.value(QLatin1String("size")).toInteger(-1),
              o.value(QLatin1String("seconds")).toDouble(-1),
              o.value(QLatin1String("used")).toInteger(0)};
      if (p.path.isEmpty() || p.size < 0 || !std::isfinite(p.seconds) || p.seconds < 0) {
        sound = false;
        break;
      }
      clock_ = std::max(clock_, p.used);
      places_.push_back(std::move(p));
    }
  }
  if (sound) return;
  places_.clear();
  clock_ = 0;
  in.close();
  // Kept for whoever wants to look; a new file starts empty.
  const QString aside = file_ + QLatin1String(".damaged");
  QFile::remove(aside);
  const bool moved = QFile::rename(file_, aside);
  qCWarning(lcPlaces).noquote() << "the places file" << file_ << "cannot be read;"
                                << (moved ? "set aside as " + aside
                                          : QStringLiteral("left as it is"));
}

std::vector<PlaceStore::Place>::iterator PlaceStore::find(const QByteArray& path, qint64 size) {
  return std::find_if(places_.begin(), places_.end(),
                      [&](const Place& p) { return p.size == size && p.path == path; });
}

std::optional<double> PlaceStore::place(const QByteArray& path, qint64 size) {
  load();
  const auto it = find(path, size);
  if (it == places_.end()) return std::nullopt;
  return it->seconds;
}

void PlaceStore::remember(const QByteArray& path, qint64 size, double seconds) {
  if (path.isEmpty() || size < 0 || !std::isfinite(seconds) || seconds < 0) return;
  change({path, size, seconds});
}

void PlaceStore::change(Change c) {
  load();
  // Forgetting what is kept nowhere changes nothing, and writes nothing.
  if (!c.seconds && find(c.path, c.size) == places_.end()) return;
  apply(c);
  std::erase_if(pending_, [&](const Change& p) { return p.size == c.size && p.path == c.path; });
  pending_.push_back(std::move(c));
}

void PlaceStore::apply(const Change& c) {
  const auto it = find(c.path, c.size);
  if (!c.seconds) {
    if (it != places_.end()) places_.erase(it);
    return;
  }
  if (it != places_.end()) {
    it->seconds = *c.seconds;
    it->used = ++clock_;
    return;
  }
  if (places_.size() >= kMaxPlaces) {
    places_.erase(std::min_element(places_.begin(), places_.end(),
                                   [](const Place& a, const Place& b) { return a.used < b.used; }));
  }
  places_.push_back({c.path, c.size, *c.seconds, ++clock_});
}

int PlaceStore::count() {
  load();
  return static_cast<int>(places_.size());
}

bool PlaceStore::save() {
  if (pending_.empty()) return true;
  const QFileInfo info(file_);
  QDir().mkpath(info.absolutePath());
  QFile::setPermissions(info.absolutePath(),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  // Read again if another player wrote it, change and write, under a lock,
  // so that two players saving at once both keep their places. A lock that
  // cannot be had (a folder that cannot be written, a player hung for
  // seconds) does not stop the save.
  QLockFile lock(file_ + QLatin1String(".lock"));
  if (!lock.tryLock(kLockWaitMs))
    qCWarning(lcPlaces).noquote() << "the places file" << file_ << "is saved without its lock";
  load();
  QJsonArray list;
  for (const Place& p : places_) {
    list.append(QJsonObject{
        {QLatin1String("path"), QString::fromLatin1(p.path.toPercentEncoding("/"))},
        {QLatin1String("size"), p.size},
        {QLatin1String("seconds"), p.seconds},
        {QLatin1String("used"), p.used},
    });
  }
  const QByteArray text =
      QJsonDocument(QJsonObject{{QLatin1String("version"), 1}, {QLatin1String("places"), list}})
          .toJson(QJsonDocument::Compact);
  QSaveFile out(file_);
  // Readable by its owner only from the start: the temporary file becomes the file.
  const bool ok = out.open(QIODevice::WriteOnly) &&
                  out.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                  out.write(text) == text.size() && out.commit();
  if (!ok) {
    qCWarning(lcPlaces).noquote() << "the places cannot be written to" << file_ << "-"
                                  << out.errorString();
    return false;
  }
  pending_.clear();
  read_ = stamp();
  return true;
}

}  // namespace quillet::player
