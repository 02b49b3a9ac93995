// hopsight-asn: builds ASN.idx (IPv4 address -> autonomous system) from the
// numeric IPv4 CSV of @ip-location-db/asn (RouteViews and DB-IP ASN Lite data).
//
//   hopsight-asn SOURCE.csv OUT/ASN.idx
#include <cstdio>
#include <string>

#include "asn_source.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hopsight-asn asn-ipv4-num.csv ASN.idx\n");
    return 2;
  }
  const std::string source = argv[1], out = argv[2];
  hs::platform::FileError error;
  const std::optional<std::string> text = hs::platform::ReadWholeFile(source, &error);
  if (!text) {
    std::fprintf(stderr, "hopsight-asn: %s\n", error.Describe().c_str());
    return 1;
  }
  const hs::asnbuild::SourceRead read = hs::asnbuild::ReadAsnCsv(*text);
  if (read.malformed || read.ranges.empty() || read.skipped > read.ranges.size() / 100) {
    // A changed format must stop the build rather than ship a thin table.
    std::fprintf(stderr, "hopsight-asn: %s: %zu records read, %zu not understood (the first on line %zu)%s\n",
                 source.c_str(), read.ranges.size(), read.skipped, read.firstSkipped,
                 read.malformed ? ", and a quote that is never closed" : "");
    return 1;
  }
  const std::string bytes = hs::asn::WriteAsTable(read.ranges);
  const size_t slash = out.rfind('/');
  if (slash != std::string::npos) hs::platform::MakeDirectories(out.substr(0, slash));
  const hs::platform::FileResult written = hs::platform::ReplaceFileAtomically(out, bytes);
  if (!written) {
    std::fprintf(stderr, "hopsight-asn: %s\n", written.error.Describe().c_str());
    return 1;
  }
  const std::optional<hs::asn::AsTable> table = hs::asn::AsTable::FromBytes(bytes);
  std::fprintf(stderr, "hopsight-asn: %zu records (%zu skipped) -> %zu ranges of %zu networks, %zu bytes%s\n",
               read.ranges.size(), read.skipped, table ? table->RangeCount() : 0, table ? table->AsCount() : 0,
               bytes.size(), written.changed ? "" : " (unchanged)");
  return table ? 0 : 1;
}
