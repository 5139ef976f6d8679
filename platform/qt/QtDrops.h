#pragma once
#include "platform/Drops.h"

namespace quillet::qt {

// PLACEHOLDER: the Qt implementation lands with its subsystem's work.
class QtDrops : public Drops {
 public:
  void dragAcceptFiles(WindowHandle, bool) override {}
  std::intptr_t setWindowProc(WindowHandle, WindowProc) override { return 0; }
  std::intptr_t restoreWindowProc(WindowHandle, std::intptr_t) override { return 0; }
  void callWindowProc(std::intptr_t, WindowHandle, const WindowMessage&) override {}
  std::string dragQueryFile(DropHandle, int) override { return {}; }
  void dragFinish(DropHandle) override {}
};

}  // namespace quillet::qt
