// The onMetaData reader, the key-frame lookup and the vseek address, on a
// real file written by ffmpeg and on hand-built bytes.
#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <limits>

#include "player/flv/FlvMetadata.h"
#include "tests/player_engine/FlvBytes.h"

namespace quillet::player {
namespace {

using testing::Amf;
using testing::Bytes;
using testing::flv;
using testing::metadataFile;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Bytes fileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray all = f.readAll();
  return Bytes(all.begin(), all.end());
}

// A typical metadata body with an index of three key frames.
Amf typicalBody() {
  Amf a;
  a.string("onMetaData").ecma(5);
  a.key("duration").number(12.5);
  a.key("width").number(320);
  a.key("height").number(240);
  a.key("keyframes").object();
  a.key("times").numbers({0, 4, 8.5});
  a.key("filepositions").numbers({400, 90000, 190000});
  a.end();
  a.key("encoder").string("Lavf");
  a.end();
  return a;
}

// --- a real file ---------------------------------------------------------

TEST(FlvMetadata, ReadsTheIndexFfmpegWritesAndItPointsAtKeyFrames) {
  const Bytes file = fileBytes(QUILLET_CLIP_DIR "/indexed.flv");
  if (file.empty()) GTEST_SKIP() << "clip not built (no ffmpeg)";

  const auto meta = readFlvMetadata(file);
  ASSERT_TRUE(meta);
  EXPECT_NEAR(meta->duration, 2.0, 0.1);
  EXPECT_EQ(meta->width, 160);
  EXPECT_EQ(meta->height, 120);
  const KeyframeIndex& index = meta->keyframes;
  ASSERT_EQ(index.times.size(), index.filePositions.size());
  ASSERT_GE(index.times.size(), 4u);  // a key frame every 10 frames at 25 per second
  // Each position is the start of a video tag holding a key frame, and the
  // times lie apart as those tags' time stamps do. Where the index starts
  // differs between ffmpeg versions (0 where the first video packet is at
  // 0.05 s, or 0.05 itself), so the first time is only bounded by that tag's.
  const auto tagSeconds = [&](std::size_t at) {
    return ((file[at + 7] << 24) | (file[at + 4] << 16) | (file[at + 5] << 8) | file[at + 6]) /
           1000.0;
  };
  const auto firstAt = static_cast<std::size_t>(index.filePositions.front());
  ASSERT_LT(firstAt + 11, file.size());
  EXPECT_GE(index.times.front(), 0);
  EXPECT_LE(index.times.front(), tagSeconds(firstAt) + 0.0005);
  for (std::size_t i = 0; i < index.times.size(); ++i) {
    const auto at = static_cast<std::size_t>(index.filePositions[i]);
    ASSERT_LT(at + 11, file.size());
    EXPECT_EQ(file[at], 9) << "video tag at " << at;
    EXPECT_EQ(file[at + 11] >> 4, 1) << "key frame at " << at;
    EXPECT_NEAR(index.times[i] - index.times.front(), tagSeconds(at) - tagSeconds(firstAt), 0.0005)
        << "time of the tag at " << at;
  }
  // The index starts at the file's first video tag.
  std::size_t firstVideo = 13;  // after the header and the first tag-size field
  while (firstVideo + 11 < file.size() && file[firstVideo] != 9)
    firstVideo +=
        15 + ((file[firstVideo + 1] << 16) | (file[firstVideo + 2] << 8) | file[firstVideo + 3]);
  EXPECT_EQ(static_cast<double>(firstVideo), index.filePositions.front());

  // The reader decides with exactly the bytes it says it needs.
  const std::size_t need = flvMetadataBytesNeeded(file);
  ASSERT_GT(need, 0u);
  ASSERT_LT(need, file.size());
  EXPECT_TRUE(readFlvMetadata(std::span(file).first(need)));
  EXPECT_FALSE(readFlvMetadata(std::span(file).first(need - 1)));
  EXPECT_EQ(flvMetadataBytesNeeded(std::span(file).first(need - 1)), need);
}

// --- hand-built metadata -------------------------------------------------

TEST(FlvMetadata, ReadsDurationSizeAndIndexFromAnEcmaArrayOrAnObject) {
  const auto meta = readFlvMetadata(metadataFile(typicalBody()));
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->duration, 12.5);
  EXPECT_EQ(meta->width, 320);
  EXPECT_EQ(meta->height, 240);
  EXPECT_EQ(meta->keyframes.times, (std::vector<double>{0, 4, 8.5}));
  EXPECT_EQ(meta->keyframes.filePositions, (std::vector<double>{400, 90000, 190000}));

