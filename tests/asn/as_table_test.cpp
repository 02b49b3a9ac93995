// The AS table: how ranges become the stored table (overlaps, gaps, special
// space, the ends of the address space), the reader against hand-made bytes
// and damaged files, and the builder's reading of the open data's CSV.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <random>

#include "asn/as_table.h"
#include "asn_source.h"

namespace hs::asn {
namespace {

constexpr uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return uint32_t{a} << 24 | uint32_t{b} << 16 | uint32_t{c} << 8 | d;
}

AsTable Table(const std::vector<AsRange>& ranges) {
  std::string why;
  std::optional<AsTable> t = AsTable::FromBytes(WriteAsTable(ranges), &why);
  EXPECT_TRUE(t) << why;
  return t ? std::move(*t) : AsTable();
}

// "15169 Google" or "-".
std::string At(const AsTable& t, uint32_t address) {
  const auto as = t.FindHostOrder(address);
  return as ? std::to_string(as->asn) + " " + std::string(as->name) : "-";
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char(v >> (8 * i) & 0xFF);
}

TEST(AsTable, RangesAnswerFromTheirFirstToTheirLastAddressAndNotBeyond) {
  const AsTable t = Table({{Ip(8, 8, 4, 0), Ip(8, 8, 4, 255), 15169, "Google"},
                           {Ip(8, 8, 8, 0), Ip(8, 8, 8, 255), 15169, "Google"},
                           {Ip(9, 9, 9, 0), Ip(9, 9, 9, 255), 19281, "Quad9"}});
  EXPECT_EQ(At(t, Ip(8, 8, 3, 255)), "-");
  EXPECT_EQ(At(t, Ip(8, 8, 4, 0)), "15169 Google");
  EXPECT_EQ(At(t, Ip(8, 8, 4, 255)), "15169 Google");
  EXPECT_EQ(At(t, Ip(8, 8, 5, 0)), "-");  // the gap between two blocks of one AS
  EXPECT_EQ(At(t, Ip(8, 8, 8, 8)), "15169 Google");
  EXPECT_EQ(At(t, Ip(9, 9, 9, 9)), "19281 Quad9");
  EXPECT_EQ(At(t, Ip(9, 9, 10, 0)), "-");  // after the last range
  EXPECT_EQ(At(Table({}), Ip(8, 8, 8, 8)), "-");  // an empty table answers nothing
  // Network byte order, as the hop rows hold addresses.
  EXPECT_EQ(t.Find(inet_addr("8.8.8.8"))->asn, 15169u);
}

TEST(AsTable, TheLastRangeMayReachTheTopOfTheAddressSpace) {
  // Only special space lies up there, so the table itself is asked.
  std::vector<AsRange> ranges{{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), 13335, "Cloudflare"},
                              {Ip(223, 255, 255, 0), Ip(223, 255, 255, 255), 4, "Last"}};
  const AsTable t = Table(ranges);
  EXPECT_EQ(At(t, Ip(223, 255, 255, 255)), "4 Last");
  EXPECT_EQ(At(t, Ip(223, 255, 255, 254)), "4 Last");
  EXPECT_EQ(At(t, Ip(223, 255, 254, 255)), "-");
  // The normalised list keeps the block's end exactly.
  EXPECT_EQ(NormaliseRanges(ranges).back(), ranges.back());
}

