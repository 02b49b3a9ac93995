// hopsight-trace --whois: which texts are shown for the destination.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "cli/whois_report.h"
#include "whois/domain_record.h"

namespace hs::cli {
namespace {

std::vector<HopRef> Route(const char* lastAddress) {
  HopRef first = HopRef::Create(), last = HopRef::Create();
  first->address = inet_addr("192.0.2.1");
  last->address = inet_addr(lastAddress);
  last->SetWhoisText(std::make_shared<const std::string>("NetName: TEST-NET-3\n"));
  last->SetDomainRecord(std::make_shared<const DomainRecord>(
      DomainRecord{std::make_shared<const std::string>("Domain Name: EXAMPLE.NET\nRegistrant:\n  Example\n")}));
  return {first, last};
}

TEST(DestinationWhoIs, ShowsBothTextsOnlyWhenTheRouteReachedTheTarget) {
  TraceContext context;
  context.targetAddress = inet_addr("203.0.113.9");
  DestinationWhoIs texts = DestinationWhoIsTexts(context, Route("203.0.113.9"));
  EXPECT_EQ(texts.registrant, "Registrant:\n  Example\n");
  EXPECT_EQ(texts.network, "NetName: TEST-NET-3\n");
  EXPECT_EQ(FormatDestinationWhoIs(texts),
            "Registrant\n----------\nRegistrant:\n  Example\n\nNetwork\n-------\nNetName: TEST-NET-3\n");

  texts = DestinationWhoIsTexts(context, Route("203.0.113.200"));  // ended elsewhere
  EXPECT_FALSE(texts.registrant);
  EXPECT_FALSE(texts.network);
  EXPECT_EQ(FormatDestinationWhoIs(texts), "Registrant\n----------\n(no answer)\n\nNetwork\n-------\n(no answer)\n");
  EXPECT_FALSE(DestinationWhoIsTexts(context, {}).network);
}

}  // namespace
}  // namespace hs::cli
