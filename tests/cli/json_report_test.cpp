// The JSON report of hopsight-trace: what other tools (the map viewer) read.
#include <gtest/gtest.h>

#include <clocale>

#include "cli/json_report.h"
#include "geo/place_file.h"

namespace hs::cli {
namespace {

TEST(JsonReportTest, EscapesQuotesControlAndHighBytes) {
  EXPECT_EQ(JsonEscape("a\"b\\c\n"), "a\\\"b\\\\c\\n");
  EXPECT_EQ(JsonEscape(std::string("\x01\xe9", 2)), "\\u0001\\u00e9");
}

TEST(JsonReportTest, RowsCarryTheirPositionSourcePrecisionAndPlace) {
  const geo::PlaceFile places = geo::PlaceFile::FromBytes(geo::WritePlaceFile({{-23.5475, -46.63611, "São Paulo, BR"}}));
  TraceContext context;
  HopRef placed = HopRef::Create();
  placed->SetLocation({LocationSource::Database, -23.55, -46.625, 40});
  HopRef unplaced = HopRef::Create();
  // The window may run under a decimal-comma locale; the JSON must not follow it.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  const std::string json = TraceToJson(context, {placed, unplaced}, true, &places);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_NE(json.find("\"source\":4,\"latitude\":-23.550000,\"longitude\":-46.625000,\"precision\":40,"
                      "\"place\":\"São Paulo, BR\","),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"source\":0,\"latitude\":0.000000,\"longitude\":0.000000,\"precision\":0,\"place\":\"\","),
            std::string::npos);
  // Without a place file the rows have no "place".
  EXPECT_EQ(TraceToJson(context, {placed}, true).find("place"), std::string::npos);
}

}  // namespace
}  // namespace hs::cli
