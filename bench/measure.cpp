// Measures one run of a video player from the outside, the same way for
// every player:
//   measure [--picture WxH] [--resize WxH] [--key KEYSYM] <seconds> <command> [arguments...]
// starts the command, watches the X screen for the clip's first frame (the
// test clips are almost entirely strongly coloured; desktops and empty
// windows are not), follows the process tree's memory, waits for the player
// to exit or the time to run out (then asks it to end), and prints
//   first_frame_ms=<n or -1> cpu_s=<user+system of the whole tree>
//   main_peak_mib=<peak RSS of the started process> largest_peak_mib=<of any process in the tree>
//   picture=<width>x<height of the coloured area a second after the first frame>
// --picture: the first frame counts once it covers a good part of a picture
//   that large (a player that shows a small picture first and grows it
//   later has not yet shown the picture asked for).
// --resize: the player's window, once mapped, is given that client size, as
//   a user would drag it.
// --key: once the player's window is active, that key is pressed (XTest), as
//   a user would press it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Child.h"
#include "ScreenScan.h"

namespace {

using Clock = std::chrono::steady_clock;

// Strongly coloured pixels on every 16th row and every 2nd column, scaled to
// the whole screen; these rows take Xvfb about 2.5 ms.
long colouredPixels(Display* display) {
  long count = 0;
  scanScreen(display, 16, 2, [&](int, int, int r, int g, int b) {
    if (std::max({r, g, b}) - std::min({r, g, b}) > 100) ++count;
  });
  return count * 32;
}

// The size of the strongly coloured area, every 4th row and column: the rows
// and columns that hold at least a quarter of what the fullest one holds, so
// that a coloured icon elsewhere on the screen does not count.
std::pair<int, int> colouredBox(Display* display) {
  XWindowAttributes a;
  XGetWindowAttributes(display, DefaultRootWindow(display), &a);
  std::vector<int> rows(a.height / 4 + 1), columns(a.width / 4 + 1);
  scanScreen(display, 4, 4, [&](int x, int y, int r, int g, int b) {
    if (std::max({r, g, b}) - std::min({r, g, b}) > 100) {
      ++rows[y / 4];
      ++columns[x / 4];
    }
  });
  const auto extent = [](const std::vector<int>& counts) {
    const int most = *std::max_element(counts.begin(), counts.end());
    if (most == 0) return 0;
    int first = -1, last = -1;
    for (int i = 0; i < static_cast<int>(counts.size()); ++i)
      if (counts[i] * 4 >= most) {
        if (first < 0) first = i;
        last = i;
      }
    return (last - first + 1) * 4;
  };
  return {extent(columns), extent(rows)};
}

std::vector<unsigned long> windowList(Display* display, Window w, const char* property) {
  std::vector<unsigned long> out;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, w, XInternAtom(display, property, False), 0, 4096, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      data && format == 32) {
    auto* values = reinterpret_cast<unsigned long*>(data);
    out.assign(values, values + count);
  }
  if (data) XFree(data);
  return out;
}

// The managed, viewable window that the process says is its own.
Window windowOf(Display* display, pid_t pid) {
  for (unsigned long w : windowList(display, DefaultRootWindow(display), "_NET_CLIENT_LIST")) {
    const auto owner = windowList(display, w, "_NET_WM_PID");
    XWindowAttributes a;
    if (!owner.empty() && static_cast<pid_t>(owner[0]) == pid &&
        XGetWindowAttributes(display, w, &a) && a.map_state == IsViewable)
      return w;
  }
  return 0;
}

Window activeWindow(Display* display) {
  const auto active = windowList(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW");
  return active.empty() ? 0 : active[0];
}

// Every process whose ancestry leads to root.
std::set<pid_t> tree(pid_t root) {
  std::map<pid_t, pid_t> parent;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* e = readdir(proc)) {
      const pid_t pid = std::atoi(e->d_name);
      if (pid <= 0) continue;
      std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      const auto close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state;
      pid_t ppid;
      if (rest >> state >> ppid) parent[pid] = ppid;
    }
    closedir(proc);
  }
  std::set<pid_t> found{root};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, ppid] : parent)
      if (found.count(ppid) && found.insert(pid).second) grew = true;
  }
  return found;
}

long peakKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

double seconds(const timeval& t) {
  return t.tv_sec + t.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int pictureW = 100, pictureH = 100, resizeW = 0, resizeH = 0;
  const char* key = nullptr;
  int arg = 1;
  for (; arg + 1 < argc && std::strncmp(argv[arg], "--", 2) == 0; arg += 2) {
    if (!std::strcmp(argv[arg], "--picture"))
      std::sscanf(argv[arg + 1], "%dx%d", &pictureW, &pictureH);
    else if (!std::strcmp(argv[arg], "--resize"))
      std::sscanf(argv[arg + 1], "%dx%d", &resizeW, &resizeH);
    else if (!std::strcmp(argv[arg], "--key"))
      key = argv[arg + 1];
  }
  if (argc - arg < 2) {
    std::fprintf(stderr,
                 "usage: %s [--picture WxH] [--resize WxH] [--key KEYSYM] <seconds> <command> "
                 "[arguments...]\n",
                 argv[0]);
    return 2;
  }
  const double limit = std::atof(argv[arg]);
  char** command = argv + arg + 1;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "measure: no X display\n");
    return 2;
  }
  // Orphans of the player (helper processes) come to us, so their time counts.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const long background = colouredPixels(display);
  // A third of the picture asked for (the test pictures are about two thirds
  // strongly coloured), and never less than a 45x45 square.
  const long frameShare = std::max(2000L, long{pictureW} * pictureH / 3);

  const auto start = Clock::now();
  const pid_t child = startInOwnGroup(command);

  long firstFrameMs = -1, mainPeak = 0, largestPeak = 0;
  std::pair<int, int> picture{0, 0};
  double cpu = 0;
  bool mainDone = false, asked = false, resized = resizeW <= 0, keyed = key == nullptr;
  auto nextSample = start;
  while (!mainDone) {
    const auto now = Clock::now();
    if (!resized || !keyed) {
      if (const Window w = windowOf(display, child)) {
        if (!resized) {
          // At the screen's corner, so that the whole of it stays on the screen.
          XMoveResizeWindow(display, w, 0, 0, resizeW, resizeH);
          XFlush(display);
          resized = true;
        } else if (!keyed && activeWindow(display) == w) {
          const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(key));
          XTestFakeKeyEvent(display, code, True, 0);
          XTestFakeKeyEvent(display, code, False, 0);
          XFlush(display);
          keyed = true;
        }
      }
    }
    if (firstFrameMs < 0 && colouredPixels(display) - background >= frameShare)
      firstFrameMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
    if (firstFrameMs >= 0 && picture.first == 0 &&
        now - start > std::chrono::milliseconds(firstFrameMs + 1000))
      picture = colouredBox(display);
    if (now >= nextSample) {
      for (pid_t pid : tree(child)) {
        const long kib = peakKiB(pid);
        largestPeak = std::max(largestPeak, kib);
        if (pid == child) mainPeak = std::max(mainPeak, kib);
      }
      nextSample = now + std::chrono::milliseconds(50);
    }
    const double elapsed = std::chrono::duration<double>(now - start).count();
    if (!asked && elapsed > limit) {
      kill(-child, SIGTERM);
      asked = true;
    } else if (asked && elapsed > limit + 3) {
      kill(-child, SIGKILL);
    }
    // Reap whatever ended: the player and any helper left to us.
    for (;;) {
      int status;
      rusage usage{};
      const pid_t pid = wait4(-1, &status, WNOHANG, &usage);
      if (pid <= 0) break;
      cpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
      if (pid == child) mainDone = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(firstFrameMs < 0 ? 8 : 20));
  }
  // Helpers still running after the player ended are ended too.
  kill(-child, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status;
    rusage usage{};
    const pid_t pid = wait4(-1, &status, WNOHANG, &usage);
    if (pid < 0) break;
    if (pid > 0)
      cpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XCloseDisplay(display);
  std::printf(
      "first_frame_ms=%ld cpu_s=%.2f main_peak_mib=%.0f largest_peak_mib=%.0f picture=%dx%d\n",
      firstFrameMs, cpu, mainPeak / 1024.0, largestPeak / 1024.0, picture.first, picture.second);
  return 0;
}
