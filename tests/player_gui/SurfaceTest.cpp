// The player's surface driven through its control interface (properties and
// LoadMovie by name) with a fake engine: what it shows, what it asks of the
// engine, and what it tells the host.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QNetworkReply>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "FakeEngine.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using quillet::player::MediaEngine;
using quillet::player::testing::FakeEngine;
using Part = FlashPlayerWidget::Part;
using Status = MediaEngine::StreamStatus;

namespace {

const QString kMovie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
const QString kIdleVars = QStringLiteral(
    "fullscreen=false&autoplay=false&frontcolor=000000&backcolor=000000&effect=false");
const QString kVideoVars = QStringLiteral(
    "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=/v/a%20b.flv");

class Surface : public ::testing::Test {
 protected:
  void SetUp() override {
    auto fake = std::make_unique<FakeEngine>();
    engine = fake.get();
    player = std::make_unique<FlashPlayerWidget>(std::move(fake));
    player->resize(400, 300);
    fsCommands = std::make_unique<QSignalSpy>(player.get(), &FlashPlayerWidget::FSCommand);
  }

  // As the host does it: properties by name, then LoadMovie(0, path).
  void load(const QString& vars, const QString& movie = kMovie) {
    ASSERT_TRUE(player->setProperty("FlashVars", vars));
    ASSERT_TRUE(
        QMetaObject::invokeMethod(player.get(), "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, movie)));
  }

  void send(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, player->mapToGlobal(pos),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(player.get(), &event);
  }
  void press(QPoint pos) { send(QEvent::MouseButtonPress, pos, Qt::LeftButton); }
  void moveTo(QPoint pos, Qt::MouseButtons held = Qt::NoButton) {
    send(QEvent::MouseMove, pos, held);
  }
  void release(QPoint pos) { send(QEvent::MouseButtonRelease, pos, Qt::NoButton); }
  void click(QPoint pos) {
    press(pos);
    release(pos);
  }
  void click(Part part) { click(player->partRect(part).center()); }
  QPoint progressAt(double fraction) const {
    const QRect r = player->partRect(Part::Progress);
    return QPoint(r.x() + static_cast<int>(r.width() * fraction), r.center().y());
  }

  QImage picture() const { return player->grab().toImage(); }
  // No preview picture is being fetched any more: the last one arrived or
  // failed.
  bool previewFetched() const {
    const auto replies = player->findChildren<QNetworkReply*>();
    return std::none_of(replies.begin(), replies.end(),
                        [](const QNetworkReply* r) { return r->isRunning(); });
  }

  FakeEngine* engine = nullptr;
  std::unique_ptr<FlashPlayerWidget> player;
  std::unique_ptr<QSignalSpy> fsCommands;
};

}  // namespace

TEST_F(Surface, InvalidMovieFilesShowOnlyTheBackground) {
  QTemporaryDir dir;
  QFile original(kMovie);
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  const QByteArray movie = original.readAll();
  const auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  };
  QByteArray corrupt = movie;
  corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x33);
  const QStringList bad = {
      write("empty", {}),
      write("truncated", movie.left(movie.size() - 10)),
      write("corrupt", corrupt),
      // Well formed, but someone else's movie: none of our parts.
      write("foreign", QByteArray::fromHex("4657530719000000"
                                           "7800055f00000fa000"
                                           "00180100"
                                           "4000"
                                           "0000")),
      dir.filePath("missing"),
      QString(),
  };
  player->setProperty("BGColor", QStringLiteral("336699"));
  for (const QString& path : bad) {
    SCOPED_TRACE(path.toStdString());
    load(kVideoVars, path);
    EXPECT_FALSE(player->movieLoaded());
    for (Part p : {Part::Bar, Part::Play, Part::Pause, Part::PlaySymbol, Part::Message, Part::Video,
                   Part::Load}) {
      EXPECT_FALSE(player->isShown(p)) << quillet::player::kPartNames[static_cast<std::size_t>(p)];
    }
    // Clicks where the buttons would be do nothing.
    click(QPoint(400 - 20, 300 - 13));
    click(QPoint(200, 100));
    const QImage image = picture();
    EXPECT_EQ(image.pixelColor(200, 100), QColor(0x33, 0x66, 0x99));
    EXPECT_EQ(image.pixelColor(200, 290), QColor(0x33, 0x66, 0x99));
  }
  EXPECT_TRUE(engine->calls.isEmpty()) << engine->calls.join(' ').toStdString();
  EXPECT_EQ(fsCommands->count(), 0);
}

