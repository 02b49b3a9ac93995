#include "server/locd/geodata.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

namespace hs::locd {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (true) {
    size_t tab = line.find('\t', pos);
    out.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
    if (tab == std::string::npos) break;
    pos = tab + 1;
  }
  return out;
}

bool ToDouble(const std::string& s, double& out) { return locwire::ParseDecimal(s, out); }

bool ToUnsigned(const std::string& s, uint64_t& out) { return locwire::ParseUnsigned(s, out); }

// Calls `row` with the fields of every data line of DIR/NAME; a missing
// file is fine unless `required`. Lines that do not parse are counted as
// errors: a data directory we built ourselves has none.
bool ReadTable(const std::string& dir, const char* name, bool required, size_t fields, std::string* error,
               const std::function<bool(const std::vector<std::string>&)>& row) {
  std::ifstream in(dir + "/" + name);
  if (!in) {
    if (required && error) *error = dir + "/" + name + ": cannot open";
    return !required;
  }
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    auto f = SplitTabs(line);
    if (f.size() != fields || !row(f)) {
      if (error) *error = dir + "/" + name + ": line " + std::to_string(number) + " does not parse";
      return false;
    }
  }
  return true;
}

bool ValidLatLon(double lat, double lon) { return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Name forms that people and WhoIs answers use beside the listed names.
const std::pair<const char*, const char*> kCountryAliases[] = {
    {"usa", "US"}, {"united states of america", "US"}, {"america", "US"}, {"uk", "GB"},
    {"great britain", "GB"}, {"england", "GB"}, {"scotland", "GB"}, {"wales", "GB"},
    {"russian federation", "RU"}, {"korea", "KR"}, {"republic of korea", "KR"}, {"holland", "NL"},
    {"the netherlands", "NL"}, {"czech republic", "CZ"}, {"viet nam", "VN"}, {"turkey", "TR"},
};

}  // namespace

uint8_t PrecisionForRadius(double km) {
  if (!std::isfinite(km) || km < 1) km = 1;
  double p = std::round(200.0 - 40.0 * std::log10(km));
  return static_cast<uint8_t>(std::clamp(p, 60.0, 200.0));
}

std::string PlaceKey(std::string_view text) {
  std::string out;
  bool blank = false;
  for (unsigned char c : text) {
    if (c >= 0x80 || c < 0x20 || c == 0x7f) return {};
    if (c == '.' || c == '\'' || c == '`') continue;
    if (c == ' ' || c == '\t' || c == '-' || c == '_') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += static_cast<char>(std::tolower(c));
  }
  return out;
}

bool IsSpecialAddress(uint32_t a) {
  struct Block {
    uint32_t base;
    int len;
  };
  static const Block kBlocks[] = {
      {0x00000000, 8},  {0x0a000000, 8},  {0x64400000, 10}, {0x7f000000, 8},  {0xa9fe0000, 16},
      {0xac100000, 12}, {0xc0000000, 24}, {0xc0000200, 24}, {0xc0a80000, 16}, {0xc6120000, 15},
      {0xc6336400, 24}, {0xcb007100, 24}, {0xe0000000, 4},  {0xf0000000, 4},
  };
  for (const Block& b : kBlocks) {
    uint32_t mask = ~uint32_t(0) << (32 - b.len);
    if ((a & mask) == b.base) return true;
  }
  return false;
}

