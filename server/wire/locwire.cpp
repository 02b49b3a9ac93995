#include "server/wire/locwire.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "config/number_text.h"

namespace hs::locwire {
namespace {

void Fail(std::string* error, const char* why) {
  if (error) *error = why;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly `text.size()` hex digits, no sign, no blanks.
std::optional<uint32_t> ReadHex(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    int d = HexValue(c);
    if (d < 0) return std::nullopt;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  return v;
}

void AppendHex(std::string& out, uint32_t value, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xf];
}

std::optional<RouteHop> ReadHop(std::string_view text, bool withTime) {
  RouteHop hop;
  for (int i = 0; i < 4; ++i) {
    auto b = ReadHex(text.substr(2 * i, 2));
    if (!b) return std::nullopt;
    hop.address[i] = static_cast<uint8_t>(*b);
  }
  auto p = ReadHex(text.substr(8, 2));
  if (!p) return std::nullopt;
  hop.precision = static_cast<uint8_t>(*p);
  if (withTime) {
    auto t = ReadHex(text.substr(10, 6));
    if (!t) return std::nullopt;
    hop.rttMs = *t;
  }
  return hop;
}

bool NeedsEscape(unsigned char c) {
  return c <= 0x20 || c >= 0x7f || c == '%' || c == '#' || c == '&';
}

std::optional<std::string> PercentDecode(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '%') {
      out += v[i];
      continue;
    }
    if (i + 2 >= v.size()) return std::nullopt;
    int hi = HexValue(v[i + 1]), lo = HexValue(v[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::string_view Line(std::string_view text, size_t& pos) {
  size_t end = text.find('\n', pos);
  std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
  pos = end == std::string_view::npos ? text.size() : end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

bool IsHexDigit(char c) { return HexValue(c) >= 0; }

// ------------------------------------------------------------------ numbers
// All number text goes through std::to_chars and std::from_chars: the
// program's window runs under the user's locale, where printf and strtod
// would write and expect a decimal comma.

void AppendDecimal(std::string& out, int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

std::string FormatDegrees(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) v = 0;  // nothing on Earth; keeps the text short
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5);
  std::string s(buf, r.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

bool ParseDecimal(std::string_view text, double& out) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return false;
  }
  double v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseUnsigned(std::string_view text, uint64_t& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  uint64_t v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  out = v;
  return true;
}

std::string DottedAddress(const std::array<uint8_t, 4>& a) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    if (i) out += '.';
    AppendDecimal(out, a[i]);
  }
  return out;
}

std::optional<std::array<uint8_t, 4>> ParseDotted(std::string_view text) {
  std::array<uint8_t, 4> out{};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    size_t start = pos;
    unsigned v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      v = v * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || v > 255) return std::nullopt;
    out[i] = static_cast<uint8_t>(v);
  }
  if (pos != text.size()) return std::nullopt;
  return out;
}

// ---------------------------------------------------------------- identity

std::string WriteIdentity(const InstallIdentity& id, const Masks& m) {
  std::string out;
  AppendHex(out, id.installTime ^ m[0], 8);
  AppendHex(out, id.installRandom ^ m[1], 8);
  AppendHex(out, id.productCode ^ m[2], 8);
  return out;
}

std::optional<InstallIdentity> ReadIdentity(std::string_view text, const Masks& m) {
  if (text.size() != 24) return std::nullopt;
  auto a = ReadHex(text.substr(0, 8)), b = ReadHex(text.substr(8, 8)), c = ReadHex(text.substr(16, 8));
  if (!a || !b || !c) return std::nullopt;
  return InstallIdentity{*a ^ m[0], *b ^ m[1], *c ^ m[2]};
}

// ------------------------------------------------------ route location request

std::string WriteRouteRequest(const RouteRequest& req) {
  std::string out = "loc/?" + WriteIdentity(req.identity, kRequestMasks) + "&";
  if (req.speedTest) {
    if (!req.hops.empty()) {
      for (uint8_t b : req.hops[0].address) AppendHex(out, b, 2);
      AppendHex(out, req.hops[0].precision, 2);
    }
    return out;
  }
  out += 'Z';
  size_t n = std::min(req.hops.size(), kMaxRouteHops);
  for (size_t i = 0; i < n; ++i) {
    const RouteHop& h = req.hops[i];
    for (uint8_t b : h.address) AppendHex(out, b, 2);
    AppendHex(out, h.precision, 2);
    AppendHex(out, std::min<uint32_t>(h.rttMs, 0xffffff), 6);
  }
  return out;
}

std::optional<RouteRequest> ReadRouteRequest(std::string_view q, std::string* error) {
  RouteRequest req;
  if (q.size() < 25 || q[24] != '&') return Fail(error, "identity is not 24 hex digits and '&'"), std::nullopt;
  auto id = ReadIdentity(q.substr(0, 24), kRequestMasks);
  if (!id) return Fail(error, "identity is not 24 hex digits"), std::nullopt;
  req.identity = *id;
  std::string_view rest = q.substr(25);
  if (!rest.empty() && rest[0] != 'Z') {
    // The speed test form: one address and a precision.
    if (rest.size() != 10) return Fail(error, "speed test entry is not 10 characters"), std::nullopt;
    auto hop = ReadHop(rest, false);
    if (!hop) return Fail(error, "malformed hex in speed test entry"), std::nullopt;
    req.speedTest = true;
    req.hops.push_back(*hop);
    return req;
  }
  if (rest.empty()) return Fail(error, "no 'Z' and no hops"), std::nullopt;
  rest.remove_prefix(1);
  if (rest.size() % 16 != 0) return Fail(error, "hop list is not a multiple of 16 characters"), std::nullopt;
  if (rest.size() / 16 > kMaxRouteHops) return Fail(error, "too many hops"), std::nullopt;
  for (size_t i = 0; i < rest.size(); i += 16) {
    auto hop = ReadHop(rest.substr(i, 16), true);
    if (!hop) return Fail(error, "malformed hex in hop entry"), std::nullopt;
    req.hops.push_back(*hop);
  }
  return req;
}

// ------------------------------------------------------- route location answer

RouteEntry RouteEntry::FromPosition(double latitude, double longitude, uint8_t precision) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return Unknown();
  double lon = std::clamp(std::round((longitude + 180.0) * 180.0), 0.0, 64800.0);
  double lat = std::clamp(std::round((90.0 - latitude) * 180.0), 0.0, 32400.0);
  return RouteEntry{static_cast<uint16_t>(lon), static_cast<uint16_t>(lat), precision};
}

