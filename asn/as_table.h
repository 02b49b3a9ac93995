// The AS table, data/ASN.idx: which autonomous system announces each IPv4
// address, looked up offline by binary search. The build makes it from open
// routing data (tools/asn); this header holds the one reader and the one
// writer of the file.
//
// Layout (all integers little-endian, 32 bits):
//   0   8 bytes  "HopASN1\n"
//   8   R        range count
//   12  A        AS count
//   16  N        bytes of names
//   20  R starts       first address of each range, strictly ascending
//       R AS indices   the range's entry in the AS list, or 0xFFFFFFFF: no AS
//       A entries      AS number, offset of its name in the names
//       N bytes        names, each ended by a NUL (UTF-8)
// A range runs from its start to the next range's start minus one (the last
// one to 255.255.255.255); addresses below the first start have no AS.
// The file is exactly that long; anything else is refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs::asn {

inline constexpr std::string_view kAsTableFileName = "ASN.idx";
inline constexpr std::string_view kAsTableMagic{"HopASN1\n", 8};
inline constexpr uint32_t kNoAs = 0xFFFFFFFF;

// One announced block as the open data lists it: host-order addresses,
// both bounds included.
struct AsRange {
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t asn = 0;
  std::string name;
  friend bool operator==(const AsRange&, const AsRange&) = default;
};

// The AS of an address. `name` points into the table it came from.
struct AsInfo {
  uint32_t asn = 0;
  std::string_view name;
};

// Private, shared, loopback, link-local, documentation, benchmarking,
// multicast and reserved space (the IANA special-purpose blocks): no AS
// announces them, whatever a data source says. Host order.
bool IsSpecialPurpose(uint32_t hostOrderAddress);

// Makes the ranges that the table stores: where ranges overlap the narrower
// one wins (of two equally wide ones the later); special-purpose space is cut
// out; neighbours of the same AS and name are joined. Sorted by address.
std::vector<AsRange> NormaliseRanges(const std::vector<AsRange>& ranges);

// The file's bytes for ranges (normalised first).
std::string WriteAsTable(const std::vector<AsRange>& ranges);

// "AS15169 Google LLC", or "AS15169" for an AS without a name.
std::string AsText(const AsInfo& info);

class AsTable {
 public:
  AsTable() = default;
  // Checks every count, offset and order in the bytes before it answers.
  // Nullopt for bytes that are not a whole, well-formed table; `why` (if
  // given) says what is wrong.
  static std::optional<AsTable> FromBytes(std::string bytes, std::string* why = nullptr);

  // The AS of a host-order address; none for special-purpose space.
  std::optional<AsInfo> FindHostOrder(uint32_t address) const;
  // The same for an address as the hop rows hold it (network byte order).
  std::optional<AsInfo> Find(uint32_t networkOrderAddress) const;

  // The ranges that have an AS, in address order (the writer's input again).
  std::vector<AsRange> Ranges() const;

  size_t RangeCount() const { return ranges_; }
  size_t AsCount() const { return systems_; }

 private:
  uint32_t Start(size_t i) const;
  uint32_t Index(size_t i) const;

  std::string bytes_;
  size_t ranges_ = 0;
  size_t systems_ = 0;
  size_t startsAt_ = 0, indicesAt_ = 0, entriesAt_ = 0, namesAt_ = 0;
};

// The program's table: read from `path` on the first lookup, then kept. A
// missing or damaged file answers nothing; Error() says why.
class AsLookup {
 public:
  explicit AsLookup(std::string path) : path_(std::move(path)) {}
  // A lookup over a table in memory (tests, tools).
  explicit AsLookup(AsTable table);
  AsLookup(const AsLookup&) = delete;
  AsLookup& operator=(const AsLookup&) = delete;

  std::optional<AsInfo> Find(uint32_t networkOrderAddress) const;
  bool Available() const;
  // True once a lookup (or Available) has read the file, or tried to.
  bool Loaded() const { return loaded_.load(); }
  // Why the table could not be read; empty when it was, or before the first use.
  std::string Error() const;
  const std::string& Path() const { return path_; }

 private:
  void Load() const;

  std::string path_;
  mutable std::once_flag once_;
  mutable std::optional<AsTable> table_;
  mutable std::string error_;
  mutable std::atomic<bool> loaded_{false};
};

}  // namespace hs::asn
