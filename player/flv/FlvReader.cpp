#include "player/flv/FlvReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "player/flv/FlvMetadata.h"

Q_LOGGING_CATEGORY(lcFlvReader, "quillet.player.flv", QtWarningMsg)

namespace quillet::player {

// --- the local file ------------------------------------------------------

std::unique_ptr<FileByteSource> FileByteSource::open(const std::string& path) {
  // Non-blocking: a pipe put there since the caller's check must not block.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileByteSource>(
      new FileByteSource(fd, static_cast<std::uint64_t>(st.st_size)));
}

std::unique_ptr<ByteSource> FileByteSource::another() const {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  const int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileByteSource>(new FileByteSource(fd, size_));
}

FileByteSource::~FileByteSource() {
  ::close(fd_);
}

std::int64_t FileByteSource::readAt(std::uint64_t offset, std::span<unsigned char> out) {
  if (offset >= size_ || out.empty()) return 0;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
  for (;;) {
    const ssize_t got = ::pread(fd_, out.data(), want, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool looksLikeFlv(std::span<const unsigned char> head) {
  return head.size() >= 3 && head[0] == 'F' && head[1] == 'L' && head[2] == 'V';
}

// --- the walk ------------------------------------------------------------

namespace {

constexpr std::uint64_t kTagHeader = 11;
constexpr std::uint64_t kTagOverhead = kTagHeader + 4;  // header and the PreviousTagSize after it
constexpr std::uint64_t kFileHeader = 9;
constexpr std::uint32_t kMaxDataOffset = 1024;
constexpr unsigned kAudio = 8, kVideo = 9, kScript = 18;
// A mark at least this often, so that a read finds its tag in few steps.
constexpr std::uint64_t kMarkStride = 256u << 10;
// Backward steps within one stream smaller than this are writers' jitter,
// not a restart.
constexpr std::int64_t kRestartMs = 100;
// Forward steps larger than this are traced as gaps.
constexpr std::int64_t kGapMs = 1000;
// After damage, a tag's timestamp counts as near the last one within this.
constexpr std::int64_t kNearBackMs = 1000, kNearForwardMs = 60000;
// The first onMetaData is kept in memory to copy its other fields: a sane
// one is a few hundred bytes, an index of a long file some hundred KiB.
constexpr std::uint32_t kMaxMetadataKept = 4u << 20;

std::uint32_t be24(const unsigned char* d) {
  return (std::uint32_t{d[0]} << 16) | (std::uint32_t{d[1]} << 8) | d[2];
}
std::uint32_t be32(const unsigned char* d) {
  return (std::uint32_t{d[0]} << 24) | be24(d + 1);
}

struct TagHeader {
  unsigned type;
  std::uint32_t size;
  std::uint32_t time;  // ms, the extended byte included
  std::uint32_t streamId;
};

TagHeader parseTag(const unsigned char* h) {
  return {h[0], be24(h + 1), be24(h + 4) | (std::uint32_t{h[7]} << 24), be24(h + 8)};
}

bool tagType(unsigned type) {
  return type == kAudio || type == kVideo || type == kScript;
}

// Buffered reads of the source for the walk, which looks at a few bytes
// around each tag's start and end and never at what lies between: where the
// tags are small, one read of a chunk covers many; past a large tag, only a
// few bytes at its end are read. Two pieces are kept, so that looking ahead
// to where a tag says the next begins does not drop the piece the walk
// stands in (while it resyncs byte by byte, say).
class Window {
 public:
  static constexpr std::size_t kChunk = 64u << 10;
  // Past a large tag: its last byte, the PreviousTagSize, the next header and
  // the first bytes of its data, and a few small tags on (sound, mostly).
  static constexpr std::size_t kLook = 1u << 10;
  // Beyond this a tag is large: one read at its end costs less than reading
  // through it.
  static constexpr std::uint32_t kLarge = 4u << 10;

  explicit Window(ByteSource& source) : source_(source) {}

  // The n bytes at pos, or null when the source ends (or fails) first. What
  // is not buffered yet is read with `ahead` bytes on from pos (n at least).
  // The pointer holds until the second next call.
  const unsigned char* at(std::uint64_t pos, std::size_t n, std::size_t ahead = kChunk) {
    for (Piece& p : pieces_)
      if (pos >= p.start && pos - p.start + n <= p.length) {
        p.used = ++clock_;
        return p.bytes.data() + (pos - p.start);
      }
    Piece& p = pieces_[0].used < pieces_[1].used ? pieces_[0] : pieces_[1];
    const std::size_t want = std::max(n, ahead);
    p.bytes.resize(want);
    p.start = pos;
    p.length = 0;
    p.used = ++clock_;
    while (p.length < want) {
      const std::int64_t got =
          source_.readAt(pos + p.length, std::span(p.bytes).subspan(p.length, want - p.length));
      if (got <= 0) break;
      p.length += static_cast<std::size_t>(got);
    }
    return p.length >= n ? p.bytes.data() : nullptr;
  }

  // How much to read ahead around a tag of this size: a chunk for a small
  // one, and the small ones likely to follow; a look at a large one's end.
  static std::size_t aheadAfter(std::uint32_t size) { return size > kLarge ? kLook : kChunk; }

 private:
  struct Piece {
    std::vector<unsigned char> bytes;
    std::uint64_t start = 0;
    std::size_t length = 0;
    std::uint64_t used = 0;
  };
  ByteSource& source_;
  Piece pieces_[2];
  std::uint64_t clock_ = 0;
};

bool isFlvHeader(const unsigned char* h) {
  const std::uint32_t offset = be32(h + 5);
  return h[0] == 'F' && h[1] == 'L' && h[2] == 'V' && offset >= kFileHeader &&
         offset <= kMaxDataOffset;
}

bool namesOnMetaData(const unsigned char* data, std::uint32_t size) {
  static constexpr unsigned char kName[] = {2,   0,   10,  'o', 'n', 'M', 'e',
                                            't', 'a', 'D', 'a', 't', 'a'};
  return size >= sizeof kName && std::memcmp(data, kName, sizeof kName) == 0;
}

// A small AMF0 writer for the onMetaData of our own.
struct AmfOut {
  std::vector<unsigned char> b;
  void u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); }
  void u16(unsigned v) {
    u8(v >> 8);
    u8(v & 0xff);
  }
  void u32(std::uint32_t v) {
    u16(v >> 16);
    u16(v & 0xffff);
  }
  void key(std::string_view k) {
    u16(static_cast<unsigned>(k.size()));
    b.insert(b.end(), k.begin(), k.end());
  }
  void number(double v) {
    u8(0);
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int shift = 56; shift >= 0; shift -= 8) u8((bits >> shift) & 0xff);
  }
  void boolean(bool v) {
    u8(1);
    u8(v ? 1 : 0);
  }
  void end() {
    u16(0);
    u8(9);
  }
};

// Fields of a writer's onMetaData that describe the whole file and are
// wrong in a damaged one: ours replace them or leave them out.
bool replacedField(std::string_view key) {
  static constexpr std::string_view kReplaced[] = {"duration",
                                                   "keyframes",
                                                   "filesize",
                                                   "datasize",
                                                   "videosize",
                                                   "audiosize",
                                                   "lasttimestamp",
                                                   "lastkeyframetimestamp",
                                                   "lastkeyframelocation",
                                                   "hasKeyframes",
                                                   "hasVideo",
                                                   "hasAudio",
                                                   "canSeekToEnd",
                                                   "times",
                                                   "filepositions"};
  return std::find(std::begin(kReplaced), std::end(kReplaced), key) != std::end(kReplaced);
}

}  // namespace

