#pragma once
// The X server's own screen saver held off, for X11 sessions without a
// desktop service to ask: the screen-saver extension's suspension, and a
// reset of the saver's idle timer every few seconds (as video players do),
// for lockers that watch the idle time instead. The server ends a
// suspension by itself when the program goes.

#include <QObject>
#include <QTimer>

#include "platform/qt/desktop/ServerScreenHold.h"

namespace quillet::qt {

class XScreenSaverHold : public QObject, public ServerScreenHold {
 public:
  explicit XScreenSaverHold(QObject* parent = nullptr);
  ~XScreenSaverHold() override;

  // Whether the program runs on an X server that can suspend its saver
  // (asked once the application is up).
  static bool available();

  bool canHold() const override { return available(); }
  // False when the server refused, or there is none.
  bool hold() override;
  void release() override;
  bool holding() const { return held; }

 private:
  QTimer heartbeat;
  bool held = false;
};

}  // namespace quillet::qt
