// The FLV reader on hand-built tag streams: each repair, some together, and
// input that is no FLV at all.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

#include "FlvBytes.h"
#include "player/flv/FlvMetadata.h"
#include "player/flv/FlvReader.h"

namespace quillet::player {
namespace {

using testing::Amf;
using testing::Bytes;

// Bytes in memory; reads beyond `failAt` fail as a bad sector would, and
// reads beyond `gate` wait until it opens.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(Bytes b) : bytes_(std::move(b)) {}
  std::int64_t readAt(std::uint64_t offset, std::span<unsigned char> out) override {
    {
      std::unique_lock lock(mutex_);
      opened_.wait(lock, [&] { return offset < gate_ || cancelled_; });
      if (offset >= gate_) return -1;
    }
    if (offset >= failAt_) return -1;
    if (offset >= bytes_.size()) return 0;
    const std::size_t n =
        std::min<std::size_t>(out.size(), std::min<std::uint64_t>(bytes_.size(), failAt_) - offset);
    std::memcpy(out.data(), bytes_.data() + offset, n);
    return static_cast<std::int64_t>(n);
  }
  std::optional<std::uint64_t> size() const override { return bytes_.size(); }
  void openGate() { setGate(UINT64_MAX); }
  void setGate(std::uint64_t at) {
    std::lock_guard lock(mutex_);
    gate_ = at;
    opened_.notify_all();
  }
  void cancel() override {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    opened_.notify_all();
  }

  std::uint64_t failAt_ = UINT64_MAX;
  std::uint64_t gate_ = UINT64_MAX;

