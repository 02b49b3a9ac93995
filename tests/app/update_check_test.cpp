// The update check on a fake clock, against a scripted server and the
// companion server: when it is due, each answer form and its boxes, what is
// recorded, and that it never holds up the start.
#include "app/update_check.h"

#include <gtest/gtest.h>

#include <condition_variable>

#include "config/settings.h"
#include "tests/geo/companion.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::app {
namespace {

using hs::test::ScriptedHttpServer;

constexpr int64_t kDay = 86400;
constexpr int64_t kInstalled = 1750000000;

struct Prompt {
  std::string text, title;
  bool exclamation;
};

class FakePrompts final : public UpdatePrompts {
 public:
  bool AskOkCancel(std::string_view text, std::string_view title, bool exclamation) override {
    std::lock_guard g(lock);
    boxes.push_back({std::string(text), std::string(title), exclamation});
    return answerOk;
  }
  bool OpenInBrowser(const std::string& address) override {
    std::lock_guard g(lock);
    opened.push_back(address);
    return true;
  }
  std::mutex lock;
  bool answerOk = true;
  std::vector<Prompt> boxes;
  std::vector<std::string> opened;
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  // One check at `now` against a server that answers `body`; returns the
  // last-check value afterwards.
  int32_t CheckAt(int64_t now, const std::string& body, std::array<int32_t, 3> install) {
    ScriptedHttpServer server([&](const std::string& target) {
      targets_.push_back(target);
      return ScriptedHttpServer::Ok(body);
    });
    UpdateCheck check(Setup(server.host(), now));
    started_ = check.StartIfDue(install);
    check.Wait();
    check.Finish(install);
    return install[2];
  }
  UpdateCheckSetup Setup(const std::string& host, int64_t now) {
    UpdateCheckSetup s;
    s.server = host;
    s.homePage = "file:///opt/hopsight/help/index.htm";
    s.prompts = &prompts_;
    s.now = [now] { return now; };
    return s;
  }

  FakePrompts prompts_;
  std::vector<std::string> targets_;
  bool started_ = false;
};

TEST_F(UpdateCheckTest, TheFirstStartChecksAndAnswerZeroIsRecorded) {
  config::Settings settings;
  config::SetInstallIdentity(settings, kInstalled, 12345);
  EXPECT_EQ(CheckAt(kInstalled + 5, "0", settings.install), kInstalled + 5);
  EXPECT_TRUE(started_);
  ASSERT_EQ(targets_.size(), 1u);
  EXPECT_EQ(targets_[0], "/flexcheck/?" + locwire::WriteIdentity({static_cast<uint32_t>(kInstalled), 12345,
                                                                   locwire::kProductCode},
                                                                  locwire::kUpdateMasks));
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(UpdateCheckTest, TwentyNineDaysAfterTheLastCheckNothingHappensThirtyDaysChecks) {
  const std::array<int32_t, 3> install = {kInstalled, 1, kInstalled};
  EXPECT_EQ(CheckAt(kInstalled + 29 * kDay, "0", install), kInstalled);
  EXPECT_FALSE(started_);
  EXPECT_TRUE(targets_.empty());
  EXPECT_EQ(CheckAt(kInstalled + 30 * kDay, "0", install), kInstalled + 30 * kDay);
  EXPECT_TRUE(started_);
  EXPECT_EQ(targets_.size(), 1u);
  EXPECT_TRUE(UpdateDue(kInstalled + 59, kInstalled));
  EXPECT_FALSE(UpdateDue(kInstalled + 60, kInstalled));
}

TEST_F(UpdateCheckTest, ANewVersionAsksAndOnlyOkIsRecorded) {
  const std::array<int32_t, 3> install = {kInstalled, 1, kInstalled};
  const int64_t now = kInstalled + 40 * kDay;
  EXPECT_EQ(CheckAt(now, "1", install), now);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "A new version of HopSight Express is available.\nPress \"OK\" to GoOnline for the latest version\n"
            " or \"Cancel\" to continue the program.");
  EXPECT_EQ(prompts_.boxes[0].title, "New Version Available!");
  EXPECT_TRUE(prompts_.boxes[0].exclamation);
  EXPECT_EQ(prompts_.opened, std::vector<std::string>{"file:///opt/hopsight/help/index.htm"});

  prompts_.answerOk = false;
  EXPECT_EQ(CheckAt(now, "1", install), kInstalled + 5 * kDay) << "Cancel keeps the five-day postponement";
  EXPECT_EQ(prompts_.opened.size(), 1u);
}

TEST_F(UpdateCheckTest, InformationAndPageAnswersAreRecordedWhateverTheUserChooses) {
  const std::array<int32_t, 3> install = {kInstalled, 1, kInstalled};
  const int64_t now = kInstalled + 31 * kDay;
  EXPECT_EQ(CheckAt(now, "2\r\nServer maintenance on Friday\r\nhttp://example.org/news", install), now);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "Server maintenance on Friday");
  EXPECT_EQ(prompts_.boxes[0].title, "HopSight Express Information");
  EXPECT_FALSE(prompts_.boxes[0].exclamation);
  EXPECT_EQ(prompts_.opened, std::vector<std::string>{"http://example.org/news"});

