#include "player/FlashPlayer.h"

#include <QWidget>

namespace quillet::player {

// PLACEHOLDER: the player work replaces this with the real component.
std::unique_ptr<QWidget> createFlashPlayer() { return std::make_unique<QWidget>(); }

}  // namespace quillet::player
