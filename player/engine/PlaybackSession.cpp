#include "player/engine/PlaybackSession.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>

#include "player/flv/FlvMetadata.h"

namespace quillet::player {

namespace {

constexpr int kRefreshMilliseconds = 100;

// Tells one opened video from the next, across all players of the process.
quint64 nextVideoNumber() {
  static quint64 last = 0;
  return ++last;
}

}  // namespace

PlaybackSession::PlaybackSession(std::unique_ptr<MediaEngine> engine, EngineFactory makeEngine,
                                 QObject* parent)
    : QObject(parent), engine_(std::move(engine)), makeEngine_(std::move(makeEngine)) {
  refreshTimer_.setInterval(kRefreshMilliseconds);
  connect(&refreshTimer_, &QTimer::timeout, this, &PlaybackSession::refresh);
  if (engine_) connectEngine();
}

PlaybackSession::~PlaybackSession() {
  // The engine goes first so that none of its signals reaches a half-destroyed
  // session.
  if (engine_) engine_->disconnect(this);
  engine_.reset();
}

void PlaybackSession::connectEngine() {
  MediaEngine* e = engine_.get();
  connect(e, &MediaEngine::frameAvailable, this, &PlaybackSession::onFrame);
  connect(e, &MediaEngine::status, this, &PlaybackSession::onStatus);
  connect(e, &MediaEngine::pausedChanged, this, &PlaybackSession::onPausedChanged);
  connect(e, &MediaEngine::endOfStream, this, &PlaybackSession::onEndOfStream);
  connect(e, &MediaEngine::durationChanged, this, &PlaybackSession::onDurationChanged);
  connect(e, &MediaEngine::videoSizeChanged, this, &PlaybackSession::onVideoSizeChanged);
  connect(e, &MediaEngine::titleChanged, this, &PlaybackSession::titleChanged);
  connect(e, &MediaEngine::positionChanged, this, &PlaybackSession::onPositionChanged);
}

bool PlaybackSession::ensureEngine() {
  if (engine_) return true;
  if (!makeEngine_) return false;
  engine_ = makeEngine_();
  if (!engine_) return false;
  connectEngine();
  engine_->setFrameSize(frameSize_);
  engine_->setVolume(volume());
  engine_->setMuted(isMuted());
  engine_->setSpeed(speed());
  return true;
}

const MovieSettings& PlaybackSession::settings() const {
  static const MovieSettings none;
  return movie_ ? movie_->settings : none;
}

// ---- A movie's start and end ---------------------------------------------

void PlaybackSession::unload() {
  if (streamOpen()) engine_->pause();
  refreshTimer_.stop();
  movie_.reset();
}

void PlaybackSession::start(const MovieSettings& settings) {
  unload();
  Movie& m = movie_.emplace();
  m.settings = settings;
  m.volume = settings.volume;
  if (settings.durationOverride) m.duration = *settings.durationOverride;
  if (engine_) {
    engine_->setVolume(m.volume);
    engine_->setMuted(false);
    engine_->setSpeed(m.speed);
  }
  if (settings.wantsStream && (settings.source.isEmpty() || !ensureEngine())) {
    // Nothing to look for, or nothing to play it with: the same outcome as a
    // stream that is not found.
    m.notFound = true;
  } else if (settings.wantsStream) {
    engine_->open(settings.source, !settings.autoplay, 0);
    m.streamOpen = true;
    m.started = m.playing = settings.autoplay;
    m.loadedFraction = std::clamp(engine_->loadedFraction(), 0.0, 1.0);
    videoNumber_ = nextVideoNumber();
  }
  updateRefreshTimer();
}

// ---- Commands ----------------------------------------------------------------

void PlaybackSession::play() {
  if (!canPlay()) return;
  Movie& m = *movie_;
  m.started = true;
  m.stopped = false;
  const bool restart = std::exchange(m.atEnd, false);
  if (restart) {
    // Play at the end starts again from the beginning; a stream that begins
    // later (a byte-offset reopen) is opened again from its start.
    m.position = 0;
    if (engine_->streamStart() > 0) {
      engine_->open(m.settings.source, false, 0);
    } else {
      engine_->seek(0);
      engine_->play();
    }
  } else {
    engine_->play();
  }
  m.playing = true;
  updateRefreshTimer();
  if (restart) emit seeked(0);
  emit stageChanged();
}

void PlaybackSession::pause() {
  if (!streamOpen()) return;
  engine_->pause();
  movie_->playing = false;
  updateRefreshTimer();
  emit stageChanged();
}

void PlaybackSession::stop() {
  if (!canPlay()) return;
  engine_->pause();
  movie_->playing = false;
  movie_->stopped = movie_->started;
  updateRefreshTimer();
  if (movie_->duration > 0) seekTo(0);
  emit stageChanged();
}

void PlaybackSession::seekBy(double seconds) {
  if (canPlay() && duration() > 0 && std::isfinite(seconds))
    seekTo(std::clamp(livePosition() + seconds, 0.0, duration()));
}

void PlaybackSession::seekTo(double seconds) {
  if (!canPlay() || movie_->duration <= 0 || !std::isfinite(seconds)) return;
  Movie& m = *movie_;
  const double target = std::clamp(seconds, 0.0, m.duration);
  // At the end, a seek to the end or past it leaves the video there, so that
  // the next play starts it again from the beginning.
  if (m.atEnd && target >= m.duration) return;
  m.atEnd = false;
  // Stopped means back at the start: only a seek elsewhere ends it.
  if (target > 0) m.stopped = false;
  m.position = target;
  // With vseek, a place outside what the current stream holds is reached by
  // asking the server for the file from the key frame before it.
  const bool outside = target < engine_->streamStart() || target > engine_->seekableSeconds();
  if (m.settings.vseek && !m.settings.audioOnly && outside) {
    if (auto key = keyframeAtOrBefore(engine_->keyframes(), target)) {
      m.position = key->time;
      engine_->open(vseekAddress(m.settings.source, *m.settings.vseek, key->filePosition),
                    !m.playing, key->time);
      emit seeked(m.position);
      emit stageChanged();
      return;
    }
  }
  engine_->seek(target);
  emit seeked(target);
  emit stageChanged();
}

void PlaybackSession::scrubTo(double seconds) {
  if (!canPlay()) return;
  if (seconds >= engine_->streamStart() && seconds <= engine_->seekableSeconds())
    engine_->seek(seconds);
}

void PlaybackSession::setVolume(int percent) {
  const int v = std::clamp(percent, 0, 100);
  if (!movie_ || v == movie_->volume) return;
  movie_->volume = v;
  if (engine_) engine_->setVolume(v);
  emit barChanged();
}

void PlaybackSession::setMuted(bool muted) {
  if (!movie_ || muted == movie_->muted) return;
  movie_->muted = muted;
  if (engine_) engine_->setMuted(muted);
  emit barChanged();
}

void PlaybackSession::setSpeed(double factor) {
  if (!canPlay() || !std::isfinite(factor)) return;
  double s = std::clamp(factor, kMinSpeed, kMaxSpeed);
  // Steps of a tenth up and down meet at 1 again, whatever rounding did.
  if (std::abs(s - 1.0) < 0.005) s = 1.0;
  if (s == movie_->speed) return;
  movie_->speed = s;
  engine_->setSpeed(s);
  emit speedChanged();
}

void PlaybackSession::stepFrame(bool forward) {
  // Sound alone (an mp3, or a stream without a picture) has no frame to
  // step to: the engine would only pause the sound.
  if (!canPlay() || movie_->settings.audioOnly || movie_->videoSize.isEmpty()) return;
  Movie& m = *movie_;
  // A step is a move of its own: the video counts as started, away from
  // its end and from a stop.
  m.started = true;
  m.stopped = false;
  m.atEnd = false;
  m.playing = false;
  engine_->stepFrame(forward);
  updateRefreshTimer();
  emit stageChanged();
}

QImage PlaybackSession::snapshot() {
  if (!hasFrameToShow()) return {};
  return engine_->snapshot();
}

// ---- Frames and what is shown ------------------------------------------------

void PlaybackSession::setFrameSize(const QSize& size) {
  if (size == frameSize_) return;
  frameSize_ = size;
  if (engine_) engine_->setFrameSize(size);
}

bool PlaybackSession::hasFrameToShow() const {
  return streamOpen() && !movie_->settings.audioOnly && movie_->frameSeen;
}

QImage PlaybackSession::frame(const QSize& size) {
  if (!hasFrameToShow()) return {};
  return engine_->renderFrame(size);
}

bool PlaybackSession::frameInto(uchar* pixels, const QSize& size, qsizetype stride) {
  if (!hasFrameToShow()) return false;
  return engine_->renderInto(pixels, size, stride);
}

double PlaybackSession::livePosition() const {
  if (!canPlay()) return 0;
  // The engine's last report is newer than the bar's, which is refreshed
  // only while something moves.
  const double p = engine_->position();
  const double at = std::max(0.0, std::isfinite(p) ? p : movie_->position);
  return movie_->duration > 0 ? std::min(at, movie_->duration) : at;
}

QString PlaybackSession::title() const {
  if (!movie_ || movie_->settings.source.isEmpty()) return {};
  if (engine_ && movie_->streamOpen) {
    if (QString t = engine_->title(); !t.isEmpty()) return t;
  }
  const QString& source = movie_->settings.source;
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

// ---- What the engine reports ---------------------------------------------------

void PlaybackSession::showLoad(bool show) {
  if (movie_->loadShown == show) return;
  movie_->loadShown = show;
  emit bufferingChanged();
}

void PlaybackSession::onFrame() {
  if (!streamOpen() || movie_->settings.audioOnly) return;
  movie_->frameSeen = true;
  emit frameReady();
}

void PlaybackSession::onStatus(MediaEngine::StreamStatus status) {
  if (!streamOpen()) return;
  using S = MediaEngine::StreamStatus;
  switch (status) {
    case S::PlayStart:
    case S::BufferEmpty:
      showLoad(true);
      break;
    case S::BufferFull:
      showLoad(false);
      break;
    case S::StreamNotFound:
    case S::StreamUnplayable:
      movie_->notFound = status == S::StreamNotFound;
      movie_->unplayable = !movie_->notFound;
      movie_->playing = false;
      showLoad(false);
      break;
  }
  refresh();
  updateRefreshTimer();
  emit stageChanged();
}

void PlaybackSession::onPausedChanged(bool paused) {
  if (!canPlay() || movie_->playing == !paused) return;
  movie_->playing = !paused;
  refresh();
  updateRefreshTimer();
  emit barChanged();
}

void PlaybackSession::onEndOfStream() {
  if (!streamOpen()) return;
  movie_->playing = false;
  movie_->atEnd = true;
  showLoad(false);
  refresh();
  updateRefreshTimer();
  emit stageChanged();
}

void PlaybackSession::onDurationChanged(double seconds) {
  if (!movie_ || movie_->settings.durationOverride) return;
  movie_->duration = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
  emit barChanged();
}

void PlaybackSession::onVideoSizeChanged(QSize size) {
  if (!movie_) return;
  movie_->videoSize = size;
  emit videoSizeChanged();
}

void PlaybackSession::onPositionChanged() {
  // Playing, the timer follows the position; paused, each landing counts.
  if (canPlay() && !movie_->playing) refresh();
}

void PlaybackSession::refresh() {
  if (!streamOpen()) return;
  Movie& m = *movie_;
  const double position = engine_->position();
  if (std::isfinite(position)) m.position = std::max(0.0, position);
  const double loaded = engine_->loadedFraction();
  if (std::isfinite(loaded)) m.loadedFraction = std::clamp(loaded, 0.0, 1.0);
  if (!m.settings.durationOverride) {
    const double d = engine_->duration();
    if (std::isfinite(d) && d > 0) m.duration = d;
  }
  // Time that moves means the stream is playing, not waiting for data.
  if (m.playing && m.lastTickPosition >= 0 && m.position != m.lastTickPosition) showLoad(false);
  m.lastTickPosition = m.position;
  updateRefreshTimer();
  emit barChanged();
}

void PlaybackSession::updateRefreshTimer() {
  // Only while something moves: a paused, fully loaded player stays idle.
  const bool wanted = canPlay() && (movie_->playing || movie_->loadedFraction < 1.0);
  if (wanted && !refreshTimer_.isActive()) {
    movie_->lastTickPosition = -1;
    refreshTimer_.start();
  } else if (!wanted && refreshTimer_.isActive()) {
    refreshTimer_.stop();
  }
}

}  // namespace quillet::player
