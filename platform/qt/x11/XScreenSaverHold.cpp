#include "platform/qt/x11/XScreenSaverHold.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

// Last: Xlib's macros (None, Bool, Status...) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace quillet::qt {

namespace {

// Often enough for any idle timeout a user can set (a minute or more).
constexpr int kHeartbeatMs = 10'000;

Display* display() {
  // The application may be a core one (no display at all), which qGuiApp
  // would take for a GUI one.
  auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->display() : nullptr;
}

}  // namespace

XScreenSaverHold::XScreenSaverHold(QObject* parent) : QObject(parent) {
  heartbeat.setInterval(kHeartbeatMs);
  connect(&heartbeat, &QTimer::timeout, this, [] {
    if (Display* d = display()) {
      XResetScreenSaver(d);
      XFlush(d);
    }
  });
}

XScreenSaverHold::~XScreenSaverHold() {
  release();
}

bool XScreenSaverHold::available() {
  // Asked once: the server and its extensions stay what they are.
  static const bool canSuspend = [] {
    Display* d = display();
    int event = 0, error = 0, major = 0, minor = 0;
    // Suspension came with version 1.1 of the extension.
    return d && XScreenSaverQueryExtension(d, &event, &error) &&
           XScreenSaverQueryVersion(d, &major, &minor) && (major > 1 || (major == 1 && minor >= 1));
  }();
  return canSuspend;
}

bool XScreenSaverHold::hold() {
  if (held) return true;
  if (!available()) return false;
  Display* d = display();
  XScreenSaverSuspend(d, True);
  XResetScreenSaver(d);
  XFlush(d);
  heartbeat.start();
  held = true;
  return true;
}

void XScreenSaverHold::release() {
  if (!held) return;
  held = false;
  heartbeat.stop();
  if (Display* d = display()) {
    XScreenSaverSuspend(d, False);
    XFlush(d);
  }
}

}  // namespace quillet::qt
