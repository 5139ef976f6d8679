#include "player/MpvEngine.h"

#include <fcntl.h>
#include <mpv/render.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>
#include <array>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "player/FlashVars.h"

namespace quillet::player {

namespace {

// Property ids for mpv_observe_property; the events carry them back.
enum PropertyId : std::uint64_t {
  kTimePos = 1,
  kDuration,
  kPause,
  kPausedForCache,
  kEofReached,
  kDisplayWidth,
  kDisplayHeight,
  kCacheState,
  kVideoFormat,
  kAudioCodec,
  kAudioSampleRate,
  kTitle,
};
constexpr std::uint64_t kLoadfileReply = 100;

// The head of a file that is read for its key-frame index at most: the
// metadata tag can be 16 MiB, and a few small tags may come before it.
constexpr std::size_t kMaxMetadataHead = 20u << 20;
constexpr std::size_t kFirstMetadataRead = 64u << 10;
// Larger targets are a caller's mistake, not a picture.
constexpr int kMaxRenderSide = 16384;
// Frames are drawn as they arrive only while the surface keeps asking.
constexpr auto kWatchingWindow = std::chrono::seconds(1);

// A progressive download buffers 5 seconds before it plays, and again after
// running dry; it keeps downloading the whole stream meanwhile, so the
// loaded part grows as it does in a browser plug-in.
constexpr const char* kHttpFileOptions = "cache=yes,cache-pause-initial=yes,cache-pause-wait=5";

// libmpv 0.38 (client API 2.3) put an insertion index before loadfile's
// per-file options. The library in use may be newer than its headers.
bool loadfileTakesIndex() {
  static const bool takesIndex = mpv_client_api_version() >= MPV_MAKE_VERSION(2, 3);
  return takesIndex;
}

bool isHttp(const QString& address) {
  return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// Anything that is not http(s) is a local file: a file: URL or a path. It is
// handed to libmpv as an absolute path so that text which looks like one of
// libmpv's own protocols (lavfi://, av://, edl://...) is never obeyed. The
// text may carry bytes that are not UTF-8 (see bytesOf), so it is made
// absolute as text, not through QFileInfo, which would change them.
QString localPath(const QString& address) {
  QString path = address;
  if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
    path = QUrl(address).toLocalFile();
  if (path.isEmpty() || QDir::isAbsolutePath(path)) return path;
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return QString();
  return textOf(QByteArrayView(here.c_str())) + u'/' + path;
}

// What the file system knows the text by.
std::string fileSystemName(const QString& path) {
  return bytesOf(path).toStdString();
}

// The desktop's sound server: PulseAudio, or PipeWire through its PulseAudio
// service; PipeWire's own protocol only when its socket is there, since its
// client library complains on stderr when nothing answers. Silence otherwise.
QByteArray soundOutputs() {
  if (const QByteArray forced = qgetenv("QUILLET_AO"); !forced.isEmpty()) return forced;
  QByteArray list = "pulse,";
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime) + "/pipewire-0"))
    list += "pipewire,";
  return list + "null";
}

