#include "platform/qt/desktop/PlayerSession.h"

#include <QUrl>
#include <string_view>

#include "platform/PercentEncoding.h"
#include "player/movie/FlashVars.h"

namespace quillet::qt {

using player::PlaybackControl;

void PlayerSession::follow(PlaybackControl* control) {
  if (player) player->disconnect(this);
  player = control;
  if (player) {
    connect(player, &PlaybackControl::stateChanged, this, &MediaSession::stateChanged);
    connect(player, &PlaybackControl::metadataChanged, this, &MediaSession::videoChanged);
    connect(player, &PlaybackControl::volumeChanged, this, &MediaSession::volumeChanged);
    connect(player, &PlaybackControl::seeked, this, &MediaSession::seeked);
    connect(player, &PlaybackControl::speedChanged, this, &MediaSession::speedChanged);
    connect(player, &QObject::destroyed, this, [this] { changedAll(); });
  }
  changedAll();
}

namespace {

// A web address as it is; a file's as "file://" and its name's exact bytes,
// %-encoded where a URL's path needs it (a name need not be UTF-8).
QString urlOf(const QString& address) {
  if (player::isHttpAddress(address)) return QUrl(address).toString(QUrl::FullyEncoded);
  const QByteArray path = player::bytesOf(player::localFilePath(address));
  if (path.isEmpty()) return {};
  const auto mustEscape = [](unsigned char c) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    return !kept;
  };
  return QStringLiteral("file://") +
         QString::fromLatin1(
             percentEncode(std::string_view(path.constData(), path.size()), mustEscape));
}

}  // namespace

MediaSession::Video PlayerSession::video() const {
  if (!player || player->videoNumber() == 0) return {};
  const QString address = player->address();
  return {player->videoNumber(), address, player->title(), player->duration(), urlOf(address)};
}

player::PlaybackCommands& PlayerSession::commands() {
  static player::NoPlaybackCommands none;
  return player ? static_cast<player::PlaybackCommands&>(*player) : none;
}

void PlayerSession::changedAll() {
  emit speedChanged();
  emit stateChanged();
  emit videoChanged();
  emit volumeChanged();
}

}  // namespace quillet::qt