 private:
  Bytes bytes_;
  std::mutex mutex_;
  std::condition_variable opened_;
  bool cancelled_ = false;
};

// One tag as the builder writes it.
struct T {
  unsigned type;
  std::uint32_t ms;
  Bytes data;
};

T video(std::uint32_t ms, bool key, unsigned char fill = 0x55) {
  Bytes d{static_cast<unsigned char>(key ? 0x12 : 0x22)};  // Sorenson H.263
  d.resize(40 + ms % 23, fill);
  return {9, ms, d};
}
T audio(std::uint32_t ms) {
  Bytes d{0x2e};  // MP3
  d.resize(20 + ms % 7, static_cast<unsigned char>(ms));
  return {8, ms, d};
}
T metadata(double duration) {
  Amf a;
  a.string("onMetaData").ecma(3);
  a.key("duration").number(duration);
  a.key("width").number(320);
  a.key("title").string("Clip");
  a.end();
  return {18, 0, a.bytes};
}

enum class Sizes { kRight, kFourTooLarge, kZero };

Bytes header() {
  return {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
}

void append(Bytes& out, const T& t, Sizes sizes = Sizes::kRight) {
  const auto n = static_cast<std::uint32_t>(t.data.size());
  const unsigned char h[11] = {static_cast<unsigned char>(t.type),
                               static_cast<unsigned char>(n >> 16),
                               static_cast<unsigned char>(n >> 8),
                               static_cast<unsigned char>(n),
                               static_cast<unsigned char>(t.ms >> 16),
                               static_cast<unsigned char>(t.ms >> 8),
                               static_cast<unsigned char>(t.ms),
                               static_cast<unsigned char>(t.ms >> 24),
                               0,
                               0,
                               0};
  out.insert(out.end(), h, h + 11);
  out.insert(out.end(), t.data.begin(), t.data.end());
  const std::uint32_t p =
      sizes == Sizes::kZero ? 0 : n + 11 + (sizes == Sizes::kFourTooLarge ? 4 : 0);
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(p >> s));
}

// A clip: a 25 fps video with a key frame each second, sound every 26 ms.
std::vector<T> clip(std::uint32_t fromMs, std::uint32_t toMs) {
  std::vector<T> tags;
  std::uint32_t a = fromMs;
  for (std::uint32_t v = fromMs; v < toMs; v += 40) {
    for (; a <= v; a += 26) tags.push_back(audio(a));
    tags.push_back(video(v, (v - fromMs) % 1000 == 0));
  }
  return tags;
}

Bytes file(const std::vector<T>& tags, Sizes sizes = Sizes::kRight, bool withMetadata = true) {
  Bytes out = header();
  if (withMetadata) append(out, metadata(60), sizes);
  for (const T& t : tags) append(out, t, sizes);
  return out;
}

struct Parsed {
  bool ok = true;       // header and every PreviousTagSize right
  std::vector<T> tags;  // audio and video, as repaired
  std::vector<std::uint64_t> positions;
  int scripts = 0;
  std::optional<FlvMetadata> meta;
};

Parsed bad() {
  Parsed p;
  p.ok = false;
  return p;
}

// Reads the repaired stream the way a demuxer trusting every field would.
Parsed parse(const Bytes& s) {
  Parsed p;
  if (s.size() < 13 || s[0] != 'F' || s[8] != 9) return bad();
  p.meta = readFlvMetadata(s);
  std::size_t pos = 13;
  std::uint32_t previous = 0;
  if (s[9] || s[10] || s[11] || s[12]) p.ok = false;
  while (pos + 11 <= s.size()) {
    const std::uint32_t n = (s[pos + 1] << 16) | (s[pos + 2] << 8) | s[pos + 3];
    const std::uint32_t ms =
        (s[pos + 4] << 16) | (s[pos + 5] << 8) | s[pos + 6] | (s[pos + 7] << 24);
    if (pos + 15 + n > s.size()) return bad();
    const std::uint32_t pts = (s[pos + 11 + n] << 24) | (s[pos + 12 + n] << 16) |
                              (s[pos + 13 + n] << 8) | s[pos + 14 + n];
    if (pts != n + 11) p.ok = false;
    previous = pts;
    if (s[pos] == 18) {
      ++p.scripts;
    } else {
      p.tags.push_back({s[pos], ms, Bytes(s.begin() + pos + 11, s.begin() + pos + 11 + n)});
      p.positions.push_back(pos);
    }
    pos += 15 + n;
  }
  if (pos != s.size()) p.ok = false;
  (void)previous;
  return p;
}

// Waits (the walk is on its own thread) until done() holds or 10 s passed.
bool within10s(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

Bytes readAll(FlvReader& r, std::size_t chunk = 4096) {
  Bytes out;
  Bytes buffer(chunk);
  for (int guard = 0; guard < 1000000; ++guard) {
    const std::int64_t n = r.read(out.size(), buffer);
    if (n <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

struct Result {
  Bytes stream;
  Parsed parsed;
  FlvReader::Summary summary;
};

Result repair(Bytes in) {
  auto reader = FlvReader::start(std::make_unique<MemorySource>(std::move(in)));
  Result r;
  r.stream = readAll(*reader);
  r.parsed = parse(r.stream);
  r.summary = reader->summary();
  EXPECT_EQ(reader->streamSize(), r.stream.size());
  return r;
}

std::vector<std::uint32_t> times(const std::vector<T>& tags) {
  std::vector<std::uint32_t> out;
  for (const T& t : tags) out.push_back(t.ms);
  return out;
}

TEST(FlvReader, AHealthyFileKeepsEveryTagAndGainsTrueLengthAndIndex) {
  const std::vector<T> tags = clip(0, 3000);
  const Result r = repair(file(tags));
  ASSERT_TRUE(r.parsed.ok);
  ASSERT_EQ(r.parsed.tags.size(), tags.size());
  for (std::size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(r.parsed.tags[i].ms, tags[i].ms);
    EXPECT_EQ(r.parsed.tags[i].data, tags[i].data) << i;
  }
  EXPECT_EQ(r.parsed.scripts, 1);  // ours, in place of the file's
  ASSERT_TRUE(r.parsed.meta);
  EXPECT_NEAR(r.parsed.meta->duration, 3.0, 0.03);  // not the file's 60 s
  EXPECT_EQ(r.parsed.meta->width, 320);             // the file's other fields stay
  EXPECT_TRUE(r.summary.walked && r.summary.hasAudio && r.summary.hasVideo);
  // The index: each key frame's time, and its position in the repaired stream.
  const KeyframeIndex& k = r.parsed.meta->keyframes;
  ASSERT_EQ(k.times.size(), 3u);
  for (std::size_t i = 0; i < k.times.size(); ++i) {
    EXPECT_DOUBLE_EQ(k.times[i], double(i));
    const auto at = std::find(r.parsed.positions.begin(), r.parsed.positions.end(),
                              std::uint64_t(k.filePositions[i]));
    ASSERT_NE(at, r.parsed.positions.end()) << "no tag at " << k.filePositions[i];
    const T& tag = r.parsed.tags[at - r.parsed.positions.begin()];
    EXPECT_EQ(tag.type, 9u);
    EXPECT_EQ(tag.data[0] >> 4, 1) << "not a key frame";
  }
  EXPECT_EQ(r.stream[4], 5);  // audio and video, as found

  // Key frames between whole seconds: each second lists the last key frame
  // at or before it, so that a seek never starts after its target, however
  // the demuxer rounds the times.
  // The frames are large, and their bytes look like key frames' headers.
  std::vector<T> often;
  for (std::uint32_t v = 50; v < 3000; v += 40) {
    often.push_back(video(v, (v - 50) % 400 == 0, 0x12));
    often.back().data.resize(20000 + v, 0x12);
  }
  const Result o = repair(file(often));
  const KeyframeIndex& ko = o.parsed.meta->keyframes;
  ASSERT_EQ(ko.times, (std::vector<double>{0, 1, 2, 3}));
  std::vector<std::uint32_t> keyTimes;
  for (const T& t : o.parsed.tags)
    if (t.data[0] >> 4 == 1) keyTimes.push_back(t.ms);
  for (std::size_t i = 0; i < ko.times.size(); ++i) {
    const auto at = std::find(o.parsed.positions.begin(), o.parsed.positions.end(),
                              std::uint64_t(ko.filePositions[i]));
    ASSERT_NE(at, o.parsed.positions.end());
    const std::uint32_t real = o.parsed.tags[at - o.parsed.positions.begin()].ms;
    const double listed = std::max(ko.times[i] * 1000, 50.0);
    EXPECT_LE(real, listed);
    const auto next = std::upper_bound(keyTimes.begin(), keyTimes.end(), real);
    if (next != keyTimes.end()) {
      EXPECT_GT(*next, listed) << "a later key frame fits " << listed;
    }
  }
}

TEST(FlvReader, WrongSizesHeaderFlagsAndMissingMetadataGiveTheSameStream) {
  const std::vector<T> tags = clip(0, 2000);
  const Result right = repair(file(tags));
  for (Sizes s : {Sizes::kFourTooLarge, Sizes::kZero}) {
    const Result r = repair(file(tags, s));
    EXPECT_TRUE(r.parsed.ok);
    EXPECT_EQ(r.stream, right.stream);
  }
  // The header's flags tell FFmpeg which streams to wait for: they become
  // what the tags hold, whatever the header said.
  for (const unsigned char said : {0x00, 0x01, 0x04, 0xff}) {
    Bytes lying = file(tags);
    lying[4] = said;
    EXPECT_EQ(repair(lying).stream, right.stream) << "header flags " << int(said);
  }
  std::vector<T> pictures;
  std::copy_if(tags.begin(), tags.end(), std::back_inserter(pictures),
               [](const T& t) { return t.type == 9; });
  const Result silent = repair(file(pictures));
  EXPECT_EQ(silent.stream[4], 1) << "a file without sound said to have it";
  EXPECT_FALSE(silent.summary.hasAudio);
  // Without an onMetaData the reader writes one of its own.
  const Result bare = repair(file(tags, Sizes::kZero, false));
  ASSERT_TRUE(bare.parsed.ok && bare.parsed.meta);
  EXPECT_NEAR(bare.parsed.meta->duration, 2.0, 0.03);
  EXPECT_EQ(bare.parsed.tags.size(), tags.size());
  EXPECT_EQ(bare.parsed.meta->keyframes.times.size(), 2u);
  // A writer that put its onMetaData after the first tags: its fields stay,
  // in the one onMetaData at the front.
  Bytes lateMeta = header();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i == 3) append(lateMeta, metadata(60));
    append(lateMeta, tags[i]);
  }
  const Result moved = repair(lateMeta);
  ASSERT_TRUE(moved.parsed.ok && moved.parsed.meta);
  EXPECT_EQ(moved.parsed.scripts, 1);
  EXPECT_EQ(moved.parsed.meta->width, 320);
  EXPECT_NEAR(moved.parsed.meta->duration, 2.0, 0.03);
  EXPECT_EQ(moved.parsed.tags.size(), tags.size());
  // A recording that starts an hour in: its length is what it spans, its
  // times stay as written.
  const Result late = repair(file(clip(3600000, 3602000)));
  EXPECT_NEAR(late.parsed.meta->duration, 2.0, 0.03);
  ASSERT_FALSE(late.parsed.tags.empty());
  EXPECT_EQ(late.parsed.tags.front().ms, 3600000u);
}

TEST(FlvReader, JoinedFilesAndRestartsGoOnForwardsAndGapsStay) {
  // Two files joined with cat, the second with its own metadata; then the
  // recorder restarts at 0 within the second part; then a 5 s gap.
  Bytes in = file(clip(0, 2000), Sizes::kFourTooLarge);
  const Bytes second = file(clip(0, 1000));
  in.insert(in.end(), second.begin(), second.end());
  for (const T& t : clip(0, 1000)) append(in, t);
  for (const T& t : clip(6000, 7000)) append(in, t);
  const Result r = repair(in);
  ASSERT_TRUE(r.parsed.ok);
  EXPECT_EQ(r.summary.joins, 1);
  EXPECT_EQ(r.summary.restarts, 1);
  EXPECT_EQ(r.summary.gaps, 1);
  EXPECT_EQ(r.parsed.scripts, 1);
  ASSERT_EQ(r.parsed.tags.size(), clip(0, 2000).size() + 3 * clip(0, 1000).size());
  // Every stream's timestamps only go forwards, and the parts follow each
  // other a frame apart.
  std::uint32_t lastVideo = 0;
  for (const T& t : r.parsed.tags)
    if (t.type == 9) {
      EXPECT_GE(t.ms, lastVideo);
      lastVideo = t.ms;
    }
  EXPECT_NEAR(r.parsed.meta->duration, 2.0 + 1.0 + 1.0 + 6.0, 0.1);
  EXPECT_NEAR(r.summary.duration, r.parsed.meta->duration, 0.001);
  // The key frames of every part are in the index, in order.
  EXPECT_EQ(r.parsed.meta->keyframes.times.size(), 2u + 1u + 1u + 1u);
  EXPECT_TRUE(
      std::is_sorted(r.parsed.meta->keyframes.times.begin(), r.parsed.meta->keyframes.times.end()));
}

// A tag whose time alone is damaged (its extended byte, or zeros) while
// the tags around it agree is neither a gap nor a restart: it gets its
// stream's next step, and nothing after it moves.
TEST(FlvReader, ALoneTagWithADamagedTimeIsMendedAlone) {
  const std::vector<T> tags = clip(0, 3000);
  const Result right = repair(file(tags));
  struct Damage {
    unsigned type;
    std::uint32_t at, becomes;
  };
  for (const Damage d : {Damage{9, 1040, 1040 + (1u << 24)}, Damage{9, 2000, 0},
                         Damage{8, 1508, 1508 + 3600000}, Damage{8, 2002, 0}}) {
    std::vector<T> damaged = tags;
    const auto hit = std::find_if(damaged.begin(), damaged.end(),
                                  [&](const T& t) { return t.type == d.type && t.ms == d.at; });
    ASSERT_NE(hit, damaged.end()) << d.at;
    hit->ms = d.becomes;
    const Result r = repair(file(damaged));
    EXPECT_EQ(r.summary.strayTimes, 1) << d.at;
    EXPECT_EQ(r.summary.restarts + r.summary.gaps, 0) << d.at;
    EXPECT_NEAR(r.parsed.meta->duration, right.parsed.meta->duration, 0.001) << d.at;
    ASSERT_EQ(r.parsed.tags.size(), tags.size());
    // The frame before it and its stream's step: the clip's own time again.
    for (std::size_t i = 0; i < tags.size(); ++i)
      EXPECT_EQ(r.parsed.tags[i].ms, tags[i].ms) << "tag " << i << ", damage at " << d.at;
  }
  // Two tags out of line are no lone damage: a gap and a restart, as before.
  std::vector<T> two = tags;
  for (T& t : two)
    if (t.ms >= 1000 && t.ms < 1060) t.ms += 3600000;
  const Result r = repair(file(two));
  EXPECT_EQ(r.summary.strayTimes, 0);
  EXPECT_EQ(r.summary.gaps, 1);
}

TEST(FlvReader, DamagedBytesAreSkippedToTheNextTag) {
  const std::vector<T> tags = clip(0, 2000);
  for (const bool noise : {false, true}) {
    Bytes in = header();
    std::mt19937 random(7);
    for (std::size_t i = 0; i < tags.size(); ++i) {
      append(in, tags[i], Sizes::kZero);
      if (i == 10 || i == 40) {  // a bad sector: zeros or noise
        for (int k = 0; k < 700; ++k)
          in.push_back(noise ? static_cast<unsigned char>(random()) : 0);
      }
    }
    const Result r = repair(in);
    EXPECT_TRUE(r.parsed.ok);
    EXPECT_EQ(r.summary.resyncs, 2);
    EXPECT_EQ(times(r.parsed.tags), times(tags)) << (noise ? "noise" : "zeros");
  }
  // Damage inside a tag's header (a size far too large): that tag is lost,
  // the rest stays.
  Bytes in = header();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const std::size_t at = in.size();
    append(in, tags[i]);
    if (i == 20) in[at + 1] = 0x7f;
  }
  const Result r = repair(in);
  EXPECT_TRUE(r.parsed.ok);
  EXPECT_EQ(r.parsed.tags.size(), tags.size() - 1);
}

TEST(FlvReader, BadInputEndsCleanly) {
  const Bytes whole = file(clip(0, 2000));
  // Cut anywhere: the tags before the cut, never more, never a hang.
  for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(12), std::size_t(20),
                          whole.size() / 2, whole.size() - 1}) {
    const Result r = repair(Bytes(whole.begin(), whole.begin() + cut));
    if (!r.stream.empty()) {
      EXPECT_TRUE(r.parsed.ok) << cut;
    }
    EXPECT_LE(r.stream.size(), whole.size() + 200) << cut;
  }
  // A cut halfway keeps a true length of its own.
  const Result half = repair(Bytes(whole.begin(), whole.begin() + whole.size() / 2));
  EXPECT_NEAR(half.parsed.meta->duration, 1.0, 0.1);
  // A read error from the disk mid-file: played up to it, like a cut file.
  auto failing = std::make_unique<MemorySource>(whole);
  failing->failAt_ = whole.size() / 2;
  auto reader = FlvReader::start(std::move(failing));
  const Parsed p = parse(readAll(*reader));
  EXPECT_TRUE(p.ok);
  EXPECT_NEAR(reader->summary().duration, 1.0, 0.1);
  // Garbage of every kind: finishes, and nothing it says overflows.
  std::mt19937 random(3);
  for (int round = 0; round < 50; ++round) {
    Bytes junk = header();
    junk.resize(13 + random() % 5000);
    for (std::size_t i = 13; i < junk.size(); ++i)
      junk[i] = static_cast<unsigned char>(round % 2 ? random() % 20 : random());
    const Result r = repair(junk);
    if (!r.stream.empty()) {
      EXPECT_TRUE(r.parsed.ok);
    }
  }
}

