#include "player/surface/TimeText.h"

#include <gtest/gtest.h>

#include <limits>

using quillet::player::spokenTimeText;
using quillet::player::timeText;

TEST(TimeText, StartsAtZeroAndPadsBothFields) {
  EXPECT_EQ(timeText(0), "00:00");
  EXPECT_EQ(timeText(7), "00:07");
  EXPECT_EQ(timeText(65), "01:05");
  EXPECT_EQ(timeText(600), "10:00");
  EXPECT_EQ(timeText(599), "09:59");
  EXPECT_EQ(timeText(3725), "62:05");
  EXPECT_EQ(timeText(100 * 60 + 1), "100:01");
}

TEST(TimeText, RoundsTheTotalBeforeSplittingAtMinuteEdges) {
  EXPECT_EQ(timeText(59.4), "00:59");
  EXPECT_EQ(timeText(59.5), "01:00");
  EXPECT_EQ(timeText(59.6), "01:00");
  EXPECT_EQ(timeText(119.7), "02:00");
  EXPECT_EQ(timeText(0.49), "00:00");
  EXPECT_EQ(timeText(9.5), "00:10");
  EXPECT_EQ(timeText(599.5), "10:00");
}

TEST(TimeText, NonsenseReadsAsZero) {
  EXPECT_EQ(timeText(-3), "00:00");
  EXPECT_EQ(timeText(std::numeric_limits<double>::quiet_NaN()), "00:00");
  EXPECT_EQ(timeText(-std::numeric_limits<double>::infinity()), "00:00");
  // Huge values stay defined and readable.
  EXPECT_FALSE(timeText(std::numeric_limits<double>::infinity()).isEmpty());
  EXPECT_FALSE(timeText(1e300).isEmpty());
}

TEST(TimeText, SpokenFormDropsLeadingZerosAndCountsHours) {
  EXPECT_EQ(spokenTimeText(0), "0:00");
  EXPECT_EQ(spokenTimeText(83), "1:23");
  EXPECT_EQ(spokenTimeText(59.5), "1:00");
  EXPECT_EQ(spokenTimeText(3599.4), "59:59");
  EXPECT_EQ(spokenTimeText(3723), "1:02:03");
  EXPECT_EQ(spokenTimeText(36000), "10:00:00");
  EXPECT_EQ(spokenTimeText(-1), "0:00");
}
