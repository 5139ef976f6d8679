#include "shell/CommandLine.h"

namespace quillet {

// The text is taken whole: a path with blanks, quotes or several paths all
// reach the caller unchanged. The search is exact, so case matters.
std::string GetCommandArgument(const Processes& processes, const std::string& argPrefix) {
  const std::string arguments = processes.argumentText();
  if (arguments.empty()) return {};
  const auto prefixPos = arguments.find(argPrefix);
  if (prefixPos == std::string::npos) return {};
  return arguments.substr(prefixPos + argPrefix.size());
}

InfoRequest infoRequest(const std::string& argumentText) {
  if (argumentText == "--help") return InfoRequest::Usage;
  if (argumentText == "--version") return InfoRequest::Version;
  return InfoRequest::None;
}

}  // namespace quillet
