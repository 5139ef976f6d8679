// Writes Quillet's player movie: a compressed SWF 7 file ("CWS") whose stage
// is 400 by 300 pixels at 30 frames per second with five frames and a white
// background, and whose tag stream places the player's parts under their
// instance names. The player component checks these names before it runs.
//
//   make_player_movie <output.swf>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kTwips = 20;  // per pixel
constexpr int kStageWidth = 400;
constexpr int kStageHeight = 300;
constexpr int kFrameCount = 5;
constexpr int kBarHeight = 27;

// Bit fields most significant bit first, then byte-aligned integers.
class Writer {
 public:
  void bits(std::uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bit_ == 0) out_.push_back(0);
      if ((value >> i) & 1) out_.back() |= static_cast<std::uint8_t>(0x80 >> bit_);
      bit_ = (bit_ + 1) % 8;
    }
  }
  void signedBits(std::int32_t value, int n) { bits(static_cast<std::uint32_t>(value), n); }
  void align() { bit_ = 0; }
  void u8(std::uint8_t v) {
    align();
    out_.push_back(v);
  }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v & 0xff));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v & 0xffff));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void bytes(const Bytes& b) {
    align();
    out_.insert(out_.end(), b.begin(), b.end());
  }
  void string(const std::string& s) {
    align();
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
  }
  Bytes take() {
    align();
    return std::move(out_);
  }

 private:
  Bytes out_;
  int bit_ = 0;
};

// Bits needed for signed values.
int signedWidth(std::initializer_list<std::int32_t> values) {
  int n = 1;
  for (std::int32_t v : values) {
    while (!(v >= -(1 << (n - 1)) && v < (1 << (n - 1)))) ++n;
  }
  return n;
}

void rect(Writer& w, int xMin, int xMax, int yMin, int yMax) {
  const int n = signedWidth({xMin, xMax, yMin, yMax});
  w.bits(static_cast<std::uint32_t>(n), 5);
  w.signedBits(xMin, n);
  w.signedBits(xMax, n);
  w.signedBits(yMin, n);
  w.signedBits(yMax, n);
  w.align();
}

void tag(Writer& w, int code, const Bytes& body) {
  if (body.size() < 0x3f) {
    w.u16(static_cast<std::uint16_t>((code << 6) | static_cast<int>(body.size())));
  } else {
    w.u16(static_cast<std::uint16_t>((code << 6) | 0x3f));
    w.u32(static_cast<std::uint32_t>(body.size()));
  }
  w.bytes(body);
}

enum Tag : int {
  kEnd = 0,
  kShowFrame = 1,
  kDefineShape = 2,
  kSetBackgroundColor = 9,
  kDoAction = 12,
  kPlaceObject2 = 26,
  kDefineSprite = 39,
  kDefineVideoStream = 60,
};

struct Rgb {
  std::uint8_t r, g, b;
};

// A filled polygon, points in pixels relative to the shape's origin.
Bytes defineShape(std::uint16_t id, const std::vector<std::pair<int, int>>& points, Rgb fill) {
  int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  for (auto [x, y] : points) {
    xMin = std::min(xMin, x * kTwips);
    xMax = std::max(xMax, x * kTwips);
    yMin = std::min(yMin, y * kTwips);
    yMax = std::max(yMax, y * kTwips);
  }
  Writer w;
  w.u16(id);
  rect(w, xMin, xMax, yMin, yMax);
  w.u8(1);  // one fill style: solid
  w.u8(0x00);
  w.u8(fill.r);
  w.u8(fill.g);
  w.u8(fill.b);
  w.u8(0);       // no line styles
  w.bits(1, 4);  // fill index bits
  w.bits(0, 4);  // line index bits
  // Move to the first point with fill style 1.
  const int x0 = points.front().first * kTwips;
  const int y0 = points.front().second * kTwips;
  const int moveBits = signedWidth({x0, y0});
  w.bits(0b000101, 6);
  w.bits(static_cast<std::uint32_t>(moveBits), 5);
  w.signedBits(x0, moveBits);
  w.signedBits(y0, moveBits);
  w.bits(1, 1);
  // Straight edges around the polygon and back to the start.
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto [ax, ay] = points[i];
    const auto [bx, by] = points[(i + 1) % points.size()];
    const int dx = (bx - ax) * kTwips;
    const int dy = (by - ay) * kTwips;
    const int n = std::max(2, signedWidth({dx, dy}));
    w.bits(0b11, 2);  // edge, straight
    w.bits(static_cast<std::uint32_t>(n - 2), 4);
    if (dx != 0 && dy != 0) {
      w.bits(1, 1);  // general line
      w.signedBits(dx, n);
      w.signedBits(dy, n);
    } else {
      w.bits(0, 1);
      w.bits(dx == 0 ? 1 : 0, 1);  // vertical?
      w.signedBits(dx == 0 ? dy : dx, n);
    }
  }
  w.bits(0, 6);  // end of shape
  return w.take();
}

