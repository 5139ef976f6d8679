// The window's hold on its player: what each new player's requests and
// videos lead to, and a full screen the display server ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/window/HeldPlayer.h"

namespace {

using quillet::player::PlaybackControl;
using quillet::qt::HeldPlayer;

// A player whose video and full-screen state the test sets.
class VideoPlayer final : public PlaybackControl {
 public:
  QString from;
  quint64 number = 1;
  bool seekable = true;
  bool full = false;
  std::vector<QString> notes;
  int leaves = 0;

  void opened(const QString& address, quint64 video) {
    from = address;
    number = video;
    emit metadataChanged();
  }

  void play() override {}
  void pause() override {}
  void togglePause() override {}
  void stop() override {}
  void seekTo(double) override {}
  void seekBy(double) override {}
  void setVolume(int) override {}
  void changeVolume(int) override {}
  void setMuted(bool) override {}
  void setSpeed(double) override {}
  void stepFrame(bool) override {}
  void toggleFullScreen() override { full = !full; }
  void leaveFullScreen() override {
    ++leaves;
    full = false;
  }
  State state() const override { return State::Playing; }
  bool canPlay() const override { return true; }
  bool canSeek() const override { return seekable; }
  double position() const override { return 0; }
  double duration() const override { return seekable ? 60 : 0; }
  int volume() const override { return 50; }
  bool isMuted() const override { return false; }
  bool inFullScreen() const override { return full; }
  QString address() const override { return from; }
  QString title() const override { return {}; }
  quint64 videoNumber() const override { return number; }
  void showNote(const QString& text) override { notes.push_back(text); }
};

struct Held : ::testing::Test {
  // Queued requests need an application's event loop.
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "desktop_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  }
  static void TearDownTestSuite() { app.reset(); }
  static inline std::unique_ptr<QCoreApplication> app;

  std::vector<QByteArray> remembered;
  std::vector<int> asked;
  std::optional<std::string> neighbour;
  HeldPlayer held{[this](int step) {
                    asked.push_back(step);
                    return neighbour;
                  },
                  [this](const QByteArray& path) { remembered.push_back(path); }};
};

// Each local video is remembered once, by its path's exact bytes, whatever
// form its address takes; web addresses and files that are no video never.
TEST_F(Held, RemembersEachLocalVideoOnceByItsPath) {
  VideoPlayer player;
  held.follow(&player);
  player.opened("file:///v/caf%E9%20x.flv", 1);
  player.opened("file:///v/caf%E9%20x.flv", 1);  // the same video's metadata again
  player.opened("FILE://localhost/v/b.flv", 2);
  player.opened("/v/c%20d.flv", 3);
  player.opened("http://h.example/v.flv", 4);
  player.opened("file://elsewhere.example/v/e.flv", 5);
  player.seekable = false;
  player.opened("/v/not-a-video.flv", 6);
  EXPECT_EQ(remembered, (std::vector<QByteArray>{"/v/caf\xe9 x.flv", "/v/b.flv", "/v/c%20d.flv"}));
}

// Page Down/Up reach the logic once the asking player's signal is done with;
// the player held then shows the name of the video opened, and nothing when
// none opened.
TEST_F(Held, NeighbourRequestsOpenTheOtherVideoAndShowItsName) {
  auto first = std::make_unique<VideoPlayer>();
  VideoPlayer second;
  held.follow(first.get());
  neighbour = "/v/clip 2.flv";
  emit first->neighbourRequested(1);
  EXPECT_TRUE(asked.empty());  // queued: the asking player may go meanwhile
  held.follow(&second);
  first.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(asked, std::vector<int>{1});
  EXPECT_EQ(second.notes, std::vector<QString>{"clip 2.flv"});

  neighbour.reset();
  held.openNeighbour(-1);
  EXPECT_EQ(asked, (std::vector<int>{1, -1}));
  EXPECT_EQ(second.notes.size(), 1u);
}

// Full screen the display server ends is left by the player itself, as its
// button would, so that its buttons and the program's state follow; a player
// not in full screen, or none, is left alone.
TEST_F(Held, FullScreenEndedElsewhereIsLeftByThePlayer) {
  held.fullScreenEnded();  // no player: nothing to reach
  VideoPlayer player;
  held.follow(&player);
  held.fullScreenEnded();
  EXPECT_EQ(player.leaves, 0);
  player.toggleFullScreen();
  held.fullScreenEnded();
  EXPECT_EQ(player.leaves, 1);
  EXPECT_FALSE(player.inFullScreen());
  held.follow(nullptr);
  player.toggleFullScreen();
  held.fullScreenEnded();
  EXPECT_EQ(player.leaves, 1);
}

}  // namespace
