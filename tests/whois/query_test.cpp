// QueryWhoIs against fake registries on loopback: each answer style, the
// follow-ups, the cache rules and the bounds of an exchange (stopping: lookups_test).
#include <gtest/gtest.h>

#include <chrono>

#include "tests/whois/registries.h"
#include "tests/whois/registry_texts.h"
#include "whois/answers.h"

namespace hs::whois {
namespace {

using test::FakeReply;
using namespace test::texts;
using Clock = std::chrono::steady_clock;

std::string Stored(const test::Registries& r, const std::string& key) {
  const auto value = r.cache.Find(key);
  if (!value) return "<absent>";
  return value->answer ? *value->answer : "<pending>";
}

std::string Text(const std::shared_ptr<const std::string>& answer) { return answer ? *answer : "<none>"; }

TEST(QueryWhoIsNetwork, StoresTheAnswerUnderTheNetworkNameAndSharesIt) {
  test::Registries r;
  auto& arin = r.At("whois.arin.net");
  arin.Answer("192.0.2.10", FakeReply::Of(std::string(kArinNetwork)));
  arin.Answer("192.0.2.11", FakeReply::Of(std::string(kArinNetwork) + "A later copy\n"));

  const auto first = r.querier.QueryWhoIs("192.0.2.10", r.Watch());
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, TidyAnswer(kArinNetwork).substr(0, TidyAnswer(kArinNetwork).size() - 1));  // last line feed gone
  EXPECT_EQ(Stored(r, "192.0.2.10"), "1:\nTEST-NET-1");
  EXPECT_EQ(Stored(r, "TEST-NET-1"), *first);

  // A second address of the network: its own entry, and the first answer.
  const auto second = r.querier.QueryWhoIs("192.0.2.11", r.Watch());
  EXPECT_EQ(Stored(r, "192.0.2.11"), "1:\nTEST-NET-1");
  EXPECT_EQ(Text(second), *first);
  EXPECT_EQ(r.cache.Size(), 3u);

