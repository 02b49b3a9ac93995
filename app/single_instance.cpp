#include "app/single_instance.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "app/requests.h"
#include "app/texts.h"
#include "i18n/language.h"
#include "platform/files.h"
#include "platform/user_dirs.h"

namespace hs::app {

InstancePaths FindInstancePaths() {
  const platform::RuntimeDirectory dir = platform::UserRuntimeDirectory("hopsight");
  if (dir.path.empty()) return {{}, {}, dir.error};
  return {dir.path + "/hopsight.lock", dir.path + "/hopsight.socket", {}};
}

Instance StartInstance(const CommandLine& command) {
  Instance instance;
  const InstancePaths paths = FindInstancePaths();
  if (paths.lock.empty()) {
    instance.problem = paths.problem;
    return instance;
  }
  instance.lock = platform::InstanceLock::Take(paths.lock);
  switch (instance.lock.GetState()) {
    case platform::InstanceLock::State::HeldByAnother: {
      const Request request =
          command.flags.homeOnly ? Request{Request::SetHome, {}} : Request{Request::NewTrace, command.text};
      platform::SendOverChannel(paths.socket, WriteRequest(request), kHandOffWaitMs);
      instance.role = Instance::Second;
      return instance;
    }
    case platform::InstanceLock::State::Failed:
      instance.problem = instance.lock.Error();
      return instance;
    case platform::InstanceLock::State::Held:
      break;
  }
  instance.role = Instance::First;
  instance.channel = platform::ChannelServer::Listen(paths.socket, &instance.problem);
  return instance;
}

std::optional<Instance> AdoptInstance() {
  const char* value = std::getenv(kInstanceVariable);
  if (!value) return std::nullopt;
  // "<lock descriptor>,<socket descriptor>"; a socket of -1: none.
  const std::string text = value;
  ::unsetenv(kInstanceVariable);  // not for the programs this one starts
  int lockFd = -1, socketFd = -1;
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  std::from_chars(text.data(), text.data() + comma, lockFd);
  std::from_chars(text.data() + comma + 1, text.data() + text.size(), socketFd);
  Instance instance;
  instance.lock = platform::InstanceLock::Adopt(lockFd);
  if (instance.lock.GetState() != platform::InstanceLock::State::Held) {
    instance.problem = instance.lock.Error();
    return instance;
  }
  instance.role = Instance::First;
  if (socketFd >= 0) {
    instance.channel = platform::ChannelServer::Adopt(socketFd, FindInstancePaths().socket, &instance.problem,
                                                      platform::ChannelServer::Limits{});
  }
  return instance;
}

std::string RunWindowProgram(Instance* first, int argc, const char* const* argv) {
  const std::string dir = platform::ExecutableDirectory();
  std::string program;
  for (const std::string& candidate : {dir + "hopsight-window", dir + "../lib/hopsight/hopsight-window"}) {
    if (platform::FileExists(candidate)) {
      program = candidate;
      break;
    }
  }
  if (program.empty()) return i18n::Tr(text::kNoWindowProgram, dir);
  std::vector<std::string> args{program};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  if (!first || first->role != Instance::First) return platform::ReplaceProgram(program, args, {}, {}, {});
  Instance& instance = *first;
  const int lockFd = instance.lock.TakeDescriptor();
  const int socketFd = instance.channel ? instance.channel->TakeDescriptor() : -1;
  std::vector<int> keep{lockFd};
  if (socketFd >= 0) keep.push_back(socketFd);
  const std::string why = platform::ReplaceProgram(program, args, keep, kInstanceVariable,
                                                   std::to_string(lockFd) + "," + std::to_string(socketFd));
  // Still here: take the two back, so that they are released as usual.
  instance.lock = platform::InstanceLock::Adopt(lockFd);
  if (socketFd >= 0) {
    std::string ignored;
    instance.channel =
        platform::ChannelServer::Adopt(socketFd, FindInstancePaths().socket, &ignored, platform::ChannelServer::Limits{});
  }
  return why;
}

int NotifyRunningInstance(const std::string& name, std::string* why) {
  const std::optional<Request> request = RequestByName(name);
  if (!request) {
    if (why) *why = i18n::Tr(text::kNotifyNames, name);
    return 2;
  }
  const InstancePaths paths = FindInstancePaths();
  if (paths.socket.empty()) {
    if (why) *why = paths.problem;
    return 1;
  }
  std::string reason;
  if (platform::SendOverChannel(paths.socket, WriteRequest(*request), 0, &reason) != platform::SendResult::Sent) {
    if (why) *why = i18n::Tr(text::kNoneRunning, reason);
    return 1;
  }
  return 0;
}

}  // namespace hs::app

namespace hs::app {

std::optional<int> AnswerEarlyInvocation(const Invocation& invocation, const char* version) {
  switch (invocation.kind) {
    case Invocation::Help:
      std::fputs(UsageText("hopsight").c_str(), stdout);
      return 0;
    case Invocation::Version:
      std::printf("hopsight %s\n", version);
      return 0;
    case Invocation::Bad:
      std::fprintf(stderr, "hopsight: %s\n%s", invocation.error.c_str(), UsageText("hopsight").c_str());
      return 2;
    case Invocation::Notify: {
      std::string why;
      const int status = NotifyRunningInstance(invocation.request, &why);
      if (status != 0) std::fprintf(stderr, "hopsight: %s\n", why.c_str());
      return status;
    }
    case Invocation::Run:
    case Invocation::Ask:
      break;
  }
  return std::nullopt;
}

}  // namespace hs::app
