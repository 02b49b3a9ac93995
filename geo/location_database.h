// HopSight.gdp: positions of routers by host name (or dotted address). One
// reader (LocDBInit) and one writer (WriteLocationDatabase) of the format;
// the builder in tools/geodb and the tests use the same writer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "geo/wildcard.h"
#include "trace/records.h"

namespace hs::geo {

inline constexpr std::string_view kDatabaseFileName = "HopSight.gdp";
inline constexpr std::string_view kDatabaseMagic = "TR20GDP1";
inline constexpr size_t kDatabaseHeaderSize = 80;
// Writer and reader share it: byte p of the body is stored XOR ((p + 1) mod it).
inline constexpr uint32_t kScrambleModulus = 251;
// Every database position carries this precision.
inline constexpr int32_t kDatabasePrecision = 40;
// The key of the domain whose patterns are matched against dotted addresses.
inline constexpr std::string_view kAddressDomain = ".";

struct PatternEntry {
  std::string pattern;
  GeoLocation location;  // source None: the caller stamps it
};

struct DomainEntry {
  std::string key;
  std::vector<PatternEntry> patterns;
};

// Shows a message box (the window) or prints it (the command line).
class GeoMessages {
 public:
  virtual ~GeoMessages() = default;
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
};

class LocationDatabase {
 public:
  LocationDatabase() = default;
  LocationDatabase(const LocationDatabase&) = delete;
  LocationDatabase& operator=(const LocationDatabase&) = delete;

  const std::vector<DomainEntry>& Domains() const { return domains_; }
  size_t PatternCount() const;

  // The position of the first pattern, in list order, of the host name's
  // domain that matches it; with an empty name, the address domain's first
  // pattern that matches the dotted address. Null when none does. The
  // domain is the one with the longest key that ends the name (the last
  // of equally long ones in list order).
  const GeoLocation* FindInDatabase(std::string_view hostName, uint32_t address) const;
  // The same answer by trying every pattern of the domain in turn; kept for
  // the tests and the benchmark that compare the two.
  const GeoLocation* FindByLinearScan(std::string_view hostName, uint32_t address) const;

 private:
  friend uint32_t LocDBInit(LocationDatabase& database, std::string_view image, GeoMessages* messages);
  const DomainEntry* DomainOf(std::string_view text, size_t* index) const;
  const WildcardIndex& IndexOf(size_t domain) const;

  std::vector<DomainEntry> domains_;
  // One index per domain over its patterns, built on the domain's first
  // lookup: start-up pays only for reading the file, and a trace only for
  // the domains its routers belong to.
  struct LazyIndex {
    std::once_flag once;
    WildcardIndex index;
  };
  mutable std::vector<std::unique_ptr<LazyIndex>> index_;
};

// Loads a whole file image into an empty database: 0 on success, otherwise
// the failure code (1 magic or leading body bytes, 2 length byte, 3 text,
// 4 P, 5 D, 6 D <= 1, 7 domain records, 8 pattern records, 9 negative domain
// length, 16-18 domain names, 19-21 patterns). A load that fails part-way
// keeps what it appended. A wrong magic also shows "Invalid HopSight.gdp".
uint32_t LocDBInit(LocationDatabase& database, std::string_view image, GeoMessages* messages = nullptr);

// Reads <dataDir>/HopSight.gdp and reports failures as the program does.
// Returns true when the file could not be opened (the caller may then ask
// the user to update it); the database then stays empty.
bool LoadLocationDatabase(const std::string& dataDir, LocationDatabase& database, GeoMessages* messages);

// What the writer stores: domains in order, each with its patterns in order.
struct DatabaseSpec {
  std::string description;  // the body's text, at most 255 bytes
  std::vector<DomainEntry> domains;
};

// The file's bytes. Throws std::invalid_argument for what the format cannot
// hold (more than 65535 patterns in a domain, an empty domain key, a text
// over 255 bytes, a position out of range).
std::string WriteLocationDatabase(const DatabaseSpec& spec);

// The stored forms of texts, shared by writer and reader (exposed for tests).
std::string StoredDomainName(std::string_view key);
std::string StoredPattern(std::string_view pattern);
// Position bytes of a pattern record and back; 1/120 degree grain.
void EncodePosition(double latitude, double longitude, uint8_t out[4]);
void DecodePosition(const uint8_t in[4], double& latitude, double& longitude);

}  // namespace hs::geo
