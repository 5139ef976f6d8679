#pragma once
// The main window as a Wayland top-level surface. The compositor places it,
// draws its title bar or leaves Qt to draw one (GNOME), and grants or
// refuses its full-screen state; positions mean nothing here and are never
// used. The borderless window is the compositor's full-screen state, which
// covers the output without a title bar; the sizable one is its normal
// state.

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <optional>

#include "platform/qt/window/DisplayServer.h"

class QWidget;
class QWindow;

namespace quillet::qt {

class WaylandToplevel final : public QObject, public DisplayServer {
  Q_OBJECT
 public:
  WaylandToplevel(QWidget& window, DisplayServerEvents events);

  // The decoration Qt draws around the window itself, measured once at the
  // load and kept, so that the frame the layout was measured with and the
  // outer size never part; none where the compositor draws the title bar.
  QMargins frame() const override { return measuredFrame.value_or(QMargins()); }
  void learnFrame() override;
  QSize room(QMargins frame) const override;
  bool place(std::optional<int>, std::optional<int>) override { return false; }
  std::optional<QPoint> outerCorner() const override { return std::nullopt; }
  void applyBorder(bool borderless) override;
  void show(bool first) override;

 private:
  QMargins probeFrame() const;
  void enterFullScreen();
  void leaveFullScreen();
  void follow();
  void stateChanged(Qt::WindowState state);
  void settle();

  QWidget& window;
  DisplayServerEvents events;
  std::optional<QMargins> measuredFrame;
  bool borderless = false;
  QPointer<QWindow> watched;
  QMetaObject::Connection watch;
  bool wanted = false;  // the program asked for full screen and not yet back
  QSize before;         // the client size when it asked
  // A configure sent before the compositor saw the request still carries the
  // old state: only a state that stays normal for a while is a refusal.
  QTimer verdict;
};

}  // namespace quillet::qt
