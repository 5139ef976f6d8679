#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the open-dialog work.
void Form1::OpenFile_Click() {}

}  // namespace quillet
