// The seek bar's preview, measured in the player component itself:
//   bench_seek_preview CLIP [points]   (built with the player movie's path)
// First, with the video paused, the pointer comes onto the bar at each of
// the points (default 20, in an order that always jumps) and the time until
// the picture of that moment is there to be painted is taken; the pointer
// leaves between two points. Then the video plays 10 s while nothing hovers,
// and 10 s while the pointer sweeps the bar back and forth (a move every
// 16 ms); for each: libmpv's frame-drop-count of the main engine, the frames
// it delivered, the process's CPU time (both engines, every thread) and its
// RSS at the end. Prints one line of key=value pairs per part.
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "player/engine/MpvEngine.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using quillet::player::MpvEngine;
using Part = FlashPlayerWidget::Part;

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

long long mpvCount(MpvEngine* engine, const char* name) {
  int64_t v = -1;
  mpv_get_property(engine->core(), name, MPV_FORMAT_INT64, &v);
  return v;
}

void move(QWidget* w, QPoint pos) {
  QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

bool waitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // As the program itself does (platform/qt/system/HeapArenas.h).
  mallopt(M_ARENA_MAX, 2);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_seek_preview CLIP [points]\n");
    return 2;
  }
  const QString clip = QFile::decodeName(argv[1]);
  const int points = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const QString movie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
  auto made = MpvEngine::create();
  if (!made) return 1;
  MpvEngine* engine = made.get();
  FlashPlayerWidget player(std::move(made));
  player.resize(1280, 720 + 27);
  player.show();
  player.setProperty("FlashVars", QStringLiteral("autoplay=false&flv=") + clip);
  player.LoadMovie(0, movie);
  if (!waitFor([&] { return player.playback().canSeek(); }, 10000)) return 1;
  const QRect bar = player.partRect(Part::Progress);
  const auto at = [&](double f) {
    return QPoint(bar.left() + int(std::lround(f * (bar.width() - 1))), bar.center().y());
  };

  std::vector<double> ms;
  for (int i = 0; i < points; ++i) {
    const double f = ((i * 7) % points + 0.5) / points;
    QElapsedTimer t;
    t.start();
    move(&player, at(f));
    const bool came = waitFor([&] { return player.seekPreviewPictureCurrent(); }, 5000);
    ms.push_back(came ? t.nsecsElapsed() / 1e6 : -1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&player, &leave);
  }
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted.size() % 2
                            ? sorted[sorted.size() / 2]
                            : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
  std::printf("hover first_ms=%.1f median_ms=%.1f worst_ms=%.1f missing=%ld all=", ms.front(),
              median, sorted.back(), long(std::count(ms.begin(), ms.end(), -1.0)));
  for (double v : ms) std::printf("%.0f,", v);
  std::printf("\n");

  long frames = 0;
  QObject::connect(engine, &MpvEngine::frameAvailable, [&] { ++frames; });
  for (const bool sweep : {false, true}) {
    player.playback().seekTo(0);
    player.playback().play();
    waitFor([&] { return player.isPlaying(); }, 5000);
    // libmpv counts afresh after the seek; the count starts once it plays.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() >= 1000; }, 2000);
    const long long dropsBefore = mpvCount(engine, "frame-drop-count");
    const long long decoderBefore = mpvCount(engine, "decoder-frame-drop-count");
    const long framesBefore = frames;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer t;
    t.start();
    QTimer sweeper;
    int step = 0;
    QObject::connect(&sweeper, &QTimer::timeout, [&] {
      // Across the bar and back in 4 s.
      const double phase = std::fmod(step++ * 16 / 4000.0, 1.0);
      move(&player, at(phase < 0.5 ? phase * 2 : 2 - phase * 2));
    });
    if (sweep) sweeper.start(16);
    waitFor([&] { return t.elapsed() >= 10000; }, 11000);
    sweeper.stop();
    std::printf("%s frame_drops=%lld decoder_drops=%lld frames=%ld cpu_s=%.2f rss_mib=%.0f\n",
                sweep ? "sweep" : "plain", mpvCount(engine, "frame-drop-count") - dropsBefore,
                mpvCount(engine, "decoder-frame-drop-count") - decoderBefore, frames - framesBefore,
                cpuSeconds() - cpuBefore, rssKiB() / 1024.0);
    player.playback().pause();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&player, &leave);
  }
  return 0;
}