std::string DefaultBanner() {
  return "Copyright (c) HopSight project. Positions: GeoNames (CC BY 4.0), NRO registry data "
         "via ip-location-db (CC BY 4.0), US Census.";
}

std::string WriteRouteAnswer(const std::vector<RouteEntry>& entries, std::string_view banner) {
  std::string out(banner.empty() ? DefaultBanner() : std::string(banner));
  out.resize(kBannerLength, ' ');
  out.reserve(RouteAnswerLength(entries.size()));
  for (const RouteEntry& e : entries) {
    AppendHex(out, e.lonCode, 4);
    AppendHex(out, e.latCode, 4);
    AppendHex(out, e.precision, 2);
  }
  out += "fdb6\r\n";
  return out;
}

std::optional<std::vector<RouteEntry>> ReadRouteAnswer(std::string_view a, size_t hops) {
  if (a.substr(0, 9) != "Copyright") return std::nullopt;
  if (a.size() != RouteAnswerLength(hops)) return std::nullopt;
  std::string_view tail = a.substr(kBannerLength + 10 * hops, 6);
  if (tail.size() != 6 || (tail[0] | 0x20) != 'f' || (tail[1] | 0x20) != 'd' || (tail[2] | 0x20) != 'b' ||
      tail[3] != '6' || tail[4] != '\r' || tail[5] != '\n')
    return std::nullopt;
  std::vector<RouteEntry> out;
  out.reserve(hops);
  for (size_t i = 0; i < hops; ++i) {
    std::string_view e = a.substr(kBannerLength + 10 * i, 10);
    auto lon = ReadHex(e.substr(0, 4)), lat = ReadHex(e.substr(4, 4)), p = ReadHex(e.substr(8, 2));
    if (lon && lat && p)
      out.push_back({static_cast<uint16_t>(*lon), static_cast<uint16_t>(*lat), static_cast<uint8_t>(*p)});
    else
      out.push_back(RouteEntry::Unknown());
  }
  return out;
}

