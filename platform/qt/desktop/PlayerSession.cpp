#include "platform/qt/desktop/PlayerSession.h"

#include <QUrl>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/PercentEncoding.h"
#include "player/movie/FlashVars.h"
#include "player/engine/MpvOptions.h"

#include "player/engine/PlaybackSession.h"

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
    connect(player, &PlaybackControl::speedChanged, this, &MediaSession::rateChanged);
    connect(player, &QObject::destroyed, this, [this] { changedAll(); });
  }
  changedAll();
}

MediaSession::State PlayerSession::state() const {
  if (!player) return State::Stopped;
  switch (player->state()) {
    case PlaybackControl::State::Playing:
      return State::Playing;
    case PlaybackControl::State::Paused:
      return State::Paused;
    case PlaybackControl::State::Stopped:
      break;
  }
  return State::Stopped;
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

bool PlayerSession::canPlay() const {
  return player && player->canPlay();
}
bool PlayerSession::canSeek() const {
  return player && player->canSeek();
}
double PlayerSession::position() const {
  return player ? player->position() : 0;
}
double PlayerSession::volume() const {
  return player ? player->volume() / 100.0 : 0;
}

void PlayerSession::play() {
  if (player) player->play();
}
void PlayerSession::pause() {
  if (player) player->pause();
}
void PlayerSession::playPause() {
  if (player) player->togglePause();
}
void PlayerSession::stop() {
  if (player) player->stop();
}
void PlayerSession::seekTo(double seconds) {
  if (player) player->seekTo(seconds);
}
void PlayerSession::seekBy(double seconds) {
  if (player) player->seekBy(seconds);
}
void PlayerSession::setVolume(double volume) {
  if (player) player->setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

double PlayerSession::rate() const {
  return player ? player->speed() : 1.0;
}
double PlayerSession::minimumRate() const {
  return player::kMinSpeed;
}
double PlayerSession::maximumRate() const {
  return player::kMaxSpeed;
}
void PlayerSession::setRate(double rate) {
  if (player) player->setSpeed(rate);
}

void PlayerSession::changedAll() {
  emit rateChanged();
  emit stateChanged();
  emit videoChanged();
  emit volumeChanged();
}

}  // namespace quillet::qt
