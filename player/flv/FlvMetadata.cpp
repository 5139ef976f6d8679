#include "player/flv/FlvMetadata.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace quillet::player {

namespace {

// The file's first bytes arrive from disks and servers we do not control, so
// every length is checked against what is there, recursion is bounded and
// anything that does not follow the format is refused.

constexpr std::size_t kFileHeaderSize = 9;
constexpr std::size_t kTagHeaderSize = 11;
constexpr std::size_t kPreviousTagSizeField = 4;
// The header is 9 bytes in every FLV version there is; a far larger offset is
// garbage, not an extension.
constexpr std::uint32_t kMaxDataOffset = 1024;
// Writers put onMetaData first; a few put it after a handful of tags.
constexpr int kMaxTagsBeforeMetadata = 16;
constexpr int kMaxDepth = 32;

constexpr unsigned kAudioTag = 8;
constexpr unsigned kVideoTag = 9;
constexpr unsigned kScriptTag = 18;

constexpr std::string_view kOnMetaData = "onMetaData";

enum Amf0Marker : unsigned char {
  kNumber = 0,
  kBoolean = 1,
  kString = 2,
  kObject = 3,
  kNull = 5,
  kUndefined = 6,
  kReference = 7,
  kEcmaArray = 8,
  kObjectEnd = 9,
  kStrictArray = 10,
  kDate = 11,
  kLongString = 12,
  kUnsupported = 13,
  kXmlDocument = 15,
  kTypedObject = 16,
};

std::uint32_t be24(std::span<const unsigned char> d, std::size_t at) {
  return (std::uint32_t{d[at]} << 16) | (std::uint32_t{d[at + 1]} << 8) | d[at + 2];
}

std::uint32_t be32(std::span<const unsigned char> d, std::size_t at) {
  return (std::uint32_t{d[at]} << 24) | be24(d, at + 1);
}

// A cursor over AMF0 data that never reads past its end. Every read returns
// false on running out of data; the caller gives up at once.
class Amf0Reader {
 public:
  explicit Amf0Reader(std::span<const unsigned char> data) : d_(data) {}

  std::size_t remaining() const { return d_.size() - pos_; }
  std::size_t position() const { return pos_; }

  bool u8(unsigned& v) {
    if (remaining() < 1) return false;
    v = d_[pos_++];
    return true;
  }
  bool u16(std::uint32_t& v) {
    if (remaining() < 2) return false;
    v = (std::uint32_t{d_[pos_]} << 8) | d_[pos_ + 1];
    pos_ += 2;
    return true;
  }
  bool u32(std::uint32_t& v) {
    if (remaining() < 4) return false;
    v = be32(d_, pos_);
    pos_ += 4;
    return true;
  }
  bool number(double& v) {
    if (remaining() < 8) return false;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | d_[pos_ + i];
    pos_ += 8;
    v = std::bit_cast<double>(bits);
    return true;
  }
  bool skip(std::size_t n) {
    if (remaining() < n) return false;
    pos_ += n;
    return true;
  }
  bool text(std::size_t n, std::string_view& v) {
    if (remaining() < n) return false;
    v = std::string_view(reinterpret_cast<const char*>(d_.data() + pos_), n);
    pos_ += n;
    return true;
  }
  // A short string without its marker: object keys and string values.
  bool shortString(std::string_view& v) {
    std::uint32_t n = 0;
    return u16(n) && text(n, v);
  }

  // Skips one value whose marker has been read, checking its form.
  bool skipValue(unsigned marker, int depth) {
    if (depth > kMaxDepth) return false;
    std::uint32_t n = 0;
    std::string_view ignored;
    switch (marker) {
      case kNumber:
        return skip(8);
      case kBoolean:
        return skip(1);
      case kString:
        return shortString(ignored);
      case kObject:
        return skipMembers(depth);
      case kNull:
      case kUndefined:
      case kUnsupported:
        return true;
      case kReference:
        return skip(2);
      case kEcmaArray:
        return u32(n) && skipMembers(depth);  // the count is advisory; the end marker counts
      case kStrictArray:
        if (!u32(n) || n > remaining()) return false;  // each value takes a byte at least
        for (std::uint32_t i = 0; i < n; ++i) {
          unsigned m = 0;
          if (!u8(m) || !skipValue(m, depth + 1)) return false;
        }
        return true;
      case kDate:
        return skip(8 + 2);  // milliseconds, then a time zone nobody uses
      case kLongString:
      case kXmlDocument:
        return u32(n) && skip(n);
      case kTypedObject:
        return shortString(ignored) && skipMembers(depth);
      default:  // movie clip, record set, AMF3 switch, object end out of place, unknown
        return false;
    }
  }

