// The viewer's trace reader against the program's own JSON writer, and against
// text written by hand.
#include <gtest/gtest.h>

#include "cli/json_report.h"
#include "map/trace_json.h"
#include "platform/resolver.h"

namespace hs::map {
namespace {

HopRef Row(int number, const char* address, const std::string& name, uint32_t rtt, int sent, int dropped,
           const std::string& network, GeoLocation where) {
  HopRef r = HopRef::Create();
  r->hopNumber = number;
  r->address = *address ? platform::DottedToAddress(address) : 0;
  r->SetName(name);
  r->lastRtt = rtt;
  r->status = dropped == sent ? 11010u : 0u;
  r->sentCount = sent;
  r->droppedCount = dropped;
  r->SetNetName(network);
  r->SetLocation(where);
  return r;
}

TEST(TraceJson, ReaderGetsBackEveryFieldTheWriterWrites) {
  TraceContext context;
  context.targetText = "www.m\xe4rchen.test";  // 8-bit text survives the \u escape
  context.targetAddress = platform::DottedToAddress("198.18.0.9");
  std::vector<HopRef> rows{
      Row(0, "198.18.0.1", "gw.local", 2, 3, 0, "LAN", {LocationSource::Home, 37.774929, -122.419416, 25}),
      Row(1, "", "", kNoTime, 3, 3, "", {}),  // silent hop: no address, no time, no place
      Row(2, "198.18.0.9", "caf\xe9.example \"x\"", 187, 4, 1, "NET-\xc9TOILE\\1",
          {LocationSource::Server, -33.868820, 151.209296, 120}),
  };
  TraceJson back;
  ASSERT_TRUE(ReadTraceJson(QByteArray::fromStdString(cli::TraceToJson(context, rows, false)), back));
  EXPECT_EQ(back.target, context.targetText);
  EXPECT_EQ(back.targetAddress, context.targetAddress);
  EXPECT_FALSE(back.completed);
  ASSERT_EQ(back.rows.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const HopRecord& w = *rows[i];
    const HopRecord& r = *back.rows[i];
    EXPECT_EQ(r.hopNumber.load(), w.hopNumber.load());
    EXPECT_EQ(r.address.load(), w.address.load());
    EXPECT_EQ(r.Name(), w.Name());
    EXPECT_EQ(r.lastRtt.load(), w.lastRtt.load());
    EXPECT_EQ(r.status.load(), w.status.load());
    EXPECT_EQ(r.sentCount.load(), w.sentCount.load());
    EXPECT_EQ(r.droppedCount.load(), w.droppedCount.load());
    EXPECT_EQ(r.NetName(), w.NetName());
    EXPECT_EQ(r.Location(), w.Location());  // six decimals, as written
  }
}

TEST(TraceJson, HandWrittenTraceWithNamedSourcesAndMissingFields) {
  const QByteArray text = R"({"target": "Z\u00fcrich.test", "rows": [
      {"latitude": 47.37, "longitude": 8.54, "source": "server", "rtt": 12.9},
      {"index": 7, "name": "Zürich-gw", "rtt": null, "latitude": 40.5, "longitude": -3.7, "source": "Cache"},
      {"name": "ruta-\u4e00", "latitude": 1, "longitude": 2},
      {"sent": 2, "dropped": 2, "latitude": null}
  ]})";
  TraceJson t;
  ASSERT_TRUE(ReadTraceJson(text, t));
  EXPECT_EQ(t.target, "Z\xfcrich.test");
  EXPECT_EQ(t.targetAddress, 0u);
  EXPECT_TRUE(t.completed);  // not said: taken as ended
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.rows[0]->hopNumber.load(), 0);  // no index: the row's position
  EXPECT_EQ(t.rows[0]->lastRtt.load(), 12u);
  EXPECT_EQ(t.rows[0]->Location(), (GeoLocation{LocationSource::Server, 47.37, 8.54, 0}));
  EXPECT_EQ(t.rows[1]->hopNumber.load(), 7);
  EXPECT_EQ(t.rows[1]->Name(), "Z\xfcrich-gw");  // UTF-8 in the file, 8-bit in the row
  EXPECT_EQ(t.rows[1]->lastRtt.load(), kNoTime);
  EXPECT_EQ(t.rows[1]->Location().source, LocationSource::Cache);
  EXPECT_EQ(t.rows[2]->Name(), "ruta-?");
  EXPECT_EQ(t.rows[2]->Location(), (GeoLocation{LocationSource::None, 1, 2, 0}));  // no source
  EXPECT_EQ(t.rows[3]->sentCount.load(), 2);
  EXPECT_EQ(t.rows[3]->droppedCount.load(), 2);
  EXPECT_FALSE(t.rows[3]->Location().HasPosition());  // null: no position
  EXPECT_EQ(t.rows[3]->lastRtt.load(), kNoTime);
}

TEST(TraceJson, BadInputIsRefusedWithItsLineOrFieldAndReason) {
  const std::pair<const char*, std::string> cases[] = {
      {"", "line 1, column 1: illegal value"},
      {"{\"target\": \"x\",\n  \"rows\": [\n    {\"index\": 1,,}\n]}", "line 3, column 18: unterminated object"},
      {"[1, 2]", "not a JSON object"},
      {R"({"target": 5})", R"("target" is a number, not a text)"},
      {R"({"completed": "yes"})", R"("completed" is a text, not true or false)"},
      {R"({"rows": {}})", R"("rows" is an object, not a list)"},
      {R"({"rows": [{}, 7]})", "rows[1] is a number, not an object"},
      {R"({"rows": [{"latitude": "north", "longitude": 8}]})", R"(rows[0]: "latitude" is a text, not a number)"},
      {R"({"rows": [{"latitude": 91, "longitude": 8}]})", R"(rows[0]: "latitude" is 91, outside -90 to 90)"},
      {R"({"rows": [{"latitude": 47}]})", R"(rows[0]: a position needs both "latitude" and "longitude")"},
      {R"({"rows": [{"latitude": 1, "longitude": 2, "source": "Nowhere"}]})",
       R"(rows[0]: "source" "Nowhere" is no source (a number 0 to 8, or Home, Server, ...))"},
      {R"({"rows": [{"address": "198.18.0.256"}]})",
       R"(rows[0]: "address" "198.18.0.256" is not a dotted IPv4 address)"},
      {R"({"rows": [{"sent": 1.5}]})", R"(rows[0]: "sent" is not a whole number)"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(text);
    TraceJson t;
    t.target = "kept";
    std::string why;
    EXPECT_FALSE(ReadTraceJson(text, t, &why));
    EXPECT_EQ(why, reason);
    EXPECT_EQ(t.target, "kept");
  }
  TraceJson empty;
  EXPECT_TRUE(ReadTraceJson("{}", empty));
  EXPECT_TRUE(empty.rows.empty());
}

}  // namespace
}  // namespace hs::map
