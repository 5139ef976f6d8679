// A movie's playback without a widget: the session driven through its
// commands with a fake engine, checked by what it asks of the engine and
// what it reports.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "FakeEngine.h"
#include "player/engine/PlaybackSession.h"

namespace {

using quillet::player::FlashVars;
using quillet::player::MediaEngine;
using quillet::player::MovieSettings;
using quillet::player::PlaybackSession;
using quillet::player::testing::FakeEngine;

MovieSettings settingsOf(const char* vars) {
  return MovieSettings::read(FlashVars::parse(QString::fromLatin1(vars)));
}

// The end of a stream that a vseek seek reopened at a key frame: play
// starts the whole video again from its real start, not from the key frame.
TEST(PlaybackSession, PlayAtTheEndOfAReopenedStreamOpensTheVideoFromItsStart) {
  auto fake = std::make_unique<FakeEngine>();
  FakeEngine& engine = *fake;
  PlaybackSession session(std::move(fake), {});
  QSignalSpy seeked(&session, &PlaybackSession::seeked);
  session.start(settingsOf("autoplay=true&vseek=start&flv=http://h.example/v.flv"));
  engine.durationSeconds = 100;
  emit engine.durationChanged(100);
  engine.seekable = 30;
  engine.index.times = {0, 20, 40, 60};
  engine.index.filePositions = {13, 2000, 4000, 6000};

  session.seekTo(70);
  EXPECT_EQ(engine.calls.last(), "open(http://h.example/v.flv?start=6000,playing,60)");
  EXPECT_DOUBLE_EQ(session.position(), 60);
  // Within the reopened stream a seek stays a seek; before its start it
  // reopens again.
  engine.seekable = 80;
  session.seekTo(75);
  EXPECT_EQ(engine.calls.last(), "seek(75)");
  session.seekTo(45);
  EXPECT_EQ(engine.calls.last(), "open(http://h.example/v.flv?start=4000,playing,40)");

  engine.positionSeconds = 100;
  emit engine.endOfStream();
  EXPECT_TRUE(session.atEnd());
  EXPECT_FALSE(session.playing());
  EXPECT_FALSE(session.isRefreshing());
  session.play();
  EXPECT_EQ(engine.calls.last(), "open(http://h.example/v.flv,playing,0)");
  EXPECT_TRUE(session.playing());
  EXPECT_DOUBLE_EQ(session.position(), 0);
  ASSERT_GE(seeked.count(), 1);
  EXPECT_DOUBLE_EQ(seeked.last().at(0).toDouble(), 0);
}

// A seek whose target is clamped to the duration leaves the video at its
// end, so that play starts it again from the beginning; a seek to anywhere
// before the end plays on from there.
TEST(PlaybackSession, ASeekPastTheEndKeepsTheVideoAtItsEnd) {
  auto fake = std::make_unique<FakeEngine>();
  FakeEngine& engine = *fake;
  PlaybackSession session(std::move(fake), {});
  session.start(settingsOf("autoplay=true&flv=/v/c.flv"));
  engine.durationSeconds = 50;
  emit engine.durationChanged(50);
  for (const double past : {55.0, 50.0}) {
    engine.positionSeconds = 50;
    emit engine.endOfStream();
    session.seekTo(past);
    EXPECT_TRUE(session.atEnd()) << past;
    engine.calls.clear();
    session.play();
    EXPECT_EQ(engine.calls, QStringList({"seek(0)", "play"})) << past;
    EXPECT_DOUBLE_EQ(session.position(), 0);
  }
  emit engine.endOfStream();
  session.seekTo(20);
  EXPECT_FALSE(session.atEnd());
  engine.calls.clear();
  session.play();
  EXPECT_EQ(engine.calls, QStringList({"play"}));
}

// Stop goes back to the start and waits; a movie that is replaced or
// unloaded leaves nothing of itself behind, and late news of its stream
// changes nothing.
TEST(PlaybackSession, StopAndUnloadLeaveNothingOfTheOldStream) {
  auto fake = std::make_unique<FakeEngine>();
  FakeEngine& engine = *fake;
  PlaybackSession session(std::move(fake), {});
  session.start(settingsOf("autoplay=true&volumen=30&flv=/v/c.flv"));
  emit engine.durationChanged(50);
  session.setMuted(true);
  engine.positionSeconds = 20;
  session.stop();
  EXPECT_TRUE(session.stopped());
  EXPECT_FALSE(session.playing());
  EXPECT_EQ(engine.calls.mid(engine.calls.size() - 2), QStringList({"pause", "seek(0)"}));

  session.start(settingsOf("flv=/v/d.flv"));
  EXPECT_FALSE(session.started());
  EXPECT_FALSE(session.stopped());
  EXPECT_EQ(session.volume(), 75);
  EXPECT_FALSE(session.isMuted());
  EXPECT_DOUBLE_EQ(session.duration(), 0);
  EXPECT_EQ(engine.calls.last(), "open(/v/d.flv,paused,0)");

  session.unload();
  EXPECT_FALSE(session.hasMovie());
  emit engine.status(MediaEngine::StreamStatus::StreamNotFound);
  emit engine.pausedChanged(false);
  emit engine.durationChanged(10);
  EXPECT_FALSE(session.notFound());
  EXPECT_FALSE(session.playing());
  EXPECT_DOUBLE_EQ(session.duration(), 0);
  EXPECT_FALSE(session.isRefreshing());
}

}  // namespace