TEST(AsTable, PrivateTestAndReservedSpaceHasNoAsWhateverTheDataSays) {
  const AsTable t = Table({{Ip(9, 0, 0, 0), Ip(11, 255, 255, 255), 3356, "Everything"},
                           {Ip(198, 0, 0, 0), Ip(198, 255, 255, 255), 3356, "Everything"},
                           {Ip(224, 0, 0, 0), Ip(255, 255, 255, 255), 3356, "Everything"}});
  EXPECT_EQ(At(t, Ip(9, 255, 255, 255)), "3356 Everything");
  EXPECT_EQ(At(t, Ip(10, 0, 0, 0)), "-");
  EXPECT_EQ(At(t, Ip(10, 255, 255, 255)), "-");
  EXPECT_EQ(At(t, Ip(11, 0, 0, 0)), "3356 Everything");
  EXPECT_EQ(At(t, Ip(198, 17, 255, 255)), "3356 Everything");
  EXPECT_EQ(At(t, Ip(198, 18, 0, 0)), "-");  // benchmarking, the lab's addresses
  EXPECT_EQ(At(t, Ip(198, 19, 255, 255)), "-");
  EXPECT_EQ(At(t, Ip(198, 20, 0, 0)), "3356 Everything");
  EXPECT_EQ(At(t, Ip(255, 255, 255, 255)), "-");
  for (uint32_t a : {Ip(127, 0, 0, 1), Ip(172, 31, 0, 1), Ip(192, 168, 1, 1), Ip(100, 100, 0, 1),
                     Ip(169, 254, 3, 3), Ip(192, 0, 2, 1), Ip(203, 0, 113, 9), Ip(0, 1, 2, 3)})
    EXPECT_TRUE(IsSpecialPurpose(a)) << a;
  for (uint32_t a : {Ip(172, 32, 0, 0), Ip(100, 128, 0, 0), Ip(223, 255, 255, 255), Ip(1, 1, 1, 1)})
    EXPECT_FALSE(IsSpecialPurpose(a)) << a;
}

TEST(AsTable, NeighboursOfOneAsJoinAndEachNameIsStoredOnce) {
  const std::vector<AsRange> n = NormaliseRanges({{Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), 5, "Five"},
                                                  {Ip(2, 0, 1, 0), Ip(2, 0, 1, 255), 5, "Five"},
                                                  {Ip(2, 0, 2, 0), Ip(2, 0, 2, 255), 6, "Five"}});
  ASSERT_EQ(n.size(), 2u);
  EXPECT_EQ(n[0], (AsRange{Ip(2, 0, 0, 0), Ip(2, 0, 1, 255), 5, "Five"}));
  const std::string bytes = WriteAsTable(n);
  EXPECT_EQ(bytes.find("Five"), bytes.rfind("Five"));
  EXPECT_EQ(Table(n).AsCount(), 2u);
}

TEST(AsTable, NormalisedRangesAnswerLikeANaiveScanOfTheSourceList) {
  // Random, heavily overlapping blocks inside 60.0.0.0/16 and 10.0.0.0/16
  // (special): the stored table must answer like "the narrowest block that
  // holds the address, the later of equal ones", on both sides of every
  // overlap.
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<AsRange> ranges;
    for (int i = 0; i < 40; ++i) {
      const uint32_t base = uint32_t((rng() % 2 ? Ip(60, 0, 0, 0) : Ip(10, 0, 0, 0)) + rng() % 4000);
      ranges.push_back({base, uint32_t(base + rng() % 600), uint32_t(rng() % 5), "AS" + std::to_string(rng() % 3)});
    }
    const AsTable t = Table(ranges);
    for (uint32_t a = Ip(60, 0, 0, 0); a < Ip(60, 0, 20, 0); a += 7) {
      const AsRange* best = nullptr;
      for (const AsRange& r : ranges)
        if (a >= r.first && a <= r.last && (!best || r.last - r.first <= best->last - best->first)) best = &r;
      EXPECT_EQ(At(t, a), best ? std::to_string(best->asn) + " " + best->name : "-") << round << " " << a;
      EXPECT_EQ(At(t, a - Ip(60, 0, 0, 0) + Ip(10, 0, 0, 0)), "-");
    }
  }
}

