// The home location wizard's rules, without a window: the detail levels of
// a country, its requests to the location servers and their verdicts, what
// an answer makes the wizard do, and the advanced view's checks and
// crosshair. The dialogs (ui/home_wizard.h) only show what these decide.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "trace/records.h"

namespace hs::ui {

// Precision of a home location from the server (a place) and typed in degrees.
inline constexpr int32_t kServerHomePrecision = 130;
inline constexpr int32_t kTypedHomePrecision = 240;

// Query bits of a detail level.
inline constexpr int kCityBit = 1, kZipBit = 2, kStateBit = 4;

// Which edits a level shows, and its hint (string 59 or 60; 0 for none).
struct LevelFields {
  bool city = false;
  bool zip = false;
  bool state = false;
  int hint = 0;
  friend bool operator==(const LevelFields&, const LevelFields&) = default;
};
LevelFields FieldsForLevel(int level);

// A country list entry's item value: the two-letter code in the low bytes
// (first letter lowest, then a zero byte) and the level in the top byte.
uint32_t PackCountry(std::string_view code, int level);
std::string CountryCode(uint32_t packed);
int CountryLevel(uint32_t packed);

// The requests, and their verdicts (0 good, 4 ask the next server).
inline constexpr std::string_view kCountryListPath = "wiz.asp";
int CountryListVerdict(std::string_view answer);
int WizardPlaceVerdict(std::string_view answer);
// "lookup/?country=CC" then, for each query bit of the level whose edit is
// not empty, "&city=", "&zip=", "&state=" in that order.
std::string WizardPlacePath(std::string_view code, int level, std::string_view city, std::string_view zip,
                            std::string_view state);

// What the wizard does with a place answer.
struct PlaceOutcome {
  enum Action {
    Take,        // status 0: the position becomes the home location
    Retry,       // a message with OK (string 70), then stay on step 2
    OfferDefault,  // a message with OK and Cancel (string 68): OK takes the position
  };
  Action action = Retry;
  int message = 0;  // the string of the status: 16 to 20, 0 for Take
  double latitude = 0;
  double longitude = 0;
};
PlaceOutcome ReadWizardPlaceAnswer(std::string_view answer);

// The advanced view's input as its controls hold it.
enum class Hemisphere { None, Positive, Negative };  // North/East, South/West
struct DegreesInput {
  std::string latitude;   // magnitude, as typed
  std::string longitude;
  Hemisphere northSouth = Hemisphere::None;
  Hemisphere eastWest = Hemisphere::None;
};

// A typed magnitude: the decimal number it begins with, 0 when none.
double TypedDegrees(std::string_view text);
// True when the text holds only digits and '.': anything else makes a beep.
bool IsDegreesText(std::string_view text);
// "%f" of a magnitude, whatever the locale.
std::string FormatDegrees(double magnitude);
// The controls for a home location: magnitudes and hemispheres (0 counts
// as North and East); empty controls when none is set.
DegreesInput InputForHome(const GeoLocation& home);

// OK of the advanced view.
struct DegreesCheck {
  enum Result { Accepted, BadLocation, NoNorthSouth, NoEastWest };
  Result result = BadLocation;
  GeoLocation home;  // Accepted: source Home, signed degrees, precision 240
};
DegreesCheck CheckDegrees(const DegreesInput& input);

// The crosshair over the 269 x 134 world picture.
struct Crosshair {
  enum State { Hidden, OutOfRange, Shown };
  State state = Hidden;
  double x = 0, y = 0;  // Shown: picture pixels
};
Crosshair CrosshairFor(const DegreesInput& input);

}  // namespace hs::ui