  Amf asObject;
  asObject.string("onMetaData").object().key("duration").number(3).end();
  const auto fromObject = readFlvMetadata(metadataFile(asObject));
  ASSERT_TRUE(fromObject);
  EXPECT_EQ(fromObject->duration, 3);
  EXPECT_TRUE(fromObject->keyframes.times.empty());
}

TEST(FlvMetadata, SkipsEveryOtherKindOfValueOnTheWay) {
  Amf a;
  a.string("onMetaData").ecma(0);  // writers often leave the count at 0
  a.key("s").string("text");
  a.key("ls").longString(std::string(70000, 'x'));
  a.key("b").boolean(true);
  a.key("n").null();
  a.key("u").undefined();
  a.key("d").date(1.7e12);
  a.key("r").reference(0);
  a.key("x").unsupported();
  a.key("xml").xml("<a/>");
  a.key("nested").object().key("inner").ecma(1).key("deep").strict(3).null().string("y").boolean(
      false);
  a.end().end();
  a.key("typed").typedObject("Cls").key("f").number(1).end();
  a.key("duration").number(7);
  a.key("height").number(90);
  a.end();
  const auto meta = readFlvMetadata(metadataFile(a));
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->duration, 7);
  EXPECT_EQ(meta->height, 90);
}

TEST(FlvMetadata, FindsMetadataAfterOtherTagsAndOtherScriptData) {
  Amf cue;
  cue.string("onCuePoint").object().key("name").string("c").end();
  const Bytes file =
      flv({{8, Bytes(20, 0xAF)}, {18, cue.bytes}, {9, Bytes(30, 0x12)}, {18, typicalBody().bytes}});
  const auto meta = readFlvMetadata(file);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->duration, 12.5);

  // A tag type FLV does not have, or an encrypted one, ends the search.
  EXPECT_FALSE(readFlvMetadata(flv({{7, Bytes(4, 0)}, {18, typicalBody().bytes}})));
  EXPECT_FALSE(readFlvMetadata(flv({{18 | 0x20, typicalBody().bytes}})));
}

TEST(FlvMetadata, UnusableNumbersReadAsAbsent) {
  Amf a;
  a.string("onMetaData").ecma(3);
  a.key("duration").number(-5);
  a.key("width").number(1e12);
  a.key("height").number(kNaN);
  a.end();
  const auto meta = readFlvMetadata(metadataFile(a));
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->duration, 0);
  EXPECT_EQ(meta->width, 0);
  EXPECT_EQ(meta->height, 0);

  Amf wrongTypes;
  wrongTypes.string("onMetaData").ecma(2).key("duration").string("12").key("width").boolean(true);
  wrongTypes.end();
  const auto typed = readFlvMetadata(metadataFile(wrongTypes));
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->duration, 0);
  EXPECT_EQ(typed->width, 0);
}