TEST_F(Surface, ALoadReadsTheFlashVarsSetBeforeItAndOtherLayersAreIgnored) {
  load(kIdleVars);
  ASSERT_TRUE(player->movieLoaded());
  EXPECT_TRUE(engine->playbackCalls().isEmpty());
  // Changing FlashVars afterwards changes nothing until the next load.
  player->setProperty("FlashVars", kVideoVars);
  EXPECT_TRUE(engine->playbackCalls().isEmpty());
  EXPECT_FALSE(player->isShown(Part::Full));
  QMetaObject::invokeMethod(player.get(), "LoadMovie", Q_ARG(int, 1), Q_ARG(QString, kMovie));
  EXPECT_TRUE(engine->playbackCalls().isEmpty());
  QMetaObject::invokeMethod(player.get(), "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  EXPECT_EQ(engine->playbackCalls(), QStringList{"open(/v/a b.flv,playing,0)"});
  EXPECT_TRUE(player->isShown(Part::Full));
}

TEST_F(Surface, IdlePlayerShowsTheBarWithoutScreenButtonsOrShadowAndLoadsNothing) {
  load(kIdleVars);
  EXPECT_TRUE(player->isShown(Part::Bar));
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isShown(Part::Pause));
  EXPECT_FALSE(player->isShown(Part::Shadow));
  EXPECT_FALSE(player->isShown(Part::Full));
  EXPECT_FALSE(player->isShown(Part::Normal));
  EXPECT_TRUE(player->isShown(Part::PlaySymbol));
  EXPECT_EQ(player->displayedTime(), "00:00");
  EXPECT_EQ(engine->calls, QStringList({"volume(75)", "muted(false)"}));
  // Nothing to play: clicking changes nothing.
  click(Part::ClickArea);
  click(Part::Play);
  EXPECT_TRUE(engine->playbackCalls().isEmpty());
  EXPECT_FALSE(player->isRefreshing());
}

TEST_F(Surface, AutoplayPlaysAtOnce) {
  load(kVideoVars);
  EXPECT_EQ(engine->playbackCalls(), QStringList{"open(/v/a b.flv,playing,0)"});
  EXPECT_FALSE(player->isShown(Part::PlaySymbol));
  EXPECT_FALSE(player->isShown(Part::ClickArea));
  EXPECT_TRUE(player->isShown(Part::Pause));
  EXPECT_TRUE(player->isShown(Part::Shadow));  // effect absent
  EXPECT_TRUE(player->isShown(Part::Full));
  EXPECT_TRUE(player->isRefreshing());
}

TEST_F(Surface, AutoplayOtherThanTrueSetsUpAndWaitsForAClick) {
  load(QStringLiteral("autoplay=TRUE&flv=/v/c.flv"));
  EXPECT_EQ(engine->playbackCalls(), QStringList{"open(/v/c.flv,paused,0)"});
  EXPECT_TRUE(player->isShown(Part::PlaySymbol));
  EXPECT_TRUE(player->isShown(Part::ClickArea));
  EXPECT_EQ(player->partRect(Part::ClickArea), QRect(0, 0, 400, 273));
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isRefreshing());  // paused and loaded: nothing to refresh

  // A click anywhere above the bar starts playback; the symbol goes.
  click(QPoint(10, 10));
  EXPECT_EQ(engine->playbackCalls(), QStringList({"open(/v/c.flv,paused,0)", "play"}));
  EXPECT_FALSE(player->isShown(Part::PlaySymbol));
  EXPECT_FALSE(player->isShown(Part::ClickArea));
  EXPECT_TRUE(player->isShown(Part::Pause));
  EXPECT_TRUE(player->isRefreshing());
}

TEST_F(Surface, PauseAndPlayShareOnePlaceAndStopTheRefresh) {
  load(kVideoVars);
  const QRect place = player->partRect(Part::Pause);
  EXPECT_EQ(place, player->partRect(Part::Play));
  click(place.center());
  EXPECT_EQ(engine->playbackCalls().last(), "pause");
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isShown(Part::Pause));
  EXPECT_FALSE(player->isRefreshing());
  click(place.center());
  EXPECT_EQ(engine->playbackCalls().last(), "play");
  EXPECT_TRUE(player->isShown(Part::Pause));
  EXPECT_TRUE(player->isRefreshing());
  // A press that is released elsewhere is no click.
  press(place.center());
  release(QPoint(200, 100));
  EXPECT_EQ(engine->playbackCalls().last(), "play");
  // The engine's own pause is followed too.
  emit engine->pausedChanged(true);
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isRefreshing());
}

TEST_F(Surface, TimeAndProgressFollowThePlayingPosition) {
  load(kVideoVars);
  engine->durationSeconds = 200;
  emit engine->durationChanged(200);
  engine->positionSeconds = 59.6;
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == "01:00"; }, 2000));
  EXPECT_NEAR(player->playedFraction(), 59.6 / 200, 1e-9);
  engine->positionSeconds = 125.2;
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == "02:05"; }, 2000));
}

TEST_F(Surface, ClickOnTheSeekBarSeeksAndMovesTheTime) {
  load(kVideoVars);
  engine->durationSeconds = 100;
  emit engine->durationChanged(100);
  click(progressAt(0.5));
  ASSERT_FALSE(engine->calls.isEmpty());
  const QString seek = engine->calls.last();
  ASSERT_TRUE(seek.startsWith("seek(")) << seek.toStdString();
  EXPECT_NEAR(seek.mid(5, seek.size() - 6).toDouble(), 50, 0.6);
  EXPECT_EQ(player->displayedTime(), "00:50");

  // A drag seeks to where it is let go.
  engine->seekable = 100;
  press(progressAt(0.2));
  moveTo(progressAt(0.5), Qt::LeftButton);
  EXPECT_NEAR(player->playedFraction(), 0.5, 0.01);
  EXPECT_EQ(player->displayedTime(), "00:50");
  release(progressAt(0.7));
  const QString last = engine->calls.last();
  EXPECT_NEAR(last.mid(5, last.size() - 6).toDouble(), 70, 0.6);
  EXPECT_EQ(player->displayedTime(), "01:10");
}

