#pragma once
// Shared set-up of the playback tests: a Form1 on the recording fakes, with
// its player's steps reachable one at a time.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"

namespace quillet {

struct PlaybackTestAccess {
  // The window's player, whose steps the tests run one at a time.
  static Playback& playback(Form1& f) { return f.playback; }
  static void CreatePlayerControl(Form1& f) { f.playback.CreatePlayerControl(); }
  static void LoadIdlePlayer(Form1& f) { f.playback.LoadIdlePlayer(); }
  // What the window's load would have measured and made.
  static void setMoviePath(Form1& f, std::string path) { f.moviePath = std::move(path); }
  static void setFrameHeight(Form1& f, std::int16_t twips) { f.frameHeight = twips; }
  static std::int32_t savedWidth(Form1& f) { return f.playback.savedWidth; }
  static std::int32_t savedHeight(Form1& f) { return f.playback.savedHeight; }
};

namespace testing_playback {

using fakes::FakeExtender;
using fakes::FakePlatform;
using Access = PlaybackTestAccess;

inline constexpr const char* kMovie = "/tmp/TMP1.tmp";
inline constexpr std::int16_t kFrame = 600;  // twips, as the fake window's frame

// A Form1 whose player control was created as at load, with the movie path
// and frame height that the load sequence would have set.
class PlaybackTest : public ::testing::Test {
 protected:
  PlaybackTest() {
    Access::setMoviePath(form, kMovie);
    Access::setFrameHeight(form, kFrame);
  }

  void createAtLoad() {
    Access::CreatePlayerControl(form);
    p.journal.clear();
  }
  // Keeps the window's layout (Form_Resize) out of a recorded sequence.
  void withoutLayout() { p.window.events = nullptr; }

  std::shared_ptr<FakeExtender> control() const { return p.controls.named("flashplayer"); }
  std::vector<std::string> entries(const std::string& prefix) const {
    return p.journal.starting(prefix);
  }
  void raise(const std::shared_ptr<FakeExtender>& c, const std::string& command,
             const std::string& argument) {
    c->raise("FSCommand", {std::string(command), std::string(argument)});
  }

  FakePlatform p;
  Form1 form{p.platform};
};

}  // namespace testing_playback
}  // namespace quillet