std::unique_ptr<GeoData> GeoData::Load(const std::string& dir, std::string* error) {
  auto g = std::unique_ptr<GeoData>(new GeoData);
  std::unordered_map<std::string, uint16_t> byCode;

  bool ok = ReadTable(dir, "countries.tsv", true, 5, error, [&](const std::vector<std::string>& f) {
    Country c;
    uint64_t level = 0;
    if (f[0].size() != 2 || !std::isupper((unsigned char)f[0][0]) || !std::isupper((unsigned char)f[0][1]))
      return false;
    if (f[1].empty() || f[1].find_first_of("|^") != std::string::npos || !ToUnsigned(f[2], level) || level > 7 ||
        !ToDouble(f[3], c.latitude) || !ToDouble(f[4], c.longitude) || !ValidLatLon(c.latitude, c.longitude))
      return false;
    c.code = f[0];
    c.name = f[1];
    c.level = static_cast<int>(level);
    g->countries_.push_back(std::move(c));
    return g->countries_.size() < 60000;
  });
  if (!ok) return nullptr;
  std::sort(g->countries_.begin(), g->countries_.end(),
            [](const Country& a, const Country& b) { return a.name < b.name; });
  for (size_t i = 0; i < g->countries_.size(); ++i) {
    byCode[g->countries_[i].code] = static_cast<uint16_t>(i);
    g->countryByKey_[g->countries_[i].code] = static_cast<uint16_t>(i);
    g->countryByKey_.emplace(PlaceKey(g->countries_[i].name), static_cast<uint16_t>(i));
  }
  for (auto [alias, code] : kCountryAliases)
    if (auto it = byCode.find(code); it != byCode.end()) g->countryByKey_.emplace(alias, it->second);

  ok = ReadTable(dir, "admin1.tsv", false, 3, error, [&](const std::vector<std::string>& f) {
    if (!byCode.count(f[0]) || f[1].empty()) return false;
    g->adminByKey_[f[0] + "|" + Upper(f[1])] = f[1];
    if (!f[2].empty()) g->adminByKey_.emplace(f[0] + "|" + f[2], f[1]);
    return true;
  });
  if (!ok) return nullptr;

  std::unordered_map<std::string, std::pair<Position, uint32_t>> adminBest;
  ok = ReadTable(dir, "cities.tsv", false, 6, error, [&](const std::vector<std::string>& f) {
    auto c = byCode.find(f[0]);
    City city{};
    uint64_t pop = 0;
    if (c == byCode.end() || f[2].empty() || !ToDouble(f[3], city.latitude) || !ToDouble(f[4], city.longitude) ||
        !ValidLatLon(city.latitude, city.longitude) || !ToUnsigned(f[5], pop))
      return false;
    city.country = c->second;
    city.admin = f[1];
    city.population = static_cast<uint32_t>(std::min<uint64_t>(pop, UINT32_MAX));
    g->citiesByKey_[f[0] + "|" + f[2]].push_back(static_cast<uint32_t>(g->cities_.size()));
    // A region's position is that of its largest city.
    auto [best, fresh] = adminBest.try_emplace(f[0] + "|" + f[1], Position{city.latitude, city.longitude},
                                               city.population);
    if (!fresh && best->second.second < city.population)
      best->second = {Position{city.latitude, city.longitude}, city.population};
    g->cities_.push_back(std::move(city));
    return true;
  });
  if (!ok) return nullptr;

  for (auto& [key, best] : adminBest) g->adminPosition_[key] = best.first;

  std::unordered_map<std::string, std::pair<Position, int>> zipCitySums;
  ok = ReadTable(dir, "zips.tsv", false, 5, error, [&](const std::vector<std::string>& f) {
    Zip z{};
    if (f[0].size() != 5 || f[0].find_first_not_of("0123456789") != std::string::npos ||
        !ToDouble(f[1], z.latitude) || !ToDouble(f[2], z.longitude) || !ValidLatLon(z.latitude, z.longitude))
      return false;
    g->zips_[f[0]] = z;
    if (!f[3].empty() && !f[4].empty()) {
      auto& [sum, n] = zipCitySums[f[3] + "|" + Upper(f[4])];
      sum.latitude += z.latitude;
      sum.longitude += z.longitude;
      ++n;
    }
    return true;
  });
  if (!ok) return nullptr;
  for (auto& [key, s] : zipCitySums)
    g->zipCities_[key] = Position{s.first.latitude / s.second, s.first.longitude / s.second};

  ok = ReadTable(dir, "ranges.tsv", false, 3, error, [&](const std::vector<std::string>& f) {
    uint64_t first = 0, last = 0;
    auto c = byCode.find(f[2]);
    if (!ToUnsigned(f[0], first) || !ToUnsigned(f[1], last) || first > last || last > UINT32_MAX) return false;
    if (c == byCode.end()) return true;  // a registry code without a country of ours
    g->ranges_.push_back({uint32_t(first), uint32_t(last), c->second});
    return true;
  });
  if (!ok) return nullptr;
  std::sort(g->ranges_.begin(), g->ranges_.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
  for (size_t i = 1; i < g->ranges_.size(); ++i) {
    if (g->ranges_[i].first <= g->ranges_[i - 1].last) {
      if (error) *error = dir + "/ranges.tsv: overlapping ranges";
      return nullptr;
    }
  }
  return g;
}

const Country* GeoData::FindCountry(std::string_view codeOrName) const {
  std::string key = codeOrName.size() == 2 ? Upper(codeOrName) : PlaceKey(codeOrName);
  if (key.empty()) return nullptr;
  auto it = countryByKey_.find(key);
  return it == countryByKey_.end() ? nullptr : &countries_[it->second];
}

std::optional<Placement> GeoData::Locate(uint32_t address) const {
  if (const OverrideEntry* o = overrides_.Find(address))
    return Placement{Placement::Override, o->latitude, o->longitude, o->precision, {}};
  if (IsSpecialAddress(address)) return std::nullopt;
  if (mmdb_) {
    if (auto rec = mmdb_->Find(address)) {
      uint8_t p = rec->accuracyRadiusKm ? PrecisionForRadius(*rec->accuracyRadiusKm)
                  : rec->city.empty()   ? kPointNoCityPrecision
                                        : kCityNoRadiusPrecision;
      return Placement{Placement::City, rec->latitude, rec->longitude, p, rec->country};
    }
  }
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                             [](uint32_t a, const Range& r) { return a < r.first; });
  if (it == ranges_.begin()) return std::nullopt;
  --it;
  if (address > it->last) return std::nullopt;
  const Country& c = countries_[it->country];
  return Placement{Placement::Country, c.latitude, c.longitude, kCountryPrecision, c.code};
}