TEST(FlvReader, ReadsAnywhereMatchTheWholeStream) {
  Bytes in = file(clip(0, 4000), Sizes::kZero);
  in.insert(in.begin() + 2000, 300, 0);  // damage, so that the stream is not the file
  auto reader = FlvReader::start(std::make_unique<MemorySource>(in));
  const Bytes whole = readAll(*reader);
  std::mt19937 random(11);
  for (int i = 0; i < 300; ++i) {
    const std::size_t at = random() % whole.size();
    Bytes part(1 + random() % 3000);
    const std::int64_t n = reader->read(at, part);
    ASSERT_GT(n, 0);
    ASSERT_TRUE(std::equal(part.begin(), part.begin() + n, whole.begin() + at)) << at;
  }
  Bytes tail(10);
  EXPECT_EQ(reader->read(whole.size(), tail), 0);
}

TEST(FlvReader, AHugeFileBeginsBeforeItsWalkEnds) {
  // Past the first part the source blocks: the stream's start and an
  // estimated length must come anyway, the true one once the walk is done.
  std::vector<T> tags = clip(0, 400000);
  for (T& t : tags)
    if (t.type == 9) t.data.resize(1000, 0x33);
  Bytes in = file(tags);
  ASSERT_GT(in.size(), 2 * FlvReader::kOpenWalkBytes);
  auto source = std::make_unique<MemorySource>(in);
  MemorySource* gate = source.get();
  gate->gate_ = FlvReader::kOpenWalkBytes + (256u << 10);
  auto reader = FlvReader::start(std::move(source));
  Bytes head(64u << 10);
  for (std::size_t got = 0; got < head.size();) {
    const std::int64_t n = reader->read(got, std::span(head).subspan(got));
    ASSERT_GT(n, 0);
    got += std::size_t(n);
  }
  const std::optional<FlvMetadata> meta = readFlvMetadata(head);
  ASSERT_TRUE(meta);
  EXPECT_FALSE(reader->summary().walked);
  EXPECT_FALSE(reader->streamSize());
  EXPECT_GT(meta->duration, 100.0);  // an estimate, never nothing
  std::mutex m;
  std::condition_variable cv;
  std::optional<double> walked;
  reader->whenWalked([&](const FlvReader::Summary& s) {
    std::lock_guard lock(m);
    walked = s.duration;
    cv.notify_all();
  });
  gate->openGate();
  std::unique_lock lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return walked.has_value(); }));
  EXPECT_NEAR(*walked, 400.0, 0.05);
}

