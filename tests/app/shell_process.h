// The real programs (hopsight, hopsight-window) in a program directory of
// their own per test, with a runtime directory of their own, so that tests
// never meet each other's instances, and each started process's event log
// read from a pipe (HOPSIGHT_EVENT_FD) without sleeping.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/config/temp_dir.h"

extern char** environ;

namespace hs::test {

namespace fs = std::filesystem;

inline std::string BuildDir() {
  const char* d = std::getenv("HOPSIGHT_BUILD_DIR");
  return d ? d : "build";
}

// One started program: its event log and its end.
class Process {
 public:
  Process(pid_t pid, int events) : pid_(pid), events_(events) {
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  }
  ~Process() {
    if (!ended_) {
      ::kill(pid_, SIGKILL);
      Wait(std::chrono::seconds(10));
    }
    if (pidfd_ >= 0) ::close(pidfd_);
    ::close(events_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // The next event line (without its time), or "" when none came in time or
  // the log ended.
  std::string NextEvent(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (const size_t eol = buffer_.find('\n'); eol != std::string::npos) {
        std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 1);
        const size_t blank = line.find(' ');
        lastTimeNs_ = blank == std::string::npos ? 0 : std::atoll(line.substr(0, blank).c_str());
        line = blank == std::string::npos ? line : line.substr(blank + 1);
        seen_.push_back(line);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{events_, POLLIN, 0};
      if (::poll(&p, 1, int(left.count())) <= 0) return "";
      char chunk[4096];
      const ssize_t n = ::read(events_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, size_t(n));
    }
  }
  // Reads events until one equals `line` (or begins with it, when `prefix`).
  bool WaitForEvent(const std::string& line, bool prefix = false,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const std::string e = NextEvent(left);
      if (e.empty() && ended_) return false;
      if (e.empty() && std::chrono::steady_clock::now() >= deadline) return false;
      if (e == line || (prefix && e.rfind(line, 0) == 0)) return true;
    }
  }
  // When the last event read was written (system clock, nanoseconds).
  long long LastEventTimeNs() const { return lastTimeNs_; }
  // Every event read so far.
  const std::vector<std::string>& Seen() const { return seen_; }
  std::string SeenText() const {
    std::string all;
    for (const std::string& s : seen_) all += "  " + s + "\n";
    return all;
  }

  // Waits for the end; the exit status, or -1 when it did not end in time.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    if (ended_) return status_;
    if (pidfd_ >= 0) {
      pollfd p{pidfd_, POLLIN, 0};
      if (::poll(&p, 1, int(timeout.count())) <= 0) return -1;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return -1;
    ended_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // Open descriptors of the running process.
  int Descriptors() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd")) ++n;
    return n;
  }

 private:
  pid_t pid_;
  int events_;
  int pidfd_ = -1;
  bool ended_ = false;
  int status_ = -1;
  std::string buffer_;
  long long lastTimeNs_ = 0;
  std::vector<std::string> seen_;
};

// A program directory (copies of the programs, the maps, the shipped data
// and a settings file with a home location) and a runtime directory.
class ShellHome {
 public:
  ShellHome() {
    program_ = dir_.File("program/");
    runtime_ = dir_.File("runtime");
    fs::create_directories(program_ + "data");
    fs::create_directory(runtime_);
    ::chmod(runtime_.c_str(), 0700);
    const std::string bin = BuildDir() + "/bin/";
    for (const char* name : {"hopsight", "hopsight-window"}) {
      std::error_code ec;
      fs::create_hard_link(bin + name, program_ + name, ec);
      if (ec) fs::copy_file(bin + name, program_ + name);
    }
    fs::create_directory_symlink(BuildDir() + "/bin/maps", program_ + "maps");
    for (const char* name : {"RIR.idx", "HopSight.gdp", "hopsight.loca"})
      if (fs::exists(bin + "data/" + name)) fs::create_symlink(bin + "data/" + name, program_ + "data/" + name);
    SetHome("2,51.507400,-0.127800,200");
    // A location server that refuses at once, timed this week: nothing waits
    // for one, and no test meets a companion server someone runs here.
    testing::WriteFile(Data("LS.ini"), std::to_string(std::time(nullptr)) + "\n1\n127.0.0.1:1\t9999999\n");
  }

  const std::string& ProgramDir() const { return program_; }
  const std::string& RuntimeDir() const { return runtime_; }
  std::string Data(const std::string& name) const { return program_ + "data/" + name; }
  void SetHome(const std::string& location) {
    testing::WriteFile(Data("HopSight.ini"), "*** This file generated by HopSight.  Do not edit! ***\n\n[options]\n"
                                             "start location=" + location + "\n\n");
  }

  // Starts `program` ("hopsight" …) with `args`; `prefix` goes before it
  // (setpriv …). Its event log comes through a pipe.
  std::unique_ptr<Process> Start(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& prefix = {}) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return nullptr;
    std::vector<std::string> argv = prefix;
    argv.push_back(program_ + program);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("HOPSIGHT_", 0) == 0 || v.rfind("HOME=", 0) == 0 ||
          v.rfind("XDG_DATA_HOME=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0)
        continue;
      env.push_back(v);
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtime_);
    env.push_back("HOME=" + dir_.path());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("HOPSIGHT_EVENT_FD=" + std::to_string(kEventFd));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], kEventFd);
    const std::string log = dir_.File("stderr.log");
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> cargv, cenv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (std::string& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (rc != 0) {
      ::close(pipe[0]);
      return nullptr;
    }
    return std::make_unique<Process>(pid, pipe[0]);
  }

  // What the programs wrote to stderr, for failure messages.
  std::string Stderr() const { return testing::ReadFile(dir_.File("stderr.log")); }

 private:
  static constexpr int kEventFd = 3;
  testing::TempDir dir_;
  std::string program_, runtime_;
};

}  // namespace hs::test
