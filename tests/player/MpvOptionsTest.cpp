// How an address becomes libmpv's loadfile command: the exact bytes of a
// file: address, and the argument list of each client API.
#include <gtest/gtest.h>

#include "player/engine/MpvOptions.h"
#include "player/movie/FlashVars.h"

namespace quillet::player {
namespace {

// A file: address names the bytes its escapes spell, whether or not they
// are UTF-8, so that a similar name beside it is never opened instead.
TEST(MpvOptions, AFileAddressNamesTheExactBytesItsEscapesSpell) {
  const struct {
    const char* address;
    QByteArray path;  // empty: no local file
  } cases[] = {
      {"file:///v/caf%E9.flv", "/v/caf\xe9.flv"},
      {"file:///v/caf%EF%BF%BD.flv", "/v/caf\xef\xbf\xbd.flv"},
      {"FILE://localhost/v/a%20b%23c.flv", "/v/a b#c.flv"},
      {"file:/v/%EF%BB%BFx.flv", "/v/\xef\xbb\xbfx.flv"},
      {"file://elsewhere.example/v/x.flv", ""},
      {"file:///v/a%00b.flv", ""},
      {"file:v.flv", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bytesOf(localFilePath(QString::fromLatin1(c.address))), c.path) << c.address;
}

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
  // A stream through the FLV reader lets FFmpeg use the reader's index.
  EXPECT_EQ(strings(repairedLoadfileArguments("quillet-flv://1", MPV_MAKE_VERSION(2, 1))),
            (std::vector<std::string>{"loadfile", "quillet-flv://1", "replace",
                                      "demuxer-lavf-o=fflags=-ignidx"}));
  EXPECT_EQ(strings(repairedLoadfileArguments("quillet-flv://1", MPV_MAKE_VERSION(2, 3))),
            (std::vector<std::string>{"loadfile", "quillet-flv://1", "replace", "-1",
                                      "demuxer-lavf-o=fflags=-ignidx"}));
}

}  // namespace
}  // namespace quillet::player
