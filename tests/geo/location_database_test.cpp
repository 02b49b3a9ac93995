// The location database file: the reader against hand-made bytes (every
// failure code and the decoding rules), the writer against the reader, the
// wildcard and domain rules, and the wildcard index against trying every
// pattern (the shipped database is compared with a plain scan in router_names_test).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geo/location_database.h"
#include "geo/wildcard.h"
#include "platform/resolver.h"
#include "tests/config/temp_dir.h"

namespace hs::geo {
namespace {

// Hand-made files: plain body bytes, scrambled here byte by byte.
std::string U16(uint32_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

std::string FileOf(const std::string& body) {
  std::string f = "TR20GDP1" + std::string(72, 'x');
  for (size_t i = 0; i < body.size(); ++i)
    f += char(uint8_t(body[i]) ^ uint8_t((80 + i + 1) % kScrambleModulus));
  return f;
}

struct RawDomain {
  std::string stored;
  std::vector<std::pair<std::string, std::string>> patterns;  // (4 position bytes, stored text)
};

// Body with the given domains; names are laid out domain names first, then patterns.
std::string BodyOf(const std::vector<RawDomain>& domains, const std::string& text = "db") {
  std::string names, drec, prec;
  uint32_t p = 0;
  for (const RawDomain& d : domains) {
    drec += U16(uint32_t(d.patterns.size())) + U32(uint32_t(names.size()));
    names += d.stored;
  }
  drec += U16(0) + U32(uint32_t(names.size()));
  for (const RawDomain& d : domains)
    for (const auto& [pos, stored] : d.patterns) {
      prec += pos + U32(uint32_t(names.size()));
      names += stored;
      ++p;
    }
  prec += std::string(4, '\0') + U32(uint32_t(names.size()));
  return std::string(3, '\0') + char(text.size()) + text + '\0' + U32(p + 1) + U32(uint32_t(domains.size() + 1)) +
         drec + prec + names;
}

const std::string kPos = {char(51), char(60), char(0), char(0x80 | 7)};  // 51.5, -0.0583

class Recorder : public GeoMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    shown.push_back(std::string(caption) + ": " + std::string(text));
  }
  std::vector<std::string> shown;
};

TEST(GdpReader, DecodesTheStoredFormsOfNamesAndPatterns) {
  const std::string body = BodyOf({
      {"elpmaxe", {{kPos, "kroywen"}, {std::string{char(40), char(0x80 + 60), char(74), char(0x80 + 30)}, "\xFF*.1.2"}}},
      {"\xFEmoc.elpmaxe.", {{kPos, "\xFFnodnol"}}},
  });
  LocationDatabase db;
  ASSERT_EQ(LocDBInit(db, FileOf(body)), 0u);
  ASSERT_EQ(db.Domains().size(), 2u);
  EXPECT_EQ(db.Domains()[0].key, ".example.net");
  EXPECT_EQ(db.Domains()[1].key, ".example.com");
  ASSERT_EQ(db.Domains()[0].patterns.size(), 2u);
  EXPECT_EQ(db.Domains()[0].patterns[0].pattern, "*newyork*");
  EXPECT_EQ(db.Domains()[0].patterns[1].pattern, "2.1.*");
  EXPECT_EQ(db.Domains()[1].patterns[0].pattern, "london");
  const GeoLocation& g = db.Domains()[0].patterns[1].location;
  EXPECT_DOUBLE_EQ(g.latitude, -40.5);
  EXPECT_DOUBLE_EQ(g.longitude, -74.25);
  EXPECT_EQ(g.precision, 40);
  EXPECT_EQ(g.source, LocationSource::None);
}

TEST(GdpReader, ReportsEveryFailureCode) {
  const std::string good = BodyOf({{"elpmaxe", {{kPos, "kroywen"}}}}, "abc");
  // Offsets into the plain body: 3 lead, 1 length, 4 text+NUL, 4 P, 4 D, 12 domain records, 16 pattern records.
  const size_t lengthAt = 3, textAt = 4, pAt = 8, dAt = 12, domainsAt = 16, patternsAt = 28, namesAt = 44;
  auto codeOf = [](const std::string& body) {
    LocationDatabase db;
    return LocDBInit(db, FileOf(body));
  };
  EXPECT_EQ(codeOf(good), 0u);
  EXPECT_EQ(codeOf(good.substr(0, 2)), 1u);
  EXPECT_EQ(codeOf(good.substr(0, lengthAt)), 2u);
  EXPECT_EQ(codeOf(good.substr(0, textAt + 3)), 3u);
  EXPECT_EQ(codeOf(good.substr(0, pAt + 3)), 4u);
  EXPECT_EQ(codeOf(good.substr(0, dAt + 2)), 5u);
  // `good` with the given bytes written over it at the given offsets.
  auto with = [&](std::vector<std::pair<size_t, std::string>> edits) {
    std::string b = good;
    for (const auto& [at, bytes] : edits) b.replace(at, bytes.size(), bytes);
    return b;
  };
  EXPECT_EQ(codeOf(with({{dAt, U32(1)}})), 6u);
  EXPECT_EQ(codeOf(good.substr(0, domainsAt + 7)), 7u);
  EXPECT_EQ(codeOf(good.substr(0, patternsAt + 9)), 8u);
  // The first domain starts after the sentinel's offset.
  EXPECT_EQ(codeOf(with({{domainsAt + 2, U32(100)}})), 9u);
  // Names: "elpmaxe" (7) then "kroywen" (7). A long domain, its first byte beyond the end:
  EXPECT_EQ(codeOf(with({{domainsAt + 6 + 2, U32(500)}, {domainsAt + 2, U32(400)}})), 16u);
  // The 0xFE name runs past the end.
  EXPECT_EQ(codeOf(with({{namesAt, "\xFE"}, {domainsAt + 6 + 2, U32(30)}})), 17u);
  EXPECT_EQ(codeOf(with({{domainsAt + 6 + 2, U32(30)}})), 18u);
  EXPECT_EQ(codeOf(with({{patternsAt + 4, U32(300)}, {patternsAt + 8 + 4, U32(301)}})), 19u);
  EXPECT_EQ(codeOf(with({{namesAt + 7, "\xFF"}, {patternsAt + 8 + 4, U32(30)}})), 20u);
  EXPECT_EQ(codeOf(with({{patternsAt + 8 + 4, U32(30)}})), 21u);
  // Beyond the listed codes: a pattern count past the records, a negative pattern length.
  EXPECT_EQ(codeOf(with({{domainsAt, U16(2)}})), 10u);
  EXPECT_EQ(codeOf(with({{patternsAt + 8 + 4, U32(3)}})), 11u);
}

TEST(GdpReader, AMissingOrBadFileIsReportedWithTheLoadersCode) {
  testing::TempDir dir;
  Recorder r;
  LocationDatabase db;
  EXPECT_TRUE(LoadLocationDatabase(dir.path(), db, &r));
  EXPECT_EQ(r.shown, (std::vector<std::string>{"Error: \"Unable to open file HopSight.gdp.\""}));
  EXPECT_EQ(db.FindInDatabase("a.example.net", 0), nullptr);
  testing::WriteFile(dir.File("HopSight.gdp"), "TR20GDP2" + std::string(100, '\0'));
  r.shown.clear();
  EXPECT_FALSE(LoadLocationDatabase(dir.path(), db, &r));
  EXPECT_EQ(r.shown, (std::vector<std::string>{"Error: Invalid HopSight.gdp",
                                                "Error (LocDBInit): Invalid file HopSight.gdp (0x1)"}));
}

TEST(GdpReader, AFailedLoadKeepsWhatItRead) {
  std::string body = BodyOf({{"elpmaxe", {{kPos, "kroywen"}}}, {"elpmaxe2", {{kPos, "ab"}}}});
  body.resize(body.size() - 1);  // the last pattern's text runs past the end
  LocationDatabase db;
  EXPECT_EQ(LocDBInit(db, FileOf(body)), 21u);
  ASSERT_EQ(db.Domains().size(), 2u);
  EXPECT_EQ(db.Domains()[0].patterns.size(), 1u);
  EXPECT_NE(db.FindInDatabase("x.newyork.example.net", 0), nullptr);
}

DatabaseSpec Spec() {
  DatabaseSpec s;
  s.description = "test";
  auto at = [](double lat, double lon) { return GeoLocation{LocationSource::None, lat, lon, 40}; };
  s.domains.push_back({".", {{"198.18.1.*", at(50.125, 8.675)}, {"198.18.*", at(-33.875, 151.2)}}});
  s.domains.push_back({".example.net", {{"*core1*", at(1, 2)}, {"*.fra1.*", at(50.1, 8.7)}, {"*.lon*", at(51.5, -0.125)}}});
  s.domains.push_back({".sub.example.net", {{"*.sub.*", at(10, 20)}}});
  s.domains.push_back({".example.com", {{"ae1.*", at(-12.05, -77.05)}, {"*ams*", at(52.375, 4.9)}}});
  return s;
}

// The writer against the reader: every FindInDatabase test below reads what
// the writer wrote, and the gdp_reader fuzz target writes back what it read.
TEST(GdpWriter, StoresNamesInTheFormsTheReaderDecodes) {
  EXPECT_EQ(StoredDomainName(".example.net"), "elpmaxe");
  EXPECT_EQ(StoredDomainName(".example.com"), "\xFEmoc.elpmaxe.");
  EXPECT_EQ(StoredDomainName("."), "\xFE.");
  EXPECT_EQ(StoredPattern("*newyork*"), "kroywen");
  EXPECT_EQ(StoredPattern("2.1.*"), "\xFF*.1.2");
}

TEST(GdpWriter, PositionsKeepTheirSignsAtTheGrain) {
  for (double lat : {-90.0, -40.5, -0.004, 0.0, 0.3, 51.508, 90.0})
    for (double lon : {-180.0, -74.25, -0.125, 0.0, 139.69, 180.0}) {
      uint8_t b[4];
      EncodePosition(lat, lon, b);
      double la, lo;
      DecodePosition(b, la, lo);
      EXPECT_NEAR(la, lat, 1.0 / 240 + 1e-12) << lat;
      EXPECT_NEAR(lo, lon, 1.0 / 240 + 1e-12) << lon;
    }
  uint8_t b[4];
  EXPECT_THROW(EncodePosition(90.5, 0, b), std::invalid_argument);
  EXPECT_THROW(EncodePosition(0, -181, b), std::invalid_argument);
}

// The latitude found for a name or address; NaN (which no expectation meets) for nothing.
double LatitudeOf(const LocationDatabase& db, const std::string& name, uint32_t address = 0) {
  const GeoLocation* g = db.FindInDatabase(name, address);
  return g ? g->latitude : std::nan("");
}

TEST(FindInDatabase, TakesTheNamesDomainAndItsFirstMatchingPattern) {
  LocationDatabase db;
  ASSERT_EQ(LocDBInit(db, WriteLocationDatabase(Spec())), 0u);
  // Case is ignored for the domain, not for the patterns.
  EXPECT_EQ(db.FindInDatabase("Core1.EXAMPLE.net", 0), nullptr);
  EXPECT_NEAR(LatitudeOf(db, "xe-1.core1.fra1.example.net"), 1, 0.01);  // "*core1*" comes first in the list
  EXPECT_NEAR(LatitudeOf(db, "xe-1.cr2.fra1.EXAMPLE.NET"), 50.1, 0.01);
  // The longest domain key wins.
  EXPECT_NEAR(LatitudeOf(db, "a.sub.example.net"), 10, 0.01);
  EXPECT_NEAR(LatitudeOf(db, "a.lon1.sub.example.net"), 10, 0.01);  // not ".example.net"'s "*.lon*"
  // A name no domain knows gets nothing, even when the address domain would match.
  EXPECT_EQ(db.FindInDatabase("router.example.org", platform::DottedToAddress("198.18.1.7")), nullptr);
  // Without a name, the dotted address in the "." domain.
  EXPECT_NEAR(LatitudeOf(db, "", platform::DottedToAddress("198.18.1.7")), 50.125, 0.01);
  EXPECT_NEAR(LatitudeOf(db, "", platform::DottedToAddress("198.18.9.9")), -33.875, 0.01);
  EXPECT_EQ(db.FindInDatabase("", platform::DottedToAddress("203.0.113.1")), nullptr);
}

TEST(FindInDatabase, OfEquallyLongDomainsTakesTheLastInListOrder) {
  DatabaseSpec s;
  s.domains.push_back({".example.net", {{"*a*", {LocationSource::None, 1, 1, 40}}}});
  s.domains.push_back({".EXAMPLE.NET", {{"*a*", {LocationSource::None, 2, 2, 40}}}});
  LocationDatabase db;
  ASSERT_EQ(LocDBInit(db, WriteLocationDatabase(s)), 0u);
  EXPECT_NEAR(LatitudeOf(db, "a.example.net"), 2, 0.01);
}

TEST(MatchWildcard, FollowsTheLeftToRightRules) {
  EXPECT_EQ(MatchWildcard("abc", "ab"), 0);
  EXPECT_EQ(MatchWildcard("ab", "abc"), 1);
  EXPECT_EQ(MatchWildcard("abcd", "*cd"), 0);
  EXPECT_EQ(MatchWildcard("abcde", "*cd"), 1);
  EXPECT_EQ(MatchWildcard("axbyc", "a*b*c"), 0);
  EXPECT_EQ(MatchWildcard("axcyb", "a*b*c"), 1);
  EXPECT_EQ(MatchWildcard("anything", "*"), 0);
  EXPECT_EQ(MatchWildcard("", "*"), 0);
  EXPECT_EQ(MatchWildcard("", ""), 0);
  EXPECT_EQ(MatchWildcard("x", "**x"), 0);
  EXPECT_EQ(MatchWildcard("core1.example.net", "*Core1*"), 1);
  // First occurrence: "*ab*b" takes the first "ab" and then needs a "b" at the end.
  EXPECT_EQ(MatchWildcard("abab", "*ab*b"), 0);
  EXPECT_EQ(MatchWildcard("aab", "*ab*b"), 1);
  // Pieces are bounded.
  EXPECT_EQ(MatchWildcard(std::string(300, 'a'), "*" + std::string(255, 'a') + "*"), 0);
  EXPECT_EQ(MatchWildcard(std::string(300, 'a'), "*" + std::string(256, 'a') + "*"), 1);
}

TEST(MatchDomainSuffix, ComparesTheEndWithoutCase) {
  EXPECT_EQ(MatchDomainSuffix("Core1.EXAMPLE.net", ".example.net"), 12u);
  EXPECT_EQ(MatchDomainSuffix("example.net", ".example.net"), 0u);
  EXPECT_EQ(MatchDomainSuffix("a.example.nett", ".example.net"), 0u);
  EXPECT_EQ(MatchDomainSuffix("1.2.3.4", "."), 0u);
  EXPECT_EQ(MatchDomainSuffix(".", "."), 1u);
}

// Random patterns over a small alphabet, so that pieces overlap often.
TEST(WildcardIndex, AgreesWithTryingEveryPatternInOrder) {
  std::mt19937 rng(7);
  const std::string alphabet = "ab.-1*";
  auto word = [&](size_t max, bool stars) {
    std::string w;
    const size_t n = rng() % (max + 1);
    for (size_t i = 0; i < n; ++i) w += alphabet[rng() % (stars ? alphabet.size() : alphabet.size() - 1)];
    return w;
  };
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> owned;
    for (int i = 0; i < 60; ++i) owned.push_back(word(9, true));
    std::vector<std::string_view> patterns(owned.begin(), owned.end());
    const WildcardIndex index(patterns);
    for (int t = 0; t < 200; ++t) {
      const std::string text = word(14, false);
      int64_t want = -1;
      for (size_t i = 0; i < patterns.size() && want < 0; ++i)
        if (MatchWildcard(text, patterns[i]) == 0) want = int64_t(i);
      ASSERT_EQ(index.FirstMatch(text), want) << "text '" << text << "'";
    }
  }
  // Many candidates for one text (beyond the lookup's small buffer).
  std::vector<std::string> owned;
  for (int i = 0; i < 300; ++i) owned.push_back("*aaaa*-" + std::to_string(i) + ".");
  std::vector<std::string_view> patterns(owned.begin(), owned.end());
  EXPECT_EQ(WildcardIndex(patterns).FirstMatch("aaaaaaaa-299."), 299);
}

}  // namespace
}  // namespace hs::geo
