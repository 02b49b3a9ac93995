#include "i18n/language.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/files.h"

namespace hs::i18n {
namespace {

struct Active {
  std::string language;
  std::shared_ptr<const Catalogue> catalogue;
};

// Catalogues are kept for the rest of the run once used, so a text that a
// thread took from one stays valid when the language changes (tests).
std::mutex& UsedLock() {
  static std::mutex lock;
  return lock;
}
std::vector<std::shared_ptr<const Active>>& Used() {
  static std::vector<std::shared_ptr<const Active>> used;
  return used;
}
std::atomic<const Active*> active{nullptr};

void Install(std::string_view language, std::shared_ptr<const Catalogue> catalogue) {
  auto a = std::make_shared<const Active>(Active{std::string(language), std::move(catalogue)});
  std::lock_guard g(UsedLock());
  Used().push_back(a);
  active.store(a.get(), std::memory_order_release);
}

// "de_DE.UTF-8@euro" → "de"; "" when it names none of ours.
std::string OurLanguage(std::string_view name) {
  const size_t end = name.find_first_of("_.@");
  std::string code(name.substr(0, end));
  for (char& c : code)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  for (std::string_view l : kLanguages)
    if (code == l) return code;
  return {};
}

bool IsCLocale(std::string_view name) {
  return name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

}  // namespace

std::string LanguageFromEnvironment(const std::function<const char*(const char*)>& getenv) {
  auto get = [&](const char* name) -> std::string_view {
    const char* v = getenv(name);
    return v ? std::string_view(v) : std::string_view();
  };
  std::string_view locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = get(name);
    if (!locale.empty()) break;
  }
  if (IsCLocale(locale)) return "en";
  std::string_view list = get("LANGUAGE");
  while (!list.empty()) {
    const size_t colon = list.find(':');
    if (std::string l = OurLanguage(list.substr(0, colon)); !l.empty()) return l;
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  if (std::string l = OurLanguage(locale); !l.empty()) return l;
  return "en";
}

std::string LanguageFromEnvironment() {
  return LanguageFromEnvironment([](const char* name) { return std::getenv(name); });
}

std::string CataloguePath(const std::string& programDir, std::string_view language) {
  std::string dir = programDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + "locale/" + std::string(language) + "/LC_MESSAGES/hopsight.mo";
}

bool UseLanguage(const std::string& programDir, std::string_view language, std::string* why) {
  if (language == "en") {
    UseEnglish();
    return true;
  }
  const std::string path = CataloguePath(programDir, language);
  platform::FileError error;
  std::optional<std::string> bytes = platform::ReadWholeFile(path, &error);
  std::string reason;
  std::optional<Catalogue> catalogue;
  if (!bytes) reason = error.Describe();
  else if (!(catalogue = Catalogue::Parse(std::move(*bytes), &reason))) reason = path + ": " + reason;
  if (!catalogue) {
    if (why) *why = reason;
    UseEnglish();
    return false;
  }
  Install(language, std::make_shared<const Catalogue>(std::move(*catalogue)));
  return true;
}

void UseCatalogue(std::string_view language, std::shared_ptr<const Catalogue> catalogue) {
  Install(language, std::move(catalogue));
}

void UseEnglish() { active.store(nullptr, std::memory_order_release); }

std::string CurrentLanguage() {
  const Active* a = active.load(std::memory_order_acquire);
  return a ? a->language : "en";
}

const char* Tr(const Text& text) {
  const Active* a = active.load(std::memory_order_acquire);
  if (!a || !a->catalogue) return text.english;
  const char* t = a->catalogue->Find(text.context ? text.context : "", text.english);
  return t ? t : text.english;
}

namespace detail {

std::string FormatArgs(const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

}  // namespace detail

}  // namespace hs::i18n
