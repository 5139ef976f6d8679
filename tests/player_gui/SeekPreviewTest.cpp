// The seek bar's preview and the offer to go on, with the real engine on
// clips made by ffmpeg: the picture under the pointer is the video's frame
// at that moment, dragging follows, neither the preview nor the note gets
// into a screenshot; a video left at 2:00 offers to go on from there, one
// left at 0:30 does not, and the end forgets the place.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <map>
#include <memory>

#include "player/FlashPlayer.h"
#include "player/PlaybackControl.h"
#include "player/engine/FramePreview.h"
#include "player/resume/PlaceStore.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using Part = FlashPlayerWidget::Part;

#ifndef QUILLET_FFMPEG
#define QUILLET_FFMPEG "ffmpeg"
#endif

namespace {

const QString kMovie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
const QString kGrey = QStringLiteral(QUILLET_CLIP_DIR "/grey.flv");
const QString kLong = QStringLiteral(QUILLET_CLIP_DIR "/long.flv");
constexpr int kPatience = 8000;  // ms; generous for a loaded 2-core machine

// The grey of the clip's frame at seconds, as ffmpeg decodes it: decoded up
// to there, since FFmpeg 5's seek before the input lands late in this clip.
double frameGrey(double seconds) {
  QProcess ffmpeg;
  ffmpeg.start(QStringLiteral(QUILLET_FFMPEG),
               {"-loglevel", "error", "-i", kGrey, "-ss", QString::number(seconds), "-frames:v",
                "1", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
  if (!ffmpeg.waitForFinished(kPatience)) return -1;
  const QByteArray pixels = ffmpeg.readAllStandardOutput();
  double sum = 0;
  for (const char c : pixels) sum += static_cast<unsigned char>(c);
  return pixels.isEmpty() ? -1 : sum / pixels.size();
}

// The mean grey of the middle half of an area of an image.
double meanGrey(const QImage& image, QRect area) {
  area = QRect(area.x() + area.width() / 4, area.y() + area.height() / 4, area.width() / 2,
               area.height() / 2);
  double sum = 0;
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x, ++n) sum += qGray(image.pixel(x, y));
  return n ? sum / n : -1;
}

class PlayerWithPlaces : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(kGrey) || !QFile::exists(kLong)) GTEST_SKIP() << "no ffmpeg-made clips";
    ASSERT_TRUE(state.isValid() && config.isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    makePlayer();
  }
  void TearDown() override {
    widget.reset();
    qunsetenv("XDG_STATE_HOME");
    qunsetenv("XDG_CONFIG_HOME");
  }

  void makePlayer() {
    widget = quillet::player::createFlashPlayer();
    ASSERT_NE(widget, nullptr) << "libmpv could not be initialised";
    player = qobject_cast<FlashPlayerWidget*>(widget.get());
    player->setProperty("BGColor", QStringLiteral("000000"));
    player->resize(480, 387);
    player->show();
  }

  void load(const QString& clip, bool autoplay) {
    player->setProperty(
        "FlashVars", QStringLiteral("autoplay=%1&flv=%2").arg(autoplay ? "true" : "false", clip));
    QMetaObject::invokeMethod(player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->playback().canSeek(); }, kPatience));
  }

  void mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons held) {
    QMouseEvent e(type, pos, player->mapToGlobal(pos),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(player, &e);
  }
  QPoint barAt(double fraction) const {
    const QRect bar = player->partRect(Part::Progress);
    return {bar.left() + static_cast<int>(std::lround(fraction * (bar.width() - 1))),
            bar.center().y()};
  }
  // The preview's picture once it shows the moment under the pointer.
  double previewGrey() {
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->seekPreviewPictureCurrent(); }, kPatience));
    return meanGrey(player->grab().toImage(), player->seekPreviewPictureRect());
  }
  double videoGrey() { return meanGrey(player->grab().toImage(), player->partRect(Part::Video)); }

  void seekAndWait(double seconds) {
    player->playback().seekTo(seconds);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::abs(player->playback().position() - seconds) < 1.5; }, kPatience));
  }

  QTemporaryDir state, config;
  std::unique_ptr<QWidget> widget;
  FlashPlayerWidget* player = nullptr;
};

