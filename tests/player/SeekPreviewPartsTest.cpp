// The seek bar preview's pure parts: which key frame a moment's picture is
// kept under, the picture's size, and the bounded store of pictures.
#include <gtest/gtest.h>

#include <QImage>

#include "player/surface/SeekPreview.h"

using quillet::player::KeyframeIndex;
using quillet::player::PreviewCache;
using quillet::player::previewPictureSize;
using quillet::player::previewPoint;

namespace {

TEST(SeekPreviewParts, AMomentIsKeptUnderItsKeyFrameOrElseItsHalfSecond) {
  const KeyframeIndex index{{0, 2.5, 5, 7.5}, {100, 2000, 4000, 6000}};
  EXPECT_EQ(previewPoint(index, 0).key, 0);
  EXPECT_EQ(previewPoint(index, 4.99).key, 2500);
  EXPECT_EQ(previewPoint(index, 4.99).seconds, 2.5);
  EXPECT_EQ(previewPoint(index, 5).key, 5000);
  EXPECT_EQ(previewPoint(index, 100).key, 7500) << "past the last key frame";
  // Without an index: the half second, sought as such.
  EXPECT_EQ(previewPoint({}, 12.74).key, 12500);
  EXPECT_EQ(previewPoint({}, 12.74).seconds, 12.5);
  EXPECT_EQ(previewPoint({}, -3).key, 0);
  EXPECT_EQ(previewPoint({}, qQNaN()).key, 0);
}

TEST(SeekPreviewParts, ThePictureIsAThirdOfTheWidthInTheVideosShapeWithinTheRoom) {
  EXPECT_EQ(previewPictureSize({320, 267}, {320, 240}, 200), QSize(106, 80));
  EXPECT_EQ(previewPictureSize({1920, 1080}, {1280, 720}, 1000), QSize(480, 270))
      << "full screen: larger, up to 480 wide";
  EXPECT_EQ(previewPictureSize({900, 400}, {1280, 720}, 100), QSize(178, 100))
      << "no taller than the room, the shape kept";
  EXPECT_EQ(previewPictureSize({300, 200}, {}, 300), QSize(100, 75)) << "4:3 until known";
  EXPECT_TRUE(previewPictureSize({30, 30}, {320, 240}, 100).isEmpty());
  EXPECT_TRUE(previewPictureSize({600, 400}, {320, 240}, 5).isEmpty());
}

TEST(SeekPreviewParts, TheStoreKeepsTheMostRecentlyUsedWithinItsBytes) {
  QImage picture(100, 100, QImage::Format_RGB32);  // 40,000 bytes
  PreviewCache cache(3 * picture.sizeInBytes());
  for (qint64 key : {1, 2, 3}) cache.insert(key, picture.copy());
  EXPECT_FALSE(cache.find(1).isNull());  // 1 is now the most recent
  cache.insert(4, picture.copy());
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_TRUE(cache.find(2).isNull()) << "the least recently used went";
  EXPECT_FALSE(cache.find(1).isNull());
  EXPECT_LE(cache.bytes(), 3 * picture.sizeInBytes());
  // The same key again replaces its picture, counted once.
  cache.insert(4, QImage(10, 10, QImage::Format_RGB32));
  EXPECT_EQ(cache.bytes(), 2 * picture.sizeInBytes() + 400);
  // Too large for the whole store: not kept, nothing else lost.
  cache.insert(5, QImage(1000, 1000, QImage::Format_RGB32));
  EXPECT_TRUE(cache.find(5).isNull());
  EXPECT_EQ(cache.size(), 3u);
  cache.clear();
  EXPECT_EQ(cache.bytes(), 0);
  EXPECT_TRUE(cache.find(1).isNull());
}

}  // namespace
