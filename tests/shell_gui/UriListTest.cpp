#include <gtest/gtest.h>

#include "platform/qt/window/UriList.h"

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

}  // namespace
}  // namespace quillet::qt
