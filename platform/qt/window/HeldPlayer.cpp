#include "platform/qt/window/HeldPlayer.h"

#include <QFile>
#include <utility>

#include "player/movie/FlashVars.h"
#include "player/resume/RecentPrivacy.h"

namespace quillet::qt {

HeldPlayer::HeldPlayer(OpenNeighbour openNeighbour, Remember remember)
    : neighbour(std::move(openNeighbour)), remember(std::move(remember)) {}

void HeldPlayer::follow(player::PlaybackControl* player) {
  current = player;
  if (!player) return;
  using player::PlaybackControl;
  // Queued: the player that asks is replaced by the one that answers.
  QObject::connect(
      player, &PlaybackControl::neighbourRequested, &context,
      [this](int step) { openNeighbour(step); }, Qt::QueuedConnection);
  QObject::connect(player, &PlaybackControl::metadataChanged, &context,
                   [this, player] { opened(*player); });
}

// Once it is open: a file that is no video is not remembered, nor a web
// address, nor the same video twice, nor anything where the desktop keeps
// no recent files.
void HeldPlayer::opened(player::PlaybackControl& player) {
  if (!player.canSeek() || player.videoNumber() == rememberedVideo) return;
  rememberedVideo = player.videoNumber();
  const QString address = player.address();
  if (player::isHttpAddress(address)) return;
  // Where the desktop keeps no recent files, neither does Quillet.
  if (!player::mayKeepRecentThings()) return;
  const QString path = player::localFilePath(address);
  if (!path.isEmpty() && remember) remember(player::bytesOf(path));
}

void HeldPlayer::openNeighbour(int step) {
  const auto path = neighbour ? neighbour(step) : std::nullopt;
  if (!path || !current) return;
  current->showNote(QFile::decodeName(QByteArray::fromStdString(*path)).section(u'/', -1));
}

// Only a player in full screen leaves it: its "normal" request runs the
// program's way back, which puts the window's border and size back.
void HeldPlayer::fullScreenEnded() {
  if (current && current->inFullScreen()) current->leaveFullScreen();
}

}  // namespace quillet::qt