// An index that cannot be trusted is dropped; the rest of the metadata stays.
TEST(FlvMetadata, DropsAnIndexThatCannotBeTrusted) {
  const auto indexFrom = [](auto&& fill) {
    Amf a;
    a.string("onMetaData").ecma(2).key("duration").number(9).key("keyframes").object();
    fill(a);
    a.end().end();
    return readFlvMetadata(metadataFile(a));
  };
  const auto lengthsDiffer = indexFrom([](Amf& a) {
    a.key("times").numbers({0, 1});
    a.key("filepositions").numbers({100});
  });
  const auto notNumbers = indexFrom([](Amf& a) {
    a.key("times").strict(2).number(0).string("1");
    a.key("filepositions").numbers({100, 200});
  });
  const auto unsorted = indexFrom([](Amf& a) {
    a.key("times").numbers({0, 5, 2});
    a.key("filepositions").numbers({100, 200, 300});
  });
  const auto negativePosition = indexFrom([](Amf& a) {
    a.key("times").numbers({0, 1});
    a.key("filepositions").numbers({100, -1});
  });
  const auto onlyTimes = indexFrom([](Amf& a) { a.key("times").numbers({0, 1}); });
  for (const auto& meta : {lengthsDiffer, notNumbers, unsorted, negativePosition, onlyTimes}) {
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->duration, 9);
    EXPECT_TRUE(meta->keyframes.times.empty());
    EXPECT_TRUE(meta->keyframes.filePositions.empty());
  }
}

