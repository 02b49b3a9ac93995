// The URL opener with a stand-in xdg-open that reports its arguments through
// a FIFO, so the test waits for the event instead of sleeping.
#include "platform/browser.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/config/temp_dir.h"

namespace hs::platform {
namespace {

using hs::testing::TempDir;

void WriteExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), 0755);
}

// Reads what the stand-in wrote, waiting at most 10 s for it.
std::string ReadFifo(int fd) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool started = false;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[512];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<size_t>(n));
      started = true;
    } else if (n == 0 && started) {
      break;  // the writer closed
    }
  }
  return text;
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = dir_.File("bin");
    std::filesystem::create_directories(bin_);
    fifo_ = dir_.File("opened");
    ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    WriteExecutable(bin_ + "/xdg-open", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + fifo_ + "'\n");
  }
  TempDir dir_;
  std::string bin_, fifo_;
};

TEST_F(BrowserTest, TheOpenerIsFoundOnTheSearchPathOnly) {
  const std::string elsewhere = dir_.File("elsewhere");
  std::filesystem::create_directories(elsewhere);
  WriteExecutable(elsewhere + "/other", "#!/bin/sh\n");
  std::ofstream(elsewhere + "/xdg-open") << "not executable";
  EXPECT_EQ(FindDefaultBrowser(elsewhere + ":relative/bin:" + bin_, "/start").Program(), bin_ + "/xdg-open");
  EXPECT_EQ(FindDefaultBrowser(elsewhere, "/start").Program(), "");
  EXPECT_EQ(FindDefaultBrowser("", "/start").Program(), "");
  EXPECT_FALSE(FindDefaultBrowser(elsewhere, "/start").OpenInBrowser("https://example.org/"));
}

TEST_F(BrowserTest, TheAddressIsTheOpenersOnlyArgument) {
  int fd = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  Browser browser = FindDefaultBrowser(bin_, "/opt/hopsight");
  EXPECT_FALSE(browser.OpenInBrowser(""));
  // Blanks and shell characters arrive untouched: no shell sits in between.
  EXPECT_TRUE(browser.OpenInBrowser("http://example.org/a b;$(x)"));
  EXPECT_EQ(ReadFifo(fd), "1|http://example.org/a b;$(x)|");
  close(fd);

  fd = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(browser.OpenInBrowser("help/f_HspxErrs.htm", true));
  EXPECT_EQ(ReadFifo(fd), "1|/opt/hopsight/help/f_HspxErrs.htm|");
  close(fd);
}

TEST_F(BrowserTest, AnOpenerThatCannotStartReportsFalse) {
  WriteExecutable(bin_ + "/xdg-open", std::string("\x7f" "ELF broken", 11));
  EXPECT_FALSE(FindDefaultBrowser(bin_, "/").OpenInBrowser("http://example.org/"));
}

}  // namespace
}  // namespace hs::platform
