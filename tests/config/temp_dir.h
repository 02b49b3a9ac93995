// The tests' one scratch-directory helper: a directory per test, removed
// afterwards, and whole-file reads and writes.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace hs::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hopsight-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return File(name); }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The user "nobody", under which root runs what must meet permissions.
inline constexpr uid_t kOtherUser = 65534;

// Runs `check` in a child process that file permissions apply to: as root,
// the child becomes kOtherUser, and everything under `dir` is handed to that
// user first (so only the modes set by the test keep it out); otherwise the
// child stays who we are. Returns the child's result (its exit status).
inline int RunWhereModesApply(const std::string& dir, const std::function<int()>& check) {
  const bool root = ::geteuid() == 0;
  if (root) {
    ::chown(dir.c_str(), kOtherUser, kOtherUser);
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
      ::lchown(e.path().c_str(), kOtherUser, kOtherUser);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (root && (::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
                 ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0)) {
      ::_exit(100);
    }
    ::_exit(check());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace hs::testing
