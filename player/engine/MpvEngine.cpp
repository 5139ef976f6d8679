#include "player/engine/MpvEngine.h"

#include <QByteArray>
#include <QPointer>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <vector>

#include "player/engine/FlvStreams.h"
#include "player/engine/MpvNode.h"
#include "player/engine/MpvOptions.h"
#include "player/flv/KeyframeIndexReader.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {

std::unique_ptr<MediaEngine> createMpvEngine(QObject* parent) {
  return MpvEngine::create(parent);
}

std::unique_ptr<MpvEngine> MpvEngine::create(QObject* parent) {
  std::optional<MpvCore> core = takeEarlyCore();
  if (!core) {
    // libmpv refuses to start under a locale whose numbers use a decimal comma.
    std::setlocale(LC_NUMERIC, "C");
    core = makeMpvCore(createRenderBackend());
  }
  if (!core) return nullptr;
  std::unique_ptr<MpvEngine> engine(
      new MpvEngine(std::move(core->mpv), std::move(core->openedUrl), parent));
  engine->flv_ = std::move(core->flv);
  if (!engine->attachBackend(std::move(core->backend))) return nullptr;
  return engine;
}

MpvEngine::MpvEngine(MpvHandle mpv, QByteArray earlyUrl, QObject* parent)
    : MediaEngine(parent),
      mpv_(std::move(mpv)),
      keyframeReader_(new KeyframeIndexReader(this)),
      generation_(earlyUrl.isEmpty() ? 0 : kEarlyGeneration),
      earlyUrl_(std::move(earlyUrl)) {
  connect(keyframeReader_, &KeyframeIndexReader::indexRead, this,
          [this](const KeyframeIndex& index) { keyframes_ = index; });
  mpv_set_wakeup_callback(
      mpv_.get(),
      [](void* self) {
        auto* e = static_cast<MpvEngine*>(self);
        if (!e->eventsQueued_.exchange(true))
          QMetaObject::invokeMethod(
              e, [e] { e->handleEvents(); }, Qt::QueuedConnection);
      },
      this);
}

MpvEngine::~MpvEngine() {
  keyframeReader_->cancel();
  forgetWalk();
  // libmpv's order: the render context goes first, while the core still runs;
  // then no more wake-ups; then the core.
  backend_.reset();
  mpv_set_wakeup_callback(mpv_.get(), nullptr, nullptr);
  // A read that waits for a download's bytes must not hold up the core's end.
  http_.reset();
  mpv_.reset();
}

void MpvEngine::command(std::initializer_list<const char*> args, std::uint64_t tag) {
  std::vector<const char*> list(args);
  list.push_back(nullptr);
  mpv_command_async(mpv_.get(), tag, list.data());
}

