#include "window/Form1.h"

namespace quillet {

Form1::Form1(Platform& platform)
    : platform(platform),
      tempNames(platform.files),
      fileDrop(platform.drops, [this](std::string path) { GotADrop(std::move(path)); }) {
  platform.window.setEvents(this);
}

Form1::~Form1() { platform.window.setEvents(nullptr); }

void Form1::Show() {
  Form_Load();
  skipOnFailure(platform.window.show());
}

// PLACEHOLDER: filled in by the main-window work.
void Form1::Form_Load() {}
void Form1::Form_Resize() {}
void Form1::Form_Unload() {}

}  // namespace quillet
