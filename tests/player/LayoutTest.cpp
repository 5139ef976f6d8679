#include "player/surface/Layout.h"

#include <gtest/gtest.h>

using namespace quillet::player;

TEST(FitVideo, FullHeightCentredHorizontallyWhenNotTooWide) {
  EXPECT_EQ(fitVideo(QRect(0, 0, 400, 273), QSize(320, 240)), QRect(18, 0, 364, 273));
  EXPECT_EQ(fitVideo(QRect(0, 0, 640, 240), QSize(320, 240)), QRect(160, 0, 320, 240));
  // Exactly the area's aspect fills it.
  EXPECT_EQ(fitVideo(QRect(0, 0, 320, 240), QSize(640, 480)), QRect(0, 0, 320, 240));
}

TEST(FitVideo, FullWidthCentredVerticallyWhenFullHeightIsTooWide) {
  EXPECT_EQ(fitVideo(QRect(0, 0, 400, 273), QSize(1280, 720)), QRect(0, 24, 400, 225));
  EXPECT_EQ(fitVideo(QRect(0, 0, 100, 500), QSize(320, 240)), QRect(0, 212, 100, 75));
  // The tiny real VP6 clip: 300x35 in a 320x213 area.
  EXPECT_EQ(fitVideo(QRect(0, 0, 320, 213), QSize(300, 35)), QRect(0, 88, 320, 37));
}

TEST(FitVideo, UnknownSizeCountsAs320By240AndEmptyAreasStayEmpty) {
  EXPECT_EQ(fitVideo(QRect(0, 0, 400, 273), QSize()), fitVideo(QRect(0, 0, 400, 273), {320, 240}));
  EXPECT_EQ(fitVideo(QRect(0, 0, 400, 273), QSize(0, 200)), QRect(18, 0, 364, 273));
  EXPECT_EQ(fitVideo(QRect(0, 0, 400, 273), QSize(-5, -5)), QRect(18, 0, 364, 273));
  EXPECT_TRUE(fitVideo(QRect(0, 0, 0, 0), QSize(320, 240)).isEmpty());
  EXPECT_TRUE(fitVideo(QRect(0, 0, 400, 0), QSize(320, 240)).isEmpty());
  EXPECT_TRUE(fitVideo(QRect(0, 0, 0, 300), QSize(320, 240)).isEmpty());
}

TEST(LayoutBar, BarAlongTheBottomWithPartsLeftToRight) {
  const BarLayout b = layoutBar(QSize(400, 300), true);
  EXPECT_EQ(b.bar, QRect(0, 273, 400, kBarHeight));
  EXPECT_EQ(b.screenButton.left(), 400 - kScreenButtonsFromRight);
  EXPECT_EQ(b.volume.width(), kVolumeWidth);
  EXPECT_EQ(b.shadow.bottom() + 1, b.bar.top());
  const QRect parts[] = {b.playPause, b.progress, b.display, b.mute, b.volume, b.screenButton};
  for (std::size_t i = 0; i < std::size(parts); ++i) {
    EXPECT_TRUE(b.bar.contains(parts[i])) << i;
    if (i > 0) {
      EXPECT_LT(parts[i - 1].right(), parts[i].left()) << i;
    }
  }
  EXPECT_GT(b.progress.width(), 200);
}

TEST(LayoutBar, WithoutScreenButtonsTheRestMovesRight) {
  const BarLayout with = layoutBar(QSize(400, 300), true);
  const BarLayout without = layoutBar(QSize(400, 300), false);
  EXPECT_TRUE(without.screenButton.isNull());
  EXPECT_GT(without.volume.left(), with.volume.left());
  EXPECT_GT(without.progress.width(), with.progress.width());
  EXPECT_LE(without.volume.right(), 399);
}

TEST(LayoutBar, FollowsTheSizeAndNeverGoesNegative) {
  const BarLayout wide = layoutBar(QSize(1920, 1080), true);
  EXPECT_EQ(wide.bar, QRect(0, 1053, 1920, kBarHeight));
  EXPECT_EQ(wide.screenButton.left(), 1895);
  const BarLayout tiny = layoutBar(QSize(60, 10), true);
  EXPECT_EQ(tiny.progress.width(), 0);
  EXPECT_GE(tiny.volume.width(), 0);
  const BarLayout none = layoutBar(QSize(0, 0), false);
  EXPECT_EQ(none.bar.width(), 0);
  EXPECT_EQ(none.progress.width(), 0);
}

TEST(LayoutStage, VideoAboveTheBarAndOverlaysCentred) {
  const StageLayout s = layoutStage(QSize(320, 240), QSize(), true);
  EXPECT_EQ(s.aboveBar, QRect(0, 0, 320, 213));
  EXPECT_EQ(s.video, QRect(18, 0, 284, 213));
  EXPECT_LE((s.playSymbol.center() - s.aboveBar.center()).manhattanLength(), 1);
  EXPECT_TRUE(s.loadFits);
  // Too little room above the bar: the buffering indicator does not fit.
  const StageLayout low = layoutStage(QSize(320, 50), QSize(), true);
  EXPECT_FALSE(low.loadFits);
  EXPECT_EQ(low.aboveBar.height(), 23);
  EXPECT_FALSE(layoutStage(QSize(0, 0), QSize(), true).loadFits);
  EXPECT_TRUE(layoutStage(QSize(10, 10), QSize(), true).video.isEmpty());
}

TEST(ProgressBar, FractionsMapAlongTheBar) {
  const QRect progress(30, 277, 200, 19);
  EXPECT_DOUBLE_EQ(progressFractionAt(progress, 30), 0.0);
  EXPECT_DOUBLE_EQ(progressFractionAt(progress, 130), 0.5);
  EXPECT_DOUBLE_EQ(progressFractionAt(progress, 230), 1.0);
  EXPECT_DOUBLE_EQ(progressFractionAt(progress, -50), 0.0);
  EXPECT_DOUBLE_EQ(progressFractionAt(progress, 900), 1.0);
  EXPECT_DOUBLE_EQ(progressFractionAt(QRect(30, 277, 0, 19), 40), 0.0);
  EXPECT_EQ(progressFilled(progress, 0.25).width(), 50);
  EXPECT_EQ(progressFilled(progress, 3).width(), 200);
  EXPECT_EQ(progressFilled(progress, -1).width(), 0);
  EXPECT_EQ(progressHandle(progress, 0.5).center().x(), 130);
  EXPECT_TRUE(progress.contains(progressTrack(progress)));
}

TEST(VolumeSlider, FortyPixelsForZeroToHundred) {
  const QRect volume(300, 277, kVolumeWidth, 19);
  EXPECT_EQ(volumeAt(volume, 300), 0);
  EXPECT_EQ(volumeAt(volume, 310), 25);
  EXPECT_EQ(volumeAt(volume, 320), 50);
  EXPECT_EQ(volumeAt(volume, 340), 100);
  EXPECT_EQ(volumeAt(volume, 200), 0);
  EXPECT_EQ(volumeAt(volume, 500), 100);
  EXPECT_EQ(volumeFilled(volume, 75).width(), 30);
  EXPECT_EQ(volumeFilled(volume, 150).width(), 40);
}
