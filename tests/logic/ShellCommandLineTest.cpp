#include <gtest/gtest.h>

#include "shell/CommandLine.h"
#include "tests/fakes/FakePlatform.h"

namespace quillet {
namespace {

struct ArgumentCase {
  const char* what;
  const char* arguments;
  const char* prefix;
  const char* expected;
};

// The argument text is never split, unquoted or trimmed.
TEST(ShellCommandLine, GetCommandArgumentCases) {
  const ArgumentCase cases[] = {
      {"no arguments", "", "", ""},
      {"no arguments, any prefix", "", "/x", ""},
      {"whole text", "/videos/clip.flv", "", "/videos/clip.flv"},
      {"blanks kept", "/my videos/a clip.flv", "", "/my videos/a clip.flv"},
      {"outer blanks kept", " /v/a.flv ", "", " /v/a.flv "},
      {"quotes kept", "\"/my videos/a.flv\"", "", "\"/my videos/a.flv\""},
      {"two paths as one", "/v/a.flv /v/b.flv", "", "/v/a.flv /v/b.flv"},
      {"prefix absent", "/v/a.flv", "-file=", ""},
      {"after the prefix", "-file=/v/a.flv", "-file=", "/v/a.flv"},
      {"prefix in the middle", "x -f /v/a.flv", "-f ", "/v/a.flv"},
      {"prefix twice", "-f a -f b", "-f ", "a -f b"},
      {"prefix at the end", "/v/a.flv -f", "-f", ""},
      {"prefix is everything", "-f", "-f", ""},
      {"other case", "/V/A.FLV", "a.flv", ""},
      {"prefix longer than text", "ab", "abc", ""},
  };
  for (const auto& c : cases) {
    fakes::Journal j;
    fakes::FakeProcesses processes(j);
    processes.arguments = c.arguments;
    EXPECT_EQ(GetCommandArgument(processes, c.prefix), c.expected) << c.what;
  }
}

// Positions beyond a 16-bit counter are found like any other.
TEST(ShellCommandLine, VeryLongArgumentText) {
  fakes::Journal j;
  fakes::FakeProcesses processes(j);
  processes.arguments = std::string(40000, 'x') + "|/v/a.flv";
  EXPECT_EQ(GetCommandArgument(processes, "|"), "/v/a.flv");
  EXPECT_EQ(GetCommandArgument(processes, ""), processes.arguments);
}

// Only the exact whole text asks for the usage or the version; anything
// else, however close, stays a path.
TEST(ShellCommandLine, HelpAndVersionOnlyAsTheWholeText) {
  EXPECT_EQ(infoRequest("--help"), InfoRequest::Usage);
  EXPECT_EQ(infoRequest("--version"), InfoRequest::Version);
  for (const char* path : {"", "--help ", " --version", "--help --version", "--version x.flv",
                           "/v/--help", "--Help", "-h", "-v", "--versions", "\"--help\""})
    EXPECT_EQ(infoRequest(path), InfoRequest::None) << path;
}

}  // namespace
}  // namespace quillet
