// Folder listings read off the GUI thread: asking never waits for the
// folder, the reading is used once it is in, and a folder that changes, or
// a listing that has aged, is read again while the last one still answers.

#include "platform/qt/system/FolderListings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "platform/qt/system/QtFiles.h"

namespace quillet::qt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

class Listings : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qt_files_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  }
  // Before the program's own end: the application must go while Qt still is.
  static void TearDownTestSuite() { app.reset(); }
  Listings() {
    std::string pattern = (fs::temp_directory_path() / "listings_XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
  }
  ~Listings() override { fs::remove_all(dir); }
  static std::vector<std::string> names(const Files::Listing& l) {
    return l.names ? *l.names : std::vector<std::string>{"(none)"};
  }

  static inline std::unique_ptr<QCoreApplication> app;
  fs::path dir;
};

// The real listing: the first answer is "under way", then the folder's
// names come in and are told; a file added is seen without asking.
TEST_F(Listings, TheFoldersNamesComeInAndFollowItsChanges) {
  for (const char* n : {"clip 10.flv", "clip 2.flv"}) std::ofstream(dir / n).put('x');
  QtFiles files;
  int told = 0;
  files.setWhenListed([&] { ++told; });
  EXPECT_TRUE(files.latestListing(dir.string()).pending);
  ASSERT_TRUE(waitUntil([&] { return told == 1; }));
  EXPECT_EQ(names(files.latestListing(dir.string())),
            (std::vector<std::string>{"clip 2.flv", "clip 10.flv"}));

  std::ofstream(dir / "clip 3.flv").put('x');
  ASSERT_TRUE(waitUntil([&] { return names(files.latestListing(dir.string())).size() == 3; }));
  EXPECT_EQ(names(files.latestListing(dir.string()))[1], "clip 3.flv");
  EXPECT_GE(told, 2);

  // A folder that cannot be listed is known as such, once read.
  const std::string missing = (dir / "missing").string();
  EXPECT_TRUE(files.latestListing(missing).pending);
  ASSERT_TRUE(waitUntil([&] { return !files.latestListing(missing).pending; }));
  EXPECT_EQ(files.latestListing(missing).names, nullptr);
}

// A folder that takes long to read (held here until released): asking
// returns at once and starts no second reading; once read, an aged listing
// keeps answering while it is read again.
TEST_F(Listings, AskingNeverWaitsForASlowFolder) {
  std::atomic<int> reads = 0;
  std::atomic<bool> release = false;
  FolderListings listings(
      [&](const std::string&) -> Maybe<std::vector<std::string>> {
        const int n = ++reads;
        while (!release) QThread::msleep(2);
        return std::vector<std::string>{"read " + std::to_string(n)};
      },
      nullptr, 0ms);
  int told = 0;
  listings.setWhenListed([&] { ++told; });
  QElapsedTimer asking;
  asking.start();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(listings.latest(dir.string()).pending);
  EXPECT_LT(asking.elapsed(), 1000);  // nowhere near a reading's length: it never ends here
  ASSERT_TRUE(waitUntil([&] { return reads == 1; }));
  release = true;
  ASSERT_TRUE(waitUntil([&] { return told == 1; }));
  EXPECT_EQ(reads, 1);
  release = false;
  // Aged at once (no age allowed): the last reading answers, a new one starts.
  EXPECT_EQ(names(listings.latest(dir.string())), std::vector<std::string>{"read 1"});
  EXPECT_EQ(names(listings.latest(dir.string())), std::vector<std::string>{"read 1"});
  ASSERT_TRUE(waitUntil([&] { return reads == 2; }));
  release = true;
  ASSERT_TRUE(waitUntil([&] { return told == 2; }));
  EXPECT_EQ(names(listings.latest(dir.string())), std::vector<std::string>{"read 2"});
}

}  // namespace
}  // namespace quillet::qt