std::vector<std::pair<int, int>> rectPoints(int w, int h) {
  return {{0, 0}, {w, 0}, {w, h}, {0, h}};
}

// PlaceObject2 with a character, a translation and an instance name.
Bytes placeObject(std::uint16_t depth, std::uint16_t character, int x, int y,
                  const std::string& name) {
  Writer w;
  w.u8(name.empty() ? 0x06 : 0x26);  // has character, has matrix, [has name]
  w.u16(depth);
  w.u16(character);
  w.bits(0, 1);  // no scale
  w.bits(0, 1);  // no rotation
  const int n = signedWidth({x * kTwips, y * kTwips});
  w.bits(static_cast<std::uint32_t>(n), 5);
  w.signedBits(x * kTwips, n);
  w.signedBits(y * kTwips, n);
  w.align();
  if (!name.empty()) w.string(name);
  return w.take();
}

// A one-frame sprite whose timeline is the given tags.
Bytes defineSprite(std::uint16_t id, const std::vector<std::pair<int, Bytes>>& tags) {
  Writer w;
  w.u16(id);
  w.u16(1);
  for (const auto& [code, body] : tags) tag(w, code, body);
  tag(w, kShowFrame, {});
  tag(w, kEnd, {});
  return w.take();
}

class Movie {
 public:
  // A sprite holding one shape; returns the sprite's character id.
  std::uint16_t part(const std::vector<std::pair<int, int>>& points, Rgb colour) {
    const std::uint16_t shape = next_++;
    tag(w_, kDefineShape, defineShape(shape, points, colour));
    const std::uint16_t sprite = next_++;
    tag(w_, kDefineSprite,
        defineSprite(sprite, {{kPlaceObject2, placeObject(1, shape, 0, 0, "")}}));
    return sprite;
  }
  std::uint16_t sprite(const std::vector<std::pair<int, Bytes>>& tags) {
    const std::uint16_t id = next_++;
    tag(w_, kDefineSprite, defineSprite(id, tags));
    return id;
  }
  std::uint16_t videoStream(int width, int height) {
    const std::uint16_t id = next_++;
    Writer v;
    v.u16(id);
    v.u16(0);  // frames: filled by the stream at run time
    v.u16(static_cast<std::uint16_t>(width));
    v.u16(static_cast<std::uint16_t>(height));
    v.u8(0x01);  // smoothing
    v.u8(2);     // Sorenson H.263
    tag(w_, kDefineVideoStream, v.take());
    return id;
  }
  Writer& out() { return w_; }

 private:
  Writer w_;
  std::uint16_t next_ = 1;
};