// A tag where the repaired stream and the file stop running in step, or a
// key frame, or a stride's end. From one mark to the next, tags follow each
// other in the file without a gap and keep the mark's timestamp offset.
struct FlvReader::Mark {
  std::uint64_t rel;      // in the repaired stream, from its first tag
  std::uint64_t src;      // in the file
  std::int64_t tsOffset;  // added to the file's timestamps
  std::uint32_t time;     // the tag's repaired timestamp (ms)
  bool keyframe;
};

// The walk's own state: only the walking thread touches it.
struct FlvReader::Walker {
  struct Stream {
    bool seen = false;
    std::int64_t last = 0;  // repaired ms
    std::int64_t step = 0;  // the last forward step, a frame's length
  };
  Stream audio, video;
  std::int64_t tsOffset = 0;
  std::int64_t lastSource = -1;  // the last A/V tag's own timestamp
  std::int64_t maxOut = 0;
  std::int64_t first = -1;  // the earliest repaired timestamp: a recording may start late
  bool anyTag = false;
  bool joinPending = false;
  bool needMark = true;
  std::uint64_t lastMarkSrc = 0;
  std::vector<unsigned char> metadata;  // the file's first onMetaData data

  std::int64_t end() const {
    std::int64_t e = 0;
    for (const Stream* s : {&audio, &video})
      if (s->seen) e = std::max(e, s->last + s->step);
    return e;
  }
};

