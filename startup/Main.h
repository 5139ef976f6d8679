#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/ControlHost.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"

namespace quillet {

// Exit code of a start refused for want of a usable player component.
constexpr int kExitPlayerMissing = 3;

// PLACEHOLDER: the start-up work defines Main here.

}  // namespace quillet
