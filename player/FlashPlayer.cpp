#include "player/FlashPlayer.h"

#include <QWidget>

#include "player/FlashPlayerWidget.h"
#include "player/MediaEngine.h"

namespace quillet::player {

std::unique_ptr<QWidget> createFlashPlayer() {
  // The first player of the process proves that libmpv works and keeps the
  // engine it made; later ones make theirs when they first have something to
  // play, so that the idle player costs no engine. Without a media engine
  // there is no player: whoever asks counts the component as missing.
  static bool engineWorks = false;
  if (!engineWorks) {
    auto engine = createMpvEngine();
    if (!engine) return nullptr;
    engineWorks = true;
    return std::make_unique<FlashPlayerWidget>(std::move(engine), [] { return createMpvEngine(); });
  }
  return std::make_unique<FlashPlayerWidget>(nullptr, [] { return createMpvEngine(); });
}

}  // namespace quillet::player
