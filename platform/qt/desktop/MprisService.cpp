#include "platform/qt/desktop/MprisService.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QSysInfo>
#include <QTimer>
#include <QVariantMap>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/qt/settings/DesktopProjection.h"
#include "platform/qt/window/UriList.h"
#include "quillet/Installation.h"

namespace quillet::qt {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kBaseName = QStringLiteral("org.mpris.MediaPlayer2.quillet");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

qlonglong microseconds(double seconds) {
  return std::isfinite(seconds) ? std::llround(seconds * 1e6) : 0;
}

// The desktop entry's name without its ".desktop".
QString desktopEntryName() {
  QString id = QString::fromUtf8(desktop::kDesktopId);
  if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
  return id;
}

// Track ids live under the application's own path: "/org/mpris" is the
// interface's, NoTrack aside. An object path's elements hold only
// [A-Za-z0-9_].
QString trackPathPrefix() {
  QString path = QStringLiteral("/") + QString::fromLatin1(installation::kAppId);
  for (QChar& c : path) {
    if (c == u'.') {
      c = u'/';
    } else if (c != u'/' && !(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_') {
      c = u'_';
    }
  }
  return path;
}

}  // namespace

// org.mpris.MediaPlayer2
class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool Fullscreen READ no)
  Q_PROPERTY(bool CanSetFullscreen READ no)
  Q_PROPERTY(bool HasTrackList READ no)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

 public:
  explicit MprisRootAdaptor(MprisService& service) : QDBusAbstractAdaptor(&service), s(service) {}

  bool canQuit() const { return bool(s.actions.quit); }
  bool canRaise() const { return bool(s.actions.raise); }
  bool no() const { return false; }
  QString identity() const { return QStringLiteral("Quillet"); }
  QString desktopEntry() const { return desktopEntryName(); }
  QStringList uriSchemes() const {
    return s.actions.open ? QStringList{QStringLiteral("file")} : QStringList{};
  }
  QStringList mimeTypes() const {
    return s.actions.open ? QStringList{QStringLiteral("video/x-flv")} : QStringList{};
  }

 public slots:
  void Raise() {
    if (s.actions.raise) s.actions.raise();
  }
  void Quit() {
    // After the reply has gone: closing the window ends the program.
    if (s.actions.quit) QTimer::singleShot(0, &s, [q = s.actions.quit] { q(); });
  }

 private:
  MprisService& s;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(double Rate READ rate WRITE setRate)
  Q_PROPERTY(double MinimumRate READ minimumRate)
  Q_PROPERTY(double MaximumRate READ maximumRate)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ canGoNext)
  Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
  Q_PROPERTY(bool CanPlay READ canPlay)
  Q_PROPERTY(bool CanPause READ canPlay)
  Q_PROPERTY(bool CanSeek READ canSeek)
  Q_PROPERTY(bool CanControl READ yes)

 public:
  explicit MprisPlayerAdaptor(MprisService& service) : QDBusAbstractAdaptor(&service), s(service) {}

  QString playbackStatus() const {
    switch (s.session.state()) {
      case MediaSession::State::Playing:
        return QStringLiteral("Playing");
      case MediaSession::State::Paused:
        return QStringLiteral("Paused");
      case MediaSession::State::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
  }
  double rate() const { return s.session.speed(); }
  double minimumRate() const { return player::kMinSpeed; }
  double maximumRate() const { return player::kMaxSpeed; }
  void setRate(double rate) {
    if (!std::isfinite(rate)) return;
    // MPRIS: a rate of 0 means pause.
    if (rate == 0) {
      s.session.commands().pause();
      return;
    }
    s.session.commands().setSpeed(rate);
  }
  bool canGoNext() const { return s.actions.hasNeighbour && s.actions.hasNeighbour(1); }
  bool canGoPrevious() const { return s.actions.hasNeighbour && s.actions.hasNeighbour(-1); }
  QVariantMap metadata() const {
    const MediaSession::Video v = s.session.video();
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(MprisService::trackId(v.number))));
    if (v.number == 0) return m;
    if (v.duration > 0) m.insert(QStringLiteral("mpris:length"), microseconds(v.duration));
    if (!v.title.isEmpty()) m.insert(QStringLiteral("xesam:title"), v.title);
    if (!v.url.isEmpty()) m.insert(QStringLiteral("xesam:url"), v.url);
    return m;
  }
  // MPRIS counts the volume from 0 to 1.
  double volume() const { return s.session.volume() / 100.0; }
  void setVolume(double volume) {
    if (std::isfinite(volume))
      s.session.commands().setVolume(
          static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
  }
  qlonglong position() const { return microseconds(s.session.position()); }
  bool yes() const { return true; }
  bool canPlay() const { return s.session.canPlay(); }
  bool canSeek() const { return s.session.canSeek(); }

 public slots:
  void Next() {
    if (s.actions.openNeighbour) s.actions.openNeighbour(1);
  }
  void Previous() {
    if (s.actions.openNeighbour) s.actions.openNeighbour(-1);
  }
  void Play() { s.session.commands().play(); }
  void Pause() { s.session.commands().pause(); }
  void PlayPause() { s.session.commands().togglePause(); }
  void Stop() { s.session.commands().stop(); }
  void Seek(qlonglong offset) {
    if (s.session.canSeek()) s.session.commands().seekBy(static_cast<double>(offset) / 1e6);
  }
  void SetPosition(const QDBusObjectPath& track, qlonglong at) {
    const MediaSession::Video v = s.session.video();
    // A request for another track, or beyond this one, is ignored.
    if (!s.session.canSeek() || track.path() != MprisService::trackId(v.number) || at < 0 ||
        at > microseconds(v.duration))
      return;
    s.session.commands().seekTo(static_cast<double>(at) / 1e6);
  }
  void OpenUri(const QString& uri) {
    // The name's exact bytes, as a dropped file's address gives them: a
    // name need not be UTF-8.
    const QByteArray text = uri.toUtf8();
    const std::vector<std::string> paths = localPathsFromUriList(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
        QSysInfo::machineHostName().toStdString());
    if (s.actions.open && paths.size() == 1 && text.indexOf('\n') < 0)
      s.actions.open(paths.front());
  }

 signals:
  void Seeked(qlonglong position);

 private:
  MprisService& s;
};