locwire::RouteEntry GeoData::RouteEntryFor(const locwire::RouteHop& hop) const {
  auto p = Locate(AddressValue(hop.address));
  // The client keeps its own position for an all-zero entry; let it when it
  // already knows better than we do.
  if (!p || hop.precision > p->precision) return locwire::RouteEntry::Unknown();
  auto e = locwire::RouteEntry::FromPosition(p->latitude, p->longitude, p->precision);
  // Clients take a coordinate of exactly 0 for "none"; one code unit (1/180°) off the
  // equator or the prime meridian keeps the place.
  if (e.latCode == 16200) e.latCode = 16201;
  if (e.lonCode == 32400) e.lonCode = 32401;
  return e;
}

std::optional<GeoData::Position> GeoData::FindCity(const Country& c, const std::string& key,
                                                   const std::string* admin) const {
  std::optional<Position> best;
  uint32_t bestPop = 0;
  if (auto it = citiesByKey_.find(c.code + "|" + key); it != citiesByKey_.end()) {
    for (uint32_t i : it->second) {
      const City& city = cities_[i];
      if (admin && city.admin != *admin) continue;
      if (!best || city.population > bestPop) {
        best = Position{city.latitude, city.longitude};
        bestPop = city.population;
      }
    }
  }
  // Small US towns are missing from the city list but have postcodes.
  if (!best && admin) {
    if (auto it = zipCities_.find(key + "|" + *admin); it != zipCities_.end()) best = it->second;
  }
  return best;
}

std::optional<std::string> GeoData::FindAdmin(const Country& c, std::string_view state) const {
  auto it = adminByKey_.find(c.code + "|" + Upper(state));
  if (it == adminByKey_.end()) {
    std::string key = PlaceKey(state);
    if (key.empty()) return std::nullopt;
    it = adminByKey_.find(c.code + "|" + key);
  }
  if (it == adminByKey_.end()) return std::nullopt;
  return it->second;
}

std::optional<GeoData::Position> GeoData::AdminPosition(const Country& c, const std::string& admin) const {
  auto it = adminPosition_.find(c.code + "|" + admin);
  if (it == adminPosition_.end()) return std::nullopt;
  return it->second;
}

