#include "geodb_source.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <unordered_map>

namespace hs::geodb {

namespace {

bool Varint(std::string_view b, size_t& at, uint64_t& v) {
  v = 0;
  for (int shift = 0; at < b.size() && shift < 64; shift += 7) {
    const uint8_t c = uint8_t(b[at++]);
    v |= uint64_t(c & 0x7f) << shift;
    if (!(c & 0x80)) return true;
  }
  return false;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

int64_t Zigzag(uint64_t v) { return int64_t(v >> 1) ^ -int64_t(v & 1); }

// One CSV record; quoted fields may hold commas and doubled quotes (no line feeds in this table).
std::vector<std::string> CsvFields(std::string_view line) {
  std::vector<std::string> f(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') f.back() += '"', ++i;
      else if (c == '"') quoted = false;
      else f.back() += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      f.emplace_back();
    } else if (c != '\r') {
      f.back() += c;
    }
  }
  return f;
}

double Number(const std::string& s) {
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}


std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> w;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) w.emplace_back(s.substr(start, i - start));
  }
  return w;
}

// "{}" is the code as written, "{lc}" in lower case; "[a-c9]" one character
// of a set; anything else stays.
std::vector<std::string> Expand(const std::string& tmpl, const std::string& code, const std::string& where) {
  std::vector<std::string> out{""};
  for (size_t i = 0; i < tmpl.size();) {
    if (tmpl.compare(i, 2, "{}") == 0 || tmpl.compare(i, 4, "{lc}") == 0) {
      const bool lower = tmpl[i + 1] == 'l';
      for (std::string& o : out) o += lower ? Lower(code) : code;
      i += lower ? 4 : 2;
    } else if (tmpl[i] == '[') {
      const size_t end = tmpl.find(']', i);
      if (end == std::string::npos) throw SourceError(where + ": unclosed [ in form " + tmpl);
      std::string set;
      for (size_t k = i + 1; k < end; ++k) {
        if (k + 2 < end && tmpl[k + 1] == '-') {
          for (char c = tmpl[k]; c <= tmpl[k + 2]; ++c) set += c;
          k += 2;
        } else {
          set += tmpl[k];
        }
      }
      if (set.empty()) throw SourceError(where + ": empty [] in form " + tmpl);
      std::vector<std::string> next;
      for (const std::string& o : out)
        for (char c : set) next.push_back(o + c);
      out = std::move(next);
      if (out.size() > 100) throw SourceError(where + ": form " + tmpl + " expands to more than 100 patterns");
      i = end + 1;
    } else {
      for (std::string& o : out) o += tmpl[i];
      ++i;
    }
  }
  return out;
}

struct Resolved {
  const hs::geodb::City* city = nullptr;
  std::string via;
};

class Compiler {
 public:
  Compiler(const std::vector<Airport>& airports, const std::vector<City>& cities) : cities_(cities) {
    for (const Airport& a : airports) airports_[a.iata].push_back(&a);
    for (const City& c : cities) byName_[c.name + "|" + c.country].push_back(&c);
  }

