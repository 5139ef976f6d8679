#pragma once
// The program as main.cpp wires it — the Qt window, control host, files,
// drops and dialogs, and the real player component on libmpv — with only the
// registry, the message box and the processes left as fakes, so that a test
// never touches the desktop's settings.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/qt/system/QtFiles.h"
#include "platform/qt/window/QtControlHost.h"
#include "platform/qt/window/QtDialogs.h"
#include "platform/qt/window/QtDrops.h"
#include "platform/qt/window/QtWindow.h"
#include "player/FlashPlayer.h"
#include "player/surface/FlashPlayerWidget.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"

namespace quillet::hostile {

inline qt::QtWindowOptions withoutBanner() {
  qt::QtWindowOptions options;
  options.bannerDelay.reset();  // the tests stay off the network
  return options;
}

struct RealProgram {
  RealProgram() {
    components.registerComponent(player::kProgId, player::createFlashPlayer);
    components.registerComponent(player::kVersionedProgId, player::createFlashPlayer);
  }

  // The player the window holds now, if any.
  player::FlashPlayerWidget* currentPlayer() const {
    return qobject_cast<player::FlashPlayerWidget*>(controls.widgetOf("flashplayer"));
  }

  fakes::FakePlatform fakes;
  qt::QtWindow window{withoutBanner()};
  qt::QtScreen screen{window};
  qt::QtComponentRegistry components;
  qt::QtControlHost controls{window.widget(), components};
  qt::QtFiles files;
  qt::QtDialogs dialogs;
  qt::QtDrops drops;
  Platform platform{window, screen,         controls, components, fakes.messageBox, fakes.processes,
                    files,  fakes.registry, dialogs,  drops,      fakes.trace};
  Form1 form{platform};
};

// Every player component alive in the process, once deferred deletions ran.
inline int livePlayers() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  int n = 0;
  for (QWidget* w : QApplication::allWidgets())
    if (qobject_cast<player::FlashPlayerWidget*>(w)) ++n;
  return n;
}

inline bool waitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

// The longest time the event loop went without turning while it ran: a
// blocking call on the GUI thread shows here.
class StallWatch {
 public:
  StallWatch() {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (since.isValid())
        longest = std::max(longest, since.restart());
      else
        since.start();
    });
    timer.start();
  }
  qint64 longestMs() const { return longest; }

 private:
  QTimer timer;
  QElapsedTimer since;
  qint64 longest = 0;
};

}  // namespace quillet::hostile
