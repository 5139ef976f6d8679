// Keys, wheel and double-click on the player inside a window that also has
// push buttons, and the playback interface they share with the control bar:
// each checked by its effect on the player (engine calls, position, volume,
// mute, full-screen requests, state).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <tuple>

#include "FakeEngine.h"
#include "player/surface/FlashPlayerWidget.h"

using quillet::player::FlashPlayerWidget;
using quillet::player::MediaEngine;
using quillet::player::PlaybackControl;
using quillet::player::testing::FakeEngine;
using Part = FlashPlayerWidget::Part;
using State = PlaybackControl::State;

namespace {

const QString kMovie = QStringLiteral(QUILLET_PLAYER_MOVIE_PATH);
const QString kVideoVars = QStringLiteral(
    "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=/v/a%20b.flv");

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    auto fake = std::make_unique<FakeEngine>();
    engine = fake.get();
    player = new FlashPlayerWidget(std::move(fake), {}, window.get());
    player->setGeometry(0, 0, 400, 300);
    button = new QPushButton(QStringLiteral("Open"), window.get());
    button->setGeometry(0, 305, 100, 30);
    other = new QPushButton(QStringLiteral("Other"), window.get());
    other->setGeometry(110, 305, 100, 30);
    window->resize(400, 340);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    fsCommands = std::make_unique<QSignalSpy>(player, &FlashPlayerWidget::FSCommand);
  }

  PlaybackControl& playback() const { return player->playback(); }

  // A video at 50 s of 100.
  void loadVideo(const QString& vars = kVideoVars) {
    player->setProperty("FlashVars", vars);
    QMetaObject::invokeMethod(player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
    engine->durationSeconds = 100;
    emit engine->durationChanged(100);
    engine->positionSeconds = 50;
    engine->calls.clear();
  }

  // As the keyboard does it: to whatever has the focus.
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : window.get(), k, modifiers);
  }

  void mouse(QEvent::Type type, QPoint pos) {
    QMouseEvent e(type, pos, player->mapToGlobal(pos), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(player, &e);
  }
  // What the system sends for a double-click.
  void doubleClick(QPoint pos) {
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                      QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
      mouse(type, pos);
  }

  void wheel(QPoint angle, QPoint pixels = {}) {
    const QPointF pos(200, 100);
    QWheelEvent e(pos, player->mapToGlobal(pos), pixels, angle, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(player, &e);
  }

  QStringList screenRequests() const {
    QStringList out;
    for (const auto& args : *fsCommands) out << args.at(1).toString();
    return out;
  }

  std::unique_ptr<QWidget> window;
  FakeEngine* engine = nullptr;
  FlashPlayerWidget* player = nullptr;
  QPushButton* button = nullptr;
  QPushButton* other = nullptr;
  std::unique_ptr<QSignalSpy> fsCommands;
};

}  // namespace