// Reads the onMetaData of a local file, just as far as needed.
std::optional<FlvMetadata> readMetadataFromFile(const QString& path) {
  // Opened by its bytes: QFile would open a name that is not UTF-8 as another.
  // A pipe put there since the check must not block.
  const int fd = ::open(fileSystemName(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  std::vector<unsigned char> head;
  std::size_t want = kFirstMetadataRead;
  while (want <= kMaxMetadataHead) {
    const std::size_t had = head.size();
    head.resize(want);
    const qint64 got =
        file.read(reinterpret_cast<char*>(head.data() + had), static_cast<qint64>(want - had));
    head.resize(had + static_cast<std::size_t>(std::max<qint64>(got, 0)));
    const std::size_t need = flvMetadataBytesNeeded(head);
    if (need == 0) return std::nullopt;
    if (need <= head.size()) return readFlvMetadata(head);
    if (head.size() < want) return std::nullopt;  // the file ends first
    want = need;
  }
  return std::nullopt;
}

double finiteOr(double v, double fallback) {
  return std::isfinite(v) ? v : fallback;
}

const mpv_node* member(const mpv_node& map, std::string_view key) {
  if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list) return nullptr;
  const mpv_node_list& list = *map.u.list;
  for (int i = 0; i < list.num; ++i)
    if (list.keys[i] && key == list.keys[i]) return &list.values[i];
  return nullptr;
}

std::optional<double> number(const mpv_node* node) {
  if (!node) return std::nullopt;
  if (node->format == MPV_FORMAT_DOUBLE) return node->u.double_;
  if (node->format == MPV_FORMAT_INT64) return static_cast<double>(node->u.int64);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// The software renderer.

class SoftwareRenderer final : public FrameRenderer {
 public:
  static std::unique_ptr<SoftwareRenderer> create(mpv_handle* mpv, std::function<void()> onUpdate) {
    std::unique_ptr<SoftwareRenderer> renderer(new SoftwareRenderer(std::move(onUpdate)));
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* raw = nullptr;
    if (mpv_render_context_create(&raw, mpv, params) < 0 || !raw) return nullptr;
    renderer->context_.reset(raw);
    mpv_render_context_set_update_callback(raw, &SoftwareRenderer::updated, &renderer->onUpdate_);
    return renderer;
  }

  bool takeUpdate() override {
    return (mpv_render_context_update(context_.get()) & MPV_RENDER_UPDATE_FRAME) != 0;
  }

  QImage render(const QSize& size) override {
    if (!fits(size)) return {};
    QImage* target = bufferFor(size);
    if (!target || target->isNull()) return {};
    if (!draw(target->bits(), size, target->bytesPerLine())) return {};
    return *target;
  }

  bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) override {
    if (!pixels || !fits(size) || stride < qsizetype{size.width()} * 4) return false;
    buffers_ = {};
    return draw(pixels, size, stride);
  }

  void skip() override {
    int skip = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(context_.get(), params);
  }

 private:
  struct ContextDeleter {
    void operator()(mpv_render_context* c) const {
      // No update may reach a half-destroyed engine.
      mpv_render_context_set_update_callback(c, nullptr, nullptr);
      mpv_render_context_free(c);
    }
  };

  explicit SoftwareRenderer(std::function<void()> onUpdate) : onUpdate_(std::move(onUpdate)) {}

  static void updated(void* onUpdate) { (*static_cast<std::function<void()>*>(onUpdate))(); }

  static bool fits(const QSize& size) {
    return !size.isEmpty() && size.width() <= kMaxRenderSide && size.height() <= kMaxRenderSide;
  }

  bool draw(uchar* pixels, const QSize& size, qsizetype bytesPerLine) {
    int surfaceSize[2] = {size.width(), size.height()};
    char format[] = "bgr0";  // QImage::Format_RGB32 on little-endian machines
    std::size_t stride = static_cast<std::size_t>(bytesPerLine);
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, surfaceSize}, {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},   {MPV_RENDER_PARAM_SW_POINTER, pixels},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return mpv_render_context_render(context_.get(), params) >= 0;
  }

  // Stride and pointer 64-byte aligned: libmpv's fast conversion paths need
  // it and would otherwise copy the whole frame once more.
  static QImage alignedImage(const QSize& size) {
    const qsizetype stride = (qsizetype{size.width()} * 4 + 63) / 64 * 64;
    void* pixels = std::aligned_alloc(64, static_cast<std::size_t>(stride * size.height()));
    if (!pixels) return {};
    return QImage(
        static_cast<uchar*>(pixels), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* p) { std::free(p); }, pixels);
  }

  // A buffer nobody else holds, so that drawing into it never changes an
  // image the surface still has.
  QImage* bufferFor(const QSize& size) {
    for (QImage& b : buffers_)
      if (b.size() == size && b.isDetached()) return &b;
    for (QImage& b : buffers_)
      if (b.isNull() || b.isDetached()) return &(b = alignedImage(size));
    QImage& b = buffers_[next_];
    next_ = (next_ + 1) % buffers_.size();
    return &(b = alignedImage(size));
  }

  std::function<void()> onUpdate_;  // outlives context_, whose callback calls it
  std::unique_ptr<mpv_render_context, ContextDeleter> context_;
  std::array<QImage, 3> buffers_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<FrameRenderer> createSoftwareRenderer(mpv_handle* mpv,
                                                      std::function<void()> onUpdate) {
  return SoftwareRenderer::create(mpv, std::move(onUpdate));
}

// ---------------------------------------------------------------------------
// The engine.

struct MpvEngine::Mailbox {
  std::mutex lock;
  MpvEngine* engine = nullptr;  // null once the engine is gone

