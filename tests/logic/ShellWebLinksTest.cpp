#include <gtest/gtest.h>

#include "quillet/Addresses.h"
#include "tests/fakes/FakePlatform.h"
#include "window/Form1.h"

namespace quillet {
namespace {

TEST(ShellWebLinks, EveryClickOpensTheSite) {
  fakes::FakePlatform p;
  Form1 form(p.platform);
  form.Command1_Click();
  form.Command1_Click();
  const std::string open = std::string("OpenUrl ") + addresses::kWebsite;
  EXPECT_EQ(p.journal.all(), (std::vector<std::string>{open, open}));
}

}  // namespace
}  // namespace quillet