  // Asked again: from the cache, the registry hears nothing more.
  EXPECT_EQ(Text(r.querier.QueryWhoIs("192.0.2.11", r.Watch())), *first);
  EXPECT_EQ(arin.Requests().size(), 2u);
}

TEST(QueryWhoIsNetwork, AsksEachRegistryByTheIndexAndTidiesItsAnswer) {
  test::Registries r;
  r.At("whois.ripe.net").Answer("198.51.100.77", FakeReply::Of(std::string(kRipeNetwork)));
  r.At("whois.apnic.net").Answer("203.0.113.5", FakeReply::Of(std::string(kApnicNetwork)));

  const auto ripe = r.querier.QueryWhoIs("198.51.100.77", r.Watch());
  ASSERT_TRUE(ripe);
  // The only server of its row: kept whole (no "domain:" line), the percent signs blanked.
  EXPECT_EQ(ripe->substr(0, 12), "  This is th");
  EXPECT_EQ(Stored(r, "198.51.100.77"), "1:\nEXAMPLE-DE-NET");

  const auto apnic = r.querier.QueryWhoIs("203.0.113.5", r.Watch());
  ASSERT_TRUE(apnic);
  EXPECT_NE(apnic->find("country: JP"), std::string::npos) << "the tab became a blank";
  EXPECT_EQ(Stored(r, "203.0.113.5"), "1:\nTEST-NET-3");
}

TEST(QueryWhoIsNetwork, KeepsAnswersWithoutANetworkNameUnderThePlainPrefix) {
  test::Registries r;
  auto& arin = r.At("whois.arin.net");
  arin.Answer("192.0.2.1", FakeReply::Of("OrgName: Example\nno name here\n\n\n"));
  arin.Answer("192.0.2.2", FakeReply::Of("No match for network \"192.0.2.2\".\n"));
  arin.Answer("192.0.2.3", FakeReply::Of(std::string(kNoEntries)));
  arin.Answer("192.0.2.4", FakeReply::Of("netname:\nOrgName: Nameless\n"));

  EXPECT_EQ(Text(r.querier.QueryWhoIs("192.0.2.1", r.Watch())), "OrgName: Example\nno name here");
  EXPECT_EQ(Stored(r, "192.0.2.1"), "0:\nOrgName: Example\nno name here");
  EXPECT_EQ(r.querier.QueryWhoIs("192.0.2.2", r.Watch()), nullptr);
  EXPECT_EQ(Stored(r, "192.0.2.2"), "<absent>");
  EXPECT_EQ(r.querier.QueryWhoIs("192.0.2.3", r.Watch()), nullptr);
  EXPECT_EQ(Stored(r, "192.0.2.3"), "<absent>");
  // An empty network name would let unrelated networks share one answer.
  EXPECT_EQ(Text(r.querier.QueryWhoIs("192.0.2.4", r.Watch())), "netname:\nOrgName: Nameless");
  EXPECT_EQ(Stored(r, ""), "<absent>");
  EXPECT_EQ(r.querier.QueryWhoIs("0.0.0.0", r.Watch()), nullptr);
}

TEST(QueryWhoIsNetwork, FollowsAManyMatchesListToTheSmallestNetwork) {
  test::Registries r;
  auto& arin = r.At("whois.arin.net");
  arin.Answer("198.51.7.7", FakeReply::Of(std::string(kArinManyMatches)));
  arin.Answer("NET-198-51-0-0-1", FakeReply::Of(std::string(kArinHandleRecord)));
  arin.Answer("192.0.2.99", FakeReply::Of(std::string(kArinManyMatches)));

  const auto answer = r.querier.QueryWhoIs("198.51.7.7", r.Watch());
  EXPECT_EQ(Text(answer).substr(0, 15), "Example Hosting");
  EXPECT_EQ(Stored(r, "198.51.7.7"), "1:\nEXAMPLE-HOSTING");
  // No listed network holds the address: no match, nothing stored.
  EXPECT_EQ(r.querier.QueryWhoIs("192.0.2.99", r.Watch()), nullptr);
  EXPECT_EQ(Stored(r, "192.0.2.99"), "<absent>");
  EXPECT_EQ(arin.Requests(), (std::vector<std::string>{"198.51.7.7", "NET-198-51-0-0-1", "192.0.2.99"}));
}

TEST(QueryWhoIsDomain, WalksTheChainPastNoEntriesWithTheSameRequest) {
  test::Registries r;
  r.At("whois.verisign-grs.com").Answer("DO example.com", FakeReply::Of(std::string(kNoEntries)));
  r.At("whois.internic.net").Answer("DO example.com", FakeReply::Of(std::string(kComDomain)));

  const auto answer = r.querier.QueryWhoIs("www.example.com", r.Watch());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->find("InterNIC"), std::string::npos);
  EXPECT_EQ(answer->back(), '<') << "cut before the notice, trailing line feeds removed";
  EXPECT_EQ(Stored(r, "example.com"), *answer);
  EXPECT_EQ(r.At("whois.internic.net").Requests(), std::vector<std::string>{"DO example.com"});
}

TEST(QueryWhoIsDomain, FollowsTheComRegistrysManyMatchesAnswerByHandle) {
  test::Registries r;
  auto& com = r.At("whois.verisign-grs.com");
  com.Answer("DO example.com", FakeReply::Of(std::string(kComManyMatches)));
  com.Answer("DO !EXAMPLE2-DOM", FakeReply::Of(std::string(kComHandleRecord)));

  const auto answer = r.querier.QueryWhoIs("example.com", r.Watch());
  EXPECT_EQ(Text(answer).substr(0, 11), "Registrant:");
  EXPECT_EQ(Stored(r, "example.com"), Text(answer));
  EXPECT_EQ(com.Requests(), (std::vector<std::string>{"DO example.com", "DO !EXAMPLE2-DOM"}));
}

