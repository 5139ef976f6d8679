#pragma once
// The media engine on libmpv: libmpv demuxes, decodes, plays the sound,
// buffers and seeks; a render backend draws its video frames for the
// player's surface. Everything here runs on the GUI thread; libmpv's own
// threads only post wake-ups to it.

#include <mpv/client.h>

#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "player/engine/MediaEngine.h"
#include "player/engine/RenderBackend.h"
#include "player/flv/ByteSource.h"

namespace quillet::player {

class KeyframeIndexReader;
class FlvReader;
class HttpStream;

struct MpvHandleDeleter {
  void operator()(mpv_handle* h) const { mpv_terminate_destroy(h); }
};
using MpvHandle = std::unique_ptr<mpv_handle, MpvHandleDeleter>;

struct MpvCore {
  MpvHandle mpv;  // initialised, its properties watched
  // Declared after mpv, so it goes first: the core must outlive its context.
  std::unique_ptr<RenderBackend> backend;
  QByteArray openedUrl;            // what it opened paused (the file's bytes); empty: nothing
  std::shared_ptr<FlvReader> flv;  // the reader it opened that FLV through, if any
};

// A core set up with the engine's options, its properties watched, nothing
// opened, and the backend attached when it may be here; nullopt when libmpv
// or the backend cannot be set up. Any thread; libmpv needs the C numeric
// locale.
std::optional<MpvCore> makeMpvCore(std::unique_ptr<RenderBackend> backend);

// Waits for the core the early start made; nullopt when none was started, it
// is taken already, or libmpv could not be set up there.
std::optional<MpvCore> takeEarlyCore();

class MpvEngine final : public MediaEngine {
  Q_OBJECT
 public:
  // Null when libmpv cannot be initialised.
  static std::unique_ptr<MpvEngine> create(QObject* parent = nullptr);
  ~MpvEngine() override;

  void open(const QString& address, bool paused, double startSeconds = 0) override;
  void play() override;
  void pause() override;
  void seek(double seconds) override;
  void setVolume(int percent) override;
  void setMuted(bool muted) override;
  void setSpeed(double factor) override;
  void stepFrame(bool forward) override;
  QImage snapshot() override;

  bool isPaused() const override { return paused_; }
  double position() const override;
  double duration() const override;
  double streamStart() const override { return startSeconds_; }
  double loadedFraction() const override;
  double seekableSeconds() const override;
  QSize videoSize() const override { return videoSize_; }
  KeyframeIndex keyframes() const override { return keyframes_; }
  QString title() const override { return title_; }
  void setFrameSize(const QSize& size) override { frameSize_ = size; }
  QImage renderFrame(const QSize& size) override;
  bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) override;

  // What libmpv decodes, for diagnostics and tests: the codec names and the
  // sample rate of the decoded sound (0 while none).
  QString videoCodec() const { return videoCodec_; }
  QString audioCodec() const { return audioCodec_; }
  int audioSampleRate() const { return audioSampleRate_; }
  // The playback speed as libmpv last reported it.
  double reportedSpeed() const { return reportedSpeed_; }
  // Whether the stream is the one a core started early had opened.
  bool tookEarlyOpening() const { return tookEarly_; }
  // The core itself, for benchmarks that read its counters.
  mpv_handle* core() const { return mpv_.get(); }
  // FFmpeg reads every tag from the last key frame it knows up to a seek's
  // target: this much further (seconds) and reopening the stream is quicker.
  static constexpr double kFarSeekSeconds = 60;
  // Where the next local FLV files' bytes come from (empty: the file
  // itself); tests give a source whose bytes come slowly, as a slow disk's.
  void setFileSource(FileSourceOpener open) { fileSource_ = std::move(open); }

