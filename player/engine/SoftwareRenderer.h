#pragma once
// libmpv's software render API into 64-byte aligned RGB32 images.

#include <mpv/client.h>
#include <mpv/render.h>

#include <functional>
#include <memory>

#include "player/engine/FrameRenderer.h"

namespace quillet::player {

struct RenderContextDeleter {
  void operator()(mpv_render_context* context) const;
};
using RenderContext = std::unique_ptr<mpv_render_context, RenderContextDeleter>;

// A core's render context, made before its first loadfile (without one
// libmpv shows no video); null when it cannot be made. Any thread.
RenderContext createRenderContext(mpv_handle* mpv);

// Null without a context. onUpdate is called on libmpv's threads until the
// renderer is destroyed; a frame that came before it is told at the next.
std::unique_ptr<FrameRenderer> createSoftwareRenderer(RenderContext context,
                                                      std::function<void()> onUpdate);

}  // namespace quillet::player
