// Long use: many videos opened one after another in one running window with
// the real player, alternating between the clips given. Prints the threads,
// open file descriptors and resident memory as it goes, and fails when more
// than one player is alive at a time or when any of them grows beyond the
// stated bound after the warm-up. Run by bench/long_use.sh; not a unit test.
//
//   long_use COUNT CLIP...
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/qt/system/HeapArenas.h"
#include "tests/support/RealProgram.h"

namespace {

using quillet::hostile::RealProgram;

// The bounds on growth between the end of the warm-up and the end.
constexpr int kWarmUp = 10;
constexpr long kMaxThreadGrowth = 2;
constexpr long kMaxFdGrowth = 2;
constexpr long kMaxRssGrowthKiB = 16 * 1024;

long entries(const char* folder) {
  std::error_code error;
  long n = 0;
  for (auto it = std::filesystem::directory_iterator(folder, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error))
    ++n;
  return n;
}

long rssKiB() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

struct Sample {
  long threads, fds, rss;
};

Sample sample() {
  return {entries("/proc/self/task"), entries("/proc/self/fd"), rssKiB()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s COUNT CLIP...\n", argv[0]);
    return 2;
  }
  quillet::qt::limitHeapArenas();  // as the program does
  const int count = std::atoi(argv[1]);
  std::vector<std::string> clips(argv + 2, argv + argc);
  char folder[] = "/tmp/quillet-long-use-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  setenv("TMPDIR", folder, 1);
  if (!getenv("QUILLET_AO")) setenv("QUILLET_AO", "null", 1);
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  int fakeArgc = 1;
  QApplication app(fakeArgc, argv);
  std::setlocale(LC_NUMERIC, "C");

  bool ok = true;
  {
    RealProgram program;
    program.form.Show();
    if (!QTest::qWaitForWindowExposed(&program.window.widget())) return 2;
    const Sample start = sample();
    Sample warm = start, peak = start, last = start;
    int mostPlayers = 0, unplayed = 0;
    std::printf("%6s %8s %6s %10s %s\n", "video", "threads", "fds", "rss KiB", "players");
    for (int i = 0; i < count; ++i) {
      program.form.GotADrop(clips[static_cast<std::size_t>(i) % clips.size()]);
      // Until the new video plays a little (or shows its error layer).
      const bool played = quillet::hostile::waitFor(
          [&] {
            auto* p = program.currentPlayer();
            return p && (p->playedFraction() > 0 ||
                         p->isShown(quillet::player::FlashPlayerWidget::Part::Message));
          },
          10000);
      if (!played) ++unplayed;
      const int players = quillet::hostile::livePlayers();
      mostPlayers = std::max(mostPlayers, players);
      if (players != 1) ok = false;
      last = sample();
      peak = {std::max(peak.threads, last.threads), std::max(peak.fds, last.fds),
              std::max(peak.rss, last.rss)};
      if (i + 1 == kWarmUp) warm = last;
      if ((i + 1) % 10 == 0 || i == 0)
        std::printf("%6d %8ld %6ld %10ld %d\n", i + 1, last.threads, last.fds, last.rss, players);
      std::fflush(stdout);
    }
    std::printf("\nstart:            threads %ld, fds %ld, rss %ld KiB\n", start.threads, start.fds,
                start.rss);
    std::printf("after %3d videos: threads %ld, fds %ld, rss %ld KiB\n", kWarmUp, warm.threads,
                warm.fds, warm.rss);
    std::printf("after %3d videos: threads %ld, fds %ld, rss %ld KiB\n", count, last.threads,
                last.fds, last.rss);
    std::printf("peak:             threads %ld, fds %ld, rss %ld KiB\n", peak.threads, peak.fds,
                peak.rss);
    std::printf(
        "growth after the warm-up: threads %+ld (bound %ld), fds %+ld (bound %ld), "
        "rss %+ld KiB (bound %ld)\n",
        last.threads - warm.threads, kMaxThreadGrowth, last.fds - warm.fds, kMaxFdGrowth,
        last.rss - warm.rss, kMaxRssGrowthKiB);
    std::printf("players alive at most: %d; videos that did not start within 10 s: %d\n",
                mostPlayers, unplayed);
    if (last.threads - warm.threads > kMaxThreadGrowth || last.fds - warm.fds > kMaxFdGrowth ||
        last.rss - warm.rss > kMaxRssGrowthKiB || unplayed > 0)
      ok = false;
    program.window.widget().close();
    if (!QDir(folder).entryList({"TMP*.tmp"}, QDir::Files).isEmpty()) {
      std::printf("the temporary movie was left behind\n");
      ok = false;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
