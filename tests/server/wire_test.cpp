// The request and answer forms against hand-made bytes and against each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "config/number_text.h"
#include "server/wire/locwire.h"

using namespace hs::locwire;

namespace {

const InstallIdentity kId{0x65a1b2c3, 0x01020304, kProductCode};

std::string Hex8(uint32_t v) {
  char b[9];
  std::snprintf(b, sizeof b, "%08x", v);
  return b;
}

}  // namespace

TEST(RouteRequestForm, WritesIdentityZAndSixteenCharactersPerHopAndReadsThemBack) {
  RouteRequest req{kId, false, {{{8, 8, 4, 4}, 40, 12}, {{192, 168, 1, 1}, 0, kNoTimeMs}}};
  std::string expected = "loc/?" + Hex8(0x65a1b2c3 ^ kRequestMasks[0]) + Hex8(0x01020304 ^ kRequestMasks[1]) +
                         Hex8(kProductCode ^ kRequestMasks[2]) + "&Z" + "0808040428" "00000c" + "c0a8010100" "98967f";
  EXPECT_EQ(WriteRouteRequest(req), expected);
  EXPECT_EQ(ReadRouteRequest(std::string_view(expected).substr(5)), req);

  // The speed test form: one address and its precision, no 'Z'.
  RouteRequest speed{kId, true, {{{198, 18, 0, 1}, 240, kNoTimeMs}}};
  std::string text = WriteRouteRequest(speed);
  EXPECT_EQ(text.substr(29), "&c6120001f0");
  auto back = ReadRouteRequest(std::string_view(text).substr(5));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->speedTest);
  EXPECT_EQ(back->hops, speed.hops);

  // Upper-case hex is read too.
  std::string upper = WriteRouteRequest({kId, false, {{{10, 0, 0, 1}, 171, 255}}}).substr(5);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  upper[25] = 'Z';
  auto r = ReadRouteRequest(upper);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->hops[0].precision, 171);
  EXPECT_EQ(r->hops[0].rttMs, 255u);
}

TEST(RouteRequestForm, RejectsMalformedRequestsWithTheirReason) {
  const std::string good = WriteRouteRequest({kId, false, {{{1, 2, 3, 4}, 1, 2}}}).substr(5);
  auto with = [&](size_t at, char c) {
    std::string s = good;
    s[at] = c;
    return s;
  };
  const std::string sixtyThree = WriteRouteRequest({kId, false, std::vector<RouteHop>(kMaxRouteHops, {{1, 1, 1, 1}, 0, 1})});
  const struct {
    std::string query;
    const char* error;  // nullptr: any reason
  } cases[] = {
      {good.substr(0, good.size() - 1), "hop list is not a multiple of 16 characters"},
      {with(30, 'g'), "malformed hex in hop entry"},
      {good.substr(0, 24), nullptr},  // no '&'
      {good.substr(0, 25), nullptr},  // neither 'Z' nor a speed test entry
      {with(0, '-'), nullptr},
      {with(27, '\xc3'), nullptr},
      {sixtyThree.substr(5) + "0101010100000001", "too many hops"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    std::string error;
    EXPECT_FALSE(ReadRouteRequest(c.query, &error));
    if (c.error) {
      EXPECT_EQ(error, c.error);
    }
  }
  EXPECT_TRUE(ReadRouteRequest(good));
  EXPECT_TRUE(ReadRouteRequest(sixtyThree.substr(5))) << "63 hops are allowed";
  RouteRequest tooMany{kId, false, std::vector<RouteHop>(kMaxRouteHops + 1, {{1, 1, 1, 1}, 0, 1})};
  EXPECT_EQ(WriteRouteRequest(tooMany), sixtyThree) << "the writer drops the excess";
}

TEST(RouteAnswerForm, IsBannerTenCharactersPerHopAndClosingMark) {
  std::vector<RouteEntry> e = {RouteEntry::FromPosition(51.5, -0.12, 130), RouteEntry::Unknown()};
  std::string a = WriteRouteAnswer(e);
  ASSERT_EQ(a.size(), 10 * 2 + 134u);
  EXPECT_EQ(a.substr(0, 9), "Copyright");
  // Longitude code (-0.12 + 180) * 180 = 32378.4 → 32378 = 0x7e7a; latitude (90 - 51.5) * 180 = 6930 = 0x1b12.
  EXPECT_EQ(a.substr(128), "7e7a1b1282" "0000000000" "fdb6\r\n");
  auto back = ReadRouteAnswer(a, 2);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, e);
  EXPECT_NEAR((*back)[0].Latitude(), 51.5, 1.0 / 180);
  EXPECT_NEAR((*back)[0].Longitude(), -0.12, 1.0 / 180);
  // Positions clamp to the map; a long banner is cut.
  EXPECT_EQ(RouteEntry::FromPosition(90, -180, 1).latCode, 0);
  EXPECT_EQ(RouteEntry::FromPosition(-95, 200, 1).latCode, 32400);
  EXPECT_EQ(RouteEntry::FromPosition(-95, 200, 1).lonCode, 64800);
  EXPECT_EQ(WriteRouteAnswer({}, "Copyright " + std::string(300, 'x')).size(), 134u);
}

