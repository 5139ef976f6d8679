#include "player/FlashPlayer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "player/surface/FlashPlayerWidget.h"
#include "player/engine/MediaEngine.h"

namespace quillet::player {

namespace {

// The engine made to prove that libmpv works, kept for the first player that
// has something to play: making one costs about 10 ms of the start-up. The
// application owns it until then, so an unused one goes with the application.
QPointer<MediaEngine>& spareEngine() {
  static QPointer<MediaEngine> spare;
  return spare;
}

std::unique_ptr<MediaEngine> takeEngine() {
  if (QPointer<MediaEngine>& spare = spareEngine()) {
    std::unique_ptr<MediaEngine> engine(spare.data());
    spare = nullptr;
    engine->setParent(nullptr);
    return engine;
  }
  return createMpvEngine();
}

}  // namespace

std::unique_ptr<QWidget> createFlashPlayer() {
  // The first player of the process proves that libmpv works; every player
  // makes or takes its engine when it first has something to play, so that
  // the idle player costs no engine. Without a media engine there is no
  // player: whoever asks counts the component as missing.
  static bool engineWorks = false;
  if (!engineWorks) {
    auto engine = createMpvEngine(QCoreApplication::instance());
    if (!engine) return nullptr;
    engineWorks = true;
    spareEngine() = engine.release();
  }
  return std::make_unique<FlashPlayerWidget>(nullptr, [] { return takeEngine(); });
}

PlaybackControl* playbackOf(QWidget* component) {
  auto* player = qobject_cast<FlashPlayerWidget*>(component);
  return player ? &player->playback() : nullptr;
}

}  // namespace quillet::player