std::shared_ptr<FlvReader> FlvReader::start(std::unique_ptr<ByteSource> source,
                                            std::uint64_t openWalkBytes,
                                            std::chrono::milliseconds rest) {
  if (!source) return nullptr;
  std::shared_ptr<FlvReader> reader(new FlvReader(std::move(source), openWalkBytes, rest));
  reader->thread_ = std::thread([r = reader.get()] { r->walk(); });
  return reader;
}

FlvReader::FlvReader(std::unique_ptr<ByteSource> source, std::uint64_t openWalkBytes,
                     std::chrono::milliseconds rest)
    : source_(std::move(source)), openWalkBytes_(openWalkBytes), rest_(rest) {}

FlvReader::~FlvReader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  source_->cancel();  // a download may hold the walk waiting for bytes
  if (thread_.joinable()) thread_.join();
}

void FlvReader::walkOn() {
  std::lock_guard lock(mutex_);
  if (!std::exchange(resting_, false)) return;  // told already (each frame tells)
  changed_.notify_all();
}

void FlvReader::rest() {
  std::unique_lock lock(mutex_);
  const bool needed = changed_.wait_for(lock, rest_, [&] {
    return stopping_ || !resting_ || waitingReads_ > 0 || onWalkedTo_ != nullptr;
  });
  resting_ = false;
  qCDebug(lcFlvReader) << "walk rested" << (needed ? "until needed" : "its longest");
}

void FlvReader::wakeWaiters() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

std::optional<std::uint64_t> FlvReader::streamSize() const {
  std::lock_guard lock(mutex_);
  if (!done_ || !prefixReady_) return std::nullopt;
  return prefix_->bytes.size() + walkedRel_;
}

std::optional<std::uint64_t> FlvReader::streamSize(const Prefix& prefix) const {
  std::lock_guard lock(mutex_);
  if (!done_) return std::nullopt;
  return prefix.bytes.size() + walkedRel_;
}

std::shared_ptr<const FlvReader::Prefix> FlvReader::prefix() const {
  std::lock_guard lock(mutex_);
  return prefixReady_ ? prefix_ : nullptr;
}

std::shared_ptr<const FlvReader::Prefix> FlvReader::reindexed() const {
  std::vector<unsigned char> original;
  std::uint64_t walkedBytes = 0;
  {
    std::lock_guard lock(mutex_);
    if (!prefixReady_) return nullptr;
    original = metadata_;
    walkedBytes = walkedSrc_;
  }
  return std::make_shared<const Prefix>(makePrefix(original, walkedBytes));
}

FlvReader::Summary FlvReader::summary() const {
  std::lock_guard lock(mutex_);
  return summary_;
}

void FlvReader::whenWalked(std::function<void(const Summary&)> fn) {
  std::unique_lock lock(mutex_);
  if (done_ && fn) {
    const Summary s = summary_;
    onWalked_ = nullptr;
    lock.unlock();
    fn(s);
    return;
  }
  onWalked_ = std::move(fn);
}

void FlvReader::whenWalkedTo(double seconds, std::function<void()> fn) {
  std::unique_lock lock(mutex_);
  if (fn && (done_ || summary_.duration >= seconds)) {
    onWalkedTo_ = nullptr;
    lock.unlock();
    fn();
    return;
  }
  wishSeconds_ = seconds;
  onWalkedTo_ = std::move(fn);
  changed_.notify_all();  // a resting walk is needed now
}

