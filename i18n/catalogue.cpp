#include "i18n/catalogue.h"

#include <algorithm>

#include <cstdint>
#include <cstring>

namespace hs::i18n {

namespace {

// The length of the printf conversion that starts at format[at] (a '%'), or
// 0 when that per cent sign starts none.
size_t ConversionAt(std::string_view format, size_t at) {
  size_t i = at + 1;
  auto take = [&](std::string_view set) {
    while (i < format.size() && set.find(format[i]) != std::string_view::npos) ++i;
  };
  // No blank flag: the texts use "% " as a plain per cent sign ("% Loss").
  take("-+#0'I");                  // flags
  take("0123456789*");             // width
  if (i < format.size() && format[i] == '.') {
    ++i;
    take("0123456789*");           // precision
  }
  take("hlLqjzZt");                // length
  if (i < format.size() && std::string_view("diouxXeEfFgGaAcspnm").find(format[i]) != std::string_view::npos)
    return i - at + 1;
  return 0;
}

}  // namespace

std::vector<std::string> FormatDirectives(std::string_view format) {
  std::vector<std::string> out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    if (const size_t n = ConversionAt(format, i)) {
      out.emplace_back(format.substr(i, n));
      i += n - 1;
    }
  }
  return out;
}

std::vector<int> PlaceMarkers(std::string_view format) {
  std::vector<int> out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    if (const size_t n = ConversionAt(format, i)) {
      i += n - 1;
      continue;
    }
    size_t j = i + 1;
    int number = 0;
    while (j < format.size() && j < i + 3 && format[j] >= '0' && format[j] <= '9') number = number * 10 + (format[j++] - '0');
    if (number > 0) {
      out.push_back(number);
      i = j - 1;
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

constexpr uint32_t kMagic = 0x950412de;

struct Reader {
  std::string_view bytes;
  bool swap = false;
  bool U32(size_t at, uint32_t& v) const {
    if (at > bytes.size() || bytes.size() - at < 4) return false;
    std::memcpy(&v, bytes.data() + at, 4);
    if (swap) v = __builtin_bswap32(v);
    return true;
  }
  // The string of table slot `i`: its length, its offset, and a NUL after it.
  bool String(uint32_t table, uint32_t i, std::string_view& out) const {
    uint32_t length = 0, offset = 0;
    const uint64_t slot = uint64_t(table) + uint64_t(i) * 8;
    if (slot > bytes.size() || !U32(size_t(slot), length) || !U32(size_t(slot) + 4, offset)) return false;
    if (uint64_t(offset) + length >= bytes.size() || bytes[offset + length] != '\0') return false;
    out = bytes.substr(offset, length);
    return true;
  }
};

}  // namespace

std::optional<Catalogue> Catalogue::Parse(std::string bytes, std::string* why) {
  auto fail = [why](const char* reason) -> std::optional<Catalogue> {
    if (why) *why = reason;
    return std::nullopt;
  };
  Catalogue c;
  c.bytes_ = std::make_unique<const std::string>(std::move(bytes));
  Reader in{*c.bytes_};
  uint32_t magic = 0, revision = 0, count = 0, originals = 0, translations = 0;
  if (!in.U32(0, magic)) return fail("too short for a catalogue");
  if (magic != kMagic) {
    in.swap = true;
    if (__builtin_bswap32(magic) != kMagic) return fail("not a compiled catalogue (wrong magic number)");
  }
  if (!in.U32(4, revision) || !in.U32(8, count) || !in.U32(12, originals) || !in.U32(16, translations))
    return fail("header cut short");
  if ((revision >> 16) > 1) return fail("unknown catalogue revision");
  if (uint64_t(count) * 8 > in.bytes.size()) return fail("more entries than the file can hold");
  c.entries_.reserve(count);
  c.byKey_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    std::string_view key, value;
    if (!in.String(originals, i, key) || !in.String(translations, i, value))
      return fail("an entry lies outside the file");
    // Plural forms follow the first form after a NUL; the program has none.
    key = key.substr(0, key.find('\0'));
    value = value.substr(0, value.find('\0'));
    if (key.empty()) {
      c.header_ = value;
      continue;
    }
    if (value.empty()) continue;
    Entry e;
    e.english = key;
    if (const size_t eot = key.find('\x04'); eot != std::string_view::npos) {
      e.context = key.substr(0, eot);
      e.english = key.substr(eot + 1);
    }
    e.translated = value.data();
    if (FormatDirectives(e.english) != FormatDirectives(value) || PlaceMarkers(e.english) != PlaceMarkers(value)) {
      c.rejected_.emplace_back(key);
      continue;
    }
    c.entries_.push_back(e);
    c.byKey_.emplace(key, e.translated);
  }
  return c;
}

const char* Catalogue::Find(std::string_view context, std::string_view english) const {
  std::string key;
  key.reserve(context.size() + 1 + english.size());
  if (!context.empty()) {
    key += context;
    key += '\x04';
  }
  key += english;
  const auto it = byKey_.find(key);
  return it == byKey_.end() ? nullptr : it->second;
}

std::string Catalogue::HeaderField(std::string_view name) const {
  std::string_view rest = header_;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    if (line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == ':') {
      std::string_view value = line.substr(name.size() + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return std::string(value);
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace hs::i18n
