#pragma once
// The main window as a Wayland top-level surface. The compositor places it,
// draws its title bar or leaves Qt to draw one (GNOME), and grants or
// refuses its full-screen state; positions mean nothing here and are never
// used.

#include <QMargins>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <functional>

class QWidget;
class QWindow;

namespace quillet::qt {

class WaylandToplevel : public QObject {
  Q_OBJECT
 public:
  // `refused` runs when the compositor denies the full-screen state asked
  // for, or ends it on its own, with the client size the window had before.
  WaylandToplevel(QWidget& window, std::function<void(QSize)> refused);

  // The decoration Qt draws around the window itself, also before the
  // window is shown; none where the compositor draws the title bar.
  QMargins frame() const;
  // Traces the decoration of the window just shown beside the one counted.
  void shown(QMargins counted) const;
  // The largest client size that fits the output with the given frame.
  QSize room(QMargins frame) const;
  // Asks the compositor for its full-screen state, or for the normal state.
  void enterFullScreen();
  void leaveFullScreen();

 private:
  QMargins probeFrame() const;
  void follow();
  void stateChanged(Qt::WindowState state);
  void settle();

  QWidget& window;
  std::function<void(QSize)> refused;
  QPointer<QWindow> watched;
  QMetaObject::Connection watch;
  bool wanted = false;  // the program asked for full screen and not yet back
  QSize before;         // the client size when it asked
  // A configure sent before the compositor saw the request still carries the
  // old state: only a state that stays normal for a while is a refusal.
  QTimer verdict;
};

}  // namespace quillet::qt
