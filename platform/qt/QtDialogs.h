#pragma once
#include "platform/Dialogs.h"

namespace quillet::qt {

// PLACEHOLDER: the Qt implementation lands with its subsystem's work.
class QtDialogs : public Dialogs {
 public:
  std::optional<std::string> getOpenFileName(const OpenFileRequest&) override {
    return std::nullopt;
  }
};

}  // namespace quillet::qt
