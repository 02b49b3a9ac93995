// Linked into a test binary, runs all its tests under a locale whose decimal
// point is a comma, as the program's window may run. Number text in our
// forms and files must not notice. When the machine has no such locale, one
// is compiled with localedef into a temporary directory (LOCPATH); only when
// that is impossible does the binary exit with 77, which CTest reports as
// skipped rather than passed.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <locale>
#include <string>

#include "tests/server/test_support.h"

namespace {

bool Use(const char* name) {
  try {
    std::locale::global(std::locale(name));  // also sets the C library's locale
  } catch (const std::exception&) {
    return false;
  }
  if (!std::setlocale(LC_ALL, name)) return false;
  std::setlocale(LC_MESSAGES, "C");  // the tests compare system error texts in English
  return true;
}

// The C library really writes and reads a comma now: what the old number
// code did wrong shows here.
bool CommaInEffect() {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 0.5);
  return std::strcmp(std::localeconv()->decimal_point, ",") == 0 && std::strcmp(buf, "0,5") == 0 &&
         std::strtod("0.5", nullptr) == 0;
}

class CommaLocale : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
      if (Use(name)) return Check(name);
    // Compile one. localedef needs only the locale sources of the locales package.
    std::string command = "localedef -i de_DE -f UTF-8 " + dir_.path() + "/de_DE.UTF-8 >/dev/null 2>&1";
    int status = std::system(command.c_str());
    if (!std::filesystem::exists(dir_.path() + "/de_DE.UTF-8/LC_NUMERIC")) {
      std::fprintf(stderr, "no locale with a decimal comma, and localedef failed (status %d): skipped\n", status);
      std::filesystem::remove_all(dir_.path());
      std::exit(77);
    }
    setenv("LOCPATH", dir_.path().c_str(), 1);
    if (!Use("de_DE.UTF-8")) {
      std::fprintf(stderr, "compiled de_DE.UTF-8 into %s but cannot use it\n", dir_.path().c_str());
      std::exit(1);
    }
    Check("de_DE.UTF-8 (compiled for this run)");
  }
  void TearDown() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
  }

 private:
  void Check(const char* name) {
    if (!CommaInEffect()) {
      std::fprintf(stderr, "locale %s is set but does not write a decimal comma\n", name);
      std::exit(1);
    }
    std::fprintf(stderr, "running under locale %s\n", name);
  }
  hs::test::TempDir dir_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CommaLocale);

}  // namespace
