// Request and answer forms spoken between HopSight and its location and
// update servers. One reader and one writer per form; hopsight-locd and the
// program's server client both use these, so both sides agree byte for byte.
//
// Readers never throw and never trust lengths: they return std::nullopt (or an
// error text) for anything malformed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hs::locwire {

// Where the companion server listens unless told otherwise, and where the
// program looks for it first: this machine, so nothing leaves it by default.
inline constexpr std::string_view kCompanionAddress = "127.0.0.1:8053";

// ---------------------------------------------------------------- identity
// The install identity travels as three 32-bit words, each XORed with a mask,
// written as 24 lower-case hexadecimal digits.
struct InstallIdentity {
  uint32_t installTime = 0;
  uint32_t installRandom = 0;
  uint32_t productCode = 0;
  bool operator==(const InstallIdentity&) const = default;
};

inline constexpr uint32_t kProductCode = 0x48535831;  // "HSX1"
using Masks = std::array<uint32_t, 3>;
// Route location and speed-test requests.
inline constexpr Masks kRequestMasks = {0x5a17c3e9, 0x2c6b9f14, 0x71d0a58b};
// Update check.
inline constexpr Masks kUpdateMasks = {0x3e8a51c7, 0x9b24d06f, 0x06f7e2a3};

std::string WriteIdentity(const InstallIdentity& id, const Masks& masks);
std::optional<InstallIdentity> ReadIdentity(std::string_view text, const Masks& masks);

// ------------------------------------------------------ route location request
// "loc/?" identity "&" "Z" then 16 characters a hop: address bytes, precision
// (2 digits each) and the round-trip time in ms (6 digits). The weekly speed
// test sends the same prefix, no "Z", and one 10-character entry (address and
// precision, no time).
inline constexpr uint32_t kNoTimeMs = 9999999;
inline constexpr size_t kMaxRouteHops = 63;  // a trace never has more rows

struct RouteHop {
  std::array<uint8_t, 4> address{};  // dotted order, first byte first
  uint8_t precision = 0;
  uint32_t rttMs = kNoTimeMs;  // 24 bits on the wire
  bool operator==(const RouteHop&) const = default;
};

struct RouteRequest {
  InstallIdentity identity;
  bool speedTest = false;  // the 10-character form; exactly one hop, no time
  std::vector<RouteHop> hops;
  bool operator==(const RouteRequest&) const = default;
};

// Path and query without the leading "/": "loc/?...". The writer leaves out
// hops past kMaxRouteHops.
std::string WriteRouteRequest(const RouteRequest& req);
// `query` is the text after "loc/?". On failure `error` says why.
std::optional<RouteRequest> ReadRouteRequest(std::string_view query, std::string* error = nullptr);

// ------------------------------------------------------- route location answer
// A 128-character banner beginning with "Copyright", 10 characters a hop
// (longitude code, latitude code, precision in hex), then "fdb6\r\n".
inline constexpr size_t kBannerLength = 128;
inline constexpr size_t RouteAnswerLength(size_t hops) { return 10 * hops + 134; }

struct RouteEntry {
  uint16_t lonCode = 0;  // (longitude + 180) * 180
  uint16_t latCode = 0;  // (90 - latitude) * 180
  uint8_t precision = 0;
  bool operator==(const RouteEntry&) const = default;

  double Longitude() const { return lonCode / 180.0 - 180.0; }
  double Latitude() const { return 90.0 - latCode / 180.0; }
  // Nearest codes for a position, clamped to the map.
  static RouteEntry FromPosition(double latitude, double longitude, uint8_t precision);
  // The all-zero entry that clients reject: no position known.
  static RouteEntry Unknown() { return {}; }
};

// `banner` is padded with blanks or cut to 128 characters; it should begin
// with "Copyright" (the default one does).
std::string WriteRouteAnswer(const std::vector<RouteEntry>& entries, std::string_view banner = {});
std::string DefaultBanner();
// Checks banner start, exact length and the closing "fdb6\r\n" for `hops`
// entries; an entry with a non-hex character reads as all zero.
std::optional<std::vector<RouteEntry>> ReadRouteAnswer(std::string_view answer, size_t hops);

// ------------------------------------------------------------------ verdicts
// What a server's answer is worth to the client that tries the servers in
// turn: good, not an answer at all (ask the next server), or any other value
// for a real answer that carries no result (stop asking).
inline constexpr int kVerdictGood = 0;
inline constexpr int kVerdictInvalid = 4;

// --------------------------------------------------------------- place lookup
// Two forms of "lookup/?" request, both key=value pairs joined by "&":
//  - the place lookup's: domain, ip, country, city, state, zip, url in that
//    order, each when present (an empty url counts as absent);
//  - the home location wizard's: country always, then city, zip and state in
//    that order, each when not empty.
// One reader takes both: the server does not care about the order.
struct PlaceQuery {
  std::optional<std::string> domain, ip, country, city, state, zip, url;
  bool operator==(const PlaceQuery&) const = default;
};

// Values go out as typed, except bytes that cannot stand in a URL (blank,
// controls, "%", "#", "&", 8-bit) which are percent-encoded; the reader
// decodes them, so a value round-trips.
std::string WritePlaceQuery(const PlaceQuery& q);

