#include "geo/location_database.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "i18n/language.h"
#include "platform/byte_order.h"
#include "platform/files.h"
#include "platform/resolver.h"

namespace hs::geo {

namespace {

// Reads the scrambled body of a file image: byte p is stored as the plain
// byte XOR ((p + 1) mod kScrambleModulus), whatever the order of the reads,
// so the image is unscrambled once and then read like a plain file.
class EncryptedReader {
 public:
  explicit EncryptedReader(std::string_view image) : plain_(image) {
    uint32_t key = (kDatabaseHeaderSize + 1) % kScrambleModulus;
    for (size_t p = kDatabaseHeaderSize; p < plain_.size(); ++p) {
      plain_[p] = char(uint8_t(plain_[p]) ^ key);
      if (++key == kScrambleModulus) key = 0;
    }
  }

  size_t Position() const { return position_; }
  void Seek(uint64_t position) { position_ = position; }
  bool Has(uint64_t size) const { return position_ <= plain_.size() && size <= plain_.size() - position_; }
  // The next `size` bytes, or null when they run past the end.
  const char* Take(uint64_t size) {
    if (!Has(size)) return nullptr;
    const char* at = plain_.data() + position_;
    position_ += size;
    return at;
  }
  bool Read(void* destination, uint64_t size) {
    const char* at = Take(size);
    if (at && size) std::memcpy(destination, at, size);
    return at != nullptr;
  }
  bool ReadU32(uint32_t& v) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    v = platform::LoadU32(b);
    return true;
  }
  // The next `size` bytes in reverse order, after `before` and before `after`.
  bool ReadReversed(std::string& out, uint64_t size, std::string_view before = {}, std::string_view after = {}) {
    const char* at = Take(size);
    if (!at) return false;
    out.clear();
    out.reserve(before.size() + size + after.size());
    out += before;
    for (uint64_t i = size; i > 0; --i) out += at[i - 1];
    out += after;
    return true;
  }

 private:
  std::string plain_;
  uint64_t position_ = 0;
};

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) { return platform::LoadU32(bytes.data() + at); }
constexpr auto PutU16 = platform::AppendU16;
constexpr auto PutU32 = platform::AppendU32;

constexpr uint8_t kVerbatimDomain = 0xFE;
constexpr uint8_t kVerbatimPattern = 0xFF;
constexpr std::string_view kNetSuffix = ".net";

std::string Reversed(std::string_view s) { return std::string(s.rbegin(), s.rend()); }

}  // namespace

size_t LocationDatabase::PatternCount() const {
  size_t n = 0;
  for (const DomainEntry& d : domains_) n += d.patterns.size();
  return n;
}

const DomainEntry* LocationDatabase::DomainOf(std::string_view text, size_t* index) const {
  const DomainEntry* best = nullptr;
  size_t bestLength = 0;
  for (size_t i = 0; i < domains_.size(); ++i) {
    const size_t length = MatchDomainSuffix(text, domains_[i].key);
    if (length > 0 && length >= bestLength) {
      best = &domains_[i];
      bestLength = length;
      *index = i;
    }
  }
  return best;
}

const GeoLocation* LocationDatabase::FindInDatabase(std::string_view hostName, uint32_t address) const {
  const std::string dotted = hostName.empty() ? platform::AddressToDotted(address) : std::string();
  const std::string_view text = hostName.empty() ? std::string_view(dotted) : hostName;
  size_t i = 0;
  const DomainEntry* domain = DomainOf(hostName.empty() ? kAddressDomain : hostName, &i);
  if (!domain) return nullptr;
  const int64_t k = IndexOf(i).FirstMatch(text);
  return k < 0 ? nullptr : &domain->patterns[size_t(k)].location;
}

const GeoLocation* LocationDatabase::FindByLinearScan(std::string_view hostName, uint32_t address) const {
  const std::string dotted = hostName.empty() ? platform::AddressToDotted(address) : std::string();
  const std::string_view text = hostName.empty() ? std::string_view(dotted) : hostName;
  size_t i = 0;
  const DomainEntry* domain = DomainOf(hostName.empty() ? kAddressDomain : hostName, &i);
  if (!domain) return nullptr;
  for (const PatternEntry& p : domain->patterns)
    if (MatchWildcard(text, p.pattern) == 0) return &p.location;
  return nullptr;
}

const WildcardIndex& LocationDatabase::IndexOf(size_t domain) const {
  LazyIndex& lazy = *index_[domain];
  std::call_once(lazy.once, [&] {
    std::vector<std::string_view> patterns;
    patterns.reserve(domains_[domain].patterns.size());
    for (const PatternEntry& p : domains_[domain].patterns) patterns.push_back(p.pattern);
    lazy.index = WildcardIndex(patterns);
  });
  return lazy.index;
}

