// Playback's full screen: the switching the player control's events ask for.
#include <cstdint>

#include "playback/Numbers.h"
#include "playback/Playback.h"

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

void Playback::ctrl_ObjectEvent(const std::string& eventName, const Values& params) {
  if (eventName != "FSCommand") return;
  if (params.size() < 2 || asText(params[0]) != "screen") return;
  const std::string argument = asText(params[1]);
  if (argument == "full") {
    EnterFullScreen();
  } else if (argument == "normal") {
    LeaveFullScreen();
  }
}

void Playback::EnterFullScreen() {
  // Only the way in records where to go back to: a second "full" must not
  // make the full-screen geometry the one that "normal" restores.
  if (!fullScreen) {
    if (auto h = roundToInt32(window.height())) savedHeight = *h;
    if (auto w = roundToInt32(window.width())) savedWidth = *w;
    savedTop = window.outerTop();
    savedLeft = window.outerLeft();
    fullScreen = true;
  }

  skipOnFailure(trace, "EnterFullScreen: BorderStyle", window.setBorderStyle(kBorderNone));
  skipOnFailure(trace, "EnterFullScreen: Caption", window.setCaption(kCaption));

  auto pixelsX = wholePixels(screen.widthTwips(), screen.twipsPerPixelX());
  auto pixelsY = wholePixels(screen.heightTwips(), screen.twipsPerPixelY());
  // The screen the window is on, which need not start at the desktop's origin.
  skipOnFailure(trace, "EnterFullScreen: window Top", screen.topTwips(),
                [&](double v) { return window.setTop(v); });
  skipOnFailure(trace, "EnterFullScreen: window Left", screen.leftTwips(),
                [&](double v) { return window.setLeft(v); });
  skipOnFailure(trace, "EnterFullScreen: window Width", pixelsX,
                [&](std::int32_t v) { return window.setWidth(v * screen.twipsPerPixelX()); });
  skipOnFailure(trace, "EnterFullScreen: window Height", pixelsY,
                [&](std::int32_t v) { return window.setHeight(v * screen.twipsPerPixelY()); });
  skipOnFailure(trace, "EnterFullScreen: hide the panel", window.picture3().setVisible(false));

  // After the layout that the size change ran, the control takes the whole window.
  Extender& control = controlOrNone(ctrl);
  skipOnFailure(trace, "EnterFullScreen: control Top", control.setTop(std::int16_t{0}));
  skipOnFailure(trace, "EnterFullScreen: control Width", toSingle(window.width()),
                [&](float v) { return control.setWidth(v); });
  skipOnFailure(trace, "EnterFullScreen: control Height", toSingle(window.height()),
                [&](float v) { return control.setHeight(v); });
}

void Playback::LeaveFullScreen() {
  // Outside full screen there is nothing to go back to.
  if (!fullScreen) {
    trace.skipped("LeaveFullScreen", "not in full screen");
    return;
  }

  // A window that refuses its border stays in full screen, ready for the
  // next "normal".
  if (Status s = window.setBorderStyle(kBorderSizable); !s) {
    trace.skipped("LeaveFullScreen: BorderStyle", s.why());
    return;
  }
  if (Status s = window.setCaption(kCaption); !s) {
    trace.skipped("LeaveFullScreen: Caption", s.why());
    return;
  }
  fullScreen = false;

  skipOnFailure(trace, "LeaveFullScreen: window Top", window.setTop(savedTop.value_or(0.0)));
  skipOnFailure(trace, "LeaveFullScreen: window Left", savedLeft,
                [&](double v) { return window.setLeft(v); });
  skipOnFailure(trace, "LeaveFullScreen: window Width", window.setWidth(savedWidth));
  skipOnFailure(trace, "LeaveFullScreen: window Height", window.setHeight(savedHeight));

  Extender& control = controlOrNone(ctrl);
  skipOnFailure(trace, "LeaveFullScreen: control Width",
                control.setWidth(std::int32_t{savedWidth}));
  skipOnFailure(trace, "LeaveFullScreen: control Height", window.picture3().height(),
                [&](double panelH) {
                  return control.setHeight(static_cast<double>(savedHeight) - panelH -
                                           static_cast<double>(host.measuredFrameHeight()));
                });
  skipOnFailure(trace, "LeaveFullScreen: show the panel", window.picture3().setVisible(true));
  skipOnFailure(trace, "LeaveFullScreen: control Top", control.setTop(std::int16_t{0}));
}

}  // namespace quillet
