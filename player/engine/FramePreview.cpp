#include "player/engine/FramePreview.h"

#include <mpv/client.h>

#include <QByteArray>
#include <QLoggingCategory>
#include <atomic>
#include <clocale>
#include <cmath>
#include <optional>

#include "player/engine/MpvEngine.h"
#include "player/engine/MpvOptions.h"
#include "player/engine/RenderBackend.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {

namespace {

Q_LOGGING_CATEGORY(lcPreview, "quillet.player.preview", QtWarningMsg)

constexpr std::uint64_t kLoadReply = 1;
constexpr std::uint64_t kSeekReply = 2;

bool applyPreviewOptions(mpv_handle* mpv) {
  struct Option {
    const char* name;
    const char* value;
  };
  const Option options[] = {
      {"config", "no"},
      {"terminal", "no"},
      {"osc", "no"},
      {"osd-level", "0"},
      {"input-default-bindings", "no"},
      {"input-vo-keyboard", "no"},
      {"load-scripts", "no"},
      {"load-stats-overlay", "no"},
      {"load-osd-console", "no"},
      {"ytdl", "no"},
      {"resume-playback", "no"},
      {"sub-auto", "no"},
      {"demuxer", "lavf"},
      {"access-references", "no"},
      // The same search over the file as the main engine: the same key frames.
      {"demuxer-lavf-o", "fflags=+ignidx"},
      {"vo", "libmpv"},
      {"hwdec", "no"},
      // Pictures only: no sound output, no sound or subtitles decoded.
      {"ao", "null"},
      {"aid", "no"},
      {"sid", "no"},
      {"mute", "yes"},
      {"pause", "yes"},
      // Straight to the key frame: no decoding up to the exact moment.
      {"hr-seek", "no"},
      // One decoding thread gives the first picture after a seek soonest, and
      // leaves the cores to the video being watched.
      {"vd-lavc-threads", "1"},
      {"cache", "no"},
      {"demuxer-readahead-secs", "0"},
      {"demuxer-max-bytes", "4MiB"},
      {"demuxer-max-back-bytes", "0"},
      {"zimg-threads", "1"},
      {"zimg-dither", "no"},
      {"zimg-scaler", "bilinear"},
      {"video-timing-offset", "0"},
      {"idle", "yes"},
      {"keep-open", "yes"},
  };
  for (const Option& o : options)
    if (mpv_set_option_string(mpv, o.name, o.value) < 0 &&
        (o.name == std::string_view("vo") || o.name == std::string_view("ao")))
      return false;
  return true;
}

}  // namespace

// Everything here runs on the preview's thread; libmpv's threads only post
// wake-ups to it.
class PreviewWorker final : public QObject {
  Q_OBJECT
 public:
  PreviewWorker() = default;
  ~PreviewWorker() override {
    // libmpv's order: the render context first, then the wake-ups, then the core.
    backend_.reset();
    if (mpv_) mpv_set_wakeup_callback(mpv_.get(), nullptr, nullptr);
    mpv_.reset();
  }

  void setSource(quint64 generation, const QByteArray& path) {
    generation_ = generation;
    source_ = path;
    pending_.reset();
    current_.reset();
    opened_ = false;
    loaded_ = false;
    failed_ = false;
    if (!mpv_) return;  // opened with the first request
    if (path.isEmpty()) {
      const char* stop[] = {"stop", nullptr};
      mpv_command_async(mpv_.get(), 0, stop);
    } else {
      load();
    }
  }

  void prepare(quint64 generation) {
    if (generation != generation_ || source_.isEmpty() || failed_ || mpv_) return;
    if (!makeCore()) {
      failed_ = true;
      emit unavailable(generation_);
    }
  }

  void request(quint64 generation, qint64 key, double seconds, QSize size) {
    if (generation != generation_ || source_.isEmpty() || size.isEmpty() ||
        size.width() > kMaxRenderSide || size.height() > kMaxRenderSide)
      return;
    if (failed_) {
      emit unavailable(generation_);
      return;
    }
    pending_ = Request{key, seconds, size};
    prepare(generation);  // the engine, with the first request
    if (mpv_) next();
  }

 signals:
  void ready(quint64 generation, qint64 key, const QImage& picture);
  void unavailable(quint64 generation);

 private:
  struct Request {
    qint64 key;
    double seconds;
    QSize size;
  };
  bool makeCore() {
    std::setlocale(LC_NUMERIC, "C");  // libmpv refuses a decimal comma
    MpvHandle mpv(mpv_create());
    if (!mpv || !applyPreviewOptions(mpv.get()) || mpv_initialize(mpv.get()) < 0) {
      qCWarning(lcPreview) << "libmpv could not be set up for previews";
      return false;
    }
    auto backend = createSoftwareBackend();
    if (!backend->attach(mpv.get())) return false;
    mpv_ = std::move(mpv);
    backend_ = std::move(backend);
    mpv_set_wakeup_callback(
        mpv_.get(),
        [](void* self) {
          auto* w = static_cast<PreviewWorker*>(self);
          if (!w->eventsQueued_.exchange(true))
            QMetaObject::invokeMethod(
                w, [w] { w->handleEvents(); }, Qt::QueuedConnection);
        },
        this);
    backend_->setUpdateCallback([this] {
      if (!updateQueued_.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { handleUpdate(); }, Qt::QueuedConnection);
    });
    load();
    return true;
  }