TEST_F(Surface, SeekBarDoesNothingWhileTheDurationIsUnknown) {
  load(kVideoVars);
  click(progressAt(0.5));
  EXPECT_EQ(engine->playbackCalls(), QStringList{"open(/v/a b.flv,playing,0)"});
}

TEST_F(Surface, VolumeSliderAndMuteReachTheEngine) {
  load(QStringLiteral("flv=/v/c.flv&volumen=40"));
  EXPECT_TRUE(engine->calls.contains("volume(40)"));
  EXPECT_EQ(player->volume(), 40);
  const QRect slider = player->partRect(Part::Volume);
  EXPECT_EQ(slider.width(), 40);
  click(QPoint(slider.x() + 30, slider.center().y()));
  EXPECT_EQ(engine->calls.last(), "volume(75)");
  press(QPoint(slider.x() + 10, slider.center().y()));
  moveTo(QPoint(slider.x() + 200, slider.center().y()), Qt::LeftButton);
  release(QPoint(slider.x() + 200, slider.center().y()));
  EXPECT_EQ(engine->calls.last(), "volume(100)");
  EXPECT_EQ(player->volume(), 100);

  click(Part::Mute);
  EXPECT_EQ(engine->calls.last(), "muted(true)");
  EXPECT_TRUE(player->isMuted());
  click(Part::Mute);
  EXPECT_EQ(engine->calls.last(), "muted(false)");

  for (const auto& [text, expected] : {std::pair{"volumen=0", 0},
                                       {"volumen=100", 100},
                                       {"volumen=250", 100},
                                       {"volumen=-4", 0},
                                       {"volumen=abc", 75},
                                       {"volumen=33.4", 33},
                                       {"", 75}}) {
    load(QString::fromLatin1(text));
    EXPECT_EQ(player->volume(), expected) << text;
  }
}

TEST_F(Surface, FullScreenButtonRaisesTheEventAndSwapsTheButtons) {
  load(kVideoVars);
  const QRect place = player->partRect(Part::Full);
  EXPECT_EQ(place.left(), 400 - 25);
  EXPECT_EQ(place, player->partRect(Part::Normal));
  EXPECT_TRUE(player->isShown(Part::Full));
  EXPECT_FALSE(player->isShown(Part::Normal));

  // Pressing alone raises nothing; releasing does.
  press(place.center());
  EXPECT_EQ(fsCommands->count(), 0);
  release(place.center());
  ASSERT_EQ(fsCommands->count(), 1);
  EXPECT_EQ(fsCommands->at(0).at(0).toString(), "screen");
  EXPECT_EQ(fsCommands->at(0).at(1).toString(), "full");
  EXPECT_TRUE(player->inFullScreenState());
  EXPECT_FALSE(player->isShown(Part::Full));
  EXPECT_FALSE(player->isShown(Part::Bar));
  EXPECT_EQ(player->size(), QSize(400, 300));  // the host decides the size

  // The host makes the component as large as the screen; the bar shows only
  // while the pointer is below its top edge.
  player->resize(800, 600);
  moveTo(QPoint(400, 300));
  EXPECT_FALSE(player->isShown(Part::Bar));
  moveTo(QPoint(400, 600 - 27));
  EXPECT_TRUE(player->isShown(Part::Bar));
  EXPECT_TRUE(player->isShown(Part::Normal));
  EXPECT_FALSE(player->isShown(Part::Full));
  EXPECT_EQ(player->partRect(Part::Normal).left(), 800 - 25);
  moveTo(QPoint(400, 600 - 28));
  EXPECT_FALSE(player->isShown(Part::Bar));
  moveTo(QPoint(400, 590));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(player.get(), &leave);
  EXPECT_FALSE(player->isShown(Part::Bar));

  moveTo(QPoint(400, 590));
  click(player->partRect(Part::Normal).center());
  ASSERT_EQ(fsCommands->count(), 2);
  EXPECT_EQ(fsCommands->at(1).at(1).toString(), "normal");
  EXPECT_FALSE(player->inFullScreenState());
  EXPECT_TRUE(player->isShown(Part::Full));
  EXPECT_TRUE(player->isShown(Part::Bar));
  moveTo(QPoint(10, 10));
  EXPECT_TRUE(player->isShown(Part::Bar));
}

TEST_F(Surface, FullscreenFalseHidesTheScreenButtonsAndWidensTheRest) {
  load(QStringLiteral("fullscreen=true&flv=/v/c.flv"));
  const int volumeRightWith = player->partRect(Part::Volume).right();
  load(QStringLiteral("fullscreen=false&flv=/v/c.flv"));
  EXPECT_FALSE(player->isShown(Part::Full));
  EXPECT_FALSE(player->isShown(Part::Normal));
  EXPECT_GT(player->partRect(Part::Volume).right(), volumeRightWith);
  click(QPoint(400 - 15, 300 - 13));
  EXPECT_EQ(fsCommands->count(), 0);
}