// Past its first part, a walk given a rest stays there while the player
// opens, and goes on when told to, when a read needs bytes beyond it, or when
// someone waits for a time beyond it; a reader that goes ends its rest.
TEST(FlvReader, RestsAfterItsFirstPartUntilItIsNeeded) {
  std::vector<T> tags = clip(0, 200000);
  for (T& t : tags)
    if (t.type == 9) t.data.resize(1000, 0x44);
  const Bytes in = file(tags);
  const std::uint64_t first = 64u << 10;
  const auto resting = [&] {
    auto r = FlvReader::start(std::make_unique<MemorySource>(in), first, std::chrono::hours(1));
    EXPECT_TRUE(within10s([&] { return r->prefix() != nullptr; }));
    return r;
  };

  auto told = resting();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(told->summary().walked);
  EXPECT_LT(told->summary().duration, 30) << "walked on during its rest";
  told->walkOn();
  EXPECT_TRUE(within10s([&] { return told->summary().walked; }));

  auto read = resting();
  std::atomic<std::int64_t> got = 0;
  std::thread far([&] {
    Bytes buffer(100);
    got = read->read(read->prefix()->bytes.size() + in.size() * 9 / 10, buffer);
  });
  EXPECT_TRUE(within10s([&] { return got != 0; })) << "a read beyond the walk waits for ever";
  if (got == 0) read->walkOn();
  far.join();
  EXPECT_EQ(got, 100);

  auto wished = resting();
  std::atomic<bool> there = false;
  wished->whenWalkedTo(150, [&] { there = true; });
  EXPECT_TRUE(within10s([&] { return there.load(); }));

  auto gone = resting();
  const auto before = std::chrono::steady_clock::now();
  gone.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
}

