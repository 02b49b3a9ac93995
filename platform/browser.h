// Opening web pages and local pages in the user's browser, through the
// desktop's URL opener (xdg-open), which knows the browser the user chose.
#pragma once

#include <string>
#include <string_view>

namespace hs::platform {

class Browser {
 public:
  Browser() = default;  // no browser: Open does nothing
  Browser(std::string program, std::string startDirectory)
      : program_(std::move(program)), startDirectory_(std::move(startDirectory)) {}

  // The opener's full path; empty when none was found.
  const std::string& Program() const { return program_; }

  // `OpenInBrowser`: starts the opener with the address as its only argument,
  // detached from this process. A `relative` address names a page below the
  // start directory. False without an opener, for an empty address, or when
  // the opener could not be started.
  bool OpenInBrowser(std::string_view address, bool relative = false) const;

 private:
  std::string program_;
  std::string startDirectory_;
};

// `FindDefaultBrowser`: looks for "xdg-open" in the directories of `searchPath`
// (a PATH-style list), once at start-up. `startDirectory` is the current
// directory at start-up.
Browser FindDefaultBrowser(std::string_view searchPath, std::string startDirectory);
// The same with the process's PATH and current directory.
Browser FindDefaultBrowser();

}  // namespace hs::platform
