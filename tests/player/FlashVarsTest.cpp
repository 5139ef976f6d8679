#include "player/movie/FlashVars.h"

#include <gtest/gtest.h>

#include <QDir>

using quillet::player::bytesOf;
using quillet::player::FlashVars;
using quillet::player::isHttpAddress;
using quillet::player::localFilePath;
using quillet::player::percentDecode;
using quillet::player::textOf;

TEST(FlashVars, SplitsPairsAndKeepsNamesCaseSensitive) {
  const auto vars = FlashVars::parse(
      u"fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&flv=/v/a b.flv");
  EXPECT_EQ(vars.size(), 5);
  EXPECT_EQ(vars.text("autoplay"), "true");
  EXPECT_EQ(vars.text("flv"), "/v/a b.flv");
  EXPECT_FALSE(vars.contains("Autoplay"));
  EXPECT_FALSE(vars.contains("FLV"));
  EXPECT_FALSE(vars.value("effect").has_value());

  const auto mixed = FlashVars::parse(u"NumVideoDuracion=12&numvideoduracion=3");
  EXPECT_EQ(mixed.text("NumVideoDuracion"), "12");
  EXPECT_EQ(mixed.text("numvideoduracion"), "3");
}

TEST(FlashVars, ValueIsCutAtAmpersandAndKeepsLaterEquals) {
  // The host appends paths unencoded: an "&" ends the value, an "=" stays.
  const auto vars = FlashVars::parse(u"flv=/v/a&b=c.flv&x=1=2");
  EXPECT_EQ(vars.text("flv"), "/v/a");
  EXPECT_EQ(vars.text("b"), "c.flv");
  EXPECT_EQ(vars.text("x"), "1=2");
}

TEST(FlashVars, PresenceWithoutValueAndEmptyPieces) {
  const auto vars = FlashVars::parse(u"&&xml&flv=&=orphan&");
  EXPECT_TRUE(vars.contains("xml"));
  EXPECT_EQ(vars.value("xml"), QString());
  ASSERT_TRUE(vars.value("flv").has_value());
  EXPECT_TRUE(vars.value("flv")->isEmpty());
  EXPECT_EQ(vars.size(), 2);  // the nameless pair is dropped
  EXPECT_EQ(FlashVars::parse(u"").size(), 0);
}

TEST(FlashVars, LaterPairOfTheSameNameWins) {
  EXPECT_EQ(FlashVars::parse(u"autoplay=false&autoplay=true").text("autoplay"), "true");
}

TEST(FlashVars, ValuesArePercentDecodedAsUtf8) {
  const auto vars =
      FlashVars::parse(u"flv=%2Fhome%2Fu%2Fa%26b%3Dc%25.flv&t=caf%C3%A9&n=na%C3%AFve%20x");
  EXPECT_EQ(vars.text("flv"), "/home/u/a&b=c%.flv");
  EXPECT_EQ(vars.text("t"), QString::fromUtf8("café"));
  EXPECT_EQ(vars.text("n"), QString::fromUtf8("naïve x"));
  // Non-ASCII characters given as they are survive.
  EXPECT_EQ(FlashVars::parse(u"flv=/v/ü ß.flv").text("flv"), QString::fromUtf8("/v/ü ß.flv"));
  EXPECT_EQ(FlashVars::parse(u"f%6Cv=1").text("flv"), "1");
}

TEST(FlashVars, PlusStaysAndInvalidEscapesAreKept) {
  EXPECT_EQ(percentDecode(u"a+b"), "a+b");
  EXPECT_EQ(percentDecode(u"100%"), "100%");
  EXPECT_EQ(percentDecode(u"%4"), "%4");
  EXPECT_EQ(percentDecode(u"%zz%4g"), "%zz%4g");
  EXPECT_EQ(percentDecode(u"%%41"), "%A");
  EXPECT_EQ(percentDecode(u"%2b%2B"), "++");
  // A byte sequence that is not UTF-8 decodes without crashing; the valid
  // parts around it survive.
  const QString bad = percentDecode(u"a%FFb");
  EXPECT_TRUE(bad.startsWith('a'));
  EXPECT_TRUE(bad.endsWith('b'));
  EXPECT_EQ(percentDecode(u"%00").size(), 1);
}

// Bytes that are no UTF-8 character (a Latin-1 file name) survive decoding
// and come back exactly; UTF-8 around them reads as text.
TEST(FlashVars, BytesThatAreNotUtf8ComeBackExactly) {
  const QString path = FlashVars::parse(u"a=1&flv=/v/caf%E9 %C3%A9.flv").text("flv");
  EXPECT_EQ(bytesOf(path), QByteArray("/v/caf\xe9 \xc3\xa9.flv"));
  EXPECT_TRUE(path.endsWith(QString::fromUtf8(" \xc3\xa9.flv")));
  for (const char* bytes : {"\xff\xfe", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "ok \xe2\x82", "\xf0\x9f\x8e\xac \xdc\x80",
                            // A byte-order mark is part of the name, wherever it stands.
                            "\xef\xbb\xbf"
                            "clip.flv",
                            "/tmp/\xe9\xef\xbb\xbfx.flv"})
    EXPECT_EQ(bytesOf(textOf(bytes)), QByteArray(bytes)) << bytes;
  EXPECT_EQ(textOf("\xf0\x9f\x8e\xac"), QString::fromUtf8("\xf0\x9f\x8e\xac"));
}

// A file: address names the bytes its escapes spell, whether or not they
// are UTF-8, so that a similar name beside it is never opened instead; a
// path is made absolute, and a web address is never a file.
TEST(MovieAddresses, AFileAddressNamesTheExactBytesItsEscapesSpell) {
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
      {"/v/a%20b.flv", "/v/a%20b.flv"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bytesOf(localFilePath(QString::fromLatin1(c.address))), c.path) << c.address;
  EXPECT_EQ(localFilePath("v/x.flv"), QDir::currentPath() + "/v/x.flv");
  EXPECT_TRUE(isHttpAddress("HTTPS://h.example/v.flv"));
  EXPECT_FALSE(isHttpAddress("file:///v/http://x.flv"));
}
