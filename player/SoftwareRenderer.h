#pragma once
// libmpv's software render API into 64-byte aligned RGB32 images.

#include <mpv/client.h>

#include <functional>
#include <memory>

#include "player/FrameRenderer.h"

namespace quillet::player {

// Null when the render context cannot be created. onUpdate is called on
// libmpv's threads until the renderer is destroyed.
std::unique_ptr<FrameRenderer> createSoftwareRenderer(mpv_handle* mpv,
                                                      std::function<void()> onUpdate);

}  // namespace quillet::player
