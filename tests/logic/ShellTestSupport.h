#pragma once
// What the shell tests observe of a Form1 on the fakes: the videos that
// GotADrop opened, read back from the FlashVars the player control received.

#include <string>
#include <vector>

#include "playback/Playback.h"
#include "tests/fakes/FakePlatform.h"

namespace quillet::shelltest {

inline constexpr const char* kVideoVars =
    "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=";

// The FlashVars text that opening this path gives the control.
inline std::string varsFor(const std::string& path) {
  return std::string(kVideoVars) + EncodeFlashVarsValue(path);
}

// Every FlashVars text set on a player control that opens a video, in order.
inline std::vector<std::string> openedVars(const fakes::Journal& journal) {
  std::vector<std::string> out;
  const std::string marker = ".FlashVars=";
  for (const auto& e : journal.all()) {
    auto at = e.find(marker);
    if (at == std::string::npos || e.size() < 4 || e.compare(e.size() - 4, 4, ":str") != 0)
      continue;
    std::string vars = e.substr(at + marker.size(), e.size() - 4 - at - marker.size());
    if (vars.rfind(kVideoVars, 0) == 0) out.push_back(vars);
  }
  return out;
}

}  // namespace quillet::shelltest
