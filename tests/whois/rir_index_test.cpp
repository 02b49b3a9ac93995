// RIR.idx: the reader's rules, the writer against the reader, the builder's
// choice of ranges, and the shipped index against well-known allocations.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <random>

#include "tests/config/temp_dir.h"
#include "tools/rirdata/rir_cover.h"
#include "whois/rir_index.h"

namespace hs::whois {
namespace {

uint32_t A(const char* dotted) { return ntohl(inet_addr(dotted)); }

TEST(RirIndexReader, FindsAddressesStrictlyBetweenTheBoundsApnicFirst) {
  const RirIndexData d = ParseRirIndex(
      "[apnic]\n"
      "1.0.0.0\t1.255.255.255\n"
      "[ripe]\n"
      "1.2.0.0\t1.2.255.255\n"  // inside APNIC's: APNIC answers
      "2.0.0.0\t2.255.255.255\n");
  EXPECT_TRUE(d.available);
  EXPECT_EQ(d.Lookup(A("1.0.0.1")), kRirApnic);
  EXPECT_EQ(d.Lookup(A("1.2.3.4")), kRirApnic);
  EXPECT_EQ(d.Lookup(A("2.100.0.1")), kRirRipe);
  EXPECT_EQ(d.Lookup(A("3.0.0.1")), kRirArin);
}

TEST(RirIndexReader, SkipsWhatDoesNotParseAndRefusesAFileWithoutTheApnicSection) {
  const RirIndexData d = ParseRirIndex(
      "[apnic] generated\n"
      "1.0.0.0 1.255.255.255\n"        // a blank, not a tab
      "1.0.0.0\t255.255.255.255\n"     // the error value
      "bogus\t1.2.3.4\n"
      "5.0.0.0\t5.255.255.255\r\n"
      "[ripe]\n");
  ASSERT_EQ(d.apnic.size(), 1u);
  EXPECT_EQ(d.apnic[0], (RirRange{A("5.0.0.0"), A("5.255.255.255")}));
  EXPECT_EQ(d.Lookup(A("1.2.3.4")), kRirArin);

  const RirIndexData ripeFirst = ParseRirIndex("[ripe]\n2.0.0.0\t2.255.255.255\n");
  EXPECT_FALSE(ripeFirst.available);
  EXPECT_EQ(ripeFirst.Lookup(A("2.1.1.1")), kRirArin);
}

TEST(RirIndexReader, KeepsTheCapacityOfEachListAndReadsLongLinesInPieces) {
  std::string text = "[apnic]\n";
  for (int i = 0; i < 600; ++i) text += "10.0.0.0\t10.0.0.2\n";
  text += "[ripe]\n" + std::string(300, 'x') + "\n11.0.0.0\t11.0.0.2\n";
  const RirIndexData d = ParseRirIndex(text);
  EXPECT_EQ(d.apnic.size(), kMaxApnicRanges);
  EXPECT_EQ(d.ripe.size(), 1u);
  // The second piece of a long line is a line of its own.
  const RirIndexData pieces = ParseRirIndex("[apnic]\n" + std::string(255, ' ') + "7.0.0.0\t7.0.0.9\n");
  EXPECT_EQ(pieces.apnic.size(), 1u);
}

TEST(RirIndex, ReadsItsFileOnceAndSendsEverythingToArinWithoutOne) {
  testing::TempDir dir;
  const std::string path = dir.File("RIR.idx");
  RirIndex missing(path);
  EXPECT_FALSE(missing.Loaded());
  EXPECT_EQ(missing.RirOf("1.2.3.4"), kRirArin);
  EXPECT_TRUE(missing.Loaded());

  testing::WriteFile(path, "[apnic]\n1.0.0.0\t1.255.255.255\n[ripe]\n");
  RirIndex index(path);
  EXPECT_EQ(index.RirOf("1.2.3.4"), kRirApnic);
  testing::WriteFile(path, "[apnic]\n[ripe]\n1.0.0.0\t1.255.255.255\n");
  EXPECT_EQ(index.RirOf("1.2.3.4"), kRirApnic) << "never read again";
  EXPECT_EQ(missing.RirOf("1.2.3.4"), kRirArin) << "never read again";
  EXPECT_EQ(index.RirOf("not an address"), kRirArin);
}

// Also the reader's rule that a bound itself is not inside.
TEST(RirIndexWriter, WritesBoundsOneOutsideEachBlockSoTheReaderFindsExactlyIt) {
  const auto text = FormatRirIndex({{A("1.0.0.0"), A("1.0.3.255")}}, {{A("2.0.0.0"), A("2.0.0.0")}});
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "[apnic]\n0.255.255.255\t1.0.4.0\n[ripe]\n1.255.255.255\t2.0.0.1\n");
  const RirIndexData d = ParseRirIndex(*text);
  EXPECT_EQ(d.Lookup(A("1.0.0.0")), kRirApnic);
  EXPECT_EQ(d.Lookup(A("1.0.3.255")), kRirApnic);
  EXPECT_EQ(d.Lookup(A("1.0.4.0")), kRirArin);
  EXPECT_EQ(d.Lookup(A("0.255.255.255")), kRirArin);
  EXPECT_EQ(d.Lookup(A("2.0.0.0")), kRirRipe);
  EXPECT_EQ(d.Lookup(A("2.0.0.1")), kRirArin);

