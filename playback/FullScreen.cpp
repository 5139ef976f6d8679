#include <cstdint>

#include "playback/Numbers.h"
#include "playback/PlayerControl.h"
#include "window/Form1.h"

namespace quillet {

namespace {

constexpr const char* kCaption = "Quillet";

// Whole pixels of a screen extent, in 32 bits so no real screen is too large.
// Divided as reals: with a fractional twips-per-pixel factor (7.5 at 192 DPI)
// an integer factor would give a window that misses the screen's edges.
Maybe<std::int32_t> wholePixels(Maybe<double> twips, double twipsPerPixel) {
  if (!twips || !(twipsPerPixel > 0)) return std::nullopt;
  return roundToInt32(*twips / twipsPerPixel);
}

}  // namespace

void Form1::ctrl_ObjectEvent(const std::string& eventName, const Values& params) {
  if (eventName != "FSCommand") return;
  if (params.empty() || asText(params[0]) != "screen") return;
  if (params.size() < 2) return;
  const std::string argument = asText(params[1]);
  if (argument == "full") {
    EnterFullScreen();
  } else if (argument == "normal") {
    LeaveFullScreen();
  }
}

void Form1::EnterFullScreen() {
  Window& window = platform.window;
  Screen& screen = platform.screen;

  // Only the way in records where to go back to: a second "full" must not
  // make the full-screen geometry the one that "normal" restores.
  if (!fullScreen) {
    if (auto h = roundToInt32(window.height())) savedHeight = *h;
    if (auto w = roundToInt32(window.width())) savedWidth = *w;
    savedTop = window.outerTop();
    savedLeft = window.outerLeft();
    fullScreen = true;
  }

  skipOnFailure(window.setBorderStyle(kBorderNone));
  skipOnFailure(window.setCaption(kCaption));

  auto pixelsX = wholePixels(screen.widthTwips(), screen.twipsPerPixelX());
  auto pixelsY = wholePixels(screen.heightTwips(), screen.twipsPerPixelY());
  // The screen the window is on, which need not start at the desktop's origin.
  if (auto top = screen.topTwips()) skipOnFailure(window.setTop(*top));
  if (auto left = screen.leftTwips()) skipOnFailure(window.setLeft(*left));
  if (pixelsX) skipOnFailure(window.setWidth(*pixelsX * screen.twipsPerPixelX()));
  if (pixelsY) skipOnFailure(window.setHeight(*pixelsY * screen.twipsPerPixelY()));
  skipOnFailure(window.picture3().setVisible(false));

  // After the layout that the size change ran, the control takes the whole window.
  Extender& control = controlOrNone(ctrl);
  skipOnFailure(control.setTop(std::int16_t{0}));
  if (auto w = toSingle(window.width())) skipOnFailure(control.setWidth(*w));
  if (auto h = toSingle(window.height())) skipOnFailure(control.setHeight(*h));
}

void Form1::LeaveFullScreen() {
  // Outside full screen there is nothing to go back to.
  if (!fullScreen) return;

  Window& window = platform.window;
  // A window that refuses its border stays in full screen, ready for the
  // next "normal".
  if (!window.setBorderStyle(kBorderSizable)) return;
  if (!window.setCaption(kCaption)) return;
  fullScreen = false;

  skipOnFailure(window.setTop(savedTop.value_or(0.0)));
  if (savedLeft) skipOnFailure(window.setLeft(*savedLeft));
  skipOnFailure(window.setWidth(savedWidth));
  skipOnFailure(window.setHeight(savedHeight));

  Extender& control = controlOrNone(ctrl);
  skipOnFailure(control.setWidth(std::int32_t{savedWidth}));
  if (auto panelH = window.picture3().height())
    skipOnFailure(control.setHeight(static_cast<double>(savedHeight) - *panelH -
                                    static_cast<double>(frameHeight)));
  skipOnFailure(window.picture3().setVisible(true));
  skipOnFailure(control.setTop(std::int16_t{0}));
}

}  // namespace quillet
