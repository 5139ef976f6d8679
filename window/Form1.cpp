#include "window/Form1.h"

#include <cmath>
#include <limits>

#include "shell/Association.h"
#include "shell/CommandLine.h"
#include "shell/FolderVideos.h"
#include "shell/OpenDialog.h"
#include "shell/WebLinks.h"
#include "window/LoadError.h"

namespace quillet {
namespace {

// Steps 1 to 6 of the load have no error suppression: a failure there ends
// the program, and the trace says which step it was.
void require(const AreaTrace& trace, const Status& status, const char* step) {
  if (!status) {
    trace.skipped(step, status.why() + "; the load stops");
    throw WindowLoadError(step);
  }
  trace.ran(step);
}

double require(const AreaTrace& trace, const Maybe<double>& value, const char* step) {
  if (!value) {
    trace.skipped(step, "the window cannot tell; the load stops");
    throw WindowLoadError(step);
  }
  return *value;
}

std::int16_t roundToInt16(const AreaTrace& trace, double value, const char* step) {
  const double r = std::nearbyint(value);
  if (!std::isfinite(r) || r < std::numeric_limits<std::int16_t>::min() ||
      r > std::numeric_limits<std::int16_t>::max()) {
    trace.skipped(step, "out of range; the load stops");
    throw WindowLoadError(step);
  }
  trace.ran(step);
  return static_cast<std::int16_t>(r);
}

// Layout values are worked out in double precision and handed over in single.
float single(double value) {
  return static_cast<float>(value);
}

}  // namespace

Form1::Form1(Platform& platform)
    : platform(platform),
      loadTrace(platform.trace, TraceArea::Load),
      windowTrace(platform.trace, TraceArea::Window),
      tempNames(platform.files, platform.trace),
      fileDrop(platform.drops, platform.trace,
               [this](std::string path) { GotADrop(std::move(path)); }),
      playback(platform.window, platform.screen, platform.controls, platform.trace, *this) {
  platform.window.setEvents(this);
}

Form1::~Form1() {
  platform.window.setEvents(nullptr);
}

void Form1::Show() {
  Form_Load();
  skipOnFailure(loadTrace, "show the window", platform.window.show());
}

void Form1::GotADrop(std::string flvfile) {
  currentVideo = flvfile;
  playback.GotADrop(std::move(flvfile));
}

bool Form1::HasNeighbour(int step) {
  return KnownNeighbour(platform.files, platform.trace, currentVideo, step);
}

Maybe<std::string> Form1::OpenNeighbour(int step) {
  auto path = NeighbourVideo(platform.files, platform.trace, currentVideo, step);
  if (path) GotADrop(*path);
  return path;
}

void Form1::Form_Load() {
  Window& window = platform.window;
  const AreaTrace& trace = loadTrace;

  // The frame's height: the outer height without and then with the sizable
  // border and caption bar; the border changes keep the client area.
  require(trace, window.setBorderStyle(kBorderNone), "border style");
  require(trace, window.setCaption("Quillet"), "caption");
  frameHeight = roundToInt16(trace, require(trace, window.height(), "height"), "height");
  require(trace, window.setBorderStyle(kBorderSizable), "border style");
  require(trace, window.setCaption("Quillet"), "caption");
  frameHeight =
      roundToInt16(trace, require(trace, window.height(), "height") - frameHeight, "frame height");

  // From here every step that fails is skipped and the next one runs.
  playback.CreatePlayerControl();
  AssociateFileType(platform.registry, platform.trace, ".flv", "image", platform.files.exePath());
  skipOnFailure(trace, "window width",
                window.setWidth(single(640 * platform.screen.twipsPerPixelX())));
  skipOnFailure(trace, "window height", window.picture3().height(), [&](double panelHeight) {
    return window.setHeight(
        single(480 * platform.screen.twipsPerPixelY() + panelHeight - frameHeight));
  });
  fileDrop.EnableFileDrop(window.hWnd());
  moviePath = tempNames.MakeTempFileName("TMP");
  ExtractResourceToFile(platform.files, platform.trace, kPlayerMovieResource, moviePath);
  playback.LoadIdlePlayer();
  if (!GetCommandArgument(platform.processes, "").empty()) {
    trace.ran("open the command-line video");
    GotADrop(GetCommandArgument(platform.processes, ""));
  }
  skipOnFailure(trace, "request the banner page", window.webBrowser1().navigate(bannerAddress()));
}

// Stacks the player area, the panel and the banner from the top of the
// client area to its bottom. Each value is read at its own step; a value a
// control rejects (a negative height in a very small window) is skipped.
void Form1::Form_Resize() {
  if (inResize) return;
  inResize = true;
  struct EndOfLayout {
    bool& flag;
    ~EndOfLayout() { flag = false; }
  } endOfLayout{inResize};

  Window& window = platform.window;
  Panel& panel = window.picture3();
  WebBrowser& banner = window.webBrowser1();
  const AreaTrace& trace = windowTrace;
  const double frame = frameHeight;
  // The height left above the panel and the banner, read at the step that needs it.
  const auto playerHeight = [&]() -> Maybe<double> {
    auto h = window.height();
    auto ph = panel.height();
    auto bh = banner.height();
    if (!h || !ph || !bh) return std::nullopt;
    return *h - *ph - frame - *bh;
  };

  skipOnFailure(trace, "Form_Resize: panel Top", playerHeight(),
                [&](double top) { return panel.setTop(single(top)); });
  skipOnFailure(trace, "Form_Resize: panel Width", window.width(),
                [&](double w) { return panel.setWidth(single(w)); });
  if (const auto& ctrl = playback.control()) {
    skipOnFailure(trace, "Form_Resize: control Height", playerHeight(),
                  [&](double h) { return ctrl->setHeight(Value(single(h))); });
    skipOnFailure(trace, "Form_Resize: control Width", window.width(),
                  [&](double w) { return ctrl->setWidth(Value(single(w))); });
  }
  skipOnFailure(
      trace, "Form_Resize: banner Top",
      [&]() -> Maybe<double> {
        auto h = window.height();
        auto bh = banner.height();
        if (!h || !bh) return std::nullopt;
        return *h - frame - *bh;
      }(),
      [&](double top) { return banner.setTop(single(top)); });
  skipOnFailure(trace, "Form_Resize: banner Width", window.width(),
                [&](double w) { return banner.setWidth(single(w - 100)); });
}

void Form1::Form_Unload() {
  fileDrop.DisableFileDrop(platform.window.hWnd());
  if (moviePath.empty())
    windowTrace.skipped("Form_Unload: delete the player movie", "no movie was made");
  else
    skipOnFailure(windowTrace, "Form_Unload: delete the player movie",
                  platform.files.deleteFile(moviePath));
}

// The buttons and the check box reach their shell procedures.
void Form1::OpenFile_Click() {
  quillet::OpenFile_Click(platform.dialogs, platform.files, platform.trace, platform.window.hWnd(),
                          [this](std::string path) { GotADrop(std::move(path)); });
}

void Form1::Command1_Click() {
  quillet::Command1_Click(platform.processes, platform.trace);
}

void Form1::Check1_Click() {
  quillet::Check1_Click(platform.window.check1(), platform.registry, platform.files,
                        platform.trace);
}

}  // namespace quillet