 private:
  MpvEngine(MpvHandle mpv, QByteArray earlyUrl, QObject* parent);
  // Attaches the backend here, where it renders, unless the core's maker did,
  // and follows its frames.
  bool attachBackend(std::unique_ptr<RenderBackend> backend);
  // Whether open() asks for what the core opened early (the event
  // handling goes on either way).
  bool takeEarlyOpening(const QString& target);
  void handleEvents();
  void handleEvent(const mpv_event& event);
  void handleLoadReply(const mpv_event& event);
  void fileLoaded();
  void seekStream(double secondsIntoStream);
  // A seek once the stream has loaded: far beyond what FFmpeg's index knows
  // of a local FLV, the stream is reopened with the reader's newer index.
  void seekLoaded(double secondsIntoStream);
  bool beyondIndex(double seconds) const;
  // Waits for the walk to get past the target, then reopenAt().
  void seekFar(double seconds);
  void reopenAt(double seconds);
  void handleEndFile(const mpv_event_end_file& end);
  void handleProperty(std::uint64_t id, const mpv_event_property& property);
  void handleCacheState(const mpv_node& state);
  void handleUpdate();
  void command(std::initializer_list<const char*> args, std::uint64_t tag = 0);
  void setFlag(const char* name, bool value);
  void setPausedLocally(bool paused);
  void resetStreamState(bool reopen);
  void failStream();
  void reachedEnd();
  // The whole stream is at hand: a local file, or a download that arrived.
  bool loadedAll() const { return !network_ || cacheEof_; }
  // Seconds a stream's end, or its position, may stray from its length
  // before the length is taken to be wrong (a few frames, a sound packet).
  static constexpr double kEndSlack = 0.5;
  // Takes the true length from the reader's walk once it is done.
  void followWalk();
  // The reader's news of the stream before is no longer wanted.
  void forgetWalk();
  void setDuration(double seconds);
  // Whether libmpv's events now describe the stream the last open() asked for.
  bool streamStarted() const { return wantedEntry_ > 0 && startedEntry_ == wantedEntry_; }

  MpvHandle mpv_;
  std::unique_ptr<RenderBackend> backend_;
  KeyframeIndexReader* keyframeReader_;  // child
  // The reader a local FLV plays through; libmpv's stream holds it too.
  std::shared_ptr<FlvReader> flv_;
  std::unique_ptr<HttpStream> http_;  // the http download the open stream reads
  bool walked_ = false;               // the reader's length is known: libmpv's no longer counts
  // The last key frame the open stream's onMetaData lists (seconds); below
  // zero: the reader's own stream, whose index is read when needed.
  double indexedUntil_ = -1;
  // The furthest libmpv has played in the open stream: FFmpeg knows the key
  // frames up to there too.
  double playedUntil_ = 0;
  std::optional<double> farSeek_;  // a far seek waiting for the walk to get there
  FileSourceOpener fileSource_;    // empty: local files are read as they are

  // Set from libmpv's threads (the wake-up and the renderer's update
  // callback), cleared on the GUI thread: at most one queued pass each.
  std::atomic<bool> eventsQueued_{false};
  std::atomic<bool> updateQueued_{false};

  // Everything below: GUI thread only.

  // Which loadfile the events belong to. Each open() sends one with its own
  // reply tag; the reply names its playlist entry, and libmpv's start and end
  // events name theirs. Several opens in a row may start only the last file.
  quint64 generation_ = 0;         // counts open() calls
  std::int64_t wantedEntry_ = 0;   // the last open()'s entry; 0 until its reply
  std::int64_t startedEntry_ = 0;  // the entry of the last START_FILE
  std::int64_t loadedEntry_ = 0;   // the entry of the last FILE_LOADED
  // What a core started early opened paused before any open(); libmpv's
  // events and frames wait in its queues until open() tells whether it
  // wants that stream.
  QByteArray earlyUrl_;
  bool tookEarly_ = false;

  // The stream being played, as libmpv last reported it.
  bool network_ = false;
  bool loaded_ = false;
  bool atEnd_ = false;
  bool pausedForCache_ = false;
  bool paused_ = false;
  double startSeconds_ = 0;            // where a byte-offset reopen's time begins
  double timePos_ = 0;                 // seconds into the open stream
  std::optional<double> pendingSeek_;  // asked before the stream had loaded
  double duration_ = 0;                // as last reported, kept across a byte-offset reopen
  bool cacheEof_ = false;
  double cacheEnd_ = 0;  // seconds of the stream buffered from its start
  QSize videoSize_;
  qint64 displayWidth_ = 0, displayHeight_ = 0;
  KeyframeIndex keyframes_;
  QString videoCodec_, audioCodec_;
  QString title_;
  int audioSampleRate_ = 0;
  double reportedSpeed_ = 1;

  // The one frame cache: drawn as soon as libmpv has a frame, at the size
  // the view shows frames at; taken without drawing while it shows none.
  bool haveFrame_ = false;
  bool frameDrawn_ = false;
  bool frameTaken_ = false;  // the new frame was drawn while frameAvailable was told
  QImage frame_;
  QSize frameSize_;
};

}  // namespace quillet::player