// A seek far beyond the index the stream began with reopens it after a
// newer prefix: the same tags must follow it, and its index must lead to
// key frames of that stream, as far as the walk has come.
TEST(FlvReader, AReindexedPrefixListsEveryKeyFrameWalkedBeforeTheSameTags) {
  std::vector<T> tags = clip(0, 400000);
  for (T& t : tags)
    if (t.type == 9) t.data.resize(1000, 0x44);
  Bytes in = file(tags);
  ASSERT_GT(in.size(), 2 * FlvReader::kOpenWalkBytes);
  auto source = std::make_unique<MemorySource>(in);
  MemorySource* gate = source.get();
  gate->gate_ = FlvReader::kOpenWalkBytes + (256u << 10);
  auto reader = FlvReader::start(std::move(source));
  Bytes head(1);
  ASSERT_EQ(reader->read(0, head), 1);  // the stream's own prefix is ready
  const std::shared_ptr<const FlvReader::Prefix> own = reader->prefix();
  ASSERT_TRUE(own);
  EXPECT_GT(own->indexedUntil, 10.0);
  EXPECT_LT(own->indexedUntil, 200.0) << "the first walk cannot have listed more";
  gate->openGate();
  const Bytes original = readAll(*reader, 1 << 16);
  ASSERT_TRUE(reader->summary().walked);

  const std::shared_ptr<const FlvReader::Prefix> again = reader->reindexed();
  ASSERT_TRUE(again);
  EXPECT_NEAR(again->indexedUntil, 399.0, 1e-9);  // the last key frame
  Bytes stream;
  Bytes buffer(1 << 16);
  for (;;) {
    const std::int64_t n = reader->read(*again, stream.size(), buffer);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
  }
  EXPECT_EQ(reader->streamSize(*again), stream.size());
  const Parsed first = parse(original), second = parse(stream);
  ASSERT_TRUE(first.ok && second.ok);
  ASSERT_EQ(second.tags.size(), first.tags.size());
  for (std::size_t i = 0; i < first.tags.size(); i += 97) {
    EXPECT_EQ(second.tags[i].ms, first.tags[i].ms);
    EXPECT_EQ(second.tags[i].data, first.tags[i].data);
  }
  ASSERT_TRUE(second.meta);
  EXPECT_NEAR(second.meta->duration, 400.0, 0.05);  // the true length by now
  const KeyframeIndex& k = second.meta->keyframes;
  ASSERT_EQ(k.times.size(), 400u);
  for (std::size_t i = 0; i < k.times.size(); i += 13) {
    const auto at = std::find(second.positions.begin(), second.positions.end(),
                              std::uint64_t(k.filePositions[i]));
    ASSERT_NE(at, second.positions.end()) << "no tag at " << k.filePositions[i];
    const T& tag = second.tags[at - second.positions.begin()];
    EXPECT_EQ(tag.type, 9u);
    EXPECT_EQ(tag.data[0] >> 4, 1) << "not a key frame";
    EXPECT_EQ(tag.ms, std::uint32_t(k.times[i] * 1000));
  }
  // Random reads through the new prefix match its whole stream.
  std::mt19937 random(5);
  for (int i = 0; i < 100; ++i) {
    const std::size_t at = random() % stream.size();
    Bytes part(1 + random() % 5000);
    const std::int64_t n = reader->read(*again, at, part);
    ASSERT_GT(n, 0);
    ASSERT_TRUE(std::equal(part.begin(), part.begin() + n, stream.begin() + at)) << at;
  }
}