TEST(RouteAnswerForm, ReaderChecksBannerLengthAndMarkAndReadsBadEntriesAsUnknown) {
  std::string a = WriteRouteAnswer({RouteEntry::FromPosition(10, 10, 5), RouteEntry::FromPosition(20, 20, 6)});
  auto replaced = [&](size_t at, const char* text) { return std::string(a).replace(at, std::strlen(text), text); };
  EXPECT_TRUE(ReadRouteAnswer(a, 2));
  EXPECT_FALSE(ReadRouteAnswer(a, 1)) << "length must match the hop count";
  EXPECT_FALSE(ReadRouteAnswer(a + " ", 2));
  EXPECT_FALSE(ReadRouteAnswer(a.substr(0, a.size() - 1), 2));
  EXPECT_TRUE(ReadRouteAnswer(replaced(148, "FDB6"), 2)) << "the mark is compared in lower case";
  EXPECT_FALSE(ReadRouteAnswer(replaced(148, "fdb7"), 2));
  EXPECT_FALSE(ReadRouteAnswer(replaced(0, "c"), 2));
  auto e = ReadRouteAnswer(replaced(131, "g"), 2);
  ASSERT_TRUE(e);
  EXPECT_EQ((*e)[0], RouteEntry::Unknown());
  EXPECT_EQ((*e)[1].precision, 6);
}

TEST(PlaceQueryForm, KeysInFixedOrderPercentEncodedAndReadBack) {
  PlaceQuery q;
  q.zip = "10001";
  q.country = "US";
  EXPECT_EQ(WritePlaceQuery(q), "lookup/?country=US&zip=10001");
  EXPECT_EQ(WritePlaceQuery({}), "lookup/");
  PlaceQuery all{"example.org", "192.0.2.1", "DE", "Berlin", "BE", "10115", "host.example.org"};
  EXPECT_EQ(WritePlaceQuery(all),
            "lookup/?domain=example.org&ip=192.0.2.1&country=DE&city=Berlin&state=BE&zip=10115&url=host.example.org");
  EXPECT_EQ(ReadPlaceQuery(std::string_view(WritePlaceQuery(all)).substr(8)), all);
  // An empty url counts as absent; other empty values are sent as given.
  PlaceQuery emptyUrl{std::nullopt, "", "US", std::nullopt, std::nullopt, "10001", ""};
  EXPECT_EQ(WritePlaceQuery(emptyUrl), "lookup/?ip=&country=US&zip=10001");
  // Blanks, reserved and 8-bit bytes are escaped.
  PlaceQuery odd;
  odd.country = "US";
  odd.city = "New York & Co 100%";
  odd.state = "Z\xfcrich";
  const std::string text = WritePlaceQuery(odd);
  EXPECT_EQ(text, "lookup/?country=US&city=New%20York%20%26%20Co%20100%25&state=Z%fcrich");
  EXPECT_EQ(ReadPlaceQuery(std::string_view(text).substr(8)), odd);
}

TEST(PlaceQueryForm, WizardSendsCountryThenCityZipStateWhenGiven) {
  EXPECT_EQ(WriteWizardPlaceQuery({"VA", "", "", ""}), "lookup/?country=VA");
  EXPECT_EQ(WriteWizardPlaceQuery({"US", "Paris", "75460", "TX"}), "lookup/?country=US&city=Paris&zip=75460&state=TX");
  EXPECT_EQ(WriteWizardPlaceQuery({"CA", "", "", "Ontario"}), "lookup/?country=CA&state=Ontario");
  EXPECT_EQ(WriteWizardPlaceQuery({"US", "White River", "05001", ""}),
            "lookup/?country=US&city=White%20River&zip=05001");
  std::string longCity(600, 'a');
  EXPECT_EQ(WriteWizardPlaceQuery({"DE", longCity, "", ""}), "lookup/?country=DE&city=" + longCity.substr(0, 511));
}

