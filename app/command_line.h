// The command line: the switches a host application (or the user) starts
// the program with, and the program's own options for the desktop.
//
//   /T target   or /t target   trace the target and record it in the history
//   /L target   or /l target   show the recorded trace of the target when it is fresh, else trace it
//   /H                         only set the home location
//   anything else, or nothing  end at once
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hs::app {

// The target as the command keeps it: at most 259 characters.
inline constexpr size_t kCommandTargetCapacity = 260;

enum class Dispatch { End, Trace, Home };

struct StartFlags {
  // The host application started the program: "/T" or "/H" in upper case.
  // Only then does the host's closing of its log window end the program.
  bool startedByHost = false;
  // At most three characters beginning with "/H": a second start of this
  // kind asks the first for the home location instead of a trace.
  bool homeOnly = false;
};

struct CommandLine {
  std::string text;  // the whole command line, as handed to a running instance
  StartFlags flags;
  Dispatch dispatch = Dispatch::End;
  int historyMode = 0;  // Trace: 0 records (/T), 2 replays a fresh record (/L)
  std::string target;   // Trace: never empty
};

// Reads the command line after the program name.
CommandLine ParseCommandLine(std::string_view text);

// argv[1] … argv[argc - 1] joined by single blanks: the command line as one text.
std::string JoinArguments(int argc, const char* const* argv);

// The options of our own that stand before the switches.
struct Invocation {
  enum Kind {
    Run,      // the command line of the table above
    Help,     // --help
    Version,  // --version
    Ask,      // --ask: ask for a target, then as /T
    Notify,   // --notify NAME: send a request to the running instance and end
    Bad,      // an option we do not know, or one used wrongly
  };
  Kind kind = Run;
  std::string request;  // Notify: the request's name
  std::string error;    // Bad: what was wrong
};
Invocation ReadInvocation(int argc, const char* const* argv);

// The text of --help.
std::string UsageText(std::string_view program);

}  // namespace hs::app
