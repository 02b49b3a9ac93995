// The program's event log, for scripts, tests and benchmarks that watch a
// running instance: with HOPSIGHT_EVENT_FD naming a descriptor the program
// inherited (a pipe), it writes one line per event there:
//
//   <wall clock in ns since 1970> <what> <text>
//
// what: "request" (a request arrived over the channel, its name and command
// line), "refused" (a connection or message that was not a request), "ready"
// (the instance takes requests), "title" and "status" (the window's title and
// event line), "wizard" ("open" or "closed"), "exit". Without the variable
// nothing is written.
#pragma once

#include <mutex>
#include <string_view>

namespace hs::app {

class EventLog {
 public:
  // The log of this process, set up from the environment on first use.
  static EventLog& Instance();
  explicit EventLog(int fd) : fd_(fd) {}

  bool On() const { return fd_ >= 0; }
  // Any thread. Line feeds in `text` become blanks.
  void Write(std::string_view what, std::string_view text = {});

 private:
  int fd_;
  std::mutex lock_;
};

}  // namespace hs::app