TEST_F(Surface, LayoutFollowsTheComponentsSize) {
  load(kVideoVars);
  player->resize(640, 480);
  EXPECT_EQ(player->partRect(Part::Bar), QRect(0, 453, 640, 27));
  EXPECT_EQ(player->partRect(Part::Video), QRect(18, 0, 604, 453));
  EXPECT_EQ(player->partRect(Part::Full).left(), 615);
  emit engine->videoSizeChanged(QSize(1280, 720));
  EXPECT_EQ(player->partRect(Part::Video), QRect(0, 46, 640, 360));
  player->resize(0, 0);
  EXPECT_TRUE(player->partRect(Part::Video).isEmpty());
  player->resize(10, 5);
  picture();  // drawing at odd sizes must not fail
  EXPECT_EQ(player->size(), QSize(10, 5));
}

TEST_F(Surface, StreamNotFoundShowsTheErrorLayerOverTheWholeStage) {
  load(kVideoVars);
  emit engine->status(Status::StreamNotFound);
  EXPECT_TRUE(player->isShown(Part::Message));
  EXPECT_EQ(player->partRect(Part::Message), QRect(0, 0, 400, 300));
  EXPECT_FALSE(player->isShown(Part::Load));
  EXPECT_FALSE(player->isRefreshing());
  const int before = engine->playbackCalls().size();
  click(Part::Play);
  EXPECT_EQ(engine->playbackCalls().size(), before) << engine->calls.join(' ').toStdString();

  // A present but empty flv cannot be found either, without asking the engine.
  load(QStringLiteral("autoplay=true&flv="));
  EXPECT_TRUE(player->isShown(Part::Message));
  EXPECT_EQ(engine->playbackCalls().size(), before + 1);
  EXPECT_EQ(engine->playbackCalls().last(), "pause");  // the old stream's end
}

// The error layer's words tell a file that is not there from one that holds
// nothing to play, and a screen reader finds them as the layer's text.
TEST_F(Surface, TheErrorLayerSaysWhyAndScreenReadersReadIt) {
  const auto message = [&]() -> QAccessibleInterface* {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(player.get());
    if (!face) return nullptr;
    for (int i = 0; i < face->childCount(); ++i) {
      QAccessibleInterface* c = face->child(i);
      if (c && c->role() == QAccessible::StaticText && face->indexOfChild(c) == i &&
          c->rect().size() == player->size())
        return c;
    }
    return nullptr;
  };
  load(kVideoVars);
  EXPECT_TRUE(player->errorMessage().isEmpty());
  EXPECT_EQ(message(), nullptr);

  emit engine->status(Status::StreamUnplayable);
  EXPECT_TRUE(player->isShown(Part::Message));
  EXPECT_EQ(player->errorMessage(), "This file holds no video or sound that can be played.");
  EXPECT_FALSE(player->isRefreshing());
  const int before = engine->playbackCalls().size();
  click(Part::Play);
  EXPECT_EQ(engine->playbackCalls().size(), before) << "nothing to play";
  QAccessibleInterface* told = message();
  ASSERT_NE(told, nullptr);
  EXPECT_EQ(told->text(QAccessible::Name), player->errorMessage());
  EXPECT_FALSE(told->state().invisible);
  // The bar's parts are still found under the pointer, not the layer.
  const QPoint play = player->mapToGlobal(player->partRect(Part::Play).center());
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(player.get());
  ASSERT_NE(face->childAt(play.x(), play.y()), nullptr);
  EXPECT_EQ(face->childAt(play.x(), play.y())->role(), QAccessible::Button);

  // A file that is not there keeps its own words; a new video clears them.
  load(QStringLiteral("autoplay=true&flv=/v/gone.flv"));
  EXPECT_EQ(message(), nullptr);
  emit engine->status(Status::StreamNotFound);
  EXPECT_EQ(player->errorMessage(), "Video not found");
  ASSERT_NE(message(), nullptr);
  EXPECT_EQ(message()->text(QAccessible::Name), "Video not found");
}

// A length that arrives or changes after the start (a long file's walk that
// ends later, a cut file's end) reaches the seek bar, the played share, the
// playback interface and the accessible seek slider alike; NumVideoDuracion
// still wins over it.
TEST_F(Surface, ALengthThatChangesLaterReachesEveryoneWhoShowsIt) {
  const auto sliderMaximum = [&] {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(player.get());
    for (int i = 0; face && i < face->childCount(); ++i) {
      QAccessibleInterface* c = face->child(i);
      if (c->role() == QAccessible::Slider && c->text(QAccessible::Name) == "Seek")
        return c->valueInterface()->maximumValue().toDouble();
    }
    return -1.0;
  };
  load(QStringLiteral("autoplay=true&flv=/v/c.flv"));
  QSignalSpy metadata(&player->playback(), &quillet::player::PlaybackControl::metadataChanged);
  emit engine->status(Status::PlayStart);
  engine->positionSeconds = 5;
  for (const double length : {100.0, 10.0, 6.5}) {
    const auto told = metadata.size();
    engine->durationSeconds = length;
    emit engine->durationChanged(length);
    EXPECT_DOUBLE_EQ(player->duration(), length);
    EXPECT_DOUBLE_EQ(player->playback().duration(), length);
    EXPECT_DOUBLE_EQ(sliderMaximum(), length);
    EXPECT_GT(metadata.size(), told) << "the media services hear of " << length;
  }
  // The bar's timer takes the new position; the played share is of the new length.
  QTest::qWait(250);
  EXPECT_NEAR(player->playedFraction(), 5 / 6.5, 0.01);
  // At the end the time shows the length.
  engine->positionSeconds = 6.5;
  emit engine->endOfStream();
  EXPECT_EQ(player->displayedTime(), "00:07");

  load(QStringLiteral("autoplay=true&flv=/v/c.flv&NumVideoDuracion=120"));
  emit engine->status(Status::PlayStart);
  engine->durationSeconds = 30;
  emit engine->durationChanged(30);
  QTest::qWait(250);
  EXPECT_DOUBLE_EQ(player->duration(), 120);
  EXPECT_DOUBLE_EQ(player->playback().duration(), 120);
  EXPECT_DOUBLE_EQ(sliderMaximum(), 120);
}

