#include <gtest/gtest.h>

#include <random>

#include "platform/qt/UriList.h"

namespace quillet::qt {
namespace {

using Paths = std::vector<std::string>;

TEST(UriList, FileManagersLists) {
  // As Nautilus, Dolphin and Thunar write them: CRLF, percent-encoded names.
  EXPECT_EQ(localPathsFromUriList("file:///home/me/My%20Videos/clip%20%231%3F.flv\r\n"
                                  "file:///home/me/b.flv\r\n"),
            (Paths{"/home/me/My Videos/clip #1?.flv", "/home/me/b.flv"}));
  EXPECT_EQ(localPathsFromUriList("file:///tmp/caf%C3%A9.flv"), Paths{"/tmp/caf\xc3\xa9.flv"});
  EXPECT_EQ(localPathsFromUriList("file:///tmp/raw\xc3\xa9 name.flv\n"),
            Paths{"/tmp/raw\xc3\xa9 name.flv"});
  EXPECT_EQ(localPathsFromUriList("file:///tmp/latin%E9.flv"), Paths{"/tmp/latin\xe9.flv"});
  EXPECT_EQ(localPathsFromUriList("FILE://localhost/tmp/a.flv"), Paths{"/tmp/a.flv"});
  EXPECT_EQ(localPathsFromUriList("file:/tmp/a.flv"), Paths{"/tmp/a.flv"});
  EXPECT_EQ(localPathsFromUriList("file://myhost/tmp/a.flv", "MyHost"), Paths{"/tmp/a.flv"});
  const std::string longName(700, 'n');
  EXPECT_EQ(localPathsFromUriList("file:///tmp/" + longName), Paths{"/tmp/" + longName});
}

TEST(UriList, WhatIsNotALocalFileIsLeftOut) {
  EXPECT_EQ(localPathsFromUriList("# comment\r\n"
                                  "http://example.com/a.flv\r\n"
                                  "file://otherhost/tmp/a.flv\r\n"
                                  "file:relative/a.flv\r\n"
                                  "file://\r\n"
                                  "file:///tmp/nul%00.flv\r\n"
                                  "file:///tmp/q.flv?x=1#frag\r\n"
                                  "file:///tmp/bad%zz%4.flv\r\n"
                                  "\r\n"),
            (Paths{"/tmp/q.flv", "/tmp/bad%zz%4.flv"}));
  EXPECT_TRUE(localPathsFromUriList("").empty());
  EXPECT_TRUE(localPathsFromUriList(std::string_view("file:///a\0b", 11)).empty());
}

// Any bytes at all: no crash, and every path found is absolute and NUL-free.
TEST(UriList, ArbitraryBytes) {
  std::mt19937 rng(99);
  static const char kAlphabet[] = "file:/%0aF\r\n#?lcohst \x00\xff";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const std::size_t length = rng() % 64;
    for (std::size_t i = 0; i < length; ++i)
      text += (rng() % 4) ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 256);
    for (const auto& path : localPathsFromUriList(text, "host")) {
      ASSERT_FALSE(path.empty());
      ASSERT_EQ(path.front(), '/');
      ASSERT_EQ(path.find('\0'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace quillet::qt