  void deliver(quint64 generation, std::optional<FlvMetadata> meta) {
    std::lock_guard guard(lock);
    if (!engine) return;
    QMetaObject::invokeMethod(
        engine,
        [e = engine, generation, meta = std::move(meta)] { e->keyframesRead(generation, meta); },
        Qt::QueuedConnection);
  }
};

std::unique_ptr<MediaEngine> createMpvEngine(QObject* parent) {
  return MpvEngine::create(parent);
}

std::unique_ptr<MpvEngine> MpvEngine::create(QObject* parent) {
  // libmpv refuses to start under a locale whose numbers use a decimal comma.
  std::setlocale(LC_NUMERIC, "C");
  MpvHandle mpv(mpv_create());
  if (!mpv) return nullptr;

  struct Option {
    const char* name;
    QByteArray value;
    bool essential;
  };
  const Option options[] = {
      // No user configuration, scripts, on-screen display or key bindings:
      // the player's own control bar is the only interface.
      {"config", "no", true},
      {"terminal", "no", false},
      {"osc", "no", false},
      {"osd-level", "0", false},
      {"input-default-bindings", "no", false},
      {"input-vo-keyboard", "no", false},
      {"input-cursor", "no", false},
      {"input-media-keys", "no", false},
      {"load-scripts", "no", false},
      {"load-stats-overlay", "no", false},
      {"load-osd-console", "no", false},
      {"load-auto-profiles", "no", false},
      {"ytdl", "no", false},
      {"resume-playback", "no", false},
      {"sub-auto", "no", false},
      {"audio-display", "no", false},
      // Only real media: no playlists, directories or references to other
      // files are followed.
      {"demuxer", "lavf", false},
      {"access-references", "no", false},
      // FFmpeg's FLV demuxer takes onMetaData's key-frame times literally, and
      // writers that put them off the real timestamps (ffmpeg's own index
      // when the sound delays the video) made seeks land a key frame or two
      // late. Its own search over the file is exact.
      {"demuxer-lavf-o", "fflags=+ignidx", false},
      // Our renderer draws; software decoding.
      {"vo", "libmpv", true},
      {"hwdec", "no", false},
      // Render calls must not wait for a frame's display time on the GUI thread.
      {"video-timing-offset", "0", false},
      {"idle", "yes", true},
      {"keep-open", "yes", true},
      {"ao", soundOutputs(), true},
      {"audio-fallback-to-null", "yes", false},
  };
  for (const Option& o : options)
    if (mpv_set_option_string(mpv.get(), o.name, o.value.constData()) < 0 && o.essential)
      return nullptr;
  if (mpv_initialize(mpv.get()) < 0) return nullptr;

  std::unique_ptr<MpvEngine> engine(new MpvEngine(std::move(mpv), parent));
  if (!engine->attachRenderer()) return nullptr;
  return engine;
}

MpvEngine::MpvEngine(MpvHandle mpv, QObject* parent)
    : MediaEngine(parent), mpv_(std::move(mpv)), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->engine = this;
  mpv_set_wakeup_callback(
      mpv_.get(),
      [](void* self) {
        auto* e = static_cast<MpvEngine*>(self);
        if (!e->eventsQueued_.exchange(true))
          QMetaObject::invokeMethod(
              e, [e] { e->handleEvents(); }, Qt::QueuedConnection);
      },
      this);

  mpv_handle* h = mpv_.get();
  mpv_observe_property(h, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
  mpv_observe_property(h, kDuration, "duration", MPV_FORMAT_DOUBLE);
  mpv_observe_property(h, kPause, "pause", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kEofReached, "eof-reached", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kDisplayWidth, "dwidth", MPV_FORMAT_INT64);
  mpv_observe_property(h, kDisplayHeight, "dheight", MPV_FORMAT_INT64);
  mpv_observe_property(h, kCacheState, "demuxer-cache-state", MPV_FORMAT_NODE);
  mpv_observe_property(h, kVideoFormat, "video-format", MPV_FORMAT_STRING);
  mpv_observe_property(h, kAudioCodec, "audio-codec-name", MPV_FORMAT_STRING);
  mpv_observe_property(h, kAudioSampleRate, "audio-params/samplerate", MPV_FORMAT_INT64);
  // FLV's onMetaData fields beyond the known ones land in libmpv's metadata.
  mpv_observe_property(h, kTitle, "metadata/by-key/title", MPV_FORMAT_STRING);
}

