// The libmpv engine playing real clips: every FLV codec, stream events,
// pause, seek, the key-frame index, rendering and bad input.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "player/engine/EarlyStart.h"
#include "player/engine/MpvEngine.h"
#include "player/engine/RenderBackend.h"
#include "player/flv/FlvMetadata.h"
#include "player/flv/FlvReader.h"
#include "player/flv/HttpByteSource.h"

// Readable failure messages.
void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QSize& s, std::ostream* os) {
  *os << s.width() << 'x' << s.height();
}

namespace quillet::player {
namespace {

using Status = MediaEngine::StreamStatus;

QString clipPath(const char* name) {
  return QStringLiteral(QUILLET_CLIP_DIR "/%1.flv").arg(name);
}
QString dataPath(const char* name) {
  return QStringLiteral(QUILLET_TEST_DATA "/%1").arg(name);
}

// Runs the event loop until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

void spin(int ms) {
  waitUntil([] { return false; }, ms);
}

// A fingerprint of a frame's colours (the fourth byte of "bgr0" is garbage).
std::size_t fingerprint(const QImage& image) {
  std::size_t h = 1469598103934665603ull;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) h = (h ^ (line[x] & 0xffffff)) * 1099511628211ull;
  }
  return h;
}

double litShare(const QImage& image) {
  int lit = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) lit += (line[x] & 0xffffff) > 0x101010;
  }
  return double(lit) / (image.width() * image.height());
}

// Records what an engine reports, drawing each new frame as a surface would.
// Its connections end with it.
struct Recorder {
  explicit Recorder(MpvEngine& e) : engine(e) {
    QObject::connect(&engine, &MediaEngine::frameAvailable, &context, [this] {
      const QImage image = engine.renderFrame(size);
      if (image.isNull()) return;
      ++frames;
      distinct.insert(fingerprint(image));
      last = image;
    });
    QObject::connect(&engine, &MediaEngine::status, &context,
                     [this](Status s) { statuses.push_back(s); });
    QObject::connect(&engine, &MediaEngine::pausedChanged, &context,
                     [this](bool p) { pausedChanges.push_back(p); });
    QObject::connect(&engine, &MediaEngine::endOfStream, &context, [this] {
      ++ends;
      statusesAtEnd = statuses.size();
    });
    QObject::connect(&engine, &MediaEngine::videoSizeChanged, &context,
                     [this](QSize s) { videoSize = s; });
    QObject::connect(&engine, &MediaEngine::durationChanged, &context,
                     [this](double d) { duration = d; });
  }
  bool saw(Status s) const { return count(s) > 0; }
  int count(Status s) const { return int(std::count(statuses.begin(), statuses.end(), s)); }

  QObject context;
  MpvEngine& engine;
  QSize size{160, 120};
  std::vector<Status> statuses;
  std::vector<bool> pausedChanges;
  int frames = 0;
  std::set<std::size_t> distinct;
  QImage last;
  int ends = 0;
  std::size_t statusesAtEnd = 0;  // how many statuses came before the last end
  QSize videoSize;
  double duration = 0;
};

// A clip the build makes with ffmpeg; without it the test is skipped. A
// macro, since only a skip in the test's own body ends the test.
#define REQUIRE_CLIP(path)                                                     \
  do {                                                                         \
    if (!QFileInfo::exists(path))                                              \
      GTEST_SKIP() << QString(path).toStdString() << " not built (no ffmpeg)"; \
  } while (false)

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = MpvEngine::create();
    ASSERT_TRUE(engine) << "libmpv could not be initialised";
    recorder = std::make_unique<Recorder>(*engine);
  }
  bool loaded(int ms = 5000) {
    // Started, drawn, and the first restart reported (a seek before it would
    // merge with it).
    return waitUntil(
        [&] {
          return recorder->saw(Status::PlayStart) && recorder->saw(Status::BufferFull) &&
                 recorder->frames > 0;
        },
        ms);
  }

  std::unique_ptr<MpvEngine> engine;
  std::unique_ptr<Recorder> recorder;
};

// --- every codec FLV carries ---------------------------------------------

struct Clip {
  const char* file;  // in the clip folder, or a path in the test data
  bool realFile;
  const char* videoCodec;
  const char* audioCodec;  // empty: no sound track
  double seconds;
  QSize size;
  double startAt;  // long clips are sought near their end first
};

void PrintTo(const Clip& c, std::ostream* os) {
  *os << c.file;
}

class EveryCodec : public Engine, public ::testing::WithParamInterface<Clip> {};

