#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Drops.h"
#include "platform/Trace.h"

namespace quillet {

// Files dropped on the main window reach the opener given here. While the
// window is hooked, prevWndProc holds the id of the window's previous
// procedure; 0 means not hooked.
class FileDrop {
 public:
  using Opener = std::function<void(std::string)>;
  FileDrop(Drops& drops, Trace& trace, Opener opener)
      : drops(drops), trace(trace, TraceArea::Shell), open(std::move(opener)) {}
  FileDrop(const FileDrop&) = delete;
  FileDrop& operator=(const FileDrop&) = delete;

  void EnableFileDrop(WindowHandle window);
  void DisableFileDrop(WindowHandle window);
  std::intptr_t previousProc() const { return prevWndProc; }

 private:
  void HookWindow(WindowHandle window);
  void UnhookWindow(WindowHandle window);
  void DropWindowProc(WindowHandle window, const WindowMessage& message);
  void HandleDrop(DropHandle drop);

  Drops& drops;
  AreaTrace trace;
  Opener open;
  std::intptr_t prevWndProc = 0;
};

}  // namespace quillet
