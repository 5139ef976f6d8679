#include <mpv/render.h>

#include <array>
#include <cstdlib>
#include <memory>

#include "player/engine/RenderBackend.h"

namespace quillet::player {

namespace {

struct ContextFree {
  void operator()(mpv_render_context* context) const {
    // No update may reach a half-destroyed engine.
    mpv_render_context_set_update_callback(context, nullptr, nullptr);
    mpv_render_context_free(context);
  }
};

class SoftwareBackend final : public RenderBackend {
 public:
  // libmpv's software render calls may come from any thread, one at a time.
  bool attachesOnAnyThread() const override { return true; }

  bool attach(mpv_handle* mpv) override {
    if (context_ || !mpv) return false;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* made = nullptr;
    if (mpv_render_context_create(&made, mpv, params) < 0) return false;
    context_.reset(made);
    return true;
  }

  void setUpdateCallback(std::function<void()> onUpdate) override {
    if (!context_) return;
    mpv_render_context_set_update_callback(context_.get(), nullptr, nullptr);
    onUpdate_ = std::move(onUpdate);
    if (onUpdate_) mpv_render_context_set_update_callback(context_.get(), &updated, &onUpdate_);
  }

  bool takeUpdate() override {
    return context_ && (mpv_render_context_update(context_.get()) & MPV_RENDER_UPDATE_FRAME) != 0;
  }

  QImage render(const QSize& size) override {
    if (!fits(size)) return {};
    QImage* target = bufferFor(size);
    if (!target || target->isNull()) return {};
    if (!draw(target->bits(), size, target->bytesPerLine())) return {};
    return *target;
  }

  bool renderInto(uchar* pixels, const QSize& size, qsizetype stride) override {
    if (!pixels || !fits(size) || stride < qsizetype{size.width()} * 4) return false;
    buffers_ = {};
    return draw(pixels, size, stride);
  }

  void skip() override {
    int skip = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (context_) mpv_render_context_render(context_.get(), params);
  }

 private:
  static void updated(void* onUpdate) { (*static_cast<std::function<void()>*>(onUpdate))(); }

  static bool fits(const QSize& size) {
    return !size.isEmpty() && size.width() <= kMaxRenderSide && size.height() <= kMaxRenderSide;
  }

  bool draw(uchar* pixels, const QSize& size, qsizetype bytesPerLine) {
    int surfaceSize[2] = {size.width(), size.height()};
    char format[] = "bgr0";  // QImage::Format_RGB32 on little-endian machines
    std::size_t stride = static_cast<std::size_t>(bytesPerLine);
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, surfaceSize}, {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},   {MPV_RENDER_PARAM_SW_POINTER, pixels},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return context_ && mpv_render_context_render(context_.get(), params) >= 0;
  }

  // Stride and pointer 64-byte aligned: libmpv's fast conversion paths need
  // it and would otherwise copy the whole frame once more.
  static QImage alignedImage(const QSize& size) {
    const qsizetype stride = (qsizetype{size.width()} * 4 + 63) / 64 * 64;
    void* pixels = std::aligned_alloc(64, static_cast<std::size_t>(stride * size.height()));
    if (!pixels) return {};
    return QImage(
        static_cast<uchar*>(pixels), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* p) { std::free(p); }, pixels);
  }

  // A buffer nobody else holds, so that drawing into it never changes an
  // image the surface still has.
  QImage* bufferFor(const QSize& size) {
    for (QImage& b : buffers_)
      if (b.size() == size && b.isDetached()) return &b;
    for (QImage& b : buffers_)
      if (b.isNull() || b.isDetached()) return &(b = alignedImage(size));
    QImage& b = buffers_[next_];
    next_ = (next_ + 1) % buffers_.size();
    return &(b = alignedImage(size));
  }

  // Called on libmpv's threads; changed only while no callback is set.
  std::function<void()> onUpdate_;
  // Owned; the render calls and the buffers they draw into belong to the
  // rendering thread.
  std::unique_ptr<mpv_render_context, ContextFree> context_;
  std::array<QImage, 3> buffers_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<RenderBackend> createSoftwareBackend() {
  return std::make_unique<SoftwareBackend>();
}

}  // namespace quillet::player
