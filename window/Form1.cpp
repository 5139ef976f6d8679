#include "window/Form1.h"

#include <cmath>
#include <limits>

#include "shell/Association.h"
#include "shell/CommandLine.h"
#include "shell/WebLinks.h"
#include "window/LoadError.h"

namespace quillet {
namespace {

// Steps 1 to 6 of the load have no error suppression: a failure there ends
// the program.
void require(const Status& status, const char* step) {
  if (!status) throw WindowLoadError(step);
}

double require(const Maybe<double>& value, const char* step) {
  if (!value) throw WindowLoadError(step);
  return *value;
}

std::int16_t roundToInt16(double value, const char* step) {
  const double r = std::nearbyint(value);
  if (!std::isfinite(r) || r < std::numeric_limits<std::int16_t>::min() ||
      r > std::numeric_limits<std::int16_t>::max())
    throw WindowLoadError(step);
  return static_cast<std::int16_t>(r);
}

// Layout values are worked out in double precision and handed over in single.
float single(double value) {
  return static_cast<float>(value);
}

}  // namespace

Form1::Form1(Platform& platform)
    : platform(platform),
      tempNames(platform.files),
      fileDrop(platform.drops, [this](std::string path) { GotADrop(std::move(path)); }) {
  platform.window.setEvents(this);
}

Form1::~Form1() {
  platform.window.setEvents(nullptr);
}

void Form1::Show() {
  Form_Load();
  skipOnFailure(platform.window.show());
}

void Form1::Form_Load() {
  Window& window = platform.window;

  // The frame's height: the outer height without and then with the sizable
  // border and caption bar; the border changes keep the client area.
  require(window.setBorderStyle(kBorderNone), "border style");
  require(window.setCaption("Quillet"), "caption");
  frameHeight = roundToInt16(require(window.height(), "height"), "height");
  require(window.setBorderStyle(kBorderSizable), "border style");
  require(window.setCaption("Quillet"), "caption");
  frameHeight = roundToInt16(require(window.height(), "height") - frameHeight, "frame height");

  // From here every step that fails is skipped and the next one runs.
  CreatePlayerControl();
  AssociateFileType(platform.registry, ".flv", "image", platform.files.exePath());
  skipOnFailure(window.setWidth(single(640 * platform.screen.twipsPerPixelX())));
  if (auto panelHeight = window.picture3().height())
    skipOnFailure(window.setHeight(
        single(480 * platform.screen.twipsPerPixelY() + *panelHeight - frameHeight)));
  fileDrop.EnableFileDrop(window.hWnd());
  moviePath = tempNames.MakeTempFileName("TMP");
  ExtractResourceToFile(kPlayerMovieResource, moviePath);
  LoadIdlePlayer();
  if (!GetCommandArgument(platform.processes, "").empty())
    GotADrop(GetCommandArgument(platform.processes, ""));
  skipOnFailure(window.webBrowser1().navigate(bannerAddress()));
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
  const double frame = frameHeight;

  if (auto h = window.height(); h)
    if (auto ph = panel.height(); ph)
      if (auto bh = banner.height(); bh)
        skipOnFailure(panel.setTop(single(*h - *ph - frame - *bh)));
  if (auto w = window.width()) skipOnFailure(panel.setWidth(single(*w)));
  if (ctrl) {
    if (auto h = window.height(); h)
      if (auto ph = panel.height(); ph)
        if (auto bh = banner.height(); bh)
          skipOnFailure(ctrl->setHeight(Value(single(*h - *ph - frame - *bh))));
    if (auto w = window.width()) skipOnFailure(ctrl->setWidth(Value(single(*w))));
  }
  if (auto h = window.height(); h)
    if (auto bh = banner.height(); bh) skipOnFailure(banner.setTop(single(*h - frame - *bh)));
  if (auto w = window.width()) skipOnFailure(banner.setWidth(single(*w - 100)));
}

void Form1::Form_Unload() {
  fileDrop.DisableFileDrop(platform.window.hWnd());
  if (!moviePath.empty()) skipOnFailure(platform.files.deleteFile(moviePath));
}

}  // namespace quillet
