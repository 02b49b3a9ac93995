#include "ui/home_wizard_core.h"

#include <cmath>

#include "config/text_fields.h"
#include "server/wire/locwire.h"

namespace hs::ui {

LevelFields FieldsForLevel(int level) {
  switch (level) {
    case 0: return {false, false, false, 59};
    case 1: return {true, false, false, 60};
    case 2:
    case 3:
    case 6: return {false, true, false, 0};
    case 4: return {false, false, true, 0};
    case 5: return {true, false, true, 0};
    default:
      // Levels the table does not name show the fields their bits ask for.
      return {(level & kCityBit) != 0, (level & kZipBit) != 0, (level & kStateBit) != 0, 0};
  }
}

uint32_t PackCountry(std::string_view code, int level) {
  uint32_t packed = 0;
  if (code.size() > 0) packed |= static_cast<uint8_t>(code[0]);
  if (code.size() > 1) packed |= static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8;
  return packed | (static_cast<uint32_t>(level & 0xFF) << 24);
}

std::string CountryCode(uint32_t packed) {
  std::string code;
  for (int shift : {0, 8}) {
    const char c = static_cast<char>((packed >> shift) & 0xFF);
    if (c == '\0') break;
    code += c;
  }
  return code;
}

int CountryLevel(uint32_t packed) { return static_cast<int>(packed >> 24); }

int CountryListVerdict(std::string_view answer) {
  if (answer.find("Active Server Page") != std::string_view::npos) return 4;
  return answer.find('^') != std::string_view::npos ? 0 : 4;
}

int WizardPlaceVerdict(std::string_view answer) { return answer.find("TVGS") != std::string_view::npos ? 0 : 4; }

std::string WizardPlacePath(std::string_view code, int level, std::string_view city, std::string_view zip,
                            std::string_view state) {
  locwire::WizardPlaceQuery q;
  q.country = std::string(code);
  if (level & kCityBit) q.city = std::string(city);
  if (level & kZipBit) q.zip = std::string(zip);
  if (level & kStateBit) q.state = std::string(state);
  return locwire::WriteWizardPlaceQuery(q);
}

PlaceOutcome ReadWizardPlaceAnswer(std::string_view answer) {
  PlaceOutcome out;
  const std::optional<locwire::PlaceAnswer> a = locwire::ReadPlaceAnswer(answer);
  const int status = a ? a->status : -1;
  if (status == 0) {
    out.action = PlaceOutcome::Take;
    out.latitude = a->latitude;
    out.longitude = a->longitude;
    return out;
  }
  switch (status) {
    case 1: out.message = 16; break;
    case 2: out.message = 20; break;
    case 3: out.message = 19; break;
    case 4: out.message = 18; break;
    default: out.message = 17; break;
  }
  if (a && (a->latitude != 0.0 || a->longitude != 0.0)) {
    out.action = PlaceOutcome::OfferDefault;
    out.latitude = a->latitude;
    out.longitude = a->longitude;
  }
  return out;
}

double TypedDegrees(std::string_view text) { return config::LeadingDouble(text); }

bool IsDegreesText(std::string_view text) {
  for (char c : text)
    if ((c < '0' || c > '9') && c != '.') return false;
  return true;
}

std::string FormatDegrees(double magnitude) {
  std::string out;
  config::AppendFixed6(out, magnitude);
  return out;
}

DegreesInput InputForHome(const GeoLocation& home) {
  DegreesInput in;
  if (home.latitude == 0.0 && home.longitude == 0.0) return in;
  in.latitude = FormatDegrees(std::fabs(home.latitude));
  in.longitude = FormatDegrees(std::fabs(home.longitude));
  in.northSouth = home.latitude < 0 ? Hemisphere::Negative : Hemisphere::Positive;
  in.eastWest = home.longitude < 0 ? Hemisphere::Negative : Hemisphere::Positive;
  return in;
}

namespace {
bool InRange(double latitude, double longitude) {
  return latitude >= 0 && latitude <= 90 && longitude >= 0 && longitude <= 180;
}
}  // namespace

DegreesCheck CheckDegrees(const DegreesInput& input) {
  DegreesCheck check;
  const double latitude = TypedDegrees(input.latitude), longitude = TypedDegrees(input.longitude);
  if (!InRange(latitude, longitude)) {
    check.result = DegreesCheck::BadLocation;
  } else if (input.northSouth == Hemisphere::None) {
    check.result = DegreesCheck::NoNorthSouth;
  } else if (input.eastWest == Hemisphere::None) {
    check.result = DegreesCheck::NoEastWest;
  } else {
    check.result = DegreesCheck::Accepted;
    check.home = GeoLocation{LocationSource::Home,
                             input.northSouth == Hemisphere::Negative ? -latitude : latitude,
                             input.eastWest == Hemisphere::Negative ? -longitude : longitude, kTypedHomePrecision};
  }
  return check;
}

Crosshair CrosshairFor(const DegreesInput& input) {
  Crosshair c;
  if (input.northSouth == Hemisphere::None || input.eastWest == Hemisphere::None) return c;
  double latitude = TypedDegrees(input.latitude), longitude = TypedDegrees(input.longitude);
  if (!InRange(latitude, longitude)) {
    c.state = Crosshair::OutOfRange;
    return c;
  }
  if (input.northSouth == Hemisphere::Negative) latitude = -latitude;
  if (input.eastWest == Hemisphere::Negative) longitude = -longitude;
  c.state = Crosshair::Shown;
  c.x = longitude * 0.75 + 134.5;
  c.y = 67 - latitude * 67 / 90;
  return c;
}

}  // namespace hs::ui
