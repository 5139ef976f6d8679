#include "player/resume/PlaceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace quillet::player {

namespace {

Q_LOGGING_CATEGORY(lcPlaces, "quillet.player.places", QtWarningMsg)

constexpr double kMinLength = 120;    // seconds: shorter videos start over
constexpr double kMinIn = 60;         // seconds from the start
constexpr double kMinBeforeEnd = 30;  // seconds before the end
constexpr qint64 kMaxFileBytes = 4 << 20;

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

void PlaceStore::load() {
  if (loaded_) return;
  loaded_ = true;
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
  load();
  changed_ = true;
  if (auto it = find(path, size); it != places_.end()) {
    it->seconds = seconds;
    it->used = ++clock_;
    return;
  }
  if (places_.size() >= kMaxPlaces) {
    places_.erase(std::min_element(places_.begin(), places_.end(),
                                   [](const Place& a, const Place& b) { return a.used < b.used; }));
  }
  places_.push_back({path, size, seconds, ++clock_});
}

void PlaceStore::forget(const QByteArray& path, qint64 size) {
  load();
  if (auto it = find(path, size); it != places_.end()) {
    places_.erase(it);
    changed_ = true;
  }
}

int PlaceStore::count() {
  load();
  return static_cast<int>(places_.size());
}

bool PlaceStore::save() {
  if (!changed_) return true;
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
  const QFileInfo info(file_);
  QDir().mkpath(info.absolutePath());
  QFile::setPermissions(info.absolutePath(),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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
  changed_ = false;
  return true;
}

}  // namespace quillet::player
