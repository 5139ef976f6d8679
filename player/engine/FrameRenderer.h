#pragma once
// Turns libmpv's video frames into images. The software path is the default
// (cheapest without a GPU); a GPU path can stand behind the same interface.

#include <QImage>
#include <QSize>

namespace quillet::player {

// Larger targets are a caller's mistake, not a picture.
inline constexpr int kMaxRenderSide = 16384;

class FrameRenderer {
 public:
  virtual ~FrameRenderer() = default;
  // After the update callback fired: true when a new frame waits to be drawn.
  virtual bool takeUpdate() = 0;
  // Draws the waiting frame, or the current one again, at the given size.
  virtual QImage render(const QSize& size) = 0;
  // The same into the caller's RGB32 pixels (stride in bytes); false when
  // nothing was drawn. Images render made before are let go.
  virtual bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) = 0;
  // Takes the waiting frame without drawing it, so playback goes on when
  // nobody looks.
  virtual void skip() = 0;
};

}  // namespace quillet::player
