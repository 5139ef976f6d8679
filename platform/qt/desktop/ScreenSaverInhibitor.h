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
// The X server's hold also bridges every moment no service holds the
// screen: while a service has not answered yet (or hangs), after it refused,
// until it is asked again. It goes once a service has said yes.
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
#include <memory>
#include <optional>
#include <set>

#include "platform/qt/desktop/MediaSession.h"
#include "platform/qt/desktop/ServerScreenHold.h"

namespace quillet::qt {

class ScreenSaverInhibitor : public QObject {
  Q_OBJECT
 public:
  // How the screen is held awake, in the order they are tried.
  enum class Way { ScreenSaver, PowerManagement, SessionManager, XServer };

  // server: the display server's own hold (the X server's when none).
  explicit ScreenSaverInhibitor(MediaSession& session, QObject* parent = nullptr,
                                std::chrono::milliseconds retryAfter = std::chrono::seconds(10),
                                std::unique_ptr<ServerScreenHold> server = {});
  // Gives back a hold still taken, waiting briefly for the bus.
  ~ScreenSaverInhibitor() override;

  // Starts following the session; false when there is neither a session bus
  // nor an X server's screen saver to ask.
  bool start();
  bool holding() const { return way().has_value(); }
  // How the screen is held now: a service that said yes, else the server.
  std::optional<Way> way() const;

 private:
  // A service's hold.
  struct Hold {
    Way way;
    uint cookie = 0;    // the service's number for the hold
    QString owner;      // the unique bus name that gave it
    quint64 video = 0;  // the video it is for
  };

  void update();
  std::optional<Way> bestService() const;
  void request(Way way, quint64 forVideo);
  void release(bool wait);
  void holdServer(bool wanted);
  void ownerChanged(const QString& name, const QString& newOwner);

  MediaSession& session;
  std::unique_ptr<ServerScreenHold> server;
  bool serverHeld = false;
  QTimer retry;
  bool started = false;
  std::optional<Hold> held;
  std::optional<Way> requesting;   // a request has not answered yet
  quint64 requestNumber = 0;       // an answer to an older request is stale
  QHash<QString, QString> owners;  // service name -> its owner now
  std::set<Way> refused;           // since the last retry
};

}  // namespace quillet::qt
