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
struct Entry {
  std::weak_ptr<FlvReader> reader;
  std::shared_ptr<const FlvReader::Prefix> prefix;  // null: the reader's own
};

struct Registry {
  std::mutex lock;
  std::map<quint64, Entry> readers;
  quint64 next = 1;
};

Registry& registry() {
  static Registry r;
  return r;
}

QByteArray add(std::shared_ptr<FlvReader> reader, std::shared_ptr<const FlvReader::Prefix> prefix) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::erase_if(r.readers, [](const auto& entry) { return entry.second.reader.expired(); });
  const quint64 id = r.next++;
  r.readers[id] = {std::move(reader), std::move(prefix)};
  return QByteArray(kProtocol) + "://" + QByteArray::number(id);
}

struct Cookie {
  std::shared_ptr<FlvReader> reader;
  std::shared_ptr<const FlvReader::Prefix> prefix;
  std::uint64_t position = 0;
  std::atomic<bool> cancelled{false};
};

std::int64_t readStream(void* cookie, char* buffer, std::uint64_t size) {
  auto* c = static_cast<Cookie*>(cookie);
  const std::span out(reinterpret_cast<unsigned char*>(buffer), size);
  const std::int64_t got = c->prefix ? c->reader->read(*c->prefix, c->position, out, &c->cancelled)
                                     : c->reader->read(c->position, out, &c->cancelled);
  if (got > 0) c->position += static_cast<std::uint64_t>(got);
  return got;
}

std::int64_t seekStream(void* cookie, std::int64_t offset) {
  if (offset < 0) return MPV_ERROR_GENERIC;
  static_cast<Cookie*>(cookie)->position = static_cast<std::uint64_t>(offset);
  return offset;
}

std::int64_t streamSize(void* cookie) {
  const auto* c = static_cast<Cookie*>(cookie);
  const std::optional<std::uint64_t> size =
      c->prefix ? c->reader->streamSize(*c->prefix) : c->reader->streamSize();
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
  auto cookie = std::make_unique<Cookie>();
  {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (const auto it = r.readers.find(id); ok && it != r.readers.end()) {
      cookie->reader = it->second.reader.lock();
      cookie->prefix = it->second.prefix;
    }
  }
  if (!cookie->reader) return MPV_ERROR_LOADING_FAILED;
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

RepairedFlv repairedFlvStream(std::unique_ptr<ByteSource> source, std::uint64_t openWalkBytes) {
  RepairedFlv out{FlvReader::start(std::move(source), openWalkBytes), {}, {}};
  out.url = add(out.reader, nullptr);
  return out;
}

std::optional<RepairedFlv> reindexedFlvStream(const std::shared_ptr<FlvReader>& reader) {
  std::shared_ptr<const FlvReader::Prefix> prefix = reader ? reader->reindexed() : nullptr;
  if (!prefix) return std::nullopt;
  RepairedFlv out{reader, add(reader, prefix), prefix};
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