TEST_P(EveryCodec, PlaysFramesThatChangeAndItsSoundToTheEnd) {
  const Clip& clip = GetParam();
  const QString path = clip.realFile ? dataPath(clip.file) : clipPath(clip.file);
  REQUIRE_CLIP(path);
  recorder->size = clip.size;

  engine->open(path, clip.startAt > 0);
  ASSERT_TRUE(loaded()) << "no first frame";
  if (clip.startAt > 0) {
    engine->seek(clip.startAt);
    engine->play();
  }
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, int(clip.seconds * 1000) + 6000))
      << "did not reach the end";

  EXPECT_EQ(engine->videoCodec(), clip.videoCodec);
  EXPECT_EQ(engine->audioCodec(), clip.audioCodec);
  if (*clip.audioCodec) {
    EXPECT_GT(engine->audioSampleRate(), 0) << "no sound was decoded";
  }
  EXPECT_EQ(engine->videoSize(), clip.size);
  EXPECT_EQ(recorder->videoSize, clip.size);
  EXPECT_NEAR(engine->duration(), clip.seconds, 0.15);
  EXPECT_NEAR(recorder->duration, clip.seconds, 0.15);
  EXPECT_NEAR(engine->position(), clip.seconds, 0.25);

  EXPECT_GE(recorder->distinct.size(), 3u) << "the picture did not change";
  ASSERT_FALSE(recorder->last.isNull());
  EXPECT_EQ(recorder->last.size(), clip.size);
  EXPECT_GT(litShare(recorder->last), 0.2) << "the picture is black";

  // The stream's events, in the order the player relies on.
  ASSERT_FALSE(recorder->statuses.empty());
  EXPECT_EQ(recorder->statuses.front(), Status::PlayStart);
  EXPECT_TRUE(recorder->saw(Status::BufferFull));
  EXPECT_EQ(recorder->statusesAtEnd, recorder->statuses.size()) << "a status after the end";
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound));
  EXPECT_EQ(recorder->ends, 1);
  EXPECT_TRUE(engine->isPaused()) << "the end pauses, so play shows again";
  EXPECT_EQ(engine->loadedFraction(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Flv, EveryCodec,
    ::testing::Values(Clip{"flv1_mp3", false, "flv1", "mp3", 1.0, {160, 120}, 0},
                      Clip{"h264_aac", false, "h264", "aac", 1.0, {160, 120}, 0},
                      Clip{
                          "flashsv_nellymoser", false, "flashsv", "nellymoser", 1.0, {160, 120}, 0},
                      Clip{"flashsv2_speex", false, "flashsv2", "speex", 1.0, {160, 120}, 0},
                      Clip{"flv1_adpcm", false, "flv1", "adpcm_swf", 1.0, {160, 120}, 0},
                      Clip{"flv1_pcm", false, "flv1", "pcm_s16le", 1.0, {160, 120}, 0},
                      Clip{"vp6f_videoonly_300x35_tiny.flv", true, "vp6f", "", 2.5, {300, 35}, 0},
                      Clip{"vp6f_mp3_on2_clip.flv", true, "vp6f", "mp3", 14.4, {480, 206}, 12.8}),
    [](const auto& info) {
      QString name = QString::fromLatin1(info.param.file).section('.', 0, 0);
      return name.toStdString();
    });

// --- pause, seek and the end -----------------------------------------------

TEST_F(Engine, PauseStopsTheFramesAndTheClockAndPlayGoesOn) {
  REQUIRE_CLIP(clipPath("indexed"));
  engine->open(clipPath("indexed"), false);
  ASSERT_TRUE(loaded());
  ASSERT_TRUE(waitUntil([&] { return engine->position() > 0.3; }, 3000));
  EXPECT_FALSE(engine->isPaused());

  engine->pause();
  EXPECT_TRUE(engine->isPaused());
  EXPECT_EQ(recorder->pausedChanges, std::vector<bool>{true});
  spin(150);  // a frame already on its way may still arrive
  const int frames = recorder->frames;
  const double at = engine->position();
  spin(500);
  EXPECT_EQ(recorder->frames, frames) << "frames while paused";
  EXPECT_DOUBLE_EQ(engine->position(), at);
  EXPECT_EQ(recorder->ends, 0);

  engine->play();
  EXPECT_EQ(recorder->pausedChanges, (std::vector<bool>{true, false}));
  EXPECT_TRUE(waitUntil([&] { return recorder->frames > frames + 3; }, 2000));
  EXPECT_GT(engine->position(), at);
}

TEST_F(Engine, OpenedPausedItWaitsOnTheFirstFrameAndSeeksMoveIt) {
  REQUIRE_CLIP(clipPath("indexed"));
  engine->open(clipPath("indexed"), true);
  ASSERT_TRUE(loaded());
  EXPECT_TRUE(engine->isPaused());
  EXPECT_GT(litShare(recorder->last), 0.2);
  spin(300);
  EXPECT_EQ(recorder->distinct.size(), 1u);
  EXPECT_NEAR(engine->position(), 0, 0.06);  // the first frame may come a little after 0
  const std::size_t first = fingerprint(recorder->last);

  engine->seek(1.2);
  EXPECT_NEAR(engine->position(), 1.2, 1e-6) << "the position follows at once";
  ASSERT_TRUE(waitUntil([&] { return recorder->count(Status::BufferFull) >= 2; }, 3000));
  spin(100);
  EXPECT_NEAR(engine->position(), 1.2, 0.05);
  EXPECT_NE(fingerprint(recorder->last), first);
  EXPECT_TRUE(engine->isPaused()) << "seeking does not start playback";

  engine->seek(-4);  // before the start: the start
  ASSERT_TRUE(waitUntil([&] { return recorder->count(Status::BufferFull) >= 3; }, 3000));
  spin(100);
  EXPECT_NEAR(engine->position(), 0.05, 0.05);  // the first frame
}

// At the end the engine waits on the last frame; the player's restart (a
// seek to 0, then play) plays to the end once more.
TEST_F(Engine, ASeekBackFromTheEndPlaysToTheEndAgain) {
  REQUIRE_CLIP(clipPath("flv1_mp3"));
  engine->open(clipPath("flv1_mp3"), false);
  ASSERT_TRUE(waitUntil([&] { return recorder->ends == 1; }, 6000));
  EXPECT_TRUE(engine->isPaused());

  engine->seek(0);
  engine->play();
  ASSERT_TRUE(waitUntil([&] { return engine->position() < 0.5; }, 2000));
  EXPECT_FALSE(engine->isPaused());
  EXPECT_TRUE(waitUntil([&] { return recorder->ends == 2; }, 6000))
      << "did not play to the end again";
}

TEST_F(Engine, TimeContinuesFromTheStartOfAByteOffsetReopen) {
  REQUIRE_CLIP(clipPath("indexed"));
  engine->open(clipPath("indexed"), true, 30.0);
  ASSERT_TRUE(loaded());
  // The first position shown: the offset or, now and then, a moment after it.
  EXPECT_GE(engine->position(), 30.0);
  EXPECT_LT(engine->position(), 30.1);
  EXPECT_NEAR(engine->duration(), 32.0, 0.15);
  engine->seek(31.0);
  EXPECT_NEAR(engine->position(), 31.0, 1e-6);
  ASSERT_TRUE(waitUntil([&] { return recorder->count(Status::BufferFull) >= 2; }, 3000));
  spin(100);
  EXPECT_NEAR(engine->position(), 31.0, 0.05);
}

// --- the key-frame index ----------------------------------------------------

TEST_F(Engine, ReadsTheStreamsKeyFrameIndex) {
  REQUIRE_CLIP(clipPath("indexed"));
  QFile file(clipPath("indexed"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const auto expected = readFlvMetadata(
      std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  ASSERT_TRUE(expected && !expected->keyframes.times.empty());

  engine->open(clipPath("indexed"), true);
  ASSERT_TRUE(waitUntil([&] { return !engine->keyframes().times.empty(); }, 3000));
  EXPECT_EQ(engine->keyframes().times, expected->keyframes.times);
  EXPECT_EQ(engine->keyframes().filePositions, expected->keyframes.filePositions);

  // A byte-offset reopen of a stream without an index keeps the one it had;
  // a new stream without one has none.
  engine->open(clipPath("flv1_mp3"), true, 1.0);
  spin(300);
  EXPECT_EQ(engine->keyframes().times, expected->keyframes.times);
  engine->open(clipPath("flv1_mp3"), true);
  EXPECT_TRUE(engine->keyframes().times.empty());
  spin(300);
  EXPECT_TRUE(engine->keyframes().times.empty());
}

// --- rendering ----------------------------------------------------------------

TEST_F(Engine, RendersAtTheAskedSizeIntoAlignedImagesItNeverChangesLater) {
  REQUIRE_CLIP(clipPath("h264_aac"));
  EXPECT_TRUE(engine->renderFrame({160, 120}).isNull()) << "a frame before any stream";
  engine->open(clipPath("h264_aac"), true);
  ASSERT_TRUE(loaded());

  const QImage small = engine->renderFrame({160, 120});
  const QImage large = engine->renderFrame({333, 250});
  ASSERT_FALSE(large.isNull());
  EXPECT_EQ(large.size(), QSize(333, 250));
  EXPECT_EQ(large.format(), QImage::Format_RGB32);
  EXPECT_EQ(large.bytesPerLine() % 64, 0);
  EXPECT_EQ(reinterpret_cast<quintptr>(large.constBits()) % 64, 0u);
  EXPECT_GT(litShare(large), 0.2);

  // Images handed out stay as they were while playback draws new ones.
  const QImage kept = small.copy();
  engine->play();
  ASSERT_TRUE(waitUntil([&] { return recorder->distinct.size() >= 5; }, 3000));
  EXPECT_EQ(fingerprint(small), fingerprint(kept));

  // Nothing new: asking again at the same size draws nothing, at another
  // size it does.
  engine->pause();
  spin(200);
  const QImage drawn = engine->renderFrame({200, 150});
  EXPECT_EQ(engine->renderFrame({200, 150}).cacheKey(), drawn.cacheKey());
  EXPECT_NE(engine->renderFrame({160, 120}).cacheKey(), drawn.cacheKey());

  EXPECT_TRUE(engine->renderFrame({0, 0}).isNull());
  EXPECT_TRUE(engine->renderFrame({-5, 10}).isNull());
  EXPECT_TRUE(engine->renderFrame({100000, 100000}).isNull());
}

// The frame at a time as libmpv draws it with its own defaults: the picture the
// engine's cheaper conversion is held to. Null when none came.
QImage referenceFrame(const QString& path, double seconds, const QSize& size) {
  const MpvHandle mpv(mpv_create());
  if (!mpv) return {};
  for (const char* option : {"config=no", "vo=libmpv", "ao=null", "pause=yes", "hwdec=no"}) {
    const QList<QByteArray> pair = QByteArray(option).split('=');
    mpv_set_option_string(mpv.get(), pair[0], pair[1]);
  }
  mpv_set_option_string(mpv.get(), "start", QByteArray::number(seconds));
  if (mpv_initialize(mpv.get()) < 0) return {};
  std::atomic<bool> updated{false};
  const auto backend = createSoftwareBackend();
  if (!backend->attach(mpv.get())) return {};
  backend->setUpdateCallback([&] { updated = true; });
  const QByteArray file = QFile::encodeName(path);
  const char* load[] = {"loadfile", file.constData(), nullptr};
  if (mpv_command(mpv.get(), load) < 0 ||
      !waitUntil([&] { return updated.exchange(false) && backend->takeUpdate(); }, 5000))
    return {};
  return backend->render(size).copy();
}

// The software backend draws nothing before it has a context, makes one
// context per backend, and, as the early start counts on, draws on this
// thread through a context made on another.
TEST(SoftwareBackend, DrawsOnlyThroughTheOneContextItMadeOnAnyThread) {
  if (!QFileInfo::exists(clipPath("h264_aac"))) GTEST_SKIP() << "clips not built (no ffmpeg)";
  const MpvHandle mpv(mpv_create());
  ASSERT_TRUE(mpv);
  for (const char* option : {"config=no", "vo=libmpv", "ao=null", "pause=yes"}) {
    const QList<QByteArray> pair = QByteArray(option).split('=');
    mpv_set_option_string(mpv.get(), pair[0], pair[1]);
  }
  ASSERT_GE(mpv_initialize(mpv.get()), 0);
  const auto backend = createSoftwareBackend();
  QImage pixels(64, 48, QImage::Format_RGB32);
  EXPECT_FALSE(backend->takeUpdate());
  EXPECT_TRUE(backend->render({64, 48}).isNull());
  EXPECT_FALSE(backend->renderInto(pixels.bits(), pixels.size(), pixels.bytesPerLine()));
  backend->skip();
  backend->setUpdateCallback([] {});
  EXPECT_FALSE(backend->attach(nullptr));

  ASSERT_TRUE(backend->attachesOnAnyThread());
  ASSERT_TRUE(std::async(std::launch::async, [&] { return backend->attach(mpv.get()); }).get());
  EXPECT_FALSE(backend->attach(mpv.get())) << "a second context for the same backend";

  std::atomic<bool> updated{false};
  backend->setUpdateCallback([&] { updated = true; });
  const QByteArray file = QFile::encodeName(clipPath("h264_aac"));
  const char* load[] = {"loadfile", file.constData(), nullptr};
  ASSERT_GE(mpv_command(mpv.get(), load), 0);
  ASSERT_TRUE(waitUntil([&] { return updated.exchange(false) && backend->takeUpdate(); }, 5000));
  pixels.fill(Qt::black);
  EXPECT_FALSE(backend->renderInto(pixels.bits(), pixels.size(), 64 * 4 - 4)) << "short rows";
  ASSERT_TRUE(backend->renderInto(pixels.bits(), pixels.size(), pixels.bytesPerLine()));
  EXPECT_GT(litShare(pixels), 0.2);
}

// Structural similarity of two pictures of one size, averaged over 8x8
// windows (every 4 pixels) and the three colours; 1 when equal.
double ssim(const QImage& a, const QImage& b) {
  constexpr double c1 = 6.5025, c2 = 58.5225;  // (0.01 * 255)^2, (0.03 * 255)^2
  double sum = 0;
  int windows = 0;
  for (int shift : {0, 8, 16})
    for (int y = 0; y + 8 <= a.height(); y += 4)
      for (int x = 0; x + 8 <= a.width(); x += 4) {
        double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
        for (int j = 0; j < 8; ++j) {
          const auto* la = reinterpret_cast<const quint32*>(a.constScanLine(y + j)) + x;
          const auto* lb = reinterpret_cast<const quint32*>(b.constScanLine(y + j)) + x;
          for (int i = 0; i < 8; ++i) {
            const double va = (la[i] >> shift) & 0xff, vb = (lb[i] >> shift) & 0xff;
            sa += va, sb += vb, saa += va * va, sbb += vb * vb, sab += va * vb;
          }
        }
        const double ma = sa / 64, mb = sb / 64;
        const double cov = sab / 64 - ma * mb;
        const double var = saa / 64 - ma * ma + sbb / 64 - mb * mb;
        sum += (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (var + c2));
        ++windows;
      }
  return sum / windows;
}

// Shrunk, at its own size and enlarged, a detailed synthetic picture and a
// real video look the same as with libmpv's slower defaults.
TEST_F(Engine, PicturesLookAsWithLibmpvsDefaultConversionAtEverySize) {
  REQUIRE_CLIP(clipPath("h264_aac"));
  struct Case {
    QString path;
    double seconds;  // the real video is dark at first
    std::vector<QSize> sizes;
  };
  const Case cases[] = {
      {clipPath("h264_aac"), 0, {{64, 48}, {160, 120}, {320, 240}, {333, 250}}},
      {dataPath("vp6f_mp3_on2_clip.flv"), 8, {{160, 69}, {480, 206}, {1280, 549}}},
  };
  for (const auto& [path, seconds, sizes] : cases) {
    recorder.reset();
    SetUp();
    engine->open(path, true);
    ASSERT_TRUE(loaded()) << path.toStdString();
    if (seconds > 0) {
      engine->seek(seconds);
      ASSERT_TRUE(waitUntil([&] { return recorder->count(Status::BufferFull) >= 2; }, 3000));
    }
    for (const QSize& size : sizes) {
      const QImage ours = engine->renderFrame(size);
      const QImage reference = referenceFrame(path, seconds, size);
      ASSERT_FALSE(ours.isNull() || reference.isNull()) << path.toStdString();
      EXPECT_GT(litShare(reference), 0.2) << "a picture to compare";
      EXPECT_GE(ssim(ours, reference), 0.99)
          << path.toStdString() << " at " << size.width() << 'x' << size.height();
    }
  }
}

// Nobody asking for frames (a hidden player) must not hold playback up.
TEST_F(Engine, PlaysOnWhenNobodyDrawsTheFrames) {
  REQUIRE_CLIP(clipPath("flv1_mp3"));
  recorder.reset();
  QObject context;
  int ends = 0;
  QObject::connect(engine.get(), &MediaEngine::endOfStream, &context, [&] { ++ends; });
  QElapsedTimer timer;
  timer.start();
  engine->open(clipPath("flv1_mp3"), false);
  ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 6000));
  EXPECT_LT(timer.elapsed(), 2500) << "playback was held up";
  EXPECT_FALSE(engine->renderFrame({160, 120}).isNull()) << "the last frame is still there";
}

// --- bad input ----------------------------------------------------------------

// Nothing at the address is "not found"; a file that is there but holds
// nothing to play is "unplayable", whatever its name says.
TEST_F(Engine, WhatIsNotThereIsNotFoundAndWhatHoldsNothingIsUnplayable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  };
  QByteArray noise(20000, 0);
  for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919) ^ (i >> 3));
  QByteArray playlist = "#EXTM3U\n";
  if (QFileInfo::exists(clipPath("flv1_mp3"))) playlist += clipPath("flv1_mp3").toUtf8() + "\n";

  const QStringList missing = {
      dir.filePath("missing.flv"),
      dir.path(),                         // a directory
      QString(),                          // nothing at all
      QStringLiteral("lavfi://testsrc"),  // libmpv's own protocols are not obeyed
      QStringLiteral("av://lavfi:testsrc"),
      QStringLiteral("file:///nonexistent/video.flv"),
  };
  const QStringList unplayable = {
      write("text.flv", "This is not a video.\n"),
      write("noise.flv", noise),
      write("empty.flv", ""),
      write("list.m3u", playlist),
      write("truncated.flv", QByteArray("FLV\x01\x05\x00\x00\x00\x09", 9)),
      write("header only.flv", QByteArray("FLV\x01\x05\x00\x00\x00\x09\0\0\0\0", 13)),
      write("flv_noise.flv", QByteArray("FLV\x01\x05\x00\x00\x00\x09", 9) + noise),
  };
  for (const QStringList* list : {&missing, &unplayable}) {
    const bool there = list == &unplayable;
    for (const QString& address : *list) {
      Recorder r(*engine);
      engine->open(address, false);
      const Status expected = there ? Status::StreamUnplayable : Status::StreamNotFound;
      EXPECT_TRUE(waitUntil([&] { return r.saw(expected); }, 5000)) << address.toStdString();
      spin(100);
      EXPECT_FALSE(r.saw(there ? Status::StreamNotFound : Status::StreamUnplayable))
          << address.toStdString();
      EXPECT_EQ(r.frames, 0) << address.toStdString();
      EXPECT_EQ(r.ends, 0) << address.toStdString();
      EXPECT_FALSE(r.saw(Status::PlayStart)) << address.toStdString();
    }
  }

  // A good stream plays after all that.
  if (!QFileInfo::exists(clipPath("flv1_mp3"))) return;
  Recorder r(*engine);
  engine->open(QUrl::fromLocalFile(clipPath("flv1_mp3")).toString(), false);
  EXPECT_TRUE(waitUntil([&] { return r.ends == 1; }, 6000));
  EXPECT_FALSE(r.saw(Status::StreamNotFound));
  EXPECT_FALSE(r.saw(Status::StreamUnplayable));
}

