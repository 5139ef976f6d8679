#include "player/engine/FlvStreams.h"

#include <mpv/stream_cb.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <variant>

#include "player/flv/HttpByteSource.h"

namespace quillet::player {

// Both protocols open by number what the engine registered, and read through
// the same cookie.

// What the engine's handle and libmpv's open stream share.
struct HttpStream::State {
  std::string address;
  std::mutex lock;
  bool ended = false;                                // the engine let it go
  std::shared_ptr<HttpByteSource::Control> control;  // once libmpv opened it
};

namespace {

constexpr char kFlvProtocol[] = "quillet-flv";
constexpr char kHttpProtocol[] = "quillet-http";

// What libmpv may open by number under one protocol. Weak: the engine owns
// each entry; a stream libmpv has open holds its own reference. Extra goes
// with the entry (a reindexed FLV stream's start).
template <class Entry, class Extra = std::monostate>
class Registry {
 public:
  explicit Registry(const char* protocol) : protocol(protocol) {}

  // The address libmpv opens it by.
  QByteArray add(const std::shared_ptr<Entry>& entry, Extra extra = {}) {
    std::lock_guard guard(lock);
    std::erase_if(entries, [](const auto& e) { return e.second.first.expired(); });
    const quint64 id = next++;
    entries[id] = {entry, std::move(extra)};
    return QByteArray(protocol) + "://" + QByteArray::number(id);
  }

  // What uri names while the engine still holds it, else a null entry.
  std::pair<std::shared_ptr<Entry>, Extra> find(const char* uri) {
    const std::size_t prefix = std::strlen(protocol) + 3;  // "quillet-flv://", "quillet-http://"
    if (std::strlen(uri) <= prefix) return {};
    bool ok = false;
    const quint64 id = QByteArray(uri + prefix).toULongLong(&ok);
    std::lock_guard guard(lock);
    const auto it = entries.find(id);
    if (!ok || it == entries.end()) return {};
    return {it->second.first.lock(), it->second.second};
  }

 private:
  const char* protocol;
  std::mutex lock;
  std::map<quint64, std::pair<std::weak_ptr<Entry>, Extra>> entries;
  quint64 next = 1;
};

using Prefix = std::shared_ptr<const FlvReader::Prefix>;  // null: the reader's own

Registry<FlvReader, Prefix>& readers() {
  static Registry<FlvReader, Prefix> r(kFlvProtocol);
  return r;
}

Registry<HttpStream::State>& downloads() {
  static Registry<HttpStream::State> r(kHttpProtocol);
  return r;
}

// One open stream: the repaired FLV, or a download's bytes as they come.
struct Cookie {
  std::shared_ptr<HttpByteSource::Control> control;  // a download's
  std::shared_ptr<FlvReader> reader;                 // an FLV
  Prefix prefix;                                     // its start, when not the reader's own
  std::unique_ptr<HttpByteSource> source;            // anything else
  std::uint64_t position = 0;
  std::atomic<bool> cancelled{false};

  ~Cookie() {
    // The reader's walk may wait for bytes: it must be woken before it ends.
    if (control) control->stop();
    reader.reset();
  }
};

std::int64_t readStream(void* cookie, char* buffer, std::uint64_t size) {
  auto* c = static_cast<Cookie*>(cookie);
  const std::span out(reinterpret_cast<unsigned char*>(buffer), size);
  const std::int64_t got = !c->reader ? c->source->readAt(c->position, out)
                           : c->prefix
                               ? c->reader->read(*c->prefix, c->position, out, &c->cancelled)
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
  auto* c = static_cast<Cookie*>(cookie);
  const std::optional<std::uint64_t> size = !c->reader  ? c->source->size()
                                            : c->prefix ? c->reader->streamSize(*c->prefix)
                                                        : c->reader->streamSize();
  if (!size) return MPV_ERROR_UNSUPPORTED;
  return static_cast<std::int64_t>(*size);
}

void closeStream(void* cookie) {
  std::unique_ptr<Cookie> owned(static_cast<Cookie*>(cookie));
}

void cancelStream(void* cookie) {
  auto* c = static_cast<Cookie*>(cookie);
  c->cancelled = true;
  if (c->control) c->control->stop();
  if (c->reader) c->reader->wakeWaiters();
}

int handOver(std::unique_ptr<Cookie> cookie, mpv_stream_cb_info* info) {
  info->cookie = cookie.release();  // closeStream takes it back
  info->read_fn = readStream;
  info->seek_fn = seekStream;
  info->size_fn = streamSize;
  info->close_fn = closeStream;
  info->cancel_fn = cancelStream;
  return 0;
}

int openRepaired(void*, char* uri, mpv_stream_cb_info* info) {
  auto [reader, prefix] = readers().find(uri);
  if (!reader) return MPV_ERROR_LOADING_FAILED;
  auto cookie = std::make_unique<Cookie>();
  cookie->reader = std::move(reader);
  cookie->prefix = std::move(prefix);
  return handOver(std::move(cookie), info);
}

int openDownload(void*, char* uri, mpv_stream_cb_info* info) {
  const std::shared_ptr<HttpStream::State> state = downloads().find(uri).first;
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
  return handOver(std::move(cookie), info);
}

}  // namespace

bool addFlvProtocols(mpv_handle* mpv) {
  return mpv_stream_cb_add_ro(mpv, kFlvProtocol, nullptr, openRepaired) >= 0 &&
         mpv_stream_cb_add_ro(mpv, kHttpProtocol, nullptr, openDownload) >= 0;
}

RepairedFlv repairedFlvStream(std::unique_ptr<ByteSource> source, std::uint64_t openWalkBytes,
                              std::chrono::milliseconds rest) {
  RepairedFlv out{FlvReader::start(std::move(source), openWalkBytes, rest), {}, {}};
  out.url = readers().add(out.reader);
  return out;
}

std::optional<RepairedFlv> reindexedFlvStream(const std::shared_ptr<FlvReader>& reader) {
  Prefix prefix = reader ? reader->reindexed() : nullptr;
  if (!prefix) return std::nullopt;
  QByteArray url = readers().add(reader, prefix);
  return RepairedFlv{reader, std::move(url), std::move(prefix)};
}

std::optional<RepairedFlv> openRepairedFlv(const QByteArray& path, const FileSourceOpener& open) {
  std::unique_ptr<ByteSource> file =
      open ? open(path.toStdString()) : FileByteSource::open(path.toStdString());
  if (!file) return std::nullopt;
  unsigned char head[3];
  if (file->readAt(0, head) != 3 || !looksLikeFlv(head)) return std::nullopt;
  return repairedFlvStream(std::move(file), FlvReader::kOpenWalkBytes, kOpenRest);
}

HttpStream::HttpStream(std::shared_ptr<State> state)
    : state_(std::move(state)), url_(downloads().add(state_)) {}

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