void DecodePosition(const uint8_t in[4], double& latitude, double& longitude) {
  const double latSign = (in[1] & 0x80) ? -1.0 : 1.0;
  const double lonSign = (in[3] & 0x80) ? -1.0 : 1.0;
  latitude = latSign * (in[0] + (in[1] & 0x7F) / 120.0);
  longitude = lonSign * (in[2] + (in[3] & 0x7F) / 120.0);
}

void EncodePosition(double latitude, double longitude, uint8_t out[4]) {
  auto encode = [](double v, double limit, uint8_t* b) {
    if (!(std::fabs(v) <= limit)) throw std::invalid_argument("position out of range");
    const long units = std::lround(std::fabs(v) * 120.0);
    b[0] = static_cast<uint8_t>(units / 120);
    b[1] = static_cast<uint8_t>((units % 120) | (v < 0 && units != 0 ? 0x80 : 0));
  };
  encode(latitude, 90.0, out);
  encode(longitude, 180.0, out + 2);
}

std::string StoredDomainName(std::string_view key) {
  if (key.empty()) throw std::invalid_argument("empty domain key");
  // ".x.net" is stored as x reversed; anything else verbatim after 0xFE.
  if (key.size() > 1 + kNetSuffix.size() && key[0] == '.' && key.substr(key.size() - kNetSuffix.size()) == kNetSuffix) {
    std::string stored = Reversed(key.substr(1, key.size() - 1 - kNetSuffix.size()));
    if (static_cast<uint8_t>(stored[0]) != kVerbatimDomain) return stored;
  }
  return std::string(1, char(kVerbatimDomain)) + Reversed(key);
}

std::string StoredPattern(std::string_view pattern) {
  // "*x*" is stored as x reversed; anything else verbatim after 0xFF.
  if (pattern.size() > 2 && pattern.front() == '*' && pattern.back() == '*') {
    std::string stored = Reversed(pattern.substr(1, pattern.size() - 2));
    if (static_cast<uint8_t>(stored[0]) != kVerbatimPattern) return stored;
  }
  return std::string(1, char(kVerbatimPattern)) + Reversed(pattern);
}

std::string WriteLocationDatabase(const DatabaseSpec& spec) {
  if (spec.description.size() > 255) throw std::invalid_argument("description over 255 bytes");
  std::string names, domainRecords, patternRecords;
  size_t patternCount = 0;
  for (const DomainEntry& d : spec.domains) {
    if (d.patterns.size() > 0xFFFF) throw std::invalid_argument("more than 65535 patterns in " + d.key);
    PutU16(domainRecords, uint32_t(d.patterns.size()));
    PutU32(domainRecords, uint32_t(names.size()));
    names += StoredDomainName(d.key);
  }
  PutU16(domainRecords, 0);  // sentinel
  PutU32(domainRecords, uint32_t(names.size()));
  for (const DomainEntry& d : spec.domains) {
    for (const PatternEntry& p : d.patterns) {
      uint8_t pos[4];
      EncodePosition(p.location.latitude, p.location.longitude, pos);
      patternRecords.append(reinterpret_cast<const char*>(pos), 4);
      PutU32(patternRecords, uint32_t(names.size()));
      names += StoredPattern(p.pattern);
      ++patternCount;
    }
  }
  patternRecords.append(4, '\0');  // sentinel
  PutU32(patternRecords, uint32_t(names.size()));
  if (names.size() > 0xFFFFFFFFu) throw std::invalid_argument("name area over 4 GiB");

  std::string out(kDatabaseMagic);
  std::string header = "HopSight router-name locations";
  header.resize(kDatabaseHeaderSize - kDatabaseMagic.size(), '\0');
  out += header;
  std::string body(3, '\0');
  body += char(spec.description.size());
  body += spec.description;
  body += '\0';
  PutU32(body, uint32_t(patternCount + 1));
  PutU32(body, uint32_t(spec.domains.size() + 1));
  body += domainRecords;
  body += patternRecords;
  body += names;
  for (size_t i = 0; i < body.size(); ++i) {
    const size_t p = kDatabaseHeaderSize + i;
    body[i] = char(static_cast<uint8_t>(body[i]) ^ uint8_t((p + 1) % kScrambleModulus));
  }
  return out + body;
}