// A copy of the clip whose onMetaData duration says seconds, or which is cut
// to share of its bytes.
QString damagedCopy(const QTemporaryDir& dir, const QString& name, double seconds,
                    double share = 1) {
  QFile in(clipPath("indexed"));
  if (!in.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = in.readAll();
  const QByteArray key(
      "\x00\x08"
      "duration"
      "\x00",
      11);
  const qsizetype at = bytes.indexOf(key);
  if (at < 0) return {};
  const quint64 bits = std::bit_cast<quint64>(seconds);
  for (int i = 0; i < 8; ++i) bytes[at + key.size() + i] = char(bits >> (56 - 8 * i));
  bytes.truncate(qsizetype(double(bytes.size()) * share));
  QFile out(dir.filePath(name));
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) return {};
  return out.fileName();
}

// The true length everywhere, from the start: an FLV cut halfway, one whose
// onMetaData says too little and one that says it right each tell, before
// they play, the length they play to. A cut file the FLV reader does not
// walk (an MP4 named .flv) starts with the length its index promised, and
// that gives way at its end to where it really ended.
TEST_F(Engine, TheLengthIsWhereTheStreamReallyEnds) {
  REQUIRE_CLIP(clipPath("indexed"));
  REQUIRE_CLIP(clipPath("h264_aac_4s"));
  QTemporaryDir dir;
  const QString cut = damagedCopy(dir, "cut.flv", 2.0, 0.5);
  const QString tooShort = damagedCopy(dir, "short.flv", 0.4);
  const QString right = damagedCopy(dir, "right.flv", 2.0);
  ASSERT_FALSE(cut.isEmpty() || tooShort.isEmpty() || right.isEmpty());
  const QString mp4 = dir.filePath("whole.mp4"), cutMp4 = dir.filePath("cut mp4.flv");
  ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", clipPath("h264_aac_4s"), "-c",
                                         "copy", "-movflags", "+faststart", mp4}),
            0);
  {
    QFile whole(mp4), part(cutMp4);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && part.open(QIODevice::WriteOnly));
    part.write(whole.read(whole.size() / 2));
  }

  struct Case {
    QString file;
    double before, after, slack;
  };
  for (const Case& c : {Case{cut, 1.0, 1.0, 0.3}, Case{tooShort, 2.0, 2.0, 0.15},
                        Case{right, 2.0, 2.0, 0.15}, Case{cutMp4, 4.0, 2.0, 0.5}}) {
    const std::string name = c.file.section('/', -1).toStdString();
    Recorder r(*engine);
    engine->open(c.file, true);
    ASSERT_TRUE(waitUntil([&] { return recorder->frames > 0 && engine->duration() > 0; }, 5000))
        << name;
    spin(300);  // the reader's walk of a small file is done by now
    EXPECT_NEAR(engine->duration(), c.before, c.slack) << name << " before it plays";
    engine->play();
    ASSERT_TRUE(waitUntil([&] { return r.ends == 1; }, 8000)) << name;
    EXPECT_NEAR(engine->duration(), c.after, c.slack) << name << " at its end";
    EXPECT_NEAR(engine->position(), engine->duration(), 0.1) << name;
    if (c.before != c.after) {
      EXPECT_NEAR(r.duration, engine->duration(), 0.001) << "not told";
    }
  }
}

