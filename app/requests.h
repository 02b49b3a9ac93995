// The requests another process sends to the running instance over the
// local channel, one per packet, under their names:
//
//   "HSXDoNewTrace\nCommand Line=<n>\n" and n bytes of command line
//   "HSXSetHomeLoc\n"
//   "HTLogIsClosing\n"
//
// The length is decimal, without sign or leading zeros. Anything else (an
// unknown name, a wrong length, bytes after the message, a NUL) is not a
// request, and neither is a packet over kMaxRequestSize bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hs::app {

inline constexpr std::string_view kNewTraceRequest = "HSXDoNewTrace";
inline constexpr std::string_view kSetHomeRequest = "HSXSetHomeLoc";
inline constexpr std::string_view kLogClosingRequest = "HTLogIsClosing";
// The hand-off value of a new trace.
inline constexpr std::string_view kCommandLineValue = "Command Line";

inline constexpr size_t kMaxRequestSize = 4096;
// What a command line may hold so that its request fits.
inline constexpr size_t kMaxCommandLine = 4000;

struct Request {
  enum Kind { NewTrace, SetHome, LogClosing };
  Kind kind = NewTrace;
  std::string commandLine;  // NewTrace only
  friend bool operator==(const Request&, const Request&) = default;
};

// The request a name stands for ("HTLogIsClosing" …), for --notify; none for
// a new trace, which needs a command line.
std::optional<Request> RequestByName(std::string_view name);
std::string_view RequestName(Request::Kind kind);

// One writer and one reader of the packet. A command line longer than
// kMaxCommandLine is cut there.
std::string WriteRequest(const Request& request);
std::optional<Request> ReadRequest(std::string_view packet);

}  // namespace hs::app