bool MpvEngine::attachRenderer() {
  // Before the first loadfile: without a render context libmpv shows no video.
  renderer_ = createSoftwareRenderer(mpv_.get(), [this] {
    if (!updateQueued_.exchange(true))
      QMetaObject::invokeMethod(
          this, [this] { handleUpdate(); }, Qt::QueuedConnection);
  });
  return renderer_ != nullptr;
}

MpvEngine::~MpvEngine() {
  {
    std::lock_guard guard(mailbox_->lock);
    mailbox_->engine = nullptr;
  }
  if (metadataReply_) {
    metadataReply_->disconnect(this);
    if (metadataReply_->isRunning()) metadataReply_->abort();
  }
  // libmpv's order: the render context goes first, while the core still runs;
  // then no more wake-ups; then the core.
  renderer_.reset();
  mpv_set_wakeup_callback(mpv_.get(), nullptr, nullptr);
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
  // libmpv pauses on the last frame (keep-open); say so before the stop, so
  // that the play button is what the surface shows.
  atEnd_ = true;
  setPausedLocally(true);
  emit status(StreamStatus::PlayStop);
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
  ++generation_;
  startSeconds_ = std::isfinite(startSeconds) && startSeconds > 0 ? startSeconds : 0;
  resetStreamState(startSeconds_ > 0);
  network_ = isHttp(address);
  const QString target = network_ ? address : localPath(address);

  // Only regular files: a directory, a pipe or a device is no video, and a
  // pipe with no writer would block whoever opens it.
  std::error_code error;
  if (target.isEmpty() ||
      (!network_ && !std::filesystem::is_regular_file(fileSystemName(target), error))) {
    failStream();
    return;
  }

  setPausedLocally(paused);
  setFlag("pause", paused);
  ++pendingLoads_;
  const QByteArray url = bytesOf(target);  // libmpv takes the file system's bytes
  if (network_ && loadfileTakesIndex())
    command({"loadfile", url.constData(), "replace", "-1", kHttpFileOptions}, kLoadfileReply);
  else if (network_)
    command({"loadfile", url.constData(), "replace", kHttpFileOptions}, kLoadfileReply);
  else
    command({"loadfile", url.constData(), "replace"}, kLoadfileReply);
  startKeyframeRead(target, network_);
}

void MpvEngine::play() {
  // At the end, play starts again from the beginning.
  if (atEnd_) {
    command({"seek", "0", "absolute"});
    atEnd_ = false;
    timePos_ = 0;
  }
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
  const QByteArray text = QByteArray::number(target, 'f', 3);
  command({"seek", text.constData(), "absolute"});
  timePos_ = target;
}

void MpvEngine::setVolume(int percent) {
  double volume = std::clamp(percent, 0, 100);
  mpv_set_property_async(mpv_.get(), 0, "volume", MPV_FORMAT_DOUBLE, &volume);
}

