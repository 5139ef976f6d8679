#include "player/FlashPlayer.h"

#include <QWidget>

#include "player/FlashPlayerWidget.h"
#include "player/MediaEngine.h"

namespace quillet::player {

std::unique_ptr<QWidget> createFlashPlayer() {
  // Without a media engine there is no player: whoever asks counts the
  // component as missing.
  auto engine = createMpvEngine();
  if (!engine) return nullptr;
  return std::make_unique<FlashPlayerWidget>(std::move(engine));
}

}  // namespace quillet::player
