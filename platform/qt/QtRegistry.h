#pragma once
#include "platform/Registry.h"

namespace quillet::qt {

// PLACEHOLDER: the Qt implementation lands with its subsystem's work.
class QtRegistry : public Registry {
 public:
  std::unique_ptr<RegistrySession> open() override { return nullptr; }
};

}  // namespace quillet::qt
