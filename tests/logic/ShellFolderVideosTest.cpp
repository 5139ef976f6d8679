#include <gtest/gtest.h>

#include "shell/FolderVideos.h"
#include "tests/fakes/FakePlatform.h"

namespace quillet {
namespace {

class FolderVideos : public ::testing::Test {
 protected:
  fakes::Journal j;
  fakes::FakeFiles files{j};
  fakes::FakeTrace trace;
  Maybe<std::string> neighbour(std::string_view current, int step) {
    return NeighbourVideo(files, trace, current, step);
  }
};

// The folder's order is the platform's (the fake gives it as listed); only
// .flv files in any case count, and the current video whatever its name.
TEST_F(FolderVideos, StepsThroughTheFolderVideosAndStopsAtEitherEnd) {
  files.folders["/v"] = {"a.txt", "clip 1.flv", "clip 2.FLV", "notes", "Clip 10.Flv", "z.mp4"};
  EXPECT_EQ(neighbour("/v/clip 1.flv", 1), "/v/clip 2.FLV");
  EXPECT_EQ(neighbour("/v/clip 2.FLV", 1), "/v/Clip 10.Flv");
  EXPECT_EQ(neighbour("/v/Clip 10.Flv", -2), "/v/clip 1.flv");
  EXPECT_EQ(neighbour("/v/Clip 10.Flv", 1), std::nullopt);
  EXPECT_EQ(neighbour("/v/clip 1.flv", -1), std::nullopt);
  // From a file of another kind, to the .flv files beside it.
  EXPECT_EQ(neighbour("/v/z.mp4", -1), "/v/Clip 10.Flv");
  // The NUL filler of a dropped path is not part of it.
  EXPECT_EQ(neighbour(std::string("/v/clip 1.flv\0\0\0", 16), 1), "/v/clip 2.FLV");
  // Read again each time: a file added meanwhile counts.
  files.folders["/v"].push_back("zz.flv");
  EXPECT_EQ(neighbour("/v/Clip 10.Flv", 1), "/v/zz.flv");
  // Relative and root paths keep their form.
  files.folders["."] = files.folders["sub"] = files.folders["/"] = {"a.flv", "b.flv"};
  EXPECT_EQ(neighbour("a.flv", 1), "b.flv");
  EXPECT_EQ(neighbour("sub/b.flv", -1), "sub/a.flv");
  EXPECT_EQ(neighbour("/a.flv", 1), "/b.flv");
  EXPECT_TRUE(trace.skips().empty());
}

TEST_F(FolderVideos, NothingForAddressesGoneVideosAndUnlistableFoldersAndTheStepIsTraced) {
  files.folders["/v"] = {"a.flv", "b.flv"};
  EXPECT_EQ(neighbour("", 1), std::nullopt);
  EXPECT_EQ(neighbour("http://host/v/a.flv", 1), std::nullopt);
  EXPECT_EQ(neighbour("/v/gone.flv", 1), std::nullopt);
  EXPECT_EQ(neighbour("/locked/a.flv", 1), std::nullopt);
  EXPECT_EQ(trace.skips(), (std::vector<std::string>{
                               "the folder's other video: no local file is open",
                               "the folder's other video: no local file is open",
                               "the folder's other video: the video is no longer in its folder",
                               "the folder's other video: the folder /locked cannot be listed"}));
}

// Files whose listing of a folder is still being read: a first reading,
// or a later one while the last answers.
class ReadingFiles : public fakes::FakeFiles {
 public:
  using FakeFiles::FakeFiles;
  Listing latestListing(const std::string& dir) override {
    if (dir == pendingFolder) return {true, nullptr};
    return FakeFiles::latestListing(dir);
  }
  std::string pendingFolder;
};

// Whether there is a neighbour never waits for the folder's reading: while
// the first one is under way there is none known, and nothing is traced;
// opening one reads the folder at once instead.
TEST(FolderVideosKnown, NoNeighbourIsKnownWhileTheFoldersFirstReadingIsUnderWay) {
  fakes::Journal j;
  ReadingFiles files{j};
  fakes::FakeTrace trace;
  files.folders["/v"] = {"a.flv", "b.flv"};
  files.pendingFolder = "/v";
  EXPECT_FALSE(KnownNeighbour(files, trace, "/v/a.flv", 1));
  EXPECT_TRUE(trace.skips().empty());
  EXPECT_EQ(NeighbourVideo(files, trace, "/v/a.flv", 1), "/v/b.flv");
  files.pendingFolder.clear();
  EXPECT_TRUE(KnownNeighbour(files, trace, "/v/a.flv", 1));
  EXPECT_FALSE(KnownNeighbour(files, trace, "/v/b.flv", 1));
  EXPECT_TRUE(KnownNeighbour(files, trace, "/v/b.flv", -1));
  EXPECT_FALSE(KnownNeighbour(files, trace, "/locked/a.flv", 1));
  EXPECT_EQ(trace.skips(), std::vector<std::string>{
                               "the folder's other video: the folder /locked cannot be listed"});
}

}  // namespace
}  // namespace quillet
