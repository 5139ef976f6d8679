#pragma once
// Keeps the screen awake while a video plays. The rule: held while the
// session plays; let go when it pauses, stops or reaches the end, when
// another video replaces it (which takes a hold of its own), and when this
// object goes (the window closing). It asks what the session offers, in
// this order:
//   org.freedesktop.ScreenSaver (GNOME, KDE Plasma, Cinnamon, light-locker),
//   org.freedesktop.PowerManagement's Inhibit (Xfce's power manager),
//   org.gnome.SessionManager's idle inhibition (MATE, other session managers),
//   the X server's own screen saver (X11 sessions with none of these).
// The services' owners are watched: a service that appears later is used,
// and a hold given by an owner that left or handed its name on is forgotten
// (never handed back to the successor, which may give its number to another
// program) and taken again. A refused request is tried again a little later.
// Without a session bus only the X server is asked. Wayland's idle
// inhibition belongs to the window's surface (platform/qt/wayland/).

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>
#include <set>

#include "platform/qt/desktop/MediaSession.h"
#include "platform/qt/x11/XScreenSaverHold.h"

namespace quillet::qt {

class ScreenSaverInhibitor : public QObject {
  Q_OBJECT
 public:
  // How the screen is held awake, in the order they are tried.
  enum class Way { ScreenSaver, PowerManagement, SessionManager, XServer };

  explicit ScreenSaverInhibitor(MediaSession& session, QObject* parent = nullptr,
                                std::chrono::milliseconds retryAfter = std::chrono::seconds(10));
  // Gives back a hold still taken, waiting briefly for the bus.
  ~ScreenSaverInhibitor() override;

  // The rule, for anything else that keeps the screen awake beside this.
  static bool wantsScreenAwake(const MediaSession& session) {
    return session.state() == MediaSession::State::Playing;
  }

  // Starts following the session; false when there is neither a session bus
  // nor an X server's screen saver to ask.
  bool start();
  bool holding() const { return held.has_value(); }

 private:
  struct Hold {
    Way way;
    uint cookie = 0;  // the service's number for the hold
    QString owner;    // the unique bus name that gave it
  };

  void update();
  std::optional<Way> bestWay() const;
  void take(Way way);
  void release(bool wait);
  void ownerChanged(const QString& name, const QString& newOwner);

  MediaSession& session;
  XScreenSaverHold xServer;
  QTimer retry;
  bool started = false;
  quint64 video = 0;  // the video the hold is for
  std::optional<Hold> held;
  std::optional<Way> requesting;   // a request has not answered yet
  quint64 requestNumber = 0;       // an answer to an older request is stale
  QHash<QString, QString> owners;  // service name -> its owner now
  std::set<Way> refused;           // since the last retry
};

}  // namespace quillet::qt
