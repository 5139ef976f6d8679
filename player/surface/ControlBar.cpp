#include "player/surface/ControlBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quillet::player {

namespace {

// The bar's paler shades of its front colour: the empty tracks, and the
// loaded part and the screen button.
constexpr int kFaint = 70, kHalf = 140;

QColor shade(const QColor& front, int alpha) {
  QColor c = front;
  c.setAlpha(alpha);
  return c;
}

// The seek slider: the loaded and played parts of its track, and the handle.
void paintSeekSlider(QPainter& p, const QRect& area, double loaded, double played,
                     const QColor& front) {
  if (area.isEmpty()) return;
  p.fillRect(progressTrack(area), shade(front, kFaint));
  p.fillRect(progressFilled(area, loaded), shade(front, kHalf));
  p.fillRect(progressFilled(area, played), front);
  p.fillRect(progressHandle(area, played), front);
}

void paintVolumeSlider(QPainter& p, const QRect& area, int percent, const QColor& front) {
  p.fillRect(volumeFilled(area, 100), shade(front, kFaint));
  p.fillRect(volumeFilled(area, percent), front);
}

void paintPlayPause(QPainter& p, const QRectF& pp, bool playing) {
  if (playing) {
    p.drawRect(QRectF(pp.left() + 5, pp.top() + 4, 3.5, pp.height() - 8));
    p.drawRect(QRectF(pp.right() - 7.5, pp.top() + 4, 3.5, pp.height() - 8));
    return;
  }
  QPainterPath triangle;
  triangle.moveTo(pp.left() + 5, pp.top() + 3.5);
  triangle.lineTo(pp.right() - 3, pp.center().y());
  triangle.lineTo(pp.left() + 5, pp.bottom() - 3.5);
  triangle.closeSubpath();
  p.drawPath(triangle);
}

// The mute toggle: a loudspeaker, crossed out while muted.
void paintMute(QPainter& p, const QRectF& m, bool muted, const QColor& front) {
  const qreal cy = m.center().y();
  QPainterPath speaker;
  speaker.moveTo(m.left() + 1, cy - 2.5);
  speaker.lineTo(m.left() + 4, cy - 2.5);
  speaker.lineTo(m.left() + 8, cy - 6);
  speaker.lineTo(m.left() + 8, cy + 6);
  speaker.lineTo(m.left() + 4, cy + 2.5);
  speaker.lineTo(m.left() + 1, cy + 2.5);
  speaker.closeSubpath();
  p.setPen(Qt::NoPen);
  p.drawPath(speaker);
  p.setPen(QPen(front, 1.5));
  if (muted) {
    p.drawLine(QPointF(m.left() + 10, cy - 3), QPointF(m.left() + 15, cy + 3));
    p.drawLine(QPointF(m.left() + 10, cy + 3), QPointF(m.left() + 15, cy - 3));
  } else {
    p.drawArc(QRectF(m.left() + 6, cy - 4, 6, 8), -60 * 16, 120 * 16);
  }
}

void paintScreenButton(QPainter& p, const QRect& area, bool fullScreen, const QColor& front) {
  const QRectF s = QRectF(area).adjusted(2.5, 3.5, -2.5, -3.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(front, 1.5));
  p.drawRect(s);
  if (fullScreen) {
    // Normal size: a smaller window inside the frame.
    p.fillRect(QRectF(s.left() + 2.5, s.top() + 2.5, s.width() / 2, s.height() / 2), front);
  } else {
    p.fillRect(s.adjusted(2.5, 2.5, -2.5, -2.5), shade(front, kHalf));
  }
}

}  // namespace

void paintControlBar(QPainter& p, const BarLayout& b, const BarLook& look, const QRect& dirty) {
  if (look.shadow && b.shadow.intersects(dirty)) {
    QLinearGradient shade(0, b.shadow.top(), 0, b.shadow.bottom() + 1);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(1, QColor(0, 0, 0, 110));
    p.fillRect(b.shadow, shade);
  }
  // A new video frame repaints only the picture (and the shadow over it):
  // the bar itself is drawn when it changes.
  if (!b.bar.intersects(dirty)) return;
  p.fillRect(b.bar, look.back);

  p.setPen(Qt::NoPen);
  p.setBrush(look.front);
  paintPlayPause(p, b.playPause, look.playing);
  paintSeekSlider(p, b.progress, look.loadedFraction, look.playedFraction, look.front);

  p.setPen(look.front);
  QFont font = p.font();
  font.setPixelSize(11);
  p.setFont(font);
  p.drawText(b.display, Qt::AlignCenter, look.time);

  paintMute(p, b.mute, look.muted, look.front);
  paintVolumeSlider(p, b.volume, look.volume, look.front);
  if (look.screenButtons && !b.screenButton.isEmpty())
    paintScreenButton(p, b.screenButton, look.fullScreen, look.front);
}

void paintPlaySymbol(QPainter& p, const QRect& area) {
  if (area.isEmpty()) return;
  const QRectF r = area;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 140));
  p.drawEllipse(r);
  const qreal s = r.width();
  QPainterPath triangle;
  triangle.moveTo(r.left() + s * 0.38, r.top() + s * 0.27);
  triangle.lineTo(r.left() + s * 0.75, r.top() + s * 0.5);
  triangle.lineTo(r.left() + s * 0.38, r.top() + s * 0.73);
  triangle.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(triangle);
}

void paintLoadIndicator(QPainter& p, const QRect& area) {
  const QRectF r = QRectF(area).adjusted(4, 4, -4, -4);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 90), 4));
  p.drawEllipse(r);
  p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(r, 90 * 16, -100 * 16);
}

void paintMessage(QPainter& p, const QRect& stage, const QString& text) {
  p.fillRect(stage, QColor(0, 0, 0, 215));
  p.setPen(Qt::white);
  QFont font = p.font();
  font.setPixelSize(13);
  p.setFont(font);
  // A margin keeps a long sentence off the edges of a small player.
  p.drawText(stage.adjusted(8, 0, -8, 0), Qt::AlignCenter | Qt::TextWordWrap, text);
}

}  // namespace quillet::player
