// How an address becomes libmpv's loadfile command: the argument list of
// each client API.
#include <gtest/gtest.h>

#include "player/engine/MpvOptions.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {
namespace {

// libmpv 0.38 (client API 2.3) takes an insertion index before the per-file
// options; a local file has neither.
TEST(MpvOptions, TheLoadfileArgumentsFollowTheClientApi) {
  const QByteArray url = "http://h.example/v.flv";
  const auto strings = [](const std::vector<const char*>& args) {
    return std::vector<std::string>(args.begin(), args.end());
  };
  const auto before = strings(loadfileArguments(url, true, MPV_MAKE_VERSION(2, 1)));
  const auto after = strings(loadfileArguments(url, true, MPV_MAKE_VERSION(2, 3)));
  ASSERT_EQ(before.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(before.begin(), before.begin() + 3),
            (std::vector<std::string>{"loadfile", url.toStdString(), "replace"}));
  EXPECT_NE(before[3].find("cache=yes"), std::string::npos);
  EXPECT_EQ(after,
            (std::vector<std::string>{"loadfile", url.toStdString(), "replace", "-1", before[3]}));
  for (const unsigned long api : {MPV_MAKE_VERSION(2, 1), MPV_MAKE_VERSION(2, 5)})
    EXPECT_EQ(strings(loadfileArguments("/v/c.flv", false, api)),
              (std::vector<std::string>{"loadfile", "/v/c.flv", "replace"}));
  // A stream through the FLV reader lets FFmpeg use the reader's index, with
  // a packet cache of a bounded size; reopened at a time, it starts there.
  const std::string repaired = repairedFileOptions().toStdString();
  EXPECT_EQ(repaired.rfind("demuxer-lavf-o=fflags=-ignidx,", 0), 0u) << repaired;
  EXPECT_NE(repaired.find(",cache=yes,"), std::string::npos);
  EXPECT_NE(repaired.find(",demuxer-max-bytes="), std::string::npos);
  EXPECT_NE(repaired.find(",demuxer-max-back-bytes="), std::string::npos);
  EXPECT_EQ(repaired.find("start="), std::string::npos);
  EXPECT_EQ(repairedFileOptions(1234.5678).toStdString(), repaired + ",start=1234.568");
  EXPECT_EQ(strings(repairedLoadfileArguments("quillet-flv://1", MPV_MAKE_VERSION(2, 1))),
            (std::vector<std::string>{"loadfile", "quillet-flv://1", "replace", repaired}));
  EXPECT_EQ(strings(repairedLoadfileArguments("quillet-flv://1", MPV_MAKE_VERSION(2, 3))),
            (std::vector<std::string>{"loadfile", "quillet-flv://1", "replace", "-1", repaired}));
}

}  // namespace
}  // namespace quillet::player
