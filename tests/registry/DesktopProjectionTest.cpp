#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/qt/settings/DesktopProjection.h"

namespace quillet::qt::desktop {
namespace {

// mimeapps.list editing takes the id as it is given.
constexpr const char* kId = "quillet.desktop";

// Expected texts follow the Desktop Entry rules: arguments with reserved
// characters in double quotes, with ", `, $ and \ escaped inside; "%" doubled;
// then the key file's own escaping, which doubles every backslash again.
TEST(DesktopExec, QuotingOfProgramPaths) {
  EXPECT_EQ(execValue("/opt/quillet/bin/quillet"), "/opt/quillet/bin/quillet %f");
  EXPECT_EQ(execValue("/home/me/My Programs/quillet"), "env \"/home/me/My Programs/quillet\" %f");
  EXPECT_EQ(execValue("/opt/$HOME `x` \"q\"/quillet"),
            "env \"/opt/\\\\$HOME \\\\`x\\\\` \\\\\"q\\\\\"/quillet\" %f");
  EXPECT_EQ(execValue("/opt/back\\slash/quillet"), "env \"/opt/back\\\\\\\\slash/quillet\" %f");
  EXPECT_EQ(execValue("/opt/100%/quillet"), "/opt/100%%/quillet %f");
  EXPECT_EQ(execValue("/opt/it's (new)/q"), "env \"/opt/it's (new)/q\" %f");
  EXPECT_EQ(execValue("/opt/a=b c/q"), "\"/opt/a=b c/q\" %f");
  EXPECT_EQ(execValue("/opt/new\nline/q"), "env \"/opt/new\\nline/q\" %f");
  EXPECT_EQ(execArgument(""), "\"\"");
}

TEST(DesktopExec, EntryOnlyForUsablePaths) {
  EXPECT_FALSE(desktopEntry({"relative/quillet", {"video/x-flv"}}));
  EXPECT_FALSE(desktopEntry({"", {"video/x-flv"}}));
  EXPECT_FALSE(desktopEntry({"/opt/\xff\xfe/quillet", {"video/x-flv"}}));
  EXPECT_FALSE(desktopEntry({std::string("/opt/q\0x", 8), {"video/x-flv"}}));
  auto entry = desktopEntry({"/opt/caf\xc3\xa9/quillet", {"video/x-flv"}});
  ASSERT_TRUE(entry);
  EXPECT_NE(entry->find("\nExec=/opt/caf\xc3\xa9/quillet %f\n"), std::string::npos);
  EXPECT_NE(entry->find("\nTryExec=/opt/caf\xc3\xa9/quillet\n"), std::string::npos);
  EXPECT_NE(entry->find("\nMimeType=video/x-flv;\n"), std::string::npos);
  EXPECT_NE(entry->find("\nName=Quillet\n"), std::string::npos);
  EXPECT_TRUE(isOurDesktopEntry(*entry));
  EXPECT_FALSE(isOurDesktopEntry("[Desktop Entry]\nName=Quillet\nExec=quillet %f\n"));
}

// The entry the association writes stands in for the installed menu entry
// under the same id: it says the same but for the program it runs and its
// mark.
TEST(DesktopExec, EntryMatchesTheInstalledOne) {
  std::ifstream file(QUILLET_INSTALLED_DESKTOP_ENTRY);
  ASSERT_TRUE(file) << QUILLET_INSTALLED_DESKTOP_ENTRY;
  const std::string installed((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(std::filesystem::path(QUILLET_INSTALLED_DESKTOP_ENTRY).filename(), kDesktopId);
  auto written = desktopEntry({"/usr/bin/quillet", {"video/x-flv"}});
  ASSERT_TRUE(written);
  const std::string mark = "X-Quillet-Association=true\n";
  ASSERT_NE(written->find(mark), std::string::npos);
  std::string plain = written->erase(written->find(mark), mark.size());
  for (const auto& [mine, theirs] :
       {std::pair<std::string, std::string>{"Exec=/usr/bin/quillet %f", "Exec=quillet %f"},
        {"TryExec=/usr/bin/quillet", "TryExec=quillet"}}) {
    ASSERT_NE(plain.find(mine), std::string::npos) << mine;
    plain.replace(plain.find(mine), mine.size(), theirs);
  }
  EXPECT_EQ(plain, installed);
}

TEST(DesktopAssociation, ReadFromTheHive) {
  auto mime = [](const std::string& ext) { return ext == ".flv" ? "video/x-flv" : ""; };
  RegistryStore s;
  EXPECT_FALSE(associationIn(s, mime));
  ASSERT_TRUE(s.write("HKCR\\.flv\\", "image"));
  ASSERT_TRUE(s.write("HKCR\\.xyz\\", "image"));  // no MIME type known
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "/My Programs/quillet %L"));
  auto found = associationIn(s, mime);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->exePath, "/My Programs/quillet");
  EXPECT_EQ(found->mimeTypes, std::vector<std::string>{"video/x-flv"});
  // An open command of another shape is not Quillet's.
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "\"/usr/bin/viewer\" \"%1\""));
  EXPECT_FALSE(associationIn(s, mime));
}

