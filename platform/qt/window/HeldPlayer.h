#pragma once
// The player the window holds now, followed from one video to the next (each
// video brings a new player): its Page Down/Up open the folder's other
// videos, each local video it opens is remembered once, and a full screen
// that the display server ends is left the way the player's own button
// leaves it, so that the player and the program follow the display server.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "player/PlaybackControl.h"

namespace quillet::qt {

class HeldPlayer {
 public:
  struct Hooks {
    // Opens the folder's video `step` away from the current one; the path
    // of the one it opened, or nullopt.
    std::function<std::optional<std::string>(int step)> openNeighbour;
    // A local video that opened, by the bytes of its absolute path.
    std::function<void(const QByteArray& path)> remember;
  };
  explicit HeldPlayer(Hooks hooks);

  // Follows `player` from now on (nullptr: none).
  void follow(player::PlaybackControl* player);
  // Opens the folder's other video; the new player shows its name.
  void openNeighbour(int step);
  // The display server ended full screen on its own.
  void fullScreenEnded();

 private:
  void opened(player::PlaybackControl& player);

  Hooks hooks;
  QObject context;  // the connections to the players end with it
  QPointer<player::PlaybackControl> current;
  quint64 rememberedVideo = 0;
};

}  // namespace quillet::qt
