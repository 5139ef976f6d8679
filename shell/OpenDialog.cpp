#include "window/Form1.h"

namespace quillet {

// A fresh request on every click, so every dialog starts the same way
// whatever the previous one ended on. The path is handed on whole: the
// dialog has no length limit of its own here.
void Form1::OpenFile_Click() {
  OpenFileRequest request;
  request.owner = platform.window.hWnd();
  request.title = "Select file to open";
  request.filters = {{"Flash video files (*.flv)", "*.flv"}, {"All Files (*.*)", "*.*"}};
  request.filterIndex = 1;
  request.initialDir = platform.files.programFolder();
  request.multiSelect = false;

  // Cancel, close and a failing dialog all end here alike, silently.
  if (auto chosen = platform.dialogs.getOpenFileName(request)) GotADrop(std::move(*chosen));
}

}  // namespace quillet
