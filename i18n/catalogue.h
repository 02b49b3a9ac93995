// A compiled GNU gettext catalogue (.mo file), read by our own reader: it
// needs no generated locale and no process-wide locale state.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hs::i18n {

// The printf conversions of `format` in order ("%d", "%s", "%08lx" …). A
// per cent sign that starts no conversion ("%%", "% Loss", "(%)") is text.
std::vector<std::string> FormatDirectives(std::string_view format);
// The numbered place markers (%1 … %99) that the window fills in with
// QString::arg, sorted: a translation may put them in any order, but must
// keep each.
std::vector<int> PlaceMarkers(std::string_view format);

class Catalogue {
 public:
  struct Entry {
    std::string_view context;  // empty when the entry has none
    std::string_view english;
    const char* translated;    // NUL-terminated, inside the catalogue's bytes
  };

  // Reads the bytes of a .mo file. Nothing (and the reason in `why`) when
  // they are not one. Entries without a translation, and translations whose
  // printf directives or place markers differ from their English text's,
  // are left out: a wrong directive would make formatting read the wrong
  // argument, a lost marker a value.
  static std::optional<Catalogue> Parse(std::string bytes, std::string* why = nullptr);

  Catalogue(Catalogue&&) = default;
  Catalogue& operator=(Catalogue&&) = default;

  // The translation, or null.
  const char* Find(std::string_view context, std::string_view english) const;
  const std::vector<Entry>& Entries() const { return entries_; }
  // Entries dropped because their directives differ from the English text's.
  const std::vector<std::string>& Rejected() const { return rejected_; }
  // A field of the catalogue's header ("Language", "Content-Type" …).
  std::string HeaderField(std::string_view name) const;

 private:
  Catalogue() = default;
  std::unique_ptr<const std::string> bytes_;  // on the heap: the views below stay put when moved
  std::string_view header_;
  std::vector<Entry> entries_;
  std::vector<std::string> rejected_;
  std::unordered_map<std::string_view, const char*> byKey_;  // "context\x04english"
};

}  // namespace hs::i18n