// The walk tells when it has got as far as a time: once, then; at once when
// it is there already; never for a wish replaced before; at its end for a
// time it never reaches; and not at all once its reader is gone.
TEST(FlvReader, TellsWhenItsWalkHasGotToATime) {
  // Reads that begin before the gate go on past it: some 2.5 s of these tags
  // in a chunk.
  const auto tags = [](std::uint32_t toMs) {
    std::vector<T> t = clip(0, toMs);
    for (T& v : t)
      if (v.type == 9) v.data.resize(1000, 0x66);
    return t;
  };
  const Bytes in = file(tags(200000));
  auto source = std::make_unique<MemorySource>(in);
  MemorySource* gate = source.get();
  gate->gate_ = file(tags(60000)).size();  // the walk waits there, as for a download
  auto reader = FlvReader::start(std::move(source), 64u << 10);
  ASSERT_TRUE(within10s([&] { return reader->summary().duration > 55; }));

  std::atomic<int> replaced = 0, wanted = 0, last = 0;
  auto token = std::make_shared<int>(0);
  reader->whenWalkedTo(80, [&, token] { ++replaced; });
  reader->whenWalkedTo(100, [&] { ++wanted; });
  EXPECT_EQ(token.use_count(), 1) << "the replaced wish is still held";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(wanted, 0) << "told before the walk got there";

  gate->setGate(file(tags(150000)).size());
  ASSERT_TRUE(within10s([&] { return wanted > 0; })) << "never told";
  const FlvReader::Summary at = reader->summary();
  EXPECT_FALSE(at.walked);
  EXPECT_GE(at.duration, 100);
  EXPECT_LT(at.duration, 160);

  const std::thread::id here = std::this_thread::get_id();
  std::thread::id told;
  reader->whenWalkedTo(90, [&] { told = std::this_thread::get_id(); });
  EXPECT_EQ(told, here) << "not told at once";

  // Pending when the reader goes: never called, and let go.
  reader->whenWalkedTo(190, [&, token] { ++last; });
  EXPECT_EQ(token.use_count(), 2);
  reader.reset();
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(wanted, 1);
  EXPECT_EQ(replaced, 0);

  // A time beyond the file's end: told when the walk ends.
  auto whole = FlvReader::start(std::make_unique<MemorySource>(file(clip(0, 5000))));
  std::atomic<int> ended = 0;
  whole->whenWalkedTo(1e9, [&] { ++ended; });
  ASSERT_TRUE(within10s([&] { return ended > 0; }));
  EXPECT_TRUE(whole->summary().walked);
  EXPECT_EQ(ended, 1);
}

// The walk's own reader of a local file reads that file, even once another
// file has taken its name.
TEST(FileByteSource, AnotherOneReadsTheSameFileAfterItsNameIsTaken) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("clip.flv"), other = dir.filePath("other.flv");
  const Bytes first = file(clip(0, 2000));
  const auto write = [](const QString& to, const Bytes& b) {
    QFile f(to);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size())) == qint64(b.size());
  };
  ASSERT_TRUE(write(path, first));
  auto source = FileByteSource::open(QFile::encodeName(path).toStdString());
  ASSERT_TRUE(source);
  ASSERT_TRUE(write(other, Bytes(first.size() * 2, 0x77)));
  ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()),
            0);

  const std::unique_ptr<ByteSource> another = source->another();
  ASSERT_TRUE(another);
  EXPECT_EQ(another->size(), first.size());
  Bytes got(first.size() + 10);
  EXPECT_EQ(another->readAt(0, got), std::int64_t(first.size()));
  got.resize(first.size());
  EXPECT_EQ(got, first);
}

}  // namespace
}  // namespace quillet::player
