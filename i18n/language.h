// The program's language: chosen once at start-up from the environment,
// then every text goes through Tr(). Until a language is chosen (and in
// every test that chooses none) the texts are English.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "i18n/catalogue.h"
#include "i18n/text.h"

namespace hs::i18n {

// The languages the program has texts in; English is the source.
inline constexpr std::string_view kLanguages[] = {"en", "de", "fr", "it", "ja", "es"};

// The language that the variables ask for, as gettext reads them: LANGUAGE
// (a list such as "fr:de") first, then LC_ALL, LC_MESSAGES, LANG; the first
// of ours that is named wins, else English. A locale of "C" or "POSIX" asks
// for the untranslated program, LANGUAGE or not. The locale need not exist
// on the machine: only its name is read.
std::string LanguageFromEnvironment(const std::function<const char*(const char*)>& getenv);
std::string LanguageFromEnvironment();  // the process's own environment

// Where the build and an install keep the catalogue of `language`.
std::string CataloguePath(const std::string& programDir, std::string_view language);

// Makes `language` the program's language with the catalogue at
// `programDir`/locale/…; English needs none. False (and English) when the
// catalogue is missing or damaged; `why` says what went wrong.
bool UseLanguage(const std::string& programDir, std::string_view language, std::string* why = nullptr);
// The same with a catalogue in hand (tests).
void UseCatalogue(std::string_view language, std::shared_ptr<const Catalogue> catalogue);
// Back to English.
void UseEnglish();
std::string CurrentLanguage();

// The text in the program's language. Thread-safe; the pointer stays valid
// for the rest of the run.
const char* Tr(const Text& text);
// The English text, whatever the language (files, --json).
inline const char* English(const Text& text) { return text.english; }

namespace detail {
std::string FormatArgs(const char* format, ...);
inline const char* Arg(const std::string& s) { return s.c_str(); }
inline const char* Arg(const char* s) { return s; }
template <typename T>
  requires std::is_arithmetic_v<T>
T Arg(T v) {
  return v;
}
}  // namespace detail

// printf-style formatting of a text with its values (numbers, or texts as
// std::string or const char*). Numbers come out the same in every locale:
// the texts take only integers.
template <typename... Args>
std::string Format(const char* format, const Args&... args) {
  return detail::FormatArgs(format, detail::Arg(args)...);
}
// The text in the program's language with its values put in.
template <typename... Args>
  requires(sizeof...(Args) > 0)
std::string Tr(const Text& text, const Args&... args) {
  return Format(Tr(text), args...);
}

}  // namespace hs::i18n
