#include "asn_source.h"

#include <charconv>

#include "asn/csv.h"

namespace hs::asnbuild {
namespace {

template <typename T>
bool Number(const std::string& text, T& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

// Control characters have no place in a name shown in a table cell.
std::string CleanName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
  const size_t first = out.find_first_not_of(' '), last = out.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

}  // namespace

SourceRead ReadAsnCsv(std::string_view text) {
  SourceRead read;
  csv::Reader reader(text);
  std::vector<std::string> fields;
  while (reader.Next(fields)) {
    asn::AsRange r;
    if (fields.size() != 4 || !Number(fields[0], r.first) || !Number(fields[1], r.last) ||
        !Number(fields[2], r.asn) || r.first > r.last) {
      if (read.skipped++ == 0) read.firstSkipped = reader.Line();
      continue;
    }
    r.name = CleanName(fields[3]);
    read.ranges.push_back(std::move(r));
  }
  read.malformed = reader.Failed();
  return read;
}

}  // namespace hs::asnbuild
