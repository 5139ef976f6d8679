// The component as the program gets it (createFlashPlayer: the surface on
// libmpv), playing real clips: frames appear and change, the controls act on
// real playback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>
#include <tuple>

#include "player/FlashPlayer.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using Part = FlashPlayerWidget::Part;

namespace {

const QString kMovie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
const QString kClip = QStringLiteral(QUILLET_CLIP_DIR "/moving.flv");
const QString kTinyVp6 = QStringLiteral(QUILLET_TEST_DATA "/vp6f_videoonly_300x35_tiny.flv");
const QString kVp6WithSound = QStringLiteral(QUILLET_TEST_DATA "/vp6f_mp3_on2_clip.flv");
constexpr int kPatience = 8000;  // ms; generous for a loaded 2-core machine

class RealPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(kClip)) GTEST_SKIP() << "no ffmpeg-made clip";
    widget = quillet::player::createFlashPlayer();
    ASSERT_NE(widget, nullptr) << "libmpv could not be initialised";
    player = qobject_cast<FlashPlayerWidget*>(widget.get());
    ASSERT_NE(player, nullptr);
    player->setProperty("BGColor", QStringLiteral("000000"));
    player->setProperty("Menu", false);
    player->resize(400, 300);
    player->show();
  }

  void load(const QString& vars) {
    player->setProperty("FlashVars", vars);
    QMetaObject::invokeMethod(player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  }

  void click(QPoint pos) {
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, pos, player->mapToGlobal(pos), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                    Qt::NoModifier);
      QApplication::sendEvent(player, &e);
    }
  }
  void click(Part part) { click(player->partRect(part).center()); }

  // The video area as drawn now.
  QImage videoPicture() const {
    return player->grab(player->partRect(Part::Video))
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }
  static bool hasPicture(const QImage& image) {
    for (int y = 0; y < image.height(); y += 4) {
      for (int x = 0; x < image.width(); x += 4) {
        if (qGray(image.pixel(x, y)) > 40) return true;
      }
    }
    return false;
  }

  std::unique_ptr<QWidget> widget;
  FlashPlayerWidget* player = nullptr;
};

}  // namespace

TEST_F(RealPlayer, FramesAppearAndChangeWhilePlaying) {
  load(QStringLiteral("fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=") +
       kClip);
  ASSERT_TRUE(QTest::qWaitFor([&] { return hasPicture(videoPicture()); }, kPatience));
  const QImage first = videoPicture();
  ASSERT_TRUE(QTest::qWaitFor([&] { return videoPicture() != first; }, kPatience));
  EXPECT_EQ(player->partRect(Part::Video), QRect(18, 0, 364, 273));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == "00:01"; }, kPatience));
  EXPECT_NEAR(player->duration(), 3.0, 0.2);
  EXPECT_TRUE(player->isShown(Part::Pause));
}

// Frames are drawn straight into the window's own pixels where they can be:
// what the window shows must be the picture, at its place, as the engine's
// own image of it has it.
TEST_F(RealPlayer, TheWindowShowsTheFrameAtItsPlace) {
  QWidget window;
  window.resize(460, 360);
  struct GiveBack {  // the fixture owns the player
    QWidget* player;
    ~GiveBack() { player->setParent(nullptr); }
  } giveBack{player};
  player->setParent(&window);
  player->move(30, 20);
  player->show();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  load(QStringLiteral("autoplay=true&flv=") + kClip);
  ASSERT_TRUE(QTest::qWaitFor([&] { return hasPicture(videoPicture()); }, kPatience));
  click(Part::Pause);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Play); }, kPatience));
  QTest::qWait(300);  // the last frame before the pause is on the screen

  const QRect video = player->partRect(Part::Video);
  const QRect inWindow(player->mapTo(&window, video.topLeft()), video.size());
  const QImage shown = window.screen()
                           ->grabWindow(window.winId(), inWindow.x(), inWindow.y(),
                                        inWindow.width(), inWindow.height())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
  const QImage drawn = videoPicture();
  ASSERT_EQ(shown.size(), drawn.size());
  ASSERT_TRUE(hasPicture(shown));
  int differing = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      const QRgb a = shown.pixel(x, y), b = drawn.pixel(x, y);
      if (std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 ||
          std::abs(qBlue(a) - qBlue(b)) > 2)
        ++differing;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << drawn.width() * drawn.height() << " pixels";
}

TEST_F(RealPlayer, AutoplayFalseWaitsForAClickThenPausesAndSeeks) {
  load(QStringLiteral("autoplay=false&flv=") + kClip);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->duration() > 2.5; }, kPatience));
  QTest::qWait(400);
  EXPECT_EQ(player->displayedTime(), "00:00");
  EXPECT_TRUE(player->isShown(Part::PlaySymbol));
  EXPECT_FALSE(player->isRefreshing());

  click(QPoint(200, 100));  // mc_boton
  EXPECT_FALSE(player->isShown(Part::PlaySymbol));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == "00:01"; }, kPatience));

  click(Part::Pause);
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isRefreshing());
  QTest::qWait(300);
  const double pausedAt = player->playedFraction();
  QTest::qWait(500);
  EXPECT_DOUBLE_EQ(player->playedFraction(), pausedAt);

  // A click near the end of the seek bar moves the time there.
  const QRect bar = player->partRect(Part::Progress);
  click(QPoint(bar.x() + bar.width() * 9 / 10, bar.center().y()));
  EXPECT_EQ(player->displayedTime(), "00:03");
  QTest::qWait(300);
  EXPECT_GT(player->playedFraction(), 0.75);
}

