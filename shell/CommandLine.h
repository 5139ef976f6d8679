#pragma once
#include <string>

#include "platform/Processes.h"

namespace quillet {

// The part of the argument text after the first occurrence of argPrefix.
std::string GetCommandArgument(const Processes& processes, const std::string& argPrefix);

}  // namespace quillet
