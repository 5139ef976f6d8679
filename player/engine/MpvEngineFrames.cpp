// The engine's frames: its render backend, and the one frame cache,
// drawn straight into the view's pixels when it paints at once, else into an
// image at the size the view shows frames at.
#include "player/engine/MpvEngine.h"

#include <cstring>
#include <utility>

#include "player/flv/FlvReader.h"

namespace quillet::player {

// Software: libmpv draws on the CPU into the view's own pixels, the cheapest
// without a GPU.
std::unique_ptr<RenderBackend> createRenderBackend() {
  return createSoftwareBackend();
}

bool MpvEngine::attachBackend(std::unique_ptr<RenderBackend> backend) {
  if (!backend || (!backend->attachesOnAnyThread() && !backend->attach(mpv_.get()))) return false;
  backend_ = std::move(backend);
  backend_->setUpdateCallback([this] {
    if (!updateQueued_.exchange(true))
      QMetaObject::invokeMethod(
          this, [this] { handleUpdate(); }, Qt::QueuedConnection);
  });
  return true;
}

QImage MpvEngine::renderFrame(const QSize& size) {
  if (!haveFrame_ || !backend_) return {};
  if (!frameDrawn_ || frame_.size() != size) {
    frame_ = backend_->render(size);
    frameDrawn_ = !frame_.isNull();
  }
  frameTaken_ = true;
  return frame_;
}

QImage MpvEngine::snapshot() {
  if (!haveFrame_ || !backend_ || videoSize_.isEmpty()) return {};
  // The renderer's buffers are its own: the caller keeps a copy.
  return backend_->render(videoSize_).copy();
}

bool MpvEngine::renderInto(uchar* pixels, const QSize& size, qsizetype stride) {
  if (!haveFrame_ || !backend_ || !pixels) return false;
  if (frameDrawn_ && frame_.size() == size) {
    // The frame is drawn already: copying it is cheaper than drawing again.
    const qsizetype row = qsizetype{size.width()} * 4;
    if (stride < row) return false;
    for (int y = 0; y < size.height(); ++y)
      std::memcpy(pixels + y * stride, frame_.constScanLine(y), static_cast<std::size_t>(row));
    return true;
  }
  if (!backend_->renderInto(pixels, size, stride)) return false;
  // The view holds the picture now; the image of an older one goes.
  frame_ = QImage();
  frameDrawn_ = false;
  frameTaken_ = true;
  return true;
}

void MpvEngine::handleUpdate() {
  updateQueued_ = false;
  if (!earlyUrl_.isEmpty()) return;  // held until open() (takeEarlyOpening)
  if (!backend_ || !backend_->takeUpdate()) return;
  // Frames of the previous stream may still arrive until the new one starts.
  if (streamStarted()) haveFrame_ = true;
  // libmpv holds playback until each frame is taken, so every frame is taken
  // at once: by a view that paints while it is told (straight into its own
  // pixels), else drawn here for a view that shows frames, or skipped for
  // one that does not (it draws the current frame when it asks).
  frameDrawn_ = false;
  frameTaken_ = false;
  if (haveFrame_) emit frameAvailable();
  if (!std::exchange(frameTaken_, false)) {
    if (!frameSize_.isEmpty()) {
      frame_ = backend_->render(frameSize_);
      frameDrawn_ = !frame_.isNull();
    } else {
      backend_->skip();
    }
  }
  // The picture is up: a huge file's walk may take the disk and CPU now.
  if (haveFrame_ && flv_) flv_->walkOn();
}

}  // namespace quillet::player
