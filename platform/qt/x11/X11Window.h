#pragma once
// The main window on X11: the program places it, and the window manager
// draws the frame, which it tells before the window is mapped when asked and
// announces anew whenever it changes.

#include <QWidget>
#include <memory>
#include <optional>

#include "platform/qt/window/DisplayServer.h"
#include "platform/qt/x11/FrameExtents.h"

namespace quillet::qt {

class X11Window final : public DisplayServer {
 public:
  X11Window(QWidget& window, DisplayServerEvents events);

  QMargins frame() const override;
  void learnFrame() override;
  QSize room(QMargins) const override { return {}; }
  bool place(std::optional<int> left, std::optional<int> top) override;
  std::optional<QPoint> outerCorner() const override;
  void applyBorder(bool borderless) override;
  void show(bool first) override;

 private:
  void onFrameWatch(FrameWatch::Change change);
  void followFrame();
  // The frame around the window as it stands: none when borderless.
  QMargins drawnFrame() const { return borderless ? QMargins() : frame(); }
  void applyNativeBorder();
  void centreOnScreen();

  QWidget& window;
  DisplayServerEvents events;
  bool borderless = false;
  // The window manager's frame for the decorated window, once it has told
  // it: asked for once, then followed as the window manager changes it.
  std::optional<FrameExtents> decoratedFrame;
  bool frameAsked = false;
  bool frameFollowQueued = false;
  // After the window takes its border back, until its new hints reach the
  // X server, what the window manager says is about the borderless window.
  bool awaitingOwnHints = false;
  bool placed = false;  // a position was set, so the first display keeps it
  std::unique_ptr<FrameWatch> frameWatch;
};

}  // namespace quillet::qt
