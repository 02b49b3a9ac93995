// The real programs, started the way a host application starts them: one
// instance per user, the hand-off of a second start, the requests, a killed
// instance, another user, and many second starts in a row. Traces go to
// loopback addresses only.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <string>

#include "tests/app/shell_process.h"

namespace hs::test {
namespace {

using namespace std::chrono_literals;

std::string Title(const std::string& target) { return "title Event Trace: " + target; }

// A first instance tracing `target`, its first trace finished.
std::unique_ptr<Process> StartFirst(ShellHome& home, const std::string& sw, const std::string& target) {
  auto first = home.Start("hopsight", {sw, target});
  if (!first) return nullptr;
  EXPECT_TRUE(first->WaitForEvent("ready trace")) << first->SeenText() << home.Stderr();
  EXPECT_TRUE(first->WaitForEvent(Title(target))) << first->SeenText();
  EXPECT_TRUE(first->WaitForEvent("status Trace completed")) << first->SeenText();
  return first;
}

int Notify(ShellHome& home, const std::string& request, const std::vector<std::string>& prefix = {}) {
  auto p = home.Start("hopsight", {"--notify", request}, prefix);
  return p ? p->Wait() : -1;
}

TEST(Shell, ASecondTraceStartHandsOverAndEndsAtOnceButAnotherUserIsNotHeard) {
  ShellHome home;
  auto first = StartFirst(home, "/T", "127.0.0.2");
  ASSERT_TRUE(first);
  if (::geteuid() == 0) {  // root can act as another user
    const std::vector<std::string> nobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    EXPECT_EQ(Notify(home, "HTLogIsClosing", nobody), 1);
  }
  auto second = home.Start("hopsight", {"/T", "127.0.0.3"});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_EQ(second->NextEvent(100ms), "") << "the second start showed nothing";
  EXPECT_TRUE(first->WaitForEvent("request HSXDoNewTrace /T 127.0.0.3")) << first->SeenText();
  for (const std::string& e : first->Seen()) EXPECT_EQ(e.rfind("request HTLogIsClosing", 0), std::string::npos);
  EXPECT_TRUE(first->WaitForEvent(Title("127.0.0.3"))) << first->SeenText();
  EXPECT_TRUE(first->WaitForEvent("status Trace completed")) << first->SeenText();
  // The window program started directly keeps the same rule.
  auto direct = home.Start("hopsight-window", {"/L", "127.0.0.4"});
  EXPECT_EQ(direct->Wait(), 0);
  EXPECT_TRUE(first->WaitForEvent("request HSXDoNewTrace /L 127.0.0.4")) << first->SeenText();
  EXPECT_TRUE(first->WaitForEvent(Title("127.0.0.4"))) << first->SeenText();
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 0);
  EXPECT_TRUE(first->WaitForEvent("exit")) << first->SeenText();
  EXPECT_EQ(first->Wait(), 0);
}

TEST(Shell, ASecondHomeStartOpensTheWizardInTheFirst) {
  ShellHome home;
  auto first = StartFirst(home, "/T", "127.0.0.2");
  ASSERT_TRUE(first);
  auto second = home.Start("hopsight", {"/H"});
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_TRUE(first->WaitForEvent("request HSXSetHomeLoc")) << first->SeenText();
  EXPECT_TRUE(first->WaitForEvent("wizard open")) << first->SeenText();
  // The host closes its log while the wizard is open: the program ends.
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 0);
  EXPECT_TRUE(first->WaitForEvent("exit")) << first->SeenText();
  EXPECT_EQ(first->Wait(), 0);
}

TEST(Shell, AStartWithoutASwitchEndsAtOnceWithoutAWindow) {
  ShellHome home;
  const std::string settings = testing::ReadFile(home.Data("HopSight.ini"));
  for (const std::string program : {"hopsight", "hopsight-window"}) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"example.org"}, {"/X", "example.org"}, {"/T"}, {"/h"}}) {
      auto p = home.Start(program, args);
      ASSERT_TRUE(p);
      EXPECT_EQ(p->Wait(), 0) << program;
      EXPECT_EQ(p->NextEvent(50ms), "") << program << " showed something";
    }
  }
  EXPECT_TRUE(fs::is_empty(home.RuntimeDir())) << "no lock was taken";
  EXPECT_EQ(testing::ReadFile(home.Data("HopSight.ini")), settings);
  EXPECT_FALSE(fs::exists(home.Data("HopCache.ini")));
  // Our own options end at once too.
  auto version = home.Start("hopsight", {"--version"});
  EXPECT_EQ(version->Wait(), 0);
  auto bad = home.Start("hopsight", {"--frobnicate"});
  EXPECT_EQ(bad->Wait(), 2);
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 1) << "no instance runs";
}

// (That "/T" ends with the host's log is shown by the hand-off test's end.)
TEST(Shell, LowerCaseTraceOutlivesTheHostsLog) {
  ShellHome home;
  auto first = StartFirst(home, "/t", "127.0.0.2");
  ASSERT_TRUE(first);
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 0);
  EXPECT_TRUE(first->WaitForEvent("request HTLogIsClosing")) << first->SeenText();
  // Requests act in order: the next one finds the program still there.
  auto second = home.Start("hopsight", {"/T", "127.0.0.5"});
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_TRUE(first->WaitForEvent(Title("127.0.0.5"))) << first->SeenText();
  for (const std::string& e : first->Seen()) EXPECT_NE(e, "exit");
  first->Signal(SIGTERM);
  EXPECT_TRUE(first->WaitForEvent("exit")) << first->SeenText();
  EXPECT_EQ(first->Wait(), 0);
}

