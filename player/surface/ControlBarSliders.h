#pragma once
// The bar's two sliders as painted pieces: the seek slider (loaded and
// played parts, with a handle) and the volume slider. Each paints itself
// into its area and says what a pointer at x selects; the areas come from
// the bar's layout.

#include <QColor>
#include <QRect>

class QPainter;

namespace quillet::player {

class SeekSlider {
 public:
  explicit SeekSlider(const QRect& area) : area_(area) {}
  void paint(QPainter& p, double loadedFraction, double playedFraction, const QColor& front) const;
  // The fraction of the stream at a horizontal position, 0 to 1.
  double fractionAt(int x) const;

 private:
  QRect area_;
};

class VolumeSlider {
 public:
  explicit VolumeSlider(const QRect& area) : area_(area) {}
  void paint(QPainter& p, int percent, const QColor& front) const;
  // The volume, 0 to 100, at a horizontal position.
  int percentAt(int x) const;

 private:
  QRect area_;
};

// The bar's paler shades of its front colour.
QColor faintShade(const QColor& front);  // empty tracks
QColor halfShade(const QColor& front);   // the loaded part, the screen button

}  // namespace quillet::player
