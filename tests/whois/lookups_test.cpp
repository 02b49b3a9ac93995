// The lookup workers: one worker per key, answers into the hop that asked
// first, the outstanding-query count, the lookup-complete notice, stopping,
// and placing a hop by its network's postal address.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <thread>

#include "tests/whois/registries.h"
#include "tests/whois/registry_texts.h"
#include "whois/domain_record.h"
#include "whois/lookups.h"

namespace hs::whois {
namespace {

using test::FakeReply;
using namespace test::texts;

class CountingViews final : public TraceViews {
 public:
  void LookupComplete() override { ++notices; }
  std::atomic<int> notices{0};
};

HopRef Hop(const char* address, const char* name = "") {
  HopRef row = HopRef::Create();
  row->address = inet_addr(address);
  row->SetName(name);
  row->SetStage(HopStage::Probed);
  return row;
}

struct Workers : test::Registries {
  config::LocationCache locations;
  CountingViews views;
  WhoIsLookups lookups{querier, locations};
  const PendingQueries pending;
  const CancellationWatch watch = Watch();
  explicit Workers(WhoIsLimits limits = test::TestLimits()) : Registries(limits) { lookups.SetViews(&views); }
};

TEST(WhoIsWorkers, OneWorkerPerKeyAndTheFirstHopGetsTheAnswer) {
  Workers w(test::StopLimits());
  w.At("whois.arin.net").Answer("192.0.2.10", FakeReply::Of(std::string(kArinNetwork)));
  HopRef hop = Hop("192.0.2.10"), again = Hop("192.0.2.10");

  w.At("whois.arin.net").Hold();
  EXPECT_FALSE(w.lookups.StartNetworkLookup(hop, w.watch, w.pending));
  EXPECT_FALSE(w.lookups.StartNetworkLookup(again, w.watch, w.pending)) << "registered, so nothing starts";
  w.At("whois.arin.net").Release();
  w.lookups.WaitForWorkers();
  EXPECT_EQ(w.lookups.WorkersStarted(), 1);
  EXPECT_EQ(w.At("whois.arin.net").Requests().size(), 1u);
  EXPECT_EQ(hop->NetName(), "TEST-NET-1");
  EXPECT_FALSE(again->WhoisText());
  EXPECT_EQ(w.pending.Count(), 0);
  EXPECT_EQ(w.views.notices, 1);

  // The next start call of the second hop finds the answer in the cache.
  EXPECT_TRUE(w.lookups.StartNetworkLookup(again, w.watch, w.pending));
  EXPECT_EQ(again->NetName(), "TEST-NET-1");
  EXPECT_EQ(again->WhoisText(), hop->WhoisText()) << "one stored answer, shared";
}

TEST(WhoIsWorkers, ManyStartsFromTwoThreadsStartOneWorker) {
  Workers w(test::StopLimits());
  w.At("whois.arin.net").Answer("192.0.2.20", FakeReply::Of(std::string(kArinNetwork)));
  w.At("whois.arin.net").Hold();
  auto start = [&] {
    for (int i = 0; i < 20; ++i) w.lookups.StartNetworkLookup(Hop("192.0.2.20"), w.watch, w.pending);
  };
  std::thread a(start), b(start);
  a.join();
  b.join();
  w.At("whois.arin.net").Release();
  w.lookups.WaitForWorkers();
  EXPECT_EQ(w.lookups.WorkersStarted(), 1);
  EXPECT_EQ(w.pending.Count(), 0);
}

// A lookup that ends without an answer is announced; one whose trace stops
// mid-exchange changes nothing but its registration.
TEST(WhoIsWorkers, AStaleLookupLeavesRowCacheAndViewsUntouched) {
  Workers w(test::StopLimits());
  auto& arin = w.At("whois.arin.net");
  arin.Answer("192.0.2.31", {FakeReply::CloseAtOnce, "", 0});
  arin.Answer("192.0.2.40", {FakeReply::NeverAnswer, "", 0});

  HopRef failed = Hop("192.0.2.31");
  EXPECT_FALSE(w.lookups.StartNetworkLookup(failed, w.watch, w.pending));
  w.lookups.WaitForWorkers();
  EXPECT_FALSE(failed->WhoisText());
  EXPECT_EQ(w.views.notices, 1);

  HopRef hop = Hop("192.0.2.40");
  const int64_t liveBefore = HopRecord::LiveRows();
  w.lookups.StartNetworkLookup(hop, w.watch, w.pending);
  EXPECT_EQ(hop->RefCountForTest(), 2) << "the job holds the row";
  ASSERT_TRUE(arin.WaitForRequests(2, std::chrono::seconds(10)));
  EXPECT_EQ(w.pending.Count(), 1) << "still waiting for the registry";
  // The trace lets go of the row and stops: the worker frees the row when it ends.
  hop = HopRef();
  w.state.traceRunning = 0;
  w.lookups.WaitForWorkers();
  EXPECT_EQ(HopRecord::LiveRows(), liveBefore - 1);
  EXPECT_EQ(w.pending.Count(), 0);
  EXPECT_EQ(w.views.notices, 1);
  const auto entry = w.cache.Find("192.0.2.40");
  ASSERT_TRUE(entry);
  EXPECT_FALSE(entry->answer) << "only the registration, which is never saved";
}

TEST(WhoIsWorkers, NetworkLookupsThatCannotBeMadeAreSettledAtOnce) {
  Workers w;
  EXPECT_TRUE(w.lookups.StartNetworkLookup(Hop("0.0.0.0"), w.watch, w.pending));
  EXPECT_TRUE(w.lookups.StartNetworkLookup(Hop("127.0.0.1"), w.watch, w.pending));
  EXPECT_EQ(w.lookups.WorkersStarted(), 0);
  EXPECT_EQ(w.cache.Size(), 0u);
}

TEST(WhoIsWorkers, DomainLookupsByTheHopsName) {
  Workers w;
  w.At("whois.verisign-grs.com").Answer("DO example.com", FakeReply::Of(std::string(kComDomain)));

  HopRef nameless = Hop("192.0.2.1");
  EXPECT_FALSE(w.lookups.StartDomainLookup(nameless, w.watch, w.pending));
  EXPECT_EQ(nameless->Stage(), HopStage::Probed);
  HopRef single = Hop("192.0.2.1", "workstation");
  EXPECT_TRUE(w.lookups.StartDomainLookup(single, w.watch, w.pending));
  EXPECT_EQ(single->Stage(), HopStage::NoDomain);

  HopRef web = Hop("192.0.2.80", "www.example.com");
  EXPECT_FALSE(w.lookups.StartDomainLookup(web, w.watch, w.pending));
  w.lookups.WaitForWorkers();
  EXPECT_EQ(web->Stage(), HopStage::OwnerFound);
  ASSERT_TRUE(web->DomainRecordOf());
  EXPECT_EQ(w.views.notices, 1);

  // Cached now: settled at once, announced, and the servers are not asked again.
  HopRef mail = Hop("192.0.2.25", "mail.example.com");
  EXPECT_TRUE(w.lookups.StartDomainLookup(mail, w.watch, w.pending));
  EXPECT_EQ(mail->Stage(), HopStage::OwnerFound);
  EXPECT_EQ(mail->DomainRecordOf()->answer, web->DomainRecordOf()->answer);
  EXPECT_EQ(w.views.notices, 2);
  EXPECT_EQ(w.At("whois.verisign-grs.com").Requests().size(), 1u);
}

TEST(LocateByWhoIs, AsksForThePlaceOfTheNetworksPostalAddress) {
  Workers w;
  std::vector<PlaceQuery> asked;
  w.lookups.SetPlaceLookup([&](const PlaceQuery& q) -> std::optional<PlacePosition> {
    asked.push_back(q);
    if (q.zip == "45402") return PlacePosition{39.7589, -84.1916};
    return std::nullopt;
  });
  HopRef hop = Hop("198.51.100.9", "gw.example.net");
  hop->SetWhoisText(std::make_shared<const std::string>(kArinClassic));
  ASSERT_TRUE(w.lookups.LocateByWhoIs(*hop));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].domain, "example.net");
  EXPECT_EQ(asked[0].ip, "198.51.100.9");
  EXPECT_EQ(asked[0].country, "US");
  EXPECT_EQ(asked[0].url, "gw.example.net");
  EXPECT_TRUE(asked[0].city.empty() && asked[0].state.empty());
  EXPECT_EQ(hop->Location(), (GeoLocation{LocationSource::WhoIsAddress, 39.7589, -84.1916, 8}));
  const auto cached = w.locations.Find("gw.example.net");
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->latitude, 39.7589);

  // A RIPE answer gives a country and no postal code; the place is not found.
  HopRef ripe = Hop("198.51.100.77");
  ripe->SetWhoisText(std::make_shared<const std::string>(kRipeNetwork));
  EXPECT_FALSE(w.lookups.LocateByWhoIs(*ripe));
  EXPECT_EQ(asked.back().country, "DE");
  EXPECT_EQ(asked.back().domain, "") << "a hop without a name has no domain key";
  EXPECT_FALSE(ripe->Location().HasSource());

  // No answer, or an unknown layout: nobody is asked.
  EXPECT_FALSE(w.lookups.LocateByWhoIs(*Hop("192.0.2.1")));
  HopRef modern = Hop("192.0.2.10");
  modern->SetWhoisText(std::make_shared<const std::string>(kArinNetwork));
  EXPECT_FALSE(w.lookups.LocateByWhoIs(*modern));
  EXPECT_EQ(asked.size(), 2u);
}

}  // namespace
}  // namespace hs::whois