TEST_F(Surface, BufferingIndicatorFollowsTheStreamStatus) {
  load(QStringLiteral("flv=/v/c.flv"));
  EXPECT_FALSE(player->isShown(Part::Load));
  emit engine->status(Status::PlayStart);
  EXPECT_TRUE(player->isShown(Part::Load));
  EXPECT_LE(
      (player->partRect(Part::Load).center() - QRect(0, 0, 400, 273).center()).manhattanLength(),
      1);
  emit engine->status(Status::BufferFull);
  EXPECT_FALSE(player->isShown(Part::Load));
  emit engine->status(Status::BufferEmpty);
  EXPECT_TRUE(player->isShown(Part::Load));
  // Not where it does not fit above the bar.
  player->resize(400, 50);
  EXPECT_FALSE(player->isShown(Part::Load));
  player->resize(400, 300);
  emit engine->status(Status::BufferFull);
  EXPECT_FALSE(player->isShown(Part::Load));
}

TEST_F(Surface, EndOfStreamShowsPlayAndPlayStartsAgainFromZero) {
  load(kVideoVars);
  engine->durationSeconds = 10;
  engine->positionSeconds = 10;
  emit engine->endOfStream();
  EXPECT_TRUE(player->isShown(Part::Play));
  EXPECT_FALSE(player->isRefreshing());
  EXPECT_EQ(player->displayedTime(), "00:10");
  click(Part::Play);
  const QStringList calls = engine->playbackCalls();
  ASSERT_GE(calls.size(), 2);
  EXPECT_EQ(calls.at(calls.size() - 2), "seek(0)");
  EXPECT_EQ(calls.last(), "play");
  EXPECT_EQ(player->displayedTime(), "00:00");
  EXPECT_TRUE(player->isShown(Part::Pause));
}

TEST_F(Surface, VseekReopensBeyondTheLoadedPartAtTheKeyFrame) {
  load(QStringLiteral("autoplay=true&vseek=start&flv=http://h.example/v.flv"));
  engine->durationSeconds = 100;
  emit engine->durationChanged(100);
  engine->seekable = 30;
  engine->index.times = {0, 20, 40, 60, 80};
  engine->index.filePositions = {13, 2000, 4000, 6000, 8000};

  click(progressAt(0.2));  // 20 s: within what is loaded
  EXPECT_TRUE(engine->calls.last().startsWith("seek(")) << engine->calls.last().toStdString();

  click(progressAt(0.55));  // 55 s: beyond; the key frame at 40 s
  EXPECT_EQ(engine->calls.last(), "open(http://h.example/v.flv?start=4000,playing,40)");
  EXPECT_EQ(player->displayedTime(), "00:40");

  // Without vseek the engine seeks, whatever is loaded.
  load(QStringLiteral("autoplay=true&flv=http://h.example/v.flv"));
  emit engine->durationChanged(100);
  click(progressAt(0.55));
  EXPECT_TRUE(engine->calls.last().startsWith("seek(")) << engine->calls.last().toStdString();
}

TEST_F(Surface, NumVideoDuracionOverridesTheMetadata) {
  load(QStringLiteral("autoplay=true&flv=/v/c.flv&NumVideoDuracion=120"));
  EXPECT_DOUBLE_EQ(player->duration(), 120);
  engine->durationSeconds = 30;
  emit engine->durationChanged(30);
  EXPECT_DOUBLE_EQ(player->duration(), 120);
  click(progressAt(0.5));
  const QString seek = engine->calls.last();
  EXPECT_NEAR(seek.mid(5, seek.size() - 6).toDouble(), 60, 0.6);
}

TEST_F(Surface, Mp3PlaysAudioInsteadOfTheVideo) {
  load(QStringLiteral("autoplay=true&mp3=/m/song.mp3&flv=/v/c.flv"));
  EXPECT_EQ(engine->playbackCalls(), QStringList{"open(/m/song.mp3,playing,0)"});
  EXPECT_FALSE(player->isShown(Part::Video));
  emit engine->frameAvailable();
  picture();
  EXPECT_TRUE(engine->renderSizes.empty());
}

TEST_F(Surface, XmlSkipsTheStartUpHandling) {
  load(QStringLiteral("xml=list.xml&autoplay=true&flv=/v/c.flv&jpg=/p.jpg"));
  EXPECT_TRUE(player->movieLoaded());
  EXPECT_TRUE(engine->playbackCalls().isEmpty());
  EXPECT_TRUE(player->isShown(Part::PlaySymbol));
  EXPECT_FALSE(player->isShown(Part::Preview));
}

