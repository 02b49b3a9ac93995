// The JSON report of hopsight-trace: what other tools (the map viewer) read.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <clocale>

#include "cli/json_report.h"

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

TEST(JsonReportTest, DegreesKeepTheirPointUnderACommaLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8")) GTEST_SKIP() << "no German locale";
  TraceContext context;
  HopRef row = HopRef::Create();
  row->SetLocation({LocationSource::Server, 51.5, -0.125, 0});
  const std::string json = TraceToJson(context, {row}, true);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_NE(json.find("\"latitude\":51.500000,\"longitude\":-0.125000"), std::string::npos) << json;
}

}  // namespace
}  // namespace hs::cli
