#include "app/program_dir.h"

#include "app/texts.h"
#include "i18n/language.h"
#include "platform/files.h"
#include "platform/user_dirs.h"

namespace hs::app {
namespace {

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Links `name` inside `dir` to the same name in `from` unless something is
// there already. Empty, or what went wrong.
std::string LinkOnce(const std::string& from, const std::string& dir, const std::string& name) {
  const std::string link = dir + name;
  if (!platform::FileMissing(link) || platform::FileMissing(from + name)) return {};
  const platform::FileResult made = platform::MakeSymbolicLink(from + name, link);
  return made ? std::string() : made.error.Describe();
}

}  // namespace

ProgramDirectoryChoice ChooseProgramDirectory(const std::string& executableDir, const std::string& dataHome) {
  ProgramDirectoryChoice choice;
  const std::string exe = WithSlash(executableDir);
  if (!exe.empty() && platform::IsDirectory(exe + "maps")) {
    choice.directory = exe;
    return choice;
  }
  choice.perUser = true;
  if (dataHome.empty()) {
    // Nowhere of the user's own: the executable's directory is all there is.
    choice.directory = exe;
    choice.problem = i18n::Tr(text::kNoHomeDirectory);
    return choice;
  }
  choice.directory = WithSlash(WithSlash(dataHome) + kUserDirectoryName);
  auto note = [&choice](const std::string& problem) {
    if (!problem.empty() && choice.problem.empty()) choice.problem = problem;
  };
  const std::string data = choice.directory + "data";
  if (const platform::FileResult made = platform::MakeDirectories(data); !made) {
    note(made.error.Describe());
    return choice;
  }
  // Links rather than copies: the maps alone are megabytes, and an update of
  // the installed program then reaches every user at once.
  const std::string installed = WithSlash(exe + kInstalledDataSuffix);
  if (exe.empty() || !platform::IsDirectory(installed)) return choice;
  note(LinkOnce(installed, choice.directory, "maps"));
  note(LinkOnce(installed, choice.directory, "help"));
  const std::string shipped = installed + "data/";
  for (const std::string& name : platform::DirectoryEntries(shipped)) note(LinkOnce(shipped, data + "/", name));
  return choice;
}

namespace {
const ProgramDirectoryChoice& ThisProcess() {
  static const ProgramDirectoryChoice choice =
      ChooseProgramDirectory(platform::ExecutableDirectory(), platform::UserDataHome());
  return choice;
}
}  // namespace

const std::string& ProgramDirectory() { return ThisProcess().directory; }

std::string ProgramDataDirectory() { return ProgramDirectory() + "data"; }

const std::string& ProgramDirectoryProblem() { return ThisProcess().problem; }

}  // namespace hs::app
