#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/qt/system/TextParts.h"

namespace quillet::qt {
namespace {

using Pieces = std::vector<std::string_view>;

// The hive, mimeapps.list and uri-lists are read through these: a trailing
// separator leaves an empty last piece, and an empty text is one empty piece,
// so that a reader can tell "a;" from "a" and never meets an empty list.
TEST(TextParts, SplitKeepsEveryPieceBetweenSeparators) {
  EXPECT_EQ(split("a;b", ';'), (Pieces{"a", "b"}));
  EXPECT_EQ(split("a;;b;", ';'), (Pieces{"a", "", "b", ""}));
  EXPECT_EQ(split("", ';'), (Pieces{""}));
  EXPECT_EQ(split(";", ';'), (Pieces{"", ""}));
  EXPECT_EQ(split(std::string_view("x\0y\nz", 5), '\n'),
            (Pieces{std::string_view("x\0y", 3), "z"}));
}

TEST(TextParts, TrimmingAndCaseTouchOnlyAsciiBlanksAndLetters) {
  EXPECT_EQ(trimmed(" \t a b \r"), "a b");
  EXPECT_EQ(trimmed("\n a"), "\n a");  // a line break is no blank here
  EXPECT_EQ(trimmed(" \t\r"), "");
  EXPECT_EQ(lowerAscii('Q'), 'q');
  EXPECT_EQ(lowerAscii('['), '[');
  EXPECT_EQ(lowerAscii('\xC4'), '\xC4');
}

}  // namespace
}  // namespace quillet::qt