void FlvReader::walk() {
  const std::unique_ptr<ByteSource> own = source_->another();
  ByteSource& source = own ? *own : *source_;
  Window win(source);
  Walker w;
  Summary sum;
  const std::optional<std::uint64_t> fileSize = source_->size();
  // What fits in memory for marks: never more than the file itself.
  const std::size_t maxMarks =
      fileSize ? std::max<std::size_t>(4096, static_cast<std::size_t>(*fileSize / 64)) : 1u << 22;
  const auto fits = [&](std::uint64_t pos, std::uint64_t size) {
    return !fileSize || pos + kTagHeader + size <= *fileSize;
  };
  // Whether what follows the tag at pos agrees with its size: the next
  // header, its PreviousTagSize, or the file's end.
  const auto nextAgrees = [&](std::uint64_t pos, const TagHeader& t, bool strict) {
    const std::uint64_t after = pos + kTagHeader + t.size;
    if (fileSize && after + 4 >= *fileSize) return after <= *fileSize;
    // From the tag's last byte on, which the walk asks for next, and the
    // next header after it.
    if (const unsigned char* p = win.at(after - 1, 5, Window::aheadAfter(t.size));
        p && be32(p + 1) == kTagHeader + t.size)
      return true;
    const unsigned char* n = win.at(after + 4, kTagHeader, Window::aheadAfter(t.size));
    if (!n) return true;  // the file is cut within the next header
    if (isFlvHeader(n)) return true;
    const TagHeader next = parseTag(n);
    return tagType(next.type) && (!strict || (next.streamId == 0 && t.streamId == 0)) &&
           fits(after + 4, next.size);
  };
  // Whether the audio or video tag right after the one at pos is back on
  // the walk's times so far (a lone tag's time is then what is damaged).
  const auto nextOnLine = [&](std::uint64_t pos, const TagHeader& t) {
    const std::uint64_t after = pos + kTagOverhead + t.size;
    const unsigned char* n = win.at(after, kTagHeader, Window::aheadAfter(t.size));
    if (!n) return false;
    const TagHeader next = parseTag(n);
    if ((next.type != kAudio && next.type != kVideo) || !fits(after, next.size)) return false;
    const std::int64_t out = std::int64_t{next.time} + w.tsOffset;
    return out >= w.maxOut - kNearBackMs && out <= w.maxOut + kGapMs;
  };
  const auto near = [&](const TagHeader& t) {
    if (w.lastSource < 0) return true;
    const std::int64_t d = std::int64_t{t.time} - w.lastSource;
    return (d >= -kNearBackMs && d <= kNearForwardMs) || t.time < kNearBackMs;
  };

  std::uint64_t pos = kFileHeader + 4;
  if (const unsigned char* h = win.at(0, kFileHeader); h && isFlvHeader(h))
    pos = std::uint64_t{be32(h + 5)} + 4;
  std::uint64_t rel = 0;
  std::vector<Mark> pending;
  bool resyncing = false;
  bool prefixBuilt = false;  // this thread's own view of prefixReady_

  const auto publish = [&](bool finished) {
    std::unique_lock lock(mutex_);
    marks_.insert(marks_.end(), pending.begin(), pending.end());
    pending.clear();
    walkedRel_ = rel;
    walkedSrc_ = pos;
    sum.duration = w.first < 0 ? 0 : static_cast<double>(w.end() - w.first) / 1000.0;
    sum.walked = finished;
    summary_ = sum;
    if (!prefixReady_ && (finished || pos >= openWalkBytes_)) {
      lock.unlock();
      prefixBuilt = true;
      auto made = std::make_shared<const Prefix>(makePrefix(w.metadata, pos));
      lock.lock();
      metadata_ = w.metadata;
      prefix_ = std::move(made);
      prefixReady_ = true;
    }
    if (finished) done_ = true;
    // A reader that goes calls nothing: its walk stopped, it did not end.
    if (!stopping_ && onWalkedTo_ && (finished || sum.duration >= wishSeconds_))
      std::exchange(onWalkedTo_, nullptr)();
    if (!stopping_ && finished && onWalked_) std::exchange(onWalked_, nullptr)(summary_);
    changed_.notify_all();
  };

  std::uint64_t tagsSincePublish = 0;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    if (marks_.size() + pending.size() >= maxMarks) break;  // only a hostile file gets here
    const unsigned char* h = win.at(pos, kTagHeader);
    if (!h) break;
    if (isFlvHeader(h)) {
      // Another file's header: a join (or the first header found again).
      pos += std::uint64_t{be32(h + 5)} + 4;
      if (w.anyTag) {
        w.joinPending = true;
        ++sum.joins;
        qCInfo(lcFlvReader) << "joined file at byte" << pos;
      }
      w.needMark = true;
      continue;
    }
    TagHeader t = parseTag(h);
    // Where the tag before says, the type, a size that fits and either what
    // follows or the time will do; after damage, all of them.
    bool ok =
        tagType(t.type) && fits(pos, t.size) &&
        (resyncing ? nextAgrees(pos, t, true) && near(t) : nextAgrees(pos, t, false) || near(t));
    if (!ok) {
      // Damage: on to the next plausible tag or header.
      if (!resyncing) {
        resyncing = true;
        ++sum.resyncs;
        qCInfo(lcFlvReader) << "damaged bytes at" << pos;
      }
      ++pos;
      w.needMark = true;
      continue;
    }
    resyncing = false;
    // The data's first bytes, copied: the window moves on below.
    unsigned char first[13] = {};
    const std::uint32_t firstSize = std::min<std::uint32_t>(t.size, sizeof first);
    const unsigned char* head = nullptr;
    if (t.size > 0) {
      const unsigned char* at = win.at(pos + kTagHeader, firstSize, Window::aheadAfter(t.size));
      if (!at) break;
      std::copy_n(at, firstSize, first);
      head = first;
    }
    // The whole tag must be there: a disk that fails, or a growing source
    // that ends, ends the stream before it.
    if (t.size > 0 && !win.at(pos + kTagHeader + t.size - 1, 1, Window::aheadAfter(t.size))) break;

    if (t.type == kScript && head && namesOnMetaData(head, firstSize)) {
      // The first one is ours to rewrite, wherever a writer put it before
      // our own is written; later ones (a joined part's) would tell the
      // demuxer the wrong length again.
      if (!prefixBuilt && sum.joins == 0 && w.metadata.empty() && t.size <= kMaxMetadataKept) {
        w.metadata.resize(t.size);
        std::size_t got = 0;
        while (got < t.size) {
          const std::int64_t n =
              source.readAt(pos + kTagHeader + got, std::span(w.metadata).subspan(got));
          if (n <= 0) break;
          got += static_cast<std::size_t>(n);
        }
        if (got < t.size) w.metadata.clear();
      } else {
        ++sum.droppedTags;
      }
      pos += kTagOverhead + t.size;
      w.needMark = true;
      continue;
    }

    bool keyframe = false;
    std::optional<std::int64_t> stray;  // this tag's repaired time, when its own is damaged
    if (t.type == kAudio || t.type == kVideo) {
      Walker::Stream& s = t.type == kAudio ? w.audio : w.video;
      const std::int64_t asWritten = std::int64_t{t.time} + w.tsOffset;
      const bool back = s.seen && asWritten + kRestartMs < s.last;
      const bool ahead = w.anyTag && asWritten > w.maxOut + kGapMs;
      if (!w.joinPending && (back || ahead) && nextOnLine(pos, t)) {
        // The time leaps but the tag after it is back on the times before:
        // this tag's own time is damaged, not the recording's. It takes its
        // stream's next step, in a mark of its own below; the times after
        // it stay as they were.
        stray = s.seen ? s.last + s.step : w.maxOut;
        qCInfo(lcFlvReader) << "a tag's time out of line at byte" << pos << ":" << t.time
                            << "ms, given" << *stray << "ms";
        ++sum.strayTimes;
        w.needMark = true;
      } else if (w.joinPending) {
        w.tsOffset = w.end() - t.time;
        w.joinPending = false;
        w.needMark = true;
      } else if (back) {
        const std::int64_t continued = w.end();
        qCInfo(lcFlvReader) << "timestamps restart at byte" << pos << "from" << s.last << "ms to"
                            << t.time << "ms; continued from" << continued << "ms";
        w.tsOffset = continued - t.time;
        ++sum.restarts;
        w.needMark = true;
      }
      const std::int64_t out = stray ? *stray : std::int64_t{t.time} + w.tsOffset;
      if (!stray && w.anyTag && out > w.maxOut + kGapMs) {
        ++sum.gaps;
        qCInfo(lcFlvReader) << "timestamps leap" << (out - w.maxOut) << "ms forward at byte" << pos;
      }
      if (s.seen && out > s.last && out - s.last < kGapMs) s.step = out - s.last;
      s.seen = true;
      s.last = std::max(s.last, out);
      w.maxOut = std::max(w.maxOut, out);
      w.first = w.first < 0 ? out : std::min(w.first, out);
      if (!stray) w.lastSource = t.time;  // a damaged time says nothing of the next one's
      w.anyTag = true;
      (t.type == kAudio ? sum.hasAudio : sum.hasVideo) = true;
      if (t.type == kVideo && head) {
        const unsigned frameType = head[0] >> 4, codec = head[0] & 0x0f;
        // An AVC key frame is a picture, not the decoder's configuration.
        keyframe = frameType == 1 && (codec != 7 || (t.size >= 2 && head[1] == 1));
      }
    }
    if (w.needMark || keyframe || pos - w.lastMarkSrc >= kMarkStride) {
      const std::int64_t offset = stray ? *stray - std::int64_t{t.time} : w.tsOffset;
      const std::int64_t out = std::max<std::int64_t>(0, std::int64_t{t.time} + offset);
      pending.push_back({rel, pos, offset,
                         static_cast<std::uint32_t>(std::min<std::int64_t>(out, 0xffffffff)),
                         keyframe});
      if (keyframe) ++sum.keyframes;
      w.lastMarkSrc = pos;
      // The tag after a stray one goes back to the walk's own offset.
      w.needMark = stray.has_value();
    }
    rel += kTagOverhead + t.size;
    pos += kTagOverhead + t.size;
    if (++tagsSincePublish >= 64 || !prefixBuilt) {
      tagsSincePublish = 0;
      const bool opening = !prefixBuilt;
      publish(false);
      if (opening && prefixBuilt && rest_.count() > 0) rest();
    }
  }
  publish(true);
}

