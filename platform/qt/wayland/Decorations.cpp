#include "platform/qt/wayland/Decorations.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <cstring>

#include "platform/qt/wayland/WaylandTrace.h"

namespace quillet::qt {
namespace {

constexpr const char* kDecorationManager = "zxdg_decoration_manager_v1";

// Whether the compositor announces a global of that interface. Asked on an
// event queue of its own, so that none of Qt's own events is handled here.
bool announces(wl_display* display, const char* interface) {
  struct Search {
    const char* interface;
    bool found = false;
  } search{interface};
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, uint32_t, const char* name, uint32_t) {
        auto* s = static_cast<Search*>(data);
        if (std::strcmp(name, s->interface) == 0) s->found = true;
      },
      [](void*, wl_registry*, uint32_t) {},
  };
  wl_event_queue* queue = wl_display_create_queue(display);
  if (!queue) return false;
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  if (!wrapper) {
    wl_event_queue_destroy(queue);
    return false;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
  wl_registry* registry = wl_display_get_registry(wrapper);
  wl_registry_add_listener(registry, &listener, &search);
  const bool answered = wl_display_roundtrip_queue(display, queue) >= 0;
  wl_registry_destroy(registry);
  wl_proxy_wrapper_destroy(wrapper);
  wl_event_queue_destroy(queue);
  return answered && search.found;
}

}  // namespace

void leaveTitleBarsToTheCompositor() {
  if (QGuiApplication::platformName() != QLatin1String("wayland")) return;
  if (qEnvironmentVariableIsSet(kNoDecorations)) return;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  auto* display = native
                      ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"))
                      : nullptr;
  if (!display) return;
  if (!announces(display, kDecorationManager)) {
    qCDebug(waylandTrace) << "the compositor leaves title bars to Qt";
    return;
  }
  qputenv(kNoDecorations, "1");
  qCDebug(waylandTrace) << "the compositor draws the title bars";
}

}  // namespace quillet::qt
