// The temporary player movie: its unique name and its extraction.

#include <algorithm>
#include <string>

#include "playback/TempMovie.h"
#include "tests/logic/PlaybackFixture.h"

namespace quillet::testing_playback {
namespace {

using fakes::FakeFiles;
using fakes::FakeTrace;
using fakes::Journal;

TEST(TempMovieName, TrailingSlashIsAddedOnlyWhenMissing) {
  for (auto [reported, used] :
       {std::pair{"/tmp", "/tmp/"}, std::pair{"/var/tmp/", "/var/tmp/"}, std::pair{"", "/"}}) {
    Journal j;
    FakeFiles files(j);
    FakeTrace trace;
    files.temp = reported;
    TempFileNames names(files, trace);
    std::string path = names.MakeTempFileName("TMP");
    EXPECT_TRUE(j.has(std::string("CreateUniqueFile ") + used + " TMP")) << reported;
    EXPECT_EQ(path.rfind(std::string(used) + "TMP", 0), 0u) << path;
  }
}

TEST(TempMovieName, DirectoryIsAskedForOnceAndEachCallMakesANewFile) {
  Journal j;
  FakeFiles files(j);
  FakeTrace trace;
  TempFileNames names(files, trace);
  std::string first = names.MakeTempFileName("TMP");
  files.temp = "/elsewhere";
  std::string second = names.MakeTempFileName("TMP");

  EXPECT_EQ(j.starting("GetTempPath").size(), 1u);
  EXPECT_NE(first, second);
  EXPECT_EQ(second.rfind("/tmp/TMP", 0), 0u);
  EXPECT_TRUE(files.files.count(first) && files.files.count(second));
  EXPECT_TRUE(files.files.at(first).empty());
}

// Never the directory: nothing may later write to it or delete it.
TEST(TempMovieName, NoFileMadeGivesAnEmptyPath) {
  Journal j;
  FakeFiles files(j);
  FakeTrace trace;
  files.failCreate = true;
  TempFileNames names(files, trace);
  EXPECT_EQ(names.MakeTempFileName("TMP"), "");
  EXPECT_EQ(names.MakeTempFileName("TMP"), "");
  EXPECT_EQ(j.starting("GetTempPath").size(), 1u);
}

}  // namespace
}  // namespace quillet::testing_playback
