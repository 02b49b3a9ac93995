#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "config/caches.h"
#include "config/settings.h"
#include "config/timed_table.h"

namespace hs::config {
namespace {

using NameTable = TimedTable<uint32_t, std::string, AddressKeyTraits>;
using TextTable = TimedTable<std::string, int, TextKeyTraits>;

std::vector<std::string> Keys(const TextTable& t) {
  std::vector<std::string> keys;
  for (const auto& e : t.Entries()) keys.push_back(e.key);
  return keys;
}

TEST(TimedTableInsert, ReplaceKeepsTheSlotAndRestampsTheEntry) {
  TextTable t;
  t.InsertReplace("alpha", 1, 100);
  t.InsertReplace("beta", 2, 100);
  t.InsertReplace("ALPHA", 3, 200);  // text keys ignore case
  ASSERT_EQ(t.Size(), 2u);
  EXPECT_EQ(Keys(t), (std::vector<std::string>{"ALPHA", "beta"}));
  EXPECT_EQ(t.Entries()[0].value, 3);
  EXPECT_EQ(t.Entries()[0].time, 200);
}

TEST(TimedTableInsert, IfNewerKeepsTheLaterStampWhicheverComesFirst) {
  TextTable t;
  EXPECT_TRUE(t.InsertIfNewer("k", 1, 50));
  EXPECT_FALSE(t.InsertIfNewer("k", 2, 40));
  EXPECT_FALSE(t.InsertIfNewer("K", 3, 50));  // equal stamp: the first stays
  EXPECT_TRUE(t.InsertIfNewer("K", 4, 60));
  ASSERT_EQ(t.Size(), 1u);
  EXPECT_EQ(t.Entries()[0].value, 4);
  EXPECT_EQ(t.Entries()[0].time, 60);
}

TEST(TimedTablePurge, DropsEntriesAtTheCutoffAndKeepsOneSecondLaterInOrder) {
  TextTable t;
  t.InsertIfNewer("a", 0, 1001);
  t.InsertIfNewer("b", 0, 1000);
  t.InsertIfNewer("c", 0, 999);
  t.InsertIfNewer("d", 0, 5000);
  t.PurgeOlderThan(1000);
  EXPECT_EQ(Keys(t), (std::vector<std::string>{"a", "d"}));
}

TEST(TimedTableTrim, CutsTheLowestTextKeyWhateverItsAgeIgnoringCase) {
  TextTable t;
  for (int i = 0; i < 999; ++i) t.InsertIfNewer("Host" + std::to_string(1000 + i), i, 10);
  t.InsertIfNewer("aaa", 0, 999999);  // newest, but lowest by key
  t.InsertIfNewer("HOSTZ", 0, 1);     // oldest, but highest by key
  ASSERT_EQ(t.Size(), 1001u);
  t.TrimTo(1000);
  ASSERT_EQ(t.Size(), 1000u);
  EXPECT_EQ(t.Find("aaa"), nullptr);
  EXPECT_NE(t.Find("hostz"), nullptr);
  EXPECT_EQ(t.Entries().front().key, "HOSTZ");  // largest first
  EXPECT_EQ(t.Entries().back().key, "Host1000");
}

TEST(TimedTableTrim, OrdersAddressesBySignedDifference) {
  NameTable t;
  // As numbers: 1, 2, 3; the trim keeps the two largest.
  for (uint32_t a : {2u, 1u, 3u}) t.InsertIfNewer(a, "", 1);
  t.TrimTo(2);
  ASSERT_EQ(t.Size(), 2u);
  EXPECT_EQ(t.Entries()[0].key, 3u);
  EXPECT_EQ(t.Entries()[1].key, 2u);
}

TEST(TimedTableTrim, SurvivesTheWrappingAddressOrder) {
  // Addresses spread over the whole 32-bit range make the signed difference
  // intransitive; the trim must still keep exactly N distinct entries.
  NameTable t;
  uint32_t a = 12345;
  for (int i = 0; i < 3000; ++i) {
    a = a * 1664525u + 1013904223u;
    t.InsertIfNewer(a, std::to_string(i), 1);
  }
  const size_t before = t.Size();
  t.TrimTo(1000);
  ASSERT_EQ(t.Size(), 1000u);
  ASSERT_GT(before, 1000u);
  std::vector<uint32_t> keys;
  for (const auto& e : t.Entries()) keys.push_back(e.key);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
}

TEST(TextKeys, CompareIgnoresCaseAcrossLongSharedPrefixes) {
  EXPECT_EQ(CompareNoCase("router-1.core.EXAMPLE.net", "ROUTER-1.core.example.NET"), 0);
  EXPECT_LT(CompareNoCase("router-1.core.example.net", "router-1.core.example.NEZ"), 0);
  EXPECT_GT(CompareNoCase("NET-EXAMPLE-10", "net-example-1"), 0);  // longer after an equal prefix
  EXPECT_GT(CompareNoCase("aaaaaaaa\xe9", "AAAAAAAAz"), 0);        // bytes compare unsigned
  EXPECT_LT(CompareNoCase("abcdefgh_", "ABCDEFGHa"), 0);            // '_' < 'a', though 'A' < '_'
}

// Every key hashes alike: finds must still tell the keys apart.
struct CollidingKeyTraits {
  static int Compare(const std::string& a, const std::string& b) { return a.compare(b); }
  static bool Equal(const std::string& a, const std::string& b) { return a == b; }
  static uint32_t Hash(const std::string&) { return 7; }
};

TEST(TimedTableFind, FindsEveryKeyThroughGrowthPurgeAndTrim) {
  TextTable t;
  for (int i = 0; i < 5000; ++i) t.InsertIfNewer("Host" + std::to_string(i), i, i % 2 ? 10 : 20);
  t.PurgeOlderThan(10);  // the odd ones go
  ASSERT_EQ(t.Size(), 2500u);
  EXPECT_EQ(t.Find("host1"), nullptr);
  EXPECT_EQ(t.Find("HOST4998")->value, 4998);
  t.InsertReplace("host4998", -1, 30);  // replaced in place, not added
  EXPECT_EQ(t.Size(), 2500u);
  EXPECT_EQ(t.TrimTo(100), 2400u);
  for (const auto& e : t.Entries()) EXPECT_EQ(t.Find(e.key), &e);
  EXPECT_EQ(t.Find("host1000"), nullptr);

  TimedTable<std::string, int, CollidingKeyTraits> same;
  for (int i = 0; i < 50; ++i) same.InsertIfNewer("k" + std::to_string(i), i, 1 + i % 2);
  EXPECT_FALSE(same.InsertIfNewer("k17", 0, 1));
  same.PurgeOlderThan(1);
  ASSERT_EQ(same.Size(), 25u);
  EXPECT_EQ(same.Find("k17")->value, 17);
  EXPECT_EQ(same.Find("k16"), nullptr);
}

TEST(TimedTableTrim, ToZeroEmptiesAndBelowTheLimitChangesNothing) {
  TextTable t;
  t.InsertIfNewer("b", 0, 1);
  t.InsertIfNewer("a", 0, 1);
  t.InsertIfNewer("c", 0, 1);
  t.TrimTo(3);
  EXPECT_EQ(Keys(t), (std::vector<std::string>{"b", "a", "c"}));  // unsorted: nothing cut
  t.TrimTo(0);
  EXPECT_EQ(t.Size(), 0u);
}

TEST(WhoIsCache, RegisterRequestCountsAskersAndAStoreResetsTheCount) {
  WhoIsCache cache;
  EXPECT_EQ(cache.RegisterRequest("example.net", 100), 0);
  EXPECT_EQ(cache.RegisterRequest("EXAMPLE.NET", 100), 1);
  auto pending = cache.Find("example.net");
  ASSERT_TRUE(pending);
  EXPECT_EQ(pending->answer, nullptr);
  EXPECT_EQ(pending->requestCount, 2);
  cache.Store("example.net", "Registrant: Example", 200);
  auto answered = cache.Find("Example.Net");
  ASSERT_TRUE(answered && answered->answer);
  EXPECT_EQ(*answered->answer, "Registrant: Example");
  EXPECT_EQ(answered->requestCount, 0);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST(PurgeCaches, UsesEachCachesDayLimit) {
  Caches caches;
  Settings settings;
  settings.dnsTime = 1;
  settings.whoTime = 2;
  settings.locTime = 0;
  const int64_t now = 1'700'000'000;
  caches.names.InsertIfNewer(1, "old", static_cast<int32_t>(now - 86400));
  caches.names.InsertIfNewer(2, "young", static_cast<int32_t>(now - 86399));
  caches.whois.InsertIfNewer("a", {}, static_cast<int32_t>(now - 2 * 86400));
  caches.whois.InsertIfNewer("b", {}, static_cast<int32_t>(now - 2 * 86400 + 1));
  caches.locations.InsertIfNewer("now", {}, static_cast<int32_t>(now));  // loctime 0: gone
  caches.locations.InsertIfNewer("future", {}, static_cast<int32_t>(now + 1));
  PurgeCaches(caches, settings, now);
  EXPECT_FALSE(caches.names.Find(1));
  EXPECT_EQ(caches.names.Find(2), "young");
  EXPECT_FALSE(caches.whois.Find("a"));
  EXPECT_TRUE(caches.whois.Find("b"));
  EXPECT_FALSE(caches.locations.Find("now"));
  EXPECT_TRUE(caches.locations.Find("future"));
}

TEST(PurgeCaches, TrimsEveryCacheToAThousand) {
  Caches caches;
  Settings settings;
  const int64_t now = 1'700'000'000;
  for (uint32_t i = 0; i < 1001; ++i) {
    caches.names.Insert(i + 1, "n", now);
    caches.whois.Store("k" + std::to_string(1000 + i), "a", now);
    caches.locations.Insert("l" + std::to_string(1000 + i), {}, now);
  }
  caches.names.Insert(5000, "n", now);
  const CacheTrim trim = PurgeCaches(caches, settings, now);
  EXPECT_EQ(trim.names, 2u);
  EXPECT_EQ(trim.whois, 1u);
  EXPECT_EQ(trim.locations, 1u);
  EXPECT_FALSE(caches.names.Find(1));
  EXPECT_FALSE(caches.whois.Find("k1000"));
  EXPECT_FALSE(caches.locations.Find("l1000"));
}

TEST(CacheConcurrency, TwoTraceThreadsFindAndInsertTogether) {
  // The controller and the destination probe use the name and location
  // caches at the same time; ThreadSanitizer checks this in its build.
  Caches caches;
  auto work = [&caches](uint32_t base) {
    for (uint32_t i = 0; i < 300; ++i) {
      uint32_t address = (i % 50) + base;
      if (!caches.names.Find(address)) caches.names.Insert(address, "h" + std::to_string(address), 5);
      std::string key = "h" + std::to_string(address);
      if (!caches.locations.Find(key)) caches.locations.Insert(key, GeoLocation{}, 5);
      caches.whois.RegisterRequest(key, 5);
    }
  };
  std::thread a(work, 1), b(work, 26);
  a.join();
  b.join();
  EXPECT_EQ(caches.names.Size(), 75u);
  EXPECT_EQ(caches.locations.Size(), 75u);
  // No registration is lost.
  int32_t total = 0;
  caches.whois.ForEach([&](const WhoIsCache::Entry& e) { total += e.value.requestCount; });
  EXPECT_EQ(total, 600);
}

}  // namespace
}  // namespace hs::config