TEST_F(Controls, KeysDriveThePlayerWhicheverControlHasTheFocus) {
  for (QWidget* focus : {static_cast<QWidget*>(player), static_cast<QWidget*>(button)}) {
    SCOPED_TRACE(focus->metaObject()->className());
    loadVideo();
    fsCommands->clear();
    focus->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), focus);

    key(Qt::Key_K);
    EXPECT_EQ(playback().state(), State::Paused);
    EXPECT_TRUE(player->isShown(Part::Play));
    key(Qt::Key_K);
    EXPECT_EQ(playback().state(), State::Playing);

    key(Qt::Key_Right);
    EXPECT_DOUBLE_EQ(engine->positionSeconds, 55);
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(engine->positionSeconds, 56);
    key(Qt::Key_Left, Qt::ShiftModifier);
    key(Qt::Key_Left);
    EXPECT_DOUBLE_EQ(engine->positionSeconds, 50);
    EXPECT_EQ(player->displayedTime(), "00:50");
    key(Qt::Key_Home);
    EXPECT_DOUBLE_EQ(engine->positionSeconds, 0);
    key(Qt::Key_Left);  // never before the start
    EXPECT_DOUBLE_EQ(engine->positionSeconds, 0);
    EXPECT_EQ(engine->playbackCalls(), QStringList({"pause", "play", "seek(55)", "seek(56)",
                                                    "seek(55)", "seek(50)", "seek(0)", "seek(0)"}));

    key(Qt::Key_Up);
    EXPECT_EQ(player->volume(), 80);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(player->volume(), 70);
    for (int i = 0; i < 8; ++i) key(Qt::Key_Up);
    EXPECT_EQ(player->volume(), 100);
    EXPECT_EQ(engine->calls.filter("volume").last(), "volume(100)");
    key(Qt::Key_M);
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(engine->calls.last(), "muted(true)");
    key(Qt::Key_M);
    EXPECT_FALSE(player->isMuted());

    key(Qt::Key_F);
    EXPECT_TRUE(player->inFullScreenState());
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);  // outside full screen Esc asks for nothing
    key(Qt::Key_F);
    key(Qt::Key_F);
    EXPECT_EQ(screenRequests(), QStringList({"full", "normal", "full", "normal"}));
    EXPECT_EQ(playback().state(), State::Playing);
  }

  // The idle player has no screen buttons, so no key asks for full screen.
  player->setProperty("FlashVars", QStringLiteral("fullscreen=false&autoplay=false"));
  QMetaObject::invokeMethod(player, "LoadMovie", Q_ARG(int, 0), Q_ARG(QString, kMovie));
  fsCommands->clear();
  key(Qt::Key_F);
  key(Qt::Key_Space);
  EXPECT_EQ(fsCommands->count(), 0);
  EXPECT_EQ(playback().state(), State::Stopped);
}

// Each action of the bar's accessible parts does what the one key it names
// does, from the same state: the keys and the actions read one table.
TEST_F(Controls, EachAccessibleActionDoesWhatTheKeyItNamesDoes) {
  const auto outcome = [&](const std::function<void()>& act) {
    loadVideo();
    fsCommands->clear();
    player->setFocus();
    act();
    return std::make_tuple(engine->calls, player->volume(), player->isMuted(), screenRequests(),
                           playback().state());
  };
  const auto idle = outcome([] {});
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(player);
  ASSERT_NE(face, nullptr);
  int checked = 0;
  for (int i = 0; i < face->childCount(); ++i) {
    QAccessibleActionInterface* actions = face->child(i)->actionInterface();
    if (!actions) continue;
    const QString part = face->child(i)->text(QAccessible::Name);
    for (const QString& name : actions->actionNames()) {
      SCOPED_TRACE((part + ": " + name).toStdString());
      const QStringList keys = face->child(i)->actionInterface()->keyBindingsForAction(name);
      ASSERT_EQ(keys.size(), 1);
      const QKeySequence sequence = QKeySequence::fromString(keys[0], QKeySequence::PortableText);
      ASSERT_EQ(sequence.count(), 1) << keys[0].toStdString();
      const auto byAction = outcome([&] { face->child(i)->actionInterface()->doAction(name); });
      const auto byKey =
          outcome([&] { QTest::keySequence(QApplication::focusWidget(), sequence); });
      EXPECT_TRUE(byAction == byKey)
          << "the action: " << std::get<0>(byAction).join(' ').toStdString()
          << "; the key: " << std::get<0>(byKey).join(' ').toStdString();
      EXPECT_FALSE(byAction == idle) << "the action did nothing";
      ++checked;
    }
  }
  // Play/pause, seek and volume both ways, the mute's two actions, the screen.
  EXPECT_EQ(checked, 8);
}

