#pragma once
// The window manager's frame around a top-level window: caption bar and
// borders, in pixels.

#include <QWidget>

namespace quillet::qt {

struct FrameExtents {
  int left = 0, right = 0, top = 0, bottom = 0;
  friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

// Asks the window manager which frame it will give the (decorated) window,
// also before the window is mapped (X11 _NET_REQUEST_FRAME_EXTENTS). All
// zero without a window manager that answers, or off X11. Waits at most
// timeoutMs for the answer.
FrameExtents requestFrameExtents(QWidget& window, int timeoutMs = 1000);

}  // namespace quillet::qt
