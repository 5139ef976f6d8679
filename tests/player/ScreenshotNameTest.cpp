// A screenshot's name: the video's name and the time, shortened where the
// video's name is long so that the file can be made at all.
#include "player/surface/Screenshot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quillet::player {
namespace {

TEST(ScreenshotName, ALongVideoNameIsShortenedOnACharacterSoTheFileCanBeMade) {
  EXPECT_EQ(screenshotName("clip", 83.456), "clip 01-23.456.png");
  EXPECT_EQ(screenshotName("clip", 6000.5), "clip 100-00.500.png");  // minutes past 59

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray folder = QFile::encodeName(dir.path());
  const QByteArray e = "\xc3\xa9";              // é, two bytes
  const QByteArray kanji = "\xe6\x97\xa5";      // 日, three bytes
  const QByteArray emoji = "\xf0\x9f\x8e\xac";  // 🎬, four bytes
  for (const QByteArray& base :
       {QByteArray(300, 'a'), QByteArray(240, 'b'), e.repeated(140), kanji.repeated(90),
        "x" + emoji.repeated(70), QByteArray(234, 'c') + kanji + "d"}) {
    SCOPED_TRACE(base.size());
    const QByteArray name = screenshotName(base, 83.456);
    EXPECT_LE(name.size() + 7, 255);  // room for " (1000)"
    EXPECT_TRUE(name.endsWith(" 01-23.456.png")) << name.toStdString();
    const QByteArray kept = name.chopped(14);
    EXPECT_TRUE(base.startsWith(kept));
    EXPECT_GE(kept.size(), 230);  // only what does not fit goes
    EXPECT_TRUE(QString::fromUtf8(kept).toUtf8() == kept) << "cut inside a character";
    // The file is made, and a second of the same name beside it.
    QString why;
    ASSERT_EQ(writeNewFile(folder, name, "png", &why), name) << why.toStdString();
    EXPECT_EQ(writeNewFile(folder, name, "png", &why), kept + " 01-23.456 (2).png")
        << why.toStdString();
  }
  // A name that fits is kept whole.
  const QByteArray fits(200, 'f');
  EXPECT_EQ(screenshotName(fits, 1), fits + " 00-01.000.png");
}

}  // namespace
}  // namespace quillet::player