TEST_F(Controls, SpaceGoesToTheFocusedButtonUntilThePictureTakesTheFocus) {
  QSignalSpy pressed(button, &QPushButton::clicked);
  button->setFocus();
  loadVideo();
  // A new video gives the picture the focus, where Space plays and pauses.
  EXPECT_EQ(QApplication::focusWidget(), player);
  key(Qt::Key_Space);
  EXPECT_EQ(playback().state(), State::Paused);

  // A button reached with Tab keeps Space and Enter; Tab walks the buttons
  // and never stops at the picture.
  button->setFocus();
  key(Qt::Key_Space);
  key(Qt::Key_Return);
  EXPECT_EQ(pressed.count(), 1);
  EXPECT_EQ(playback().state(), State::Paused);
  key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), other);
  key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), button);

  // A click on the picture takes the focus back.
  QTest::mouseClick(player, Qt::LeftButton, {}, QPoint(200, 100));
  EXPECT_EQ(QApplication::focusWidget(), player);
  key(Qt::Key_Space);
  EXPECT_EQ(playback().state(), State::Playing);
  EXPECT_EQ(pressed.count(), 1);
  EXPECT_EQ(engine->playbackCalls(), QStringList({"pause", "play"}));
}

TEST_F(Controls, TheWheelChangesTheVolumeByNotchesAndAddsUpSmallSteps) {
  loadVideo();
  wheel({0, 120});
  EXPECT_EQ(player->volume(), 80);
  wheel({0, -240});
  EXPECT_EQ(player->volume(), 70);
  // A touchpad's small steps count once they make a notch.
  wheel({0, 40});
  wheel({0, 40});
  EXPECT_EQ(player->volume(), 70);
  wheel({0, 40});
  EXPECT_EQ(player->volume(), 75);
  // Turning back drops what had not yet made a notch; pixel-only devices.
  wheel({0, 100});
  wheel({0, -120});
  wheel({}, {0, 30});
  EXPECT_EQ(player->volume(), 75);
  EXPECT_EQ(engine->calls.last(), "volume(75)");

  // The slider follows: filled up to the volume.
  wheel({0, -120});
  const QRect slider = player->partRect(Part::Volume);
  const QImage bar = player->grab().toImage();
  EXPECT_EQ(bar.pixelColor(slider.x() + 27, slider.center().y()), QColor(Qt::white));
  EXPECT_NE(bar.pixelColor(slider.x() + 29, slider.center().y()), QColor(Qt::white));
  EXPECT_EQ(playback().state(), State::Playing);
}

TEST_F(Controls, ADoubleClickOnThePictureSwitchesTheScreenAndNothingElse) {
  loadVideo();
  doubleClick(QPoint(200, 100));
  EXPECT_EQ(screenRequests(), QStringList{"full"});
  doubleClick(QPoint(10, 10));
  EXPECT_EQ(screenRequests(), QStringList({"full", "normal"}));
  // Neither click of it paused or played.
  EXPECT_TRUE(engine->playbackCalls().isEmpty()) << engine->calls.join(' ').toStdString();
  EXPECT_EQ(playback().state(), State::Playing);

  // A video waiting for its first play: the first click starts it, the
  // second makes it full screen and does not pause it again.
  loadVideo(QStringLiteral("fullscreen=true&autoplay=false&flv=/v/b.flv"));
  fsCommands->clear();
  doubleClick(QPoint(200, 100));
  EXPECT_EQ(engine->playbackCalls(), QStringList{"play"});
  EXPECT_EQ(screenRequests(), QStringList{"full"});
  EXPECT_EQ(playback().state(), State::Playing);
}