  void load() {
    opened_ = false;
    loaded_ = false;
    std::vector<const char*> args = loadfileArguments(source_, false);
    args.push_back(nullptr);
    mpv_command_async(mpv_.get(), kLoadReply, args.data());
  }

  // The newest request, once the file shows its first frame and no seek is
  // under way.
  void next() {
    if (!loaded_ || current_ || !pending_) return;
    current_ = pending_;
    pending_.reset();
    const QByteArray at = QByteArray::number(std::max(0.0, current_->seconds), 'f', 3);
    const char* seek[] = {"seek", at.constData(), "absolute+keyframes", nullptr};
    mpv_command_async(mpv_.get(), kSeekReply, seek);
  }

  void handleEvents() {
    eventsQueued_ = false;
    for (;;) {
      const mpv_event* event = mpv_wait_event(mpv_.get(), 0);
      if (!event || event->event_id == MPV_EVENT_NONE) return;
      switch (event->event_id) {
        case MPV_EVENT_FILE_LOADED:
          opened_ = true;
          break;
        case MPV_EVENT_PLAYBACK_RESTART:
          // The first after a load is the file's opening frame; each later
          // one is a seek's key frame. Those of a file replaced came before
          // the new one's FILE_LOADED.
          if (!opened_) break;
          if (!loaded_) {
            loaded_ = true;
            next();
          } else if (current_) {
            draw();
          }
          break;
        case MPV_EVENT_END_FILE: {
          const auto* end = static_cast<const mpv_event_end_file*>(event->data);
          if (end && end->reason == MPV_END_FILE_REASON_ERROR) fail();
          break;
        }
        case MPV_EVENT_COMMAND_REPLY:
          if (event->error < 0 && event->reply_userdata == kLoadReply) fail();
          // A seek libmpv refused: the next request may do better.
          if (event->error < 0 && event->reply_userdata == kSeekReply && current_) {
            current_.reset();
            next();
          }
          break;
        default:
          break;
      }
    }
  }

  void handleUpdate() {
    updateQueued_ = false;
    // libmpv's video output waits up to 200 ms for each frame to be taken
    // before it goes on, the seek's restart included: every frame is taken
    // at once, undrawn. The restart then draws the one it landed on.
    if (backend_ && backend_->takeUpdate()) backend_->skip();
  }

  void draw() {
    if (!current_) return;
    const Request done = *current_;
    current_.reset();
    // A buffer of the backend's that nobody else holds: the picture sent
    // stays as it is.
    const QImage picture = backend_->render(done.size);
    if (!picture.isNull()) emit ready(generation_, done.key, picture);
    next();
  }

  void fail() {
    qCInfo(lcPreview) << "no preview pictures for this video";
    failed_ = true;
    loaded_ = false;
    pending_.reset();
    current_.reset();
    emit unavailable(generation_);
  }

  MpvHandle mpv_;
  std::unique_ptr<RenderBackend> backend_;
  std::atomic<bool> eventsQueued_{false};
  std::atomic<bool> updateQueued_{false};
  quint64 generation_ = 0;
  QByteArray source_;
  bool opened_ = false;  // libmpv told the file is loaded
  bool loaded_ = false;  // ...and showed its first frame
  bool failed_ = false;
  std::optional<Request> pending_;  // the newest request not yet started
  std::optional<Request> current_;  // the one whose seek is under way
};

FramePreview::FramePreview(QObject* parent) : QObject(parent) {
  thread_.setObjectName(QStringLiteral("preview"));
  worker_ = new PreviewWorker;  // deleted on its thread when the thread ends
  worker_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
  connect(worker_, &PreviewWorker::ready, this,
          [this](quint64 generation, qint64 key, const QImage& picture) {
            if (generation == generation_) emit pictureReady(key, picture);
          });
  connect(worker_, &PreviewWorker::unavailable, this, [this](quint64 generation) {
    if (generation == generation_) emit unavailable();
  });
  thread_.start(QThread::LowPriority);
}

FramePreview::~FramePreview() {
  thread_.quit();
  thread_.wait();
}

void FramePreview::setSource(const QString& path) {
  const quint64 generation = ++generation_;
  QMetaObject::invokeMethod(
      worker_,
      [w = worker_, generation, bytes = bytesOf(path)] { w->setSource(generation, bytes); },
      Qt::QueuedConnection);
}

void FramePreview::prepare() {
  QMetaObject::invokeMethod(
      worker_, [w = worker_, generation = generation_] { w->prepare(generation); },
      Qt::QueuedConnection);
}

void FramePreview::request(qint64 key, double seconds, const QSize& size) {
  if (!std::isfinite(seconds)) return;
  QMetaObject::invokeMethod(
      worker_,
      [w = worker_, generation = generation_, key, seconds, size] {
        w->request(generation, key, seconds, size);
      },
      Qt::QueuedConnection);
}

}  // namespace quillet::player

#include "FramePreview.moc"