MprisService::MprisService(MediaSession& session, Actions actions, QObject* parent)
    : QObject(parent), session(session), actions(std::move(actions)) {}

MprisService::~MprisService() {
  if (!registered) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(kObjectPath);
  bus.unregisterService(name);
}

QString MprisService::trackId(quint64 videoNumber) {
  if (videoNumber == 0) return kNoTrack;
  return trackPathPrefix() + QStringLiteral("/video/%1").arg(videoNumber);
}

bool MprisService::registerOnSessionBus() {
  if (registered) return true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  if (!root) {
    root = new MprisRootAdaptor(*this);
    auto* p = new MprisPlayerAdaptor(*this);
    player = p;
    connect(&session, &MediaSession::stateChanged, this,
            [this] { propertiesChanged({QStringLiteral("PlaybackStatus")}); });
    connect(&session, &MediaSession::volumeChanged, this,
            [this] { propertiesChanged({QStringLiteral("Volume")}); });
    connect(&session, &MediaSession::videoChanged, this, [this] {
      propertiesChanged({QStringLiteral("Metadata"), QStringLiteral("CanPlay"),
                         QStringLiteral("CanPause"), QStringLiteral("CanSeek"),
                         QStringLiteral("CanGoNext"), QStringLiteral("CanGoPrevious")});
    });
    connect(&session, &MediaSession::speedChanged, this,
            [this] { propertiesChanged({QStringLiteral("Rate")}); });
    connect(&session, &MediaSession::seeked, p,
            [p](double seconds) { emit p->Seeked(microseconds(seconds)); });
  }
  if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
  // The plain name for the first Quillet of the session, then one per process.
  name = kBaseName;
  if (!bus.registerService(name)) {
    name = kBaseName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    if (!bus.registerService(name)) {
      bus.unregisterObject(kObjectPath);
      name.clear();
      return false;
    }
  }
  registered = true;
  return true;
}

void MprisService::neighboursChanged() {
  if (!registered || !actions.hasNeighbour) return;
  const bool next = actions.hasNeighbour(1), previous = actions.hasNeighbour(-1);
  if (next == canGoNext && previous == canGoPrevious) return;
  propertiesChanged({QStringLiteral("CanGoNext"), QStringLiteral("CanGoPrevious")});
}

void MprisService::propertiesChanged(const QStringList& names) {
  if (!registered) return;
  QVariantMap changed;
  for (const QString& n : names) changed.insert(n, player->property(n.toLatin1().constData()));
  if (changed.contains(QStringLiteral("CanGoNext")))
    canGoNext = changed.value("CanGoNext").toBool();
  if (changed.contains(QStringLiteral("CanGoPrevious")))
    canGoPrevious = changed.value("CanGoPrevious").toBool();
  QDBusMessage signal =
      QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"));
  signal << kPlayerInterface << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

}  // namespace quillet::qt

#include "MprisService.moc"