void MpvEngine::setMuted(bool muted) {
  setFlag("mute", muted);
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

QImage MpvEngine::renderFrame(const QSize& size) {
  lastRequest_ = std::chrono::steady_clock::now();
  wantedSize_ = size;
  if (!haveFrame_ || !renderer_) return {};
  if (!frameDrawn_ || frame_.size() != size) {
    frame_ = renderer_->render(size);
    frameDrawn_ = !frame_.isNull();
    frameTaken_ = true;
  }
  return frame_;
}

bool MpvEngine::renderInto(uchar* pixels, const QSize& size, qsizetype stride) {
  lastRequest_ = std::chrono::steady_clock::now();
  wantedSize_ = size;
  if (!haveFrame_ || !renderer_ || !renderer_->renderInto(pixels, size, stride)) return false;
  // The surface holds the picture now; an image of an older one goes.
  frame_ = QImage();
  frameDrawn_ = false;
  frameTaken_ = true;
  return true;
}

void MpvEngine::handleUpdate() {
  updateQueued_ = false;
  if (!renderer_ || !renderer_->takeUpdate()) return;
  // Frames of the previous stream may still arrive until the new one starts.
  if (pendingLoads_ == 0) haveFrame_ = true;
  // libmpv holds playback until each frame is taken, so every frame is taken
  // at once: by a surface that draws it while told (straight into its own
  // pixels), else drawn here for a surface that is painting, or skipped for
  // one that is hidden (it draws the current frame when it asks again).
  frameDrawn_ = false;
  frameTaken_ = false;
  if (haveFrame_) emit frameAvailable();
  if (std::exchange(frameTaken_, false)) return;
  const bool watching =
      !wantedSize_.isEmpty() && std::chrono::steady_clock::now() - lastRequest_ < kWatchingWindow;
  if (watching) {
    frame_ = renderer_->render(wantedSize_);
    frameDrawn_ = !frame_.isNull();
  } else {
    renderer_->skip();
    frameDrawn_ = false;
  }
}

void MpvEngine::handleEvents() {
  eventsQueued_ = false;  // before draining: a wake-up from now on queues another pass
  for (;;) {
    const mpv_event* event = mpv_wait_event(mpv_.get(), 0);
    if (!event || event->event_id == MPV_EVENT_NONE) return;
    handleEvent(*event);
  }
}

void MpvEngine::handleEvent(const mpv_event& event) {
  switch (event.event_id) {
    case MPV_EVENT_START_FILE:
      if (pendingLoads_ > 0) --pendingLoads_;
      break;
    case MPV_EVENT_FILE_LOADED:
      if (pendingLoads_ > 0) break;
      loaded_ = true;
      emit status(StreamStatus::PlayStart);
      break;
    case MPV_EVENT_PLAYBACK_RESTART:
      // The first frame after a load or a seek is there: the stream plays.
      if (pendingLoads_ == 0 && loaded_ && !pausedForCache_) emit status(StreamStatus::BufferFull);
      break;
    case MPV_EVENT_END_FILE: {
      if (pendingLoads_ > 0 || !event.data) break;  // the stream that open() replaced
      const auto& end = *static_cast<const mpv_event_end_file*>(event.data);
      if (end.reason == MPV_END_FILE_REASON_ERROR || end.reason == MPV_END_FILE_REASON_REDIRECT) {
        // Missing, unreadable or not media at all (-13, -16, -17...).
        loaded_ = false;
        if (end.reason == MPV_END_FILE_REASON_REDIRECT) command({"playlist-clear"});
        emit status(StreamStatus::StreamNotFound);
      } else if (end.reason == MPV_END_FILE_REASON_EOF && !atEnd_) {
        reachedEnd();
      }
      break;
    }
    case MPV_EVENT_COMMAND_REPLY:
      if (event.reply_userdata == kLoadfileReply && event.error < 0) {
        // libmpv refused the address itself: no file will start.
        if (pendingLoads_ > 0) --pendingLoads_;
        if (pendingLoads_ == 0) emit status(StreamStatus::StreamNotFound);
      }
      break;
    case MPV_EVENT_PROPERTY_CHANGE:
      if (event.data)
        handleProperty(event.reply_userdata, *static_cast<const mpv_event_property*>(event.data));
      break;
    default:
      break;
  }
}

void MpvEngine::handleProperty(std::uint64_t id, const mpv_event_property& p) {
  const bool has = p.data && p.format != MPV_FORMAT_NONE;
  const auto flag = [&] {
    return has && p.format == MPV_FORMAT_FLAG && *static_cast<int*>(p.data);
  };
  const auto real = [&](double fallback) {
    return has && p.format == MPV_FORMAT_DOUBLE ? finiteOr(*static_cast<double*>(p.data), fallback)
                                                : fallback;
  };
  const auto integer = [&] {
    return has && p.format == MPV_FORMAT_INT64 ? *static_cast<std::int64_t*>(p.data) : 0;
  };
  const auto text = [&] {
    return has && p.format == MPV_FORMAT_STRING ? QString::fromUtf8(*static_cast<char**>(p.data))
                                                : QString();
  };

  // The pause flag belongs to the player; everything else to the stream, and
  // until the new stream starts, values still describe the one it replaced.
  if (id == kPause) {
    if (has) setPausedLocally(flag());
    return;
  }
  if (pendingLoads_ > 0) return;

  switch (id) {
    case kTimePos:
      if (has) timePos_ = std::max(0.0, real(0));
      break;
    case kDuration:
      if (const double d = real(0); d > 0 && startSeconds_ + d != duration_) {
        duration_ = startSeconds_ + d;
        emit durationChanged(duration_);
      }
      break;
    case kPausedForCache:
      if (const bool waiting = flag(); waiting != pausedForCache_) {
        pausedForCache_ = waiting;
        emit status(waiting ? StreamStatus::BufferEmpty : StreamStatus::BufferFull);
      }
      break;
    case kEofReached:
      if (const bool end = flag(); !end) {
        atEnd_ = false;
      } else if (loaded_ && !atEnd_) {
        reachedEnd();
      }
      break;
    case kDisplayWidth:
    case kDisplayHeight: {
      const std::int64_t v = std::clamp<std::int64_t>(integer(), 0, kMaxRenderSide);
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
      videoCodec_ = text();
      break;
    case kAudioCodec:
      audioCodec_ = text();
      break;
    case kAudioSampleRate:
      audioSampleRate_ = static_cast<int>(std::clamp<std::int64_t>(integer(), 0, 1 << 24));
      break;
    case kTitle:
      // A byte-offset reopen starts past the metadata: the title stays.
      if (const QString t = text().trimmed(); t != title_ && (startSeconds_ == 0 || !t.isEmpty())) {
        title_ = t;
        emit titleChanged();
      }
      break;
    default:
      break;
  }
}

void MpvEngine::handleCacheState(const mpv_node& state) {
  if (!network_) return;  // a local file counts as loaded; its cache state says little
  if (const mpv_node* eof = member(state, "eof"); eof && eof->format == MPV_FORMAT_FLAG)
    cacheEof_ = eof->u.flag != 0;
  double end = finiteOr(number(member(state, "cache-end")).value_or(0), 0);
  if (const mpv_node* ranges = member(state, "seekable-ranges");
      ranges && ranges->format == MPV_FORMAT_NODE_ARRAY && ranges->u.list) {
    for (int i = 0; i < ranges->u.list->num; ++i)
      end =
          std::max(end, finiteOr(number(member(ranges->u.list->values[i], "end")).value_or(0), 0));
  }
  cacheEnd_ = std::max(0.0, end);
}

// ---------------------------------------------------------------------------
// The key-frame index, read from the stream's start off the GUI thread.

void MpvEngine::startKeyframeRead(const QString& address, bool network) {
  if (metadataReply_) {
    metadataReply_->disconnect(this);
    if (metadataReply_->isRunning()) metadataReply_->abort();
    metadataReply_->deleteLater();
    metadataReply_ = nullptr;
  }
  if (network) {
    readKeyframesOverHttp(address);
    return;
  }
  QThreadPool::globalInstance()->start(
      [mailbox = mailbox_, generation = generation_, path = address] {
        mailbox->deliver(generation, readMetadataFromFile(path));
      });
}

void MpvEngine::readKeyframesOverHttp(const QString& address) {
  if (!networkAccess_) networkAccess_ = new QNetworkAccessManager(this);
  QNetworkRequest request{QUrl(address)};
  request.setRawHeader("Range", "bytes=0-" + QByteArray::number(qulonglong{kMaxMetadataHead - 1}));
  request.setTransferTimeout(20000);
  QNetworkReply* reply = networkAccess_->get(request);
  metadataReply_ = reply;

  auto head = std::make_shared<std::vector<unsigned char>>();
  const auto finish = [this, reply, head, generation = generation_] {
    reply->disconnect(this);
    if (metadataReply_ == reply) metadataReply_ = nullptr;
    const std::size_t need = flvMetadataBytesNeeded(*head);
    keyframesRead(generation,
                  need > 0 && need <= head->size() ? readFlvMetadata(*head) : std::nullopt);
    // Aborted from the event loop, not from inside the reply's own signal,
    // where Qt's backend still reports to it afterwards.
    QMetaObject::invokeMethod(
        reply,
        [reply] {
          if (reply->isRunning()) reply->abort();
          reply->deleteLater();
        },
        Qt::QueuedConnection);
  };
  connect(reply, &QNetworkReply::readyRead, this, [reply, head, finish] {
    const QByteArray chunk = reply->read(kMaxMetadataHead - head->size());
    head->insert(head->end(), chunk.begin(), chunk.end());
    // A server that ignores the range sends the whole file: stop as soon as
    // the metadata is in, or once it cannot come.
    const std::size_t need = flvMetadataBytesNeeded(*head);
    if (need == 0 || need <= head->size() || head->size() >= kMaxMetadataHead) finish();
  });
  connect(reply, &QNetworkReply::finished, this, finish);
}

void MpvEngine::keyframesRead(quint64 generation, std::optional<FlvMetadata> meta) {
  if (generation != generation_ || !meta || meta->keyframes.times.empty()) return;
  keyframes_ = std::move(meta->keyframes);
}

}  // namespace quillet::player
