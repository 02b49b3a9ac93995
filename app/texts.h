// What hopsight and hopsight-trace say on the terminal about the program's
// files and its command line, in the program's language.
#pragma once

#include <string>

#include "i18n/text.h"
#include "platform/files.h"

namespace hs::app::text {

// TRANSLATORS: messages on stderr about the program's data files; %s is
// what went wrong with the file (one of the "cannot ..." texts).
inline constexpr i18n::Text kSettingsNotRead =
    NC_("hopsight", "settings not read (defaults used, the file is left as it is): %s");
inline constexpr i18n::Text kCachesNotRead = NC_("hopsight", "lookup caches not read (the file is left as it is): %s");
// TRANSLATORS: the numbers are the cache limit, then the names, WhoIs
// answers and locations dropped; %s is the cache file.
inline constexpr i18n::Text kCachesTrimmed =
    NC_("hopsight",
        "the lookup caches keep %d entries each: dropped %d names, %d WhoIs answers and %d locations read from %s");
inline constexpr i18n::Text kSettingsNotSaved = NC_("hopsight", "settings not saved: %s");
inline constexpr i18n::Text kCachesNotSaved = NC_("hopsight", "lookup caches not saved: %s");
inline constexpr i18n::Text kTraceNotRecorded = NC_("hopsight", "trace not recorded: %s");
// TRANSLATORS: %s is what is wrong with the AS table file.
inline constexpr i18n::Text kAsTableMissing = NC_("hopsight", "AS table not read (hops get no AS numbers): %s");
// TRANSLATORS: %s is the file of the user's own locations.
inline constexpr i18n::Text kUserLocationsNotSaved = NC_("hopsight", "user locations not saved: %s");
inline constexpr i18n::Text kNoHomeDirectory =
    NC_("hopsight", "no home directory is known: the program's data stays beside it");
// TRANSLATORS: %s is why other starts of the program cannot reach this one.
inline constexpr i18n::Text kNoRequests = NC_("hopsight", "running without taking requests from other starts: %s");

// The command line of hopsight.
inline constexpr i18n::Text kUsage = NC_("hopsight", "usage:");
// TRANSLATORS: hopsight --help under its two usage lines. Keep the options
// (/T, --ask, HTLogIsClosing ...) as they are and the lines within 80
// columns; the descriptions start in column 15.
inline constexpr i18n::Text kUsageOptions =
    NC_("hopsight",
        "  /T TARGET   trace the route to TARGET (host name, IPv4 address or web address)\n"
        "              and record it in the trace history (/t: the same, but the program\n"
        "              does not end when the host application closes its log)\n"
        "  /L TARGET   show the recorded trace of TARGET when it is under an hour old,\n"
        "              otherwise trace it (/l likewise)\n"
        "  /H          set the home location, then end\n"
        "  --ask       ask for a target in a small window, then as /T\n"
        "  --notify REQUEST\n"
        "              send REQUEST to the running HopSight and end: HTLogIsClosing (the host\n"
        "              application's log window closed) or HSXSetHomeLoc (open the home\n"
        "              location wizard); exit status 1 when none runs\n"
        "\n"
        "Only one HopSight runs per user: a second start hands its command line to the\n"
        "first and ends. Anything else on the command line ends the program at once.\n");
// TRANSLATORS: %s is an option of hopsight such as --help.
inline constexpr i18n::Text kTakesNothing = NC_("hopsight", "%s takes nothing after it");
inline constexpr i18n::Text kNotifyTakesOne = NC_("hopsight", "--notify takes one request name, such as HTLogIsClosing");
inline constexpr i18n::Text kUnknownOption = NC_("hopsight", "unknown option %s");
// TRANSLATORS: %s is the name given after --notify.
inline constexpr i18n::Text kNotifyNames = NC_("hopsight", "--notify sends HTLogIsClosing or HSXSetHomeLoc, not \"%s\"");
// TRANSLATORS: %s is the system's reason.
inline constexpr i18n::Text kNoneRunning = NC_("hopsight", "no HopSight of yours is running (%s)");
// TRANSLATORS: %s is the directory of the program hopsight.
inline constexpr i18n::Text kNoWindowProgram = NC_("hopsight", "the window program hopsight-window is not beside %s");

// A file that could not be read or written: what was done, the file and
// the system's reason.
std::string DescribeFileError(const platform::FileError& error);

}  // namespace hs::app::text
