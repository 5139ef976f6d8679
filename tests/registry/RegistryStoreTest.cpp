#include <gtest/gtest.h>

#include <random>

#include "platform/qt/settings/RegistryStore.h"

namespace quillet::qt {
namespace {

TEST(RegistryStore, WriteCreatesMissingKeys) {
  RegistryStore s;
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "/opt/q %L"));
  EXPECT_EQ(s.read("HKCR\\image\\shell\\open\\command\\"), "/opt/q %L");
  EXPECT_EQ(s.subkeys("HKCR\\image\\"), std::vector<std::string>{"shell"});
  EXPECT_EQ(s.subkeys("HKCR\\image\\shell\\open"), std::vector<std::string>{"command"});
  // The keys on the way exist but hold no default value.
  EXPECT_EQ(s.read("HKCR\\image\\"), std::nullopt);
  // A named value is apart from the key's default and is no key itself.
  ASSERT_TRUE(s.write("HKCR\\image\\a", "named"));
  EXPECT_EQ(s.read("HKCR\\image\\a"), "named");
  EXPECT_EQ(s.read("HKCR\\image\\"), std::nullopt);
  EXPECT_EQ(s.subkeys("HKCR\\image\\"), std::vector<std::string>{"shell"});
}

TEST(RegistryStore, NamesIgnoreCaseAndLongRoots) {
  RegistryStore s;
  ASSERT_TRUE(s.write("HKEY_CLASSES_ROOT\\Image\\", "Flash Video"));
  EXPECT_EQ(s.read("hkcr\\IMAGE\\"), "Flash Video");
  ASSERT_TRUE(s.write("HKCR\\IMAGE\\", "again"));
  EXPECT_EQ(s.subkeys("HKCR\\"), std::vector<std::string>{"Image"});  // first spelling kept
  EXPECT_EQ(s.read("HKCR\\image\\"), "again");
}

TEST(RegistryStore, DeletingFollowsTheKeyRules) {
  RegistryStore s;
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "x"));
  ASSERT_TRUE(s.write("HKCR\\image\\", "Flash Video"));
  ASSERT_TRUE(s.write("HKCR\\image\\note", "n"));

  EXPECT_FALSE(s.remove("HKCR\\image\\shell\\"));  // holds a subkey
  EXPECT_FALSE(s.remove("HKCR\\image\\"));
  EXPECT_FALSE(s.remove("HKCR\\image\\missing\\"));
  EXPECT_FALSE(s.remove("HKCR\\image\\missing"));
  EXPECT_FALSE(s.remove("HKCR\\nokey\\value"));
  EXPECT_EQ(s.read("HKCR\\image\\shell\\open\\command\\"), "x");

  EXPECT_TRUE(s.remove("HKCR\\image\\shell\\open\\command\\"));
  EXPECT_FALSE(s.remove("HKCR\\image\\shell\\open\\command\\"));  // gone already
  EXPECT_TRUE(s.remove("HKCR\\image\\shell\\open\\"));
  EXPECT_TRUE(s.remove("HKCR\\image\\shell\\"));
  EXPECT_TRUE(s.remove("HKCR\\image\\note"));
  EXPECT_EQ(s.read("HKCR\\image\\"), "Flash Video");
  // A key without subkeys goes with its values.
  ASSERT_TRUE(s.write("HKCR\\image\\other", "o"));
  EXPECT_TRUE(s.remove("HKCR\\image\\"));
  EXPECT_EQ(s.read("HKCR\\image\\other"), std::nullopt);
  EXPECT_TRUE(s.subkeys("HKCR\\").empty());
}

TEST(RegistryStore, MalformedNamesAndRootsAreRefused) {
  RegistryStore s;
  ASSERT_TRUE(s.write("HKCR\\.flv\\", "image"));
  for (const char* name : {"", "\\", "HKCR", "HKCR\\", "HKCR\\value", "HKXX\\k\\", "k\\",
                           "HKCR\\\\k\\", "HKCR\\a\\\\b\\", "\\HKCR\\k\\"}) {
    EXPECT_FALSE(s.write(name, "d")) << name;
    EXPECT_FALSE(s.remove(name)) << name;
  }
  EXPECT_FALSE(s.remove("HKCR\\"));
  EXPECT_EQ(s.read("HKCR\\.flv\\"), "image");
  std::string deep = "HKCU";
  for (std::size_t i = 0; i < RegistryStore::kMaxDepth; ++i) deep += "\\k";
  EXPECT_FALSE(s.write(deep + "\\", "too deep"));
}