const std::string kOthers =
    "# my defaults\n"
    "[Added Associations]\n"
    "video/x-flv=vlc.desktop;\n"
    "\n"
    "[Default Applications]\n"
    "image/png=viewer.desktop;\n"
    "text/plain = editor.desktop;other.desktop\n"
    "\n"
    "[Removed Associations]\n"
    "video/mp4=quillet.desktop;\n";

TEST(DesktopDefaults, AddingKeepsEverythingElse) {
  const std::string added = withDefaults(kOthers, {"video/x-flv"}, kId);
  EXPECT_EQ(added,
            "# my defaults\n"
            "[Added Associations]\n"
            "video/x-flv=vlc.desktop;\n"
            "\n"
            "[Default Applications]\n"
            "image/png=viewer.desktop;\n"
            "text/plain = editor.desktop;other.desktop\n"
            "video/x-flv=quillet.desktop;\n"
            "\n"
            "[Removed Associations]\n"
            "video/mp4=quillet.desktop;\n");
  EXPECT_EQ(withDefaults(added, {"video/x-flv"}, kId), added);  // idempotent
  // Removal gives back the text as it was, byte for byte.
  EXPECT_EQ(withDefaults(added, {}, kId), kOthers);
}

TEST(DesktopDefaults, AnotherDefaultStaysBehindQuillet) {
  const std::string before = "[Default Applications]\nVIDEO/X-FLV=vlc.desktop;mpv.desktop;\n";
  const std::string added = withDefaults(before, {"video/x-flv"}, kId);
  EXPECT_EQ(added,
            "[Default Applications]\nVIDEO/X-FLV=quillet.desktop;vlc.desktop;mpv.desktop;\n");
  EXPECT_EQ(withDefaults(added, {}, kId),
            "[Default Applications]\nVIDEO/X-FLV=vlc.desktop;mpv.desktop;\n");
}

TEST(DesktopDefaults, EmptyOrMissingFile) {
  EXPECT_EQ(withDefaults("", {"video/x-flv"}, kId),
            "[Default Applications]\nvideo/x-flv=quillet.desktop;\n");
  EXPECT_EQ(withDefaults("", {}, kId), "");
  EXPECT_EQ(withDefaults("[Default Applications]\nvideo/x-flv=quillet.desktop;\n", {}, kId),
            "[Default Applications]\n");
  EXPECT_EQ(withDefaults("[Other]\nx=y", {"video/x-flv"}, kId),
            "[Other]\nx=y\n\n[Default Applications]\nvideo/x-flv=quillet.desktop;\n");
}

}  // namespace
}  // namespace quillet::qt::desktop
