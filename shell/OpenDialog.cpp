#include "shell/OpenDialog.h"

namespace quillet {

// A fresh request on every click, so every dialog starts the same way
// whatever the previous one ended on. The path is handed on whole: the
// dialog has no length limit of its own here.
void OpenFile_Click(Dialogs& dialogs, Files& files, Trace& trace, WindowHandle owner,
                    const std::function<void(std::string)>& GotADrop) {
  OpenFileRequest request;
  request.owner = owner;
  request.title = "Select file to open";
  request.filters = {{"Flash video files (*.flv)", "*.flv"}, {"All Files (*.*)", "*.*"}};
  request.filterIndex = 1;
  request.initialDir = files.programFolder();
  request.multiSelect = false;

  // Cancel, close and a failing dialog all end here alike, silently.
  const AreaTrace steps(trace, TraceArea::Shell);
  auto chosen = dialogs.getOpenFileName(request);
  if (!chosen) {
    steps.skipped("OpenFile_Click", "no file chosen");
    return;
  }
  steps.ran("OpenFile_Click");
  GotADrop(std::move(*chosen));
}

}  // namespace quillet
