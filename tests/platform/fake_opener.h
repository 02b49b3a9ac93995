// A stand-in for xdg-open that reports its arguments through a FIFO, so a
// test waits for the event instead of sleeping.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace hs::test {

inline void WriteExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), 0755);
}

class FakeOpener {
 public:
  // Puts `xdg-open` into dir/bin; it writes "argc|arg|..." to dir/opened.
  explicit FakeOpener(const std::string& dir) : bin_(dir + "/bin"), fifo_(dir + "/opened") {
    std::filesystem::create_directories(bin_);
    mkfifo(fifo_.c_str(), 0600);
    WriteExecutable(bin_ + "/xdg-open", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + fifo_ + "'\n");
    Listen();
  }
  ~FakeOpener() {
    if (fd_ >= 0) close(fd_);
  }
  const std::string& Bin() const { return bin_; }

  // What the opener was started with, waiting at most 10 s; empty when it was not.
  std::string Next() {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool started = false;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[512];
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) {
        text.append(buf, static_cast<size_t>(n));
        started = true;
      } else if (n == 0 && started) {
        break;  // the writer closed
      }
    }
    Listen();  // ready for the next opening
    return text;
  }

 private:
  void Listen() {
    if (fd_ >= 0) close(fd_);
    fd_ = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
  }
  std::string bin_, fifo_;
  int fd_ = -1;
};

}  // namespace hs::test
