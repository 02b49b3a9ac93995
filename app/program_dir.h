// The program's directory: where maps/, help/ and data/ are. Both programs
// (the window and the command-line tracer) use this one rule, so they share
// settings, caches and history.
//
//  - The executable's own directory when it holds maps/: a build tree or a
//    portable copy.
//  - Otherwise the program is installed (bin/ beside share/hopsight/, which
//    is read-only): a directory of the user's own under the XDG data home,
//    seeded with links to the installed data.
#pragma once

#include <string>

namespace hs::app {

inline constexpr const char* kInstalledDataSuffix = "../share/hopsight";  // from the executable's directory
inline constexpr const char* kUserDirectoryName = "hopsight";            // under the XDG data home

struct ProgramDirectoryChoice {
  std::string directory;  // with a trailing '/'
  bool perUser = false;   // the per-user directory was chosen
  std::string problem;    // what could not be seeded or made (the directory is still used)
};

// The rule over explicit directories (`executableDir` and `dataHome` with or
// without a trailing '/'). Seeds the per-user directory when it is chosen:
// links to the installed maps/ and help/, a real data/ directory holding links
// to each shipped data file, and never touches anything already there.
ProgramDirectoryChoice ChooseProgramDirectory(const std::string& executableDir, const std::string& dataHome);

// `ProgramDirectory`: the rule for this process, worked out once.
const std::string& ProgramDirectory();
// `ProgramDirectory()` + "data".
std::string ProgramDataDirectory();
// Anything the choice could not do, for the programs to tell the user once.
const std::string& ProgramDirectoryProblem();

}  // namespace hs::app