// A relative path whose text reads as one of libmpv's protocols is still a
// file: the real clip in a folder named "lavfi:" plays, not a generated
// test picture.
TEST_F(Engine, ARelativePathThatLooksLikeAProtocolPlaysTheFile) {
  const QString clip = dataPath("vp6f_videoonly_300x35_tiny.flv");
  REQUIRE_CLIP(clip);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("lavfi:")));
  ASSERT_TRUE(QFile::copy(clip, dir.filePath(QStringLiteral("lavfi:/testsrc"))));
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  struct BackToPrevious {
    QString path;
    ~BackToPrevious() { QDir::setCurrent(path); }
  } back{previous};

  recorder->size = QSize(300, 35);
  engine->open(QStringLiteral("lavfi://testsrc"), false);
  ASSERT_TRUE(loaded()) << "no first frame";
  // The stream's properties may come after its first frame; by its end they
  // are all in.
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, 8000)) << "did not play to the end";
  EXPECT_EQ(engine->videoCodec(), "vp6f");
  EXPECT_EQ(engine->videoSize(), QSize(300, 35));
  EXPECT_NEAR(engine->duration(), 2.5, 0.15);
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound));
}

TEST_F(Engine, AFifoIsRefusedWithoutWaitingForAWriter) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("pipe.flv");
  ASSERT_EQ(QProcess::execute("mkfifo", {fifo}), 0);
  engine->open(fifo, false);
  EXPECT_TRUE(waitUntil([&] { return recorder->saw(Status::StreamNotFound); }, 3000));
}

