#include "app/command_line.h"

#include "app/shell_services.h"
#include "app/texts.h"
#include "i18n/language.h"
#include "trace/target.h"

namespace hs::app {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

// Declared with the shell's services; here so that the small launcher has it
// without them.
std::string TrimSpaces(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

CommandLine ParseCommandLine(std::string_view text) {
  CommandLine c;
  c.text = std::string(text);
  const bool shortLine = text.size() <= 3;
  c.flags.homeOnly = shortLine && StartsWith(text, "/H");
  c.flags.startedByHost = shortLine ? StartsWith(text, "/H") : (StartsWith(text, "/T") || StartsWith(text, "/H"));

  if (text == "/H") {
    c.dispatch = Dispatch::Home;
    return c;
  }
  // "/T", "/t", "/L" or "/l", a blank, the target.
  if (text.size() < 4 || text[0] != '/' || !IsBlank(text[2])) return c;
  const char s = text[1];
  if (s != 'T' && s != 't' && s != 'L' && s != 'l') return c;
  std::string target = ParseTarget(TrimSpaces(text.substr(3)), nullptr);
  target = TrimSpaces(target.substr(0, kCommandTargetCapacity - 1));
  if (target.empty()) return c;
  c.dispatch = Dispatch::Trace;
  c.historyMode = (s == 'L' || s == 'l') ? 2 : 0;
  c.target = std::move(target);
  return c;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

Invocation ReadInvocation(int argc, const char* const* argv) {
  Invocation in;
  if (argc < 2) return in;
  const std::string_view first = argv[1];
  if (!StartsWith(first, "--")) return in;
  auto bad = [&in](std::string why) {
    in.kind = Invocation::Bad;
    in.error = std::move(why);
    return in;
  };
  auto alone = [&](Invocation::Kind kind) {
    if (argc != 2) return bad(i18n::Tr(text::kTakesNothing, std::string(first)));
    in.kind = kind;
    return in;
  };
  if (first == "--help") return alone(Invocation::Help);
  if (first == "--version") return alone(Invocation::Version);
  if (first == "--ask") return alone(Invocation::Ask);
  if (first == "--notify") {
    if (argc != 3) return bad(i18n::Tr(text::kNotifyTakesOne));
    in.kind = Invocation::Notify;
    in.request = argv[2];
    return in;
  }
  return bad(i18n::Tr(text::kUnknownOption, std::string(first)));
}

std::string UsageText(std::string_view program) {
  const std::string p(program);
  return std::string(i18n::Tr(text::kUsage)) + "\n  " + p + " /T TARGET | /L TARGET | /H\n  " + p +
         " --ask | --notify REQUEST | --help | --version\n\n" + i18n::Tr(text::kUsageOptions);
}

}  // namespace hs::app
