// Help pages.
#include "app/shell_services.h"

#include <gtest/gtest.h>

#include <regex>

#include "tests/config/temp_dir.h"
#include "tests/platform/fake_opener.h"

namespace hs::app {
namespace {

using hs::test::FakeOpener;
using hs::testing::ReadFile;
using hs::testing::TempDir;

std::string SourceHelp() {
  const char* d = std::getenv("HOPSIGHT_SOURCE_DIR");
  return std::string(d ? d : ".") + "/help";
}

TEST(HelpPages, EveryTopicInUseHasAPageAndItsLinksLeadSomewhere) {
  const std::regex link("href=\"([^\"#:]+)(#[^\"]*)?\"");
  std::vector<std::string> pages = {"index.htm"};
  for (std::string_view topic : kHelpTopics) pages.push_back("f_" + std::string(topic) + ".htm");
  for (const std::string& page : pages) {
    const std::string text = ReadFile(SourceHelp() + "/" + page);
    ASSERT_FALSE(text.empty()) << page;
    EXPECT_NE(text.find("<title>"), std::string::npos) << page;
    for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it)
      EXPECT_TRUE(std::filesystem::exists(SourceHelp() + "/" + (*it)[1].str())) << page << " links " << (*it)[1];
  }
}

TEST(HelpPages, ATopicOpensItsPageInTheBrowser) {
  TempDir dir;
  FakeOpener opener(dir.path());
  const std::string help = dir.File("my help");  // a blank in the path
  std::filesystem::create_directories(help);
  hs::testing::WriteFile(help + "/f_HspxErrs.htm", "<html></html>");
  platform::Browser browser = platform::FindDefaultBrowser(opener.Bin(), "/");
  HelpPages pages(help, browser);
  EXPECT_TRUE(pages.ShowHelpTopic("HspxErrs"));
  EXPECT_EQ(opener.Next(), "1|file://" + dir.path() + "/my%20help/f_HspxErrs.htm|");
  EXPECT_FALSE(pages.ShowHelpTopic("HspxHomeLocation")) << "no page: help is silently unavailable";
  EXPECT_FALSE(pages.ShowHelpTopic("../f_HspxErrs"));
  EXPECT_EQ(pages.PagePath("../x"), "");
  platform::Browser none;
  EXPECT_FALSE(HelpPages(help, none).ShowHelpTopic("HspxErrs"));
}

}  // namespace
}  // namespace hs::app