// A core started while the application sets itself up: the first engine
// takes the video it opened when it opens that same file, plays another file
// without a trace of the first, and a pipe is never opened early.
TEST(EarlyStart, TheFirstEngineTakesTheVideoOpenedEarlyOrPlaysTheOneItOpens) {
  if (!QFileInfo::exists(clipPath("h264_aac")) || !QFileInfo::exists(clipPath("flv1_mp3")))
    GTEST_SKIP() << "clips not built (no ffmpeg)";
  QTemporaryDir dir;
  const QString fifo = dir.filePath("pipe.flv");
  ASSERT_EQ(QProcess::execute("mkfifo", {fifo}), 0);
  // A name that another one begins with is another video.
  const QString clip = dir.filePath("clip.flv"), backup = dir.filePath("clip.flv.bak");
  ASSERT_TRUE(QFile::copy(clipPath("h264_aac"), clip));
  ASSERT_TRUE(QFile::copy(clipPath("flv1_mp3"), backup));
  struct Case {
    QString early, opened;
    bool paused;
    const char* codec;
    bool taken;
  };
  const Case cases[] = {
      {clipPath("h264_aac"), clipPath("h264_aac"), false, "h264", true},
      {QUrl::fromLocalFile(clipPath("flv1_mp3")).toString(), clipPath("flv1_mp3"), true, "flv1",
       true},
      {clipPath("h264_aac"), clipPath("flv1_mp3"), false, "flv1", false},
      {fifo, clipPath("flv1_mp3"), false, "flv1", false},
      {backup, clip, false, "h264", false},
      {clip, backup, false, "flv1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.early.toStdString() + " then " + c.opened.toStdString());
    startEngineEarly(c.early);
    spin(300);  // the early video is decoded meanwhile
    const std::unique_ptr<MpvEngine> engine = MpvEngine::create();
    ASSERT_TRUE(engine);
    Recorder recorder(*engine);
    spin(100);  // the window is made
    engine->open(c.opened, c.paused);
    EXPECT_EQ(engine->tookEarlyOpening(), c.taken);
    ASSERT_TRUE(
        waitUntil([&] { return recorder.frames > 0 && recorder.saw(Status::PlayStart); }, 8000));
    if (c.paused) {
      spin(200);
      EXPECT_EQ(recorder.distinct.size(), 1u) << "it waits on the first frame";
      engine->play();
    }
    ASSERT_TRUE(waitUntil([&] { return recorder.ends == 1; }, 8000));
    EXPECT_EQ(engine->videoCodec(), c.codec);
    EXPECT_EQ(recorder.count(Status::PlayStart), 1);
    EXPECT_GT(recorder.distinct.size(), 5u) << "it played";
  }
}

TEST_F(Engine, ANewStreamReplacesTheOldOneWithoutItsEvents) {
  REQUIRE_CLIP(clipPath("flv1_mp3"));
  engine->open(clipPath("flv1_mp3"), false);
  ASSERT_TRUE(loaded());

  recorder->statuses.clear();
  engine->open(dataPath("vp6f_videoonly_300x35_tiny.flv"), true);
  ASSERT_TRUE(waitUntil([&] { return recorder->videoSize == QSize(300, 35); }, 3000));
  spin(1500);  // past where the first clip would have ended
  EXPECT_EQ(recorder->ends, 0);
  EXPECT_EQ(recorder->count(Status::PlayStart), 1);
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound));
  EXPECT_NEAR(engine->duration(), 2.5, 0.1);
  EXPECT_NEAR(engine->position(), 0, 0.06);
}

// Opens that follow each other before the first file starts: libmpv may
// start only the last one, which must still be reported and played.
TEST_F(Engine, OpensInQuickSuccessionPlayTheLastStream) {
  REQUIRE_CLIP(clipPath("flv1_mp3"));
  const QString tiny = dataPath("vp6f_videoonly_300x35_tiny.flv");
  REQUIRE_CLIP(tiny);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Recorder r(*engine);
    engine->open(tiny, true);
    engine->open(clipPath("flv1_mp3"), true);
    engine->open(clipPath("flv1_mp3"), false);
    ASSERT_TRUE(waitUntil([&] { return r.saw(Status::PlayStart) && r.frames > 0; }, 5000))
        << "the last stream was never reported started";
    EXPECT_EQ(r.count(Status::PlayStart), 1);
    EXPECT_TRUE(waitUntil([&] { return r.ends == 1; }, 6000));
    EXPECT_EQ(engine->videoSize(), QSize(160, 120));
    EXPECT_FALSE(r.saw(Status::StreamNotFound));
  }
}

// Engines come and go with their players; none may take the process down or
// wait on a stream that is still opening.
TEST(EngineLifetime, DestroyedInEveryStateWithoutHangingOrCrashing) {
  const QString clip = clipPath("h264_aac");
  if (!QFileInfo::exists(clip)) GTEST_SKIP() << "clip not built (no ffmpeg)";
  QElapsedTimer timer;
  timer.start();
  for (int spinMs : {0, 1, 30, 200}) {
    auto engine = MpvEngine::create();
    ASSERT_TRUE(engine);
    engine->open(clip, false);
    spin(spinMs);
    engine->renderFrame({64, 48});
  }
  { auto idle = MpvEngine::create(); }
  EXPECT_LT(timer.elapsed(), 5000);
}

// --- a progressive download over http ----------------------------------------

// A small web server in Python that ignores ranges and sends whole files,
// or from a byte position on when asked with "?start=".
class WebServer {
 public:
  explicit WebServer(const QString& folder) {
    process_.start("python3", {QStringLiteral(QUILLET_VSEEK_SERVER), folder});
    if (!process_.waitForStarted(3000)) return;
    static const QRegularExpression portText(QStringLiteral("port (\\d+)"));
    for (int i = 0; i < 50 && port_ == 0; ++i) {
      process_.waitForReadyRead(100);
      out_ += process_.readAllStandardOutput();
      if (const auto m = portText.match(QString::fromLatin1(out_)); m.hasMatch())
        port_ = m.captured(1).toInt();
    }
  }
  // Every request line the server has printed so far.
  QByteArray requests() {
    out_ += process_.readAllStandardOutput();
    return out_;
  }
  ~WebServer() {
    process_.kill();
    process_.waitForFinished(2000);
  }
  QString address(const QString& file) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(file);
  }
  bool running() const { return port_ != 0; }

 private:
  QProcess process_;
  QByteArray out_;
  int port_ = 0;
};

TEST_F(Engine, PlaysAnHttpStreamAsAProgressiveDownload) {
  REQUIRE_CLIP(clipPath("indexed"));
  WebServer server(QUILLET_CLIP_DIR);
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";

  engine->open(server.address("indexed.flv"), false);
  ASSERT_TRUE(loaded(8000));
  EXPECT_TRUE(waitUntil([&] { return engine->loadedFraction() == 1.0; }, 5000));
  EXPECT_NEAR(engine->seekableSeconds(), 2.0, 0.15);
  EXPECT_TRUE(waitUntil([&] { return !engine->keyframes().times.empty(); }, 5000));
  EXPECT_TRUE(waitUntil([&] { return recorder->ends == 1; }, 8000));
  EXPECT_GE(recorder->distinct.size(), 3u);

  Recorder r(*engine);
  engine->open(server.address("no-such-file.flv"), false);
  EXPECT_TRUE(waitUntil([&] { return r.saw(Status::StreamNotFound); }, 5000));
}

// --- http downloads as the FLV reader's byte source -------------------------

