#pragma once
// Every platform area the logic reaches, in one bundle.

#include "platform/ControlHost.h"
#include "platform/Dialogs.h"
#include "platform/Drops.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Trace.h"
#include "platform/Window.h"

namespace quillet {

struct Platform {
  Window& window;
  Screen& screen;
  ControlHost& controls;
  ComponentRegistry& components;
  MessageBox& messageBox;
  Processes& processes;
  Files& files;
  Registry& registry;
  Dialogs& dialogs;
  Drops& drops;
  Trace& trace;
};

}  // namespace quillet
