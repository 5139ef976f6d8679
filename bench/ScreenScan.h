#pragma once
// Reads the X screen a sample of pixels at a time, for the benchmark's
// measuring tools. Row by row: whole-screen grabs took Xvfb 120 ms each and
// held up the players' own drawing.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Calls visit(x, y, r, g, b) for every pixel of every rowStep-th row and
// columnStep-th column of the screen.
template <typename Visit>
void scanScreen(Display* display, int rowStep, int columnStep, Visit visit) {
  const Window root = DefaultRootWindow(display);
  XWindowAttributes a;
  XGetWindowAttributes(display, root, &a);
  for (int y = 0; y < a.height; y += rowStep) {
    XImage* row = XGetImage(display, root, 0, y, a.width, 1, AllPlanes, ZPixmap);
    if (!row) continue;
    for (int x = 0; x < a.width; x += columnStep) {
      const unsigned long p = XGetPixel(row, x, 0);
      visit(x, y, static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
            static_cast<int>(p & 0xff));
    }
    XDestroyImage(row);
  }
}
