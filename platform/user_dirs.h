// The per-user directories of the desktop: where a user's own copy of the
// program's data lives, and where the per-session lock and channel go.
#pragma once

#include <string>

namespace hs::platform {

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share (the home
// directory from $HOME, else the password database). Empty when no home is known.
std::string UserDataHome();

// A directory only this user can enter, for the single-instance lock and the
// request channel.
struct RuntimeDirectory {
  std::string path;   // empty when none could be had
  std::string error;  // why not
};

// $XDG_RUNTIME_DIR when it is an absolute path of a directory that this user
// owns and nobody else may enter; otherwise /tmp/<fallbackName>-<uid>, made
// with mode 0700 when absent and used only when it is a real directory (not
// a link) owned by this user and closed to others.
RuntimeDirectory UserRuntimeDirectory(const std::string& fallbackName);

// The same checks on any directory: owned by this user, a directory and not a
// link, no access for group or others. Empty when it passes, else the reason.
std::string CheckPrivateDirectory(const std::string& path);

}  // namespace hs::platform
