// hopsight-trace --csv, and the fields that the CSV and the JSON report
// share: the AS of each row and whether its position is plausible.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "asn/as_table.h"
#include "asn/csv.h"
#include "cli/csv_report.h"
#include "cli/json_report.h"
#include "app/program.h"

namespace hs::cli {
namespace {

asn::AsTable Table() {
  return *asn::AsTable::FromBytes(asn::WriteAsTable({{0x08080800, 0x080808FF, 15169, "Google LLC"},
                                                     {0x01010100, 0x010101FF, 13335, "Cloudflare, Inc."}}));
}

HopRef Row(int n, const char* address, uint32_t rtt, int status, GeoLocation where = {}) {
  HopRef r = HopRef::Create();
  r->hopNumber = n;
  r->address = inet_addr(address);
  r->lastRtt = rtt;
  r->sentCount = 1;
  r->droppedCount = rtt == kNoTime ? 1 : 0;
  r->status = status;
  r->SetLocation(where);
  return r;
}

// A home in Berlin, a hop in Sydney 2 ms away (implausible) with a name
// holding a comma and quotes, a silent hop, one 400 ms away (plausible).
std::vector<HopRef> Route() {
  constexpr GeoLocation kSydney{LocationSource::Server, -33.8688, 151.2093, 160};
  std::vector<HopRef> rows{Row(0, "192.168.1.10", 0, IP_TTL_EXPIRED_TRANSIT, {LocationSource::Home, 52.52, 13.405, 240}),
                           Row(1, "1.1.1.1", 2, IP_TTL_EXPIRED_TRANSIT, kSydney),
                           Row(2, "0.0.0.0", kNoTime, IP_REQ_TIMED_OUT), Row(3, "8.8.8.8", 400, IP_SUCCESS, kSydney)};
  rows[0]->SetName("desk");
  rows[1]->SetName("edge, \"one\".example");
  rows[2]->SetName("No Response");
  return rows;
}

TEST(CsvReport, TheColumnsAreTheJsonKeysWithTheSameValuesAndNamesAreQuoted) {
  const asn::AsLookup as(Table());
  const std::vector<HopRef> rows = Route();
  const std::string text = TraceToCsv(rows, nullptr, &as);
  EXPECT_NE(text.find(",\"edge, \"\"one\"\".example\","), std::string::npos) << text;
  EXPECT_NE(text.find(",13335,\"Cloudflare, Inc.\",false\r\n"), std::string::npos) << text;
  csv::Reader reader(text);
  std::vector<std::vector<std::string>> records;
  for (std::vector<std::string> fields; reader.Next(fields);) records.push_back(fields);
  EXPECT_FALSE(reader.Failed());
  ASSERT_EQ(records.size(), 5u);  // the header and four rows
  const std::vector<std::string> header{"index", "address", "name", "rtt", "status", "sent", "dropped", "network",
                                        "source", "latitude", "longitude", "precision", "asn", "asName",
                                        "plausible"};
  EXPECT_EQ(records[0], header);
  const std::string json = TraceToJson(TraceContext{}, rows, true, nullptr, &as);
  for (const std::string& key : header) EXPECT_NE(json.find("\"" + key + "\":"), std::string::npos) << key;
  // Row by row: nulls are empty, the AS and the verdict as in the JSON.
  EXPECT_EQ(records[1][14], "");  // the home is not judged
  EXPECT_EQ(records[2][2], "edge, \"one\".example");
  EXPECT_EQ(records[3][1], "");
  EXPECT_EQ(records[3][3], "");  // no time
  EXPECT_EQ(records[4][9], "-33.868800");
  EXPECT_EQ(records[4][14], "true");
  EXPECT_NE(json.find("\"asn\":13335,\"asName\":\"Cloudflare, Inc.\",\"plausible\":false}"), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"asn\":null,\"asName\":null,\"plausible\":null}"), std::string::npos);
}

class CountingResolver final : public platform::Resolver {
 public:
  std::optional<uint32_t> FirstAddress(const std::string&) override { return inet_addr("198.18.0.1"); }
  std::optional<std::string> ReverseName(uint32_t) override {
    ++reverse;
    return "r1.lab.test";
  }
  std::string LocalHostName() override { return "here"; }
  int reverse = 0;
};

TEST(ProgramLookupsTest, WithoutReverseNamesNoNameIsLookedUpOrTakenFromTheCache) {
  config::Caches caches;
  CountingResolver resolver;
  app::ProgramLookups lookups(caches, resolver, {}, nullptr, nullptr);
  TraceState state;
  state.traceRunning = 1;
  HopRef row = HopRef::Create();
  row->address = inet_addr("198.18.1.2");
  row->status = IP_TTL_EXPIRED_TRANSIT;
  ASSERT_TRUE(lookups.LookupHopName(*row, true, state.Watch()));  // asks, and caches the answer
  EXPECT_EQ(resolver.reverse, 1);
  lookups.SetReverseNames(false);
  HopRef again = HopRef::Create();
  again->address = inet_addr("198.18.1.2");
  again->status = IP_TTL_EXPIRED_TRANSIT;
  EXPECT_FALSE(lookups.LookupHopName(*again, true, state.Watch()));
  EXPECT_EQ(again->Name(), "");
  EXPECT_EQ(resolver.reverse, 1);
  HopRef silent = HopRef::Create();
  silent->status = IP_REQ_TIMED_OUT;
  lookups.LookupHopName(*silent, true, state.Watch());
  EXPECT_EQ(silent->Name(), "No Response");
  // The start sequence's resolver gives addresses but no names.
  app::NoReverseNames numeric(resolver);
  EXPECT_EQ(numeric.FirstAddress("x"), inet_addr("198.18.0.1"));
  EXPECT_FALSE(numeric.ReverseName(inet_addr("198.18.1.2")));
  EXPECT_EQ(resolver.reverse, 1);
}

}  // namespace
}  // namespace hs::cli
