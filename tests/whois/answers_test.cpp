// What is read out of answers: network names, tidying, follow-up handles,
// the owner's country and postal code.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "tests/whois/registry_texts.h"
#include "whois/answers.h"

namespace hs::whois {
namespace {

uint32_t A(const char* dotted) { return ntohl(inet_addr(dotted)); }

TEST(ExtractNetName, TakesTheValueOfTheLastNetnameLine) {
  EXPECT_EQ(ExtractNetName("x\nNetName:   EXAMPLE-NET\nmore\n"), "EXAMPLE-NET");
  EXPECT_EQ(ExtractNetName("netname: FIRST\nnetname: SECOND\n"), "SECOND");
  EXPECT_EQ(ExtractNetName(test::texts::kArinNetwork), "TEST-NET-1");  // the most specific network is last
  EXPECT_EQ(ExtractNetName("netname: CRLF\r\n"), "CRLF\r");           // a CR stays part of the value
  EXPECT_EQ(ExtractNetName("netname:\tTAB\n"), "\tTAB") << "only blanks are skipped";
  EXPECT_EQ(ExtractNetName("netname: FIRST\nnetname: LAST"), std::nullopt) << "no line feed after the last";
  EXPECT_EQ(ExtractNetName("no such label\n"), std::nullopt);
  EXPECT_EQ(ExtractNetName(""), std::nullopt);
}

TEST(TidyAnswer, BlanksControlAndHighBytesAndCutsTheInterNicNotice) {
  EXPECT_EQ(TidyAnswer("% # ! $ \" & ' a\tb\r\n\x01\x80\xff z"), "          & ' a b\r\n    z");
  const std::string tidy = TidyAnswer(test::texts::kComDomain);
  EXPECT_EQ(tidy.find("InterNIC"), std::string::npos);
  EXPECT_EQ(tidy.substr(tidy.size() - 2), "\n\n");  // cut just before the notice
  EXPECT_NE(tidy.find("Domain Name: EXAMPLE.COM"), std::string::npos);
}

TEST(AnswerKinds, RecogniseTheRightsNoticeWhateverItsPageAndTheQuotedMarkerOnly) {
  EXPECT_TRUE(HasRightsNotice(test::texts::kRipeNetwork));
  EXPECT_TRUE(HasRightsNotice(test::texts::kRightsNoticeDomain));
  EXPECT_FALSE(HasRightsNotice("% Rights restricted by copyright.\n% See http://example.net\n"));
  EXPECT_TRUE(HasManyMatchesMarker(test::texts::kComManyMatches));
  EXPECT_FALSE(HasManyMatchesMarker("look it up with !xxx\n"));
}

TEST(NetworkFollowUp, PicksTheSmallestListedNetworkHoldingTheAddress) {
  EXPECT_EQ(NetworkFollowUpHandle(test::texts::kArinManyMatches, A("198.51.100.7")), "NET-198-51-100-0-1");
  EXPECT_EQ(NetworkFollowUpHandle(test::texts::kArinManyMatches, A("198.51.7.7")), "NET-198-51-0-0-1");
  EXPECT_EQ(NetworkFollowUpHandle(test::texts::kArinManyMatches, A("203.0.113.1")), std::nullopt);
  // A listed single address equal to the query stops the scan.
  EXPECT_EQ(NetworkFollowUpHandle("Single (H1) 198.51.100.7\nRange (H2) 198.51.0.0 - 198.51.255.255\n",
                                  A("198.51.100.7")), std::nullopt);
  // Ranges without a handle in parentheses are passed over.
  EXPECT_EQ(NetworkFollowUpHandle("No handle 10.0.0.0 - 10.0.0.255\nWide (W) 10.0.0.0 - 10.255.255.255\n",
                                  A("10.0.0.1")), "W");
}

TEST(DomainFollowUp, FindsTheHandleOnTheLineThatEndsWithTheKey) {
  DomainFollowUp f = FindDomainFollowUp(test::texts::kComManyMatches, "example.com");
  EXPECT_EQ(f.kind, DomainFollowUp::AskHandle);
  EXPECT_EQ(f.handle, "EXAMPLE2-DOM");  // not the .com.au line above it
  EXPECT_EQ(FindDomainFollowUp(test::texts::kComManyMatches, "example.org").kind, DomainFollowUp::NoMatch);
  f = FindDomainFollowUp("Some text EXAMPLE.COM\nno handles here\n", "example.com");
  EXPECT_EQ(f.kind, DomainFollowUp::StoreAnswer);
  // A parenthesis of an earlier line is not looked at once the search has moved on.
  f = FindDomainFollowUp("Other (H1) X\nEXAMPLE.COM\nName EXAMPLE.COM\n", "example.com");
  EXPECT_EQ(f.kind, DomainFollowUp::StoreAnswer);
}

TEST(PostalAddress, ReadsTheCountryLineOfRipeAndApnicAnswers) {
  EXPECT_EQ(ReadPostalAddress(test::texts::kRipeNetwork), (PostalAddress{"DE", ""}));
  EXPECT_EQ(ReadPostalAddress(test::texts::kApnicNetwork), (PostalAddress{"JP", ""}));
  EXPECT_EQ(ReadPostalAddress("source: RIPE\n"), (PostalAddress{"", ""}));
}

TEST(PostalAddress, ReadsTheAddressBlockOfClassicAnswers) {
  EXPECT_EQ(ReadPostalAddress(test::texts::kArinClassic), (PostalAddress{"US", "45402"}));
  EXPECT_EQ(ReadPostalAddress(test::texts::kArinHandleRecord), (PostalAddress{"US", "78701"}));
  EXPECT_EQ(ReadPostalAddress("Org\n  1 Road\n  Springfield, IL 62701-1234\n  US\n\n"), (PostalAddress{"US", "62701"}));
  EXPECT_EQ(ReadPostalAddress("Org\n  1 Road\n  Town 12345\n  USA\n\n"), (PostalAddress{"USA", "12345"}));
  EXPECT_EQ(ReadPostalAddress("Org\n  Hauptstrasse 1\n  10115 Berlin\n  Germany\n\n"), (PostalAddress{"Germany", ""}));
  EXPECT_EQ(ReadPostalAddress("Org\r\n  1 Road\r\n  Dayton, OH 45402\r\n\r\n"), (PostalAddress{"US", "45402"}));
  EXPECT_EQ(ReadPostalAddress("Org\n  1 Road\n  Dayton\n  US\n\n"), (PostalAddress{"US", ""}));
}

TEST(PostalAddress, GivesNothingForLayoutsItDoesNotKnow) {
  EXPECT_EQ(ReadPostalAddress(""), std::nullopt);
  EXPECT_EQ(ReadPostalAddress("one line only"), std::nullopt);
  EXPECT_EQ(ReadPostalAddress("Org\n\nrest\n"), std::nullopt) << "no line before the block's last";
  EXPECT_EQ(ReadPostalAddress("Org\n a1\n a2\n a3\n a4\n a5\n a6\n\n"), std::nullopt) << "a seventh line";
  EXPECT_EQ(ReadPostalAddress("Org\n a1\n a2"), std::nullopt) << "no line feed";
  EXPECT_EQ(ReadPostalAddress(test::texts::kArinNetwork), std::nullopt);
}

}  // namespace
}  // namespace hs::whois
