#pragma once
#include <string>

#include "platform/Processes.h"
#include "platform/Trace.h"

namespace quillet {

// The banner page shown along the bottom of the window.
std::string bannerAddress();

// The "Website" button: opens the maker's site in the desktop's browser.
void Command1_Click(Processes& processes, Trace& trace);

}  // namespace quillet
