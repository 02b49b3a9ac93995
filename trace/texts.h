// The trace engine's user-visible texts (English). printf-style where they
// take a value.
#pragma once

namespace hs::text {

inline constexpr const char kTraceStarted[] = "Trace started";
inline constexpr const char kLookingUpAddress[] = "Looking up the IP address of %s";
inline constexpr const char kAddressFound[] = "IP address found: %s";
inline constexpr const char kUnableToObtainAddress[] = "Unable to obtain the IP address for %s";
inline constexpr const char kPossibleMailAddress[] = "%s is a possible e-mail address";
inline constexpr const char kGettingAddressOf[] = "Getting IP address of %s";
inline constexpr const char kGettingLocalIp[] = "Getting Local IP";
inline constexpr const char kStartingTraceTo[] = "Starting Trace to %s";
inline constexpr const char kPingingNode[] = "Pinging node #%d";
inline constexpr const char kRetrievingName[] = "Retrieving name for %s";
inline constexpr const char kWaitingForQuery[] = "Waiting for %d query";
inline constexpr const char kWaitingForQueries[] = "Waiting for %d queries";
inline constexpr const char kTraceCompleted[] = "Trace completed";
inline constexpr const char kTraceInterrupted[] = "Trace interrupted";
inline constexpr const char kUnknownLocalName[] = "???";
inline constexpr const char kWindowTitle[] = "Event Trace: %s";

inline constexpr const char kErrorTitle[] = "Error";
inline constexpr const char kErrorNotResolved[] =
    "The domain name entered could not be resolved.  Ensure you spelled it correctly, and that you are "
    "connected to the Internet.";
inline constexpr const char kErrorInvalidAddress[] =
    "An invalid IP address format was entered.  IP addresses are composed of 4 numbers 1-255 separated by "
    "periods (e.g. 192.168.1.2)";

// hopsight-trace's table: whether a position agrees with the round-trip
// time, and the hop's autonomous system.
inline constexpr const char kColumnPlausible[] = "Plausible";
inline constexpr const char kColumnAs[] = "AS";
inline constexpr const char kPlausibleYes[] = "yes";
inline constexpr const char kPlausibleNo[] = "no";

// Route changes since the recorded trace (hopsight-trace --diff).
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
