#include "asn/csv.h"

namespace hs::csv {

void AppendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string Record(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    AppendField(out, fields[i]);
  }
  out += "\r\n";
  return out;
}

bool Reader::Next(std::vector<std::string>& fields) {
  fields.clear();
  if (failed_) return false;
  // Empty lines hold no record.
  while (pos_ < text_.size() && (text_[pos_] == '\n' || text_[pos_] == '\r')) {
    if (text_[pos_] == '\n') ++nextLine_;
    ++pos_;
  }
  if (pos_ >= text_.size()) return false;
  line_ = nextLine_;
  std::string field;
  while (true) {
    field.clear();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      while (true) {
        if (pos_ >= text_.size()) {
          failed_ = true;  // the quote is never closed
          return false;
        }
        const char c = text_[pos_++];
        if (c == '"') {
          if (pos_ < text_.size() && text_[pos_] == '"') {
            field += '"';
            ++pos_;
            continue;
          }
          break;
        }
        if (c == '\n') ++nextLine_;
        field += c;
      }
      const bool ends = pos_ >= text_.size() || text_[pos_] == ',' || text_[pos_] == '\n' ||
                        (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ||
                        (text_[pos_] == '\r' && pos_ + 1 == text_.size());
      if (!ends) {
        failed_ = true;
        return false;
      }
    } else {
      const size_t end = text_.find_first_of(",\n", pos_);
      const size_t stop = end == std::string_view::npos ? text_.size() : end;
      std::string_view raw = text_.substr(pos_, stop - pos_);
      if (!raw.empty() && raw.back() == '\r' && (stop == text_.size() || text_[stop] == '\n')) raw.remove_suffix(1);
      field.assign(raw);
      pos_ = stop;
    }
    fields.push_back(field);
    if (pos_ >= text_.size()) return true;
    if (text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    if (text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') {
      ++pos_;
      ++nextLine_;
    }
    return true;
  }
}

}  // namespace hs::csv