void MpvEngine::setFlag(const char* name, bool value) {
  int flag = value ? 1 : 0;
  mpv_set_property_async(mpv_.get(), 0, name, MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setPausedLocally(bool paused) {
  if (paused_ == paused) return;
  paused_ = paused;
  emit pausedChanged(paused);
}

void MpvEngine::resetStreamState(bool reopen) {
  loaded_ = false;
  atEnd_ = false;
  pausedForCache_ = false;
  timePos_ = 0;
  pendingSeek_.reset();
  farSeek_.reset();
  playedUntil_ = 0;
  cacheEof_ = false;
  cacheEnd_ = 0;
  videoCodec_.clear();
  audioCodec_.clear();
  audioSampleRate_ = 0;
  // A byte-offset reopen is the same video from a key frame on: its size,
  // duration, index and last picture stay until the new stream tells more.
  if (reopen) return;
  keyframes_ = {};
  if (!title_.isEmpty()) {
    title_.clear();
    emit titleChanged();
  }
  haveFrame_ = false;
  frameDrawn_ = false;
  frame_ = QImage();
}

void MpvEngine::reachedEnd() {
  // Where the whole stream ended, its length is known for certain: a length
  // that promised more (a cut download, a wrong onMetaData) gives way to it,
  // unless the reader walked every tag. A frame's time of slack keeps a true
  // length against the last frame's.
  if (const double end = position();
      !walked_ && loadedAll() && end > 0 && end < duration_ - kEndSlack)
    setDuration(end);
  // libmpv pauses on the last frame (keep-open); say so before the end, so
  // that the play button is what the surface shows.
  atEnd_ = true;
  setPausedLocally(true);
  emit endOfStream();
}

void MpvEngine::failStream() {
  command({"stop"});
  QMetaObject::invokeMethod(
      this,
      [this, generation = generation_] {
        if (generation == generation_) emit status(StreamStatus::StreamNotFound);
      },
      Qt::QueuedConnection);
}

void MpvEngine::open(const QString& address, bool paused, double startSeconds) {
  network_ = isHttpAddress(address);
  const QString target = network_ ? address : localFilePath(address);
  startSeconds_ = std::isfinite(startSeconds) && startSeconds > 0 ? startSeconds : 0;
  const bool early = tookEarly_ = takeEarlyOpening(target);
  if (!early) ++generation_;
  wantedEntry_ = 0;
  resetStreamState(startSeconds_ > 0);

  if (!early) {
    forgetWalk();
    flv_.reset();
  }
  // The download before goes, and whatever waited for its bytes with it.
  http_.reset();
  walked_ = false;
  indexedUntil_ = -1;
  if (target.isEmpty() || (!network_ && !isRegularFile(target))) {
    keyframeReader_->cancel();
    failStream();
    return;
  }

  setPausedLocally(paused);
  setFlag("pause", paused);
  if (!early) {
    QByteArray url = bytesOf(target);  // libmpv takes the file system's bytes
    std::optional<RepairedFlv> flv;
    if (network_) {
      // Fetched by Quillet's own download, repaired as it arrives; FFmpeg's
      // exact search seeks in it, as the reader's index covers only what
      // was walked when the stream began.
      http_ = openHttpStream(url);
      url = http_->url();
    } else if ((flv = openRepairedFlv(url, fileSource_))) {
      flv_ = std::move(flv->reader);
      url = std::move(flv->url);
    }
    std::vector<const char*> args =
        flv ? repairedLoadfileArguments(url) : loadfileArguments(url, network_);
    args.push_back(nullptr);
    mpv_command_async(mpv_.get(), kLoadfileReplyBase + generation_, args.data());
  }
  keyframeReader_->start(target, network_);
  followWalk();
}

void MpvEngine::followWalk() {
  if (!flv_ || startSeconds_ > 0) return;
  QPointer<MpvEngine> self(this);
  flv_->whenWalked([self, generation = generation_](const FlvReader::Summary& walk) {
    // From the walking thread, or from here at once: the GUI thread decides.
    QMetaObject::invokeMethod(
        self.data(),
        [self, generation, duration = walk.duration] {
          if (!self || generation != self->generation_) return;
          self->walked_ = true;
          if (duration > 0) self->setDuration(duration);
        },
        Qt::QueuedConnection);
  });
}

void MpvEngine::forgetWalk() {
  if (!flv_) return;
  flv_->whenWalked(nullptr);
  flv_->whenWalkedTo(0, nullptr);
}

void MpvEngine::setDuration(double seconds) {
  if (seconds == duration_) return;
  duration_ = seconds;
  emit durationChanged(duration_);
}

bool MpvEngine::takeEarlyOpening(const QString& target) {
  if (earlyUrl_.isEmpty()) return false;
  const bool same = !network_ && startSeconds_ == 0 && bytesOf(target) == earlyUrl_;
  earlyUrl_.clear();
  // What libmpv told meanwhile was held back: it belongs to this open(), or
  // to a stream that this one replaces.
  QMetaObject::invokeMethod(
      this,
      [this] {
        handleEvents();
        handleUpdate();
      },
      Qt::QueuedConnection);
  return same;
}

void MpvEngine::play() {
  setPausedLocally(false);
  setFlag("pause", false);
}

void MpvEngine::pause() {
  setPausedLocally(true);
  setFlag("pause", true);
}

void MpvEngine::seek(double seconds) {
  if (!std::isfinite(seconds)) return;
  const double target = std::max(0.0, seconds - startSeconds_);
  timePos_ = target;
  farSeek_.reset();
  // libmpv refuses a seek while the file is still opening (the reader's
  // walk can give the length, and so the seek bar, before that): it is
  // made as soon as the file has loaded.
  if (loaded_)
    seekLoaded(target);
  else
    pendingSeek_ = target;
  // Away from the end: reaching it again is a new end.
  atEnd_ = false;
}

void MpvEngine::seekLoaded(double seconds) {
  if (beyondIndex(seconds))
    seekFar(seconds);
  else
    seekStream(seconds);
}

bool MpvEngine::beyondIndex(double seconds) const {
  if (!flv_ || network_ || startSeconds_ > 0) return false;
  double indexed = indexedUntil_;
  if (indexed < 0) {
    const std::shared_ptr<const FlvReader::Prefix> own = flv_->prefix();
    if (!own) return false;
    indexed = own->indexedUntil;
  }
  return seconds > std::max(indexed, playedUntil_) + kFarSeekSeconds;
}

void MpvEngine::seekFar(double seconds) {
  // The key frame before the target must be walked first; until then the
  // position shows the target, and a later seek or file replaces this one.
  farSeek_ = seconds;
  QPointer<MpvEngine> self(this);
  flv_->whenWalkedTo(seconds + 1, [self, generation = generation_, seconds] {
    // From the walking thread, or from here at once: the GUI thread decides.
    QMetaObject::invokeMethod(
        self.data(),
        [self, generation, seconds] {
          if (self && generation == self->generation_ && self->farSeek_ == seconds)
            self->reopenAt(seconds);
        },
        Qt::QueuedConnection);
  });
}

void MpvEngine::reopenAt(double seconds) {
  farSeek_.reset();
  std::optional<RepairedFlv> again = reindexedFlvStream(flv_);
  if (!again) {
    seekStream(seconds);
    return;
  }
  // The same video from its start, so its times, length, title and last
  // picture stay; only libmpv's events of the stream it replaces go.
  ++generation_;
  wantedEntry_ = 0;
  resetStreamState(true);
  timePos_ = seconds;
  indexedUntil_ = again->prefix->indexedUntil;
  const QByteArray options = repairedFileOptions(seconds);
  std::vector<const char*> args = repairedLoadfileArguments(again->url, options);
  args.push_back(nullptr);
  mpv_command_async(mpv_.get(), kLoadfileReplyBase + generation_, args.data());
  followWalk();
}

void MpvEngine::seekStream(double seconds) {
  const QByteArray text = QByteArray::number(seconds, 'f', 3);
  command({"seek", text.constData(), "absolute"});
}

void MpvEngine::setVolume(int percent) {
  double volume = std::clamp(percent, 0, 100);
  mpv_set_property_async(mpv_.get(), 0, "volume", MPV_FORMAT_DOUBLE, &volume);
}

void MpvEngine::setMuted(bool muted) {
  setFlag("mute", muted);
}

void MpvEngine::setSpeed(double factor) {
  if (!std::isfinite(factor) || factor <= 0) return;
  mpv_set_property_async(mpv_.get(), 0, "speed", MPV_FORMAT_DOUBLE, &factor);
}

void MpvEngine::stepFrame(bool forward) {
  // libmpv pauses for the step itself; the player says so at once.
  setPausedLocally(true);
  command({forward ? "frame-step" : "frame-back-step"});
  atEnd_ = false;
}

double MpvEngine::position() const {
  return startSeconds_ + timePos_;
}

double MpvEngine::duration() const {
  return duration_;
}

double MpvEngine::loadedFraction() const {
  if (!network_) return loaded_ ? 1.0 : 0.0;
  if (cacheEof_) return 1.0;
  if (duration_ <= 0) return 0.0;
  return std::clamp((startSeconds_ + cacheEnd_) / duration_, 0.0, 1.0);
}

double MpvEngine::seekableSeconds() const {
  if (!network_ || cacheEof_) return loaded_ ? duration_ : 0.0;
  return startSeconds_ + cacheEnd_;
}

void MpvEngine::handleEvents() {
  eventsQueued_ = false;             // before draining: a wake-up from now on queues another pass
  if (!earlyUrl_.isEmpty()) return;  // held until open() (takeEarlyOpening)
  for (;;) {
    const mpv_event* event = mpv_wait_event(mpv_.get(), 0);
    if (!event || event->event_id == MPV_EVENT_NONE) return;
    handleEvent(*event);
  }
}

void MpvEngine::handleEvent(const mpv_event& event) {
  switch (event.event_id) {
    case MPV_EVENT_START_FILE:
      if (event.data)
        startedEntry_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
      break;
    case MPV_EVENT_FILE_LOADED:
      // It follows its own START_FILE; the reply may not have named the
      // entry yet (see handleLoadReply).
      loadedEntry_ = startedEntry_;
      if (streamStarted()) fileLoaded();
      break;
    case MPV_EVENT_PLAYBACK_RESTART:
      // The first frame after a load or a seek is there: the stream plays.
      // Without pictures, the reader's walk may go on now (else once the
      // first is drawn, see handleUpdate).
      if (flv_ && !flv_->summary().hasVideo) flv_->walkOn();
      if (streamStarted() && loaded_ && !pausedForCache_) emit status(StreamStatus::BufferFull);
      break;
    case MPV_EVENT_END_FILE:
      // Only the end of the stream the last open() asked for counts: the
      // ones it replaced end as it starts.
      if (event.data) {
        const auto& end = *static_cast<const mpv_event_end_file*>(event.data);
        if (wantedEntry_ > 0 && end.playlist_entry_id == wantedEntry_) handleEndFile(end);
      }
      break;
    case MPV_EVENT_COMMAND_REPLY:
      if (event.reply_userdata == kLoadfileReplyBase + generation_) handleLoadReply(event);
      break;
    case MPV_EVENT_PROPERTY_CHANGE:
      if (event.data)
        handleProperty(event.reply_userdata, *static_cast<const mpv_event_property*>(event.data));
      break;
    default:
      break;
  }
}

void MpvEngine::handleLoadReply(const mpv_event& event) {
  if (event.error < 0) {
    // libmpv refused the address itself: no file will start.
    emit status(StreamStatus::StreamNotFound);
    return;
  }
  const auto* reply = static_cast<const mpv_event_command*>(event.data);
  const mpv_node* id = reply ? member(reply->result, "playlist_entry_id") : nullptr;
  if (!id || id->format != MPV_FORMAT_INT64) return;
  wantedEntry_ = id->u.int64;
  // libmpv replies before it starts the file; should that ever change, what
  // was missed is caught up here.
  if (streamStarted() && loadedEntry_ == wantedEntry_ && !loaded_) fileLoaded();
}

void MpvEngine::fileLoaded() {
  loaded_ = true;
  if (const std::optional<double> target = std::exchange(pendingSeek_, std::nullopt))
    seekLoaded(*target);
  emit status(StreamStatus::PlayStart);
}

void MpvEngine::handleEndFile(const mpv_event_end_file& end) {
  if (end.reason == MPV_END_FILE_REASON_ERROR || end.reason == MPV_END_FILE_REASON_REDIRECT) {
    // A local file was there when it was opened (open() checks), so it holds
    // nothing that plays; a server's answer that is not media (-16 nothing to
    // play, -17 unknown format) says the same, any other failure that there
    // is nothing at that address.
    loaded_ = false;
    if (end.reason == MPV_END_FILE_REASON_REDIRECT) command({"playlist-clear"});
    const bool notMedia = end.reason == MPV_END_FILE_REASON_REDIRECT ||
                          end.error == MPV_ERROR_NOTHING_TO_PLAY ||
                          end.error == MPV_ERROR_UNKNOWN_FORMAT;
    emit status(!network_ || notMedia ? StreamStatus::StreamUnplayable
                                      : StreamStatus::StreamNotFound);
  } else if (end.reason == MPV_END_FILE_REASON_EOF && !atEnd_) {
    if (!haveFrame_ && videoCodec_.isEmpty() && audioCodec_.isEmpty()) {
      // It opened, but ended without a frame or a sound stream.
      loaded_ = false;
      emit status(StreamStatus::StreamUnplayable);
      return;
    }
    reachedEnd();
  }
}

void MpvEngine::handleProperty(std::uint64_t id, const mpv_event_property& p) {
  const bool has = p.data && p.format != MPV_FORMAT_NONE;

  // The pause flag belongs to the player; everything else to the stream, and
  // until the new stream starts, values still describe the one it replaced.
  if (id == kPause) {
    if (has) setPausedLocally(flagOf(p));
    return;
  }
  if (id == kSpeed) {
    reportedSpeed_ = realOf(p, reportedSpeed_);
    return;
  }
  if (!streamStarted()) return;

  switch (id) {
    case kTimePos:
      // While a far seek waits for the walk, the position is its target.
      if (has && !farSeek_) {
        timePos_ = std::max(0.0, realOf(p, 0));
        playedUntil_ = std::max(playedUntil_, timePos_);
      }
      // Playing past the length the stream gave: it was too short, and the
      // length grows with what plays.
      if (has && !walked_ && duration_ > 0 && position() > duration_ + kEndSlack)
        setDuration(position());
      if (has && paused_) emit positionChanged();
      break;
    case kDuration:
      // A walked FLV's length is the reader's: libmpv knows only what the
      // stream's start said.
      if (const double d = realOf(p, 0); d > 0 && !walked_) setDuration(startSeconds_ + d);
      break;
    case kPausedForCache:
      if (const bool waiting = flagOf(p); waiting != pausedForCache_) {
        pausedForCache_ = waiting;
        emit status(waiting ? StreamStatus::BufferEmpty : StreamStatus::BufferFull);
      }
      break;
    case kEofReached:
      if (const bool end = flagOf(p); !end) {
        atEnd_ = false;
      } else if (loaded_ && !atEnd_) {
        reachedEnd();
      }
      break;
    case kDisplayWidth:
    case kDisplayHeight: {
      const std::int64_t v = std::clamp<std::int64_t>(integerOf(p), 0, kMaxRenderSide);
      (id == kDisplayWidth ? displayWidth_ : displayHeight_) = v;
      const QSize size(static_cast<int>(displayWidth_), static_cast<int>(displayHeight_));
      if (!size.isEmpty() && size != videoSize_) {
        videoSize_ = size;
        emit videoSizeChanged(size);
      }
      break;
    }
    case kCacheState:
      if (has && p.format == MPV_FORMAT_NODE) handleCacheState(*static_cast<mpv_node*>(p.data));
      break;
    case kVideoFormat:
      videoCodec_ = stringOf(p);
      break;
    case kAudioCodec:
      audioCodec_ = stringOf(p);
      break;
    case kAudioSampleRate:
      audioSampleRate_ = static_cast<int>(std::clamp<std::int64_t>(integerOf(p), 0, 1 << 24));
      break;
    case kTitle:
      // A byte-offset reopen starts past the metadata: the title stays.
      if (const QString t = stringOf(p).trimmed();
          t != title_ && (startSeconds_ == 0 || !t.isEmpty())) {
        title_ = t;
        emit titleChanged();
      }
      break;
    default:
      break;
  }
}

void MpvEngine::handleCacheState(const mpv_node& node) {
  if (!network_) return;  // a local file counts as loaded; its cache state says little
  const CacheState state = readCacheState(node);
  if (state.eof) cacheEof_ = *state.eof;
  cacheEnd_ = state.end;
}

}  // namespace quillet::player
