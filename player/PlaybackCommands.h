#pragma once
// The playback commands, declared once: the player's session carries them
// out, the player's PlaybackControl offers them to the keys, the bar and
// the host, and the desktop's media session hands on the current player's.

namespace quillet::player {

// Stopped: nothing to play, an error, stopped, or a video that waits for
// its first play. At the end the movie is paused there (play starts it
// again from the start).
enum class PlaybackState { Stopped, Paused, Playing };

inline constexpr double kMinSpeed = 0.25;
inline constexpr double kMaxSpeed = 4;

class PlaybackCommands {
 public:
  virtual void play() = 0;  // at the end or after stop: from the start
  virtual void pause() = 0;
  virtual void togglePause() = 0;
  virtual void stop() = 0;  // pauses and goes back to the start
  virtual void seekTo(double seconds) = 0;
  // From the position, kept within the video; nothing where it cannot seek.
  virtual void seekBy(double seconds) = 0;
  virtual void setVolume(int percent) = 0;  // 0 to 100
  virtual void setMuted(bool muted) = 0;
  // Within kMinSpeed to kMaxSpeed, 1 normal; the sound keeps its pitch.
  virtual void setSpeed(double factor) = 0;
  // Pauses, then shows the next frame or the one before.
  virtual void stepFrame(bool forward) = 0;

 protected:
  ~PlaybackCommands() = default;
};

// Takes every command and does nothing: where there is no player to act.
class NoPlaybackCommands final : public PlaybackCommands {
 public:
  void play() override {}
  void pause() override {}
  void togglePause() override {}
  void stop() override {}
  void seekTo(double) override {}
  void seekBy(double) override {}
  void setVolume(int) override {}
  void setMuted(bool) override {}
  void setSpeed(double) override {}
  void stepFrame(bool) override {}
};

}  // namespace quillet::player
