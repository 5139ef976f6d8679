#include "player/flv/HttpByteSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/dict.h>
}

namespace quillet::player {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// A server silent this long ends the download (microseconds, FFmpeg's unit).
constexpr const char* kSilenceLimit = "30000000";

// A file with no name in the temporary folder (gone when closed, whatever
// happens to the process); memory where the folder cannot hold one.
int makeSpool() {
  const char* dir = std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  int fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) fd = ::memfd_create("quillet-download", MFD_CLOEXEC);
  return fd;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size, std::uint64_t at) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

// ---- Control ----------------------------------------------------------------

void HttpByteSource::Control::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
}

std::uint64_t HttpByteSource::Control::arrived() const {
  std::lock_guard lock(mutex_);
  return arrived_;
}

std::optional<std::uint64_t> HttpByteSource::Control::size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

bool HttpByteSource::Control::ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

bool HttpByteSource::Control::failedAtOpen() const {
  std::lock_guard lock(mutex_);
  return failed_ && !opened_;
}

// ---- The source ---------------------------------------------------------------

std::unique_ptr<HttpByteSource> HttpByteSource::create(std::string url) {
  const int spool = makeSpool();
  if (spool < 0) return nullptr;
  return std::unique_ptr<HttpByteSource>(new HttpByteSource(std::move(url), spool));
}

HttpByteSource::HttpByteSource(std::string url, int spool) : url_(std::move(url)), spool_(spool) {}

HttpByteSource::~HttpByteSource() {
  control_->stop();
  if (thread_.joinable()) thread_.join();
  ::close(spool_);
}

void HttpByteSource::startDownload() {
  std::call_once(started_, [this] { thread_ = std::thread([this] { download(); }); });
}

void HttpByteSource::download() {
  static std::once_flag network;
  std::call_once(network, [] { avformat_network_init(); });
  Control& c = *control_;
  const auto finish = [&c](bool failed) {
    {
      std::lock_guard lock(c.mutex_);
      c.ended_ = true;
      c.failed_ = failed;
      // What arrived is all there is, whatever the server promised.
      c.size_ = c.arrived_;
    }
    c.changed_.notify_all();
  };

  // FFmpeg asks this while it waits on the network: a stop ends the wait.
  const AVIOInterruptCB interrupt{
      [](void* control) { return static_cast<Control*>(control)->stopping_.load() ? 1 : 0; }, &c};
  AVDictionary* options = nullptr;
  av_dict_set(&options, "rw_timeout", kSilenceLimit, 0);
  AVIOContext* raw = nullptr;
  const int opened = avio_open2(&raw, url_.c_str(), AVIO_FLAG_READ, &interrupt, &options);
  av_dict_free(&options);
  if (opened < 0 || !raw) {
    finish(true);
    return;
  }
  const std::unique_ptr<AVIOContext*, void (*)(AVIOContext**)> closer(
      &raw, [](AVIOContext** ctx) { avio_closep(ctx); });
  {
    std::lock_guard lock(c.mutex_);
    c.opened_ = true;
    if (const std::int64_t size = avio_size(raw); size > 0)
      c.size_ = static_cast<std::uint64_t>(size);
  }
  std::vector<unsigned char> buffer(kChunk);
  std::uint64_t at = 0;
  for (;;) {
    if (c.stopping_) return finish(true);
    // Whatever has come: avio_read would wait until the whole buffer is full.
    const int n = avio_read_partial(raw, buffer.data(), static_cast<int>(buffer.size()));
    if (n == AVERROR_EOF || n == 0) return finish(false);
    if (n < 0) return finish(true);  // a cut connection: what came is kept
    if (!writeAll(spool_, buffer.data(), static_cast<std::size_t>(n), at)) return finish(true);
    at += static_cast<std::uint64_t>(n);
    {
      std::lock_guard lock(c.mutex_);
      c.arrived_ = at;
    }
    c.changed_.notify_all();
  }
}

std::int64_t HttpByteSource::readAt(std::uint64_t offset, std::span<unsigned char> out) {
  if (out.empty()) return 0;
  startDownload();
  Control& c = *control_;
  std::uint64_t arrived = 0;
  {
    std::unique_lock lock(c.mutex_);
    c.changed_.wait(lock, [&] { return c.arrived_ > offset || c.ended_ || c.stopping_; });
    arrived = c.arrived_;
    if (offset >= arrived) return c.stopping_ || c.failed_ ? -1 : 0;
  }
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), arrived - offset));
  std::size_t done = 0;
  while (done < want) {
    const ssize_t n =
        ::pread(spool_, out.data() + done, want - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::optional<std::uint64_t> HttpByteSource::size() const {
  return control_->size();
}

}  // namespace quillet::player
