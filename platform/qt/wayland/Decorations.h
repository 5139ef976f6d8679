#pragma once
// Title bars on Wayland: where the compositor draws them (it offers
// zxdg_decoration_manager_v1: sway, KWin), Qt need not find out whether it
// could draw its own. Qt 6.4 finds out by loading its EGL client buffer
// integration, the whole of Mesa, some 50 MiB of memory that a program that
// draws nothing with OpenGL never uses.

namespace quillet::qt {

// Call once the application exists and before any window shows. Does
// nothing off Wayland, on a compositor that leaves title bars to its
// clients (GNOME), and when the user has already chosen.
void leaveTitleBarsToTheCompositor();

}  // namespace quillet::qt