  // The members of an object or ECMA array, up to and including the end
  // marker (an empty key followed by 9).
  bool skipMembers(int depth) {
    for (;;) {
      std::string_view key;
      unsigned marker = 0;
      if (!shortString(key) || !u8(marker)) return false;
      if (key.empty() && marker == kObjectEnd) return true;
      if (!skipValue(marker, depth + 1)) return false;
    }
  }

 private:
  std::span<const unsigned char> d_;
  std::size_t pos_ = 0;
};

// Where the first onMetaData script tag's data lies, or how many bytes are
// needed to find out.
struct Location {
  enum Kind { kNone, kNeedMore, kFound } kind = kNone;
  std::size_t need = 0;   // kNeedMore: bytes the head must hold
  std::size_t begin = 0;  // kFound: the tag's data
  std::size_t size = 0;
};

bool namesOnMetaData(std::span<const unsigned char> data) {
  Amf0Reader r(data);
  unsigned marker = 0;
  std::string_view name;
  if (!r.u8(marker)) return false;
  if (marker == kString) return r.shortString(name) && name == kOnMetaData;
  std::uint32_t n = 0;
  return marker == kLongString && r.u32(n) && r.text(n, name) && name == kOnMetaData;
}

Location locateMetadata(std::span<const unsigned char> head) {
  static constexpr unsigned char kSignature[] = {'F', 'L', 'V', 1};
  const std::size_t known = std::min(head.size(), std::size(kSignature));
  if (!std::equal(head.begin(), head.begin() + known, kSignature)) return {};
  if (head.size() < kFileHeaderSize) return {Location::kNeedMore, kFileHeaderSize};
  const std::uint32_t dataOffset = be32(head, 5);
  if (dataOffset < kFileHeaderSize || dataOffset > kMaxDataOffset) return {};

  std::size_t pos = std::size_t{dataOffset} + kPreviousTagSizeField;
  for (int i = 0; i < kMaxTagsBeforeMetadata; ++i) {
    if (head.size() < pos + kTagHeaderSize) return {Location::kNeedMore, pos + kTagHeaderSize};
    const unsigned type = head[pos];
    const std::size_t size = be24(head, pos + 1);
    const std::size_t dataBegin = pos + kTagHeaderSize;
    if (type == kScriptTag) {
      if (head.size() < dataBegin + size) return {Location::kNeedMore, dataBegin + size};
      if (namesOnMetaData(head.subspan(dataBegin, size)))
        return {Location::kFound, 0, dataBegin, size};
    } else if (type != kAudioTag && type != kVideoTag) {
      return {};  // unknown or encrypted (filter bit 0x20) tags: nothing we can trust follows
    }
    pos = dataBegin + size + kPreviousTagSizeField;
  }
  return {};
}

bool usable(double v) {
  return std::isfinite(v) && v >= 0;
}

int pixels(double v) {
  // Sizes beyond anything FLV can carry are garbage, not a video size.
  return usable(v) && v <= 65535 ? static_cast<int>(std::lround(v)) : 0;
}

bool wellFormed(const KeyframeIndex& index) {
  if (index.times.size() != index.filePositions.size()) return false;
  if (!std::all_of(index.times.begin(), index.times.end(), usable)) return false;
  if (!std::all_of(index.filePositions.begin(), index.filePositions.end(), usable)) return false;
  return std::is_sorted(index.times.begin(), index.times.end());
}

// Reads a strict array of numbers. False when malformed; `allNumbers` says
// whether every element was a number (else the array is of no use to us).
bool readNumbers(Amf0Reader& r, int depth, std::vector<double>& out, bool& allNumbers) {
  std::uint32_t n = 0;
  if (!r.u32(n) || n > r.remaining()) return false;
  out.clear();
  out.reserve(n);
  allNumbers = true;
  for (std::uint32_t i = 0; i < n; ++i) {
    unsigned marker = 0;
    if (!r.u8(marker)) return false;
    if (marker == kNumber) {
      double v = 0;
      if (!r.number(v)) return false;
      out.push_back(v);
    } else {
      allNumbers = false;
      if (!r.skipValue(marker, depth + 1)) return false;
    }
  }
  return true;
}

// The members of `keyframes`: `times` and `filepositions`, both strict arrays
// of numbers; anything else there is skipped.
bool readKeyframes(Amf0Reader& r, int depth, KeyframeIndex& index) {
  if (depth > kMaxDepth) return false;
  bool timesOk = false, positionsOk = false;
  for (;;) {
    std::string_view key;
    unsigned marker = 0;
    if (!r.shortString(key) || !r.u8(marker)) return false;
    if (key.empty() && marker == kObjectEnd) break;
    if (key == "times" && marker == kStrictArray) {
      if (!readNumbers(r, depth, index.times, timesOk)) return false;
    } else if (key == "filepositions" && marker == kStrictArray) {
      if (!readNumbers(r, depth, index.filePositions, positionsOk)) return false;
    } else if (!r.skipValue(marker, depth + 1)) {
      return false;
    }
  }
  if (!timesOk || !positionsOk || !wellFormed(index)) index = {};
  return true;
}

std::optional<FlvMetadata> parseOnMetaData(std::span<const unsigned char> data) {
  Amf0Reader r(data);
  unsigned marker = 0;
  std::string_view name;
  std::uint32_t n = 0;
  if (!r.u8(marker)) return std::nullopt;
  if (marker == kString ? !r.shortString(name)
                        : !(marker == kLongString && r.u32(n) && r.text(n, name)))
    return std::nullopt;
  if (name != kOnMetaData || !r.u8(marker)) return std::nullopt;
  if (marker == kEcmaArray) {
    if (!r.u32(n)) return std::nullopt;
  } else if (marker != kObject) {
    return std::nullopt;
  }

  FlvMetadata meta;
  constexpr int depth = 1;
  for (;;) {
    std::string_view key;
    if (!r.shortString(key) || !r.u8(marker)) return std::nullopt;
    if (key.empty() && marker == kObjectEnd) break;
    double v = 0;
    if (marker == kNumber && (key == "duration" || key == "width" || key == "height")) {
      if (!r.number(v)) return std::nullopt;
      if (key == "duration") meta.duration = usable(v) ? v : 0;
      if (key == "width") meta.width = pixels(v);
      if (key == "height") meta.height = pixels(v);
    } else if (key == "keyframes" && (marker == kObject || marker == kEcmaArray)) {
      meta.keyframes = {};
      if (marker == kEcmaArray && !r.u32(n)) return std::nullopt;
      if (!readKeyframes(r, depth + 1, meta.keyframes)) return std::nullopt;
    } else if (!r.skipValue(marker, depth + 1)) {
      return std::nullopt;
    }
  }
  return meta;
}

}  // namespace

