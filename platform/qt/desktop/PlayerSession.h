#pragma once
// The desktop's media services see the player the window holds now: each
// video brings a new player, and the session follows it. Without a player
// the session is stopped, with nothing to play.

#include <QPointer>

#include "platform/qt/desktop/MediaSession.h"
#include "player/PlaybackControl.h"

namespace quillet::qt {

class PlayerSession final : public MediaSession {
 public:
  using MediaSession::MediaSession;

  // Follows `control` from now on (nullptr: none); announces everything anew.
  void follow(player::PlaybackControl* control);

  State state() const override { return player ? player->state() : State::Stopped; }
  Video video() const override;
  bool canPlay() const override { return player && player->canPlay(); }
  bool canSeek() const override { return player && player->canSeek(); }
  double position() const override { return player ? player->position() : 0; }
  int volume() const override { return player ? player->volume() : 0; }
  double speed() const override { return player ? player->speed() : 1.0; }

  player::PlaybackCommands& commands() override;

 private:
  void changedAll();

  QPointer<player::PlaybackControl> player;
};

}  // namespace quillet::qt
