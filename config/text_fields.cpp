#include "config/text_fields.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace hs::config {
namespace {

unsigned char Fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

}  // namespace

bool LineReader::Next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  end = (end == std::string_view::npos) ? text_.size() : end + 1;
  line = text_.substr(pos_, end - pos_);
  pos_ = end;
  return true;
}

std::string_view WithoutLineFeed(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

void AppendFixed6(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0.0;
  char buffer[400];  // the largest double has 309 integral digits
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

void AppendInt(std::string& out, int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    // Cache keys share long prefixes ("NET-EXAMPLE-...", "...example.net"):
    // skip equal bytes eight at a time; only where they differ may case count.
    while (i + 8 <= n && std::memcmp(a.data() + i, b.data() + i, 8) == 0) i += 8;
    if (i == n) break;
    unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

uint32_t HashNoCase(std::string_view text) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (char c : text) h = (h ^ Fold(c)) * 16777619u;
  return h;
}

}  // namespace hs::config
