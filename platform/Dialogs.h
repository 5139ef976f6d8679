#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Window.h"

namespace quillet {

struct OpenFileRequest {
  WindowHandle owner = 0;
  std::string title;
  std::vector<std::pair<std::string, std::string>> filters;  // display text, pattern
  int filterIndex = 1;                                       // 1-based
  std::string initialDir;
  bool multiSelect = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Modal to the owner; one full path, or nullopt when cancelled or failed.
  virtual std::optional<std::string> getOpenFileName(const OpenFileRequest& request) = 0;
};

}  // namespace quillet