FlvReader::Prefix FlvReader::makePrefix(const std::vector<unsigned char>& original,
                                        std::uint64_t walkedBytes) const {
  std::vector<std::pair<double, std::uint64_t>> keys;
  Summary s;
  double lastKey = 0;
  {
    // The marks only grow: those listed are final.
    std::lock_guard lock(mutex_);
    // FFmpeg before 6.0 reads the index's times as whole seconds, cut
    // down, so 1.6 s reads as 1 s and a seek to 1.2 s started there, late.
    // Listed at their time rounded up (the first at 0), a key frame is
    // chosen only for targets at or after it, whichever way it is read; of
    // several within a second the last is kept.
    for (const Mark& m : marks_) {
      if (!m.keyframe) continue;
      lastKey = m.time / 1000.0;
      const double listed = keys.empty() ? 0.0 : std::ceil(m.time / 1000.0);
      if (!keys.empty() && keys.back().first == listed)
        keys.back().second = m.rel;
      else
        keys.emplace_back(listed, m.rel);
    }
    s = summary_;
  }
  double duration = s.duration;
  std::optional<std::vector<Amf0Member>> members;
  if (!original.empty()) members = onMetaDataMembers(original);
  if (!s.walked) {
    // The walk goes on: the length is an estimate until it ends, and the
    // engine hears the true one then. Never none: without it FFmpeg reads
    // the stream's end, which is not known yet.
    const std::optional<std::uint64_t> size = source_->size();
    double estimate = size ? duration * static_cast<double>(*size) /
                                 static_cast<double>(std::max<std::uint64_t>(walkedBytes, 1))
                           : duration;
    if (members)
      for (const Amf0Member& m : *members)
        if (m.key == "duration" && m.value.size() == 9 && m.value[0] == 0) {
          std::uint64_t bits = 0;
          for (int i = 1; i < 9; ++i) bits = (bits << 8) | m.value[i];
          const double own = std::bit_cast<double>(bits);
          if (std::isfinite(own) && own >= duration && own <= 2 * estimate + 1) estimate = own;
        }
    duration = std::max({duration, estimate, 1.0});
  }

  AmfOut meta;
  meta.u8(2);
  meta.key("onMetaData");
  meta.u8(8);
  std::uint32_t count = 1;
  meta.u32(0);  // patched below
  meta.key("duration");
  meta.number(duration);
  if (members)
    for (const Amf0Member& m : *members) {
      if (m.key.empty() || replacedField(m.key)) continue;
      meta.key(m.key);
      meta.b.insert(meta.b.end(), m.value.begin(), m.value.end());
      ++count;
    }
  meta.key("hasVideo");
  meta.boolean(s.hasVideo);
  meta.key("hasAudio");
  meta.boolean(s.hasAudio);
  count += 2;
  // FFmpeg wants two key frames at least; the positions are only known once
  // the tag's own size is, so they are written last.
  std::size_t positionsAt = 0;
  if (keys.size() >= 2) {
    meta.key("keyframes");
    meta.u8(3);
    meta.key("times");
    meta.u8(10);
    meta.u32(static_cast<std::uint32_t>(keys.size()));
    for (const auto& k : keys) meta.number(k.first);
    meta.key("filepositions");
    meta.u8(10);
    meta.u32(static_cast<std::uint32_t>(keys.size()));
    positionsAt = meta.b.size();
    for (std::size_t i = 0; i < keys.size(); ++i) meta.number(0);
    meta.end();
    ++count;
  }
  meta.end();
  const std::size_t countAt = 1 + 2 + 10 + 1;
  for (int i = 0; i < 4; ++i)
    meta.b[countAt + i] = static_cast<unsigned char>(count >> (24 - 8 * i));

  const auto dataSize = static_cast<std::uint32_t>(meta.b.size());
  const std::uint64_t base = kFileHeader + 4 + kTagOverhead + dataSize;
  if (positionsAt)
    for (std::size_t i = 0; i < keys.size(); ++i) {
      AmfOut n;
      n.number(static_cast<double>(base + keys[i].second));
      std::copy(n.b.begin(), n.b.end(),
                meta.b.begin() + static_cast<std::ptrdiff_t>(positionsAt + 9 * i));
    }

  AmfOut out;
  const unsigned flags = (s.hasAudio ? 4u : 0u) | (s.hasVideo ? 1u : 0u);
  out.b = {'F', 'L', 'V', 1, static_cast<unsigned char>(flags ? flags : 5u), 0, 0, 0, 9};
  out.u32(0);
  out.u8(kScript);
  out.u8(dataSize >> 16);
  out.u16(dataSize & 0xffff);
  out.u32(0);  // time 0 and its extension
  out.u8(0);
  out.u16(0);  // stream id
  out.b.insert(out.b.end(), meta.b.begin(), meta.b.end());
  out.u32(static_cast<std::uint32_t>(kTagHeader + dataSize));
  return {std::move(out.b), keys.size() >= 2 ? lastKey : 0.0};
}

