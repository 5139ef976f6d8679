#pragma once
// Keeps the output awake while a video plays on Wayland: an idle inhibitor
// of the compositor (zwp_idle_inhibit_manager_v1) on the window's surface
// while the session plays, given back when it pauses, stops or reaches the
// end, and when this object goes. The session's D-Bus services are asked
// beside it (ScreenSaverInhibitor); a compositor without the protocol is
// traced and left alone.

#include <QObject>
#include <QPointer>
#include <memory>

#include "platform/qt/desktop/MediaSession.h"

class QWidget;
struct wl_surface;

namespace quillet::qt {

class WaylandIdleInhibitor : public QObject {
  Q_OBJECT
 public:
  WaylandIdleInhibitor(MediaSession& session, QWidget& window, QObject* parent = nullptr);
  ~WaylandIdleInhibitor() override;

  // Starts following the session; false where the compositor offers no
  // idle inhibition (or the program is no Wayland client).
  bool start();
  bool holding() const { return inhibitor != nullptr; }

 private:
  class Manager;
  class Inhibitor;

  void update();
  wl_surface* surface() const;

  MediaSession& session;
  QPointer<QWidget> window;
  std::unique_ptr<Manager> manager;
  std::unique_ptr<Inhibitor> inhibitor;
  wl_surface* inhibited = nullptr;  // the surface the inhibitor is on
};

}  // namespace quillet::qt