namespace repaired {
QByteArray breakSizesAndLength(QByteArray b);  // below, with the local repairs
}

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// count bytes at offset, in as many reads as it takes; fewer at the end,
// "error" when the first read fails.
QByteArray readFrom(ByteSource& source, std::uint64_t offset, std::size_t count) {
  QByteArray out(qsizetype(count), 0);
  std::size_t done = 0;
  while (done < count) {
    const std::int64_t got =
        source.readAt(offset + done,
                      std::span(reinterpret_cast<unsigned char*>(out.data()) + done, count - done));
    if (got < 0 && done == 0) return "error";
    if (got <= 0) break;
    done += std::size_t(got);
  }
  out.truncate(qsizetype(done));
  return out;
}

// The bytes as the server sends them, in any order of reads; a read past
// what has arrived waits for it, and the size is known from the server's
// word, or once everything arrived.
TEST(HttpSource, ServesTheDownloadAsItArrivesAtAnyOffset) {
  if (!QFileInfo::exists(clipPath("indexed"))) GTEST_SKIP() << "clips not built (no ffmpeg)";
  const QByteArray whole = fileBytes(clipPath("indexed"));
  WebServer server(QUILLET_CLIP_DIR);
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";
  // About a second to arrive: 8 KiB a tenth of a second.
  auto source = HttpByteSource::create(server.address("indexed.flv?rate=8192").toStdString());
  ASSERT_TRUE(source);
  QElapsedTimer timer;
  timer.start();
  const std::uint64_t nearEnd = std::uint64_t(whole.size()) - 100;
  EXPECT_EQ(readFrom(*source, nearEnd, 64), whole.mid(qsizetype(nearEnd), 64));
  EXPECT_GT(timer.elapsed(), 300) << "the end cannot be there at once";
  EXPECT_EQ(readFrom(*source, 0, 13), whole.left(13));
  EXPECT_EQ(readFrom(*source, 5000, 70000), whole.mid(5000, 70000).left(70000));
  ASSERT_TRUE(source->size().has_value());
  EXPECT_EQ(*source->size(), std::uint64_t(whole.size()));
  EXPECT_EQ(readFrom(*source, std::uint64_t(whole.size()), 10), QByteArray()) << "the end";
  EXPECT_TRUE(waitUntil([&] { return source->control()->ended(); }, 3000));
  EXPECT_EQ(source->control()->arrived(), std::uint64_t(whole.size()));
}

// A missing address, a connection cut short and a stop each end the
// source: nothing waits for ever, and what arrived stays readable.
TEST(HttpSource, EndsOnAMissingAddressACutAndAStop) {
  if (!QFileInfo::exists(clipPath("indexed"))) GTEST_SKIP() << "clips not built (no ffmpeg)";
  const QByteArray whole = fileBytes(clipPath("indexed"));
  WebServer server(QUILLET_CLIP_DIR);
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";

  auto missing = HttpByteSource::create(server.address("gone.flv").toStdString());
  EXPECT_EQ(readFrom(*missing, 0, 10), "error");
  EXPECT_TRUE(missing->control()->failedAtOpen());

  auto cut = HttpByteSource::create(server.address("indexed.flv?cut=20000").toStdString());
  EXPECT_EQ(readFrom(*cut, 19990, 100), whole.mid(19990, 10));
  EXPECT_EQ(readFrom(*cut, 30000, 10), "error") << "past the cut";
  EXPECT_FALSE(cut->control()->failedAtOpen());
  EXPECT_EQ(cut->size(), std::optional<std::uint64_t>(20000)) << "what arrived is all there is";

  auto slow = HttpByteSource::create(server.address("indexed.flv?rate=100").toStdString());
  QByteArray late;
  std::thread reader([&] { late = readFrom(*slow, 60000, 10); });
  spin(300);
  QElapsedTimer timer;
  timer.start();
  slow->control()->stop();
  reader.join();
  EXPECT_LT(timer.elapsed(), 1000) << "the stop did not wake the read";
  EXPECT_EQ(late, "error");
  // Ending the source while its download still runs returns at once too.
  auto dropped = HttpByteSource::create(server.address("indexed.flv?rate=100").toStdString());
  timer.restart();
  EXPECT_EQ(readFrom(*dropped, 0, 3), "FLV");
  EXPECT_LT(timer.elapsed(), 1000) << "a trickle's first bytes were held back";
  timer.restart();
  dropped.reset();
  EXPECT_LT(timer.elapsed(), 1000);
}

// Over http the reader repairs the file as it arrives: every PreviousTagSize
// wrong and a length that claims a minute play to the true end, slowly
// served; and a byte-offset reopen of such a file plays on from its key frame.
TEST_F(Engine, ADamagedHttpDownloadIsRepairedAsItArrives) {
  REQUIRE_CLIP(clipPath("flv1_mp3_4s"));
  QTemporaryDir dir;
  QFile out(dir.filePath("damaged.flv"));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(repaired::breakSizesAndLength(fileBytes(clipPath("flv1_mp3_4s"))));
  out.close();
  WebServer server(dir.path());
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";
  engine->open(server.address("damaged.flv?rate=65536"), false);
  ASSERT_TRUE(loaded(8000)) << "no first frame";
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, 12000)) << "did not reach the end";
  EXPECT_NEAR(engine->duration(), 4.0, 0.2) << "not the true length";
  EXPECT_NEAR(engine->position(), 4.0, 0.25);
  EXPECT_GE(recorder->distinct.size(), 20u) << "frames were lost";
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound));
  EXPECT_FALSE(recorder->saw(Status::StreamUnplayable));

  // The same damage on a file with a key-frame index: a reopen at a key
  // frame's byte position (vseek) is repaired too, and plays on from there.
  REQUIRE_CLIP(clipPath("indexed"));
  QFile indexed(dir.filePath("indexed.flv"));
  ASSERT_TRUE(indexed.open(QIODevice::WriteOnly));
  indexed.write(repaired::breakSizesAndLength(fileBytes(clipPath("indexed"))));
  indexed.close();
  engine->open(server.address("indexed.flv"), true);
  ASSERT_TRUE(waitUntil([&] { return engine->keyframes().times.size() >= 3; }, 8000));
  const auto key = keyframeAtOrBefore(engine->keyframes(), 1.0);
  ASSERT_TRUE(key && key->time > 0.5);
  Recorder r(*engine);
  engine->open(vseekAddress(server.address("indexed.flv"), "start", key->filePosition), false,
               key->time);
  ASSERT_TRUE(waitUntil([&] { return r.saw(Status::PlayStart) && r.frames > 0; }, 8000))
      << "the reopened stream did not play";
  EXPECT_GE(engine->position(), key->time - 0.05);
  EXPECT_TRUE(waitUntil([&] { return r.ends == 1; }, 8000));
  EXPECT_NEAR(engine->position(), 2.0, 0.15);
  EXPECT_FALSE(r.saw(Status::StreamNotFound) || r.saw(Status::StreamUnplayable));
}

