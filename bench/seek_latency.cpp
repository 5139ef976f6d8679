// Seek latency of a video player, measured from the outside:
//   seek_latency (--mpv-ipc SOCKET | --mpris) <segments> <segment seconds> <command> [arguments...]
// starts the command on a clip whose picture is one flat colour per segment
// (segment k has hue k * 360 / segments, see versus_mpv.sh), waits for it to
// play, then asks for a position in the middle of each segment in turn, in an
// order that always jumps, and times each request until the screen shows the
// segment's colour. The request is the player's own remote control: mpv's IPC
// socket ("seek <t> absolute") or the desktop's media-player interface
// (MPRIS SetPosition), which Quillet's seek bar and keys share. Prints the
// latencies in milliseconds, -1 for a picture that never came; then on a
// second line where each seek landed, in milliseconds from its target, as the
// player tells its position once the picture shows (less the time since;
// x: unknown). A seek through a key-frame index can land a key frame late and
// still show the segment's colour.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dbus/dbus.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <thread>
#include <vector>
#include "Child.h"
#include "ScreenScan.h"

namespace {

using Clock = std::chrono::steady_clock;

// The segment that the strongly coloured part of the screen shows, or -1.
// Every 8th row and 4th column; a hue histogram of 10-degree bins.
int shownSegment(Display* display, int segments) {
  std::array<int, 36> bins{};
  int coloured = 0;
  scanScreen(display, 8, 4, [&](int, int, int r, int g, int b) {
    const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
    if (hi - lo <= 80) return;
    double h;
    const double d = hi - lo;
    if (hi == r)
      h = 60 * std::fmod((g - b) / d + 6, 6.0);
    else if (hi == g)
      h = 60 * ((b - r) / d + 2);
    else
      h = 60 * ((r - g) / d + 4);
    ++bins[static_cast<int>(h / 10) % 36];
    ++coloured;
  });
  if (coloured < 400) return -1;  // no picture (a 160x100 one at least)
  const int best = static_cast<int>(std::max_element(bins.begin(), bins.end()) - bins.begin());
  // Most of the picture: a frame half old, half new does not count yet.
  if (bins[best] * 10 < coloured * 7) return -1;
  const double hue = best * 10 + 5, step = 360.0 / segments;
  const int k = static_cast<int>(std::lround(hue / step)) % segments;
  double off = std::fabs(hue - k * step);
  off = std::min(off, 360 - off);
  return off <= step / 3 ? k : -1;
}

class MpvIpc {
 public:
  explicit MpvIpc(std::string path) : path_(std::move(path)) {}
  ~MpvIpc() {
    if (fd_ >= 0) close(fd_);
  }
  bool connectNow() {
    if (fd_ >= 0) return true;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return true;
    close(fd_);
    fd_ = -1;
    return false;
  }
  bool seek(double seconds) {
    char line[128];
    const int n = std::snprintf(line, sizeof line,
                                "{\"command\": [\"seek\", \"%.3f\", \"absolute\"]}\n", seconds);
    const bool sent = write(fd_, line, n) == n;
    drain();
    return sent;
  }
  // Where the player is (time-pos), NaN when it does not answer in time.
  double position() {
    drain();
    const char line[] = "{\"command\": [\"get_property\", \"time-pos\"], \"request_id\": 77}\n";
    if (write(fd_, line, sizeof line - 1) != static_cast<ssize_t>(sizeof line - 1)) return NAN;
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < deadline) {
      char buffer[4096];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
      const std::size_t reply = got.find("\"request_id\":77");
      const std::size_t start = got.rfind('{', reply);
      const std::size_t data = got.find("\"data\":", start == std::string::npos ? 0 : start);
      if (reply != std::string::npos && data != std::string::npos && data < got.find('}', start))
        return std::atof(got.c_str() + data + 7);
      if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return NAN;
  }
  // Replies and events are read and dropped, so that mpv never blocks on us.
  void drain() {
    char buffer[4096];
    while (recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
};

class Mpris {
 public:
  ~Mpris() {
    if (!bus_) return;
    dbus_connection_close(bus_);
    dbus_connection_unref(bus_);
  }
  bool connectNow() {
    if (bus_) return true;
    DBusError error;
    dbus_error_init(&error);
    bus_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    if (bus_) dbus_connection_set_exit_on_disconnect(bus_, false);
    return bus_ != nullptr;
  }
  // The first video a Quillet opens is track 1, under the application id's
  // path (QUILLET_TRACK for a build with another id).
  bool seek(double seconds) {
    DBusMessage* m =
        dbus_message_new_method_call("org.mpris.MediaPlayer2.quillet", "/org/mpris/MediaPlayer2",
                                     "org.mpris.MediaPlayer2.Player", "SetPosition");
    const char* given = std::getenv("QUILLET_TRACK");
    const char* track = given && *given ? given : "/com/example/Quillet/video/1";
    dbus_int64_t at = static_cast<dbus_int64_t>(seconds * 1e6);
    dbus_message_append_args(m, DBUS_TYPE_OBJECT_PATH, &track, DBUS_TYPE_INT64, &at,
                             DBUS_TYPE_INVALID);
    dbus_message_set_no_reply(m, true);
    const bool sent = dbus_connection_send(bus_, m, nullptr);
    dbus_connection_flush(bus_);
    dbus_message_unref(m);
    return sent;
  }
  // MPRIS Position, in seconds; NaN when it does not answer in time.
  double position() {
    DBusMessage* m =
        dbus_message_new_method_call("org.mpris.MediaPlayer2.quillet", "/org/mpris/MediaPlayer2",
                                     "org.freedesktop.DBus.Properties", "Get");
    const char* interface = "org.mpris.MediaPlayer2.Player";
    const char* property = "Position";
    dbus_message_append_args(m, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus_, m, 500, nullptr);
    dbus_message_unref(m);
    if (!reply) return NAN;
    double seconds = NAN;
    DBusMessageIter top, variant;
    if (dbus_message_iter_init(reply, &top) &&
        dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_VARIANT) {
      dbus_message_iter_recurse(&top, &variant);
      if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT64) {
        dbus_int64_t at = 0;
        dbus_message_iter_get_basic(&variant, &at);
        seconds = static_cast<double>(at) / 1e6;
      }
    }
    dbus_message_unref(reply);
    return seconds;
  }

 private:
  DBusConnection* bus_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: %s (--mpv-ipc SOCKET | --mpris) <segments> <segment seconds> <command> "
                 "[arguments...]\n",
                 argv[0]);
    return 2;
  }
  int arg = 1;
  std::string ipcPath;
  if (!std::strcmp(argv[arg], "--mpv-ipc")) ipcPath = argv[++arg];
  ++arg;
  const int segments = std::atoi(argv[arg++]);
  const double segmentSeconds = std::atof(argv[arg++]);
  char** command = argv + arg;
  if (segments < 2 || segmentSeconds <= 0 || !*command) return 2;

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "seek_latency: no X display\n");
    return 2;
  }
  MpvIpc mpv(ipcPath);
  Mpris mpris;
  const bool useMpv = !ipcPath.empty();

  const pid_t child = startInOwnGroup(command);
  const auto stop = [&] {
    kill(-child, SIGTERM);
    for (int i = 0; i < 150; ++i) {
      if (waitpid(child, nullptr, WNOHANG) == child) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
  };

  // Playing, and its remote control answering.
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline &&
         (shownSegment(display, segments) < 0 || !(useMpv ? mpv.connectNow() : mpris.connectNow())))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (Clock::now() >= deadline) {
    std::fprintf(stderr, "seek_latency: the player showed no picture\n");
    stop();
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));

  // Every seek leaves the segment shown before it.
  std::vector<int> order;
  for (int k = 0; k < segments; ++k) order.push_back((k * 7 + 3) % segments);
  std::vector<long> latencies;
  std::vector<double> offsets;  // where it landed, less the target, less the time since
  for (const int k : order) {
    const double target = (k + 0.5) * segmentSeconds;
    const auto sent = Clock::now();
    if (!(useMpv ? mpv.seek(target) : mpris.seek(target))) {
      latencies.push_back(-1);
      offsets.push_back(NAN);
      continue;
    }
    long ms = -1;
    while (Clock::now() - sent < std::chrono::seconds(5)) {
      if (shownSegment(display, segments) == k) {
        ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
        break;
      }
      if (useMpv) mpv.drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    latencies.push_back(ms);
    const auto shown = Clock::now();
    const double at = ms < 0 ? NAN : useMpv ? mpv.position() : mpris.position();
    offsets.push_back(at - target - std::chrono::duration<double>(Clock::now() - shown).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
  }
  stop();
  XCloseDisplay(display);
  for (std::size_t i = 0; i < latencies.size(); ++i)
    std::printf("%s%ld", i ? " " : "", latencies[i]);
  std::printf("\n");
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (std::isnan(offsets[i]))
      std::printf("%sx", i ? " " : "");
    else
      std::printf("%s%ld", i ? " " : "", std::lround(offsets[i] * 1000));
  }
  std::printf("\n");
  return 0;
}
