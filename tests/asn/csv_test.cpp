// RFC 4180 records: the writer's quoting, the reader against hand-made text,
// and the two against each other.
#include <gtest/gtest.h>

#include "asn/csv.h"

namespace hs::csv {
namespace {

std::vector<std::vector<std::string>> ReadAll(std::string_view text, bool* failed = nullptr) {
  Reader reader(text);
  std::vector<std::vector<std::string>> out;
  std::vector<std::string> fields;
  while (reader.Next(fields)) out.push_back(fields);
  if (failed) *failed = reader.Failed();
  return out;
}

TEST(Csv, FieldsWithCommasQuotesOrLineBreaksAreQuotedAndOthersAreNot) {
  EXPECT_EQ(Record({"plain", "Google LLC", ""}), "plain,Google LLC,\r\n");
  EXPECT_EQ(Record({"Cloudflare, Inc.", "say \"hi\"", "two\nlines", "cr\r"}),
            "\"Cloudflare, Inc.\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\"\r\n");
  EXPECT_EQ(Record({"\""}), "\"\"\"\"\r\n");
}

TEST(Csv, TheReaderTakesQuotedFieldsLineEndsAndALastLineWithoutEnd) {
  const auto records = ReadAll("a,\"b, c\",\"d \"\"e\"\"\"\r\n\n\"multi\nline\",\r\nlast,x");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"a", "b, c", "d \"e\""}));
  EXPECT_EQ(records[1], (std::vector<std::string>{"multi\nline", ""}));
  EXPECT_EQ(records[2], (std::vector<std::string>{"last", "x"}));
}

TEST(Csv, AnUnclosedQuoteOrTextAfterAClosingQuoteFails) {
  bool failed = false;
  EXPECT_EQ(ReadAll("a,b\n\"open,c\n", &failed).size(), 1u);
  EXPECT_TRUE(failed);
  ReadAll("\"closed\"x,y\n", &failed);
  EXPECT_TRUE(failed);
  ReadAll("\"closed\",y\n", &failed);
  EXPECT_FALSE(failed);
}

}  // namespace
}  // namespace hs::csv