std::optional<std::vector<Amf0Member>> onMetaDataMembers(std::span<const unsigned char> data) {
  Amf0Reader r(data);
  unsigned marker = 0;
  std::string_view name;
  std::uint32_t n = 0;
  if (!r.u8(marker) || marker != kString || !r.shortString(name) || name != kOnMetaData ||
      !r.u8(marker))
    return std::nullopt;
  if (marker == kEcmaArray) {
    if (!r.u32(n)) return std::nullopt;
  } else if (marker != kObject) {
    return std::nullopt;
  }
  std::vector<Amf0Member> members;
  for (;;) {
    std::string_view key;
    if (!r.shortString(key)) return std::nullopt;
    const std::size_t begin = r.position();
    if (!r.u8(marker)) return std::nullopt;
    if (key.empty() && marker == kObjectEnd) return members;
    if (!r.skipValue(marker, 1)) return std::nullopt;
    members.push_back({std::string(key), data.subspan(begin, r.position() - begin)});
  }
}

std::size_t flvMetadataBytesNeeded(std::span<const unsigned char> fileStart) {
  const Location at = locateMetadata(fileStart);
  switch (at.kind) {
    case Location::kNeedMore:
      return at.need;
    case Location::kFound:
      return at.begin + at.size;
    case Location::kNone:
      break;
  }
  return 0;
}

std::optional<FlvMetadata> readFlvMetadata(std::span<const unsigned char> fileStart) {
  const Location at = locateMetadata(fileStart);
  if (at.kind != Location::kFound) return std::nullopt;
  return parseOnMetaData(fileStart.subspan(at.begin, at.size));
}

std::optional<SeekPoint> keyframeAtOrBefore(const KeyframeIndex& index, double seconds) {
  if (index.times.empty() || std::isnan(seconds) || !wellFormed(index)) return std::nullopt;
  const auto after = std::upper_bound(index.times.begin(), index.times.end(), seconds);
  // A target before the first key frame starts at the first one: there is
  // nothing earlier to start from.
  const auto i = after == index.times.begin() ? 0 : (after - index.times.begin()) - 1;
  return SeekPoint{index.times[i], index.filePositions[i]};
}

QString vseekAddress(const QString& flv, const QString& vseekName, double filePosition) {
  // Byte positions are whole numbers; anything unusable reads as the start.
  constexpr double kLargest = 9007199254740992.0;  // 2^53: every integer below is exact
  const double position = usable(filePosition) ? std::min(std::floor(filePosition), kLargest) : 0;
  return flv + QLatin1Char('?') + vseekName + QLatin1Char('=') +
         QString::number(static_cast<qint64>(position));
}

}  // namespace quillet::player
