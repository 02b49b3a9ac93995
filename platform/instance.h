// One running instance per user, and the local channel through which a
// second start hands its request to the first.
//
// The lock is an advisory lock (flock) on a file in the user's runtime
// directory: the kernel drops it with the process, so an instance that
// crashed or was killed never leaves it stuck. The channel is a unix
// sequenced-packet socket beside it (one message per packet), mode 0600, and
// the server also checks the peer's credentials: only the same user's
// processes are heard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hs::platform {

class InstanceLock {
 public:
  enum class State { Held, HeldByAnother, Failed };

  InstanceLock() = default;
  InstanceLock(InstanceLock&& o) noexcept;
  InstanceLock& operator=(InstanceLock&& o) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // Tries once, without waiting. Held: this process owns it until Release()
  // or its end. The descriptor is not inherited by programs this one starts.
  static InstanceLock Take(const std::string& path);

  // A lock taken by this process before it replaced its program (exec):
  // the descriptor passed down. Held when the descriptor is a file whose lock
  // this process owns.
  static InstanceLock Adopt(int fd);

  State GetState() const { return state_; }
  const std::string& Error() const { return error_; }
  void Release();
  // Gives the descriptor up without unlocking, to pass it to the program
  // this process is replaced by.
  int TakeDescriptor();

 private:
  State state_ = State::Failed;
  int fd_ = -1;
  std::string error_;
};

class ChannelServer {
 public:
  struct Limits {
    size_t maxMessage = 4096;         // longer packets are dropped unread
    int maxWaiting = 16;              // connections that have not sent yet
    uint32_t clientTimeoutMs = 2000;  // a connection sends within this or is closed
  };
  using Deliver = std::function<void(std::string message)>;
  using Refuse = std::function<void(const std::string& why)>;

  // Listens at `path`. Only the lock's holder may call it: a socket file
  // left by an instance that was killed is removed first. Null on failure,
  // with the reason in `error`.
  static std::unique_ptr<ChannelServer> Listen(const std::string& path, std::string* error, Limits limits);
  static std::unique_ptr<ChannelServer> Listen(const std::string& path, std::string* error) {
    return Listen(path, error, Limits{});
  }
  // A listening socket passed down through exec.
  static std::unique_ptr<ChannelServer> Adopt(int fd, const std::string& path, std::string* error, Limits limits);
  ~ChannelServer();  // Stop(), then the socket file is removed
  ChannelServer(const ChannelServer&) = delete;
  ChannelServer& operator=(const ChannelServer&) = delete;

  // Starts the thread that takes connections. Until then clients wait in the
  // listen queue. Each message from this user goes to `deliver`, on that
  // thread, in the order the connections came; other users' connections,
  // oversized messages and connections silent past the time-out go to
  // `refuse` (may be empty) and are closed. A stalled client never holds up
  // another one.
  void Start(Deliver deliver, Refuse refuse = {});
  // Ends the thread; messages still queued are not read.
  void Stop();
  const std::string& Path() const { return path_; }
  // Gives the listening socket up (not started, nothing removed), to pass
  // it to the program this process is replaced by.
  int TakeDescriptor();

 private:
  ChannelServer(int fd, int wakeRead, int wakeWrite, std::string path, Limits limits);
  void Serve(const Deliver& deliver, const Refuse& refuse);

  int fd_;
  int wakeRead_;
  int wakeWrite_;
  std::string path_;
  Limits limits_;
  std::mutex lock_;
  std::thread thread_;
};

enum class SendResult {
  Sent,        // the packet is in the first instance's queue
  NoListener,  // nobody listened within the time allowed
  Refused,     // the listener is not this user's, or the message is too long
  Failed,      // any other failure
};

// Connects to `path` and sends `message` as one packet. A listener that is
// not there yet (the first instance between its lock and its socket) is
// waited for up to `waitMs`.
SendResult SendOverChannel(const std::string& path, const std::string& message, uint32_t waitMs,
                           std::string* error = nullptr);

// Replaces this process's program by `program` with `args` (args[0] is the
// program's name), keeping the descriptors `keep` open across the change and
// adding `name`=`value` to its environment. Returns only on failure, with why.
std::string ReplaceProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<int>& keep, const std::string& name, const std::string& value);

// A descriptor that becomes readable once SIGTERM, SIGINT or SIGHUP has
// arrived (their handler writes into a pipe); -1 when it cannot be set up.
// The same descriptor on every call.
int TerminationSignalDescriptor();


}  // namespace hs::platform
