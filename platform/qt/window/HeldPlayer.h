#pragma once
// The player the window holds now (each video brings a new one): its Page
// Down/Up open the folder's other videos, each local video it opens is
// remembered once, and a full screen the display server ends is left as the
// player's own button leaves it, so that player and program both follow.

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
  // Opens the video `step` away in the folder: the path opened, or nullopt.
  using OpenNeighbour = std::function<std::optional<std::string>(int step)>;
  // A local video that opened, by the bytes of its absolute path.
  using Remember = std::function<void(const QByteArray& path)>;
  HeldPlayer(OpenNeighbour openNeighbour, Remember remember);

  void follow(player::PlaybackControl* player);  // nullptr: none
  void openNeighbour(int step);                  // the new player shows its name
  void fullScreenEnded();

 private:
  void opened(player::PlaybackControl& player);

  OpenNeighbour neighbour;
  Remember remember;
  QObject context;  // the connections to the players end with it
  QPointer<player::PlaybackControl> current;
  quint64 rememberedVideo = 0;
};

}  // namespace quillet::qt