TEST_F(Surface, FramesArePaintedFittedAtDeviceSizeOverTheBackground) {
  player->setProperty("BGColor", QStringLiteral("000000"));
  load(QStringLiteral("autoplay=true&backcolor=0000ff&frontcolor=ffffff&flv=/v/c.flv"));
  emit engine->videoSizeChanged(QSize(640, 480));
  emit engine->frameAvailable();
  const QImage image = picture();
  const QRect video = player->partRect(Part::Video);
  ASSERT_EQ(video, QRect(18, 0, 364, 273));
  ASSERT_FALSE(engine->renderSizes.empty());
  EXPECT_EQ(engine->renderSizes.back(), video.size() * player->devicePixelRatioF());
  EXPECT_EQ(image.pixelColor(video.center()), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(video.left() + 1, 5), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(5, 100), QColor(0, 0, 0));  // beside the video: the stage
  EXPECT_EQ(image.pixelColor(395, 100), QColor(0, 0, 0));
  // The bar's background in backcolor, its play/pause symbol in frontcolor.
  const QRect bar = player->partRect(Part::Bar);
  EXPECT_EQ(image.pixelColor(bar.center().x() + 3, bar.bottom() - 1), QColor(0, 0, 255));
  const QRect button = player->partRect(Part::Pause);
  bool front = false;
  for (int x = button.left(); x <= button.right(); ++x) {
    front |= image.pixelColor(x, button.center().y()) == QColor(255, 255, 255);
  }
  EXPECT_TRUE(front);

  engine->frameColour = QColor(0, 255, 0);
  emit engine->frameAvailable();
  EXPECT_EQ(picture().pixelColor(video.center()), QColor(0, 255, 0));
}

// The view decides whether frames are drawn: at the picture's device size
// while the player shows a picture, not at all while it is hidden or plays
// only sound, so a hidden window costs no drawing.
TEST_F(Surface, TheEngineDrawsFramesOnlyForAPictureOnScreen) {
  load(QStringLiteral("autoplay=true&flv=/v/c.flv"));
  const QSize device = player->partRect(Part::Video).size() * player->devicePixelRatioF();
  ASSERT_FALSE(device.isEmpty());
  EXPECT_TRUE(engine->frameSizes.empty() || engine->frameSizes.back().isEmpty());
  player->show();
  ASSERT_FALSE(engine->frameSizes.empty());
  EXPECT_EQ(engine->frameSizes.back(), device);
  player->resize(640, 480);
  EXPECT_EQ(engine->frameSizes.back(),
            player->partRect(Part::Video).size() * player->devicePixelRatioF());
  player->hide();
  EXPECT_TRUE(engine->frameSizes.back().isEmpty());
  player->show();
  load(QStringLiteral("autoplay=true&mp3=/m/song.mp3"));
  EXPECT_TRUE(engine->frameSizes.back().isEmpty());
  load(QStringLiteral("autoplay=true&flv=/v/c.flv"));
  EXPECT_FALSE(engine->frameSizes.back().isEmpty());
  load(QString(), QStringLiteral("/nonexistent/movie"));
  EXPECT_TRUE(engine->frameSizes.back().isEmpty());
}

// A new frame is drawn straight into the shown window's pixels where the
// picture lies wholly inside it, and through an image of its own where it
// does not; either way the window shows it, with the bar's shadow over its
// foot, and the bar's refreshes while it plays never draw the picture again.
TEST_F(Surface, FramesGoIntoTheWindowAndTheBarsRefreshLeavesThemBe) {
  engine->drawsInto = true;
  QWidget window;
  struct GiveBack {  // the fixture owns the player
    QWidget* player;
    ~GiveBack() { player->setParent(nullptr); }
  } giveBack{player.get()};
  player->setParent(&window);
  window.resize(440, 340);
  player->move(20, 10);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  load(QStringLiteral("autoplay=true&backcolor=000000&frontcolor=ffffff&flv=/v/c.flv"));
  engine->durationSeconds = 100;
  emit engine->durationChanged(100);
  emit engine->videoSizeChanged(QSize(400, 273));
  // What the window holds, not a new painting of it.
  const auto shown = [&](QPoint at) {
    const QPoint p = player->mapTo(&window, at);
    return window.screen()
        ->grabWindow(window.winId(), p.x(), p.y(), 1, 1)
        .toImage()
        .pixelColor(0, 0);
  };

  for (const QPoint place : {QPoint(20, 10), QPoint(60, 10)}) {  // inside; past the right edge
    SCOPED_TRACE(place.x());
    player->move(place);
    QApplication::processEvents();
    engine->directSizes.clear();
    engine->renderSizes.clear();
    engine->frameColour = place.x() == 20 ? QColor(0, 0, 255) : QColor(0, 255, 0);
    emit engine->frameAvailable();
    const bool inside = place.x() == 20;
    EXPECT_EQ(engine->directSizes.size(), inside ? 1u : 0u);
    EXPECT_EQ(engine->renderSizes.size(), inside ? 0u : 1u);
    const QRect video = player->partRect(Part::Video);
    EXPECT_EQ(shown(video.center()), engine->frameColour);
    const QColor foot = shown(QPoint(video.center().x(), video.bottom()));
    EXPECT_LT(foot.value(), engine->frameColour.value()) << "the shadow over the picture's foot";

    const std::size_t drawn = engine->directSizes.size() + engine->renderSizes.size();
    for (double at : {10.0, 11.0, 12.0}) {
      engine->positionSeconds = at;
      const QString time = QStringLiteral("00:%1").arg(static_cast<int>(at));
      ASSERT_TRUE(QTest::qWaitFor([&] { return player->displayedTime() == time; }, 2000));
    }
    QApplication::processEvents();
    EXPECT_EQ(engine->directSizes.size() + engine->renderSizes.size(), drawn);
    EXPECT_EQ(shown(video.center()), engine->frameColour);
    EXPECT_EQ(shown(QPoint(video.center().x(), video.bottom())), foot);
  }
}

