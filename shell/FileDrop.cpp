#include "shell/FileDrop.h"

namespace quillet {

namespace {

// Releases a drop on every way out of its handling, an exception included,
// and only once.
class DropRelease {
 public:
  DropRelease(Drops& drops, DropHandle drop) : drops(drops), drop(drop) {}
  ~DropRelease() { drops.dragFinish(drop); }
  DropRelease(const DropRelease&) = delete;
  DropRelease& operator=(const DropRelease&) = delete;

 private:
  Drops& drops;
  DropHandle drop;
};

}  // namespace

void FileDrop::EnableFileDrop(WindowHandle window) {
  drops.dragAcceptFiles(window, true);
  HookWindow(window);
}

void FileDrop::DisableFileDrop(WindowHandle window) {
  drops.dragAcceptFiles(window, false);
  UnhookWindow(window);
}

// A failed hook leaves 0 behind: the window accepts drops but nothing opens
// them, and there is nothing to restore later.
void FileDrop::HookWindow(WindowHandle window) {
  prevWndProc = drops.setWindowProc(
      window, [this, window](const WindowMessage& message) { DropWindowProc(window, message); });
  if (prevWndProc == 0)
    trace.skipped("HookWindow", "the window's procedure cannot be replaced");
  else
    trace.ran("HookWindow");
}

void FileDrop::UnhookWindow(WindowHandle window) {
  if (prevWndProc == 0) return;
  drops.restoreWindowProc(window, prevWndProc);
  prevWndProc = 0;
}

// The drop is handled first; then every event, the drop included, goes on to
// the window's own handling unchanged.
void FileDrop::DropWindowProc(WindowHandle window, const WindowMessage& message) {
  // Read before handling: the handling may unhook the window.
  const std::intptr_t previous = prevWndProc;
  if (message.isDrop) HandleDrop(message.drop);
  drops.callWindowProc(previous, window, message);
}

// Only the first file of the drop is opened, by its full path.
void FileDrop::HandleDrop(DropHandle drop) {
  DropRelease release(drops, drop);
  std::string path = drops.dragQueryFile(drop, 0);
  // A drop without a readable file opens nothing rather than an empty video.
  if (path.empty()) {
    trace.skipped("HandleDrop", "no readable file in the drop");
    return;
  }
  trace.ran("HandleDrop");
  open(std::move(path));
}

}  // namespace quillet
