#include "app/event_log.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace hs::app {

EventLog& EventLog::Instance() {
  static EventLog log([] {
    const char* value = std::getenv("HOPSIGHT_EVENT_FD");
    if (!value) return -1;
    int fd = -1;
    const std::string_view text(value);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), fd);
    return ec == std::errc() && ptr == text.data() + text.size() && fd > 2 ? fd : -1;
  }());
  return log;
}

void EventLog::Write(std::string_view what, std::string_view text) {
  if (fd_ < 0) return;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  std::string line = std::to_string(ns);
  line += ' ';
  line += what;
  if (!text.empty()) {
    line += ' ';
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  }
  line += '\n';
  std::lock_guard g(lock_);
  platform::WriteToDescriptor(fd_, line);
}

}  // namespace hs::app