TEST_F(PlayerWithPlaces, HoverAndDragShowTheFrameOfThatMomentNeverInAScreenshot) {
  load(kGrey, false);
  EXPECT_FALSE(player->seekPreviewShown()) << "nothing before the pointer comes";

  // The encoder made nearly every frame of this clip a key frame (the
  // picture changes as a whole): the picture is the one at the pointer's
  // time, or a frame or two before it.
  double last = -1;
  for (double fraction : {0.2, 0.55, 0.9}) {
    SCOPED_TRACE(fraction);
    mouse(QEvent::MouseMove, barAt(fraction), Qt::NoButton);
    ASSERT_TRUE(player->seekPreviewShown());
    const double seconds = player->seekPreviewSeconds();
    EXPECT_NEAR(seconds, fraction * player->duration(), 0.2);
    const double grey = previewGrey();
    EXPECT_GT(grey, last + 20) << "a later moment is lighter";
    last = grey;
    EXPECT_NEAR(grey, frameGrey(seconds), 8);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(player, &leave);
    EXPECT_FALSE(player->seekPreviewShown());
  }

  // Dragging the handle: the preview follows it to its new place.
  mouse(QEvent::MouseButtonPress, barAt(0.1), Qt::LeftButton);
  mouse(QEvent::MouseMove, barAt(0.7), Qt::LeftButton);
  EXPECT_NEAR(player->seekPreviewSeconds(), 0.7 * player->duration(), 0.2);
  const double dragged = previewGrey();
  EXPECT_NEAR(dragged, frameGrey(player->seekPreviewSeconds()), 8);
  mouse(QEvent::MouseButtonRelease, barAt(0.7), Qt::NoButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(player->playback().position() - 14) < 1.5; },
                              kPatience));

  // A screenshot is the video's frame alone: one flat grey, without the
  // preview's dark box and white time or a note.
  player->showNote(QStringLiteral("A note over the picture"));
  mouse(QEvent::MouseMove, barAt(0.3), Qt::NoButton);
  ASSERT_TRUE(player->seekPreviewShown() && !player->note().isEmpty());
  player->copyScreenshot();
  const QImage copied = QApplication::clipboard()->image();
  ASSERT_FALSE(copied.isNull());
  int darkest = 255, lightest = 0;
  for (int y = 0; y < copied.height(); ++y)
    for (int x = 0; x < copied.width(); ++x) {
      darkest = std::min(darkest, qGray(copied.pixel(x, y)));
      lightest = std::max(lightest, qGray(copied.pixel(x, y)));
    }
  EXPECT_LT(lightest - darkest, 16) << "the screenshot shows more than the frame";
  EXPECT_GT(darkest, 100) << "the frame at 14 s is light";
}

