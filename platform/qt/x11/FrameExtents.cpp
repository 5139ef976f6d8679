#include "platform/qt/x11/FrameExtents.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

namespace quillet::qt {
namespace {

// xcb hands out replies that the caller frees.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, std::string_view name) {
  Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
  return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The 32-bit values of a property, or an empty reply when it is not set.
Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name,
                                         xcb_atom_t type, uint32_t count) {
  return Reply<xcb_get_property_reply_t>(
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, count), nullptr));
}

const uint32_t* values(const Reply<xcb_get_property_reply_t>& r, uint32_t atLeast) {
  if (!r || r->format != 32 || r->value_len < atLeast) return nullptr;
  return static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
}

// A window manager that follows the desktop conventions is running when the
// root names a check window that names itself (EWMH), and it offers the
// request when the root's supported list holds it.
enum class Manager { None, WithoutRequest, WithRequest };

Manager windowManager(xcb_connection_t* c, xcb_window_t root, xcb_atom_t request) {
  const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
  auto onRoot = property(c, root, check, XCB_ATOM_WINDOW, 1);
  const uint32_t* child = values(onRoot, 1);
  if (!child || *child == XCB_WINDOW_NONE) return Manager::None;
  auto onChild = property(c, *child, check, XCB_ATOM_WINDOW, 1);
  const uint32_t* self = values(onChild, 1);
  if (!self || *self != *child) return Manager::None;

  auto supported = property(c, root, atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 4096);
  const uint32_t* list = values(supported, 1);
  if (!list) return Manager::WithoutRequest;
  for (uint32_t i = 0; i < supported->value_len; ++i)
    if (list[i] == request) return Manager::WithRequest;
  return Manager::WithoutRequest;
}

xcb_connection_t* x11Connection() {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

std::optional<FrameExtents> readExtents(xcb_connection_t* c, xcb_window_t w, xcb_atom_t extents) {
  auto reply = property(c, w, extents, XCB_ATOM_CARDINAL, 4);
  const uint32_t* v = values(reply, 4);
  if (!v) return std::nullopt;
  return FrameExtents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                      static_cast<int>(v[3])};
}

}  // namespace

FrameAnswer requestFrameExtents(QWidget& window, std::chrono::milliseconds bound) {
  using Kind = FrameAnswer::Kind;
  xcb_connection_t* c = x11Connection();
  if (!c) return {};
  const auto w = static_cast<xcb_window_t>(window.winId());

  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
  if (!geometry) return {};
  const xcb_window_t root = geometry->root;

  const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
  if (request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE) return {};
  const Manager manager = windowManager(c, root, request);
  if (manager == Manager::None) return {};

  // What the window manager has already said about this window is its
  // frame; it is never removed, since a window manager answers the request
  // only for windows it does not manage yet and would not say it again.
  if (auto known = readExtents(c, w, extents)) return {Kind::Answered, *known};
  if (manager == Manager::WithoutRequest) return {Kind::NoAnswer, {}};

  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = w;
  message.type = request;
  xcb_send_event(c, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);

  // The window manager usually answers within a fraction of a millisecond:
  // ask again soon, then less and less often.
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::chrono::microseconds pause(100);
  for (;;) {
    if (auto answer = readExtents(c, w, extents)) return {Kind::Answered, *answer};
    if (std::chrono::steady_clock::now() >= deadline) return {Kind::NoAnswer, {}};
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
}

std::optional<FrameExtents> announcedFrameExtents(QWidget& window) {
  xcb_connection_t* c = x11Connection();
  if (!c || !window.internalWinId()) return std::nullopt;
  const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
  if (extents == XCB_ATOM_NONE) return std::nullopt;
  return readExtents(c, static_cast<xcb_window_t>(window.internalWinId()), extents);
}

FrameWatch::FrameWatch(QWidget& window, std::function<void(Change)> changed)
    : window(window), changed(std::move(changed)) {
  xcb_connection_t* c = x11Connection();
  if (!c) return;
  frameAtom = atom(c, "_NET_FRAME_EXTENTS");
  hintsAtom = atom(c, "_MOTIF_WM_HINTS");
  QCoreApplication::instance()->installNativeEventFilter(this);
  installed = true;
}

FrameWatch::~FrameWatch() {
  if (installed && QCoreApplication::instance())
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool FrameWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || !message) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
  if (notify->window != static_cast<xcb_window_t>(window.internalWinId())) return false;
  if (frameAtom != XCB_ATOM_NONE && notify->atom == frameAtom)
    changed(Change::Frame);
  else if (hintsAtom != XCB_ATOM_NONE && notify->atom == hintsAtom)
    changed(Change::OwnHints);
  return false;  // Qt follows the same events for its own bookkeeping
}

}  // namespace quillet::qt
