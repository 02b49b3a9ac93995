// Comma-separated records after RFC 4180: the one reader and the one writer.
// The AS table builder reads the open data's CSV through it and
// hopsight-trace --csv writes its report through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hs::csv {

// Appends one field: enclosed in double quotes (inner quotes doubled) when it
// holds a comma, a quote, a carriage return or a line feed, else as it is.
void AppendField(std::string& out, std::string_view field);
// One record: the fields separated by commas, ended by CR LF.
std::string Record(const std::vector<std::string>& fields);

// Splits text into records and fields. Quoted fields may hold commas, quotes
// (doubled) and line breaks. Records end with CR LF or a lone LF; a last
// record without a line end is read too, and empty lines are skipped.
// False (and `records` as far as they were read) when a quoted field is not
// closed or a closing quote is followed by anything but a comma or a line end.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  // The next record; false at the end of the text or at a malformed record
  // (then Failed() tells which).
  bool Next(std::vector<std::string>& fields);
  bool Failed() const { return failed_; }
  // 1-based line where the record returned last (or the malformed one) began.
  size_t Line() const { return line_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 0;
  size_t nextLine_ = 1;
  bool failed_ = false;
};

}  // namespace hs::csv
