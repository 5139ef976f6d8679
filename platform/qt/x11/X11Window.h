#pragma once
// The main window on X11: the program places it, and the window manager
// draws the frame (caption bar and borders), which it tells before the
// window is mapped when asked (_NET_REQUEST_FRAME_EXTENTS) and announces
// anew whenever it changes (_NET_FRAME_EXTENTS).

#include <QAbstractNativeEventFilter>
#include <QWidget>
#include <optional>

#include "platform/qt/window/DisplayServer.h"

namespace quillet::qt {

class X11Window final : public DisplayServer, public QAbstractNativeEventFilter {
 public:
  X11Window(QWidget& window, DisplayServerEvents events);
  ~X11Window() override;

  QMargins frame() const override { return decoratedFrame.value_or(QMargins()); }
  void learnFrame() override;
  QSize room(QMargins) const override { return {}; }
  bool place(std::optional<int> left, std::optional<int> top) override;
  std::optional<QPoint> outerCorner() const override;
  void applyBorder(bool borderless) override;
  void show(bool first) override;

  // Notes when the window manager announces a new frame for the window, or
  // when the window's own decoration hints reach the X server.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void followFrame();
  QMargins drawnFrame() const { return borderless ? QMargins() : frame(); }
  void applyNativeBorder();
  void centreOnScreen();

  QWidget& window;
  DisplayServerEvents events;
  unsigned frameAtom = 0, hintsAtom = 0;  // 0 off X11: nothing to follow
  bool borderless = false;
  // The window manager's frame for the decorated window, once it has told
  // it: asked for once, then followed as the window manager changes it.
  std::optional<QMargins> decoratedFrame;
  bool frameAsked = false;
  bool frameFollowQueued = false;
  // After the window takes its border back, until its new hints reach the
  // X server, what the window manager says is about the borderless window.
  bool awaitingOwnHints = false;
  bool placed = false;  // a position was set, so the first display keeps it
};

}  // namespace quillet::qt