std::int64_t FlvReader::read(std::uint64_t offset, std::span<unsigned char> out,
                             const std::atomic<bool>* cancel) {
  if (out.empty()) return 0;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return prefixReady_ || stopping_ || (cancel && *cancel); });
    if (!prefixReady_) return -1;
  }
  return read(*prefix_, offset, out, cancel);
}

std::int64_t FlvReader::read(const Prefix& prefix, std::uint64_t offset,
                             std::span<unsigned char> out, const std::atomic<bool>* cancel) {
  if (out.empty()) return 0;
  const std::vector<unsigned char>& head = prefix.bytes;
  if (offset < head.size()) {
    const std::size_t n = std::min<std::size_t>(out.size(), head.size() - offset);
    std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return static_cast<std::int64_t>(n);
  }
  return readTags(offset - head.size(), out, cancel);
}

std::int64_t FlvReader::readTags(std::uint64_t rel, std::span<unsigned char> out,
                                 const std::atomic<bool>* cancel) {
  Mark mark{};
  std::uint64_t segmentEnd = 0;
  {
    std::unique_lock lock(mutex_);
    const bool waits = walkedRel_ <= rel && !done_;
    if (waits) {
      ++waitingReads_;  // a resting walk is needed now
      changed_.notify_all();
    }
    changed_.wait(lock,
                  [&] { return walkedRel_ > rel || done_ || stopping_ || (cancel && *cancel); });
    if (waits) --waitingReads_;
    if (walkedRel_ <= rel) return done_ ? 0 : -1;
    const auto after = std::upper_bound(marks_.begin(), marks_.end(), rel,
                                        [](std::uint64_t r, const Mark& m) { return r < m.rel; });
    if (after == marks_.begin()) return -1;  // cannot happen: the first tag is a mark
    mark = *(after - 1);
    segmentEnd = after == marks_.end() ? walkedRel_ : after->rel;
  }
  // From the mark, tag by tag to the one holding rel, then copy out as much
  // of the segment as fits.
  std::uint64_t tagRel = mark.rel, src = mark.src;
  {
    // A demuxer reads on from where it stopped: start from the tag the last
    // read ended in rather than from the mark.
    std::lock_guard lock(cursorMutex_);
    if (cursor_.markRel == mark.rel && cursor_.tagRel <= rel && cursor_.tagRel >= mark.rel) {
      tagRel = cursor_.tagRel;
      src = cursor_.src;
    }
  }
  std::size_t written = 0;
  unsigned char h[kTagHeader];
  while (written < out.size() && tagRel < segmentEnd) {
    if (source_->readAt(src, h) != static_cast<std::int64_t>(kTagHeader)) break;
    const TagHeader t = parseTag(h);
    const std::uint64_t length = kTagOverhead + t.size;
    const std::uint64_t at = rel + written;
    if (at >= tagRel + length) {
      tagRel += length;
      src += length;
      continue;
    }
    std::uint64_t k = at - tagRel;  // within this tag
    if (k < kTagHeader) {
      const std::int64_t time =
          std::clamp<std::int64_t>(std::int64_t{t.time} + mark.tsOffset, 0, 0xffffffff);
      const unsigned char patched[kTagHeader] = {static_cast<unsigned char>(t.type),
                                                 h[1],
                                                 h[2],
                                                 h[3],
                                                 static_cast<unsigned char>(time >> 16),
                                                 static_cast<unsigned char>(time >> 8),
                                                 static_cast<unsigned char>(time),
                                                 static_cast<unsigned char>(time >> 24),
                                                 0,
                                                 0,
                                                 0};
      const std::size_t n = std::min<std::size_t>(kTagHeader - k, out.size() - written);
      std::copy_n(patched + k, n, out.begin() + static_cast<std::ptrdiff_t>(written));
      written += n;
      k += n;
    }
    if (written < out.size() && k >= kTagHeader && k < kTagHeader + t.size) {
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>(kTagHeader + t.size - k, out.size() - written));
      const std::int64_t got = source_->readAt(src + k, out.subspan(written, n));
      if (got <= 0) break;  // the disk failed since the walk: end here
      written += static_cast<std::size_t>(got);
      k += static_cast<std::uint64_t>(got);
      if (static_cast<std::size_t>(got) < n) continue;
    }
    if (written < out.size() && k >= kTagHeader + t.size) {
      unsigned char size[4];
      const std::uint32_t v = static_cast<std::uint32_t>(kTagHeader + t.size);
      for (int i = 0; i < 4; ++i) size[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
      const std::size_t from = static_cast<std::size_t>(k - kTagHeader - t.size);
      const std::size_t n = std::min<std::size_t>(4 - from, out.size() - written);
      std::copy_n(size + from, n, out.begin() + static_cast<std::ptrdiff_t>(written));
      written += n;
    }
  }
  {
    std::lock_guard lock(cursorMutex_);
    cursor_ = {mark.rel, tagRel, src};
  }
  if (written == 0) return -1;
  return static_cast<std::int64_t>(written);
}

}  // namespace quillet::player
