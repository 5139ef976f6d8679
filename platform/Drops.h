#pragma once
// Files dropped on a window. A drop's handle names its list of local paths
// and is released exactly once.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Window.h"

namespace quillet {

using DropHandle = std::uintptr_t;

// One event of the hooked window: a drop carries its handle; every other
// event is opaque to the hook and goes on unchanged.
struct WindowMessage {
  bool isDrop = false;
  DropHandle drop = 0;
};

class Drops {
 public:
  virtual ~Drops() = default;
  virtual void dragAcceptFiles(WindowHandle window, bool accept) = 0;
  // Installs procedure as the window's hook and returns the id of the
  // previous one (0 when none was installed or on failure). Installing id 0
  // removes the hook again.
  using WindowProc = std::function<void(const WindowMessage&)>;
  virtual std::intptr_t setWindowProc(WindowHandle window, WindowProc procedure) = 0;
  virtual std::intptr_t restoreWindowProc(WindowHandle window, std::intptr_t previous) = 0;
  // Passes the event on to the window's own handling (the previous procedure).
  virtual void callWindowProc(std::intptr_t previous, WindowHandle window,
                              const WindowMessage& message) = 0;
  // The path of the file with that index in the drop, or empty.
  virtual std::string dragQueryFile(DropHandle drop, int index) = 0;
  virtual void dragFinish(DropHandle drop) = 0;
};

}  // namespace quillet
