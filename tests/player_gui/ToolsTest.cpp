// The keys beyond the bar's on the real libmpv engine: speed, single
// frames, screenshots to a folder and to the clipboard, and the notes that
// tell what they did.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <cmath>
#include <memory>

#include "player/engine/MpvEngine.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using quillet::player::MpvEngine;
using quillet::player::PlaybackControl;
using Part = FlashPlayerWidget::Part;

namespace {

const QString kMovie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
const QString kClip = QStringLiteral(QUILLET_CLIP_DIR "/moving.flv");
constexpr int kPatience = 8000;  // ms; generous for a loaded 2-core machine

class PlayerTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(kClip)) GTEST_SKIP() << "no ffmpeg-made clip";
    auto made = MpvEngine::create();
    ASSERT_NE(made, nullptr) << "libmpv could not be initialised";
    engine = made.get();
    player = std::make_unique<FlashPlayerWidget>(std::move(made));
    player->resize(400, 300);
    player->show();
  }

  void load(bool autoplay, const QString& clip = kClip) {
    player->setProperty(
        "FlashVars", QStringLiteral("autoplay=%1&flv=%2").arg(autoplay ? "true" : "false", clip));
    player->LoadMovie(0, kMovie);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback().canSeek(); }, kPatience));
  }
  PlaybackControl& playback() const { return player->playback(); }
  void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(player.get(), k, m);
  }
  // Waits until the position stays put, and gives it.
  double settledPosition() {
    double last = -1;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          const double before = playback().position();
          QTest::qWait(250);
          const bool still = before == playback().position() && before == last;
          last = before;
          return still;
        },
        kPatience));
    return last;
  }

  MpvEngine* engine = nullptr;
  std::unique_ptr<FlashPlayerWidget> player;
};

// The share of pixels of a and b (same size) that differ by more than a
// little in any channel.
double differingShare(const QImage& a, const QImage& b) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > 24 || std::abs(qGreen(p) - qGreen(q)) > 24 ||
          std::abs(qBlue(p) - qBlue(q)) > 24)
        ++differing;
    }
  }
  return double(differing) / (a.width() * a.height());
}

}  // namespace

TEST_F(PlayerTools, KeysDoNothingWithoutAVideo) {
  QSignalSpy speed(&playback(), &PlaybackControl::speedChanged);
  QSignalSpy neighbour(&playback(), &PlaybackControl::neighbourRequested);
  for (Qt::Key k : {Qt::Key_BracketRight, Qt::Key_Period, Qt::Key_S, Qt::Key_PageDown}) key(k);
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(speed.count(), 0);
  EXPECT_EQ(neighbour.count(), 0);
  EXPECT_TRUE(player->note().isEmpty());
}

// The player's own notes are looked up under the player's class: a
// translation filed under another name would leave them English.
TEST_F(PlayerTools, NotesSpeakTheTranslationsLanguage) {
  QTranslator german;
  ASSERT_TRUE(german.load(QStringLiteral(":/i18n/quillet_de")));
  QCoreApplication::installTranslator(&german);
  load(true);
  key(Qt::Key_BracketRight);
  QCoreApplication::removeTranslator(&german);
  EXPECT_TRUE(player->note().startsWith(QStringLiteral("Geschwindigkeit ")))
      << player->note().toStdString();
}

TEST_F(PlayerTools, SpeedChangesByATenthWithinItsBoundsAndANewVideoStartsAtNormal) {
  load(true);
  QSignalSpy changed(&playback(), &PlaybackControl::speedChanged);
  for (int i = 0; i < 3; ++i) key(Qt::Key_BracketRight);
  EXPECT_NEAR(playback().speed(), 1.331, 1e-9);
  EXPECT_EQ(changed.count(), 3);
  EXPECT_EQ(player->note(), QStringLiteral("Speed 1.33×"));
  // libmpv plays at that speed.
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return std::abs(engine->reportedSpeed() - 1.331) < 1e-6; }, kPatience));
  for (int i = 0; i < 40; ++i) key(Qt::Key_BracketRight);
  EXPECT_EQ(playback().speed(), 4.0);
  for (int i = 0; i < 40; ++i) key(Qt::Key_BracketLeft);
  EXPECT_EQ(playback().speed(), 0.25);
  key(Qt::Key_Backspace);
  EXPECT_EQ(playback().speed(), 1.0);
  // Up and down again meet at 1 exactly.
  key(Qt::Key_BracketLeft);
  key(Qt::Key_BracketLeft);
  key(Qt::Key_BracketRight);
  key(Qt::Key_BracketRight);
  EXPECT_EQ(playback().speed(), 1.0);

  playback().setSpeed(2);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return std::abs(engine->reportedSpeed() - 2) < 1e-6; }, kPatience));
  load(true);
  EXPECT_EQ(playback().speed(), 1.0);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return std::abs(engine->reportedSpeed() - 1) < 1e-6; }, kPatience));
}