TEST(PlaceQueryForm, ReaderIgnoresUnknownKeysKeepsFirstValueAndRejectsBadEscapes) {
  auto q = ReadPlaceQuery("country=FR&foo=bar&country=DE&city");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->country, "FR");
  EXPECT_EQ(q->city, "") << "a key without '=' is present and empty";
  EXPECT_FALSE(q->zip);
  EXPECT_FALSE(ReadPlaceQuery("city=%4"));
  EXPECT_FALSE(ReadPlaceQuery("city=%zz"));
  EXPECT_TRUE(ReadPlaceQuery(""));
}

TEST(PlaceAnswerForm, WizardReaderFindsTvgsAnywhere) {
  EXPECT_EQ(ReadPlaceAnswer("<p>TVGS2,48.85,2.35"), (PlaceAnswer{2, 48.85, 2.35}));
  auto none = ReadPlaceAnswer("TVGS1,none");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 1);
  EXPECT_EQ(none->latitude, 0);
  for (const char* bad : {"<html>Active Server Page error</html>", "TVGS", "TVGSx,1,2"})
    EXPECT_FALSE(ReadPlaceAnswer(bad)) << bad;
}

TEST(PlaceAnswerForm, PlaceLookupVerdictAndPosition) {
  using R = PlaceLookupResult;
  const struct {
    const char* answer;
    R expected;
  } cases[] = {
      {"TVGS0,51.5,-0.12", {kVerdictGood, 51.5, -0.12}},
      {"TVGS0, +7.5e1,-1e-1x", {kVerdictGood, 75, -0.1}},  // as atof reads the numbers
      {"TVGS1,none", {5, 0, 0}},                            // a valid answer without a position: stop
      {"TVGS9,1,2", {13, 0, 0}},
      {"TVGS-3,1,2", {'-' - ',', 0, 0}},
      {"TVGS0,,7", {kVerdictGood, 0, 7}},    // the latitude at offset 6 is not a number
      {"TVGS0,5", {kVerdictInvalid, 0, 0}},  // no ',' at or after offset 6
      {"TVGS0,", {kVerdictInvalid, 0, 0}},
      {"TVGS", {kVerdictInvalid, 0, 0}},
      {" TVGS0,1,2", {kVerdictInvalid, 0, 0}},  // must begin with TVGS
  };
  for (const auto& c : cases) EXPECT_EQ(ReadPlaceLookupAnswer(c.answer), c.expected) << c.answer;
}

TEST(PlaceAnswerForm, BothReadersTakeWhatTheWriterWrites) {
  for (PlaceAnswer a : {PlaceAnswer{0, 51.5, -0.12}, PlaceAnswer{0, -89.99999, 179.5}, PlaceAnswer{0, 0.00001, -0.5},
                        PlaceAnswer{3, 38.89511, -77.03637}, PlaceAnswer{1, 0, 0}}) {
    const std::string text = WritePlaceAnswer(a);
    EXPECT_EQ(ReadPlaceAnswer(text), a) << text;
    const PlaceLookupResult lookup = ReadPlaceLookupAnswer(text);
    if (a.status == 0)
      EXPECT_EQ(lookup, (PlaceLookupResult{kVerdictGood, a.latitude, a.longitude})) << text;
    else
      EXPECT_EQ(lookup.verdict, a.status + 4) << text;
  }
}

TEST(CountryListForm, SuggestionThenRecordsClosedByCaret) {
  CountryList list{"Germany", "DE", {{"France", "FR", 1}, {"Germany", "DE", 1}, {"United States", "US", 2}}};
  std::string text = WriteCountryList(list);
  EXPECT_EQ(text, "Germany|DE^France|FR|1^Germany|DE|1^United States|US|2^");
  EXPECT_EQ(ReadCountryList(text), list);
  // The reader stops at a record without a bar; only an answer read to its closing caret suggests a
  // country; error pages are no list.
  const CountryList cutShort{"", "", {{"Chad", "TD", 0}}};
  EXPECT_EQ(ReadCountryList("Chad|TD^Chad|TD|0^broken^Peru|PE|1^"), cutShort);
  EXPECT_EQ(ReadCountryList("Chad|TD^Chad|TD|0^Peru|PE|1"), cutShort);
  EXPECT_FALSE(ReadCountryList("no caret here"));
  EXPECT_FALSE(ReadCountryList("x^Active Server Page^"));
}

