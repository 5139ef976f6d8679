#pragma once
// Painting the control bar and the overlays above it. Pure drawing from a
// layout and what the player shows at the moment; no state of its own.

#include <QColor>
#include <QRect>
#include <QString>

#include "player/surface/Layout.h"

class QPainter;

namespace quillet::player {

// What the bar shows at a moment.
struct BarLook {
  QColor front, back;
  bool shadow = true;
  bool screenButtons = true;
  bool playing = false;
  bool muted = false;
  bool fullScreen = false;
  double loadedFraction = 0;
  double playedFraction = 0;
  int volume = 0;
  QString time;
};

// Draws the parts of the bar (and its shadow) that meet dirty.
void paintControlBar(QPainter& p, const BarLayout& bar, const BarLook& look, const QRect& dirty);

// The overlays: the round play symbol, the buffering indicator and the
// message that covers the stage when the video is not found.
void paintPlaySymbol(QPainter& p, const QRect& area);
void paintLoadIndicator(QPainter& p, const QRect& area);
void paintMessage(QPainter& p, const QRect& stage, const QString& text);

}  // namespace quillet::player
