// The player's full-screen requests and the window's two display states.

#include <string>
#include <vector>

#include "tests/logic/PlaybackFixture.h"

namespace quillet::testing_playback {
namespace {

using Entries = std::vector<std::string>;

class FullScreenTest : public PlaybackTest {
 protected:
  FullScreenTest() {
    createAtLoad();
    p.window.top = 1200;
    p.window.left = 3000;
  }
  void full() { raise(control(), "screen", "full"); }
  void normal() { raise(control(), "screen", "normal"); }
  // What the window and the control were told, in order.
  Entries steps() const {
    Entries out;
    for (const auto& e : p.journal.all())
      if (e.rfind("Form1.", 0) == 0 || e.rfind("Picture3.", 0) == 0 || e.rfind("ctl1.", 0) == 0)
        out.push_back(e);
    return out;
  }
};

TEST_F(FullScreenTest, OnlyTheExactRequestIsHeard) {
  const std::vector<std::pair<std::string, Values>> ignored{
      {"fscommand", {std::string("screen"), std::string("full")}},
      {"FSCommand ", {std::string("screen"), std::string("full")}},
      {"FSCommand", {std::string("Screen"), std::string("full")}},
      {"FSCommand", {std::string("screen"), std::string("Full")}},
      {"FSCommand", {std::string("screen"), std::string("FULL")}},
      {"FSCommand", {std::string("screen"), std::string("full ")}},
      {"FSCommand", {std::string("screen"), std::string("fullscreen")}},
      {"FSCommand", {std::string("quit"), std::string("full")}},
      {"FSCommand", {std::int32_t{1}, std::string("full")}},
      {"FSCommand", {std::string("screen")}},
      {"FSCommand", {}},
      {"OnProgress", {std::int32_t{50}}},
  };
  for (const auto& [name, params] : ignored) control()->raise(name, params);
  EXPECT_TRUE(p.journal.all().empty());

  control()->raise("FSCommand", {std::string("screen"), std::string("full")});
  EXPECT_EQ(p.window.border, kBorderNone);
}

TEST_F(FullScreenTest, FullMakesTheWindowFramelessScreenSizedWithTheControlOverIt) {
  withoutLayout();
  full();
  EXPECT_EQ(steps(),
            (Entries{"Form1.BorderStyle=0", "Form1.Caption=Quillet", "Form1.Top=0", "Form1.Left=0",
                     "Form1.Width=28800", "Form1.Height=16200", "Picture3.Visible=False",
                     "ctl1.Top=0:i16", "ctl1.Width=28800:f32", "ctl1.Height=16200:f32"}));
  EXPECT_EQ(Access::savedWidth(form), 11580);
  EXPECT_EQ(Access::savedHeight(form), 6855);
}

// Back to the earlier size and place, with border and panel; the control
// gets the saved size less the panel and the frame until the next layout.
TEST_F(FullScreenTest, NormalPutsTheWindowBackWhereItWas) {
  full();
  withoutLayout();
  p.journal.clear();
  normal();
  EXPECT_EQ(steps(), (Entries{"Form1.BorderStyle=2", "Form1.Caption=Quillet", "Form1.Top=1200",
                              "Form1.Left=3000", "Form1.Width=11580", "Form1.Height=6855",
                              "ctl1.Width=11580:i32", "ctl1.Height=5535:f64",
                              "Picture3.Visible=True", "ctl1.Top=0:i16"}));
  EXPECT_EQ(*p.window.width(), 11580);
  EXPECT_EQ(*p.window.height(), 6855);
  EXPECT_EQ(p.window.border, kBorderSizable);
  EXPECT_TRUE(p.window.panel.visible);
}

// With the window's layout running inside, the control's own steps still
// come last and win.
TEST_F(FullScreenTest, TheControlStepsComeAfterTheLayoutThatTheResizeRuns) {
  full();
  EXPECT_EQ(entries("ctl1.").back(), "ctl1.Height=16200:f32");
  normal();
  auto last = entries("ctl1.");
  ASSERT_GE(last.size(), 3u);
  EXPECT_EQ(last[last.size() - 3], "ctl1.Width=11580:i32");
  EXPECT_EQ(last[last.size() - 2], "ctl1.Height=5535:f64");
}

TEST_F(FullScreenTest, ASecondFullKeepsTheSizeToGoBackTo) {
  full();
  full();
  EXPECT_EQ(*p.window.width(), 28800);
  normal();
  EXPECT_EQ(*p.window.width(), 11580);
  EXPECT_EQ(*p.window.height(), 6855);
  EXPECT_EQ(p.window.top, 1200);
  EXPECT_EQ(p.window.left, 3000);
}

TEST_F(FullScreenTest, NormalOutsideFullScreenChangesNothing) {
  normal();
  EXPECT_TRUE(p.journal.all().empty());
  full();
  normal();
  p.journal.clear();
  normal();
  EXPECT_TRUE(p.journal.all().empty());
  EXPECT_EQ(*p.window.width(), 11580);
}

TEST_F(FullScreenTest, FullScreenCoversTheWindowsOwnScreenOfAnySize) {
  struct Case {
    double tpp, leftPx, widthPx, heightPx;
    Entries expected;
  };
  const std::vector<Case> cases{
      // A second screen to the right of the first.
      {15,
       1920,
       2560,
       1440,
       {"Form1.Top=0", "Form1.Left=28800", "Form1.Width=38400", "Form1.Height=21600"}},
      // More pixels than 16 bits can count.
      {15,
       0,
       40000,
       33000,
       {"Form1.Top=0", "Form1.Left=0", "Form1.Width=600000", "Form1.Height=495000"}},
      // 192 DPI: a fractional factor still gives the whole screen.
      {7.5,
       0,
       3840,
       2160,
       {"Form1.Top=0", "Form1.Left=0", "Form1.Width=28800", "Form1.Height=16200"}},
  };
  for (const auto& c : cases) {
    p.screen.tppX = p.screen.tppY = c.tpp;
    p.screen.leftPx = c.leftPx;
    p.screen.widthPx = c.widthPx;
    p.screen.heightPx = c.heightPx;
    p.journal.clear();
    full();
    Entries placed;
    for (const auto& e : p.journal.starting("Form1."))
      if (e.find("Top") != std::string::npos || e.find("Left") != std::string::npos ||
          e.find("Width") != std::string::npos || e.find("Height") != std::string::npos)
        placed.push_back(e);
    EXPECT_EQ(placed, c.expected) << c.widthPx;
    normal();
  }
}

TEST_F(FullScreenTest, WorksWithoutAnyPlayerControl) {
  Form1 bare(p.platform);
  p.journal.clear();
  Access::playback(bare).ctrl_ObjectEvent("FSCommand",
                                          {std::string("screen"), std::string("full")});
  EXPECT_EQ(p.window.border, kBorderNone);
  Access::playback(bare).ctrl_ObjectEvent("FSCommand",
                                          {std::string("screen"), std::string("normal")});
  EXPECT_EQ(*p.window.width(), 11580);
  EXPECT_TRUE(entries("ctl").empty());
}

}  // namespace
}  // namespace quillet::testing_playback
