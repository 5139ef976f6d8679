#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the full-screen work.
void Form1::ctrl_ObjectEvent(const std::string&, const Values&) {}
void Form1::EnterFullScreen() {}
void Form1::LeaveFullScreen() {}

}  // namespace quillet