Bytes uncompressedBody() {
  Movie m;
  Writer& w = m.out();
  rect(w, 0, kStageWidth * kTwips, 0, kStageHeight * kTwips);
  w.u16(30 << 8);  // 30.0 frames per second, 8.8 fixed point
  w.u16(kFrameCount);
  tag(w, kSetBackgroundColor, {0xff, 0xff, 0xff});

  const Rgb black{0, 0, 0}, white{0xff, 0xff, 0xff}, grey{0x80, 0x80, 0x80};
  const int barTop = kStageHeight - kBarHeight;

  // The control bar and its parts, at their places on the 400 by 300 stage.
  const auto base = m.part(rectPoints(kStageWidth, kBarHeight), black);
  const auto shadow = m.part(rectPoints(kStageWidth, 4), grey);
  const auto play = m.part({{0, 0}, {12, 7}, {0, 14}}, white);
  const auto pause = m.part({{0, 0}, {4, 0}, {4, 14}, {0, 14}}, white);
  const auto progress = m.part(rectPoints(266, 5), white);
  const auto display = m.part(rectPoints(38, 19), black);
  const auto volume = m.part(rectPoints(40, 11), white);
  const auto full = m.part(rectPoints(19, 19), white);
  const auto normal = m.part(rectPoints(13, 13), white);
  const auto bar = m.sprite({
      {kPlaceObject2, placeObject(1, base, 0, 0, "mc_base")},
      {kPlaceObject2, placeObject(2, shadow, 0, -4, "mc_sombra")},
      {kPlaceObject2, placeObject(3, play, 9, 6, "b_play")},
      {kPlaceObject2, placeObject(4, pause, 9, 6, "b_pause")},
      {kPlaceObject2, placeObject(5, progress, 30, 11, "mc_progreso")},
      {kPlaceObject2, placeObject(6, display, 302, 4, "display")},
      {kPlaceObject2, placeObject(7, volume, 330, 8, "mc_volumen")},
      {kPlaceObject2, placeObject(8, full, kStageWidth - 25, 4, "b_full")},
      {kPlaceObject2, placeObject(9, normal, kStageWidth - 22, 7, "b_normal")},
  });

  // The video surface, the overlays above it and the error layer.
  const auto video = m.videoStream(320, 240);
  const auto screen = m.sprite({{kPlaceObject2, placeObject(1, video, 0, 0, "mc_video")}});
  const auto bigPlay = m.part({{0, 0}, {48, 28}, {0, 56}}, white);
  const auto clickArea = m.part(rectPoints(kStageWidth, barTop), white);
  const auto load = m.part(rectPoints(36, 36), grey);
  const auto message = m.part(rectPoints(kStageWidth, kStageHeight), black);

  tag(w, kPlaceObject2, placeObject(1, screen, 40, 0, "mc_screen"));
  tag(w, kPlaceObject2, placeObject(2, bigPlay, 176, 108, "mc_play"));
  tag(w, kPlaceObject2, placeObject(3, clickArea, 0, 0, "mc_boton"));
  tag(w, kPlaceObject2, placeObject(4, load, 182, 118, "mc_load"));
  tag(w, kPlaceObject2, placeObject(5, bar, 0, barTop, "mc_bar"));
  tag(w, kPlaceObject2, placeObject(6, message, 0, 0, "mc_mensaje"));
  for (int frame = 1; frame <= kFrameCount; ++frame) {
    if (frame == kFrameCount) tag(w, kDoAction, {0x07, 0x00});  // stop(); end of actions
    tag(w, kShowFrame, {});
  }
  tag(w, kEnd, {});
  return w.take();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.swf>\n", argv[0]);
    return 2;
  }
  const Bytes body = uncompressedBody();
  const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());

  uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
  Bytes packed(packedSize);
  // The default level gives the usual zlib header 78 9C.
  if (compress2(packed.data(), &packedSize, body.data(), static_cast<uLong>(body.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    std::fprintf(stderr, "make_player_movie: compression failed\n");
    return 1;
  }
  packed.resize(packedSize);

  Writer file;
  file.u8('C');
  file.u8('W');
  file.u8('S');
  file.u8(7);
  file.u32(length);
  file.bytes(packed);
  const Bytes out = file.take();

  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) != 0 || !written) {
    std::perror(argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
