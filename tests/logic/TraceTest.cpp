// The trace: every step of the load, of opening a video and of the start
// says that it ran, or that it was skipped and why.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "startup/Main.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"
#include "window/LoadError.h"

namespace quillet {
namespace {

using fakes::FakePlatform;
using Steps = std::vector<std::string>;

// The steps of one area that ran, in order.
Steps ranIn(const fakes::FakeTrace& trace, TraceArea area) {
  Steps out;
  for (const auto& s : trace.steps)
    if (s.ran && s.area == area) out.push_back(s.step);
  return out;
}

TEST(Trace, ALoadThatWorksSkipsNothingAndNamesItsStepsInOrder) {
  FakePlatform p;
  p.processes.arguments = "/v/clip.flv";
  Form1 form(p.platform);
  form.Show();
  EXPECT_EQ(p.trace.skips(), Steps{});
  EXPECT_EQ(ranIn(p.trace, TraceArea::Load),
            (Steps{"border style", "caption", "height", "border style", "caption", "frame height",
                   "window width", "window height", "open the command-line video",
                   "request the banner page", "show the window"}));
  const Steps playback = ranIn(p.trace, TraceArea::Playback);
  for (const char* step :
       {"CreatePlayerControl", "AttachEvents", "MakeTempFileName", "ExtractResourceToFile",
        "LoadIdlePlayer: LoadMovie", "GotADrop: remove the previous control", "GotADrop: FlashVars",
        "GotADrop: LoadMovie", "GotADrop: window Height"})
    EXPECT_NE(std::find(playback.begin(), playback.end(), step), playback.end()) << step;
  EXPECT_FALSE(ranIn(p.trace, TraceArea::Shell).empty());
  EXPECT_FALSE(ranIn(p.trace, TraceArea::Window).empty());
}

// Each skipped step names itself and says why, in the order they happened.
TEST(Trace, EverySkippedStepOfTheLoadNamesItselfAndItsReason) {
  FakePlatform p;
  p.controls.failAdd = true;
  p.registry.failOpen = true;
  p.drops.failHook = true;
  p.files.failCreate = true;
  Form1 form(p.platform);
  form.Show();
  const std::string none = ": no player control";
  EXPECT_EQ(
      p.trace.skips(),
      (Steps{"CreatePlayerControl: no component made for ShockwaveFlash.ShockwaveFlash",
             "AssociateFileType: the registry cannot be opened",
             "HookWindow: the window's procedure cannot be replaced",
             "MakeTempFileName: no new file can be made in /tmp/",
             "ExtractResourceToFile: no temporary file was made", "LoadIdlePlayer: WMode" + none,
             "LoadIdlePlayer: FlashVars" + none, "LoadIdlePlayer: Visible" + none,
             "LoadIdlePlayer: Width" + none, "LoadIdlePlayer: Height" + none,
             "LoadIdlePlayer: LoadMovie" + none, "LoadIdlePlayer: BackgroundColor" + none}));

  // Opening a video on the control that is gone, and closing the window.
  p.trace.clear();
  p.controls.failAdd = false;
  form.GotADrop("/v/a.flv");
  form.Form_Unload();
  const Steps skips = p.trace.skips();
  ASSERT_EQ(skips.size(), 2u);
  EXPECT_EQ(skips[0], "GotADrop: remove the previous control: no such control");
  EXPECT_EQ(skips[1], "Form_Unload: delete the player movie: no movie was made");
}

TEST(Trace, AStopAtTheFrameMeasurementSaysWhere) {
  FakePlatform p;
  p.window.failReads = true;
  Form1 form(p.platform);
  EXPECT_THROW(form.Show(), WindowLoadError);
  EXPECT_EQ(p.trace.skips(), Steps{"height: the window cannot tell; the load stops"});
}

TEST(Trace, TheProbeNamesEachMissAndWhyTheWindowIsNotShown) {
  FakePlatform p;
  p.components.registered = {"ShockwaveFlash.ShockwaveFlash.7"};
  Module1 module1(p.components, p.messageBox, p.processes, p.trace, [] {});
  EXPECT_EQ(module1.Main(), kExitPlayerMissing);
  const Steps skips = p.trace.skips();
  ASSERT_EQ(skips.size(), 4u);
  EXPECT_EQ(skips[0], "Main: create ShockwaveFlash.ShockwaveFlash.10: it cannot be made");
  EXPECT_EQ(skips[3], "Main: show the window: the player component is older than 8");
  EXPECT_EQ(ranIn(p.trace, TraceArea::Startup),
            Steps{"Main: create ShockwaveFlash.ShockwaveFlash.7"});
}

}  // namespace
}  // namespace quillet
