#include "shell/CommandLine.h"

namespace quillet {

// PLACEHOLDER: filled in by the command-line work.
std::string GetCommandArgument(const Processes&, const std::string&) { return {}; }

}  // namespace quillet
