#include "player/surface/Layout.h"

#include <algorithm>
#include <cmath>

namespace quillet::player {

namespace {

// Buttons and the other bar parts sit inside the bar with this margin.
constexpr int kInset = 4;
constexpr int kPartHeight = kBarHeight - 2 * kInset;
constexpr int kButtonWidth = 19;
constexpr int kGap = 6;
constexpr int kDisplayWidth = 38;
constexpr int kMuteWidth = 16;
constexpr int kShadowHeight = 4;
constexpr int kHandleWidth = 5;
constexpr int kTrackHeight = 5;
constexpr int kPlaySymbolSize = 64;
constexpr int kLoadIndicatorSize = 36;

double clamp01(double f) {
  return std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
}

QRect centred(const QRect& area, int w, int h) {
  return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}

}  // namespace

QRect fitVideo(const QRect& area, QSize video) {
  if (video.width() <= 0 || video.height() <= 0) video = kDefaultVideoSize;
  const int aw = std::max(0, area.width());
  const int ah = std::max(0, area.height());
  const double vw = video.width();
  const double vh = video.height();
  const int fullHeightWidth = static_cast<int>(std::lround(ah * vw / vh));
  if (fullHeightWidth <= aw) {
    return QRect(area.x() + (aw - fullHeightWidth) / 2, area.y(), fullHeightWidth, ah);
  }
  const int fullWidthHeight = std::min(ah, static_cast<int>(std::lround(aw * vh / vw)));
  return QRect(area.x(), area.y() + (ah - fullWidthHeight) / 2, aw, fullWidthHeight);
}

BarLayout layoutBar(QSize stage, bool withScreenButtons) {
  const int w = std::max(0, stage.width());
  const int top = stage.height() - kBarHeight;
  const int partTop = top + kInset;
  BarLayout b;
  b.bar = QRect(0, top, w, kBarHeight);
  b.shadow = QRect(0, top - kShadowHeight, w, kShadowHeight);
  b.playPause = QRect(5, partTop, kButtonWidth, kPartHeight);

  int right = w - 5;
  if (withScreenButtons) {
    b.screenButton = QRect(w - kScreenButtonsFromRight, partTop, kButtonWidth, kPartHeight);
    right = b.screenButton.left() - kGap;
  }
  b.volume = QRect(right - kVolumeWidth, partTop, kVolumeWidth, kPartHeight);
  b.mute = QRect(b.volume.left() - 4 - kMuteWidth, partTop, kMuteWidth, kPartHeight);
  b.display = QRect(b.mute.left() - kGap - kDisplayWidth, partTop, kDisplayWidth, kPartHeight);
  const int progressLeft = b.playPause.right() + 1 + kGap;
  b.progress = QRect(progressLeft, partTop, std::max(0, b.display.left() - kGap - progressLeft),
                     kPartHeight);
  return b;
}

StageLayout layoutStage(QSize stage, QSize video, bool withScreenButtons) {
  StageLayout s;
  const int w = std::max(0, stage.width());
  const int h = std::max(0, stage.height());
  s.stage = QRect(0, 0, w, h);
  s.aboveBar = QRect(0, 0, w, std::max(0, h - kBarHeight));
  s.video = fitVideo(s.aboveBar, video);
  const int symbol = std::min({kPlaySymbolSize, s.aboveBar.width(), s.aboveBar.height()});
  s.playSymbol = centred(s.aboveBar, symbol, symbol);
  s.loadIndicator = centred(s.aboveBar, kLoadIndicatorSize, kLoadIndicatorSize);
  s.loadFits =
      s.aboveBar.width() >= kLoadIndicatorSize && s.aboveBar.height() >= kLoadIndicatorSize;
  s.bar = layoutBar(QSize(w, h), withScreenButtons);
  return s;
}

QRect progressTrack(const QRect& progress) {
  return QRect(progress.x(), progress.y() + (progress.height() - kTrackHeight) / 2,
               progress.width(), kTrackHeight);
}

QRect progressFilled(const QRect& progress, double fraction) {
  const QRect track = progressTrack(progress);
  const int width = static_cast<int>(std::lround(track.width() * clamp01(fraction)));
  return QRect(track.x(), track.y(), width, track.height());
}

QRect progressHandle(const QRect& progress, double fraction) {
  // The handle's centre runs along the track from end to end.
  const int centre =
      progress.x() + static_cast<int>(std::lround(progress.width() * clamp01(fraction)));
  return QRect(centre - kHandleWidth / 2, progress.y() + 2, kHandleWidth, progress.height() - 4);
}

double progressFractionAt(const QRect& progress, int x) {
  if (progress.width() <= 0) return 0;
  return clamp01(static_cast<double>(x - progress.x()) / progress.width());
}

int volumeAt(const QRect& volume, int x) {
  return static_cast<int>(std::lround(progressFractionAt(volume, x) * 100));
}

QRect volumeFilled(const QRect& volume, int percent) {
  const int width =
      static_cast<int>(std::lround(volume.width() * std::clamp(percent, 0, 100) / 100.0));
  return QRect(volume.x(), volume.y() + 4, width, volume.height() - 8);
}

}  // namespace quillet::player