  // The ends of the address space: the error value is never written.
  const auto edges = FormatRirIndex({{0, 5}}, {{A("255.255.255.250"), 0xFFFFFFFFu}});
  ASSERT_TRUE(edges);
  EXPECT_EQ(edges->find("255.255.255.255"), std::string::npos);
  const RirIndexData e = ParseRirIndex(*edges);
  EXPECT_EQ(e.Lookup(0), kRirArin);
  EXPECT_EQ(e.Lookup(1), kRirApnic);
  EXPECT_EQ(e.Lookup(A("255.255.255.253")), kRirRipe);

  EXPECT_FALSE(FormatRirIndex(std::vector<AddressBlock>(kMaxApnicRanges + 1, {1, 2}), {}));
}

}  // namespace
}  // namespace hs::whois

namespace hs::rirdata {
namespace {

using whois::AddressBlock;

TEST(RirData, ReadsRangesAndLetsNarrowerOnesHoldTheirAddresses) {
  size_t skipped = 0;
  std::vector<Segment> ranges = ReadCountryRanges("100,199,DE\n150,159,JP\r\n200,299,FR\nbad line\n300,250,US\n",
                                                  &skipped);
  EXPECT_EQ(skipped, 2u);
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(Flatten(ranges), (std::vector<Segment>{{100, 149, Label::Ripe},
                                                   {150, 159, Label::Apnic},
                                                   {160, 299, Label::Ripe}}));
}

// Best total weight of at most k blocks, by trying every coverage of the
// (contiguous) segments.
int64_t BruteForceBest(const std::vector<Segment>& s, Label target, const std::vector<Label>& penalised, size_t k) {
  int64_t best = 0;
  for (uint32_t mask = 0; mask < (1u << s.size()); ++mask) {
    size_t runs = 0;
    int64_t total = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      if (!(mask >> i & 1)) continue;
      if (i == 0 || !(mask >> (i - 1) & 1)) ++runs;
      const int64_t size = s[i].last - s[i].first + 1;
      if (s[i].label == target) total += size;
      else if (std::find(penalised.begin(), penalised.end(), s[i].label) != penalised.end()) total -= size;
    }
    if (runs <= k) best = std::max(best, total);
  }
  return best;
}

int64_t Value(const std::vector<Segment>& s, const std::vector<AddressBlock>& blocks, Label target,
              const std::vector<Label>& penalised) {
  int64_t total = 0;
  for (const Segment& seg : s) {
    for (uint32_t a = seg.first; a <= seg.last; ++a) {
      bool in = false;
      for (const auto& b : blocks) in = in || (b.first <= a && a <= b.last);
      if (!in) continue;
      if (seg.label == target) ++total;
      else if (std::find(penalised.begin(), penalised.end(), seg.label) != penalised.end()) --total;
    }
  }
  return total;
}

std::vector<Segment> RandomSegments(std::mt19937& random, size_t count, uint32_t start = 10) {
  std::vector<Segment> s;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t size = 1 + random() % 20;
    s.push_back({start, start + size - 1, static_cast<Label>(random() % 4)});
    start += size;
  }
  return s;
}

