// What other processes and the command line may hand the running program:
// any bytes as a channel packet and as a command line. A packet that reads
// as a request must be written back byte for byte; a command line must give
// a target only with a trace switch, and never more than the buffer holds.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/command_line.h"
#include "app/requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const std::optional<hs::app::Request> request = hs::app::ReadRequest(bytes)) {
    if (hs::app::WriteRequest(*request) != bytes) std::abort();
    if (request->kind != hs::app::Request::NewTrace && !request->commandLine.empty()) std::abort();
  }

  const hs::app::CommandLine line = hs::app::ParseCommandLine(bytes);
  if (line.text != bytes) std::abort();
  switch (line.dispatch) {
    case hs::app::Dispatch::Trace:
      if (line.target.empty() || line.target.size() >= hs::app::kCommandTargetCapacity) std::abort();
      if (bytes.size() < 4 || bytes[0] != '/') std::abort();
      break;
    case hs::app::Dispatch::Home:
      if (bytes != "/H" || !line.flags.homeOnly || !line.flags.startedByHost) std::abort();
      break;
    case hs::app::Dispatch::End:
      if (!line.target.empty()) std::abort();
      break;
  }
  // A trace started by another process goes through the channel whole.
  const hs::app::Request handOff{hs::app::Request::NewTrace, std::string(bytes.substr(0, hs::app::kMaxCommandLine))};
  const std::optional<hs::app::Request> back = hs::app::ReadRequest(hs::app::WriteRequest(handOff));
  const bool hasNul = handOff.commandLine.find('\0') != std::string::npos;  // never in a real command line
  if (hasNul ? back.has_value() : back != handOff) std::abort();
  return 0;
}
