#include "cli/texts.h"

namespace hs::cli::text {
namespace {

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n && i + k < text.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    // Continuation bytes of a multi-byte letter take no column of their own.
    width += Wide(c) ? 2 : 1;
    i += n;
  }
  return width;
}

std::string PadRight(std::string_view text, size_t width) {
  std::string out(text);
  const size_t w = DisplayWidth(text);
  if (w < width) out.append(width - w, ' ');
  return out;
}

std::string PadLeft(std::string_view text, size_t width) {
  const size_t w = DisplayWidth(text);
  std::string out(w < width ? width - w : 0, ' ');
  return out.append(text);
}

}  // namespace hs::cli::text
