#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "names/hop_names.h"
#include "platform/resolver.h"

namespace hs::names {
namespace {

using platform::DottedToAddress;

// Answers reverse lookups from a table and counts the calls; `during` runs
// while a call is "blocked", to stop or replace the trace at that moment.
class ScriptedResolver : public platform::Resolver {
 public:
  std::optional<uint32_t> FirstAddress(const std::string&) override { return std::nullopt; }
  std::string LocalHostName() override { return "local"; }
  std::optional<std::string> ReverseName(uint32_t address) override {
    ++calls;
    if (during) during();
    if (auto it = names.find(address); it != names.end()) return it->second;
    return std::nullopt;
  }
  std::map<uint32_t, std::string> names;
  std::function<void()> during;
  int calls = 0;
};

class HopNames : public ::testing::Test {
 protected:
  HopRef Row(const char* dotted, uint32_t status = IP_TTL_EXPIRED_TRANSIT) {
    HopRef row = HopRef::Create();
    row->address.store(dotted ? DottedToAddress(dotted) : 0);
    row->status.store(status);
    row->SetStage(HopStage::Probed);
    return row;
  }
  bool Lookup(HopRecord& row, bool network) {
    return lookup.LookupHopName(row, network, state.WatchOf(state.traceSerial.load()));
  }
  void SetUp() override { state.traceRunning.store(1); }

  TraceState state;
  config::NameCache cache;
  ScriptedResolver resolver;
  HopNameLookup lookup{cache, resolver, [] { return int64_t{1'700'000'000}; }};
};

TEST_F(HopNames, ASilentHopShowsNoResponseAndAHopWithoutAddressNoNameNeitherAsked) {
  resolver.names[DottedToAddress("10.0.0.1")] = "r1.example";
  HopRef row = Row("10.0.0.1", IP_REQ_TIMED_OUT);
  EXPECT_FALSE(Lookup(*row, true));
  EXPECT_EQ(row->Name(), "No Response");
  EXPECT_EQ(row->Stage(), HopStage::Settled);
  HopRef none = Row(nullptr);
  none->SetName("old");
  EXPECT_FALSE(Lookup(*none, true));
  EXPECT_EQ(none->Name(), "");
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_EQ(resolver.calls, 0);
}

TEST_F(HopNames, ResolvedNamesAreLowerCaseWithoutOneTrailingDotCutTo255AndCached) {
  resolver.names[DottedToAddress("10.0.0.1")] = "Router.Example.NET.";
  HopRef row = Row("10.0.0.1");
  EXPECT_TRUE(Lookup(*row, true));
  EXPECT_EQ(row->Name(), "router.example.net");
  EXPECT_EQ(row->Stage(), HopStage::Settled);
  EXPECT_EQ(cache.Find(DottedToAddress("10.0.0.1")), "router.example.net");
  cache.ForEach([](const config::NameCache::Entry& e) { EXPECT_EQ(e.time, 1'700'000'000); });
  EXPECT_EQ(NormalizeHostName("a.."), "a.");
  resolver.names[DottedToAddress("10.0.0.6")] = std::string(300, 'A');
  HopRef longName = Row("10.0.0.6");
  EXPECT_TRUE(Lookup(*longName, true));
  EXPECT_EQ(cache.Find(DottedToAddress("10.0.0.6")), std::string(255, 'a'));
}

TEST_F(HopNames, AFailedLookupIsCachedAndNotAskedAgain) {
  HopRef first = Row("10.0.0.2");
  EXPECT_FALSE(Lookup(*first, true));
  EXPECT_EQ(cache.Find(DottedToAddress("10.0.0.2")), "");
  HopRef second = Row("10.0.0.2");
  EXPECT_FALSE(Lookup(*second, true));
  EXPECT_EQ(second->Name(), "");
  EXPECT_EQ(second->Stage(), HopStage::Probed);
  EXPECT_EQ(resolver.calls, 1);
}

TEST_F(HopNames, WithoutNetworkOnlyTheCacheAnswers) {
  cache.Insert(DottedToAddress("10.0.0.3"), "cached.example", 5);
  HopRef row = Row("10.0.0.3");
  EXPECT_TRUE(Lookup(*row, false));
  EXPECT_EQ(row->Name(), "cached.example");
  EXPECT_EQ(row->Stage(), HopStage::Settled);
  resolver.names[DottedToAddress("10.0.0.4")] = "r4.example";
  HopRef uncached = Row("10.0.0.4");
  uncached->SetName("stale");
  EXPECT_FALSE(Lookup(*uncached, false));
  EXPECT_EQ(uncached->Name(), "");
  EXPECT_EQ(resolver.calls, 0);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST_F(HopNames, ALateAnswerTouchesNeitherRowNorCache) {
  resolver.names[DottedToAddress("10.0.0.5")] = "r5.example";
  for (auto cancel : {std::function<void()>([this] { state.traceRunning.store(0); }),
                      std::function<void()>([this] { state.traceSerial.fetch_add(1); })}) {
    state.traceRunning.store(1);
    resolver.during = cancel;
    HopRef row = Row("10.0.0.5");
    EXPECT_FALSE(Lookup(*row, true));
    EXPECT_EQ(row->Name(), "");
    EXPECT_EQ(row->Stage(), HopStage::Probed);
    EXPECT_EQ(cache.Size(), 0u);
  }
}

}  // namespace
}  // namespace hs::names