  prompts_.answerOk = false;
  EXPECT_EQ(CheckAt(now, "2\r\nAgain\r\nhttp://example.org/news", install), now);
  EXPECT_EQ(prompts_.opened.size(), 1u) << "Cancel opens nothing";

  EXPECT_EQ(CheckAt(now, "3\r\nhttp://example.org/survey", install), now);
  EXPECT_EQ(prompts_.opened.back(), "http://example.org/survey");
}

TEST_F(UpdateCheckTest, AFailedCheckIsTriedAgainFiveDaysLater) {
  std::array<int32_t, 3> install = {kInstalled, 1, kInstalled};
  const int64_t due = kInstalled + 30 * kDay;
  for (const char* bad : {"", "2", "2\r\n", "9"}) EXPECT_EQ(CheckAt(due, bad, install), kInstalled + 5 * kDay) << bad;
  EXPECT_TRUE(prompts_.boxes.empty());

  install[2] = kInstalled + 5 * kDay;  // as the failed check left it
  EXPECT_EQ(CheckAt(due + 4 * kDay, "0", install), install[2]) << "four days later: not yet";
  EXPECT_FALSE(started_);
  EXPECT_EQ(CheckAt(due + 5 * kDay, "0", install), due + 5 * kDay);
  EXPECT_TRUE(started_);
}

TEST_F(UpdateCheckTest, TheCheckRunsBesideTheStartAndShutdownEndsIt) {
  // The server answers only after StartIfDue has returned: a check on the
  // caller's thread would have given up long before.
  std::mutex m;
  std::condition_variable cv;
  bool released = false;
  ScriptedHttpServer server([&](const std::string&) {
    std::unique_lock g(m);
    cv.wait_for(g, std::chrono::seconds(20), [&] { return released; });
    return ScriptedHttpServer::Ok("0");
  });
  std::array<int32_t, 3> install = {kInstalled, 1, kInstalled};
  const int64_t now = kInstalled + 30 * kDay;
  UpdateCheck check(Setup(server.host(), now));
  ASSERT_TRUE(check.StartIfDue(install));
  EXPECT_EQ(install[2], kInstalled + 5 * kDay);
  {
    std::lock_guard g(m);
    released = true;
  }
  cv.notify_all();
  check.Wait();
  check.Finish(install);
  EXPECT_EQ(install[2], now);

  // A server that never answers: Finish ends the check at once, unrecorded.
  ScriptedHttpServer stall([](const std::string&) { return ScriptedHttpServer::Stall(); });
  std::array<int32_t, 3> again = {kInstalled, 1, kInstalled};
  UpdateCheck stalled(Setup(stall.host(), now));
  ASSERT_TRUE(stalled.StartIfDue(again));
  ASSERT_TRUE(stall.WaitForRequests(1));
  stalled.Finish(again);
  EXPECT_EQ(again[2], kInstalled + 5 * kDay);
}

TEST_F(UpdateCheckTest, TheCompanionServerCanAnnounceANewVersionQuietly) {
  hs::test::Companion companion("", {"--update", "new:http://example.org/download"});
  if (!companion.Started()) GTEST_SKIP() << companion.Why();
  std::array<int32_t, 3> install = {kInstalled, 7, kInstalled};
  const int64_t now = kInstalled + 30 * kDay;
  UpdateCheck check(Setup(companion.Host(), now));
  ASSERT_TRUE(check.StartIfDue(install));
  check.Wait();
  check.Finish(install);
  EXPECT_EQ(install[2], now);
  EXPECT_TRUE(prompts_.boxes.empty());
}

}  // namespace
}  // namespace hs::app