// A server's answer that is not media is unplayable; one that is missing is
// not found.
TEST_F(Engine, AnHttpAnswerThatIsNotMediaIsUnplayable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile text(dir.filePath("text.flv"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write(QByteArray(4096, 'x'));
  text.close();
  WebServer server(dir.path());
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";
  Recorder r(*engine);
  engine->open(server.address("text.flv"), false);
  EXPECT_TRUE(waitUntil([&] { return r.saw(Status::StreamUnplayable); }, 5000));
  EXPECT_FALSE(r.saw(Status::StreamNotFound));
  Recorder missing(*engine);
  engine->open(server.address("gone.flv"), false);
  EXPECT_TRUE(waitUntil([&] { return missing.saw(Status::StreamNotFound); }, 5000));
  EXPECT_FALSE(missing.saw(Status::StreamUnplayable));
}

// A reopen at a key frame's byte position, as a seek outside the loaded part
// does with vseek: the server sends the stream from that key frame on, and
// time goes on from the key frame's time to the end.
TEST_F(Engine, ReopensAnHttpStreamAtAKeyFramesBytePosition) {
  REQUIRE_CLIP(clipPath("indexed"));
  WebServer server(QUILLET_CLIP_DIR);
  if (!server.running()) GTEST_SKIP() << "python3 could not serve files";
  // As in a player, the stream has started before a seek reopens it.
  engine->open(server.address("indexed.flv"), true);
  ASSERT_TRUE(waitUntil(
      [&] { return recorder->saw(Status::PlayStart) && engine->keyframes().times.size() >= 3; },
      8000));
  const auto key = keyframeAtOrBefore(engine->keyframes(), 1.0);
  ASSERT_TRUE(key && key->time > 0.5);

  Recorder r(*engine);
  const QString address = vseekAddress(server.address("indexed.flv"), "start", key->filePosition);
  engine->open(address, false, key->time);
  ASSERT_TRUE(waitUntil([&] { return r.saw(Status::PlayStart) && r.frames > 0; }, 8000))
      << "the reopened stream did not play";
  EXPECT_FALSE(r.saw(Status::StreamNotFound));
  EXPECT_GE(engine->position(), key->time - 0.05);
  EXPECT_TRUE(server.requests().contains("GET /" + address.section('/', 3).toUtf8() + "\n"));
  EXPECT_TRUE(waitUntil([&] { return r.ends == 1; }, 8000));
  EXPECT_NEAR(engine->position(), 2.0, 0.15);
  EXPECT_NEAR(engine->duration(), 2.0, 0.15);
}

// --- damaged files, through Quillet's FLV reader -------------------------------

namespace repaired {

QByteArray readBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every PreviousTagSize 4 too large, as one streaming server writes them,
// and an onMetaData duration that claims a minute.
QByteArray breakSizesAndLength(QByteArray b) {
  const auto u = [&](qsizetype i) { return quint32(quint8(b[i])); };
  qsizetype pos = 13;
  while (pos + 11 <= b.size()) {
    const quint32 size = (u(pos + 1) << 16) | (u(pos + 2) << 8) | u(pos + 3);
    const qsizetype end = pos + 11 + size;
    if (end + 4 > b.size()) break;
    const quint32 wrong = size + 15;
    for (int i = 0; i < 4; ++i) b[end + i] = char(wrong >> (24 - 8 * i));
    pos = end + 4;
  }
  const qsizetype at =
      b.indexOf(QByteArray("\x00\x08"
                           "duration\x00",
                           11));
  if (at >= 0) {
    const QByteArray minute = QByteArray::fromHex("404e000000000000");  // 60.0
    b.replace(at + 11, 8, minute);
  }
  return b;
}

}  // namespace repaired

class Repaired : public Engine, public ::testing::WithParamInterface<const char*> {
 protected:
  // The clip, changed, in a folder of the test's own.
  QString write(const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("damaged.flv"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    return path;
  }
  QByteArray clip() {
    const QByteArray b = repaired::readBytes(clipPath(GetParam()));
    if (b.isEmpty()) ADD_FAILURE() << "clip not built";
    return b;
  }
  // The clip's own length as the engine plays it, 0 when it gave none.
  double partLength() {
    engine->open(clipPath(GetParam()), true);
    waitUntil([&] { return engine->duration() > 0; }, 5000);
    return engine->duration();
  }
  bool seekLands(double target) {
    const int before = recorder->count(Status::BufferFull);
    engine->seek(target);
    return waitUntil([&] { return recorder->count(Status::BufferFull) > before; }, 5000);
  }
  QTemporaryDir dir;
};

TEST_P(Repaired, EveryPreviousTagSizeWrongPlaysToItsTrueLength) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  engine->open(write(repaired::breakSizesAndLength(bytes)), false);
  ASSERT_TRUE(loaded()) << "no first frame";
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, 12000)) << "did not reach the end";
  EXPECT_NEAR(engine->duration(), 4.0, 0.15) << "not the true length";
  EXPECT_NEAR(recorder->duration, 4.0, 0.15);
  EXPECT_NEAR(engine->position(), 4.0, 0.25);
  EXPECT_GE(recorder->distinct.size(), 20u) << "frames were lost";
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound));
}

TEST_P(Repaired, AJoinedFilePlaysThroughBothParts) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  engine->open(write(bytes + bytes), true);
  ASSERT_TRUE(loaded());
  ASSERT_TRUE(waitUntil([&] { return engine->duration() > 7.5; }, 3000))
      << "length " << engine->duration() << ": only the first part";
  // Each part's sound runs a little past its last picture.
  EXPECT_NEAR(engine->duration(), 8.0, 0.25);
  // Into the second part, then on to its end.
  ASSERT_TRUE(seekLands(6.0));
  spin(100);
  EXPECT_NEAR(engine->position(), 6.0, 0.1);
  engine->play();
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, 8000));
  EXPECT_NEAR(engine->position(), 8.0, 0.25);
}

TEST_P(Repaired, ASeekToNinetyPercentLandsWithinATenth) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  // The file as written, and the same with every size wrong.
  for (const QByteArray& variant : {bytes, repaired::breakSizesAndLength(bytes)}) {
    recorder = std::make_unique<Recorder>(*engine);  // this file's events only
    engine->open(write(variant), true);
    ASSERT_TRUE(loaded());
    ASSERT_TRUE(waitUntil([&] { return engine->duration() > 0; }, 5000));
    spin(50);
    for (const double target : {3.6, 1.3, 3.9}) {
      ASSERT_TRUE(seekLands(target)) << target;
      spin(100);
      EXPECT_NEAR(engine->position(), target, 0.1) << target;
    }
  }
}

TEST_P(Repaired, AFileLargerThanTheFirstWalkGetsItsTrueLengthAndSeeksToItsEnd) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  const double part = partLength();
  ASSERT_GT(part, 0);
  recorder = std::make_unique<Recorder>(*engine);  // the second file's events only
  // Forty parts joined: far more than the reader walks before the stream
  // starts; the first part's onMetaData says 4 s.
  const int parts = 40;
  ASSERT_GT(qint64(bytes.size()) * parts, qint64(FlvReader::kOpenWalkBytes) * 3 / 2);
  engine->open(write(bytes.repeated(parts)), true);
  ASSERT_TRUE(loaded());
  ASSERT_TRUE(waitUntil([&] { return std::abs(engine->duration() - parts * part) < 0.5; }, 10000))
      << "length " << engine->duration() << ", not " << parts * part;
  EXPECT_NEAR(recorder->duration, engine->duration(), 1e-9) << "durationChanged did not tell";
  const double target = (parts - 1) * part + 1.0;  // in the last part
  ASSERT_TRUE(seekLands(target));
  spin(100);
  EXPECT_NEAR(engine->position(), target, 0.1);
}

