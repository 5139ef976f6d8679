#include <gtest/gtest.h>

#include <stdexcept>

#include "shell/FileDrop.h"
#include "tests/fakes/FakePlatform.h"

namespace quillet {
namespace {

using fakes::FakeDrops;
using fakes::Journal;

constexpr WindowHandle kWindow = 0x1234;
const std::string kWin = std::to_string(kWindow);
const std::string kPrev = std::to_string(FakeDrops::kOriginalProc);

class ShellFileDrop : public ::testing::Test {
 protected:
  Journal j;
  FakeDrops drops{j};
  std::vector<std::string> opened;
  fakes::FakeTrace trace;
  FileDrop fileDrop{drops, trace, [this](std::string path) {
                      j.add("open " + path);
                      opened.push_back(std::move(path));
                    }};

  void enable() {
    fileDrop.EnableFileDrop(kWindow);
    j.clear();
  }
  void drop(DropHandle h, std::vector<std::string> paths) {
    drops.drops[h] = std::move(paths);
    drops.deliver({true, h});
  }
  int count(const std::string& entry) const {
    return static_cast<int>(std::count(j.all().begin(), j.all().end(), entry));
  }
};

TEST_F(ShellFileDrop, EnableAcceptsAndHooks) {
  fileDrop.EnableFileDrop(kWindow);
  EXPECT_EQ(j.all(),
            (std::vector<std::string>{"DragAcceptFiles " + kWin + " 1", "SetWindowProc " + kWin}));
  EXPECT_TRUE(drops.accepting);
  EXPECT_EQ(fileDrop.previousProc(), FakeDrops::kOriginalProc);
}

// Opened first, released once, then passed on to the window's own handling.
TEST_F(ShellFileDrop, OneFileOpensThenReleasesThenPassesOn) {
  enable();
  drop(7, {"/videos/clip.flv"});
  EXPECT_EQ(j.all(),
            (std::vector<std::string>{"DragQueryFile 7 0", "open /videos/clip.flv", "DragFinish 7",
                                      "CallWindowProc " + kPrev + " " + kWin + " drop"}));
}

TEST_F(ShellFileDrop, SeveralFilesOpenOnlyTheFirst) {
  enable();
  drop(8, {"/v/first.flv", "/v/second.flv", "/v/third.flv"});
  EXPECT_EQ(opened, std::vector<std::string>{"/v/first.flv"});
  EXPECT_EQ(j.starting("DragQueryFile"), std::vector<std::string>{"DragQueryFile 8 0"});
  EXPECT_EQ(count("DragFinish 8"), 1);
}

// Nothing is checked: a folder, any file type and long paths go on whole.
TEST_F(ShellFileDrop, AnyPathGoesOnUnchanged) {
  enable();
  const std::string longPath = "/media/" + std::string(600, 'd') + "/clip.flv";
  drop(1, {"/home/me/Videos"});
  drop(2, {"/home/me/notes.txt"});
  drop(3, {longPath});
  drop(4, {"/home/me/my clip (1) #2.flv"});
  EXPECT_EQ(opened, (std::vector<std::string>{"/home/me/Videos", "/home/me/notes.txt", longPath,
                                              "/home/me/my clip (1) #2.flv"}));
  for (int h = 1; h <= 4; ++h) EXPECT_EQ(count("DragFinish " + std::to_string(h)), 1);
}

TEST_F(ShellFileDrop, EmptyDropOpensNothingButIsReleased) {
  enable();
  drop(5, {});
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(count("DragFinish 5"), 1);
  EXPECT_EQ(count("CallWindowProc " + kPrev + " " + kWin + " drop"), 1);
}

TEST_F(ShellFileDrop, OtherEventsOnlyPassOn) {
  enable();
  drops.deliver({});
  drops.deliver({});
  EXPECT_EQ(j.all(), (std::vector<std::string>{"CallWindowProc " + kPrev + " " + kWin + " other",
                                               "CallWindowProc " + kPrev + " " + kWin + " other"}));
}

TEST(ShellFileDropFailure, ReleasedOnceWhenOpeningFails) {
  Journal j;
  FakeDrops drops(j);
  fakes::FakeTrace trace;
  FileDrop fileDrop(drops, trace, [](std::string) { throw std::runtime_error("cannot open"); });
  fileDrop.EnableFileDrop(kWindow);
  drops.drops[9] = {"/v/broken.flv"};
  EXPECT_THROW(drops.deliver({true, 9}), std::runtime_error);
  EXPECT_EQ(j.starting("DragFinish"), std::vector<std::string>{"DragFinish 9"});
}

TEST_F(ShellFileDrop, DisableWithdrawsAndRestores) {
  enable();
  fileDrop.DisableFileDrop(kWindow);
  EXPECT_EQ(j.all(), (std::vector<std::string>{"DragAcceptFiles " + kWin + " 0",
                                               "RestoreWindowProc " + kWin + " " + kPrev}));
  EXPECT_EQ(fileDrop.previousProc(), 0);
  EXPECT_FALSE(drops.accepting);
  drop(6, {"/v/late.flv"});
  EXPECT_TRUE(opened.empty());
}

TEST_F(ShellFileDrop, DisableUnhookedOnlyWithdraws) {
  fileDrop.DisableFileDrop(kWindow);
  EXPECT_EQ(j.all(), std::vector<std::string>{"DragAcceptFiles " + kWin + " 0"});
}

// A hook that cannot be installed leaves nothing to restore.
TEST_F(ShellFileDrop, FailedHookRestoresNothing) {
  drops.failHook = true;
  fileDrop.EnableFileDrop(kWindow);
  EXPECT_EQ(fileDrop.previousProc(), 0);
  j.clear();
  fileDrop.DisableFileDrop(kWindow);
  EXPECT_TRUE(j.starting("RestoreWindowProc").empty());
}

}  // namespace
}  // namespace quillet