TEST_F(PlayerTools, FrameStepsPauseAndMoveOneFrameWithTheTimeShown) {
  load(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback().position() > 0.8; }, kPatience));
  key(Qt::Key_Period);
  EXPECT_TRUE(player->isShown(Part::Play));  // paused at once
  const double at = settledPosition();
  EXPECT_EQ(playback().state(), PlaybackControl::State::Paused);

  key(Qt::Key_Period);
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback().position() > at + 0.01; }, kPatience));
  const double next = settledPosition();
  EXPECT_NEAR(next - at, 0.04, 0.005);  // one frame at 25 per second
  // The bar shows the new time without anything playing.
  EXPECT_NEAR(player->playedFraction() * player->duration(), next, 0.005);

  key(Qt::Key_Comma);
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback().position() < next - 0.01; }, kPatience));
  EXPECT_NEAR(settledPosition(), at, 0.005);
  EXPECT_NEAR(player->playedFraction() * player->duration(), at, 0.005);
  EXPECT_TRUE(player->isShown(Part::Play));
}

// Without a picture there is no frame to step to: the keys are refused and
// the sound plays on, as it does after them.
TEST_F(PlayerTools, FrameStepsAreRefusedWhenTheVideoIsSoundOnly) {
  load(true, QStringLiteral(QUILLET_CLIP_DIR "/sound.flv"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback().position() > 0.3; }, kPatience));
  for (const Qt::Key k : {Qt::Key_Period, Qt::Key_Comma}) {
    key(k);
    const double at = playback().position();
    EXPECT_EQ(playback().state(), PlaybackControl::State::Playing);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playback().position() > at + 0.3; }, kPatience))
        << "the sound stopped at " << at;
    EXPECT_TRUE(player->isShown(Part::Pause));
  }
}

TEST_F(PlayerTools, ScreenshotsAreTheFrameAtItsOwnSizeNeverOverwrittenAndGoToTheClipboard) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QString pictures = home.filePath("Shots");
  ASSERT_TRUE(QDir().mkpath(pictures));
  ASSERT_TRUE(QDir().mkpath(home.filePath("config")));
  QFile dirs(home.filePath("config/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_PICTURES_DIR=\"" + QFile::encodeName(pictures) + "\"\n");
  dirs.close();
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));

  load(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return playback().position() > 1.2; }, kPatience));
  playback().pause();
  const double at = settledPosition();
  key(Qt::Key_S);
  key(Qt::Key_S);  // the same frame again: a name of its own
  const QStringList saved = QDir(pictures).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(saved.size(), 2) << saved.join(", ").toStdString();
  const long ms = std::lround(at * 1000);
  const QString stamp = QStringLiteral("moving 00-%1.%2")
                            .arg(ms / 1000, 2, 10, QLatin1Char('0'))
                            .arg(ms % 1000, 3, 10, QLatin1Char('0'));
  EXPECT_EQ(saved, (QStringList{stamp + " (2).png", stamp + ".png"}));
  EXPECT_EQ(player->note(), "Saved " + stamp + " (2).png");

  // The picture is the clip's own 320x240 frame; the note that was over it
  // is not in it: scaled to the view, it is what the view shows once the
  // note has gone.
  const QImage shot = QImage(pictures + "/" + stamp + ".png").convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(320, 240));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->note().isEmpty(); }, kPatience));
  const QRect video = player->partRect(Part::Video);
  const QImage shown = player->grab(video).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage scaled = shot.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  EXPECT_LT(differingShare(scaled, shown), 0.02);

  QGuiApplication::clipboard()->clear();
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), shot);
  EXPECT_EQ(player->note(), QStringLiteral("Picture copied"));

  // A folder that cannot be written: the note says so, nothing else changes.
  dirs.open(QIODevice::WriteOnly);
  dirs.write("XDG_PICTURES_DIR=\"/proc\"\n");
  dirs.close();
  key(Qt::Key_S);
  EXPECT_EQ(player->note(), QStringLiteral("Cannot save the picture in /proc"));
  EXPECT_EQ(QDir(pictures).entryList(QDir::Files).size(), 2);
  EXPECT_EQ(playback().state(), PlaybackControl::State::Paused);
  qunsetenv("XDG_CONFIG_HOME");
}