// --------------------------------------------------------------- place lookup

namespace {

void AppendValue(std::string& out, std::string_view value) {
  for (unsigned char c : value) {
    if (NeedsEscape(c)) {
      out += '%';
      AppendHex(out, c, 2);
    } else {
      out += static_cast<char>(c);
    }
  }
}

}  // namespace

std::string WritePlaceQuery(const PlaceQuery& q) {
  std::string out = "lookup/?";
  auto add = [&](const char* key, const std::optional<std::string>& v) {
    if (!v) return;
    out += key;
    AppendValue(out, *v);
    out += '&';
  };
  add("domain=", q.domain);
  add("ip=", q.ip);
  add("country=", q.country);
  add("city=", q.city);
  add("state=", q.state);
  add("zip=", q.zip);
  // An empty address says nothing about the place: the client leaves it out.
  if (q.url && !q.url->empty()) add("url=", q.url);
  out.pop_back();  // the last "&", or the "?" when nothing was added
  return out;
}

std::string WriteWizardPlaceQuery(const WizardPlaceQuery& q) {
  std::string out = "lookup/?country=";
  AppendValue(out, q.country);
  auto add = [&](const char* key, const std::string& v) {
    if (v.empty()) return;
    out += key;
    AppendValue(out, std::string_view(v).substr(0, kWizardFieldLimit));
  };
  add("&city=", q.city);
  add("&zip=", q.zip);
  add("&state=", q.state);
  return out;
}

std::optional<PlaceQuery> ReadPlaceQuery(std::string_view query, std::string* error) {
  PlaceQuery q;
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t end = query.find('&', pos);
    if (end == std::string_view::npos) end = query.size();
    std::string_view pair = query.substr(pos, end - pos);
    pos = end + 1;
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string_view key = pair.substr(0, eq);
    std::string_view raw = eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1);
    std::optional<std::string>* slot = nullptr;
    if (key == "domain") slot = &q.domain;
    else if (key == "ip") slot = &q.ip;
    else if (key == "country") slot = &q.country;
    else if (key == "city") slot = &q.city;
    else if (key == "state") slot = &q.state;
    else if (key == "zip") slot = &q.zip;
    else if (key == "url") slot = &q.url;
    if (!slot) continue;
    auto value = PercentDecode(raw);
    if (!value) return Fail(error, "malformed percent escape"), std::nullopt;
    if (!*slot) *slot = std::move(*value);
  }
  return q;
}

std::string WritePlaceAnswer(const PlaceAnswer& a) {
  int status = a.status < 0 || a.status > 9 ? 9 : a.status;
  std::string out = "TVGS";
  out += static_cast<char>('0' + status);
  out += ',';
  out += FormatDegrees(a.latitude);
  out += ',';
  out += FormatDegrees(a.longitude);
  return out;
}

std::optional<PlaceAnswer> ReadPlaceAnswer(std::string_view answer) {
  size_t at = answer.find("TVGS");
  if (at == std::string_view::npos || at + 4 >= answer.size()) return std::nullopt;
  char s = answer[at + 4];
  if (s < '0' || s > '9') return std::nullopt;
  PlaceAnswer a;
  a.status = s - '0';
  size_t c1 = answer.find(',', at + 5);
  if (c1 != std::string_view::npos) {
    a.latitude = config::LeadingDouble(answer.substr(c1 + 1));
    size_t c2 = answer.find(',', c1 + 1);
    if (c2 != std::string_view::npos) a.longitude = config::LeadingDouble(answer.substr(c2 + 1));
  }
  return a;
}

