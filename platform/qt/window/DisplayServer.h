#pragma once
// What the main window does differently on each display server, chosen once
// when the window is made. On X11 the program places the window and the
// window manager draws a frame that it announces; on Wayland the compositor
// places the window and grants full screen, and the frame is the title bar
// Qt draws, if any. Sizes are in pixels; the frame is the decorated
// window's, the caller knows when the window is borderless.

#include <QMargins>
#include <QPoint>
#include <QSize>
#include <functional>
#include <optional>

namespace quillet::qt {

// What a display server's part tells the window it serves.
struct DisplayServerEvents {
  // The decorated window's frame changed after the load: a late answer or a
  // new decoration of the window manager's.
  std::function<void()> frameChanged;
  // The compositor refused full screen or ended it on its own, with the
  // client size the window had before.
  std::function<void(QSize before)> fullScreenEnded;
};

class DisplayServer {
 public:
  virtual ~DisplayServer() = default;

  // The frame the decorated window's outer size adds, as known now; none
  // until it is learnt. Never waits.
  virtual QMargins frame() const = 0;
  // A step of the load, before the first display: learns the frame the
  // decorated window will have, waiting a bounded time for the window
  // manager where it must.
  virtual void learnFrame() = 0;
  // The largest client size the output allows with the given frame; an
  // invalid size where nothing bounds it.
  virtual QSize room(QMargins frame) const = 0;
  // Moves the outer corner (nullopt keeps that coordinate); false where the
  // display server places windows itself.
  virtual bool place(std::optional<int> left, std::optional<int> top) = 0;
  // The outer corner, nullopt where the display server does not tell it.
  virtual std::optional<QPoint> outerCorner() const = 0;
  // The border style, borderless or sizable: a shown window takes it at
  // once, a hidden one when it shows.
  virtual void applyBorder(bool borderless) = 0;
  // Shows the window; `first` for its first display.
  virtual void show(bool first) = 0;
};

}  // namespace quillet::qt
