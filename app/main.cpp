// hopsight: the program the host application and the desktop start.
//
//   hopsight /T TARGET | /t TARGET | /L TARGET | /l TARGET | /H
//   hopsight --ask | --notify REQUEST | --help | --version
//
// It reads the command line and takes the single-instance lock. A second
// start hands its request to the running instance and ends; that path loads
// no window library, so it is quick. A first start replaces itself by the
// window program, hopsight-window, which inherits the lock and the channel.
// Anything else on the command line ends the program at once.
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/single_instance.h"
#include "i18n/language.h"
#include "platform/files.h"

#ifndef HOPSIGHT_VERSION
#define HOPSIGHT_VERSION "0"
#endif

int main(int argc, char** argv) {
  // The usage and the errors come in the program's language; nothing else
  // of the locale is used.
  hs::i18n::UseLanguage(hs::platform::ExecutableDirectory(), hs::i18n::LanguageFromEnvironment());
  const hs::app::Invocation invocation = hs::app::ReadInvocation(argc, argv);
  if (const std::optional<int> status = hs::app::AnswerEarlyInvocation(invocation, HOPSIGHT_VERSION))
    return *status;
  if (invocation.kind == hs::app::Invocation::Ask) {
    // The question needs the window's libraries: the window program asks
    // and then goes on like a /T start.
    const std::string why = hs::app::RunWindowProgram(nullptr, argc, argv);
    std::fprintf(stderr, "hopsight: %s\n", why.c_str());
    return 1;
  }
  const hs::app::CommandLine command = hs::app::ParseCommandLine(hs::app::JoinArguments(argc, argv));
  if (command.dispatch == hs::app::Dispatch::End) return 0;

  hs::app::Instance instance = hs::app::StartInstance(command);
  if (instance.role == hs::app::Instance::Second) return 0;
  const std::string why = hs::app::RunWindowProgram(&instance, argc, argv);
  std::fprintf(stderr, "hopsight: %s\n", why.c_str());
  return 1;
}
