// Small services of the application shell that need no window: trimming
// and the help pages (the program's directory is in app/program_dir.h).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/program_dir.h"
#include "platform/browser.h"

namespace hs::app {

// The help topics the program opens; each has a page help/f_<topic>.htm.
inline constexpr std::array<std::string_view, 3> kHelpTopics = {"HspxErrs", "HspxHomeLocation",
                                                                "HspxHomeLocAdvanced"};

// `TrimSpaces`: the text without leading and trailing white space.
std::string TrimSpaces(std::string_view text);

// The program's own help pages, opened in the user's browser.
class HelpPages {
 public:
  // `directory` holds the pages (normally ProgramDirectory() + "help").
  HelpPages(std::string directory, const platform::Browser& browser)
      : directory_(std::move(directory)), browser_(browser) {}

  // The page's path; empty for a topic name that is not a plain word.
  std::string PagePath(std::string_view topic) const;
  // `ShowHelpTopic`: opens the topic's page. Help is optional: a missing page
  // or browser just gives false.
  bool ShowHelpTopic(std::string_view topic) const;
  // The start page, also offered when a newer version exists.
  std::string StartPageUrl() const;

 private:
  std::string directory_;
  const platform::Browser& browser_;
};

}  // namespace hs::app