TEST_F(Controls, ThePlaybackInterfaceActsAsTheBarAndReportsWhatChanged) {
  QSignalSpy state(&playback(), &PlaybackControl::stateChanged);
  QSignalSpy metadata(&playback(), &PlaybackControl::metadataChanged);
  QSignalSpy seeked(&playback(), &PlaybackControl::seeked);
  QSignalSpy volume(&playback(), &PlaybackControl::volumeChanged);
  EXPECT_EQ(playback().videoNumber(), 0u);
  loadVideo();
  const quint64 first = playback().videoNumber();
  EXPECT_GT(first, 0u);
  EXPECT_EQ(playback().state(), State::Playing);
  EXPECT_EQ(playback().address(), "/v/a b.flv");
  EXPECT_EQ(playback().title(), "a b.flv");  // the file's name while its metadata has none
  EXPECT_TRUE(playback().canSeek());
  EXPECT_EQ(state.count(), 1);
  EXPECT_GE(metadata.count(), 2);  // the video, then its duration
  engine->titleText = QStringLiteral("Über Title");
  metadata.clear();
  emit engine->titleChanged();
  EXPECT_EQ(playback().title(), "Über Title");
  EXPECT_EQ(metadata.count(), 1);

  // The bar shows what the interface did, and the interface what the bar did.
  playback().pause();
  EXPECT_TRUE(player->isShown(Part::Play));
  mouse(QEvent::MouseButtonPress, player->partRect(Part::Play).center());
  mouse(QEvent::MouseButtonRelease, player->partRect(Part::Play).center());
  EXPECT_EQ(state.count(), 3);
  playback().setVolume(30);
  playback().setMuted(true);
  EXPECT_EQ(volume.count(), 2);

  // Stop goes back to the start and waits; play goes on from there.
  seeked.clear();
  playback().stop();
  EXPECT_EQ(playback().state(), State::Stopped);
  EXPECT_EQ(engine->playbackCalls().mid(2), QStringList({"pause", "seek(0)"}));
  ASSERT_EQ(seeked.count(), 1);
  EXPECT_EQ(seeked.at(0).at(0).toDouble(), 0.0);
  playback().seekTo(0);
  EXPECT_EQ(playback().state(), State::Stopped);
  playback().play();
  EXPECT_EQ(playback().state(), State::Playing);

  // The end pauses; play starts again from the start.
  seeked.clear();
  emit engine->endOfStream();
  EXPECT_EQ(playback().state(), State::Paused);
  playback().togglePause();
  EXPECT_EQ(engine->playbackCalls().mid(engine->playbackCalls().size() - 2),
            QStringList({"seek(0)", "play"}));
  EXPECT_EQ(seeked.count(), 1);
  EXPECT_EQ(playback().state(), State::Playing);

  // A stream that is not found can do nothing.
  emit engine->status(MediaEngine::StreamStatus::StreamNotFound);
  EXPECT_EQ(playback().state(), State::Stopped);
  const int calls = engine->playbackCalls().size();
  playback().play();
  playback().seekBy(5);
  EXPECT_EQ(engine->playbackCalls().size(), calls);
  loadVideo();
  EXPECT_GT(playback().videoNumber(), first);
}

TEST_F(Controls, APictureWithTheKeyboardFocusShowsARing) {
  loadVideo();
  const QColor ring = player->palette().color(QPalette::Active, QPalette::Highlight);
  const auto corner = [this] { return player->grab().toImage().pixelColor(1, 1); };
  player->setFocus();
  ASSERT_TRUE(player->hasFocus());
  EXPECT_EQ(corner(), ring);
  button->setFocus();
  EXPECT_NE(corner(), ring);
}

TEST_F(Controls, TheBarsButtonsAndSeekBarHaveTooltips) {
  loadVideo();
  const auto tipAt = [this](Part part) {
    const QPoint at = player->partRect(part).center();
    QHelpEvent help(QEvent::ToolTip, at, player->mapToGlobal(at));
    QApplication::sendEvent(player, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tipAt(Part::Pause), "Pause");
  EXPECT_EQ(tipAt(Part::Mute), "Mute");
  EXPECT_EQ(tipAt(Part::Full), "Full screen");
  EXPECT_EQ(tipAt(Part::Progress), "0:50 of 1:40");
}
