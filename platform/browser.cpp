#include "platform/browser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace hs::platform {
namespace {

constexpr std::string_view kOpener = "xdg-open";

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

Browser FindDefaultBrowser(std::string_view searchPath, std::string startDirectory) {
  while (!searchPath.empty()) {
    size_t colon = searchPath.find(':');
    std::string_view dir = searchPath.substr(0, colon);
    searchPath = colon == std::string_view::npos ? std::string_view{} : searchPath.substr(colon + 1);
    if (dir.empty() || dir.front() != '/') continue;  // only absolute entries: no surprise from the cwd
    std::string candidate = std::string(dir) + "/" + std::string(kOpener);
    if (IsExecutableFile(candidate)) return Browser(candidate, std::move(startDirectory));
  }
  return Browser({}, std::move(startDirectory));
}

Browser FindDefaultBrowser() {
  const char* path = std::getenv("PATH");
  std::string cwd;
  if (char* dir = ::getcwd(nullptr, 0)) {
    cwd = dir;
    std::free(dir);
  }
  return FindDefaultBrowser(path ? path : "", std::move(cwd));
}

bool Browser::OpenInBrowser(std::string_view address, bool relative) const {
  if (program_.empty() || address.empty()) return false;
  std::string target(address);
  if (relative) target = startDirectory_ + "/" + target;

  // Everything the children use is prepared before fork: after it, only
  // async-signal-safe calls.
  std::string program = program_;
  std::vector<char*> argv = {program.data(), target.data(), nullptr};
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;

  // Twice forked, so the opener (which may become the browser itself) is
  // nobody's child here and never lingers as a zombie.
  pid_t middle = ::fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    pid_t opener = ::fork();
    if (opener == 0) {
      ::setsid();
      int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
      }
      ::execv(argv[0], argv.data());
      int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    ::_exit(opener < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes unread on a successful exec (close-on-exec); a failed
  // exec writes its errno first.
  int error = 0;
  ssize_t n;
  while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

}  // namespace hs::platform
