// QtFiles on a real file system, in a private directory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "platform/qt/system/QtFiles.h"

namespace quillet::qt {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class QtFilesTest : public ::testing::Test {
 protected:
  QtFilesTest() {
    std::string pattern = (fs::temp_directory_path() / "qt_files_XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    slashed = dir.string() + "/";
  }
  ~QtFilesTest() override { fs::remove_all(dir); }
  std::size_t entries() const {
    return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
  }

  fs::path dir;
  std::string slashed;
  QtFiles files;
};

TEST_F(QtFilesTest, TempPathIsTmpdirOrElseSlashTmp) {
  const char* saved = std::getenv("TMPDIR");
  std::string keep = saved ? saved : "";
  ::setenv("TMPDIR", "/var/cache/x", 1);
  EXPECT_EQ(files.tempPath(), "/var/cache/x");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(files.tempPath(), "/tmp");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(files.tempPath(), "/tmp");
  if (saved) ::setenv("TMPDIR", keep.c_str(), 1);
}

TEST_F(QtFilesTest, EachCallCreatesANewEmptyPrivateFileDirectlyInTheDirectory) {
  mode_t oldMask = ::umask(0);  // the mode asked for, not one the umask trimmed
  auto first = files.createUniqueFile(slashed, "TMP");
  auto second = files.createUniqueFile(slashed, "TMPLONGER");
  ::umask(oldMask);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);

  const std::regex name(R"(TMP[0-9A-F]+\.tmp)");
  for (const auto& path : {*first, *second}) {
    fs::path p(path);
    EXPECT_EQ(p.parent_path(), dir);
    EXPECT_TRUE(std::regex_match(p.filename().string(), name)) << path;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 0);
  }
}

// Existing files are never handed out again or emptied.
TEST_F(QtFilesTest, NamesAreExclusive) {
  std::set<std::string> made;
  for (int i = 0; i < 200; ++i) {
    auto path = files.createUniqueFile(slashed, "TMP");
    ASSERT_TRUE(path);
    ASSERT_TRUE(made.insert(*path).second) << *path;
    std::ofstream(*path) << "taken";
  }
  EXPECT_EQ(entries(), 200u);
  for (const auto& path : made) EXPECT_EQ(contents(path), "taken");
}

TEST_F(QtFilesTest, CreationFailsWithoutLeavingAnything) {
  EXPECT_FALSE(files.createUniqueFile(slashed + "missing/", "TMP"));
  EXPECT_FALSE(files.createUniqueFile(slashed, "a/b"));  // no way out of the directory
  EXPECT_EQ(entries(), 0u);
  auto noSlash = files.createUniqueFile(dir.string(), "TMP");
  ASSERT_TRUE(noSlash);
  EXPECT_EQ(fs::path(*noSlash).parent_path(), dir);
}

TEST_F(QtFilesTest, WriteFileWritesEveryByteFromTheStartOfAnExistingFile) {
  auto path = files.createUniqueFile(slashed, "TMP");
  ASSERT_TRUE(path);
  Bytes movie{'C', 'W', 'S', 7, 0, 0xFF, '\n', '\r', 0};
  for (int i = 0; i < 70000; ++i) movie.push_back(static_cast<unsigned char>(i * 7));
  ASSERT_TRUE(files.writeFile(*path, movie));
  std::string written = contents(*path);
  EXPECT_EQ(Bytes(written.begin(), written.end()), movie);

  std::ofstream(*path, std::ios::binary | std::ios::trunc) << "abcdef";
  ASSERT_TRUE(files.writeFile(*path, Bytes{'X', 'Y', 'Z'}));
  EXPECT_EQ(contents(*path), "XYZdef");
}

TEST_F(QtFilesTest, WriteFileNeverCreatesAFile) {
  EXPECT_FALSE(files.writeFile(slashed + "TMPABC.tmp", Bytes{1, 2, 3}));
  EXPECT_FALSE(files.writeFile("", Bytes{1}));
  EXPECT_FALSE(files.writeFile(slashed, Bytes{1}));
  EXPECT_EQ(entries(), 0u);
}

TEST_F(QtFilesTest, DeleteFileRemovesFilesButNeverADirectory) {
  auto path = files.createUniqueFile(slashed, "TMP");
  ASSERT_TRUE(path);
  EXPECT_TRUE(files.deleteFile(*path));
  EXPECT_FALSE(fs::exists(*path));
  EXPECT_FALSE(files.deleteFile(*path));
  fs::create_directory(dir / "sub");
  EXPECT_FALSE(files.deleteFile(slashed + "sub"));
  EXPECT_FALSE(files.deleteFile(slashed + "sub/"));
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

// A process that ends through exit() without deleting its files (as Qt ends
// it when the X server goes away), or through quick_exit() (as the program
// ends itself), leaves none behind, and never removes a file it had deleted
// itself whose name was taken again since.
TEST_F(QtFilesTest, FilesLeftAtExitAreRemovedButNotNamesDeletedEarlier) {
  for (const bool quick : {false, true}) {
    SCOPED_TRACE(quick ? "quick_exit" : "exit");
    const std::string left = slashed + "left.path", reused = slashed + "reused.path";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      QtFiles own;
      auto a = own.createUniqueFile(slashed, "TMP");
      auto b = own.createUniqueFile(slashed, "TMP");
      if (!a || !b || !own.deleteFile(*b)) ::_exit(2);
      std::ofstream(left) << *a;
      std::ofstream(reused) << *b;
      std::ofstream(*b) << "someone else's";
      if (quick) std::quick_exit(1);
      std::exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 1);
    const std::string a = contents(left), b = contents(reused);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(contents(b), "someone else's");
    fs::remove(b);
  }
}

TEST_F(QtFilesTest, ResourcesAreReadByNumberByteForByte) {
  auto bytes = files.readResource(7);
  ASSERT_TRUE(bytes);
  const std::string expected(
      "CWS\x07\x00\x01\xff\x78\x9c\n\r\x00"
      "end",
      15);
  EXPECT_EQ(*bytes, Bytes(expected.begin(), expected.end()));
  EXPECT_FALSE(files.readResource(8));
  EXPECT_FALSE(files.readResource(-7));
}

TEST_F(QtFilesTest, ExePathIsTheRunningProgramAndItsFolder) {
  std::string exe = files.exePath();
  EXPECT_EQ(fs::path(exe).filename(), "qt_files_tests");
  EXPECT_TRUE(fs::path(exe).is_absolute());
  EXPECT_TRUE(fs::equivalent(exe, "/proc/self/exe"));
  EXPECT_EQ(files.programFolder(), fs::path(exe).parent_path().string());
}

}  // namespace
}  // namespace quillet::qt

namespace quillet::qt {
namespace {

TEST(QtFilesFolder, ListsNamesInNaturalOrderWithTheirOwnBytes) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "qt_folder_XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  const std::string latin1 = "caf\xe9 clip.flv";  // not UTF-8
  for (const std::string name : {"clip 10.flv", "Clip 2.flv", "clip 1.FLV", latin1.c_str()})
    std::ofstream(dir / name).put('x');
  fs::create_directory(dir / "sub");
  QtFiles files;
  EXPECT_EQ(files.listFolder(dir.string()),
            (std::vector<std::string>{latin1, "clip 1.FLV", "Clip 2.flv", "clip 10.flv", "sub"}));
  EXPECT_EQ(files.listFolder((dir / "missing").string()), std::nullopt);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace quillet::qt