TEST_F(Surface, BackgroundColourComesFromBGColorOrBackgroundColor) {
  EXPECT_EQ(picture().pixelColor(10, 10), QColor(Qt::white));
  player->setProperty("BackgroundColor", 0);
  EXPECT_EQ(picture().pixelColor(10, 10), QColor(Qt::black));
  player->setProperty("BGColor", QStringLiteral("ff8000"));
  EXPECT_EQ(picture().pixelColor(10, 10), QColor(255, 128, 0));
  player->setProperty("BGColor", QStringLiteral("nonsense"));
  EXPECT_EQ(picture().pixelColor(10, 10), QColor(255, 128, 0));
  player->setProperty("BackgroundColor", 0x102030);
  EXPECT_EQ(picture().pixelColor(10, 10), QColor(0x10, 0x20, 0x30));
  // The host's other properties are taken as they come.
  EXPECT_TRUE(player->setProperty("WMode", QStringLiteral("Transparent")));
  EXPECT_TRUE(player->setProperty("Quality2", QStringLiteral("High")));
  EXPECT_EQ(player->property("WMode").toString(), "Transparent");
}

TEST_F(Surface, PreviewImageShowsUntilTheFirstPlay) {
  QTemporaryDir dir;
  QImage jpg(80, 60, QImage::Format_RGB32);
  jpg.fill(QColor(0, 200, 0));
  const QString path = dir.filePath("preview.png");
  ASSERT_TRUE(jpg.save(path));
  load(QStringLiteral("flv=/v/c.flv&jpg=") + path);
  EXPECT_TRUE(player->isShown(Part::Preview));
  EXPECT_EQ(player->partRect(Part::Preview), QRect(18, 0, 364, 273));
  EXPECT_EQ(picture().pixelColor(30, 30), QColor(0, 200, 0));
  click(Part::ClickArea);
  EXPECT_FALSE(player->isShown(Part::Preview));
  // A preview that cannot be read is no preview.
  load(QStringLiteral("flv=/v/c.flv&jpg=") + dir.filePath("absent.jpg"));
  EXPECT_FALSE(player->isShown(Part::Preview));
  load(QStringLiteral("flv=/v/c.flv&jpg=http://127.0.0.1:9/absent.jpg"));
  EXPECT_FALSE(previewFetched()) << "the fetch is under way";
  ASSERT_TRUE(QTest::qWaitFor([&] { return previewFetched(); }, 5000));
  EXPECT_FALSE(player->isShown(Part::Preview));

  // An address is fetched in the background.
  load(QStringLiteral("flv=/v/c.flv&jpg=") + QUrl::fromLocalFile(path).toString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return player->isShown(Part::Preview); }, 5000));
  EXPECT_EQ(picture().pixelColor(30, 30), QColor(0, 200, 0));
  // One that arrives after the first play is not shown.
  load(QStringLiteral("flv=/v/c.flv&jpg=") + QUrl::fromLocalFile(path).toString());
  click(Part::ClickArea);
  ASSERT_TRUE(QTest::qWaitFor([&] { return previewFetched(); }, 5000));
  EXPECT_FALSE(player->isShown(Part::Preview));
}

// The player's own context menu shows none of its built-in items, in every
// state: idle (whose load never sets Menu), playing, paused, with Menu on or
// off, and with no movie at all.
TEST_F(Surface, ContextMenuShowsNoBuiltInItemsInAnyState) {
  QStringList shown;
  const auto rightClick = [&](const char* state) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(50, 50),
                            player->mapToGlobal(QPoint(50, 50)));
    QApplication::sendEvent(player.get(), &event);
    QApplication::processEvents();
    if (auto* menu = player->findChild<QMenu*>()) {
      shown << state;
      menu->close();
      delete menu;
    }
  };
  rightClick("no movie");
  load(kIdleVars);
  rightClick("idle");
  player->setProperty("Menu", true);
  rightClick("idle, Menu on");
  load(kVideoVars);
  player->setProperty("Menu", false);
  rightClick("video, Menu off");
  player->setProperty("Menu", true);
  emit engine->pausedChanged(false);
  rightClick("playing, Menu on");
  emit engine->pausedChanged(true);
  rightClick("paused, Menu on");
  EXPECT_TRUE(shown.isEmpty()) << shown.join(", ").toStdString();
}

