// Reads a text the way our fixed-buffer line readers do: a line ends at a
// line feed (kept) or after `maxChars` characters, whichever comes first; the
// rest of an overlong line is read as the next line.
#pragma once

#include <cstddef>
#include <string_view>

namespace hs::whois {

class BoundedLines {
 public:
  BoundedLines(std::string_view text, size_t maxChars) : text_(text), max_(maxChars) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    end = end == std::string_view::npos ? text_.size() : end + 1;
    if (end - pos_ > max_) end = pos_ + max_;
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    return true;
  }

 private:
  std::string_view text_;
  size_t max_;
  size_t pos_ = 0;
};

inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace hs::whois
