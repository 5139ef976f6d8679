#pragma once
// Quillet's own FLV reader. It walks a file's tags by their DataSize and
// serves a repaired copy of the file as a byte stream, which FFmpeg's FLV
// demuxer then reads (through libmpv's stream callbacks, see
// player/engine/FlvStreams.*). The repair is only in this stream; the
// file is never written.
//
// Interface:
//   auto reader = FlvReader::start(std::move(source));   // walks on a thread
//   reader->read(offset, buffer, &cancel);  // the repaired stream, any thread
//   reader->streamSize();                   // known once the walk is done
//   reader->summary();                      // what the walk found so far
//   reader->whenWalked(fn);                 // fn once the whole file is walked
//   reader->whenWalkedTo(seconds, fn);      // fn once the walk has got that far
//   reader->walkOn();                       // ends the walk's rest, see start()
//
// What the repaired stream holds:
//   - a new header whose audio/video flags say what tags were found;
//   - an onMetaData of the reader's own in place of the file's first one
//     (its other fields kept): the true duration and a key-frame index with
//     positions in the repaired stream; later onMetaData tags are dropped;
//   - every tag that was found, with each PreviousTagSize the real size of
//     the tag before it;
//   - joined files: a second FLV header is dropped and the timestamps go on
//     from the end of the part before; timestamps that jump backwards (a
//     recorder restart) go on forwards too; forward gaps stay as written;
//   - damaged bytes are skipped up to the next plausible tag.
// The walk goes as far as kOpenWalkBytes (or the caller's bound) before the
// stream's first bytes are served, may rest while the player opens, and goes
// on behind playback; a read beyond the walked part waits for the walk to get
// there. Until the walk
// ends, onMetaData's duration is an estimate; whenWalked tells the true one.
// Memory grows with the number of key frames (and a mark per 256 KiB),
// never with the file held in memory.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "player/flv/ByteSource.h"

namespace quillet::player {

class FlvReader {
 public:
  // How much of the file is walked before the stream begins: small enough
  // that a huge file starts as quickly as a small one.
  static constexpr std::uint64_t kOpenWalkBytes = 4u << 20;

  struct Summary {
    double duration = 0;  // seconds of the tags walked (the true length once walked)
    bool walked = false;  // the whole file is walked
    bool hasAudio = false, hasVideo = false;
    std::size_t keyframes = 0;  // video key frames found
    int joins = 0;              // further FLV headers dropped
    int restarts = 0;           // backward timestamp jumps continued forwards
    int gaps = 0;               // forward timestamp gaps (left as written)
    int strayTimes = 0;         // lone tags whose own time was out of line
    int resyncs = 0;            // damaged stretches skipped
    int droppedTags = 0;        // tags left out: later onMetaData
  };

  // openWalkBytes: how far to walk before the stream begins (a download
  // may want less, since the walk waits for its bytes). rest: how long the
  // walk then rests at most, so that the rest of a huge file's walk does not
  // take the disk and the CPU from the player while it opens; a read beyond
  // the walked part, a whenWalkedTo wish or walkOn() end the rest sooner.
  static std::shared_ptr<FlvReader> start(std::unique_ptr<ByteSource> source,
                                          std::uint64_t openWalkBytes = kOpenWalkBytes,
                                          std::chrono::milliseconds rest = {});
  ~FlvReader();
  FlvReader(const FlvReader&) = delete;
  FlvReader& operator=(const FlvReader&) = delete;

  // What comes before the first tag: the header, the onMetaData of our own
  // and its PreviousTagSize. Another one of the same tags can be made later,
  // whose index lists every key frame walked by then.
  struct Prefix {
    std::vector<unsigned char> bytes;
    double indexedUntil = 0;  // seconds: the last key frame its index lists
  };

  // Reads the repaired stream at offset; waits for the walk where needed.
  // The count read, 0 at the end, negative on a read error or when cancel
  // becomes true (checked while waiting).
  std::int64_t read(std::uint64_t offset, std::span<unsigned char> out,
                    const std::atomic<bool>* cancel = nullptr);
  // The same tags after another prefix (one of reindexed()'s).
  std::int64_t read(const Prefix& prefix, std::uint64_t offset, std::span<unsigned char> out,
                    const std::atomic<bool>* cancel = nullptr);
  // The repaired stream's size, once the whole file is walked.
  std::optional<std::uint64_t> streamSize() const;
  std::optional<std::uint64_t> streamSize(const Prefix& prefix) const;
  // The stream's own prefix; null until its first bytes can be served.
  std::shared_ptr<const Prefix> prefix() const;
  // A new prefix, its index as far as the walk has come: a stream that
  // begins with it finds far key frames without reading up to them. Null
  // until the stream's own prefix is ready.
  std::shared_ptr<const Prefix> reindexed() const;
  Summary summary() const;
  // Calls fn (with the final summary) once the walk is done: at once on
  // this thread when it is, else from the walking thread. A new call
  // replaces the last fn; nullptr forgets it, and so does the reader going
  // before the walk is done.
  void whenWalked(std::function<void(const Summary&)> fn);
  // Calls fn once the walk has passed `seconds` of tags (its summary's
  // duration) or has ended: at once on this thread when it has, else from
  // the walking thread, where it should only hand the news on (the reader
  // is locked). One wish at a time: a new call replaces the last one, which
  // is then never called; nullptr forgets it, and so does the reader's end.
  void whenWalkedTo(double seconds, std::function<void()> fn);
  // Ends the walk's rest (the player has opened); nothing when it has none.
  void walkOn();
  // Stops whatever waits in read() (libmpv's cancel).
  void wakeWaiters();

 private:
  struct Mark;
  struct Walker;
  FlvReader(std::unique_ptr<ByteSource> source, std::uint64_t openWalkBytes,
            std::chrono::milliseconds rest);
  void walk();
  void rest();
  std::int64_t readTags(std::uint64_t rel, std::span<unsigned char> out,
                        const std::atomic<bool>* cancel);
  Prefix makePrefix(const std::vector<unsigned char>& original, std::uint64_t walkedBytes) const;

  std::unique_ptr<ByteSource> source_;
  const std::uint64_t openWalkBytes_;
  const std::chrono::milliseconds rest_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_.
  std::vector<Mark> marks_;
  std::uint64_t walkedRel_ = 0;          // repaired tag bytes known, from the first tag
  std::uint64_t walkedSrc_ = 0;          // the file's bytes walked
  std::vector<unsigned char> metadata_;  // the file's first onMetaData data, once found
  bool prefixReady_ = false;
  bool done_ = false;
  bool stopping_ = false;
  bool resting_ = true;  // until the rest is over: see start()
  int waitingReads_ = 0;
  Summary summary_;
  std::function<void(const Summary&)> onWalked_;
  double wishSeconds_ = 0;
  std::function<void()> onWalkedTo_;
  // Where the last read ended: its mark, and the tag it ended in.
  struct Cursor {
    std::uint64_t markRel = UINT64_MAX, tagRel = 0, src = 0;
  };
  std::mutex cursorMutex_;
  Cursor cursor_;
  // Written once before prefixReady_, read-only afterwards.
  std::shared_ptr<const Prefix> prefix_;
  std::thread thread_;
};

}  // namespace quillet::player
