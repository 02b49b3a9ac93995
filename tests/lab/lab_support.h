// Helpers for tests that run inside tests/lab/lab.sh: the topology the lab
// describes, running programs (as root or as an unprivileged user) and
// parsing their output.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace hs::lab {

struct Hop {
  int ttl = 0;
  std::string address;  // dotted; "0.0.0.0" when nobody answers
  std::string name;     // "-" when the hosts file has none
  unsigned status = 0;
};

struct Route {
  std::string destination;
  std::vector<Hop> hops;  // by TTL, from 1
};

// Reads the file lab.sh writes (LAB_TOPOLOGY): "route NAME DESTINATION"
// followed by "hop TTL ADDRESS NAME STATUS" lines.
inline std::map<std::string, Route> ReadTopology(const std::string& path) {
  std::map<std::string, Route> routes;
  std::ifstream in(path);
  std::string line;
  Route* current = nullptr;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "route") {
      std::string name;
      words >> name;
      current = &routes[name];
      words >> current->destination;
    } else if (kind == "hop" && current) {
      Hop hop;
      words >> hop.ttl >> hop.address >> hop.name >> hop.status;
      if (words) current->hops.push_back(hop);
    }
  }
  return routes;
}

struct Ran {
  int exitCode = -1;
  std::string out;
  double seconds = 0;
};

// Runs a shell command line; stdout is captured, stderr is merged into it
// when `withStderr`.
inline Ran RunCommand(const std::string& command, bool withStderr = false) {
  Ran ran;
  auto start = std::chrono::steady_clock::now();
  FILE* pipe = popen((command + (withStderr ? " 2>&1" : "")).c_str(), "r");
  if (!pipe) return ran;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) ran.out.append(buffer, n);
  int status = pclose(pipe);
  ran.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ran;
}

// A program running beside the test; its stdout and stderr are read as they come.
class Running {
 public:
  explicit Running(const std::string& command) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      close(fds[1]);
      // exec: the program keeps this process id, so a signal reaches it.
      execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
  }
  ~Running() {
    if (out_) fclose(out_);
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

  // Reads until a line contains `text` (true) or the output ends (false).
  bool ReadUntil(const std::string& text) {
    char line[4096];
    while (out_ && std::fgets(line, sizeof line, out_)) {
      output += line;
      if (std::string(line).find(text) != std::string::npos) return true;
    }
    return false;
  }
  void Signal(int signal) { kill(pid_, signal); }
  // Reads the rest of the output and returns the exit code (-1 when killed).
  int Wait() {
    ReadUntil("\n\n\n");  // never found: reads to the end
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string output;

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  bool reaped_ = false;
};

inline std::string AsNobody(const std::string& command) {
  return "setpriv --reuid=nobody --regid=nogroup --clear-groups " + command;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The value of "key": in one JSON row line (a string without escapes, a
// number, true, false or null).
inline std::string Field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  size_t at = line.find(tag);
  if (at == std::string::npos) return "<missing>";
  at += tag.size();
  if (line[at] == '"') return line.substr(at + 1, line.find('"', at + 1) - at - 1);
  return line.substr(at, line.find_first_of(",}", at) - at);
}

// The row objects of hopsight-trace --json, one a line.
inline std::vector<std::string> JsonRows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (line.find("{\"index\":") != std::string::npos) rows.push_back(line);
  return rows;
}

// A fresh data directory; `home` becomes the settings' home location, `server`
// the only location server.
inline std::string DataDir(const std::string& name, const std::string& home = "", const std::string& server = "") {
  char dirTemplate[] = "/tmp/hopsight-lab-XXXXXX";
  const std::string dir = std::string(mkdtemp(dirTemplate)) + "/" + name;
  std::filesystem::create_directories(dir);
  if (!home.empty()) std::ofstream(dir + "/HopSight.ini") << "[options]\nstart location=" << home << "\n";
  if (!server.empty()) std::ofstream(dir + "/LS.ini") << "0\n1\n" << server << "\t5\n";
  return dir;
}

// main() of a lab test: takes --NAME=PATH (the program under test) and the
// flags in `switches`, and skips (77) outside a lab.
inline int LabMain(int argc, char** argv, const std::string& name, std::string& path,
                   const std::map<std::string, bool*>& switches = {}) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string option = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(option, 0) == 0) path = arg.substr(option.size());
    if (auto it = switches.find(arg); it != switches.end()) *it->second = true;
  }
  if (Env("LAB_TOPOLOGY").empty() || path.empty()) {
    std::printf("SKIPPED: run inside tests/lab/lab.sh with %sPATH\n", option.c_str());
    return 77;
  }
  return RUN_ALL_TESTS();
}

}  // namespace hs::lab