PlaceLookupResult ReadPlaceLookupAnswer(std::string_view answer) {
  PlaceLookupResult r;
  if (answer.size() < 6 || answer.substr(0, 4) != "TVGS") return r;  // kVerdictInvalid
  if (config::LeadingInt(answer.substr(4)) != 0) {
    // The status character's distance from ',': "1" to "9" give 5 to 13,
    // an answer without a position that ends the search.
    r.verdict = answer[4] - ',';
    return r;
  }
  size_t comma = answer.find(',', 6);
  if (comma == std::string_view::npos) return r;
  r.verdict = kVerdictGood;
  r.latitude = config::LeadingDouble(answer.substr(6));
  r.longitude = config::LeadingDouble(answer.substr(comma + 1));
  return r;
}

// --------------------------------------------------------------- country list

std::string WriteCountryList(const CountryList& list) {
  std::string out = list.suggestedName + "|" + list.suggestedCode;
  for (const CountryEntry& c : list.countries) {
    out += '^';
    out += c.name;
    out += '|';
    out += c.code;
    out += '|';
    AppendDecimal(out, c.level);
  }
  out += '^';
  return out;
}

std::optional<CountryList> ReadCountryList(std::string_view a) {
  // An answer without a caret, or the web server's own error page, is no list at all.
  if (a.find("Active Server Page") != std::string_view::npos) return std::nullopt;
  size_t first = a.find('^');
  if (first == std::string_view::npos) return std::nullopt;
  CountryList list;
  size_t pos = first;
  size_t next;
  while ((next = a.find('^', pos + 1)) != std::string_view::npos) {
    std::string_view rec = a.substr(pos + 1, next - pos - 1);
    size_t b1 = rec.find('|');
    if (b1 == std::string_view::npos) return list;  // a broken record ends the list, with no suggestion
    pos = next;
    CountryEntry e;
    e.name = std::string(rec.substr(0, b1));
    e.code = std::string(rec.substr(b1 + 1, 2));
    size_t b2 = rec.find('|', b1 + 1);
    if (b2 != std::string_view::npos) {
      std::string_view lv = rec.substr(b2 + 1);
      int level = 0;
      std::from_chars(lv.data(), lv.data() + lv.size(), level);
      e.level = level;
    }
    list.countries.push_back(std::move(e));
  }
  // A cut answer keeps the countries read so far; only a complete one names the suggested country.
  if (pos + 1 != a.size()) return list;
  std::string_view head = a.substr(0, first);
  size_t bar = head.find('|');
  list.suggestedName = std::string(head.substr(0, bar));
  if (bar != std::string_view::npos) list.suggestedCode = std::string(head.substr(bar + 1, 2));
  return list;
}

// --------------------------------------------------------------- update check

std::string WriteUpdateRequest(const InstallIdentity& id) { return "flexcheck/?" + WriteIdentity(id, kUpdateMasks); }

std::optional<InstallIdentity> ReadUpdateRequest(std::string_view query) { return ReadIdentity(query, kUpdateMasks); }

std::string WriteUpdateAnswer(const UpdateAnswer& a) {
  switch (a.kind) {
    case UpdateAnswer::Current: return "0";
    case UpdateAnswer::NewVersion: return a.address.empty() ? "1" : "1\r\n" + a.address;
    case UpdateAnswer::Information: return "2\r\n" + a.message + "\r\n" + a.address;
    case UpdateAnswer::OpenPage: return "3\r\n" + a.address;
  }
  return "0";
}

std::optional<UpdateAnswer> ReadUpdateAnswer(std::string_view a) {
  a = a.substr(0, kUpdateAnswerLimit);
  if (a.empty()) return std::nullopt;
  UpdateAnswer out;
  size_t pos = 0;
  Line(a, pos);  // the first line; only its first character counts
  switch (a[0]) {
    case '0': out.kind = UpdateAnswer::Current; return out;
    case '1':
      out.kind = UpdateAnswer::NewVersion;
      if (a.find("http") != std::string_view::npos) out.address = std::string(Line(a, pos));
      return out;
    case '2': {
      if (pos >= a.size()) return std::nullopt;  // no second line
      out.kind = UpdateAnswer::Information;
      out.message = std::string(Line(a, pos));
      out.address = std::string(Line(a, pos));
      return out;
    }
    default:
      if (pos >= a.size()) return std::nullopt;
      out.kind = UpdateAnswer::OpenPage;
      out.address = std::string(Line(a, pos));
      return out;
  }
}

}  // namespace hs::locwire
