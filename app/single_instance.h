// One instance per user: the lock and the channel in the user's runtime
// directory, a second start's hand-off, and --notify.
//
// `hopsight` is a small program without Qt that does this part alone: a
// second start hands its request over without loading the window's
// libraries, and a first start replaces itself by the window program
// (`hopsight-window`), passing the lock and the listening socket down. The
// window program started directly does the same steps itself.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "platform/instance.h"

namespace hs::app {

// How long a second start waits for a first instance that has its lock but
// not yet its socket.
inline constexpr uint32_t kHandOffWaitMs = 3000;
// The environment variable that passes the lock and the socket down.
inline constexpr const char* kInstanceVariable = "HOPSIGHT_INSTANCE";

struct InstancePaths {
  std::string lock;     // <runtime dir>/hopsight.lock
  std::string socket;   // <runtime dir>/hopsight.socket
  std::string problem;  // no runtime directory: why
};
InstancePaths FindInstancePaths();

struct Instance {
  enum Role {
    First,   // holds the lock; `channel` listens (unless it could not)
    Second,  // another instance runs: the request has been handed over
    Alone,   // no lock to be had: runs without one, taking no requests
  };
  Role role = Alone;
  platform::InstanceLock lock;
  std::unique_ptr<platform::ChannelServer> channel;
  std::string problem;  // what kept the instance from its lock or channel
};

// Start-up step 2: takes the lock. A second start hands its request over
// ("HSXSetHomeLoc" when home-only, else "HSXDoNewTrace" with the command
// line) and gets Second; the hand-off failing is not reported.
Instance StartInstance(const CommandLine& command);

// The instance a launcher passed down, when this process was started that way.
std::optional<Instance> AdoptInstance();

// Replaces this process by the window program found beside this one (or in
// ../lib/hopsight/), with the same arguments, passing the first instance's
// lock and channel down (none: the window program takes them itself).
// Returns only on failure, with why.
std::string RunWindowProgram(Instance* first, int argc, const char* const* argv);

// --notify NAME: sends the request to the running instance. The exit status:
// 0 sent, 1 none runs, 2 not a request that can be sent this way.
int NotifyRunningInstance(const std::string& name, std::string* why);

// The invocations both programs answer before anything else: --help,
// --version, a bad option and --notify print what they print and give the
// exit status; Run and Ask give none and the program goes on.
std::optional<int> AnswerEarlyInvocation(const Invocation& invocation, const char* version);

}  // namespace hs::app
