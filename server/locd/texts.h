// What hopsight-locd says on stderr, in the language its environment asks
// for. The line "listening on ADDR:PORT" and the request log stay as they
// are: programs read them.
#pragma once

#include "i18n/text.h"

namespace hs::locd::text {

inline constexpr i18n::Text kUsage = NC_("hopsight-locd", "usage:");
// TRANSLATORS: %s is an option of the command line such as --data.
inline constexpr i18n::Text kNeedsValue = NC_("hopsight-locd", "%s needs a value (or is unknown)");
// TRANSLATORS: %s is an option of the command line; the numbers are its limits.
inline constexpr i18n::Text kCountRange = NC_("hopsight-locd", "%s must be %d-%d");
inline constexpr i18n::Text kSecondsRange = NC_("hopsight-locd", "%s must be %d-%d seconds");
inline constexpr i18n::Text kBadUpdate = NC_("hopsight-locd", "bad --update setting: %s");
inline constexpr i18n::Text kUnknownOption = NC_("hopsight-locd", "unknown option %s");
inline constexpr i18n::Text kNoProgramDirectory =
    NC_("hopsight-locd", "cannot find this program's directory: give --data");
inline constexpr i18n::Text kBadListen = NC_("hopsight-locd", "--listen wants ADDR:PORT, got %s");
// TRANSLATORS: %s is a two-letter country code.
inline constexpr i18n::Text kUnknownCountry = NC_("hopsight-locd", "--default-country %s is not in the country list");
inline constexpr i18n::Text kCannotRead = NC_("hopsight-locd", "%s: cannot read");
inline constexpr i18n::Text kCannotOpenLog = NC_("hopsight-locd", "cannot open log %s");
// TRANSLATORS: the first %s is the address, the second the system's reason.
inline constexpr i18n::Text kCannotListen = NC_("hopsight-locd", "cannot listen on %s: %s");
// TRANSLATORS: what the server loaded; %s at the end is empty or names the
// city database file after the next text.
inline constexpr i18n::Text kLoaded =
    NC_("hopsight-locd", "%zu countries, %zu cities, %zu postcodes, %zu address ranges%s");
inline constexpr i18n::Text kCityDatabase = NC_("hopsight-locd", ", city database %s");
// TRANSLATORS: the server's limits as it starts.
inline constexpr i18n::Text kLimits =
    NC_("hopsight-locd",
        "up to %zu connections (%zu per address, %zu descriptors), request head within %llds, kept-alive "
        "connections idle up to %llds, %zu lookup threads");

}  // namespace hs::locd::text
