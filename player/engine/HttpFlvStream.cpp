#include "player/engine/HttpFlvStream.h"

#include <mpv/stream_cb.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "player/flv/FlvReader.h"
#include "player/flv/HttpByteSource.h"

namespace quillet::player {

namespace {

constexpr char kProtocol[] = "quillet-http";

}  // namespace

// What the engine's handle and libmpv's open stream share.
struct HttpStream::State {
  std::string address;
  std::mutex lock;
  bool ended = false;                                // the engine let it go
  std::shared_ptr<HttpByteSource::Control> control;  // once libmpv opened it
};

namespace {

struct Registry {
  std::mutex lock;
  std::map<quint64, std::weak_ptr<HttpStream::State>> streams;
  quint64 next = 1;
};

Registry& registry() {
  static Registry r;
  return r;
}

// One open stream: the repaired FLV, or the bytes as they come.
struct Cookie {
  std::shared_ptr<HttpByteSource::Control> control;
  std::shared_ptr<FlvReader> reader;       // an FLV
  std::unique_ptr<HttpByteSource> source;  // anything else
  std::uint64_t position = 0;
  std::atomic<bool> cancelled{false};

  ~Cookie() {
    // The reader's walk may wait for bytes: it must be woken before it ends.
    control->stop();
    reader.reset();
  }
};

std::int64_t readStream(void* cookie, char* buffer, std::uint64_t size) {
  auto* c = static_cast<Cookie*>(cookie);
  const std::span out(reinterpret_cast<unsigned char*>(buffer), size);
  const std::int64_t got = c->reader ? c->reader->read(c->position, out, &c->cancelled)
                                     : c->source->readAt(c->position, out);
  if (got > 0) c->position += static_cast<std::uint64_t>(got);
  return got;
}

std::int64_t seekStream(void* cookie, std::int64_t offset) {
  if (offset < 0) return MPV_ERROR_GENERIC;
  static_cast<Cookie*>(cookie)->position = static_cast<std::uint64_t>(offset);
  return offset;
}

std::int64_t streamSize(void* cookie) {
  auto* c = static_cast<Cookie*>(cookie);
  const std::optional<std::uint64_t> size = c->reader ? c->reader->streamSize() : c->source->size();
  if (!size) return MPV_ERROR_UNSUPPORTED;
  return static_cast<std::int64_t>(*size);
}

void closeStream(void* cookie) {
  std::unique_ptr<Cookie> owned(static_cast<Cookie*>(cookie));
}

void cancelStream(void* cookie) {
  auto* c = static_cast<Cookie*>(cookie);
  c->cancelled = true;
  c->control->stop();
  if (c->reader) c->reader->wakeWaiters();
}

int openStream(void*, char* uri, mpv_stream_cb_info* info) {
  const std::size_t prefix = std::strlen(kProtocol) + 3;  // "quillet-http://"
  if (std::strlen(uri) <= prefix) return MPV_ERROR_LOADING_FAILED;
  bool ok = false;
  const quint64 id = QByteArray(uri + prefix).toULongLong(&ok);
  std::shared_ptr<HttpStream::State> state;
  {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (const auto it = r.streams.find(id); ok && it != r.streams.end()) state = it->second.lock();
  }
  if (!state) return MPV_ERROR_LOADING_FAILED;
  std::unique_ptr<HttpByteSource> source = HttpByteSource::create(state->address);
  if (!source) return MPV_ERROR_LOADING_FAILED;
  auto cookie = std::make_unique<Cookie>();
  cookie->control = source->control();
  {
    std::lock_guard guard(state->lock);
    if (state->ended) return MPV_ERROR_LOADING_FAILED;
    state->control = cookie->control;
  }
  // The first bytes decide, here on libmpv's thread: nothing at all is a
  // failure to load (no such address, refused, an error answer).
  unsigned char head[3];
  const std::int64_t got = source->readAt(0, head);
  if (got <= 0) return MPV_ERROR_LOADING_FAILED;
  if (got == 3 && looksLikeFlv(head)) {
    cookie->reader = FlvReader::start(std::move(source));
  } else {
    cookie->source = std::move(source);
  }
  info->cookie = cookie.release();  // closeStream takes it back
  info->read_fn = readStream;
  info->seek_fn = seekStream;
  info->size_fn = streamSize;
  info->close_fn = closeStream;
  info->cancel_fn = cancelStream;
  return 0;
}

}  // namespace

bool addHttpFlvProtocol(mpv_handle* mpv) {
  return mpv_stream_cb_add_ro(mpv, kProtocol, nullptr, openStream) >= 0;
}

HttpStream::HttpStream(std::shared_ptr<State> state) : state_(std::move(state)) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::erase_if(r.streams, [](const auto& entry) { return entry.second.expired(); });
  const quint64 id = r.next++;
  r.streams[id] = state_;
  url_ = QByteArray(kProtocol) + "://" + QByteArray::number(id);
}

HttpStream::~HttpStream() {
  std::lock_guard guard(state_->lock);
  state_->ended = true;
  if (state_->control) state_->control->stop();
}

std::unique_ptr<HttpStream> openHttpStream(const QByteArray& address) {
  auto state = std::make_shared<HttpStream::State>();
  state->address = address.toStdString();
  return std::make_unique<HttpStream>(std::move(state));
}

}  // namespace quillet::player
