// Reading the open data that ASN.idx is built from: the numeric IPv4 file of
// @ip-location-db/asn, one "first,last,AS number,AS organisation" record per
// announced block (addresses as decimal numbers, both bounds included).
#pragma once

#include <string_view>
#include <vector>

#include "asn/as_table.h"

namespace hs::asnbuild {

struct SourceRead {
  std::vector<asn::AsRange> ranges;
  size_t skipped = 0;       // records that are not four fields of the kind above
  size_t firstSkipped = 0;  // line of the first of them (0: none)
  bool malformed = false;   // the CSV itself broke off (an unclosed quote)
};

SourceRead ReadAsnCsv(std::string_view text);

}  // namespace hs::asnbuild