TEST(UpdateCheckForm, RequestIsFlexcheckWithMaskedIdentity) {
  std::string r = WriteUpdateRequest(kId);
  EXPECT_EQ(r, "flexcheck/?" + Hex8(kId.installTime ^ kUpdateMasks[0]) + Hex8(kId.installRandom ^ kUpdateMasks[1]) +
                   Hex8(kId.productCode ^ kUpdateMasks[2]));
  EXPECT_EQ(ReadUpdateRequest(std::string_view(r).substr(11)), kId);
  EXPECT_FALSE(ReadUpdateRequest(std::string_view(r).substr(11, 23)));
  EXPECT_FALSE(ReadUpdateRequest(std::string(r.substr(11)) + "0"));
}

TEST(UpdateCheckForm, EachAnswerKindRoundTrips) {
  const std::pair<UpdateAnswer, const char*> cases[] = {
      {{UpdateAnswer::Current, "", ""}, "0"},
      {{UpdateAnswer::NewVersion, "", ""}, "1"},
      {{UpdateAnswer::NewVersion, "", "http://example.org/new"}, "1\r\nhttp://example.org/new"},
      {{UpdateAnswer::Information, "Maintenance on Sunday", "http://example.org/info"},
       "2\r\nMaintenance on Sunday\r\nhttp://example.org/info"},
      {{UpdateAnswer::OpenPage, "", "http://example.org/page"}, "3\r\nhttp://example.org/page"},
  };
  for (const auto& [answer, bytes] : cases) {
    EXPECT_EQ(WriteUpdateAnswer(answer), bytes);
    EXPECT_EQ(ReadUpdateAnswer(bytes), answer) << bytes;
  }
  EXPECT_FALSE(ReadUpdateAnswer(""));
  EXPECT_FALSE(ReadUpdateAnswer("2")) << "information without its lines";
  // A first character other than 0, 1 or 2 (here an empty line): the line after it is opened.
  EXPECT_EQ(ReadUpdateAnswer("\r\nhttp://example.org/page\r\n"),
            (UpdateAnswer{UpdateAnswer::OpenPage, "", "http://example.org/page"}));
  EXPECT_FALSE(ReadUpdateAnswer("\r\n"));
  EXPECT_FALSE(ReadUpdateAnswer("\n"));
  auto cut = ReadUpdateAnswer("3\r\n" + std::string(400, 'x'));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->address.size(), kUpdateAnswerLimit - 3) << "no more than 299 bytes are read";
}

TEST(NumberText, DegreesHaveAPointAndAtMostFivePlaces) {
  EXPECT_EQ(FormatDegrees(51.5), "51.5");
  EXPECT_EQ(FormatDegrees(-0.12), "-0.12");
  EXPECT_EQ(FormatDegrees(7), "7");
  EXPECT_EQ(FormatDegrees(-0.000001), "0");
  EXPECT_EQ(FormatDegrees(12.345678), "12.34568");
  EXPECT_EQ(FormatDegrees(std::nan("")), "0");
  EXPECT_EQ(hs::config::LeadingDouble(" \t-12.5e1,3"), -125);
  EXPECT_EQ(hs::config::LeadingDouble("+.5"), 0.5);
  EXPECT_EQ(hs::config::LeadingDouble("+-5"), 0);
  EXPECT_EQ(hs::config::LeadingDouble("inf"), 0);
  EXPECT_EQ(hs::config::LeadingDouble("1e999"), 0);
  EXPECT_EQ(hs::config::LeadingInt(" -42x"), -42);
  EXPECT_EQ(hs::config::LeadingInt("99999999999999"), 2147483647);
  double v = 0;
  EXPECT_TRUE(ParseDecimal("+48.1", v));
  EXPECT_EQ(v, 48.1);
  for (const char* bad : {"", "+", "48,1", " 48.1", "48.1 ", "+-1", "nan", "1e999"})
    EXPECT_FALSE(ParseDecimal(bad, v)) << bad;
  uint64_t u = 0;
  EXPECT_TRUE(ParseUnsigned("4294967295", u));
  EXPECT_EQ(u, 4294967295u);
  EXPECT_FALSE(ParseUnsigned("-1", u));
  EXPECT_FALSE(ParseUnsigned("99999999999999999999", u));
}

TEST(DottedAddresses, ParseOnlyFourDecimalBytes) {
  EXPECT_EQ(ParseDotted("198.18.0.1"), (std::array<uint8_t, 4>{198, 18, 0, 1}));
  EXPECT_EQ(ParseDotted("255.0.0.0"), (std::array<uint8_t, 4>{255, 0, 0, 0}));
  for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4 ", "1..3.4"}) EXPECT_FALSE(ParseDotted(bad)) << bad;
  EXPECT_EQ(DottedAddress({10, 0, 0, 255}), "10.0.0.255");
}