TEST_F(Surface, ReplacingTheMovieEndsTheOldOnesPlayback) {
  load(kVideoVars);
  load(QString(), QStringLiteral("/nonexistent/movie"));
  EXPECT_FALSE(player->movieLoaded());
  EXPECT_EQ(engine->playbackCalls().last(), "pause");
  // Late reports of the old stream change nothing.
  emit engine->status(Status::StreamNotFound);
  emit engine->pausedChanged(false);
  EXPECT_FALSE(player->isShown(Part::Message));
  EXPECT_FALSE(player->isRefreshing());
}

// Every part has a name of its own, and the movie must place all but the
// mute toggle and the preview, which it does not name.
TEST(SurfaceNames, EveryPartHasANameOfItsOwn) {
  using quillet::player::kPartNames;
  ASSERT_EQ(kPartNames.size(), static_cast<std::size_t>(Part::Preview) + 1);
  QSet<QString> names;
  for (const char* name : kPartNames) {
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(QString::fromLatin1(name).isEmpty());
    EXPECT_FALSE(names.contains(QString::fromLatin1(name))) << name;
    names.insert(QString::fromLatin1(name));
  }
  const std::set<std::string> placed(quillet::player::kPlayerPartNames.begin(),
                                     quillet::player::kPlayerPartNames.end());
  EXPECT_EQ(placed.size(), kPartNames.size() - 2);
  EXPECT_FALSE(placed.count("mute") || placed.count("jpg"));
}

TEST(SurfaceEngine, IsMadeOnlyWhenThereIsSomethingToPlay) {
  int made = 0;
  FakeEngine* engine = nullptr;
  FlashPlayerWidget player(nullptr, [&]() -> std::unique_ptr<MediaEngine> {
    ++made;
    auto e = std::make_unique<FakeEngine>();
    engine = e.get();
    return e;
  });
  player.resize(400, 300);
  player.setProperty("FlashVars", kIdleVars);
  QMetaObject::invokeMethod(&player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  EXPECT_TRUE(player.movieLoaded());
  // The idle player's controls work without an engine.
  const QRect slider = player.partRect(Part::Volume);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(slider.x() + 10, slider.center().y()),
                    QPointF(), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player, &press);
  EXPECT_EQ(player.volume(), 25);
  EXPECT_EQ(made, 0);

  player.setProperty("FlashVars", QStringLiteral("autoplay=true&volumen=60&flv=/v/c.flv"));
  QMetaObject::invokeMethod(&player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  ASSERT_EQ(made, 1);
  EXPECT_EQ(engine->calls, QStringList({"volume(60)", "muted(false)", "open(/v/c.flv,playing,0)"}));
  QMetaObject::invokeMethod(&player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  EXPECT_EQ(made, 1);  // kept for the next movie
}

TEST(SurfaceEngine, NoEngineForAVideoShowsTheErrorLayer) {
  FlashPlayerWidget player(nullptr, [] { return std::unique_ptr<MediaEngine>(); });
  player.resize(400, 300);
  player.setProperty("FlashVars", QStringLiteral("autoplay=true&flv=/v/c.flv"));
  QMetaObject::invokeMethod(&player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  EXPECT_TRUE(player.isShown(Part::Message));
  EXPECT_FALSE(player.isRefreshing());
}

namespace {

// The seek bar's preview with an http video: the time alone, only while the
// pointer is over the bar, and told to screen readers in the seek slider's
// description.
TEST_F(Surface, TheSeekBarPreviewOfAnHttpVideoShowsTheTimeUnderThePointerOnly) {
  load(QStringLiteral("autoplay=true&flv=http://example.com/v.flv"));
  engine->durationSeconds = 100;
  emit engine->durationChanged(100);
  player->show();
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(player.get());
  ASSERT_NE(face, nullptr);
  QAccessibleInterface* seek = face->child(1);
  ASSERT_NE(seek, nullptr);
  const QString description = seek->text(QAccessible::Description);

  moveTo(player->partRect(Part::Video).center());
  EXPECT_FALSE(player->seekPreviewShown()) << "nothing while the pointer rests elsewhere";
  moveTo(progressAt(0.25));
  ASSERT_TRUE(player->seekPreviewShown());
  EXPECT_NEAR(player->seekPreviewSeconds(), 25, 0.6);
  EXPECT_TRUE(player->seekPreviewPictureRect().isEmpty()) << "no picture of an http video";
  const QRect box = player->seekPreviewRect();
  EXPECT_FALSE(box.isEmpty());
  EXPECT_LT(box.bottom(), player->partRect(Part::Bar).top()) << "above the bar";
  EXPECT_TRUE(player->rect().contains(box));
  EXPECT_EQ(seek->text(QAccessible::Description), description + ", pointer at 0:25");
  EXPECT_TRUE(engine->playbackCalls().filter("seek").isEmpty()) << "a hover does not seek";

  // At the bar's right end the box stays inside the player.
  moveTo(progressAt(0.999));
  EXPECT_TRUE(player->rect().contains(player->seekPreviewRect()));

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(player.get(), &leave);
  EXPECT_FALSE(player->seekPreviewShown());
  EXPECT_EQ(seek->text(QAccessible::Description), description);
}

}  // namespace
