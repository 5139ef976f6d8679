// The player widget's PlaybackControl: each command is the same step the
// control bar takes, and the notifications report what those steps changed.

#include <tuple>

#include "player/surface/FlashPlayerWidget.h"
#include "player/surface/PlayerAccessible.h"

namespace quillet::player {

class FlashPlayerWidget::Control final : public PlaybackControl {
 public:
  explicit Control(FlashPlayerWidget& widget)
      : PlaybackControl(&widget), w(widget), s(widget.session_) {}

  void play() override { s.play(); }
  void pause() override { s.pause(); }
  void togglePause() override { s.togglePause(); }
  void stop() override { s.stop(); }
  void seekTo(double seconds) override { s.seekTo(seconds); }
  void seekBy(double seconds) override {
    if (w.movie_) s.seekBy(seconds);
  }
  void setVolume(int percent) override { s.setVolume(percent); }
  void changeVolume(int delta) override { s.setVolume(s.volume() + delta); }
  void setMuted(bool muted) override { s.setMuted(muted); }
  void toggleFullScreen() override {
    if (w.movie_ && s.settings().screenButtons) w.switchScreen(!w.movie_->fullScreen);
  }
  void leaveFullScreen() override {
    if (w.movie_ && w.movie_->fullScreen) w.switchScreen(false);
  }

  State state() const override {
    if (!canPlay() || !s.started()) return State::Stopped;
    if (s.playing()) return State::Playing;
    // At the end the movie pauses on its last picture (play starts it again).
    return s.stopped() && !s.atEnd() ? State::Stopped : State::Paused;
  }
  bool canPlay() const override { return w.movie_ && s.canPlay(); }
  bool canSeek() const override { return canPlay() && s.duration() > 0; }
  double position() const override { return canPlay() ? s.livePosition() : 0; }
  double duration() const override { return s.duration(); }
  int volume() const override { return s.volume(); }
  bool isMuted() const override { return s.isMuted(); }
  bool inFullScreen() const override { return w.inFullScreenState(); }
  QString address() const override { return w.movie_ ? s.settings().source : QString(); }
  QString title() const override { return w.movie_ ? s.title() : QString(); }
  quint64 videoNumber() const override { return s.videoNumber(); }

  void setSpeed(double factor) override {
    if (w.videoReady()) s.setSpeed(factor);
  }
  double speed() const override { return s.speed(); }
  void stepFrame(bool forward) override {
    if (w.videoReady()) s.stepFrame(forward);
  }
  void showNote(const QString& text) override { w.showNote(text); }

  void notify() {
    const State st = state();
    if (st != lastState) {
      lastState = st;
      emit stateChanged();
    }
    const auto volumeNow = std::make_tuple(s.volume(), s.isMuted());
    if (volumeNow != lastVolume) {
      lastVolume = volumeNow;
      emit volumeChanged();
    }
    auto metadataNow =
        std::make_tuple(s.videoNumber(), address(), title(), s.duration(), canPlay(), canSeek());
    if (metadataNow != lastMetadata) {
      lastMetadata = std::move(metadataNow);
      emit metadataChanged();
    }
  }

 private:
  FlashPlayerWidget& w;
  PlaybackSession& s;
  State lastState = State::Stopped;
  std::tuple<int, bool> lastVolume{s.volume(), s.isMuted()};
  std::tuple<quint64, QString, QString, double, bool, bool> lastMetadata{0, {},    {},
                                                                         0, false, false};
};

void FlashPlayerWidget::createControl() {
  playback_ = new Control(*this);
}

void FlashPlayerWidget::notifyPlayback() {
  static_cast<Control*>(playback_)->notify();
  announcePlayerChanges(*this);
}

}  // namespace quillet::player
