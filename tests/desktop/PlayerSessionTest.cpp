// The media services see whichever player the window holds now, in their own
// units, and hear of every change of it.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/desktop/PlayerSession.h"
#include "player/movie/FlashVars.h"

namespace {

using quillet::player::PlaybackControl;
using quillet::qt::MediaSession;
using quillet::qt::PlayerSession;

class RecordingPlayer final : public PlaybackControl {
 public:
  std::vector<std::string> calls;
  State shown = State::Paused;
  int percent = 40;
  QString from = "/videos/clip.flv";

  void play() override { calls.push_back("play"); }
  void pause() override { calls.push_back("pause"); }
  void togglePause() override { calls.push_back("toggle"); }
  void stop() override { calls.push_back("stop"); }
  void seekTo(double s) override { calls.push_back("seekTo " + std::to_string(int(s))); }
  void seekBy(double s) override { calls.push_back("seekBy " + std::to_string(int(s))); }
  void setVolume(int p) override { calls.push_back("volume " + std::to_string(p)); }
  void changeVolume(int) override {}
  void setMuted(bool m) override { calls.push_back(m ? "mute" : "unmute"); }
  void setSpeed(double f) override { calls.push_back("speed " + std::to_string(int(f * 10))); }
  void stepFrame(bool forward) override { calls.push_back(forward ? "next" : "previous"); }
  double speed() const override { return 1.5; }
  void toggleFullScreen() override {}
  void leaveFullScreen() override {}
  State state() const override { return shown; }
  bool canPlay() const override { return true; }
  bool canSeek() const override { return true; }
  double position() const override { return 12.5; }
  double duration() const override { return 60; }
  int volume() const override { return percent; }
  bool isMuted() const override { return false; }
  bool inFullScreen() const override { return false; }
  QString address() const override { return from; }
  QString title() const override { return "Clip"; }
  quint64 videoNumber() const override { return 3; }
};

TEST(PlayerSession, FollowsThePlayerItHoldsAndForgetsOneThatGoes) {
  PlayerSession session;
  EXPECT_EQ(session.state(), MediaSession::State::Stopped);
  EXPECT_EQ(session.video().number, 0u);
  EXPECT_FALSE(session.canPlay());
  session.commands().play();  // nothing to reach: no crash, nothing else

  auto player = std::make_unique<RecordingPlayer>();
  QSignalSpy state(&session, &MediaSession::stateChanged);
  QSignalSpy seeked(&session, &MediaSession::seeked);
  session.follow(player.get());
  EXPECT_EQ(state.size(), 1);
  EXPECT_EQ(session.state(), MediaSession::State::Paused);
  const auto video = session.video();
  EXPECT_EQ(video.number, 3u);
  EXPECT_EQ(video.address, "/videos/clip.flv");
  EXPECT_EQ(video.title, "Clip");
  EXPECT_EQ(video.duration, 60);
  EXPECT_EQ(session.volume(), 40);
  EXPECT_DOUBLE_EQ(session.speed(), 1.5);
  EXPECT_DOUBLE_EQ(session.position(), 12.5);

  // Each command reaches the player as it was given.
  quillet::player::PlaybackCommands& commands = session.commands();
  commands.play();
  commands.togglePause();
  commands.stop();
  commands.seekTo(30);
  commands.seekBy(-5);
  commands.setVolume(56);
  commands.setMuted(true);
  commands.setSpeed(2);
  commands.stepFrame(false);
  EXPECT_EQ(player->calls,
            (std::vector<std::string>{"play", "toggle", "stop", "seekTo 30", "seekBy -5",
                                      "volume 56", "mute", "speed 20", "previous"}));

  emit player->stateChanged();
  emit player->seeked(8);
  EXPECT_EQ(state.size(), 2);
  ASSERT_EQ(seeked.size(), 1);
  EXPECT_EQ(seeked.at(0).at(0).toDouble(), 8);

  // A second player replaces the first: the first one's news no longer counts.
  RecordingPlayer second;
  second.shown = PlaybackControl::State::Playing;
  session.follow(&second);
  emit player->stateChanged();
  EXPECT_EQ(state.size(), 3);
  EXPECT_EQ(session.state(), MediaSession::State::Playing);

  // The held player is destroyed with its component: stopped, and told.
  auto third = std::make_unique<RecordingPlayer>();
  session.follow(third.get());
  const auto before = state.size();
  third.reset();
  EXPECT_EQ(state.size(), before + 1);
  EXPECT_EQ(session.state(), MediaSession::State::Stopped);
  EXPECT_EQ(session.video().number, 0u);
}

// The address as a URL names the file's exact bytes, whether the player
// holds a path (a name that is not UTF-8 included) or a file: address; a web
// address stays as it is.
TEST(PlayerSession, TheUrlNamesTheFilesExactBytes) {
  PlayerSession session;
  RecordingPlayer player;
  session.follow(&player);
  const std::pair<QString, QString> cases[] = {
      {quillet::player::textOf("/v/caf\xe9 & \xef\xbb\xbf.flv"),
       "file:///v/caf%E9%20%26%20%EF%BB%BF.flv"},
      {"file:///v/caf%E9.flv", "file:///v/caf%E9.flv"},
      {QString::fromUtf8("/v/caf\xc3\xa9.flv"), "file:///v/caf%C3%A9.flv"},
      {"http://h.example/a%20b.flv?x=1", "http://h.example/a%20b.flv?x=1"},
  };
  for (const auto& [address, url] : cases) {
    player.from = address;
    EXPECT_EQ(session.video().url, url) << address.toStdString();
  }
}

}  // namespace