TEST(RirData, ChoosesTheBestBlocksForAnyCapacity) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const std::vector<Segment> s = RandomSegments(random, 2 + random() % 10);
    const size_t k = 1 + random() % 4;
    const std::vector<Label> penalised = {Label::Ripe, Label::Other};
    const auto blocks = ChooseBlocks(s, Label::Apnic, penalised, k);
    ASSERT_LE(blocks.size(), k);
    for (size_t i = 1; i < blocks.size(); ++i) ASSERT_LT(blocks[i - 1].last, blocks[i].first);
    ASSERT_EQ(Value(s, blocks, Label::Apnic, penalised), BruteForceBest(s, Label::Apnic, penalised, k))
        << "round " << round;
  }
}

TEST(RirData, CountsMisassignedAddressesExactlyAsTheReaderAnswers) {
  std::mt19937 random(11);
  for (int round = 0; round < 100; ++round) {
    const std::vector<Segment> s = RandomSegments(random, 30, 1 + random() % 3);
    std::string text = "[apnic]\n";
    auto line = [&](uint32_t a, uint32_t b) {
      text += std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." + std::to_string(a >> 8 & 255) +
              "." + std::to_string(a & 255) + "\t0.0." + std::to_string(b >> 8) + "." + std::to_string(b & 255) + "\n";
    };
    for (int i = 0; i < 4; ++i) line(random() % 400, random() % 450);
    text += "[ripe]\n";
    for (int i = 0; i < 4; ++i) line(random() % 400, random() % 450);
    const whois::RirIndexData index = whois::ParseRirIndex(text);

    Misassigned expected;
    for (const Segment& seg : s) {
      if (seg.label == Label::Unknown) continue;
      const whois::Rir want = seg.label == Label::Apnic ? whois::kRirApnic
                              : seg.label == Label::Ripe ? whois::kRirRipe : whois::kRirArin;
      for (uint32_t a = seg.first; a <= seg.last; ++a) {
        ++expected.known;
        expected.addresses += index.Lookup(a) != want;
      }
    }
    const Misassigned counted = CountMisassigned(s, index);
    ASSERT_EQ(counted.addresses, expected.addresses) << text;
    ASSERT_EQ(counted.known, expected.known);
    ASSERT_EQ(counted.apnic + counted.ripe + counted.other, counted.addresses);
  }
}

TEST(RirData, ACoverWithEnoughRangesMisassignsNothingAndAShortOneStaysWithinItsLists) {
  std::mt19937 random(5);
  const std::vector<Segment> s = RandomSegments(random, 40);
  Cover cover = ChooseCover(s, 40, 40);
  EXPECT_EQ(CountMisassigned(s, whois::ParseRirIndex(*whois::FormatRirIndex(cover.apnic, cover.ripe))).addresses, 0u);
  cover = ChooseCover(s, 2, 3);
  EXPECT_LE(cover.apnic.size(), 2u);
  EXPECT_LE(cover.ripe.size(), 3u);
}

#ifdef HOPSIGHT_RIR_INDEX
// The index the build made from the open data, checked against blocks whose
// registry everybody knows.
TEST(ShippedRirIndex, AnswersWellKnownAllocations) {
  whois::RirIndex index{std::string(HOPSIGHT_RIR_INDEX)};
  if (!index.Available()) GTEST_SKIP() << HOPSIGHT_RIR_INDEX << " was not built (no npm data)";
  EXPECT_EQ(index.RirOf("133.11.0.1"), whois::kRirApnic) << "University of Tokyo (JPNIC)";
  EXPECT_EQ(index.RirOf("126.10.20.30"), whois::kRirApnic) << "SoftBank, Japan";
  EXPECT_EQ(index.RirOf("1.1.1.1"), whois::kRirApnic) << "APNIC's research block";
  EXPECT_EQ(index.RirOf("84.150.1.1"), whois::kRirRipe) << "Deutsche Telekom";
  EXPECT_EQ(index.RirOf("193.0.6.139"), whois::kRirRipe) << "RIPE NCC itself";
  EXPECT_EQ(index.RirOf("128.32.0.10"), whois::kRirArin) << "UC Berkeley";
  EXPECT_EQ(index.RirOf("171.64.1.1"), whois::kRirArin) << "Stanford University";
  EXPECT_EQ(index.RirOf("200.160.2.3"), whois::kRirArin) << "NIC.br: LACNIC, asked through ARIN";
  EXPECT_EQ(index.RirOf("41.0.0.1"), whois::kRirArin) << "AFRINIC, asked through ARIN";
}
#endif

}  // namespace
}  // namespace hs::rirdata
