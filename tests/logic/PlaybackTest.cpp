// The player control: its creation at load, the idle load, GotADrop, and
// the extraction of the player movie.

#include <string>
#include <vector>

#include "playback/TempMovie.h"
#include "tests/logic/PlaybackFixture.h"

namespace quillet::testing_playback {
namespace {

using Entries = std::vector<std::string>;

const std::string kVideoVars =
    "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=";

TEST_F(PlaybackTest, CreationAtLoadAddsOneHiddenControlAndSetsNothingOnIt) {
  Access::CreatePlayerControl(form);
  EXPECT_EQ(p.journal.all(), Entries{"Controls.Add ShockwaveFlash.ShockwaveFlash flashplayer"});
  ASSERT_NE(control(), nullptr);
  EXPECT_EQ(form.controlExtender(), control());
}

// BackgroundColor is the idle load's alone, and WMode is lower-case here.
TEST_F(PlaybackTest, IdleLoadSetsItsSevenStepsInOrderWithTheirTypes) {
  createAtLoad();
  Access::LoadIdlePlayer(form);
  EXPECT_EQ(p.journal.all(),
            (Entries{"ctl1.WMode=transparent:str",
                     "ctl1.FlashVars=fullscreen=false&autoplay=false&frontcolor=000000&"
                     "backcolor=000000&effect=false:str",
                     "ctl1.Visible=True:bool", "ctl1.Width=0:i16", "ctl1.Height=0:i16",
                     "ctl1.LoadMovie(0:i16, /tmp/TMP1.tmp:str)", "ctl1.BackgroundColor=0:i32"}));
}

TEST_F(PlaybackTest, IdleLoadWithoutAControlDoesNothing) {
  p.controls.failAdd = true;
  createAtLoad();
  Access::LoadIdlePlayer(form);
  EXPECT_TRUE(p.journal.all().empty());
  EXPECT_EQ(form.controlExtender(), nullptr);
}

// BGColor, Menu, Quality2 and Top are GotADrop's alone, WMode capitalised;
// the control's size comes from the window's size before it is changed.
TEST_F(PlaybackTest, GotADropRunsItsFourteenStepsInOrderWithTheirTypes) {
  createAtLoad();
  withoutLayout();
  form.GotADrop("/v/a b.flv");
  EXPECT_EQ(p.journal.all(),
            (Entries{"Controls.Remove flashplayer",
                     "Controls.Add ShockwaveFlash.ShockwaveFlash flashplayer",
                     "ctl2.WMode=Transparent:str", "ctl2.BGColor=000000:str",
                     "ctl2.Menu=False:bool", "ctl2.Quality2=High:str", "ctl2.Visible=True:bool",
                     "ctl2.Top=0:i16", "ctl2.FlashVars=" + kVideoVars + "/v/a b.flv:str",
                     "ctl2.LoadMovie(0:i16, /tmp/TMP1.tmp:str)",
                     "ctl2.Height=5535:f32",  // 6855 - 720 - 600
                     "ctl2.Width=11580:f32", "Form1.Width=4800",
                     "Form1.Height=3720"}));  // 240 * 15 + 720 - 600
}

TEST_F(PlaybackTest, TwoVideosLeaveOneControlAndOnlyTheNewestReachesTheWindow) {
  createAtLoad();
  auto atLoad = control();
  form.GotADrop("/v/one.flv");
  auto first = control();
  form.GotADrop("/v/two.flv");
  auto newest = control();

  EXPECT_EQ(p.controls.byName.size(), 1u);
  EXPECT_EQ(newest->id, "ctl3");
  EXPECT_EQ(form.controlExtender(), newest);
  EXPECT_TRUE(atLoad->removed);
  EXPECT_TRUE(first->removed);

  p.journal.clear();
  raise(atLoad, "screen", "full");
  raise(first, "screen", "full");
  EXPECT_TRUE(p.journal.all().empty());
  EXPECT_EQ(p.window.border, kBorderSizable);

  raise(newest, "screen", "full");
  EXPECT_EQ(p.window.border, kBorderNone);
}

TEST_F(PlaybackTest, NoEventReachesAWindowThatIsGone) {
  std::shared_ptr<FakeExtender> c;
  {
    Form1 gone(p.platform);
    Access::CreatePlayerControl(gone);
    c = p.controls.named("flashplayer");
    ASSERT_TRUE(c->handler);
  }
  EXPECT_FALSE(c->handler);
}

// The component percent-decodes FlashVars, so the path is escaped where it
// would be cut or changed; a buffer's NUL filler is not part of the path.
TEST_F(PlaybackTest, FlashVarsCarryThePathSoTheComponentReadsItBack) {
  struct Case {
    std::string given, sent;
  };
  const std::vector<Case> cases{
      {"/v/a b.flv", "/v/a b.flv"},
      {"/v/R&B 100%.flv" + std::string(240, '\0'), "/v/R%26B 100%25.flv"},
      {"/v/x=1+2#3.flv", "/v/x%3D1%2B2%233.flv"},
      {"/v/line\nbreak\t\x7f.flv", "/v/line%0Abreak%09%7F.flv"},
      {"/v/été ü.flv", "/v/été ü.flv"},
      // Bytes that are no UTF-8 character: Latin-1, a cut sequence, overlong,
      // a surrogate, beyond U+10FFFF.
      {"/v/caf\xe9 \xe2\x82.flv", "/v/caf%E9 %E2%82.flv"},
      {"/\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xf0\x9f\x8e\xac",
       "/%C0%AF%ED%A0%80%F4%90%80%80\xf0\x9f\x8e\xac"},
      {std::string("\0/v/after.flv", 13), ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    form.GotADrop(c.given);
    auto vars = std::get<std::string>(control()->props.at("FlashVars"));
    EXPECT_EQ(vars, kVideoVars + c.sent) << "for " << c.sent;
  }
}

// Outer size 320 by 240 pixels plus the panel less the frame, position kept.
TEST_F(PlaybackTest, GotADropSizesTheWindowFromAnySizeAndKeepsItsPlace) {
  createAtLoad();
  p.window.top = 1200;
  p.window.left = 3000;

  form.GotADrop("/v/from-larger.flv");
  EXPECT_EQ(*p.window.width(), 4800);
  EXPECT_EQ(*p.window.height(), 3720);

  p.window.userResize(3000, 1500);
  form.GotADrop("/v/from-smaller.flv");
  EXPECT_EQ(*p.window.width(), 4800);
  EXPECT_EQ(*p.window.height(), 3720);
  EXPECT_EQ(p.window.top, 1200);
  EXPECT_EQ(p.window.left, 3000);
}

TEST_F(PlaybackTest, GotADropInFullScreenResizesButStaysFramelessWithoutPanel) {
  createAtLoad();
  raise(control(), "screen", "full");
  form.GotADrop("/v/in-full-screen.flv");
  EXPECT_EQ(*p.window.width(), 4800);
  EXPECT_EQ(*p.window.height(), 3720);
  EXPECT_EQ(p.window.border, kBorderNone);
  EXPECT_FALSE(p.window.panel.visible);

  // The size saved on the way in is still the one to go back to.
  raise(control(), "screen", "normal");
  EXPECT_EQ(*p.window.width(), 11580);
  EXPECT_EQ(*p.window.height(), 6855);
}

TEST_F(PlaybackTest, GotADropWithoutAnyControlStillSizesTheWindow) {
  p.controls.failAdd = true;
  createAtLoad();
  form.GotADrop("/v/a.flv");
  EXPECT_TRUE(entries("ctl").empty());
  EXPECT_EQ(entries("Form1."), (Entries{"Form1.Width=4800", "Form1.Height=3720"}));
  EXPECT_EQ(form.controlExtender(), nullptr);
}

// A failed creation keeps the removed control in ctrl; every step on it fails.
TEST_F(PlaybackTest, FailedCreationSkipsTheControlStepsOnTheRemovedControl) {
  createAtLoad();
  auto old = control();
  p.controls.failAdd = true;
  form.GotADrop("/v/a.flv");
  EXPECT_TRUE(old->removed);
  EXPECT_EQ(form.controlExtender(), old);
  EXPECT_TRUE(entries("ctl").empty());
  EXPECT_EQ(p.controls.byName.size(), 0u);
  EXPECT_EQ(*p.window.width(), 4800);
}

// The player movie the load extracts to its temporary file.
TEST_F(PlaybackTest, ExtractionWritesTheResourceByteForByte) {
  Bytes movie{'C', 'W', 'S', 7, 0, 0xFF, 0x78, 0x9C, 0, 0};
  p.files.resources[kPlayerMovieResource] = movie;
  TempFileNames names(p.files, p.trace);
  std::string path = names.MakeTempFileName("TMP");
  ExtractResourceToFile(p.files, p.trace, kPlayerMovieResource, path);
  EXPECT_EQ(p.files.files.at(path), movie);
}

TEST_F(PlaybackTest, ExtractionFailuresLeaveTheFileAloneAndTouchNothingElse) {
  TempFileNames names(p.files, p.trace);
  std::string path = names.MakeTempFileName("TMP");

  ExtractResourceToFile(p.files, p.trace, 102, path);  // no such resource
  EXPECT_TRUE(p.files.files.at(path).empty());

  p.files.failWrite = true;
  ExtractResourceToFile(p.files, p.trace, kPlayerMovieResource, path);
  EXPECT_TRUE(p.files.files.at(path).empty());

  p.journal.clear();
  ExtractResourceToFile(p.files, p.trace, kPlayerMovieResource, "");  // no file was made
  EXPECT_TRUE(p.journal.starting("WriteFile").empty());
}

}  // namespace
}  // namespace quillet::testing_playback
