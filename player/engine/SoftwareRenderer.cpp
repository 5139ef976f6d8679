#include "player/engine/SoftwareRenderer.h"

#include <mpv/render.h>

#include <array>
#include <cstdlib>

namespace quillet::player {

namespace {

class SoftwareRenderer final : public FrameRenderer {
 public:
  static std::unique_ptr<SoftwareRenderer> create(RenderContext context,
                                                  std::function<void()> onUpdate) {
    if (!context) return nullptr;
    std::unique_ptr<SoftwareRenderer> renderer(new SoftwareRenderer(std::move(onUpdate)));
    renderer->context_ = std::move(context);
    mpv_render_context_set_update_callback(renderer->context_.get(), &SoftwareRenderer::updated,
                                           &renderer->onUpdate_);
    return renderer;
  }

  bool takeUpdate() override {
    return (mpv_render_context_update(context_.get()) & MPV_RENDER_UPDATE_FRAME) != 0;
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
    mpv_render_context_render(context_.get(), params);
  }

 private:
  explicit SoftwareRenderer(std::function<void()> onUpdate) : onUpdate_(std::move(onUpdate)) {}

  static void updated(void* onUpdate) { (*static_cast<std::function<void()>*>(onUpdate))(); }

  // Larger targets are a caller's mistake, not a picture.
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
    return mpv_render_context_render(context_.get(), params) >= 0;
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

  // Called on libmpv's render threads, never changed after construction;
  // outlives context_, whose callback calls it.
  std::function<void()> onUpdate_;
  // GUI thread only: the render calls and the buffers they draw into.
  RenderContext context_;
  std::array<QImage, 3> buffers_;
  std::size_t next_ = 0;
};

}  // namespace

void RenderContextDeleter::operator()(mpv_render_context* context) const {
  // No update may reach a half-destroyed engine.
  mpv_render_context_set_update_callback(context, nullptr, nullptr);
  mpv_render_context_free(context);
}

RenderContext createRenderContext(mpv_handle* mpv) {
  mpv_render_param params[] = {
      {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  mpv_render_context* raw = nullptr;
  if (mpv_render_context_create(&raw, mpv, params) < 0) return nullptr;
  return RenderContext(raw);
}

std::unique_ptr<FrameRenderer> createSoftwareRenderer(RenderContext context,
                                                      std::function<void()> onUpdate) {
  return SoftwareRenderer::create(std::move(context), std::move(onUpdate));
}

}  // namespace quillet::player
