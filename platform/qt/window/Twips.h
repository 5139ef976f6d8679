#pragma once
// Twips and pixels: 1440 twips to the inch, so a pixel is 1440 divided by the
// screen's logical dots per inch (15 at 96 DPI).

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <optional>

#include "platform/Status.h"

namespace quillet::qt {

inline QScreen* screenOf(const QWidget* widget) {
  if (widget)
    if (QScreen* s = widget->screen()) return s;
  return QGuiApplication::primaryScreen();
}

inline double twipsPerPixelX(const QWidget* widget) {
  QScreen* s = screenOf(widget);
  const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

inline double twipsPerPixelY(const QWidget* widget) {
  QScreen* s = screenOf(widget);
  const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

// Qt refuses widget sizes beyond this; positions stay within it as well.
inline constexpr int kMaxPixels = 16777215;

// Whole pixels for a twips value, or nullopt when it is not a finite number
// within what a widget can take.
inline std::optional<int> toPixels(double twips, double twipsPerPixel) {
  if (!std::isfinite(twips) || !(twipsPerPixel > 0)) return std::nullopt;
  const double px = std::round(twips / twipsPerPixel);
  if (px > kMaxPixels || px < -kMaxPixels) return std::nullopt;
  return static_cast<int>(px);
}

// The same for a size: negative values are rejected.
inline std::optional<int> toPixelSize(double twips, double twipsPerPixel) {
  if (!(twips >= 0)) return std::nullopt;
  return toPixels(twips, twipsPerPixel);
}

// A child widget's top edge, width or height set in twips, as the logic
// places the window's parts; nullopt or a value no widget can take fails.
inline Status setTopTwips(QWidget& w, std::optional<double> twips) {
  const auto y = twips ? toPixels(*twips, twipsPerPixelY(&w)) : std::nullopt;
  if (!y) return Status::failed("invalid top");
  w.move(w.x(), *y);
  return Status::ok();
}

inline Status setWidthTwips(QWidget& w, std::optional<double> twips) {
  const auto width = twips ? toPixelSize(*twips, twipsPerPixelX(&w)) : std::nullopt;
  if (!width) return Status::failed("invalid width");
  w.resize(*width, w.height());
  return Status::ok();
}

inline Status setHeightTwips(QWidget& w, std::optional<double> twips) {
  const auto height = twips ? toPixelSize(*twips, twipsPerPixelY(&w)) : std::nullopt;
  if (!height) return Status::failed("invalid height");
  w.resize(w.width(), *height);
  return Status::ok();
}

}  // namespace quillet::qt
