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

  State state() const override;
  Video video() const override;
  bool canPlay() const override;
  bool canSeek() const override;
  double position() const override;
  int volume() const override;
  double speed() const override;

  player::PlaybackCommands& commands() override;

 private:
  void changedAll();

  QPointer<player::PlaybackControl> player;
};

}  // namespace quillet::qt
