#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/WebLinks.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"
#include "window/LoadError.h"

namespace quillet {
namespace {

using fakes::FakePlatform;
using fakes::num;

// The last entry that starts with prefix, or empty.
std::string last(const fakes::Journal& j, const std::string& prefix) {
  auto all = j.starting(prefix);
  return all.empty() ? std::string() : all.back();
}

struct MainWindow : ::testing::Test {
  FakePlatform p;
  Form1 form{p.platform};
  // What one layout pass records, in its order.
  std::vector<std::string> layout() {
    std::vector<std::string> out;
    for (const auto& e : p.journal.all())
      if (e.rfind("Picture3.", 0) == 0 || e.rfind("WebBrowser1.Top", 0) == 0 ||
          e.rfind("WebBrowser1.Width", 0) == 0 || e.rfind("ctl1.Height", 0) == 0 ||
          e.rfind("ctl1.Width", 0) == 0)
        out.push_back(e);
    return out;
  }
};

// 15 twips per pixel and a frame of 600 twips.
TEST_F(MainWindow, WorkedLayoutExample) {
  form.Show();
  EXPECT_EQ(form.measuredFrameHeight(), 600);
  EXPECT_TRUE(p.journal.has("Form1.Width=9600"));
  EXPECT_TRUE(p.journal.has("Form1.Height=7320"));
  EXPECT_EQ(*p.window.width(), 9600);
  EXPECT_EQ(*p.window.height(), 7320);

  // The layout of the first display, values handed over in single precision.
  EXPECT_EQ(last(p.journal, "Picture3.Top"), "Picture3.Top=4785");
  EXPECT_EQ(last(p.journal, "Picture3.Width"), "Picture3.Width=9600");
  EXPECT_EQ(last(p.journal, "ctl1.Height"), "ctl1.Height=4785:f32");
  EXPECT_EQ(last(p.journal, "ctl1.Width"), "ctl1.Width=9600:f32");
  EXPECT_EQ(last(p.journal, "WebBrowser1.Top"), "WebBrowser1.Top=5505");
  EXPECT_EQ(last(p.journal, "WebBrowser1.Width"), "WebBrowser1.Width=9500");
  // The banner ends on the client area's bottom edge.
  EXPECT_EQ(p.window.browser.top + p.window.browser.h, p.window.clientH);
  EXPECT_EQ(p.window.clientH, 6720);
}

// The frame is whatever the window reports: none without a window manager,
// a rounded one on a display whose pixels are not whole twips.
TEST_F(MainWindow, FrameHeightIsMeasuredFromTheWindow) {
  FakePlatform bare;
  bare.window.frameH = 0;
  Form1 noFrame(bare.platform);
  noFrame.Show();
  EXPECT_EQ(noFrame.measuredFrameHeight(), 0);
  EXPECT_TRUE(bare.journal.has("Form1.Height=7920"));

  FakePlatform odd;
  odd.window.frameH = 374.6;
  Form1 oddFrame(odd.platform);
  oddFrame.Show();
  EXPECT_EQ(oddFrame.measuredFrameHeight(), 375);

  // The window learns its frame, which may mean waiting for the window
  // manager, as a step of its own right before it is measured.
  FakePlatform late;
  late.window.frameUntold = true;
  Form1 lateFrame(late.platform);
  lateFrame.Show();
  EXPECT_EQ(lateFrame.measuredFrameHeight(), 600);
  const auto& j = late.journal.all();
  const auto learnt = std::find(j.begin(), j.end(), "Form1.LearnFrame");
  ASSERT_NE(learnt, j.end());
  ASSERT_GE(learnt - j.begin(), 2);
  EXPECT_EQ(learnt[-2], "Form1.BorderStyle=2");
  EXPECT_EQ(learnt[-1], "Form1.Caption=Quillet");
}

// Sizes are worked out in floating point and handed over as single precision.
TEST_F(MainWindow, SizesAreHandedOverInSinglePrecision) {
  p.screen.tppX = p.screen.tppY = 1440.0 / 110;  // 110 DPI
  form.Show();
  EXPECT_TRUE(p.journal.has("Form1.Width=" + num(static_cast<float>(640 * 1440.0 / 110))));
  EXPECT_TRUE(
      p.journal.has("Form1.Height=" + num(static_cast<float>(480 * 1440.0 / 110 + 720 - 600))));
}

TEST_F(MainWindow, LoadRunsItsStepsInOrder) {
  p.processes.arguments = "/videos/clip.flv";
  form.Show();
  const auto& j = p.journal;
  const std::vector<std::string> markers = {
      "Form1.BorderStyle=0",
      "Form1.Caption=Quillet",
      "Form1.BorderStyle=2",
      "Controls.Add ShockwaveFlash.ShockwaveFlash flashplayer",
      "Registry.Open",
      "Form1.Width=9600",
      "Form1.Height=7320",
      "DragAcceptFiles 4660 1",
      "CreateUniqueFile /tmp/ TMP",
      "WriteFile /tmp/TMP1.tmp",
      "ctl1.WMode=transparent:str",
      "ctl1.LoadMovie(0:i16, /tmp/TMP1.tmp:str)",
      "Controls.Remove flashplayer",
      "WebBrowser1.Navigate " + bannerAddress(),
      "Form1.Show",
  };
  int previous = -1;
  for (const auto& m : markers) {
    const int at = j.indexOf(m);
    EXPECT_GT(at, previous) << m;
    previous = at;
  }
  // The caption is set twice, once after each border change, before the
  // frame is measured and before anything else happens.
  EXPECT_EQ(j.all()[1], "Form1.Caption=Quillet");
  EXPECT_EQ(j.all()[3], "Form1.Caption=Quillet");
  EXPECT_EQ(form.movieFile(), "/tmp/TMP1.tmp");
}

TEST_F(MainWindow, WithoutArgumentTheIdlePlayerStays) {
  form.Show();
  EXPECT_FALSE(p.journal.has("Controls.Remove flashplayer"));
  EXPECT_EQ(p.controls.all.size(), 1u);
  EXPECT_TRUE(p.journal.has("WebBrowser1.Navigate " + bannerAddress()));
}

// From step 7 on a failing step is skipped and the next one runs.
TEST_F(MainWindow, LoadGoesOnPastFailingSteps) {
  p.controls.failAdd = true;
  p.registry.failOpen = true;
  p.drops.failHook = true;
  p.files.failCreate = true;
  form.Show();
  EXPECT_EQ(form.controlExtender(), nullptr);
  EXPECT_TRUE(form.movieFile().empty());
  EXPECT_TRUE(p.journal.has("Form1.Width=9600"));
  EXPECT_TRUE(p.journal.has("Form1.Height=7320"));
  EXPECT_TRUE(p.journal.has("WebBrowser1.Navigate " + bannerAddress()));
  EXPECT_TRUE(p.window.shown);
  // The layout without a player control still places panel and banner.
  EXPECT_EQ(last(p.journal, "Picture3.Top"), "Picture3.Top=4785");
  EXPECT_EQ(last(p.journal, "WebBrowser1.Top"), "WebBrowser1.Top=5505");
}

// The frame measurement has no error suppression: the load stops there.
TEST_F(MainWindow, FailingFrameMeasurementStopsTheLoad) {
  p.window.failReads = true;
  EXPECT_THROW(form.Show(), WindowLoadError);
  EXPECT_EQ(p.journal.indexOf("Controls.Add ShockwaveFlash.ShockwaveFlash flashplayer"), -1);
  EXPECT_FALSE(p.window.shown);
}

// A size change made inside a layout pass does not start a second one; the
// later steps read the size as it is at their moment.
TEST_F(MainWindow, ResizeDoesNotNest) {
  form.Show();
  p.journal.clear();
  bool once = true;
  p.window.panel.onSetTop = [&] {
    if (once) {
      once = false;
      p.window.userResize(12000, 9000);
    }
  };
  p.window.userResize(9600, 7320);
  EXPECT_EQ(layout(),
            (std::vector<std::string>{"Picture3.Top=4785", "Picture3.Width=12000",
                                      "ctl1.Height=6465:f32", "ctl1.Width=12000:f32",
                                      "WebBrowser1.Top=7185", "WebBrowser1.Width=11900"}));

  // The guard is down again afterwards.
  p.window.panel.onSetTop = nullptr;
  p.journal.clear();
  p.window.userResize(9600, 7320);
  EXPECT_EQ(layout().size(), 6u);
}

// In a very small window the player's height would be negative: the control
// rejects it, the other steps still apply, and the next pass works again.
TEST_F(MainWindow, RejectedValuesAreSkipped) {
  form.Show();
  p.journal.clear();
  p.window.userResize(60, 2000);
  EXPECT_EQ(layout(), (std::vector<std::string>{"Picture3.Top=-535", "Picture3.Width=60",
                                                "ctl1.Width=60:f32", "WebBrowser1.Top=185"}));

  p.journal.clear();
  p.window.userResize(9600, 7320);
  EXPECT_EQ(layout(), (std::vector<std::string>{"Picture3.Top=4785", "Picture3.Width=9600",
                                                "ctl1.Height=4785:f32", "ctl1.Width=9600:f32",
                                                "WebBrowser1.Top=5505", "WebBrowser1.Width=9500"}));
}

TEST_F(MainWindow, UnloadStopsDropsThenDeletesTheMovie) {
  form.Show();
  ASSERT_EQ(p.files.files.count("/tmp/TMP1.tmp"), 1u);
  p.journal.clear();
  p.window.events->Form_Unload();
  const int drop = p.journal.indexOf("DragAcceptFiles 4660 0");
  const int del = p.journal.indexOf("DeleteFile /tmp/TMP1.tmp");
  EXPECT_GE(drop, 0);
  EXPECT_GT(del, drop);
  EXPECT_EQ(p.files.files.count("/tmp/TMP1.tmp"), 0u);
}

TEST_F(MainWindow, UnloadWithoutMovieFileDeletesNothing) {
  p.files.failCreate = true;
  form.Show();
  p.journal.clear();
  form.Form_Unload();
  EXPECT_TRUE(p.journal.has("DragAcceptFiles 4660 0"));
  EXPECT_TRUE(p.journal.starting("DeleteFile").empty());
}

}  // namespace
}  // namespace quillet
