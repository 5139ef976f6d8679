#pragma once
// The program's start: the player-component probe, the refusal when no
// usable player is there, and the showing of the main window.

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/ControlHost.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"
#include "platform/Trace.h"

namespace quillet {

// Exit code of a start refused for want of a usable player component.
constexpr int kExitPlayerMissing = 3;

class Module1 {
 public:
  // showForm1 creates the main window if it does not exist yet and shows it
  // (its load sequence runs inside).
  Module1(ComponentRegistry& components, MessageBox& messageBox, Processes& processes, Trace& trace,
          std::function<void()> showForm1);

  // Probes for the player component from version 10 down to 1. Without
  // version 8 or later it offers the download page and returns the exit
  // code to end with at once; otherwise it shows the main window and returns
  // nullopt: the program goes on in its event loop.
  std::optional<int> Main();

  // The version whose component could be made, 0 when none.
  std::int16_t flashVersion = 0;

 private:
  ComponentRegistry& components;
  MessageBox& messageBox;
  Processes& processes;
  AreaTrace trace;
  std::function<void()> showForm1;
};

}  // namespace quillet
