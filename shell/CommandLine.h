#pragma once
#include <string>

#include "platform/Processes.h"

namespace quillet {

// The part of the argument text after the first occurrence of argPrefix.
std::string GetCommandArgument(const Processes& processes, const std::string& argPrefix);

// What the program is asked before any window: the usage or its version when
// the whole argument text is "--help" or "--version"; any other text, these
// words within it included, is a video's path.
enum class InfoRequest { None, Usage, Version };
InfoRequest infoRequest(const std::string& argumentText);

}  // namespace quillet
