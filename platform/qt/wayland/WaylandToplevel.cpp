#include "platform/qt/wayland/WaylandToplevel.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <utility>

#include "platform/qt/wayland/WaylandTrace.h"

namespace quillet::qt {

Q_LOGGING_CATEGORY(waylandTrace, "quillet.wayland", QtWarningMsg)

namespace {

// How long a normal state may last after a full-screen request before it
// counts as the compositor's answer. A configure already on its way when the
// request left arrives within a frame or two; this leaves room for a loaded
// machine.
constexpr std::chrono::milliseconds kVerdictDelay(1500);

}  // namespace

WaylandToplevel::WaylandToplevel(QWidget& window, DisplayServerEvents events)
    : window(window), events(std::move(events)) {
  verdict.setSingleShot(true);
  verdict.setInterval(kVerdictDelay);
  connect(&verdict, &QTimer::timeout, this, &WaylandToplevel::settle);
}

void WaylandToplevel::learnFrame() {
  if (measuredFrame) return;
  const QWindow* handle = window.windowHandle();
  if (handle && handle->handle() && handle->isVisible())
    measuredFrame = handle->frameMargins();
  else if (qEnvironmentVariableIsSet(kNoDecorations))
    measuredFrame = QMargins();  // where the compositor draws the title bars Qt draws none
  else
    measuredFrame = probeFrame();
}

// Qt makes its own title bar only when a window is shown, while the load
// needs the frame before. A window of the same kind, shown and gone again
// before the event loop runs, gets the same title bar: no buffer is ever
// attached, so the compositor never maps it.
QMargins WaylandToplevel::probeFrame() const {
  QWindow probe;
  probe.setFlags(window.windowFlags() & ~Qt::FramelessWindowHint);
  probe.resize(window.size().expandedTo(QSize(1, 1)));
  probe.setVisible(true);
  const QMargins margins = probe.frameMargins();
  probe.setVisible(false);
  qCDebug(waylandTrace) << "the frame of Qt's own title bar, measured before show:" << margins;
  return margins;
}

void WaylandToplevel::show(bool first) {
  window.show();
  if (borderless) {
    enterFullScreen();
  } else if (first && measuredFrame) {
    // Traces the decoration of the window just shown beside the one counted.
    const QWindow* handle = window.windowHandle();
    const QMargins drawn = handle ? handle->frameMargins() : QMargins();
    if (drawn == *measuredFrame)
      qCDebug(waylandTrace) << "frame once shown:" << drawn << "as counted";
    else
      qCInfo(waylandTrace) << "frame once shown:" << drawn << "but counted" << *measuredFrame;
  }
}

void WaylandToplevel::applyBorder(bool frameless) {
  borderless = frameless;
  if (!window.isVisible()) return;
  if (borderless)
    enterFullScreen();
  else
    leaveFullScreen();
}

QSize WaylandToplevel::room(QMargins margins) const {
  const QScreen* screen = window.screen();
  if (!screen) return {};
  return screen->availableGeometry().size().shrunkBy(margins);
}

// Qt makes the window's native surface anew in some cases; the state
// followed is always the current one's.
void WaylandToplevel::follow() {
  QWindow* handle = window.windowHandle();
  if (handle == watched) return;
  disconnect(watch);
  watched = handle;
  if (handle)
    watch = connect(handle, &QWindow::windowStateChanged, this, &WaylandToplevel::stateChanged);
}

void WaylandToplevel::enterFullScreen() {
  if (!wanted) before = window.size();
  wanted = true;
  follow();
  window.showFullScreen();
  qCDebug(waylandTrace) << "full screen asked of the compositor";
}

void WaylandToplevel::leaveFullScreen() {
  wanted = false;
  verdict.stop();
  window.showNormal();
  qCDebug(waylandTrace) << "normal state asked of the compositor";
}

void WaylandToplevel::stateChanged(Qt::WindowState state) {
  if (!wanted) return;
  if (state == Qt::WindowFullScreen) {
    verdict.stop();
  } else if (state != Qt::WindowMinimized && !verdict.isActive()) {
    verdict.start();
  }
}

// Still not full screen: the compositor said no, or took the state back
// (its own key binding). The window hears of it, to leave full screen as
// asked and go back to the size it had, so that it never stands larger than
// the output with a title bar added.
void WaylandToplevel::settle() {
  const QWindow* handle = window.windowHandle();
  if (!wanted || (handle && handle->windowStates().testFlag(Qt::WindowFullScreen))) return;
  wanted = false;
  qCInfo(waylandTrace) << "full screen skipped: the compositor refused it or took it back; back to"
                       << before;
  if (events.fullScreenEnded) events.fullScreenEnded(before);
}

}  // namespace quillet::qt
