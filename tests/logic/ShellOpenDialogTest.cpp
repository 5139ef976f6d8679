#include <gtest/gtest.h>

#include "tests/fakes/FakePlatform.h"
#include "tests/logic/ShellTestSupport.h"
#include "window/Form1.h"

namespace quillet {
namespace {

using fakes::FakePlatform;
using shelltest::openedVars;
using shelltest::varsFor;

class ShellOpenDialog : public ::testing::Test {
 protected:
  FakePlatform p;
  Form1 form{p.platform};
};

TEST_F(ShellOpenDialog, AsksWithTheFixedSetUp) {
  form.OpenFile_Click();
  ASSERT_EQ(p.dialogs.requests.size(), 1u);
  const OpenFileRequest& r = p.dialogs.requests[0];
  EXPECT_EQ(r.owner, p.window.hWnd());
  EXPECT_EQ(r.title, "Select file to open");
  const std::vector<std::pair<std::string, std::string>> filters{
      {"Flash video files (*.flv)", "*.flv"}, {"All Files (*.*)", "*.*"}};
  EXPECT_EQ(r.filters, filters);
  EXPECT_EQ(r.filterIndex, 1);
  EXPECT_EQ(r.initialDir, "/opt/quillet/bin");
  EXPECT_FALSE(r.multiSelect);
}

TEST_F(ShellOpenDialog, CancelOpensNothing) {
  p.dialogs.answer = std::nullopt;
  form.OpenFile_Click();
  EXPECT_TRUE(openedVars(p.journal).empty());
  EXPECT_TRUE(p.journal.starting("Controls.").empty());
  EXPECT_EQ(p.journal.all(), std::vector<std::string>{"OpenDialog Select file to open"});
}

// Whatever was chosen goes on unchanged: typed names of missing files,
// files of any type, and paths far beyond the old 255-character buffer.
TEST_F(ShellOpenDialog, ChosenPathOpensOnceWhole) {
  const std::string longPath = "/media/" + std::string(300, 'v') + "/clip with blanks.flv";
  const std::vector<std::string> paths{"/videos/clip.flv", longPath, "/tmp/notes.txt",
                                       "/nowhere/typed.flv"};
  for (const std::string& path : paths) {
    p.journal.clear();
    p.dialogs.answer = path;
    form.OpenFile_Click();
    EXPECT_EQ(openedVars(p.journal), std::vector<std::string>{varsFor(path)}) << path;
  }
}

// The second dialog starts exactly as the first, whatever the first ended on.
TEST_F(ShellOpenDialog, EveryClickStartsAfresh) {
  p.dialogs.answer = "/videos/a.flv";
  form.OpenFile_Click();
  p.dialogs.answer = std::nullopt;
  form.OpenFile_Click();
  ASSERT_EQ(p.dialogs.requests.size(), 2u);
  const auto& a = p.dialogs.requests[0];
  const auto& b = p.dialogs.requests[1];
  EXPECT_EQ(a.title, b.title);
  EXPECT_EQ(a.filters, b.filters);
  EXPECT_EQ(b.filterIndex, 1);
  EXPECT_EQ(a.initialDir, b.initialDir);
  EXPECT_EQ(a.owner, b.owner);
}

}  // namespace
}  // namespace quillet
