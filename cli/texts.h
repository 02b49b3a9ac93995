// What hopsight-trace says, in the program's language. The rows' own texts
// and the status line come from the engine (trace/texts.h); --json carries
// none of these.
#pragma once

#include <string>
#include <string_view>

#include "i18n/text.h"

namespace hs::cli::text {

// TRANSLATORS: the column of the hop's position in hopsight-trace's table.
inline constexpr i18n::Text kLocation = NC_("hopsight-trace", "Location");
// TRANSLATORS: the --whois report when a server gave no answer.
inline constexpr i18n::Text kNoAnswer = NC_("hopsight-trace", "(no answer)");

// TRANSLATORS: "hopsight /H" is a command and stays as it is.
inline constexpr i18n::Text kNoHome =
    NC_("hopsight-trace",
        "no home location is set (this computer's row gets a default position); set it with: hopsight /H");

// Usage. The options themselves are not translated.
inline constexpr i18n::Text kUsage = NC_("hopsight-trace", "usage:");
// TRANSLATORS: descriptions of hopsight-trace's options; a line feed starts
// a new line under the previous one.
inline constexpr i18n::Text kUsageTarget = NC_("hopsight-trace", "host name, dotted IPv4 address or URL");
inline constexpr i18n::Text kUsageJson =
    NC_("hopsight-trace", "print the whole trace as JSON when it ends (rows are not printed as found)");
inline constexpr i18n::Text kUsageTiming = NC_("hopsight-trace", "print probe timings to stderr when the trace ends");
inline constexpr i18n::Text kUsageQuiet = NC_("hopsight-trace", "no status texts on stderr");
inline constexpr i18n::Text kUsageRecord = NC_("hopsight-trace", "record the trace in the trace history");
inline constexpr i18n::Text kUsageReplay =
    NC_("hopsight-trace",
        "show the recorded trace of the target when it is under an hour old,\notherwise trace and record it");
inline constexpr i18n::Text kUsageWhois =
    NC_("hopsight-trace",
        "print the destination's Registrant and Network WhoIs texts after the route\n(text output only)");
inline constexpr i18n::Text kUsageNoWhois = NC_("hopsight-trace", "no WhoIs lookups: the Network column stays empty");
inline constexpr i18n::Text kUsageNoGeo =
    NC_("hopsight-trace", "ask no location server for positions (local sources still place hops)");
inline constexpr i18n::Text kUsageServers =
    NC_("hopsight-trace",
        "print the location servers (data/LS.ini) in the order they are asked,\nwith their last response times in "
        "ms, and end");
inline constexpr i18n::Text kUsageCsv =
    NC_("hopsight-trace",
        "print the whole trace as CSV when it ends: a header row, then one record per\nrow with the JSON's fields");
// TRANSLATORS: the quoted forms are what the program prints, in every
// language: keep them as they are.
inline constexpr i18n::Text kUsageDiff =
    NC_("hopsight-trace",
        "trace, print the hops whose address changed since the recorded trace of the\ntarget (\"hop N: OLD -> NEW\") "
        "or \"no change\", then record the new trace");
inline constexpr i18n::Text kUsageNoNames = NC_("hopsight-trace", "no reverse name lookups: hops show no host names");
// TRANSLATORS: the quoted forms are what the program prints: keep them.
inline constexpr i18n::Text kUsageAsn =
    NC_("hopsight-trace",
        "print \"ADDRESS ASN NAME\" for each address from the AS table (ASN.idx),\nor \"ADDRESS -\" when no network "
        "announces it, without tracing");
inline constexpr i18n::Text kUsageDataDir =
    NC_("hopsight-trace",
        "settings, caches, history and user locations (HopLoc.ini)\n(default: data/ in the program's directory, which "
        "also holds HopSight.gdp,\nhopsight.loca, RIR.idx and ASN.idx; a copy of those in DIR is used first)");
// TRANSLATORS: the last lines of hopsight-trace's usage; "hopsight /H" is a
// command and stays as it is.
inline constexpr i18n::Text kUsageProgramDir =
    NC_("hopsight-trace",
        "The program's directory is the one hopsight uses: the program's own when it holds\nmaps/, else hopsight/ "
        "under the XDG data home. Set the home location with hopsight /H.\n");

// TRANSLATORS: --asn: %s is what was given in place of an address.
inline constexpr i18n::Text kNotAnAddress = NC_("hopsight-trace", "not an IPv4 address: %s");
// TRANSLATORS: %s is what is wrong with the AS table file.
inline constexpr i18n::Text kAsTableNotRead = NC_("hopsight-trace", "AS table not read: %s");

// Columns of a terminal that `text` (UTF-8) takes: East Asian wide letters
// take two.
size_t DisplayWidth(std::string_view text);
// `text` padded with blanks to `width` columns (left-aligned, or right-aligned).
std::string PadRight(std::string_view text, size_t width);
std::string PadLeft(std::string_view text, size_t width);

}  // namespace hs::cli::text