TEST(AsTable, TheReaderFollowsHandMadeBytes) {
  // Two ranges: 1.0.0.0-1.0.0.255 AS 7 "Seven", then nothing from 1.0.1.0;
  // 2.0.0.0 on AS 9 with an empty name.
  std::string b = "HopASN1\n";
  Put32(b, 4);   // ranges
  Put32(b, 2);   // AS entries
  Put32(b, 7);   // name bytes
  for (uint32_t s : {Ip(1, 0, 0, 0), Ip(1, 0, 1, 0), Ip(2, 0, 0, 0), Ip(2, 0, 0, 16)}) Put32(b, s);
  for (uint32_t i : {0u, kNoAs, 1u, kNoAs}) Put32(b, i);
  Put32(b, 7), Put32(b, 0);
  Put32(b, 9), Put32(b, 6);
  b += std::string("Seven\0\0", 7);
  std::string why;
  const std::optional<AsTable> t = AsTable::FromBytes(b, &why);
  ASSERT_TRUE(t) << why;
  EXPECT_EQ(At(*t, Ip(0, 255, 255, 255)), "-");
  EXPECT_EQ(At(*t, Ip(1, 0, 0, 77)), "7 Seven");
  EXPECT_EQ(At(*t, Ip(1, 0, 1, 0)), "-");
  EXPECT_EQ(At(*t, Ip(2, 0, 0, 15)), "9 ");
  EXPECT_EQ(At(*t, Ip(2, 0, 0, 16)), "-");
  EXPECT_EQ(AsText(*t->FindHostOrder(Ip(2, 0, 0, 1))), "AS9");
  EXPECT_EQ(AsText(*t->FindHostOrder(Ip(1, 0, 0, 1))), "AS7 Seven");

  // Damaged versions are refused, each with its reason.
  auto refused = [&](std::string bytes, const std::string& reason) {
    std::string w;
    EXPECT_FALSE(AsTable::FromBytes(std::move(bytes), &w));
    EXPECT_NE(w.find(reason), std::string::npos) << w;
  };
  refused("HopASN2\n" + b.substr(8), "header");
  refused(b.substr(0, b.size() - 1), "bytes");
  refused(b + "x", "bytes");
  std::string order = b;
  order[20 + 4 * 1 + 3] = 0;  // the second start falls below the first
  refused(order, "out of order");
  std::string index = b;
  index[20 + 16 + 8] = 2;  // AS entry 2 of 2
  refused(index, "no AS entry");
  std::string name = b;
  name[20 + 32 + 12] = 7;  // name offset 7 of 7 bytes
  refused(name, "outside the names");
  std::string end = b;
  end.back() = 'x';
  refused(end, "no end");
  refused("", "header");
}

TEST(AsLookup, AMissingFileAnswersNothingAndSaysWhy) {
  AsLookup lookup("/nonexistent-hopsight/ASN.idx");
  EXPECT_FALSE(lookup.Find(inet_addr("8.8.8.8")));
  EXPECT_FALSE(lookup.Available());
  EXPECT_NE(lookup.Error().find("/nonexistent-hopsight/ASN.idx"), std::string::npos) << lookup.Error();
}

TEST(AsSource, TheBuilderReadsNumericRecordsWithQuotedNamesAndSkipsTheRest) {
  const asnbuild::SourceRead read = asnbuild::ReadAsnCsv(
      "16777216,16777471,13335,\"Cloudflare, Inc.\"\n"
      "16793600,16809983,18144,\"Enecom,Inc.\"\r\n"
      "not,a,number,row\n"
      "100,50,1,reversed\n"
      "16809984,16827647,23969,TOT Public\tCompany Limited\n"
      "1,2,3\n");
  ASSERT_EQ(read.ranges.size(), 3u);
  EXPECT_EQ(read.ranges[0], (AsRange{16777216, 16777471, 13335, "Cloudflare, Inc."}));
  EXPECT_EQ(read.ranges[1].name, "Enecom,Inc.");
  EXPECT_EQ(read.ranges[2].name, "TOT Public Company Limited");  // no control characters in a cell
  EXPECT_EQ(read.skipped, 3u);
  EXPECT_EQ(read.firstSkipped, 3u);
  EXPECT_FALSE(read.malformed);
  EXPECT_TRUE(asnbuild::ReadAsnCsv("1,2,3,\"never closed\n").malformed);
}

}  // namespace
}  // namespace hs::asn
