#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <set>

namespace quillet::guitest {
namespace {

const QRgb kFrame = qRgb(51, 51, 102);
const QRgb kField = qRgb(0, 51, 153);
const QRgb kLetters = qRgb(222, 255, 255);

QImage icon(int size) {
  return QImage(QStringLiteral(":/quillet/icons/quillet-%1.png").arg(size))
      .convertToFormat(QImage::Format_RGB32);
}

// The design size: every pixel is frame, field or letter.
TEST(Icon, DrawnToItsDescription) {
  const QImage img = icon(32);
  ASSERT_EQ(img.size(), QSize(32, 32));
  std::set<int> letterRows, letterColumns;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const QRgb p = img.pixel(x, y) | 0xff000000;
      const bool edge = x == 0 || y == 0 || x == 31 || y == 31;
      if (edge) {
        EXPECT_EQ(p, kFrame) << x << "," << y;
      } else if (p == kLetters) {
        letterRows.insert(y);
        letterColumns.insert(x);
      } else {
        EXPECT_EQ(p, kField) << x << "," << y;
      }
    }
  // Letters 9 pixels high, a little below the middle of the field.
  ASSERT_EQ(letterRows.size(), 9u);
  EXPECT_EQ(*letterRows.rbegin() - *letterRows.begin(), 8);
  const double middle = (*letterRows.begin() + *letterRows.rbegin()) / 2.0;
  EXPECT_GT(middle, 15.5);
  EXPECT_LT(middle, 20);
  // Three letters: three runs of columns with gaps between them.
  int runs = 0;
  for (int x = 0; x < 32; ++x)
    if (letterColumns.count(x) && !letterColumns.count(x - 1)) ++runs;
  EXPECT_EQ(runs, 3);
}

TEST(Icon, LargerSizesShowTheSamePicture) {
  for (int size : {48, 64, 128, 256}) {
    const QImage img = icon(size);
    ASSERT_EQ(img.size(), QSize(size, size));
    EXPECT_EQ(img.pixel(0, 0) | 0xff000000, kFrame);
    EXPECT_EQ(img.pixel(size / 2, size / 5) | 0xff000000, kField);
    // The letters' band sits at the same height as in the design size.
    int lettersInBand = 0;
    const int row = static_cast<int>(size * 17.5 / 32);
    for (int x = 0; x < size; ++x)
      if ((img.pixel(x, row) | 0xff000000) == kLetters) ++lettersInBand;
    EXPECT_GT(lettersInBand, size / 8) << size;
  }
}

}  // namespace
}  // namespace quillet::guitest
