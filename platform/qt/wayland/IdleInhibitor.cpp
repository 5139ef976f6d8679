#include "platform/qt/wayland/IdleInhibitor.h"

#include <qpa/qplatformnativeinterface.h>

#include <QGuiApplication>
#include <QWaylandClientExtensionTemplate>
#include <QWidget>
#include <QWindow>

#include "platform/qt/wayland/WaylandTrace.h"
#include "qwayland-idle-inhibit-unstable-v1.h"

namespace quillet::qt {

class WaylandIdleInhibitor::Manager
    : public QWaylandClientExtensionTemplate<WaylandIdleInhibitor::Manager>,
      public QtWayland::zwp_idle_inhibit_manager_v1 {
 public:
  Manager() : QWaylandClientExtensionTemplate(1) {}
  ~Manager() override {
    if (isInitialized()) destroy();
  }
  // Binds the compositor's global now, when it offers one: it announced its
  // globals when the program connected.
  bool bindNow() {
    initialize();
    return isActive();
  }
};

class WaylandIdleInhibitor::Inhibitor : public QtWayland::zwp_idle_inhibitor_v1 {
 public:
  explicit Inhibitor(::zwp_idle_inhibitor_v1* object) : zwp_idle_inhibitor_v1(object) {}
  ~Inhibitor() override { destroy(); }
  Inhibitor(const Inhibitor&) = delete;
  Inhibitor& operator=(const Inhibitor&) = delete;
};

WaylandIdleInhibitor::WaylandIdleInhibitor(MediaSession& session, QWidget& window, QObject* parent)
    : QObject(parent), session(session), window(&window) {}

// The inhibitor goes before its manager.
WaylandIdleInhibitor::~WaylandIdleInhibitor() = default;

bool WaylandIdleInhibitor::start() {
  if (manager) return true;
  if (QGuiApplication::platformName() != QLatin1String("wayland")) return false;
  auto bound = std::make_unique<Manager>();
  if (!bound->bindNow()) {
    qCInfo(waylandTrace) << "idle inhibition skipped: the compositor offers no"
                         << "zwp_idle_inhibit_manager_v1";
    return false;
  }
  manager = std::move(bound);
  connect(&session, &MediaSession::stateChanged, this, &WaylandIdleInhibitor::update);
  // The surface comes with the window's display and goes when it hides.
  if (QWindow* handle = window ? window->windowHandle() : nullptr)
    connect(handle, &QWindow::visibleChanged, this, &WaylandIdleInhibitor::update);
  update();
  return true;
}

wl_surface* WaylandIdleInhibitor::surface() const {
  QWindow* handle = window ? window->windowHandle() : nullptr;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  if (!handle || !handle->handle() || !native) return nullptr;
  return static_cast<wl_surface*>(native->nativeResourceForWindow("surface", handle));
}

void WaylandIdleInhibitor::update() {
  wl_surface* now = session.state() == MediaSession::State::Playing ? surface() : nullptr;
  if (now == inhibited) return;
  inhibitor.reset();
  inhibited = nullptr;
  if (!now) {
    qCDebug(waylandTrace) << "idle inhibitor given back";
    return;
  }
  inhibitor = std::make_unique<Inhibitor>(manager->create_inhibitor(now));
  inhibited = now;
  qCDebug(waylandTrace) << "idle inhibitor on the window's surface";
}

}  // namespace quillet::qt
