// A far seek in a huge FLV right after it starts, through the player's own
// engine (libmpv behind the FLV reader), with no window: the reader's walk
// has not got there yet, so the seek waits for it. bench/flv_walk.sh runs it
// beside the walk alone, which tells how long the walk takes to get there.
//
//   bench_far_seek FILE LENGTH [--cold] [--delay MS] [--at FRACTION]
//
// LENGTH is the file's true length in seconds. The engine opens FILE playing
// and silent; DELAY ms after its first picture (default 0) it is asked for
// FRACTION of LENGTH (default 0.9). Prints, in ms from the open: the first
// picture, the request, the restart at the target once it has landed, where it
// landed (less the target), and when the true length was known; then the
// time of a second far seek once the walk is done.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "player/engine/MediaEngine.h"

namespace {

using quillet::player::MediaEngine;
using Status = MediaEngine::StreamStatus;

bool waitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

bool dropCachedPages(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool dropped = ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  ::close(fd);
  return dropped;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE LENGTH [--cold] [--delay MS] [--at FRACTION]\n", argv[0]);
    return 2;
  }
  const char* path = argv[1];
  const double length = std::atof(argv[2]);
  bool cold = false;
  int delay = 0;
  double at = 0.9;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--cold"))
      cold = true;
    else if (!std::strcmp(argv[i], "--delay") && i + 1 < argc)
      delay = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--at") && i + 1 < argc)
      at = std::atof(argv[++i]);
  }
  if (length <= 0 || at <= 0 || at >= 1) return 2;
  if (cold && !dropCachedPages(path)) {
    std::fprintf(stderr, "cannot drop the cached pages of %s\n", path);
    return 1;
  }
  setenv("QUILLET_AO", "null", 0);
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  std::unique_ptr<MediaEngine> engine = quillet::player::createMpvEngine();
  if (!engine) {
    std::fprintf(stderr, "no libmpv\n");
    return 1;
  }

  QElapsedTimer clock;
  const QSize size(320, 180);
  // Drawn as the player's surface would, so that playback goes on.
  long frames = 0, restarts = 0, knownAt = -1;
  QObject::connect(engine.get(), &MediaEngine::frameAvailable, [&] {
    if (!engine->renderFrame(size).isNull()) ++frames;
  });
  QObject::connect(engine.get(), &MediaEngine::status, [&](Status s) {
    if (s == Status::BufferFull) ++restarts;
  });
  QObject::connect(engine.get(), &MediaEngine::durationChanged, [&](double seconds) {
    if (knownAt < 0 && std::abs(seconds - length) < 1) knownAt = clock.elapsed();
  });
  engine->setFrameSize(size);
  clock.start();
  engine->open(QString::fromLocal8Bit(path), false);
  // The open's own restart too, so that it is not taken for the seek's.
  if (!waitUntil([&] { return frames > 0 && restarts > 0; }, 20000)) {
    std::fprintf(stderr, "no picture\n");
    return 1;
  }
  const long first = clock.elapsed();
  waitUntil([] { return false; }, delay);

  // Landed: libmpv's restart after the request, which it tells once the
  // first picture at the target is shown.
  const auto seekLands = [&](double target, long* landedAt, double* off) {
    const long restartsBefore = restarts;
    engine->seek(target);
    const bool landed = waitUntil([&] { return restarts > restartsBefore; }, 120000);
    *landedAt = clock.elapsed();
    // The position right after a seek is its target until the next time
    // report: read it a few pictures on, less the time played since.
    const long soon = frames + 5;
    waitUntil([&] { return frames >= soon; }, 2000);
    *off = engine->position() - target - (clock.elapsed() - *landedAt) / 1000.0;
    return landed;
  };
  const double target = std::floor(length * at) + 0.5;
  const long asked = clock.elapsed();
  long landedAt = -1;
  double off = NAN;
  if (!seekLands(target, &landedAt, &off)) {
    std::fprintf(stderr, "the far seek never landed\n");
    return 1;
  }
  waitUntil([&] { return knownAt >= 0; }, 120000);
  // Once the walk is done: a seek as far again, the other way.
  const double second = std::floor(length * (1 - at)) + 0.5;
  long secondAsked = clock.elapsed(), secondAt = -1;
  double secondOff = NAN;
  const bool secondLanded = seekLands(second, &secondAt, &secondOff);
  std::printf(
      "first_frame_ms=%ld asked_ms=%ld landed_ms=%ld seek_ms=%ld landed_off_ms=%.0f "
      "length_known_ms=%ld second_seek_ms=%ld second_off_ms=%.0f\n",
      first, asked, landedAt, landedAt - asked, off * 1000, knownAt,
      secondLanded ? secondAt - secondAsked : -1, secondOff * 1000);
  return 0;
}
