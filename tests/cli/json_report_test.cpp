// The JSON report of hopsight-trace: what other tools (the map viewer) read.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <clocale>

#include "cli/json_report.h"
#include "geo/place_file.h"

namespace hs::cli {
namespace {

TEST(JsonReportTest, EscapesQuotesControlAndHighBytes) {
  EXPECT_EQ(JsonEscape("a\"b\\c\n"), "a\\\"b\\\\c\\n");
  EXPECT_EQ(JsonEscape(std::string("\x01\xe9", 2)), "\\u0001\\u00e9");
}

TEST(JsonReportTest, SilentRowHasNullTimeAndEmptyAddress) {
  TraceContext context;
  context.targetText = "example.test";
  context.targetAddress = inet_addr("198.18.0.9");
  HopRef silent = HopRef::Create();
  silent->hopNumber = 1;
  silent->status = IP_REQ_TIMED_OUT;
  silent->lastRtt = kNoTime;
  silent->sentCount = 2;
  silent->droppedCount = 2;
  silent->SetName("No Response");
  HopRef target = HopRef::Create();
  target->hopNumber = 2;
  target->status = IP_SUCCESS;
  target->address = inet_addr("198.18.0.9");
  target->lastRtt = 3;
  target->sentCount = 1;
  target->SetLocation({LocationSource::Server, 48.85, 2.35, 130});
  const std::string json = TraceToJson(context, {silent, target}, true);
  EXPECT_NE(json.find("\"target\":\"example.test\",\"address\":\"198.18.0.9\",\"completed\":true"),
            std::string::npos);
  EXPECT_NE(json.find("{\"index\":1,\"address\":\"\",\"name\":\"No Response\",\"rtt\":null,\"status\":11010,"
                      "\"sent\":2,\"dropped\":2"),
            std::string::npos);
  EXPECT_NE(json.find("\"rtt\":3,\"status\":0"), std::string::npos);
  EXPECT_NE(json.find("\"source\":8,\"latitude\":48.850000,\"longitude\":2.350000,\"precision\":130"),
            std::string::npos);
}

TEST(JsonReportTest, RowsCarryTheirPositionSourcePrecisionAndPlace) {
  const geo::PlaceFile places = geo::PlaceFile::FromBytes(geo::WritePlaceFile({{-23.5475, -46.63611, "São Paulo, BR"}}));
  TraceContext context;
  HopRef placed = HopRef::Create();
  placed->SetLocation({LocationSource::Database, -23.55, -46.625, 40});
  HopRef unplaced = HopRef::Create();
  HopRef far = HopRef::Create();
  far->SetLocation({LocationSource::User, 10.5, 20.25, 200});
  // The window may run under a decimal-comma locale; the JSON must not follow it.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  const std::string json = TraceToJson(context, {placed, unplaced, far}, true, &places);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_NE(json.find("\"source\":4,\"latitude\":-23.550000,\"longitude\":-46.625000,\"precision\":40,"
                      "\"place\":\"São Paulo, BR\","),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"source\":0,\"latitude\":0.000000,\"longitude\":0.000000,\"precision\":0,\"place\":\"\","),
            std::string::npos);
  EXPECT_NE(json.find("\"source\":7,\"latitude\":10.500000,\"longitude\":20.250000,\"precision\":200,"
                      "\"place\":\"\","),
            std::string::npos);
  // Without a place file the rows have no "place".
  EXPECT_EQ(TraceToJson(context, {placed}, true).find("place"), std::string::npos);
}

}  // namespace
}  // namespace hs::cli
