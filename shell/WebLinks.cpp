#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the web-links work.
void Form1::Command1_Click() {}

}  // namespace quillet
