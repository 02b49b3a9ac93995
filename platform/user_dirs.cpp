#include "platform/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hs::platform {

std::string UserDataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
    home = pw->pw_dir;
  }
  if (home.empty()) return {};
  if (home.back() == '/') home.pop_back();
  return home + "/.local/share";
}

std::string CheckPrivateDirectory(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return path + " is a symbolic link";
  if (!S_ISDIR(st.st_mode)) return path + " is not a directory";
  if (st.st_uid != ::getuid()) return path + " belongs to another user";
  if ((st.st_mode & 077) != 0) return path + " is open to other users";
  return {};
}

RuntimeDirectory UserRuntimeDirectory(const std::string& fallbackName) {
  RuntimeDirectory result;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/') {
    std::string path = xdg;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (CheckPrivateDirectory(path).empty()) {
      result.path = path;
      return result;
    }
  }
  const std::string path = "/tmp/" + fallbackName + "-" + std::to_string(::getuid());
  // mkdir never follows a link that someone else put there: it fails with
  // EEXIST, and the check below then refuses the link.
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    result.error = "cannot create " + path + ": " + std::strerror(errno);
    return result;
  }
  result.error = CheckPrivateDirectory(path);
  if (result.error.empty()) result.path = path;
  return result;
}

}  // namespace hs::platform
