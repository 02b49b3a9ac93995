// Wildcard patterns of the location database and the user locations: "*"
// stands for any run of characters, everything else is compared exactly
// (case matters). WildcardIndex answers "the first pattern of a list that
// matches" without trying every pattern.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hs::geo {

// 0 when `pattern` matches `text`, 1 otherwise. A pattern without "*" matches
// every text that begins with it; each piece between stars is searched left
// to right and the first occurrence taken. A piece longer than 255
// characters never matches.
int MatchWildcard(std::string_view text, std::string_view pattern);

// The length of `key` when `text` ends with it (A-Z compared as a-z), else 0.
size_t MatchDomainSuffix(std::string_view text, std::string_view key);

// An index over a fixed list of patterns. Every piece of a pattern must occur
// in a text it matches, so each pattern is filed under one four-byte run of
// one of its pieces; a lookup collects the patterns filed under the runs of
// the text and tries only those, in list order. Patterns whose pieces are all
// shorter than four bytes are tried for every text.
class WildcardIndex {
 public:
  WildcardIndex() = default;
  // `patterns` must outlive the index and stay unchanged.
  explicit WildcardIndex(const std::vector<std::string_view>& patterns);

  // The position in the list of the first pattern that matches `text`, or -1.
  int64_t FirstMatch(std::string_view text) const;
  size_t Size() const { return patterns_.size(); }

 private:
  static uint32_t Gram(const char* p);

  std::vector<std::string_view> patterns_;
  // Patterns tried for every text, ascending.
  std::vector<uint32_t> always_;
  // gram -> run of `filed_` (begin, count); each run ascending.
  std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> buckets_;
  std::vector<uint32_t> filed_;
};

}  // namespace hs::geo
