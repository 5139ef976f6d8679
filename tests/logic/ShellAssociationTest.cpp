#include <gtest/gtest.h>

#include "shell/Association.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"

namespace quillet {
namespace {

using fakes::FakePlatform;
using Ops = std::vector<std::string>;

const std::string kExe = "/opt/quillet/bin/quillet";
const std::string kExts =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

Ops associationOps(const std::string& exe) {
  return {"Registry.Open",
          "regwrite HKCR\\.flv\\ = image",
          "regwrite HKCR\\image\\ = Flash Video",
          "regwrite HKCR\\image\\DefaultIcon\\ = " + exe,
          "regwrite HKCR\\image\\shell\\open\\command\\ = " + exe + " %L",
          "regdelete " + kExts + ".flv\\Application",
          "regwrite " + kExts + ".flv\\Application = " + exe,
          "regdelete " + kExts + ".flv\\OpenWithList\\",
          "regwrite " + kExts + ".flv\\OpenWithList\\a = " + exe,
          "Registry.Close"};
}

// Each delete follows the check that the name still holds Quillet's data.
Ops removalOfOurs() {
  return {"Registry.Open",
          "regread " + kExts + ".flv\\OpenWithList\\a",
          "regdelete " + kExts + ".flv\\OpenWithList\\",
          "regread " + kExts + ".flv\\Application",
          "regdelete " + kExts + ".flv\\",
          "regread HKCR\\image\\shell\\open\\command\\",
          "regdelete HKCR\\image\\shell\\open\\command\\",
          "regdelete HKCR\\image\\shell\\open\\",
          "regdelete HKCR\\image\\shell\\",
          "regread HKCR\\image\\DefaultIcon\\",
          "regdelete HKCR\\image\\DefaultIcon\\",
          "regread HKCR\\image\\",
          "regdelete HKCR\\image\\",
          "regread HKCR\\.flv\\",
          "regdelete HKCR\\.flv\\",
          "Registry.Close"};
}

TEST(ShellAssociation, AssociateWritesTheTableInOrder) {
  FakePlatform p;
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_EQ(p.journal.all(), associationOps(kExe));
}

// The open command holds the path unquoted, blanks and all.
TEST(ShellAssociation, ProgramInAFolderWithBlanks) {
  FakePlatform p;
  const std::string exe = "/home/me/My Programs/quillet";
  AssociateFileType(p.registry, p.trace, ".flv", "image", exe);
  EXPECT_EQ(p.journal.all(), associationOps(exe));
  EXPECT_EQ(p.registry.data["HKCR\\image\\shell\\open\\command\\"], exe + " %L");
}

TEST(ShellAssociation, EveryFailedStepIsSkipped) {
  FakePlatform p;
  p.registry.refuse = {"HKCR\\.flv\\", "HKCR\\image\\DefaultIcon\\", kExts + ".flv\\Application"};
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_EQ(p.journal.all(), associationOps(kExe));
  EXPECT_EQ(p.registry.data.count("HKCR\\.flv\\"), 0u);
  EXPECT_EQ(p.registry.data[kExts + ".flv\\OpenWithList\\a"], kExe);
}

TEST(ShellAssociation, UnopenableStoreChangesNothing) {
  FakePlatform p;
  p.registry.failOpen = true;
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  RemoveFileAssociation(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_EQ(p.journal.all(), (Ops{"Registry.Open", "Registry.Open"}));
}

TEST(ShellAssociation, RemovalAfterAssociationTakesEverythingAway) {
  FakePlatform p;
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  p.journal.clear();
  RemoveFileAssociation(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_EQ(p.journal.all(), removalOfOurs());
  EXPECT_TRUE(p.registry.data.empty());
}

// What others wrote stays: another program's "image" type, its open command
// and its per-user entries are checked and left alone.
TEST(ShellAssociation, RemovalLeavesOthersData) {
  FakePlatform p;
  p.registry.data = {{"HKCR\\.flv\\", "vlc.flv"},
                     {"HKCR\\image\\", "Image File"},
                     {"HKCR\\image\\DefaultIcon\\", "/usr/bin/viewer"},
                     {"HKCR\\image\\shell\\open\\command\\", "/usr/bin/viewer %L"},
                     {kExts + ".flv\\Application", "/usr/bin/vlc"},
                     {kExts + ".flv\\OpenWithList\\a", "/usr/bin/vlc"},
                     {kExts + ".flv\\OpenWithProgids\\vlc.flv", ""}};
  const auto before = p.registry.data;
  RemoveFileAssociation(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_TRUE(p.journal.starting("regdelete").empty());
  EXPECT_EQ(p.registry.data, before);
}

// Association, removal and association again give the same content.
TEST(ShellAssociation, RepeatedAssociationIsStable) {
  FakePlatform p;
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  const auto first = p.registry.data;
  RemoveFileAssociation(p.registry, p.trace, ".flv", "image", kExe);
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  AssociateFileType(p.registry, p.trace, ".flv", "image", kExe);
  EXPECT_EQ(p.registry.data, first);
}

TEST(ShellAssociation, CheckBoxBothWays) {
  FakePlatform p;
  Form1 form(p.platform);
  p.files.exe = "/usr/local/bin/quillet";

  p.window.check.v = 0;
  form.Check1_Click();
  EXPECT_EQ(p.journal.starting("regwrite").size(), 0u);
  EXPECT_EQ(p.journal.starting("regread").size(), 6u);

  p.journal.clear();
  p.window.check.v = 1;
  form.Check1_Click();
  EXPECT_EQ(p.journal.all(), associationOps("/usr/local/bin/quillet"));

  p.journal.clear();
  p.window.check.v = 0;
  form.Check1_Click();
  EXPECT_EQ(p.journal.all(), removalOfOurs());
}

}  // namespace
}  // namespace quillet
