// The trace engine's user-visible texts, keyed by their string numbers.
// printf-style where they take a value. i18n::Tr() gives them in the
// program's language; the sound file names are not texts.
#pragma once

#include "i18n/text.h"

namespace hs::text {

// TRANSLATORS: the status line beside the progress bar. Keep each short: the
// line shows about 60 characters at the window's smallest width.
inline constexpr i18n::Text kTraceStarted = NC_("25436", "Trace started");
inline constexpr i18n::Text kLookingUpAddress = NC_("316", "Looking up the IP address of %s");
inline constexpr i18n::Text kAddressFound = NC_("314", "IP address found: %s");
inline constexpr i18n::Text kUnableToObtainAddress = NC_("315", "Unable to obtain the IP address for %s");
inline constexpr i18n::Text kPossibleMailAddress = NC_("317", "%s is a possible e-mail address");
inline constexpr i18n::Text kGettingAddressOf = NC_("401", "Getting IP address of %s");
inline constexpr i18n::Text kGettingLocalIp = NC_("295", "Getting Local IP");
inline constexpr i18n::Text kStartingTraceTo = NC_("299", "Starting Trace to %s");
inline constexpr i18n::Text kPingingNode = NC_("294", "Pinging node #%d");
inline constexpr i18n::Text kRetrievingName = NC_("400", "Retrieving name for %s");
// TRANSLATORS: %d is 1 here.
inline constexpr i18n::Text kWaitingForQuery = NC_("293", "Waiting for %d query");
// TRANSLATORS: %d is 2 or more here.
inline constexpr i18n::Text kWaitingForQueries = NC_("292", "Waiting for %d queries");
inline constexpr i18n::Text kTraceCompleted = NC_("25437", "Trace completed");
inline constexpr i18n::Text kTraceInterrupted = NC_("25435", "Trace interrupted");
// TRANSLATORS: the window title while a trace is shown; %s is the target.
inline constexpr i18n::Text kWindowTitle = NC_("25434", "Event Trace: %s");

// The local computer's name when no home location is set.
inline constexpr const char kUnknownLocalName[] = "???";

inline constexpr i18n::Text kErrorTitle = NC_("81", "Error");
inline constexpr i18n::Text kErrorNotResolved =
    NC_("104",
        "The domain name entered could not be resolved.  Ensure you spelled it correctly, and that you are "
        "connected to the Internet.");
inline constexpr i18n::Text kErrorInvalidAddress =
    NC_("105",
        "An invalid IP address format was entered.  IP addresses are composed of 4 numbers 1-255 separated by "
        "periods (e.g. 192.168.1.2)");

// TRANSLATORS: the first %s is the system's reasons, the second the
// program's path. Keep the two commands as they are.
inline constexpr i18n::Text kIcmpNotPermitted =
    NC_("icmp",
        "ICMP echo is not permitted (%s). Allow unprivileged ICMP with: sysctl -w "
        "net.ipv4.ping_group_range=\"0 2147483647\" or grant raw sockets with: setcap cap_net_raw+ep %s");

// hopsight-trace's table: whether a position agrees with the round-trip
// time, and the hop's autonomous system.
// TRANSLATORS: a column title of hopsight-trace's table and its two values;
// the column is 9 characters wide.
inline constexpr i18n::Text kColumnPlausible = NC_("hopsight-trace", "Plausible");
inline constexpr i18n::Text kColumnAs = NC_("hopsight-trace", "AS");
inline constexpr i18n::Text kPlausibleYes = NC_("hopsight-trace", "yes");
inline constexpr i18n::Text kPlausibleNo = NC_("hopsight-trace", "no");

// Route changes since the recorded trace (hopsight-trace --diff). Lines
// that scripts read, as --json and --csv: the same in every language.
inline constexpr const char kRouteChangeLine[] = "hop %d: %s -> %s";
inline constexpr const char kRouteNoReply[] = "no reply";
inline constexpr const char kRouteNoHop[] = "none";
inline constexpr const char kRouteNoChange[] = "no change";
inline constexpr const char kRouteNotRecorded[] = "no recorded trace of %s";

inline constexpr const char kSoundStart[] = "start.wav";
inline constexpr const char kSoundTimeout[] = "timeout.wav";
inline constexpr const char kSoundError[] = "error.wav";
inline constexpr const char kSoundFailure[] = "failure.wav";
inline constexpr const char kSoundDone[] = "done.wav";
inline constexpr const char kSoundTraceComplete[] = "tracecomplete.wav";

}  // namespace hs::text