// The wizard's fields, as its edits hold them (empty = not given).
struct WizardPlaceQuery {
  std::string country;  // the two-letter code
  std::string city, zip, state;
};
inline constexpr size_t kWizardFieldLimit = 511;  // longer values are cut
std::string WriteWizardPlaceQuery(const WizardPlaceQuery& q);

// `query` is the text after "lookup/?". Unknown keys are ignored; a repeated
// key keeps its first value. Fails on a malformed percent escape.
std::optional<PlaceQuery> ReadPlaceQuery(std::string_view query, std::string* error = nullptr);

// "TVGS" status "," latitude "," longitude. Status 0 = found; 1 unknown
// country, 2 city, 3 postcode, 4 state not found (the position is then the
// country's default, or 0,0 when there is none).
enum PlaceStatus : int {
  kPlaceFound = 0,
  kPlaceBadCountry = 1,
  kPlaceNoCity = 2,
  kPlaceNoPostcode = 3,
  kPlaceNoState = 4,
};
struct PlaceAnswer {
  int status = kPlaceFound;  // one digit, 0-9
  double latitude = 0;
  double longitude = 0;
  bool operator==(const PlaceAnswer&) const = default;
};
// Latitude and longitude in decimal degrees with at most five places, a
// decimal point whatever the locale ("TVGS0,51.5,-0.12").
std::string WritePlaceAnswer(const PlaceAnswer& a);
// Reads the answer the way the wizard does: finds "TVGS", takes the next
// character as status and the numbers after the next two commas.
std::optional<PlaceAnswer> ReadPlaceAnswer(std::string_view answer);

// Reads the answer the way the place lookup does. The verdict: kVerdictInvalid
// unless the answer begins with "TVGS" and has at least 6 characters; for a
// status other than 0 (a decimal number at offset 4, blanks and sign allowed)
// the status character minus ',' (5 to 13 for "1" to "9"); for status 0,
// kVerdictGood when a ',' follows at or after offset 6, with the latitude read
// at offset 6 and the longitude after that ','. The position is 0, 0 unless
// the verdict is good.
struct PlaceLookupResult {
  int verdict = kVerdictInvalid;
  double latitude = 0;
  double longitude = 0;
  bool operator==(const PlaceLookupResult&) const = default;
};
PlaceLookupResult ReadPlaceLookupAnswer(std::string_view answer);

// --------------------------------------------------------------- country list
// Suggested name "|" code, then "^" name "|" code "|" level for each country,
// closed by "^". Levels are bit sets: 1 city, 2 postcode, 4 state.
inline constexpr size_t kCountryListCapacity = 8096;  // client buffer, with terminator

struct CountryEntry {
  std::string name;  // no "|" or "^"
  std::string code;  // two letters
  int level = 0;     // 0-7
  bool operator==(const CountryEntry&) const = default;
};
struct CountryList {
  std::string suggestedName;
  std::string suggestedCode;
  std::vector<CountryEntry> countries;
  bool operator==(const CountryList&) const = default;
};
std::string WriteCountryList(const CountryList& list);
std::optional<CountryList> ReadCountryList(std::string_view answer);

// --------------------------------------------------------------- update check
// "flexcheck/?" then the identity with the update masks, no "&".
std::string WriteUpdateRequest(const InstallIdentity& id);
std::optional<InstallIdentity> ReadUpdateRequest(std::string_view query);

inline constexpr size_t kUpdateAnswerLimit = 299;  // the client reads no more
struct UpdateAnswer {
  enum Kind { Current, NewVersion, Information, OpenPage };
  Kind kind = Current;
  std::string message;  // Information: the line shown
  std::string address;  // NewVersion (optional, keeps the client quiet), Information, OpenPage
  bool operator==(const UpdateAnswer&) const = default;
};
// "0"; "1" (with "\r\n" address when one is given); "2\r\n" message "\r\n"
// address; "3\r\n" address.
std::string WriteUpdateAnswer(const UpdateAnswer& a);
// Reads at most kUpdateAnswerLimit bytes and acts on the first character:
// "0", "1", "2", and anything else (an empty first line too) as the page to
// open, which is the second line. nullopt when a needed line is missing.
std::optional<UpdateAnswer> ReadUpdateAnswer(std::string_view answer);

// ------------------------------------------------------------------- helpers
// Numbers in these forms never depend on the process locale.
// Fixed-point with at most five places, no trailing zeros ("51.5", "-0.12", "7").
std::string FormatDegrees(double degrees);
void AppendDecimal(std::string& out, int64_t value);
// The whole of `text` as a finite decimal number (an optional sign, no blanks).
bool ParseDecimal(std::string_view text, double& out);
// The whole of `text` as decimal digits.
bool ParseUnsigned(std::string_view text, uint64_t& out);

bool IsHexDigit(char c);
std::string DottedAddress(const std::array<uint8_t, 4>& a);
std::optional<std::array<uint8_t, 4>> ParseDotted(std::string_view text);

}  // namespace hs::locwire
