#pragma once
// What the main window does differently on each display server, chosen once
// when the window is made: on X11 the program places the window and the
// window manager draws and announces a frame; on Wayland the compositor
// places it and grants full screen, and the frame is Qt's own title bar, if
// any. Pixels; the frame is the decorated window's.

#include <QMargins>
#include <QPoint>
#include <QSize>
#include <functional>
#include <optional>

namespace quillet::qt {

struct DisplayServerEvents {
  std::function<void()> frameChanged;  // the window manager's frame, after the load
  // The compositor refused full screen or ended it, with the size from before.
  std::function<void(QSize before)> fullScreenEnded;
};

class DisplayServer {
 public:
  virtual ~DisplayServer() = default;
  // The frame as known now (none until learnt); never waits.
  virtual QMargins frame() const = 0;
  // A step of the load: learns the frame, waiting a bounded time if need be.
  virtual void learnFrame() = 0;
  // The largest client size the output allows; invalid where nothing bounds it.
  virtual QSize room(QMargins frame) const = 0;
  // Moves the outer corner; false where the display server places windows.
  virtual bool place(std::optional<int> left, std::optional<int> top) = 0;
  virtual std::optional<QPoint> outerCorner() const = 0;
  // Borderless or sizable: a shown window at once, a hidden one when shown.
  virtual void applyBorder(bool borderless) = 0;
  virtual void show(bool first) = 0;
};

}  // namespace quillet::qt
