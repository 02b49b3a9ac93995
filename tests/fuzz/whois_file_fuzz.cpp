// Any bytes as HopWhoIs.ini: the reader must not crash or hang, and the table
// it read must survive a write and a second read unchanged (unless the
// writer's normalised lines grew past the reader's line length).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "whois/server_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::whois;
  const WhoIsServerTable first = ParseWhoIsFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (first.rows.size() < 2 || first.rows.size() > kMaxWhoIsRows) std::abort();
  const std::string written = FormatWhoIsFile(first);
  size_t longest = 0, start = 0;
  for (size_t end; (end = written.find('\n', start)) != std::string::npos; start = end + 1)
    longest = std::max(longest, end - start + 1);
  if (longest > 1023) return 0;
  const WhoIsServerTable second = ParseWhoIsFile(written);
  if (second.rows != first.rows || second.version != first.version) std::abort();
  if (FormatWhoIsFile(second) != written) std::abort();
  return 0;
}