// Far past the index the stream began with, a seek reopens the stream with
// the reader's newer index instead of having FFmpeg read every tag up to
// it: asked at once after opening, and again once the walk is done, it
// lands where asked, paused, with the same length and a new picture, and
// plays on from there.
TEST_P(Repaired, AFarSeekInALargeFileLandsAtOnceAndAfterTheWalk) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  const double part = partLength();
  ASSERT_GT(part, 0);
  recorder = std::make_unique<Recorder>(*engine);
  const int parts = 100;
  const QString path = write(bytes.repeated(parts));
  const double length = parts * part;
  ASSERT_GT(length * 0.9, 2 * MpvEngine::kFarSeekSeconds);
  for (const bool atOnce : {true, false}) {
    recorder = std::make_unique<Recorder>(*engine);
    engine->open(path, true);
    double target = std::floor(length * 0.9) + 0.3;
    if (atOnce) {
      ASSERT_TRUE(waitUntil([&] { return engine->duration() > 0; }, 5000));
      engine->seek(target);  // while the file still opens
      ASSERT_TRUE(loaded(8000)) << "the far seek did not land";
    } else {
      ASSERT_TRUE(loaded());
      ASSERT_TRUE(waitUntil([&] { return std::abs(engine->duration() - length) < 0.5; }, 10000));
      target -= part * 3;
      ASSERT_TRUE(seekLands(target));
    }
    spin(150);
    EXPECT_NEAR(engine->position(), target, 0.1) << (atOnce ? "at once" : "after the walk");
    EXPECT_TRUE(engine->isPaused());
    ASSERT_TRUE(waitUntil([&] { return std::abs(engine->duration() - length) < 0.5; }, 10000))
        << "length " << engine->duration() << ", not " << length;
    EXPECT_FALSE(recorder->saw(Status::StreamNotFound) || recorder->saw(Status::StreamUnplayable));
    EXPECT_EQ(recorder->ends, 0);
    // Back near the start and far again: both land.
    ASSERT_TRUE(seekLands(1.2));
    spin(100);
    EXPECT_NEAR(engine->position(), 1.2, 0.1);
    ASSERT_TRUE(seekLands(target));
    spin(100);
    EXPECT_NEAR(engine->position(), target, 0.1);
    const std::size_t seen = recorder->distinct.size();
    engine->play();
    ASSERT_TRUE(waitUntil([&] { return engine->position() > target + 0.5; }, 5000))
        << "did not play on from " << target;
    EXPECT_GT(recorder->distinct.size(), seen) << "no new pictures";
    engine->pause();
  }
}

// A file whose bytes past `held` come only when the test lets them go, as a
// slow disk's or a download's would; it counts what the demuxer (any thread
// but the opener's and the walk's) reads of [from, to).
class HeldFile final : public ByteSource {
 public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t held = UINT64_MAX;
    std::uint64_t from = 0, to = 0, demuxed = 0;
    void release() {
      std::lock_guard lock(mutex);
      held = UINT64_MAX;
      changed.notify_all();
    }
    std::uint64_t demuxedBytes() {
      std::lock_guard lock(mutex);
      return demuxed;
    }
  };
  HeldFile(std::unique_ptr<ByteSource> file, std::shared_ptr<Gate> gate)
      : file_(std::move(file)), gate_(std::move(gate)) {}
  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override {
    std::uint64_t held = 0;
    {
      std::unique_lock lock(gate_->mutex);
      gate_->changed.wait(lock, [&] { return offset < gate_->held || cancelled_; });
      if (offset >= gate_->held) return -1;
      held = gate_->held;
      // The walk's thread is the first to read after the opener's.
      const std::thread::id here = std::this_thread::get_id();
      if (here != opener_ && walker_ == std::thread::id()) walker_ = here;
      if (here != opener_ && here != walker_) {
        const std::uint64_t end = std::min(offset + out.size(), gate_->to);
        if (end > std::max(offset, gate_->from))
          gate_->demuxed += end - std::max(offset, gate_->from);
      }
    }
    return file_->readAt(offset, out.first(std::min<std::uint64_t>(out.size(), held - offset)));
  }
  std::optional<std::uint64_t> size() const override { return file_->size(); }
  void cancel() override {
    std::lock_guard lock(gate_->mutex);
    cancelled_ = true;
    gate_->changed.notify_all();
  }

 private:
  std::unique_ptr<ByteSource> file_;
  std::shared_ptr<Gate> gate_;
  const std::thread::id opener_ = std::this_thread::get_id();
  std::thread::id walker_;  // guarded by the gate's mutex
  bool cancelled_ = false;
};

// A far seek made before the walk got there waits for it, showing its
// target; a newer one made meanwhile replaces it and lands once the walk
// gets there, through the newer index: FFmpeg never reads the tags on from
// the last key frame it knew.
TEST_P(Repaired, AFarSeekWaitsForTheWalkAndTheNewestLands) {
  REQUIRE_CLIP(clipPath(GetParam()));
  const QByteArray bytes = clip();
  ASSERT_FALSE(bytes.isEmpty());
  const double part = partLength();
  ASSERT_GT(part, 0);
  const int parts = 100;
  const QByteArray whole = bytes.repeated(parts);
  const QString path = write(whole);
  const double length = parts * part;
  auto gate = std::make_shared<HeldFile::Gate>();
  engine->setFileSource([&gate](const std::string& p) -> std::unique_ptr<ByteSource> {
    auto file = FileByteSource::open(p);
    if (!file) return nullptr;
    return std::make_unique<HeldFile>(std::move(file), gate);
  });
  // The stream begins (its first walk is done) but the walk stops at a third.
  gate->held = std::uint64_t(whole.size()) / 3;
  ASSERT_GT(gate->held, FlvReader::kOpenWalkBytes + (1u << 20));
  // Past what the first stream's demuxer buffers (8 MiB) and short of the
  // parts before the newer target.
  gate->from = std::uint64_t(whole.size() * 0.55);
  gate->to = std::uint64_t(whole.size() * 0.68);
  ASSERT_GT(gate->from, 9u << 20);
  recorder = std::make_unique<Recorder>(*engine);
  engine->open(path, true);
  ASSERT_TRUE(loaded());
  const double first = std::floor(length * 0.9) + 0.3, newer = std::floor(length * 0.7) + 0.6;
  const int restarts = recorder->count(Status::BufferFull);
  engine->seek(first);
  spin(300);
  engine->seek(newer);
  spin(300);
  EXPECT_EQ(recorder->count(Status::BufferFull), restarts) << "landed before the walk got there";
  EXPECT_NEAR(engine->position(), newer, 1e-9);
  gate->release();
  ASSERT_TRUE(waitUntil([&] { return recorder->count(Status::BufferFull) > restarts; }, 8000))
      << "the far seek did not land once the walk got there";
  spin(150);
  EXPECT_NEAR(engine->position(), newer, 0.1);
  EXPECT_LT(gate->demuxedBytes(), 64u << 10) << "FFmpeg read on towards the target";
  EXPECT_FALSE(recorder->saw(Status::StreamNotFound) || recorder->saw(Status::StreamUnplayable));
  engine->play();
  ASSERT_TRUE(waitUntil([&] { return engine->position() > newer + 0.5; }, 5000));
  EXPECT_LT(engine->position(), newer + 3) << "not played on from the newer target";
  engine->pause();
}

// An MP4 named .flv is no FLV: FFmpeg reads the file itself, as it always did.
TEST_F(Engine, AnMp4NamedFlvPlaysAsItIs) {
  REQUIRE_CLIP(clipPath("mp4_named"));
  engine->open(clipPath("mp4_named"), false);
  ASSERT_TRUE(loaded());
  ASSERT_TRUE(waitUntil([&] { return recorder->ends > 0; }, 6000));
  EXPECT_EQ(engine->videoCodec(), "h264");
  EXPECT_NEAR(engine->duration(), 1.0, 0.15);
}

INSTANTIATE_TEST_SUITE_P(Flv, Repaired, ::testing::Values("flv1_mp3_4s", "h264_aac_4s"));

}  // namespace
}  // namespace quillet::player
