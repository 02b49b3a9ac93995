// The URL opener with a stand-in xdg-open.
#include "platform/browser.h"

#include <gtest/gtest.h>

#include "tests/config/temp_dir.h"
#include "tests/platform/fake_opener.h"

namespace hs::platform {
namespace {

using hs::test::FakeOpener;
using hs::test::WriteExecutable;
using hs::testing::TempDir;

TEST(Browser, TheOpenerIsFoundOnTheSearchPathOnly) {
  TempDir dir;
  FakeOpener opener(dir.path());
  const std::string elsewhere = dir.File("elsewhere");
  std::filesystem::create_directories(elsewhere);
  WriteExecutable(elsewhere + "/other", "#!/bin/sh\n");
  std::ofstream(elsewhere + "/xdg-open") << "not executable";
  EXPECT_EQ(FindDefaultBrowser(elsewhere + ":relative/bin:" + opener.Bin(), "/start").Program(),
            opener.Bin() + "/xdg-open");
  EXPECT_EQ(FindDefaultBrowser(elsewhere, "/start").Program(), "");
  EXPECT_EQ(FindDefaultBrowser("", "/start").Program(), "");
  EXPECT_FALSE(FindDefaultBrowser(elsewhere, "/start").OpenInBrowser("https://example.org/"));
}

TEST(Browser, TheAddressIsTheOpenersOnlyArgument) {
  TempDir dir;
  FakeOpener opener(dir.path());
  Browser browser = FindDefaultBrowser(opener.Bin(), "/opt/hopsight");
  EXPECT_FALSE(browser.OpenInBrowser(""));
  // Blanks and shell characters arrive untouched: no shell sits in between.
  EXPECT_TRUE(browser.OpenInBrowser("http://example.org/a b;$(x)"));
  EXPECT_EQ(opener.Next(), "1|http://example.org/a b;$(x)|");
  EXPECT_TRUE(browser.OpenInBrowser("help/f_HspxErrs.htm", true));
  EXPECT_EQ(opener.Next(), "1|/opt/hopsight/help/f_HspxErrs.htm|");
}

TEST(Browser, AnOpenerThatCannotStartReportsFalse) {
  TempDir dir;
  FakeOpener opener(dir.path());
  WriteExecutable(opener.Bin() + "/xdg-open", std::string("\x7f" "ELF broken", 11));
  EXPECT_FALSE(FindDefaultBrowser(opener.Bin(), "/").OpenInBrowser("http://example.org/"));
}

}  // namespace
}  // namespace hs::platform
