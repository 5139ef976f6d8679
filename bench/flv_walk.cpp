// The FLV reader's walk of one file alone, without playback: how long it
// takes, its CPU, how much of the file it reads (and in how many reads) and
// the process's peak memory. bench/flv_walk.sh makes a 2 GiB file and runs it.
//
//   bench_flv_walk FILE [--cold]   (--cold: the file's pages leave the page
//                                   cache first, as after a reboot)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "player/flv/FlvReader.h"

namespace {

using quillet::player::ByteSource;
using quillet::player::FileByteSource;
using quillet::player::FlvReader;

// Counts what the reader asks of the file.
class Counted final : public ByteSource {
 public:
  explicit Counted(std::unique_ptr<ByteSource> file) : file_(std::move(file)) {}
  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override {
    const std::int64_t got = file_->readAt(offset, out);
    ++reads;
    if (got > 0) bytes += static_cast<std::uint64_t>(got);
    return got;
  }
  std::optional<std::uint64_t> size() const override { return file_->size(); }

  std::atomic<std::uint64_t> reads{0}, bytes{0};

 private:
  std::unique_ptr<ByteSource> file_;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [--cold]\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  if (argc > 2 && std::strcmp(argv[2], "--cold") == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
      std::fprintf(stderr, "cannot drop the cached pages of %s\n", path.c_str());
      return 1;
    }
    ::close(fd);
  }
  auto file = FileByteSource::open(path);
  if (!file) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return 1;
  }
  auto counted = std::make_unique<Counted>(std::move(file));
  Counted* count = counted.get();

  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto started = std::chrono::steady_clock::now();
  std::mutex m;
  std::condition_variable cv;
  std::optional<FlvReader::Summary> walked;
  std::shared_ptr<FlvReader> reader = FlvReader::start(std::move(counted));
  reader->whenWalked([&](const FlvReader::Summary& s) {
    std::lock_guard lock(m);
    walked = s;
    cv.notify_all();
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return walked.has_value(); });
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  const std::optional<std::uint64_t> size = count->size();
  std::printf(
      "walk_s=%.3f user_s=%.3f sys_s=%.3f reads=%llu read_mib=%.1f file_mib=%.1f "
      "peak_rss_mib=%.1f duration_s=%.1f keyframes=%zu\n",
      wall, seconds(after.ru_utime) - seconds(before.ru_utime),
      seconds(after.ru_stime) - seconds(before.ru_stime),
      static_cast<unsigned long long>(count->reads.load()),
      static_cast<double>(count->bytes.load()) / (1 << 20),
      static_cast<double>(size.value_or(0)) / (1 << 20),
      static_cast<double>(after.ru_maxrss) / 1024, walked->duration, walked->keyframes);
  return 0;
}
