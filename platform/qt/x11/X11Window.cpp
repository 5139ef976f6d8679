#include "platform/qt/x11/X11Window.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

namespace quillet::qt {
namespace {

// How long the load waits for the window manager to tell the frame it will
// draw. It answers within a millisecond on an idle desktop, but a busy one
// (log-in, a full test run beside other work) has taken more than a second;
// the window is not shown yet, so the wait only delays its first display. A
// later answer still reaches the window, which then lays itself out again.
constexpr std::chrono::milliseconds kFrameAnswerBound(5000);

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

// _NET_FRAME_EXTENTS: left, right, top, bottom.
std::optional<QMargins> readExtents(xcb_connection_t* c, xcb_window_t w, xcb_atom_t extents) {
  auto reply = property(c, w, extents, XCB_ATOM_CARDINAL, 4);
  const uint32_t* v = values(reply, 4);
  if (!v) return std::nullopt;
  return QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                  static_cast<int>(v[3]));
}

// Asks the window manager which frame it gives the (decorated) window, also
// before the window is mapped, and waits at most `bound` for the answer:
// none without a window manager (or off X11), nullopt while one runs but has
// not answered. The frame it already announced for a window is taken as it
// is; nothing the window manager wrote is ever removed.
std::optional<QMargins> requestFrameExtents(QWidget& window, std::chrono::milliseconds bound) {
  xcb_connection_t* c = x11Connection();
  if (!c) return QMargins();
  const auto w = static_cast<xcb_window_t>(window.winId());

  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
  if (!geometry) return QMargins();
  const xcb_window_t root = geometry->root;

  const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
  if (request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE) return QMargins();
  const Manager manager = windowManager(c, root, request);
  if (manager == Manager::None) return QMargins();

  // What the window manager has already said about this window is its
  // frame; it is never removed, since a window manager answers the request
  // only for windows it does not manage yet and would not say it again.
  if (auto known = readExtents(c, w, extents)) return known;
  if (manager == Manager::WithoutRequest) return std::nullopt;

  xcb_client_message_event_t message{};
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
    if (auto answer = readExtents(c, w, extents)) return answer;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
}

}  // namespace

X11Window::X11Window(QWidget& window, DisplayServerEvents events)
    : window(window), events(std::move(events)) {
  xcb_connection_t* c = x11Connection();
  if (!c) return;
  frameAtom = atom(c, "_NET_FRAME_EXTENTS");
  hintsAtom = atom(c, "_MOTIF_WM_HINTS");
  QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Window::~X11Window() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

void X11Window::learnFrame() {
  if (decoratedFrame || frameAsked) return;
  frameAsked = true;
  decoratedFrame = requestFrameExtents(window, kFrameAnswerBound);
}

// Runs inside Qt's native event handling: only takes note, and reads the
// frame once the event loop is free.
bool X11Window::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || !message) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
  if (notify->window != static_cast<xcb_window_t>(window.internalWinId())) return false;
  if (hintsAtom != XCB_ATOM_NONE && notify->atom == hintsAtom) {
    awaitingOwnHints = false;
  } else if (frameAtom != XCB_ATOM_NONE && notify->atom == frameAtom && !frameFollowQueued) {
    frameFollowQueued = true;
    QMetaObject::invokeMethod(
        &window, [this] { followFrame(); }, Qt::QueuedConnection);
  }
  return false;  // Qt follows the same events for its own bookkeeping
}

// The window manager changed the frame it draws (it answered late, or its
// decoration changed): the window follows.
void X11Window::followFrame() {
  frameFollowQueued = false;
  if (borderless || awaitingOwnHints) return;
  xcb_connection_t* c = x11Connection();
  if (!c || !window.internalWinId() || window.windowFlags().testFlag(Qt::FramelessWindowHint))
    return;
  const auto announced =
      readExtents(c, static_cast<xcb_window_t>(window.internalWinId()), frameAtom);
  if (!announced || announced == decoratedFrame) return;
  decoratedFrame = announced;
  frameAsked = true;
  if (events.frameChanged) events.frameChanged();
}

// Positions are the outer frame's; the client area is placed explicitly
// below and right of the frame, which does not depend on when the window
// manager tells Qt about its frame.
bool X11Window::place(std::optional<int> left, std::optional<int> top) {
  const QMargins f = drawnFrame();
  QRect client = window.geometry();
  if (left) client.moveLeft(*left + f.left());
  if (top) client.moveTop(*top + f.top());
  window.setGeometry(client);
  placed = true;
  return true;
}

std::optional<QPoint> X11Window::outerCorner() const {
  const QMargins f = drawnFrame();
  return window.geometry().topLeft() - QPoint(f.left(), f.top());
}

// A border change keeps the client area where it is. A mapped window only
// changes its hints, and the window manager redraws its frame in place:
// Qt's own way (setWindowFlags) unmaps the window and maps it again, a round
// trip through the window manager that full screen's first picture waited
// for.
// A window not shown yet only records the style: toggling the native flags
// back and forth before the first mapping raced with the window manager,
// which now and then mapped the window without its frame.
void X11Window::applyBorder(bool frameless) {
  borderless = frameless;
  if (window.isVisible()) applyNativeBorder();
}

void X11Window::applyNativeBorder() {
  const bool frameless = borderless;
  if (window.windowFlags().testFlag(Qt::FramelessWindowHint) == frameless) return;
  Qt::WindowFlags flags = window.windowFlags();
  flags.setFlag(Qt::FramelessWindowHint, frameless);
  const QRect client = window.geometry();
  QWindow* mapped = window.isVisible() ? window.windowHandle() : nullptr;
  if (!mapped) {
    window.setWindowFlags(flags);
    window.setGeometry(client);
    return;
  }
  // The frame the window manager drew before is kept for the decorated
  // window: it announces its frame anew once it decorates the window again.
  // What it announces in between, up to the window's new hints, still
  // describes the borderless window.
  awaitingOwnHints = !frameless;
  window.overrideWindowFlags(flags);
  mapped->setFlags(flags);
  window.setGeometry(client);
}

void X11Window::centreOnScreen() {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QMargins f = drawnFrame();
  const QSize outer = window.size().grownBy(f);
  const QRect area = screen->availableGeometry();
  const QPoint corner(area.x() + (area.width() - outer.width()) / 2,
                      area.y() + (area.height() - outer.height()) / 2);
  window.setGeometry(QRect(corner + QPoint(f.left(), f.top()), window.size()));
}

void X11Window::show(bool first) {
  applyNativeBorder();
  if (first && !placed) centreOnScreen();
  window.show();
}

}  // namespace quillet::qt