TEST(RegistryStore, TextFormKeepsAwkwardData) {
  RegistryStore s;
  const std::string awkward = "line1\nline2\r\ttab %41 100% \\ back\xc3\xa9";
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "/My Programs/quillet %L"));
  ASSERT_TRUE(s.write("HKCU\\Key with blanks\\val\tue", awkward));
  ASSERT_TRUE(s.write("HKCU\\Key with blanks\\", ""));
  ASSERT_TRUE(s.write("HKCU\\Empty\\Leaf\\", "x"));
  ASSERT_TRUE(s.remove("HKCU\\Empty\\Leaf\\"));  // leaves an empty key behind

  RegistryStore back = RegistryStore::parse(s.serialize());
  EXPECT_EQ(back.read("HKCU\\Key with blanks\\val\tue"), awkward);
  EXPECT_EQ(back.read("HKCU\\Key with blanks\\"), "");
  EXPECT_EQ(back.read("HKCR\\image\\shell\\open\\command\\"), "/My Programs/quillet %L");
  EXPECT_EQ(back.subkeys("HKCU\\"), (std::vector<std::string>{"Empty", "Key with blanks"}));
  EXPECT_EQ(back, s);
}

TEST(RegistryStore, CorruptTextGivesWhatIsReadable) {
  EXPECT_TRUE(RegistryStore::parse("").empty());
  EXPECT_TRUE(RegistryStore::parse("garbage\nK\tHKCR\\x\nD\ty\n").empty());  // no header
  const std::string text =
      "quillet-registry 1\r\n"
      "D\torphan default\n"
      "V\tno\tkey\n"
      "K\tHKXX\\bad root\n"
      "D\tlost\n"
      "K\tHKCR\\\\empty component\n"
      "K\tHKCR\\a%5Cb\n"  // an escaped backslash cannot be a component
      "K\tHKCR\\.flv\r\n"
      "D\timage\r\n"
      "V\tonly two fields\n"
      "V\ta\tb\tc\n"
      "X\tunknown\n"
      "K\n"
      "\n"
      "K\tHKCU\\ok\n"
      "V\tv\t%zz%4\n";
  RegistryStore s = RegistryStore::parse(text);
  EXPECT_EQ(s.read("HKCR\\.flv\\"), "image");
  EXPECT_EQ(s.read("HKCU\\ok\\v"), "%zz%4");
  EXPECT_EQ(s.subkeys("HKCR\\"), std::vector<std::string>{".flv"});
}

// Mutations of a valid hive: whatever comes out is read without harm and
// reads back the same once written again.
TEST(RegistryStore, MutatedTextsNeverHarm) {
  RegistryStore s;
  ASSERT_TRUE(s.write("HKCR\\.flv\\", "image"));
  ASSERT_TRUE(s.write("HKCR\\image\\shell\\open\\command\\", "/opt/q %L"));
  ASSERT_TRUE(s.write("HKCU\\A\\B\\a", "x\ty"));
  const std::string base = s.serialize();
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    std::string t = base;
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !t.empty(); ++e) {
      const std::size_t at = rng() % t.size();
      switch (rng() % 4) {
        case 0:
          t[at] = static_cast<char>(rng() % 256);
          break;
        case 1:
          t.erase(at, 1 + rng() % 5);
          break;
        case 2:
          t.insert(at, 1, "\t\n\\%K"[rng() % 6]);
          break;
        case 3:
          t.insert(at, t.substr(rng() % t.size(), rng() % 20));
          break;
      }
    }
    RegistryStore parsed = RegistryStore::parse(t);
    EXPECT_EQ(RegistryStore::parse(parsed.serialize()), parsed);
  }
  std::string deep = "quillet-registry 1\nK\tHKCU";
  for (int i = 0; i < 100000; ++i) deep += "\\k";
  EXPECT_TRUE(RegistryStore::parse(deep + "\nD\tx\n").empty());
}

}  // namespace
}  // namespace quillet::qt
