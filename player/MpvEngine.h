#pragma once
// The media engine on libmpv: libmpv demuxes, decodes, plays the sound,
// buffers and seeks; a renderer turns its video frames into QImages for the
// player's surface. Everything here runs on the GUI thread; libmpv's own
// threads only post wake-ups to it.

#include <mpv/client.h>

#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "player/MediaEngine.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace quillet::player {

struct MpvHandleDeleter {
  void operator()(mpv_handle* h) const { mpv_terminate_destroy(h); }
};
using MpvHandle = std::unique_ptr<mpv_handle, MpvHandleDeleter>;

// Turns libmpv's video frames into images. The software path is the default
// (cheapest without a GPU); a GPU path can stand behind the same interface.
class FrameRenderer {
 public:
  virtual ~FrameRenderer() = default;
  // After the update callback fired: true when a new frame waits to be drawn.
  virtual bool takeUpdate() = 0;
  // Draws the waiting frame, or the current one again, at the given size.
  virtual QImage render(const QSize& size) = 0;
  // The same into the caller's RGB32 pixels; false when nothing was drawn.
  // Images render made before are let go.
  virtual bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) = 0;
  // Takes the waiting frame without drawing it, so playback goes on when
  // nobody looks.
  virtual void skip() = 0;
};

// libmpv's software render API into 64-byte aligned RGB32 images. Null when
// the render context cannot be created. onUpdate is called on libmpv's
// threads until the renderer is destroyed.
std::unique_ptr<FrameRenderer> createSoftwareRenderer(mpv_handle* mpv,
                                                      std::function<void()> onUpdate);

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

  bool isPaused() const override { return paused_; }
  double position() const override;
  double duration() const override;
  double loadedFraction() const override;
  double seekableSeconds() const override;
  QSize videoSize() const override { return videoSize_; }
  KeyframeIndex keyframes() const override { return keyframes_; }
  QString title() const override { return title_; }
  QImage renderFrame(const QSize& size) override;
  bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) override;

  // What libmpv decodes, for diagnostics and tests: the codec names and the
  // sample rate of the decoded sound (0 while none).
  QString videoCodec() const { return videoCodec_; }
  QString audioCodec() const { return audioCodec_; }
  int audioSampleRate() const { return audioSampleRate_; }

 private:
  struct Mailbox;  // hands results of background reads back to the GUI thread

  MpvEngine(MpvHandle mpv, QObject* parent);
  bool attachRenderer();
  void handleEvents();
  void handleEvent(const mpv_event& event);
  void handleProperty(std::uint64_t id, const mpv_event_property& property);
  void handleCacheState(const mpv_node& state);
  void handleUpdate();
  void command(std::initializer_list<const char*> args, std::uint64_t tag = 0);
  void setFlag(const char* name, bool value);
  void setPausedLocally(bool paused);
  void startKeyframeRead(const QString& address, bool network);
  void readKeyframesOverHttp(const QString& address);
  void keyframesRead(quint64 generation, std::optional<FlvMetadata> meta);
  void resetStreamState(bool reopen);
  void failStream();
  void reachedEnd();

  MpvHandle mpv_;
  std::unique_ptr<FrameRenderer> renderer_;
  std::shared_ptr<Mailbox> mailbox_;
  std::atomic<bool> eventsQueued_{false};
  std::atomic<bool> updateQueued_{false};

  // The stream being played, as libmpv last reported it.
  quint64 generation_ = 0;  // counts open() calls
  int pendingLoads_ = 0;    // loadfile commands whose file has not started yet
  bool network_ = false;
  bool loaded_ = false;
  bool atEnd_ = false;
  bool pausedForCache_ = false;
  bool paused_ = false;
  double startSeconds_ = 0;
  double timePos_ = 0;
  double duration_ = 0;  // as last reported, kept across a byte-offset reopen
  bool cacheEof_ = false;
  double cacheEnd_ = 0;  // seconds of the stream buffered from its start
  QSize videoSize_;
  qint64 displayWidth_ = 0, displayHeight_ = 0;
  KeyframeIndex keyframes_;
  QString videoCodec_, audioCodec_;
  QString title_;
  int audioSampleRate_ = 0;

  // Frames: drawn as soon as libmpv has them, at the size last asked for,
  // while someone keeps asking.
  bool haveFrame_ = false;
  bool frameDrawn_ = false;
  bool frameTaken_ = false;  // the waiting frame was drawn by a surface at once
  QImage frame_;
  QSize wantedSize_;
  std::chrono::steady_clock::time_point lastRequest_{};

  QNetworkAccessManager* networkAccess_ = nullptr;  // child; made for the first http stream
  QNetworkReply* metadataReply_ = nullptr;
};

}  // namespace quillet::player
