#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the player-control work.
void Form1::CreatePlayerControl() {}
void Form1::LoadIdlePlayer() {}
void Form1::AttachEvents() {}
void Form1::GotADrop(std::string) {}

}  // namespace quillet