TEST_F(RealPlayer, PlaysToTheEndShowsPlayAndStartsAgainFromZero) {
  load(QStringLiteral("autoplay=true&flv=") + kClip);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->duration() > 2.5; }, kPatience));
  const QRect bar = player->partRect(Part::Progress);
  click(QPoint(bar.right() - 2, bar.center().y()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Play); }, kPatience));
  EXPECT_EQ(player->displayedTime(), "00:03");
  EXPECT_FALSE(player->isRefreshing());
  click(Part::Play);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == "00:01"; }, kPatience));
  EXPECT_TRUE(player->isShown(Part::Pause));
}

// At the end the movie pauses on the last picture: the picture stays, and
// the position the media controls read is the end the bar shows, whether
// the video played there or was sought near it.
TEST_F(RealPlayer, AtTheEndThePictureAndThePositionStay) {
  for (const QString& clip : {kClip, kVp6WithSound}) {
    for (const bool sought : {false, true}) {
      SCOPED_TRACE((clip + (sought ? " sought near its end" : " played to its end")).toStdString());
      SetUp();  // a player of its own each time
      load(QStringLiteral("autoplay=true&flv=") + clip);
      quillet::player::PlaybackControl& playback = player->playback();
      ASSERT_TRUE(QTest::qWaitFor([&] { return playback.position() > 0.1; }, kPatience));
      const double duration = playback.duration();
      if (sought)
        playback.seekTo(duration - 0.4);
      else
        playback.seekTo(duration - 1.5);  // the last second and a half, played
      ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Play); }, kPatience));
      QTest::qWait(500);  // what libmpv does after the end has come
      EXPECT_NEAR(playback.position(), duration, 0.3);
      EXPECT_NEAR(player->playedFraction(), 1.0, 0.05);
      EXPECT_TRUE(hasPicture(videoPicture())) << "the picture went black";
      EXPECT_EQ(playback.state(), quillet::player::PlaybackControl::State::Paused);
    }
  }
}

TEST_F(RealPlayer, ShiftArrowsSeekExactlyAndTheTitleComesFromTheMetadata) {
  load(QStringLiteral("fullscreen=true&autoplay=false&flv=") + kClip);
  quillet::player::PlaybackControl& playback = player->playback();
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback.canSeek(); }, kPatience));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return playback.title() == "Moving test picture"; }, kPatience));
  // Between key frames (one a second): an exact seek lands where asked (the
  // clip's first frame is a little after 0), a key-frame seek would land on
  // the second.
  playback.seekTo(0.4);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return std::abs(playback.position() - 0.4) < 0.03; }, kPatience));
  for (const auto& [modifiers, key, target] : {std::tuple{Qt::ShiftModifier, Qt::Key_Right, 1.4},
                                               std::tuple{Qt::ShiftModifier, Qt::Key_Right, 2.4},
                                               std::tuple{Qt::ShiftModifier, Qt::Key_Left, 1.4},
                                               std::tuple{Qt::NoModifier, Qt::Key_Left, 0.0}}) {
    QTest::keyClick(player, key, modifiers);
    // Settled there: the position reported a while later is still the target.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          QTest::qWait(150);
          return std::abs(playback.position() - target) < 0.06;
        },
        kPatience))
        << target << " but at " << playback.position();
  }
  EXPECT_EQ(playback.state(), quillet::player::PlaybackControl::State::Stopped);
}

// The reader gives the length, and so the seek bar, before libmpv has
// opened the file: a seek made at once still lands, and stays.
TEST_F(RealPlayer, ASeekAsSoonAsTheBarAllowsLandsWhileTheFileStillOpens) {
  load(QStringLiteral("autoplay=false&flv=") + kClip);
  quillet::player::PlaybackControl& playback = player->playback();
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback.canSeek(); }, kPatience));
  playback.seekTo(2.0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return hasPicture(videoPicture()); }, kPatience));
  QTest::qWait(500);  // whatever the loaded file reports comes in
  EXPECT_NEAR(playback.position(), 2.0, 0.06);
}

TEST_F(RealPlayer, AMissingFileShowsTheErrorLayer) {
  load(QStringLiteral("autoplay=true&flv=/nonexistent/quillet/missing.flv"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Message); }, kPatience));
  EXPECT_FALSE(player->isRefreshing());
  // A file that is no video at all.
  load(QStringLiteral("autoplay=true&flv=") + kMovie);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Message); }, kPatience));
}

TEST_F(RealPlayer, RealVp6FilesPlayFittedToTheirSize) {
  if (!QFile::exists(kTinyVp6)) GTEST_SKIP() << "no VP6 test data";
  load(QStringLiteral("autoplay=true&flv=") + kTinyVp6);
  // 300x35: full width, centred vertically in the 400x273 area.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return player->partRect(Part::Video) == QRect(0, 113, 400, 47); }, kPatience));
  ASSERT_TRUE(QTest::qWaitFor([&] { return hasPicture(videoPicture()); }, kPatience));

  load(QStringLiteral("autoplay=true&flv=") + kVp6WithSound);
  ASSERT_TRUE(QTest::qWaitFor([&] { return hasPicture(videoPicture()); }, kPatience));
  const QImage first = videoPicture();
  ASSERT_TRUE(QTest::qWaitFor([&] { return videoPicture() != first; }, kPatience));
}
