#include "player/movie/MovieFile.h"

#include <zlib.h>

#include <QFile>
#include <QFileInfo>
#include <vector>

namespace quillet::player {

namespace {

constexpr int kMinVersion = 7;
constexpr int kMaxVersion = 10;
// Sprites inside sprites: real movies nest a few levels; refuse deep chains.
constexpr int kMaxSpriteDepth = 16;

enum TagCode : int {
  kEnd = 0,
  kShowFrame = 1,
  kPlaceObject2 = 26,
  kDefineSprite = 39,
};

// Reads unsigned and signed bit fields, most significant bit first, and
// little-endian integers; every read past the end fails.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  bool atEnd() const { return pos_ >= data_.size(); }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool ok() const { return ok_; }

  std::uint32_t bits(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      if (pos_ >= data_.size()) {
        ok_ = false;
        return 0;
      }
      const int bit = (data_[pos_] >> (7 - bit_)) & 1;
      v = (v << 1) | static_cast<std::uint32_t>(bit);
      if (++bit_ == 8) {
        bit_ = 0;
        ++pos_;
      }
    }
    return v;
  }
  std::int32_t signedBits(int n) {
    if (n == 0) return 0;
    const std::uint32_t v = bits(n);
    if (n < 32 && (v & (1u << (n - 1)))) return static_cast<std::int32_t>(v | (~0u << n));
    return static_cast<std::int32_t>(v);
  }
  void align() {
    if (bit_ != 0) {
      bit_ = 0;
      ++pos_;
    }
  }
  std::uint8_t u8() {
    align();
    if (remaining() < 1) return fail();
    return data_[pos_++];
  }
  std::uint16_t u16() {
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint32_t u32() {
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }
  std::span<const std::uint8_t> take(std::size_t n) {
    align();
    if (remaining() < n) {
      fail();
      return {};
    }
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  // A NUL-terminated string, read as UTF-8.
  std::optional<QString> string() {
    align();
    for (std::size_t i = pos_; i < data_.size(); ++i) {
      if (data_[i] == 0) {
        const auto text = QString::fromUtf8(reinterpret_cast<const char*>(data_.data() + pos_),
                                            static_cast<qsizetype>(i - pos_));
        pos_ = i + 1;
        return text;
      }
    }
    fail();
    return std::nullopt;
  }

 private:
  std::uint8_t fail() {
    ok_ = false;
    pos_ = data_.size();
    return 0;
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  int bit_ = 0;
  bool ok_ = true;
};

bool skipMatrix(Reader& r) {
  if (r.bits(1)) {  // scale
    const int n = static_cast<int>(r.bits(5));
    r.bits(n);
    r.bits(n);
  }
  if (r.bits(1)) {  // rotate / skew
    const int n = static_cast<int>(r.bits(5));
    r.bits(n);
    r.bits(n);
  }
  const int n = static_cast<int>(r.bits(5));  // translate
  r.bits(n);
  r.bits(n);
  r.align();
  return r.ok();
}

bool skipColorTransformWithAlpha(Reader& r) {
  const bool add = r.bits(1);
  const bool mult = r.bits(1);
  const int n = static_cast<int>(r.bits(4));
  if (mult) r.bits(4 * n);
  if (add) r.bits(4 * n);
  r.align();
  return r.ok();
}

// PlaceObject2: flags, depth, then optional fields in a fixed order; only the
// name matters here, and it comes before the clip depth and the actions.
bool readPlaceObject2(std::span<const std::uint8_t> body, MovieInfo& info) {
  Reader r(body);
  const std::uint8_t flags = r.u8();
  r.u16();                    // depth
  if (flags & 0x02) r.u16();  // character id
  if ((flags & 0x04) && !skipMatrix(r)) return false;
  if ((flags & 0x08) && !skipColorTransformWithAlpha(r)) return false;
  if (flags & 0x10) r.u16();  // ratio
  if (flags & 0x20) {
    auto name = r.string();
    if (!name) return false;
    info.instanceNames.insert(*name);
  }
  return r.ok();
}

// A tag stream that must end with the End tag exactly at its last byte.
bool readTags(std::span<const std::uint8_t> data, MovieInfo& info, int depth) {
  if (depth > kMaxSpriteDepth) return false;
  Reader r(data);
  while (!r.atEnd()) {
    const std::uint16_t header = r.u16();
    const int code = header >> 6;
    std::uint32_t length = header & 0x3f;
    if (length == 0x3f) length = r.u32();
    if (!r.ok() || length > r.remaining()) return false;
    const auto body = r.take(length);
    switch (code) {
      case kEnd:
        return length == 0 && r.atEnd();
      case kPlaceObject2:
        if (!readPlaceObject2(body, info)) return false;
        break;
      case kDefineSprite: {
        if (body.size() < 4) return false;
        if (!readTags(body.subspan(4), info, depth + 1)) return false;
        break;
      }
      default:
        break;
    }
  }
  return false;  // no End tag
}

// Inflates exactly `expected` bytes; a stream that is shorter, longer,
// corrupt, or followed by more data is refused.
std::optional<std::vector<std::uint8_t>> inflateExactly(std::span<const std::uint8_t> in,
                                                        std::size_t expected) {
  std::vector<std::uint8_t> out(expected);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const bool whole = rc == Z_STREAM_END && z.avail_out == 0 && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  return out;
}

}  // namespace

std::optional<MovieInfo> parseMovie(std::span<const std::uint8_t> file) {
  if (file.size() < 8 || file.size() > kMaxMovieBytes) return std::nullopt;
  MovieInfo info;
  if (file[1] != 'W' || file[2] != 'S') return std::nullopt;
  if (file[0] == 'C') {
    info.compressed = true;
  } else if (file[0] != 'F') {
    return std::nullopt;
  }
  info.version = file[3];
  if (info.version < kMinVersion || info.version > kMaxVersion) return std::nullopt;
  info.length = static_cast<std::uint32_t>(file[4]) | (static_cast<std::uint32_t>(file[5]) << 8) |
                (static_cast<std::uint32_t>(file[6]) << 16) |
                (static_cast<std::uint32_t>(file[7]) << 24);
  if (info.length < 8 || info.length > kMaxMovieBytes) return std::nullopt;

  std::vector<std::uint8_t> inflated;
  std::span<const std::uint8_t> body;
  if (info.compressed) {
    auto out = inflateExactly(file.subspan(8), info.length - 8);
    if (!out) return std::nullopt;
    inflated = std::move(*out);
    body = inflated;
  } else {
    if (file.size() != info.length) return std::nullopt;
    body = file.subspan(8);
  }

  Reader r(body);
  const int nbits = static_cast<int>(r.bits(5));
  info.xMin = r.signedBits(nbits);
  info.xMax = r.signedBits(nbits);
  info.yMin = r.signedBits(nbits);
  info.yMax = r.signedBits(nbits);
  r.align();
  const std::uint16_t rate = r.u16();
  info.frameRate = rate / 256.0;
  info.frameCount = r.u16();
  if (!r.ok() || info.xMax <= info.xMin || info.yMax <= info.yMin || info.frameCount < 1) {
    return std::nullopt;
  }
  const auto headerSize = body.size() - r.remaining();
  if (!readTags(body.subspan(headerSize), info, 0)) return std::nullopt;
  return info;
}

bool isPlayerMovie(const MovieInfo& movie) {
  for (const char* name : kPlayerPartNames) {
    if (!movie.instanceNames.contains(QString::fromLatin1(name))) return false;
  }
  return true;
}

std::optional<MovieInfo> readPlayerMovie(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  const QFileInfo fileInfo(path);
  // Only regular files: a pipe or a device could block or never end.
  if (!fileInfo.isFile() || fileInfo.size() > kMaxMovieBytes) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.read(qint64{kMaxMovieBytes} + 1);
  if (bytes.size() > static_cast<qsizetype>(kMaxMovieBytes)) return std::nullopt;
  auto movie = parseMovie(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size())));
  if (!movie || !isPlayerMovie(*movie)) return std::nullopt;
  return movie;
}

}  // namespace quillet::player
