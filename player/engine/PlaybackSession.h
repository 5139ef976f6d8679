#pragma once
// One movie's playback: the media engine (made when there is first something
// to play), what the stream is doing (open, started, playing, stopped, at
// its end, buffering, not found or unplayable), the volume, byte-offset reopens for vseek,
// and the timer that follows the position while something moves. It draws
// nothing; the surface repaints from its signals.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "player/PlaybackCommands.h"
#include "player/engine/MediaEngine.h"
#include "player/movie/MovieSettings.h"

namespace quillet::player {

class PlaybackSession final : public QObject, public PlaybackCommands {
  Q_OBJECT
 public:
  using EngineFactory = std::function<std::unique_ptr<MediaEngine>()>;

  // Plays through engine; without one, makes one with makeEngine when it
  // first has something to play (an idle player then costs no engine).
  PlaybackSession(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine,
                  QObject* parent = nullptr);
  ~PlaybackSession() override;

  // A new movie: its volume, and its stream opened (paused unless autoplay).
  // The one before it is ended first.
  void start(const MovieSettings& settings);
  // Ends the movie's playback; no movie afterwards.
  void unload();

  // The playback commands; each acts on the movie's stream.
  void play() override;
  void pause() override;
  void togglePause() override { playing() ? pause() : play(); }
  void stop() override;
  void seekTo(double seconds) override;
  void seekBy(double seconds) override;
  // While the seek handle is dragged: follows within what is loaded and
  // leaves anything that needs a reopen to the release.
  void scrubTo(double seconds);
  void setVolume(int percent) override;
  void setMuted(bool muted) override;
  void setSpeed(double factor) override;  // a new movie starts at 1
  void stepFrame(bool forward) override;
  // The current frame at the video's own size; null while none is shown.
  QImage snapshot();

  // The view's frame size (device pixels); empty while it shows no frames.
  void setFrameSize(const QSize& size);
  // The current frame at that size; null while there is none to show.
  QImage frame(const QSize& size);
  // The same straight into the caller's RGB32 pixels; false when there is
  // none to show or the engine cannot (then frame() gives the image).
  bool frameInto(uchar* pixels, const QSize& size, qsizetype stride);

  bool hasMovie() const { return movie_.has_value(); }
  const MovieSettings& settings() const;
  bool streamOpen() const { return movie_ && movie_->streamOpen; }
  bool canPlay() const { return streamOpen() && !failed(); }
  bool started() const { return movie_ && movie_->started; }
  bool stopped() const { return movie_ && movie_->stopped; }
  bool playing() const { return movie_ && movie_->playing; }
  bool atEnd() const { return movie_ && movie_->atEnd; }
  bool buffering() const { return movie_ && movie_->loadShown; }
  // Why the stream cannot play, when it cannot: nothing at its address, or
  // nothing playable in what is there. Either shows the error layer.
  bool notFound() const { return movie_ && movie_->notFound; }
  bool unplayable() const { return movie_ && movie_->unplayable; }
  bool failed() const { return notFound() || unplayable(); }
  bool frameSeen() const { return movie_ && movie_->frameSeen; }
  // The position as last refreshed, and the engine's newest report of it.
  double position() const { return movie_ ? movie_->position : 0; }
  double livePosition() const;
  double duration() const { return movie_ ? movie_->duration : 0; }
  double loadedFraction() const { return movie_ ? movie_->loadedFraction : 0; }
  QSize videoSize() const { return movie_ ? movie_->videoSize : QSize(); }
  int volume() const { return movie_ ? movie_->volume : kDefaultVolume; }
  bool isMuted() const { return movie_ && movie_->muted; }
  double speed() const { return movie_ ? movie_->speed : 1.0; }
  bool isRefreshing() const { return refreshTimer_.isActive(); }
  quint64 videoNumber() const { return videoNumber_; }
  // The stream's key-frame index; empty while unknown.
  KeyframeIndex keyframes() const {
    return engine_ && movie_ ? engine_->keyframes() : KeyframeIndex{};
  }
  QString title() const;

 signals:
  void barChanged();    // play/pause, time, progress or volume
  void stageChanged();  // anything, the overlays included
  void bufferingChanged();
  void frameReady();
  void videoSizeChanged();
  void titleChanged();
  void seeked(double seconds);
  void speedChanged();

 private:
  // What one movie's playback knows; replaced whole for the next movie.
  struct Movie {
    MovieSettings settings;
    bool streamOpen = false;
    bool started = false;  // the first play happened
    bool stopped = false;  // stopped: back at the start, waiting for play
    bool playing = false;
    bool atEnd = false;
    bool loadShown = false;
    bool notFound = false;
    bool unplayable = false;
    bool frameSeen = false;
    int volume = kDefaultVolume;
    bool muted = false;
    double speed = 1;
    double position = 0;
    double duration = 0;
    double loadedFraction = 0;
    double lastTickPosition = -1;
    QSize videoSize;
  };

  void connectEngine();
  // A video stream that has shown its first frame.
  bool hasFrameToShow() const;
  bool ensureEngine();
  void showLoad(bool show);

  void onFrame();
  void onStatus(MediaEngine::StreamStatus status);
  void onPausedChanged(bool paused);
  void onEndOfStream();
  void onDurationChanged(double seconds);
  void onVideoSizeChanged(QSize size);
  void onPositionChanged();
  void refresh();
  void updateRefreshTimer();

  std::unique_ptr<MediaEngine> engine_;
  EngineFactory makeEngine_;
  std::optional<Movie> movie_;
  quint64 videoNumber_ = 0;  // kept across movies: the last video opened
  QSize frameSize_;
  QTimer refreshTimer_;
};

}  // namespace quillet::player
