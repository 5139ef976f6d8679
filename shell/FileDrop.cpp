#include "shell/FileDrop.h"

namespace quillet {

// PLACEHOLDER: filled in by the file-drop work.
void FileDrop::EnableFileDrop(WindowHandle) {}
void FileDrop::DisableFileDrop(WindowHandle) {}
void FileDrop::HookWindow(WindowHandle) {}
void FileDrop::UnhookWindow(WindowHandle) {}
void FileDrop::DropWindowProc(WindowHandle, const WindowMessage&) {}
void FileDrop::HandleDrop(DropHandle) {}

}  // namespace quillet
