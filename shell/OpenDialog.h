#pragma once
#include <functional>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Trace.h"
#include "platform/Window.h"

namespace quillet {

// The "Open File" button: asks for one video and hands its path to the
// opener (the window's GotADrop).
void OpenFile_Click(Dialogs& dialogs, Files& files, Trace& trace, WindowHandle owner,
                    const std::function<void(std::string)>& GotADrop);

}  // namespace quillet