TEST(FlvMetadata, RefusesWhatIsNotAnFlvWithMetadata) {
  const Bytes good = metadataFile(typicalBody());
  ASSERT_TRUE(readFlvMetadata(good));

  const auto changed = [&](std::size_t at, unsigned char value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  const Bytes notFlv = changed(0, 'G');
  const Bytes version2 = changed(3, 2);
  const Bytes offsetTooSmall = changed(8, 8);
  const Bytes offsetHuge = changed(5, 0x40);
  for (const Bytes& b : {notFlv, version2, offsetTooSmall, offsetHuge}) {
    EXPECT_FALSE(readFlvMetadata(b));
    EXPECT_EQ(flvMetadataBytesNeeded(b), 0u);
  }
  EXPECT_FALSE(readFlvMetadata(Bytes{}));
  EXPECT_FALSE(readFlvMetadata(Bytes{'%', 'P', 'D', 'F'}));

  Amf otherName;
  otherName.string("onTextData").ecma(0).end();
  EXPECT_FALSE(readFlvMetadata(metadataFile(otherName)));
  Amf notAMap;
  notAMap.string("onMetaData").number(1);
  EXPECT_FALSE(readFlvMetadata(metadataFile(notAMap)));
}

TEST(FlvMetadata, RefusesMalformedAmf) {
  const auto body = [](auto&& fill) {
    Amf a;
    a.string("onMetaData").ecma(1);
    fill(a);
    return metadataFile(a);
  };
  // No end marker before the tag ends.
  EXPECT_FALSE(readFlvMetadata(body([](Amf& a) { a.key("duration").number(1); })));
  // Markers that have no place in metadata: movie clip, record set, AMF3.
  for (unsigned marker : {4u, 14u, 17u, 200u})
    EXPECT_FALSE(readFlvMetadata(body([&](Amf& a) { a.key("v").u8(marker).end(); })));
  // An object end where a value belongs.
  EXPECT_FALSE(readFlvMetadata(body([](Amf& a) { a.key("v").u8(9).end(); })));
  // Lengths beyond the data, without allocating for them.
  EXPECT_FALSE(readFlvMetadata(body([](Amf& a) { a.key("v").strict(0xFFFFFFFF).null(); })));
  EXPECT_FALSE(readFlvMetadata(body([](Amf& a) { a.key("v").u8(12).u32(1000).raw("ab").end(); })));
  EXPECT_FALSE(readFlvMetadata(body([](Amf& a) { a.key("v").u8(2).u16(1000).raw("ab").end(); })));
  EXPECT_FALSE(readFlvMetadata(
      body([](Amf& a) { a.key("keyframes").object().key("times").strict(0x7FFFFFFF).number(1); })));
}

TEST(FlvMetadata, BoundsNesting) {
  const auto nested = [](int depth) {
    Amf a;
    a.string("onMetaData").ecma(1);
    for (int i = 0; i < depth; ++i) a.key("o").object();
    a.key("duration").number(1);
    for (int i = 0; i < depth; ++i) a.end();
    a.key("width").number(64).end();
    return metadataFile(a);
  };
  const auto shallow = readFlvMetadata(nested(20));
  ASSERT_TRUE(shallow);
  EXPECT_EQ(shallow->width, 64);
  EXPECT_FALSE(readFlvMetadata(nested(100000)));  // refused, not a stack overflow

  Amf arrays;
  arrays.string("onMetaData").ecma(1);
  arrays.key("a");
  for (int i = 0; i < 100000; ++i) arrays.strict(1);
  arrays.null().end();
  EXPECT_FALSE(readFlvMetadata(metadataFile(arrays)));
}

TEST(FlvMetadata, EveryTruncationIsRefusedAndAsksForMore) {
  const Bytes good = flv({{9, Bytes(25, 0x17)}, {18, typicalBody().bytes}});
  const std::size_t need = flvMetadataBytesNeeded(good);
  ASSERT_EQ(need, good.size() - 4);  // up to the metadata tag's end, not its size field
  for (std::size_t n = 0; n < need; ++n) {
    const auto head = std::span(good).first(n);
    EXPECT_FALSE(readFlvMetadata(head)) << n;
    const std::size_t more = flvMetadataBytesNeeded(head);
    EXPECT_GT(more, n) << n;
    EXPECT_LE(more, need) << n;
  }
}

// --- key-frame lookup and the vseek address ------------------------------

TEST(KeyframeAtOrBefore, FindsTheLastKeyFrameNotAfterTheTarget) {
  const KeyframeIndex index{{0, 2, 4, 4, 6}, {100, 2000, 4000, 4100, 6000}};
  const auto at = [&](double t) { return keyframeAtOrBefore(index, t); };
  ASSERT_TRUE(at(3.9));
  EXPECT_EQ(at(3.9)->time, 2);
  EXPECT_EQ(at(3.9)->filePosition, 2000);
  EXPECT_EQ(at(2)->filePosition, 2000);  // exactly on one
  EXPECT_EQ(at(4)->filePosition, 4100);  // the last of equal times
  EXPECT_EQ(at(0)->filePosition, 100);
  EXPECT_EQ(at(1000)->filePosition, 6000);  // beyond the end: the last
  EXPECT_EQ(at(-3)->filePosition, 100);     // before the start: the first

  const KeyframeIndex lateStart{{0.5, 1.5}, {300, 900}};
  EXPECT_EQ(keyframeAtOrBefore(lateStart, 0.2)->time, 0.5);
}

TEST(KeyframeAtOrBefore, NothingForAnEmptyOrMalformedIndexOrTarget) {
  EXPECT_FALSE(keyframeAtOrBefore({}, 1));
  EXPECT_FALSE(keyframeAtOrBefore({{0, 1}, {100}}, 1));
  EXPECT_FALSE(keyframeAtOrBefore({{0, 3, 1}, {1, 2, 3}}, 2));
  EXPECT_FALSE(keyframeAtOrBefore({{0, kNaN}, {1, 2}}, 2));
  EXPECT_FALSE(keyframeAtOrBefore({{0, 1}, {100, 200}}, kNaN));
}

TEST(VseekAddress, AppendsTheNameAndTheWholeBytePosition) {
  EXPECT_EQ(vseekAddress("http://media.example.com/v.flv", "start", 190000),
            "http://media.example.com/v.flv?start=190000");
  EXPECT_EQ(vseekAddress("http://h/v.flv", "pos", 1234.9), "http://h/v.flv?pos=1234");
  EXPECT_EQ(vseekAddress("http://h/v.flv", "pos", 5e9), "http://h/v.flv?pos=5000000000");
  EXPECT_EQ(vseekAddress("http://h/v.flv", "pos", -7), "http://h/v.flv?pos=0");
  EXPECT_EQ(vseekAddress("http://h/v.flv", "pos", kNaN), "http://h/v.flv?pos=0");
}

}  // namespace
}  // namespace quillet::player
