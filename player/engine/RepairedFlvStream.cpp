#include "player/engine/RepairedFlvStream.h"

#include <mpv/stream_cb.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace quillet::player {

namespace {

constexpr char kProtocol[] = "quillet-flv";

// The readers libmpv may open by number. Weak: the engine owns each reader;
// a stream libmpv has open holds its own reference.
struct Registry {
  std::mutex lock;
  std::map<quint64, std::weak_ptr<FlvReader>> readers;
  quint64 next = 1;
};

Registry& registry() {
  static Registry r;
  return r;
}

struct Cookie {
  std::shared_ptr<FlvReader> reader;
  std::uint64_t position = 0;
  std::atomic<bool> cancelled{false};
};

std::int64_t readStream(void* cookie, char* buffer, std::uint64_t size) {
  auto* c = static_cast<Cookie*>(cookie);
  const std::int64_t got = c->reader->read(
      c->position, std::span(reinterpret_cast<unsigned char*>(buffer), size), &c->cancelled);
  if (got > 0) c->position += static_cast<std::uint64_t>(got);
  return got;
}

std::int64_t seekStream(void* cookie, std::int64_t offset) {
  if (offset < 0) return MPV_ERROR_GENERIC;
  static_cast<Cookie*>(cookie)->position = static_cast<std::uint64_t>(offset);
  return offset;
}

std::int64_t streamSize(void* cookie) {
  const std::optional<std::uint64_t> size = static_cast<Cookie*>(cookie)->reader->streamSize();
  if (!size) return MPV_ERROR_UNSUPPORTED;
  return static_cast<std::int64_t>(*size);
}

void closeStream(void* cookie) {
  std::unique_ptr<Cookie> owned(static_cast<Cookie*>(cookie));
}

void cancelStream(void* cookie) {
  auto* c = static_cast<Cookie*>(cookie);
  c->cancelled = true;
  c->reader->wakeWaiters();
}

int openStream(void*, char* uri, mpv_stream_cb_info* info) {
  const std::size_t prefix = std::strlen(kProtocol) + 3;  // "quillet-flv://"
  if (std::strlen(uri) <= prefix) return MPV_ERROR_LOADING_FAILED;
  bool ok = false;
  const quint64 id = QByteArray(uri + prefix).toULongLong(&ok);
  std::shared_ptr<FlvReader> reader;
  {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (const auto it = r.readers.find(id); ok && it != r.readers.end()) reader = it->second.lock();
  }
  if (!reader) return MPV_ERROR_LOADING_FAILED;
  auto cookie = std::make_unique<Cookie>();
  cookie->reader = std::move(reader);
  info->cookie = cookie.release();  // closeStream takes it back
  info->read_fn = readStream;
  info->seek_fn = seekStream;
  info->size_fn = streamSize;
  info->close_fn = closeStream;
  info->cancel_fn = cancelStream;
  return 0;
}

}  // namespace

bool addRepairedFlvProtocol(mpv_handle* mpv) {
  return mpv_stream_cb_add_ro(mpv, kProtocol, nullptr, openStream) >= 0;
}

RepairedFlv repairedFlvStream(std::unique_ptr<ByteSource> source) {
  RepairedFlv out{FlvReader::start(std::move(source)), {}};
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::erase_if(r.readers, [](const auto& entry) { return entry.second.expired(); });
  const quint64 id = r.next++;
  r.readers[id] = out.reader;
  out.url = QByteArray(kProtocol) + "://" + QByteArray::number(id);
  return out;
}

std::optional<RepairedFlv> openRepairedFlv(const QByteArray& path) {
  std::unique_ptr<FileByteSource> file = FileByteSource::open(path.toStdString());
  if (!file) return std::nullopt;
  unsigned char head[3];
  if (file->readAt(0, head) != 3 || !looksLikeFlv(head)) return std::nullopt;
  return repairedFlvStream(std::move(file));
}

}  // namespace quillet::player