TEST_F(PlayerWithPlaces, AVideoLeftAtTwoMinutesOffersToGoOnAndItsEndForgetsThePlace) {
  const QString store = state.path() + "/quillet/places.json";
  const QByteArray clip = QFile::encodeName(QFileInfo(kLong).absoluteFilePath());
  const qint64 size = QFileInfo(kLong).size();

  // Left at 0:30: nothing kept, nothing offered.
  load(kLong, true);
  seekAndWait(30);
  player->playback().pause();
  load(kLong, true);
  QTest::qWait(300);
  EXPECT_FALSE(player->resumeOffer().has_value()) << player->note().toStdString();

  // Left at 2:00, and the player closed.
  seekAndWait(120);
  player->playback().pause();
  makePlayer();
  ASSERT_TRUE(QFile::exists(store));
  EXPECT_EQ(QFile::permissions(store) & 0x0077, 0) << "readable by its owner only";
  EXPECT_EQ((QFile::permissions(store) & (QFile::ReadOwner | QFile::WriteOwner)),
            QFile::ReadOwner | QFile::WriteOwner);
  {
    quillet::player::PlaceStore places(store);
    ASSERT_TRUE(places.place(clip, size).has_value());
    EXPECT_NEAR(*places.place(clip, size), 120, 1.5);
  }

  // Opened again: it starts at 0, the note offers 2:00, Enter goes there.
  load(kLong, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->resumeOffer().has_value(); }, kPatience));
  EXPECT_EQ(player->note(), QStringLiteral("Continue from 02:00 (Enter)"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(player)->text(QAccessible::Description),
            player->note())
      << "read by screen readers";
  EXPECT_LT(player->playback().position(), 5);
  QTest::keyClick(player, Qt::Key_Return);
  EXPECT_FALSE(player->resumeOffer().has_value());
  EXPECT_TRUE(player->note().isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(player->playback().position() - 120) < 2; },
                              kPatience));

  // A click on the note does the same.
  load(kLong, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->resumeOffer().has_value(); }, kPatience));
  player->playback().pause();
  seekAndWait(10);
  mouse(QEvent::MouseButtonPress, QPoint(14, 14), Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, QPoint(14, 14), Qt::NoButton);
  EXPECT_FALSE(player->resumeOffer().has_value());
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(player->playback().position() - 120) < 2; },
                              kPatience));
  player->playback().play();

  // Any other key takes the note away and does what it does.
  load(kLong, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->resumeOffer().has_value(); }, kPatience));
  QTest::keyClick(player, Qt::Key_M);
  EXPECT_FALSE(player->resumeOffer().has_value());
  EXPECT_TRUE(player->note().isEmpty());
  EXPECT_TRUE(player->isMuted());

  // Played to the end: the place is forgotten, and nothing is offered.
  seekAndWait(178);
  player->playback().play();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !quillet::player::PlaceStore(store).place(clip, size).has_value(); }, kPatience))
      << "the place outlived the end";
  EXPECT_GT(player->playback().position(), 178);
  EXPECT_NE(player->playback().state(), quillet::player::PlaybackControl::State::Playing);
  load(kLong, true);
  QTest::qWait(300);
  EXPECT_FALSE(player->resumeOffer().has_value());
}

TEST_F(PlayerWithPlaces, NothingIsKeptWhereTheDesktopKeepsNoRecentFiles) {
  QDir(config.path()).mkpath("gtk-3.0");
  QFile ini(config.path() + "/gtk-3.0/settings.ini");
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Settings]\ngtk-recent-files-enabled=false\n");
  ini.close();
  load(kLong, true);
  seekAndWait(120);
  player->playback().pause();
  load(kLong, true);
  QTest::qWait(300);
  EXPECT_FALSE(player->resumeOffer().has_value());
  EXPECT_FALSE(QFile::exists(state.path() + "/quillet/places.json"));
}

// The preview's own engine, alone: each request gets the picture of its
// moment at the size asked, and a picture handed out stays that moment while
// later ones of the same size are drawn (more of them than the renderer
// keeps buffers).
TEST_F(PlayerWithPlaces, EachRequestGetsItsMomentAndKeepsIt) {
  quillet::player::FramePreview preview;
  std::map<qint64, QImage> pictures;
  QObject::connect(&preview, &quillet::player::FramePreview::pictureReady,
                   [&](qint64 key, const QImage& picture) { pictures[key] = picture; });
  preview.setSource(kGrey);
  const double moments[] = {1, 5, 9, 13, 17};  // 48 grey levels apart
  for (qint64 key = 0; key < 5; ++key) {
    preview.request(key, moments[key], QSize(160, 120));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pictures.count(key) > 0; }, kPatience)) << key;
  }
  for (qint64 key = 0; key < 5; ++key) {
    SCOPED_TRACE(moments[key]);
    ASSERT_EQ(pictures[key].size(), QSize(160, 120));
    // The clip's own grey at that moment, as the preview's RGB shows it.
    EXPECT_NEAR(meanGrey(pictures[key], pictures[key].rect()), 12 * moments[key], 8);
  }
}

}  // namespace
