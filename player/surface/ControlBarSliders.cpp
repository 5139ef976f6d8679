#include "player/surface/ControlBarSliders.h"

#include <QPainter>

#include "player/surface/Layout.h"

namespace quillet::player {

QColor faintShade(const QColor& front) {
  QColor c = front;
  c.setAlpha(70);
  return c;
}

QColor halfShade(const QColor& front) {
  QColor c = front;
  c.setAlpha(140);
  return c;
}

void SeekSlider::paint(QPainter& p, double loadedFraction, double playedFraction,
                       const QColor& front) const {
  if (area_.isEmpty()) return;
  p.fillRect(progressTrack(area_), faintShade(front));
  p.fillRect(progressFilled(area_, loadedFraction), halfShade(front));
  p.fillRect(progressFilled(area_, playedFraction), front);
  p.fillRect(progressHandle(area_, playedFraction), front);
}

double SeekSlider::fractionAt(int x) const {
  return progressFractionAt(area_, x);
}

void VolumeSlider::paint(QPainter& p, int percent, const QColor& front) const {
  p.fillRect(volumeFilled(area_, 100), faintShade(front));
  p.fillRect(volumeFilled(area_, percent), front);
}

int VolumeSlider::percentAt(int x) const {
  return volumeAt(area_, x);
}

}  // namespace quillet::player
