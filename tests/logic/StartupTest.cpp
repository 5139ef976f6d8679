#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillet/Addresses.h"
#include "startup/Main.h"
#include "tests/fakes/FakePlatform.h"

namespace quillet {
namespace {

using fakes::FakePlatform;

constexpr const char* kFirstBox =
    "MessageBox Quillet: You need to have installed Flash Player prior to running this "
    "software. Do you want to download it now?";
constexpr const char* kSecondBox =
    "MessageBox Quillet: You need to have installed Flash Player version 8 or higher prior to "
    "running this software. Do you want to download it now?";

std::string progId(int version) {
  return "ShockwaveFlash.ShockwaveFlash." + std::to_string(version);
}

// Main with the fakes; showing the window is recorded in the journal along
// with how many probe instances were alive at that moment.
struct Start {
  FakePlatform p;
  int windowsShown = 0;
  int probesAliveAtShow = -1;
  Module1 module1{p.components, p.messageBox, p.processes, p.trace, [this] {
                    ++windowsShown;
                    probesAliveAtShow = p.components.alive;
                    p.journal.add("Form1.Show");
                  }};

  std::optional<int> run(std::initializer_list<std::string> registered,
                         Answer answer = Answer::No) {
    p.components.registered = registered;
    p.messageBox.answer = answer;
    return module1.Main();
  }
};

TEST(Startup, HighestVersionWinsAndTheWindowIsShown) {
  Start s;
  EXPECT_EQ(s.run({progId(9), progId(7)}), std::nullopt);
  EXPECT_EQ(s.module1.flashVersion, 9);
  EXPECT_EQ(s.windowsShown, 1);
  // 10 is tried first, and the probe stops at the first hit.
  EXPECT_EQ(s.p.journal.all(), (std::vector<std::string>{"Create " + progId(10),
                                                         "Create " + progId(9), "Form1.Show"}));
}

TEST(Startup, VersionEightIsAccepted) {
  Start s;
  EXPECT_EQ(s.run({progId(8)}), std::nullopt);
  EXPECT_EQ(s.module1.flashVersion, 8);
  EXPECT_EQ(s.windowsShown, 1);
  EXPECT_TRUE(s.p.journal.starting("MessageBox").empty());
}

TEST(Startup, VersionSevenGetsTheSecondBoxAndNoWindow) {
  Start s;
  EXPECT_EQ(s.run({progId(7)}), kExitPlayerMissing);
  EXPECT_EQ(s.module1.flashVersion, 7);
  EXPECT_EQ(s.p.journal.starting("MessageBox"), std::vector<std::string>{kSecondBox});
  EXPECT_EQ(s.windowsShown, 0);
}

// Neither an unversioned name nor a version above 10 counts.
TEST(Startup, NoVersionFromOneToTenGetsTheFirstBox) {
  for (auto registered : {std::initializer_list<std::string>{},
                          {"ShockwaveFlash.ShockwaveFlash"},
                          {progId(11), "ShockwaveFlash.ShockwaveFlash"}}) {
    Start s;
    EXPECT_EQ(s.run(registered), kExitPlayerMissing);
    EXPECT_EQ(s.module1.flashVersion, 0);
    EXPECT_EQ(s.windowsShown, 0);
    std::vector<std::string> expected;
    for (int v = 10; v >= 1; --v) expected.push_back("Create " + progId(v));
    expected.push_back(kFirstBox);
    EXPECT_EQ(s.p.journal.all(), expected);
  }
}

// The answer decides only whether the download page opens; the program
// ends in both cases without a window.
TEST(Startup, RefusalOpensTheDownloadPageOnlyOnYes) {
  for (bool old : {false, true}) {
    Start no;
    EXPECT_EQ(no.run(old ? std::initializer_list<std::string>{progId(5)}
                         : std::initializer_list<std::string>{},
                     Answer::No),
              kExitPlayerMissing);
    EXPECT_TRUE(no.p.journal.starting("OpenUrl").empty());
    EXPECT_EQ(no.windowsShown, 0);

    Start yes;
    EXPECT_EQ(yes.run(old ? std::initializer_list<std::string>{progId(5)}
                          : std::initializer_list<std::string>{},
                      Answer::Yes),
              kExitPlayerMissing);
    EXPECT_EQ(yes.p.journal.starting("OpenUrl"),
              std::vector<std::string>{std::string("OpenUrl ") + addresses::kDownloadPage});
    // The page is opened after the question, and nothing follows it.
    EXPECT_EQ(yes.p.journal.all().back().rfind("OpenUrl", 0), 0u);
    EXPECT_EQ(yes.windowsShown, 0);
    EXPECT_EQ(yes.p.components.alive, 0);
  }
}

TEST(Startup, ProbeInstanceLivesUntilMainReturns) {
  Start s;
  EXPECT_EQ(s.run({progId(10)}), std::nullopt);
  EXPECT_EQ(s.probesAliveAtShow, 1);
  EXPECT_EQ(s.p.components.alive, 0);
}

}  // namespace
}  // namespace quillet
