#pragma once
// Keeps the screen from blanking while a video plays: an inhibition taken
// through org.freedesktop.ScreenSaver on the session bus while the session
// plays, given back when it pauses, stops or reaches the end, when another
// video replaces it, and when this object goes (the window closing). Where
// there is no session bus or no such service, nothing happens.

#include <QObject>
#include <optional>

#include "platform/qt/desktop/MediaSession.h"

namespace quillet::qt {

class ScreenSaverInhibitor : public QObject {
  Q_OBJECT
 public:
  explicit ScreenSaverInhibitor(MediaSession& session, QObject* parent = nullptr);
  // Gives back an inhibition still held, waiting briefly for the bus.
  ~ScreenSaverInhibitor() override;

  // Starts following the session; false without a session bus.
  bool start();
  bool holding() const { return cookie.has_value(); }

 private:
  void update();
  void release(bool wait);

  MediaSession& session;
  bool started = false;
  quint64 video = 0;           // the video the inhibition is for
  std::optional<uint> cookie;  // the service's handle for our inhibition
  bool requesting = false;     // an Inhibit call has not answered yet
};

}  // namespace quillet::qt
