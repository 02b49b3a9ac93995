// hopsight-rirdata: builds RIR.idx from the country of every IPv4 block.
//
//   hopsight-rirdata COUNTRY_CSV OUTPUT
//
// COUNTRY_CSV holds "first,last,CC" lines with numeric addresses (the
// geo-whois-asn-country ranges, built from the registries' own data). Each
// country is mapped to its registry; the index then gets the APNIC and RIPE
// ranges that answer wrongly for the fewest addresses. The output is
// rewritten only when its bytes change.
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "tools/rirdata/rir_cover.h"
#include "whois/rir_index.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "hopsight-rirdata: %s\n", message.c_str());
  return 1;
}

// "version" of the npm package the CSV comes from, for the data's date.
std::string PackageVersion(const std::string& csvPath) {
  const size_t slash = csvPath.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : csvPath.substr(0, slash);
  const auto json = hs::platform::ReadWholeFile(dir + "/package.json");
  if (!json) return "unknown";
  const size_t key = json->find("\"version\"");
  if (key == std::string::npos) return "unknown";
  const size_t open = json->find('"', json->find(':', key));
  const size_t close = open == std::string::npos ? open : json->find('"', open + 1);
  if (close == std::string::npos) return "unknown";
  return json->substr(open + 1, close - open - 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hopsight-rirdata COUNTRY_CSV OUTPUT\n");
    return 2;
  }
  const std::string csvPath = argv[1], outPath = argv[2];
  const auto csv = hs::platform::ReadWholeFile(csvPath);
  if (!csv) return Fail("cannot read " + csvPath);

  size_t skipped = 0;
  std::vector<hs::rirdata::Segment> ranges = hs::rirdata::ReadCountryRanges(*csv, &skipped);
  if (ranges.empty()) return Fail(csvPath + " holds no ranges");
  size_t unknownCountries = 0;
  for (const auto& r : ranges) unknownCountries += r.label == hs::rirdata::Label::Unknown;
  const std::vector<hs::rirdata::Segment> segments = hs::rirdata::Flatten(std::move(ranges));

  const hs::rirdata::Cover cover = hs::rirdata::ChooseCover(segments);
  const auto text = hs::whois::FormatRirIndex(cover.apnic, cover.ripe);
  if (!text) return Fail("too many ranges for the index");

  // Counted on what the program will read back, by its own lookup.
  const hs::whois::RirIndexData index = hs::whois::ParseRirIndex(*text);
  const hs::rirdata::Misassigned wrong = hs::rirdata::CountMisassigned(segments, index);

  const size_t slash = outPath.find_last_of('/');
  if (slash != std::string::npos) hs::platform::MakeDirectories(outPath.substr(0, slash));
  const auto old = hs::platform::ReadWholeFile(outPath);
  const bool unchanged = old && *old == *text;
  if (!unchanged && !hs::platform::ReplaceFileAtomically(outPath, *text)) return Fail("cannot write " + outPath);

  std::printf("hopsight-rirdata: %s: %zu APNIC and %zu RIPE ranges from %zu segments (data version %s)%s\n",
              outPath.c_str(), index.apnic.size(), index.ripe.size(), segments.size(),
              PackageVersion(csvPath).c_str(), unchanged ? ", unchanged" : "");
  auto count = [](uint64_t n) { return static_cast<unsigned long long>(n); };
  std::printf("hopsight-rirdata: %llu of %llu addresses misassigned (%.3f %%; APNIC's %llu, RIPE's %llu, others' %llu)",
              count(wrong.addresses), count(wrong.known),
              wrong.known ? 100.0 * static_cast<double>(wrong.addresses) / static_cast<double>(wrong.known) : 0.0,
              count(wrong.apnic), count(wrong.ripe), count(wrong.other));
  if (skipped || unknownCountries) std::printf("; %zu lines skipped, %zu ranges of unknown countries", skipped, unknownCountries);
  std::printf("\n");
  return 0;
}