const Country* GeoData::CountryOfDomain(std::string_view domain) const {
  while (!domain.empty() && domain.back() == '.') domain.remove_suffix(1);
  size_t dot = domain.rfind('.');
  std::string_view tld = dot == std::string_view::npos ? domain : domain.substr(dot + 1);
  if (tld.size() != 2) return nullptr;
  std::string code = Upper(tld);
  if (code == "UK") code = "GB";
  auto it = countryByKey_.find(code);
  return it == countryByKey_.end() ? nullptr : &countries_[it->second];
}

std::optional<locwire::PlaceAnswer> GeoData::LookupByNetwork(const locwire::PlaceQuery& q) const {
  auto byAddress = [&](std::string_view text) -> std::optional<locwire::PlaceAnswer> {
    auto a = locwire::ParseDotted(text);
    if (!a) return std::nullopt;
    auto p = Locate(AddressValue(*a));
    if (!p) return std::nullopt;
    return locwire::PlaceAnswer{locwire::kPlaceFound, p->latitude, p->longitude};
  };
  auto byDomain = [&](std::string_view text) -> std::optional<locwire::PlaceAnswer> {
    const Country* c = CountryOfDomain(text);
    if (!c) return std::nullopt;
    return locwire::PlaceAnswer{locwire::kPlaceFound, c->latitude, c->longitude};
  };
  if (q.ip && !q.ip->empty())
    if (auto a = byAddress(*q.ip)) return a;
  if (q.domain && !q.domain->empty())
    if (auto a = byDomain(*q.domain)) return a;
  if (q.url && !q.url->empty()) {
    // A web address or a bare host name: take the host part.
    std::string_view host = *q.url;
    if (size_t scheme = host.find("://"); scheme != std::string_view::npos) host.remove_prefix(scheme + 3);
    host = host.substr(0, host.find_first_of("/:?#"));
    if (auto a = byAddress(host)) return a;
    if (auto a = byDomain(host)) return a;
  }
  return std::nullopt;
}

locwire::PlaceAnswer GeoData::Lookup(const locwire::PlaceQuery& q) const {
  using locwire::PlaceAnswer;
  const Country* c = q.country && !q.country->empty() ? FindCountry(*q.country) : nullptr;
  if (!c) {
    if (auto a = LookupByNetwork(q)) return *a;
    return PlaceAnswer{locwire::kPlaceBadCountry, 0, 0};
  }
  auto given = [](const std::optional<std::string>& v) { return v && !v->empty(); };

  // The finest field that matches wins; when none does, the failure of the
  // finest field given is reported with the best fallback position.
  Position fallback{c->latitude, c->longitude};
  std::optional<std::string> admin;
  if (given(q.state)) {
    admin = FindAdmin(*c, *q.state);
    if (admin)
      if (auto p = AdminPosition(*c, *admin)) fallback = *p;
  }
  if (given(q.zip) && c->code == "US") {
    std::string zip = q.zip->substr(0, 5);  // "12345-6789" is the same place
    if (auto it = zips_.find(zip); it != zips_.end())
      return PlaceAnswer{locwire::kPlaceFound, it->second.latitude, it->second.longitude};
  }
  if (given(q.city)) {
    std::string key = PlaceKey(*q.city);
    std::optional<Position> p;
    if (!key.empty()) p = FindCity(*c, key, admin ? &*admin : nullptr);
    if (p) return PlaceAnswer{locwire::kPlaceFound, p->latitude, p->longitude};
  }
  int status = locwire::kPlaceFound;
  if (given(q.zip)) status = locwire::kPlaceNoPostcode;
  else if (given(q.city)) status = locwire::kPlaceNoCity;
  else if (given(q.state) && !admin) status = locwire::kPlaceNoState;
  return PlaceAnswer{status, fallback.latitude, fallback.longitude};
}

locwire::CountryList GeoData::CountryListFor(std::string_view suggested) const {
  locwire::CountryList list;
  const Country* s = suggested.size() == 2 ? FindCountry(suggested) : nullptr;
  if (!s && !countries_.empty()) s = &countries_[0];
  if (s) {
    list.suggestedName = s->name;
    list.suggestedCode = s->code;
  }
  for (const Country& c : countries_) list.countries.push_back({c.name, c.code, c.level});
  return list;
}

}  // namespace hs::locd