  BuildResult Run(std::string_view source) {
    size_t at = 0, number = 0;
    while (at < source.size()) {
      size_t end = source.find('\n', at);
      if (end == std::string_view::npos) end = source.size();
      std::string_view line = source.substr(at, end - at);
      at = end + 1;
      ++number;
      where_ = "line " + std::to_string(number);
      const size_t hash = line.find('#');
      if (hash != std::string_view::npos) line = line.substr(0, hash);
      line = Trim(line);
      if (line.empty()) continue;
      const size_t space = line.find_first_of(" \t");
      const std::string keyword(line.substr(0, space));
      const std::string_view rest = space == std::string_view::npos ? "" : Trim(line.substr(space));
      Line(keyword, rest);
    }
    CloseNetwork();
    std::sort(result_.database.domains.begin(), result_.database.domains.end(),
              [](const geo::DomainEntry& a, const geo::DomainEntry& b) {
                return std::string(a.key.rbegin(), a.key.rend()) < std::string(b.key.rbegin(), b.key.rend());
              });
    for (const City* c : used_) result_.usedCities.push_back(c);
    return std::move(result_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) { throw SourceError(where_ + ": " + what); }

  void Line(const std::string& keyword, std::string_view rest) {
    if (keyword == "stop") {
      for (const std::string& w : Words(rest)) stop_.insert(Lower(w));
    } else if (keyword == "metro") {
      const auto [code, place] = CodeAndPlace(rest);
      metro_[Lower(code)] = CityOf(place);
    } else if (keyword == "network") {
      CloseNetwork();
      const std::vector<std::string> w = Words(rest);
      if (w.size() != 1 || w[0].empty() || w[0][0] != '.') Fail("network needs one domain key beginning with '.'");
      for (const geo::DomainEntry& d : result_.database.domains)
        if (d.key == w[0]) Fail("network " + w[0] + " given twice");
      domain_ = geo::DomainEntry{w[0], {}};
      open_ = true;
      hasSource_ = false;
      forms_.clear();
      seen_.clear();
    } else if (keyword == "source") {
      NeedNetwork();
      if (rest.empty()) Fail("source needs a text");
      hasSource_ = true;
    } else if (keyword == "form") {
      NeedNetwork();
      forms_ = Words(rest);
      if (forms_.empty()) Fail("form needs at least one template");
      for (const std::string& f : forms_)
        if (f.find("{}") == std::string::npos && f.find("{lc}") == std::string::npos)
          Fail("form " + f + " has no {} or {lc}");
    } else if (keyword == "iata") {
      NeedCodes();
      for (const std::string& code : Words(rest)) {
        const Resolved r = Iata(code);
        AddCode(code, r);
      }
    } else if (keyword == "site") {
      NeedCodes();
      const auto [code, place] = CodeAndPlace(rest);
      AddCode(code, {CityOf(place), "site"});
    } else if (keyword == "pattern") {
      NeedNetwork();
      const auto [pattern, place] = CodeAndPlace(rest);
      AddPattern(pattern, {CityOf(place), "pattern"}, pattern);
    } else {
      Fail("unknown keyword " + keyword);
    }
  }

  void NeedNetwork() {
    if (!open_) Fail("no network block is open");
  }
  void NeedCodes() {
    NeedNetwork();
    if (!hasSource_) Fail("say where the naming rules come from (source) before the codes");
    if (forms_.empty()) Fail("no form given for the codes");
  }

  std::pair<std::string, std::string> CodeAndPlace(std::string_view rest) {
    const size_t space = rest.find_first_of(" \t");
    if (space == std::string_view::npos) Fail("expected CODE City, CC");
    return {std::string(rest.substr(0, space)), std::string(Trim(rest.substr(space)))};
  }

  // "City name, CC": the most populous GeoNames city of that name in that country.
  const hs::geodb::City* CityOf(const std::string& place) {
    const size_t comma = place.rfind(',');
    if (comma == std::string::npos) Fail("place " + place + " needs \", CC\"");
    const std::string name(Trim(std::string_view(place).substr(0, comma)));
    const std::string country(Trim(std::string_view(place).substr(comma + 1)));
    const auto it = byName_.find(name + "|" + country);
    if (it == byName_.end()) Fail("no GeoNames city " + name + " in " + country);
    return *std::max_element(it->second.begin(), it->second.end(),
                             [](const hs::geodb::City* a, const hs::geodb::City* b) {
                               return a->population < b->population;
                             });
  }

  Resolved Iata(const std::string& code) {
    const std::string key = Lower(code);
    if (const auto m = metro_.find(key); m != metro_.end()) return {m->second, "metro code"};
    const auto it = airports_.find(Upper(code));
    if (it == airports_.end()) Fail("no airport with the IATA code " + Upper(code));
    auto rank = [](const Airport* a) {
      return (a->scheduled ? 4 : 0) + (a->type == "large_airport" ? 2 : a->type == "medium_airport" ? 1 : 0);
    };
    const Airport* a = *std::max_element(it->second.begin(), it->second.end(),
                                         [&](const Airport* x, const Airport* y) { return rank(x) < rank(y); });
    if (rank(a) < 5) Fail("IATA code " + Upper(code) + " is not a scheduled large or medium airport");
    // The airport's own town by name, else the largest city near it.
    const std::string town = FoldName(a->municipality);
    const hs::geodb::City* best = nullptr;
    for (const hs::geodb::City& c : cities_) {
      if (c.country != a->country || FoldName(c.name) != town) continue;
      if (DistanceKm(c.latitude, c.longitude, a->latitude, a->longitude) > 60) continue;
      if (!best || c.population > best->population) best = &c;
    }
    if (best) return {best, "airport " + Upper(code) + " (" + a->municipality + ")"};
    for (const hs::geodb::City& c : cities_) {
      if (c.country != a->country || DistanceKm(c.latitude, c.longitude, a->latitude, a->longitude) > 40) continue;
      if (!best || c.population > best->population) best = &c;
    }
    if (!best) Fail("no city within 40 km of airport " + Upper(code));
    return {best, "airport " + Upper(code) + " (" + a->municipality + ", nearest large city)"};
  }

  void AddCode(const std::string& code, const Resolved& r) {
    if (stop_.count(Lower(code))) Fail("code " + code + " is on the stoplist (a common host-name word)");
    for (const std::string& f : forms_)
      for (const std::string& p : Expand(f, code, where_)) AddPattern(p, r, code);
    result_.report.push_back(domain_.key + " " + code + " -> " + r.city->name + ", " + r.city->country + " (" +
                             std::to_string(r.city->latitude) + ", " + std::to_string(r.city->longitude) + ") via " +
                             r.via);
  }

  void AddPattern(const std::string& pattern, const Resolved& r, const std::string& code) {
    const auto [it, fresh] = seen_.emplace(pattern, r.city);
    if (!fresh) {
      if (it->second != r.city) Fail("pattern " + pattern + " (" + code + ") already stands for another place");
      return;
    }
    used_.insert(r.city);
    geo::PatternEntry e;
    e.pattern = pattern;
    e.location.latitude = r.city->latitude;
    e.location.longitude = r.city->longitude;
    e.location.precision = geo::kDatabasePrecision;
    domain_.patterns.push_back(std::move(e));
    if (domain_.patterns.size() > 0xFFFF) Fail("more than 65535 patterns in " + domain_.key);
  }

  void CloseNetwork() {
    if (!open_) return;
    if (!hasSource_) Fail("network " + domain_.key + " says nowhere where its rules come from");
    if (domain_.patterns.empty()) Fail("network " + domain_.key + " has no patterns");
    result_.database.domains.push_back(std::move(domain_));
    open_ = false;
  }

  const std::vector<hs::geodb::City>& cities_;
  std::unordered_map<std::string, std::vector<const Airport*>> airports_;
  std::unordered_map<std::string, std::vector<const hs::geodb::City*>> byName_;
  std::set<std::string> stop_;
  std::map<std::string, const hs::geodb::City*> metro_;
  std::map<std::string, const hs::geodb::City*> seen_;
  std::set<const hs::geodb::City*> used_;
  std::vector<std::string> forms_;
  geo::DomainEntry domain_;
  bool open_ = false, hasSource_ = false;
  std::string where_;
  BuildResult result_;
};

// Latin letters with accents, as their base letters (UTF-8 two-byte forms).
std::string_view BaseOf(uint32_t cp) {
  static const std::unordered_map<uint32_t, std::string_view> table = [] {
    std::unordered_map<uint32_t, std::string_view> t;
    auto range = [&](uint32_t from, std::string_view letters) {
      for (size_t i = 0; i < letters.size(); ++i)
        if (letters[i] != '_') t[from + uint32_t(i)] = letters.substr(i, 1);
    };
    range(0xC0, "aaaaaa_ceeeeiiiidnooooo_ouuuuy__aaaaaa_ceeeeiiiidnooooo_ouuuuy_y");
    range(0x100, "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii__jjkk_lllllllllln");
    range(0x144, "nnnnn___oooooo__rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzz");
    t[0xDF] = "ss";
    t[0xE6] = "ae";
    t[0xC6] = "ae";
    t[0x153] = "oe";
    t[0x152] = "oe";
    t[0x131] = "i";
    t[0x142] = "l";
    t[0x141] = "l";
    return t;
  }();
  const auto it = table.find(cp);
  return it == table.end() ? std::string_view() : it->second;
}

}  // namespace