TEST(QueryWhoIsDomain, KeepsARightsNoticeAnswerFromItsDomainLineOnOnlyFromTheLastServer) {
  test::Registries r;
  r.At("whois.nic.at").Answer("example.at", FakeReply::Of(std::string(kRightsNoticeDomain)));
  EXPECT_EQ(Text(r.querier.QueryWhoIs("www.example.at", r.Watch())).substr(0, 7), "domain:");

  // jp's first server is not the last: its answer is discarded and the next asked.
  r.At("whois.jprs.jp").Answer("example.jp /e", FakeReply::Of(std::string(kRightsNoticeDomain)));
  r.At("whois.iana.org").Answer("example.jp", FakeReply::Of("domain: JP\nwhois: whois.jprs.jp\n"));
  EXPECT_EQ(Text(r.querier.QueryWhoIs("example.jp", r.Watch())), "domain: JP\nwhois: whois.jprs.jp");
}

TEST(QueryWhoIsDomain, HandsOverABusyAnswerOfTheLastServerWithoutCachingIt) {
  test::Registries r;
  r.At("whois.jprs.jp").Answer("example.jp /e", FakeReply::Of(std::string(kBusy)));
  r.At("whois.iana.org").Answer("example.jp", FakeReply::Of(std::string(kBusy)));
  const auto answer = r.querier.QueryWhoIs("example.jp", r.Watch());
  EXPECT_EQ(Text(answer), kBusy) << "unchanged, untidied";
  EXPECT_EQ(Stored(r, "example.jp"), "<absent>");
  EXPECT_EQ(r.At("whois.jprs.jp").Requests().size(), 1u);

  // No match for a domain is not stored either.
  r.At("whois.nic.at").Answer("example.at", FakeReply::Of("No match for domain \"example.at\"\n"));
  EXPECT_EQ(r.querier.QueryWhoIs("example.at", r.Watch()), nullptr);
  EXPECT_EQ(Stored(r, "example.at"), "<absent>");
}

TEST(WhoIsExchange, EndsWithinItsBoundsWhateverTheServerDoes) {
  const WhoIsLimits limits = test::TestLimits();
  test::Registries r(limits);
  auto& arin = r.At("whois.arin.net");
  arin.Answer("192.0.2.1", {FakeReply::NeverAnswer, "", 0});
  arin.Answer("192.0.2.2", {FakeReply::Flood, "", 0});
  arin.Answer("192.0.2.3", {FakeReply::CloseAtOnce, "", 0});
  arin.Answer("192.0.2.4", FakeReply::Of("late\n", 10 * limits.exchangeMs));
  const WhoIsServer server{"whois.arin.net", "%s"};
  for (const char* query : {"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4"}) {
    const auto start = Clock::now();
    EXPECT_EQ(r.querier.WhoIsExchange(server, query, r.Watch()), std::nullopt) << query;
    // Generous: only a missing bound would take longer.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(limits.exchangeMs + 5000)) << query;
  }
  EXPECT_EQ(r.querier.WhoIsExchange({"unknown.example", "%s"}, "x", r.Watch()), std::nullopt);
  EXPECT_EQ(r.cache.Size(), 0u);
  // Every stalled connection was given up by the client.
  EXPECT_EQ(arin.Connections(), 4);
}

TEST(WhoIsExchange, ReturnsWhatCameBeforeAServerFellSilent) {
  test::Registries r;
  FakeReply stall = FakeReply::Of("partial answer\n");
  stall.holdOpen = true;
  r.At("whois.arin.net").Answer("192.0.2.5", stall);
  EXPECT_EQ(r.querier.WhoIsExchange({"whois.arin.net", "%s"}, "192.0.2.5", r.Watch()), "partial answer\n");
}

TEST(QueryWhoIsChain, MovesOnFromADeadOrSilentServer) {
  test::Registries r;
  r.At("whois.verisign-grs.com").Answer("DO example.com", {FakeReply::NeverAnswer, "", 0});
  // whois.internic.net is not resolvable.
  r.At("whois.iana.org").Answer("example.com", FakeReply::Of("domain: COM\n"));
  EXPECT_EQ(Text(r.querier.QueryWhoIs("example.com", r.Watch())), "domain: COM");
}

}  // namespace
}  // namespace hs::whois