uint32_t LocDBInit(LocationDatabase& database, std::string_view image, GeoMessages* messages) {
  if (image.substr(0, kDatabaseMagic.size()) != kDatabaseMagic) {
    if (messages) messages->ShowMessage(i18n::Tr(NC_("900015", "Invalid HopSight.gdp")), i18n::Tr(NC_("81", "Error")));
    return 1;
  }
  EncryptedReader in(image);
  in.Seek(kDatabaseHeaderSize);
  uint8_t lead[3], length = 0;
  uint32_t patternCount = 0, domainCount = 0;
  if (!in.Read(lead, 3)) return 1;
  if (!in.Read(&length, 1)) return 2;
  if (!in.Take(uint64_t(length) + 1)) return 3;
  if (!in.ReadU32(patternCount)) return 4;
  if (!in.ReadU32(domainCount)) return 5;
  if (domainCount <= 1) return 6;
  // Sizes are checked against the image before anything is allocated.
  std::vector<uint8_t> domains, patterns;
  if (uint64_t(domainCount) * 6 > image.size()) return 7;
  domains.resize(size_t(domainCount) * 6);
  if (!in.Read(domains.data(), domains.size())) return 7;
  if (uint64_t(patternCount) * 8 > image.size()) return 8;
  patterns.resize(size_t(patternCount) * 8);
  if (!in.Read(patterns.data(), patterns.size())) return 8;
  const uint64_t base = in.Position();

  std::vector<DomainEntry>& list = database.domains_;
  list.reserve(list.size() + domainCount - 1);
  uint32_t code = 0;
  size_t nextPattern = 0;
  for (uint32_t i = 0; i + 1 < domainCount && code == 0; ++i) {
    const uint32_t count = uint32_t(domains[6 * i]) | uint32_t(domains[6 * i + 1]) << 8;
    const uint32_t offset = U32At(domains, 6 * i + 2);
    const int64_t stored = int64_t(U32At(domains, 6 * (i + 1) + 2)) - offset;
    if (stored < 0) {
      code = 9;
      break;
    }
    uint8_t first = 0;
    in.Seek(base + offset);
    if (!in.Read(&first, 1)) {
      code = 16;
      break;
    }
    std::string name;
    if (first == kVerbatimDomain) {
      if (stored < 1 || !in.ReadReversed(name, uint64_t(stored) - 1)) {
        code = 17;
        break;
      }
    } else {
      in.Seek(base + offset);
      if (!in.ReadReversed(name, uint64_t(stored), ".", kNetSuffix)) {
        code = 18;
        break;
      }
    }
    DomainEntry& domain = list.emplace_back();
    domain.key = std::move(name);
    // Each pattern's length needs the record after it, so the sentinel
    // (the last record) cannot be claimed by a domain.
    if (patternCount == 0 || count > patternCount - 1 - nextPattern) {
      code = 10;
      break;
    }
    domain.patterns.reserve(count);
    for (uint32_t j = 0; j < count; ++j, ++nextPattern) {
      const uint8_t* record = patterns.data() + 8 * nextPattern;
      PatternEntry entry;
      DecodePosition(record, entry.location.latitude, entry.location.longitude);
      entry.location.precision = kDatabasePrecision;
      const uint32_t at = U32At(patterns, 8 * nextPattern + 4);
      const int64_t size = int64_t(U32At(patterns, 8 * (nextPattern + 1) + 4)) - at;
      if (size < 0) {
        code = 11;
        break;
      }
      in.Seek(base + at);
      if (!in.Read(&first, 1)) {
        code = 19;
        break;
      }
      const bool verbatim = first == kVerbatimPattern;
      if (verbatim ? size < 1 || !in.ReadReversed(entry.pattern, uint64_t(size) - 1)
                   : (in.Seek(base + at), !in.ReadReversed(entry.pattern, uint64_t(size), "*", "*"))) {
        code = verbatim ? 20 : 21;
        break;
      }
      domain.patterns.push_back(std::move(entry));
    }
  }
  database.index_.clear();
  for (size_t i = 0; i < list.size(); ++i) database.index_.push_back(std::make_unique<LocationDatabase::LazyIndex>());
  return code;
}

bool LoadLocationDatabase(const std::string& dataDir, LocationDatabase& database, GeoMessages* messages) {
  const std::optional<std::string> image = platform::ReadWholeFile(dataDir + "/" + std::string(kDatabaseFileName));
  if (!image) {
    if (messages) {
      messages->ShowMessage(i18n::Tr(NC_("900010", "\"Unable to open file HopSight.gdp.\"")),
                            i18n::Tr(NC_("81", "Error")));
    }
    return true;
  }
  const uint32_t code = LocDBInit(database, *image, messages);
  if (code != 0 && messages) {
    // TRANSLATORS: %x is the loader's code as a hexadecimal number.
    messages->ShowMessage(i18n::Tr(NC_("900011", "Invalid file HopSight.gdp (0x%x)"), int(code)),
                          i18n::Tr(NC_("900012", "Error (LocDBInit)")));
  }
  return false;
}

}  // namespace hs::geo