TEST(Shell, AKilledInstanceLeavesNoStaleLock) {
  ShellHome home;
  auto first = StartFirst(home, "/T", "127.0.0.2");
  ASSERT_TRUE(first);
  first->Signal(SIGKILL);
  EXPECT_EQ(first->Wait(), 128 + SIGKILL);
  ASSERT_TRUE(fs::exists(home.RuntimeDir() + "/hopsight.socket")) << "the killed instance left its socket";
  auto next = StartFirst(home, "/T", "127.0.0.6");
  ASSERT_TRUE(next);
  auto second = home.Start("hopsight", {"/T", "127.0.0.7"});
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_TRUE(next->WaitForEvent(Title("127.0.0.7"))) << next->SeenText();
}

TEST(Shell, TwoHundredSecondStartsLeaveTheFirstTracingTheLast) {
  ShellHome home;
  auto first = StartFirst(home, "/T", "127.0.0.2");
  ASSERT_TRUE(first);
  // One hand-over first: what a hand-over opens for good is open from here on.
  auto warm = home.Start("hopsight", {"/T", "127.0.0.3"});
  EXPECT_EQ(warm->Wait(), 0);
  ASSERT_TRUE(first->WaitForEvent(Title("127.0.0.3")));
  ASSERT_TRUE(first->WaitForEvent("status Trace completed"));
  const int before = first->Descriptors();

  std::string last;
  for (int i = 0; i < 200; ++i) {
    last = "127.0." + std::to_string(1 + i / 200) + "." + std::to_string(10 + i % 200);
    auto second = home.Start("hopsight", {"/T", last});
    ASSERT_TRUE(second);
    ASSERT_EQ(second->Wait(), 0) << "start " << i;
  }
  int requests = 0;
  while (true) {
    const std::string e = first->NextEvent();
    ASSERT_FALSE(e.empty()) << "the first instance stopped telling after " << requests << " requests";
    if (e.rfind("request HSXDoNewTrace", 0) == 0) ++requests;
    if (e == Title(last)) break;
  }
  EXPECT_EQ(requests, 200);
  ASSERT_TRUE(first->WaitForEvent("status Trace completed")) << first->SeenText();
  // A lookup's socket may come or go between the two counts; a descriptor
  // kept per hand-over would show as 200 more.
  EXPECT_LE(first->Descriptors(), before + 2);
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 0);
  EXPECT_EQ(first->Wait(), 0) << home.Stderr();
  // The trace it showed last is the one recorded.
  const std::string index = testing::ReadFile(home.Data("hsehtdb.idx"));
  const uint32_t key = inet_addr(last.c_str());
  EXPECT_NE(index.find(std::string(reinterpret_cast<const char*>(&key), 4)), std::string::npos);
}

}  // namespace
}  // namespace hs::test

namespace hs::test {
namespace {

TEST(Shell, AFirstStartWithoutAHomeLocationOpensTheWizardBeforeTheWindow) {
  ShellHome home;
  testing::WriteFile(home.Data("HopSight.ini"), "");
  auto first = home.Start("hopsight", {"/T", "127.0.0.2"});
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->WaitForEvent("wizard open")) << first->SeenText() << home.Stderr();
  for (const std::string& e : first->Seen()) EXPECT_NE(e, "ready trace");
  first->Signal(SIGKILL);
  first->Wait();
  // hopsight-trace never asks: it traces, and says once how to set one.
  if (fs::exists(BuildDir() + "/bin/hopsight-trace")) {
    fs::copy_file(BuildDir() + "/bin/hopsight-trace", home.ProgramDir() + "hopsight-trace");
    auto trace = home.Start("hopsight-trace", {"--no-whois", "--no-geo", "127.0.0.2"});
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->Wait(std::chrono::seconds(60)), 0) << home.Stderr();
    const std::string said = home.Stderr();
    const size_t at = said.find("no home location is set");
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find("no home location is set", at + 1), std::string::npos) << "said more than once";
  }
}

TEST(Shell, AHomeStartTakesNoRequests) {
  ShellHome home;
  auto first = home.Start("hopsight", {"/H"});
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->WaitForEvent("ready home")) << first->SeenText() << home.Stderr();
  ASSERT_TRUE(first->WaitForEvent("wizard open")) << first->SeenText();
  auto second = home.Start("hopsight", {"/T", "127.0.0.3"});
  EXPECT_EQ(second->Wait(), 0) << "the second start still ends at once";
  EXPECT_TRUE(first->WaitForEvent("refused a request while setting the home location")) << first->SeenText();
  EXPECT_EQ(Notify(home, "HTLogIsClosing"), 0);
  EXPECT_TRUE(first->WaitForEvent("refused a request while setting the home location")) << first->SeenText();
  // Still setting the home location: the session's end closes it.
  first->Signal(SIGTERM);
  EXPECT_TRUE(first->WaitForEvent("exit")) << first->SeenText();
  EXPECT_EQ(first->Wait(), 0);
  for (const std::string& e : first->Seen()) EXPECT_EQ(e.rfind("title", 0), std::string::npos) << e;
}

}  // namespace
}  // namespace hs::test