std::string FoldName(std::string_view s) {
  std::string out;
  bool blank = true;
  auto put = [&](char c) {
    if (c == ' ') {
      if (!blank) out += ' ';
      blank = true;
    } else {
      out += c;
      blank = false;
    }
  };
  for (size_t i = 0; i < s.size();) {
    const uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      const char l = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      put((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') ? l : ' ');
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n && i + k < s.size(); ++k) cp = cp << 6 | (uint8_t(s[i + k]) & 0x3F);
    i += n;
    const std::string_view base = BaseOf(cp);
    if (base.empty()) put(' ');
    for (char b : base) put(b);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

double DistanceKm(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRad = 3.14159265358979323846 / 180.0;
  const double dlat = (lat2 - lat1) * kRad, dlon = (lon2 - lon1) * kRad;
  const double a = std::sin(dlat / 2) * std::sin(dlat / 2) +
                   std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::sin(dlon / 2) * std::sin(dlon / 2);
  return 2 * 6371.0 * std::asin(std::min(1.0, std::sqrt(a)));
}

std::vector<City> ReadCitiesPbf(std::string_view b) {
  std::vector<City> cities;
  int64_t lon = 0, lat = 0;
  size_t at = 0;
  while (at < b.size()) {
    uint64_t len;
    if (!Varint(b, at, len) || len > b.size() - at) break;
    const size_t end = at + len;
    City c;
    while (at < end) {
      uint64_t key, v;
      if (!Varint(b, at, key)) break;
      const int field = int(key >> 3), wire = int(key & 7);
      if (wire == 0) {
        Varint(b, at, v);
        if (field == 9) c.population = v;
        if (field == 10) lon += Zigzag(v);
        if (field == 11) lat += Zigzag(v);
      } else if (wire == 2) {
        Varint(b, at, v);
        if (v > end - std::min(at, end)) break;
        const std::string s(b.substr(at, v));
        at += v;
        if (field == 2) c.name = s;
        if (field == 3) c.country = s;
        if (field == 7) c.feature = s;
      } else {
        break;
      }
    }
    at = end;
    c.longitude = double(lon) / 1e5;
    c.latitude = double(lat) / 1e5;
    cities.push_back(std::move(c));
  }
  return cities;
}

std::vector<Airport> ReadAirportsCsv(std::string_view text) {
  std::vector<Airport> out;
  size_t at = 0;
  std::unordered_map<std::string, size_t> column;
  bool header = true;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string> f = CsvFields(text.substr(at, end - at));
    at = end + 1;
    if (header) {
      for (size_t i = 0; i < f.size(); ++i) column[f[i]] = i;
      for (const char* need : {"type", "latitude_deg", "longitude_deg", "iso_country", "municipality",
                               "scheduled_service", "iata_code"})
        if (!column.count(need)) throw std::runtime_error(std::string("airports.csv has no column ") + need);
      header = false;
      continue;
    }
    auto get = [&](const char* name) -> const std::string& {
      static const std::string empty;
      const size_t i = column[name];
      return i < f.size() ? f[i] : empty;
    };
    if (get("iata_code").empty()) continue;
    Airport a;
    a.iata = get("iata_code");
    a.type = get("type");
    a.municipality = get("municipality");
    a.country = get("iso_country");
    a.scheduled = get("scheduled_service") == "yes";
    a.latitude = Number(get("latitude_deg"));
    a.longitude = Number(get("longitude_deg"));
    out.push_back(std::move(a));
  }
  return out;
}

BuildResult CompileRouterNames(std::string_view source, const std::vector<Airport>& airports,
                               const std::vector<City>& cities) {
  return Compiler(airports, cities).Run(source);
}

std::vector<geo::PlaceSpec> SelectPlaces(const std::vector<City>& cities, uint64_t minPopulation,
                                         const std::vector<const City*>& always) {
  std::set<const City*> forced(always.begin(), always.end());
  std::vector<geo::PlaceSpec> out;
  for (const City& c : cities) {
    const bool gone = c.feature == "PPLX" || c.feature == "PPLH" || c.feature == "PPLQ" || c.feature == "PPLW";
    if (!forced.count(&c) && (gone || c.population < minPopulation)) continue;
    if (c.name.empty() || c.name.find('\0') != std::string::npos) continue;
    out.push_back({c.latitude, c.longitude, c.name + ", " + c.country});
  }
  return out;
}

}  // namespace hs::geodb
