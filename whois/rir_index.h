// The regional registry index, RIR.idx: which address blocks APNIC and RIPE
// NCC administer. Every other address is asked of ARIN.
//
// The file is text: "[apnic]", then one "first<TAB>last" line of dotted
// addresses per range, then "[ripe]" and its ranges. A range holds the
// addresses strictly between its two bounds. This header holds the one
// reader and the one writer of the format; tools/rirdata writes the shipped
// file through FormatRirIndex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs::whois {

// RirOf's answers.
enum Rir : int { kRirArin = 0, kRirApnic = 1, kRirRipe = 2 };

inline constexpr size_t kMaxApnicRanges = 545;
inline constexpr size_t kMaxRipeRanges = 512;

// A pair as it stands in the file: host-order numbers, exclusive bounds.
struct RirRange {
  uint32_t first = 0;
  uint32_t last = 0;
  friend bool operator==(const RirRange&, const RirRange&) = default;
};

// Inclusive block of addresses in host order, for the writer.
struct AddressBlock {
  uint32_t first = 0;
  uint32_t last = 0;
};

struct RirIndexData {
  std::vector<RirRange> apnic;
  std::vector<RirRange> ripe;
  bool available = false;

  // The reader's rule: the first APNIC pair with first < A < last gives
  // APNIC, else the first such RIPE pair gives RIPE, else ARIN.
  Rir Lookup(uint32_t hostOrderAddress) const;
};

// Reads the file's text. Lines longer than 255 characters are read in
// pieces; lines without a tab or with an address that does not convert
// (255.255.255.255 included) are skipped; ranges beyond a list's capacity
// are ignored. Unavailable unless the first line begins with "[apnic]".
RirIndexData ParseRirIndex(std::string_view text);

// Writes blocks so that the reader finds exactly their addresses: each block
// becomes the pair (first - 1, last + 1). Address 0 and the top two addresses
// cannot be expressed (the pair would need -1 or the error value
// 255.255.255.255) and are left out of a block that reaches them. Nothing
// when a list exceeds its capacity.
std::optional<std::string> FormatRirIndex(const std::vector<AddressBlock>& apnic,
                                          const std::vector<AddressBlock>& ripe);

// The index of the running program: read from `path` on the first lookup and
// never again; a missing or malformed file sends every address to ARIN.
class RirIndex {
 public:
  explicit RirIndex(std::string path) : path_(std::move(path)) {}
  // An index over data already read (tests, tools).
  explicit RirIndex(RirIndexData data);

  // 0 ARIN (or no range), 1 APNIC, 2 RIPE, for a dotted address text.
  int RirOf(std::string_view dotted);
  bool Available();
  bool Loaded() const;

 private:
  void Load();

  std::string path_;
  std::once_flag once_;
  RirIndexData data_;
  std::atomic<bool> loaded_{false};
};

}  // namespace hs::whois
