// The player widget's PlaybackControl: each command is the same step the
// control bar takes, and the notifications report what those steps changed.

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "player/FlashPlayerWidget.h"

namespace quillet::player {

class FlashPlayerWidget::Playback final : public PlaybackControl {
 public:
  explicit Playback(FlashPlayerWidget& widget) : PlaybackControl(&widget), w(widget) {}

  void play() override { w.playPressed(); }
  void pause() override { w.pausePressed(); }
  void togglePause() override {
    if (w.playing_) {
      w.pausePressed();
    } else {
      w.playPressed();
    }
  }
  void stop() override { w.stopPressed(); }
  void seekTo(double seconds) override { w.seekToSeconds(seconds); }
  void seekBy(double seconds) override {
    if (canSeek() && std::isfinite(seconds))
      w.seekToSeconds(std::clamp(position() + seconds, 0.0, w.duration_));
  }
  void setVolume(int percent) override { w.setVolumePercent(percent); }
  void changeVolume(int delta) override { w.setVolumePercent(w.volume_ + delta); }
  void setMuted(bool muted) override { w.setMutedTo(muted); }
  void toggleFullScreen() override {
    if (w.movie_ && w.movie_->screenButtons) w.switchScreen(!w.fullScreen_);
  }
  void leaveFullScreen() override {
    if (w.movie_ && w.fullScreen_) w.switchScreen(false);
  }

  State state() const override {
    if (!canPlay() || !w.started_) return State::Stopped;
    if (w.playing_) return State::Playing;
    return w.atEnd_ || w.stopped_ ? State::Stopped : State::Paused;
  }
  bool canPlay() const override { return w.movie_ && w.streamOpen_ && !w.errorShown_; }
  bool canSeek() const override { return canPlay() && w.duration_ > 0; }
  double position() const override {
    if (!canPlay()) return 0;
    // The engine's last report is newer than the bar's, which is refreshed
    // only while something moves.
    const double p = w.engine_->position();
    const double at = std::max(0.0, std::isfinite(p) ? p : w.position_);
    return w.duration_ > 0 ? std::min(at, w.duration_) : at;
  }
  double duration() const override { return w.duration_; }
  int volume() const override { return w.volume_; }
  bool isMuted() const override { return w.muted_; }
  bool inFullScreen() const override { return w.fullScreen_; }
  QString address() const override { return w.movie_ ? w.movie_->source : QString(); }
  QString title() const override {
    if (!w.movie_ || w.movie_->source.isEmpty()) return {};
    if (w.engine_ && w.streamOpen_) {
      if (QString t = w.engine_->title(); !t.isEmpty()) return t;
    }
    const QString& source = w.movie_->source;
    const QUrl url(source);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
      const QString name = url.fileName();
      return name.isEmpty() ? source : name;
    }
    const QString path = scheme == QLatin1String("file") ? url.toLocalFile() : source;
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? source : name;
  }
  quint64 videoNumber() const override { return w.videoNumber_; }

  void notify() {
    const State s = state();
    if (s != lastState) {
      lastState = s;
      emit stateChanged();
    }
    const auto volumeNow = std::make_tuple(w.volume_, w.muted_);
    if (volumeNow != lastVolume) {
      lastVolume = volumeNow;
      emit volumeChanged();
    }
    auto metadataNow =
        std::make_tuple(w.videoNumber_, address(), title(), w.duration_, canPlay(), canSeek());
    if (metadataNow != lastMetadata) {
      lastMetadata = std::move(metadataNow);
      emit metadataChanged();
    }
  }

 private:
  FlashPlayerWidget& w;
  State lastState = State::Stopped;
  std::tuple<int, bool> lastVolume{w.volume_, w.muted_};
  std::tuple<quint64, QString, QString, double, bool, bool> lastMetadata{0, {},    {},
                                                                         0, false, false};
};

void FlashPlayerWidget::createPlayback() {
  playback_ = new Playback(*this);
}

PlaybackControl& FlashPlayerWidget::playback() const {
  return *playback_;
}

void FlashPlayerWidget::notifyPlayback() {
  static_cast<Playback*>(playback_)->notify();
}

}  // namespace quillet::player
