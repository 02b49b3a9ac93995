#include "app/texts.h"

#include <system_error>

#include "i18n/language.h"

namespace hs::app::text {
namespace {

// TRANSLATORS: a file that could not be used: the first %s is the file, the
// second the system's reason.
constexpr struct {
  const char* action;
  i18n::Text text;
} kFileActions[] = {
    {"read", NC_("hopsight", "cannot read %s: %s")},
    {"open", NC_("hopsight", "cannot open %s: %s")},
    {"lock", NC_("hopsight", "cannot lock %s: %s")},
    {"write", NC_("hopsight", "cannot write %s: %s")},
    {"sync", NC_("hopsight", "cannot sync %s: %s")},
    {"replace", NC_("hopsight", "cannot replace %s: %s")},
    {"create a temporary file beside", NC_("hopsight", "cannot create a temporary file beside %s: %s")},
    {"create the directory", NC_("hopsight", "cannot create the directory %s: %s")},
    {"use the directory", NC_("hopsight", "cannot use the directory %s: %s")},
};

}  // namespace

std::string DescribeFileError(const platform::FileError& error) {
  for (const auto& a : kFileActions)
    if (error.action == a.action)
      return i18n::Tr(a.text, error.path, std::error_code(error.code, std::generic_category()).message());
  return error.Describe();
}

}  // namespace hs::app::text
