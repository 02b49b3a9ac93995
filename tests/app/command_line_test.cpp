// The command line's switches and start flags, our own options, and the
// requests of the channel against hand-made bytes.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/requests.h"

namespace hs::app {
namespace {

TEST(CommandLine, SwitchesInBothCasesAndTheHostsUpperCaseStartFlags) {
  struct Case {
    const char* line;
    Dispatch dispatch;
    int historyMode;
    bool byHost, homeOnly;
  } cases[] = {
      {"/T example.org", Dispatch::Trace, 0, true, false}, {"/t example.org", Dispatch::Trace, 0, false, false},
      {"/L example.org", Dispatch::Trace, 2, false, false}, {"/l example.org", Dispatch::Trace, 2, false, false},
      {"/H", Dispatch::Home, 0, true, true},                {"/H ", Dispatch::End, 0, true, true},
      {"/Hx", Dispatch::End, 0, true, true},                {"/H example.org", Dispatch::End, 0, true, false},
      {"/T", Dispatch::End, 0, false, false},               {"/h", Dispatch::End, 0, false, false},
  };
  for (const Case& c : cases) {
    const CommandLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.dispatch, c.dispatch) << c.line;
    EXPECT_EQ(parsed.historyMode, c.historyMode) << c.line;
    EXPECT_EQ(parsed.flags.startedByHost, c.byHost) << c.line;
    EXPECT_EQ(parsed.flags.homeOnly, c.homeOnly) << c.line;
  }
  EXPECT_EQ(ParseCommandLine("/T example.org").target, "example.org");
}

TEST(CommandLine, TheTargetIsTrimmedReducedAndCut) {
  EXPECT_EQ(ParseCommandLine("/T    example.org \t ").target, "example.org");
  // A web address is reduced to its host, as a browser's error page is.
  EXPECT_EQ(ParseCommandLine("/T http://user@www.example.org:8080/path?q").target, "www.example.org");
  EXPECT_EQ(ParseCommandLine("/T res://ieframe.dll/dnserror.htm#http://lost.example/").target, "lost.example");
  EXPECT_EQ(ParseCommandLine("/T " + std::string(400, 'a')).target.size(), kCommandTargetCapacity - 1);
  // The whole line goes to a running instance as it was.
  EXPECT_EQ(ParseCommandLine("/T  a.example ").text, "/T  a.example ");
}

TEST(CommandLine, AnythingElseEndsAtOnce) {
  for (const char* line : {"", "/", "/T ", "/T   ", "/Texample.org", "/X example.org", "T example.org",
                           "-T example.org", "/T\x01x"})
    EXPECT_EQ(ParseCommandLine(line).dispatch, Dispatch::End) << '"' << line << '"';
}

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
  const char* argv[] = {"hopsight", "/T", "example.org"};
  EXPECT_EQ(JoinArguments(3, argv), "/T example.org");
  const char* one[] = {"hopsight", "/T example.org"};
  EXPECT_EQ(JoinArguments(2, one), "/T example.org");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

TEST(Invocation, OurOptionsStandAloneBeforeTheSwitches) {
  auto read = [](std::vector<const char*> args) {
    args.insert(args.begin(), "hopsight");
    return ReadInvocation(int(args.size()), args.data());
  };
  EXPECT_EQ(read({"--help"}).kind, Invocation::Help);
  EXPECT_EQ(read({"--version"}).kind, Invocation::Version);
  EXPECT_EQ(read({"--ask"}).kind, Invocation::Ask);
  const Invocation notify = read({"--notify", "HTLogIsClosing"});
  EXPECT_EQ(notify.kind, Invocation::Notify);
  EXPECT_EQ(notify.request, "HTLogIsClosing");
  EXPECT_EQ(read({"--notify"}).kind, Invocation::Bad);
  EXPECT_EQ(read({"--help", "x"}).kind, Invocation::Bad);
  EXPECT_EQ(read({"--trace", "x"}).kind, Invocation::Bad);
  // The switches of the host application are not options.
  EXPECT_EQ(read({"/T", "--help"}).kind, Invocation::Run);
  EXPECT_EQ(read({}).kind, Invocation::Run);
}

TEST(Requests, BytesOnTheWire) {
  EXPECT_EQ(WriteRequest({Request::NewTrace, "/T example.org"}), "HSXDoNewTrace\nCommand Line=14\n/T example.org");
  EXPECT_EQ(WriteRequest({Request::SetHome, {}}), "HSXSetHomeLoc\n");
  EXPECT_EQ(WriteRequest({Request::LogClosing, {}}), "HTLogIsClosing\n");
  EXPECT_EQ(ReadRequest("HSXDoNewTrace\nCommand Line=14\n/T example.org"),
            (Request{Request::NewTrace, "/T example.org"}));
  EXPECT_EQ(ReadRequest("HSXDoNewTrace\nCommand Line=0\n"), (Request{Request::NewTrace, ""}));
  EXPECT_EQ(ReadRequest("HTLogIsClosing\n"), (Request{Request::LogClosing, {}}));
  // A command line may hold line feeds: the length says where it ends.
  const Request odd{Request::NewTrace, "/T a\nb"};
  EXPECT_EQ(ReadRequest(WriteRequest(odd)), odd);
}

TEST(Requests, AnythingMalformedIsNoRequest) {
  for (std::string_view bad : {
           "", "HTLogIsClosing", "HTLogIsClosing\nmore", "htlogisclosing\n", "HSXSharedMemoryComplete\n",
           "HSXDoNewTrace\n", "HSXDoNewTrace\nCommand Line=15\n/T example.org",
           "HSXDoNewTrace\nCommand Line=13\n/T example.org", "HSXDoNewTrace\nCommand Line=014\n/T example.org",
           "HSXDoNewTrace\nCommand Line=+14\n/T example.org", "HSXDoNewTrace\nCommand Line=\n",
           "HSXDoNewTrace\nCommand Line 14\n/T example.org", "HSXDoNewTrace\nCommand Line=99999999999999999999\n",
           "HSXDoNewTrace\nCommand Line=4001\n"}) {
    EXPECT_FALSE(ReadRequest(bad)) << bad;
  }
  EXPECT_FALSE(ReadRequest(std::string("HSXDoNewTrace\nCommand Line=3\n/T\0", 32)));
  // Oversized: more than a packet may hold, even when well formed.
  const std::string line(kMaxCommandLine, 'x');
  EXPECT_TRUE(ReadRequest(WriteRequest({Request::NewTrace, line})));
  EXPECT_FALSE(ReadRequest(WriteRequest({Request::NewTrace, line}) + std::string(kMaxRequestSize, 'x')));
  // A longer command line is cut to what a request holds.
  EXPECT_EQ(ReadRequest(WriteRequest({Request::NewTrace, line + "yz"}))->commandLine, line);
}

TEST(Requests, NoticesByName) {
  EXPECT_EQ(RequestByName("HTLogIsClosing"), (Request{Request::LogClosing, {}}));
  EXPECT_EQ(RequestByName("HSXSetHomeLoc"), (Request{Request::SetHome, {}}));
  EXPECT_FALSE(RequestByName("HSXDoNewTrace"));
  EXPECT_FALSE(RequestByName("MSWHEEL_ROLLMSG"));
}

}  // namespace
}  // namespace hs::app
