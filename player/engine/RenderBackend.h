#pragma once
// How libmpv's video frames become pictures, behind one table as in libmpv's
// own render backends. Each backend makes its own render context and draws
// through it: the software one (SoftwareBackend.cpp) on the CPU, straight
// into the caller's pixels; an OpenGL one, with hardware decoding, can stand
// behind the same table. createRenderBackend() alone chooses which.

#include <mpv/client.h>

#include <QImage>
#include <QSize>
#include <functional>
#include <memory>

namespace quillet::player {

// Larger targets are a caller's mistake, not a picture.
inline constexpr int kMaxRenderSide = 16384;

class RenderBackend {
 public:
  virtual ~RenderBackend() = default;

  // Whether attach() may run off the rendering thread: a software context is
  // bound to no thread, an OpenGL one to the thread whose GL context is current.
  virtual bool attachesOnAnyThread() const = 0;
  // Makes the render context of an initialised core (and sets what the
  // backend needs of it, such as a hardware decoder), before the core's first
  // loadfile: without a context libmpv shows no video. False when it cannot.
  virtual bool attach(mpv_handle* mpv) = 0;
  // onUpdate is called on libmpv's threads from now until the backend is
  // destroyed; a frame that came before is told at the next.
  virtual void setUpdateCallback(std::function<void()> onUpdate) = 0;

  // The rest on the rendering thread, attached. After the update callback
  // fired: true when a new frame waits to be drawn.
  virtual bool takeUpdate() = 0;
  // Draws the waiting frame, or the current one again, at the given size.
  virtual QImage render(const QSize& size) = 0;
  // The same into the caller's RGB32 pixels (stride in bytes); false when
  // nothing was drawn or the backend cannot. Images render made before are
  // let go.
  virtual bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) = 0;
  // Takes the waiting frame without drawing it, so playback goes on when
  // nobody looks.
  virtual void skip() = 0;
};

// libmpv's software renderer into 64-byte aligned RGB32 images.
std::unique_ptr<RenderBackend> createSoftwareBackend();

// The backend every engine draws with.
std::unique_ptr<RenderBackend> createRenderBackend();

}  // namespace quillet::player
