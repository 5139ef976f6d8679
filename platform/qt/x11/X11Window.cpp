#include "platform/qt/x11/X11Window.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <utility>

namespace quillet::qt {
namespace {

// How long the load waits for the window manager to tell the frame it will
// draw. It answers within a millisecond on an idle desktop, but a busy one
// (log-in, a full test run beside other work) has taken more than a second;
// the window is not shown yet, so the wait only delays its first display. A
// later answer still reaches the window, which then lays itself out again.
constexpr std::chrono::milliseconds kFrameAnswerBound(5000);

QMargins marginsOf(const FrameExtents& e) {
  return QMargins(e.left, e.top, e.right, e.bottom);
}

}  // namespace

X11Window::X11Window(QWidget& window, DisplayServerEvents events)
    : window(window),
      events(std::move(events)),
      frameWatch(std::make_unique<FrameWatch>(
          window, [this](FrameWatch::Change change) { onFrameWatch(change); })) {}

QMargins X11Window::frame() const {
  return marginsOf(decoratedFrame.value_or(FrameExtents{}));
}

void X11Window::learnFrame() {
  if (decoratedFrame || frameAsked) return;
  frameAsked = true;
  const FrameAnswer answer = requestFrameExtents(window, kFrameAnswerBound);
  if (answer.kind != FrameAnswer::Kind::NoAnswer) decoratedFrame = answer.extents;
}

// Runs inside Qt's native event handling: only takes note, and reads the
// frame once the event loop is free.
void X11Window::onFrameWatch(FrameWatch::Change change) {
  if (change == FrameWatch::Change::OwnHints) {
    awaitingOwnHints = false;
    return;
  }
  if (frameFollowQueued) return;
  frameFollowQueued = true;
  QMetaObject::invokeMethod(
      &window, [this] { followFrame(); }, Qt::QueuedConnection);
}

// The window manager changed the frame it draws (it answered late, or its
// decoration changed): the window follows.
void X11Window::followFrame() {
  frameFollowQueued = false;
  if (borderless || awaitingOwnHints) return;
  if (window.windowFlags().testFlag(Qt::FramelessWindowHint)) return;
  const std::optional<FrameExtents> announced = announcedFrameExtents(window);
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
