#include "geo/wildcard.h"

#include <algorithm>
#include <cstring>

namespace hs::geo {

namespace {
constexpr size_t kMaxPiece = 255;

unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}
}  // namespace

int MatchWildcard(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0;
  if (pattern.empty() || pattern[0] != '*') {
    const size_t star = pattern.find('*');
    const std::string_view piece = pattern.substr(0, star);
    if (piece.size() > kMaxPiece || text.substr(0, piece.size()) != piece) return 1;
    t = piece.size();
    if (star == std::string_view::npos) return 0;
    p = star + 1;
  }
  for (;;) {
    if (p >= pattern.size()) return 0;
    const size_t star = pattern.find('*', p);
    const std::string_view piece = pattern.substr(p, star == std::string_view::npos ? star : star - p);
    if (piece.size() > kMaxPiece) return 1;
    const std::string_view rest = text.substr(t);
    if (star == std::string_view::npos) {
      if (piece.size() > rest.size()) return 1;
      return rest.substr(rest.size() - piece.size()) == piece ? 0 : 1;
    }
    const size_t found = rest.find(piece);
    if (found == std::string_view::npos) return 1;
    t += found + piece.size();
    p = star + 1;
    if (p == pattern.size()) return 0;
  }
}

size_t MatchDomainSuffix(std::string_view text, std::string_view key) {
  if (text.size() < key.size()) return 0;
  const std::string_view end = text.substr(text.size() - key.size());
  for (size_t i = 0; i < key.size(); ++i)
    if (Fold(end[i]) != Fold(key[i])) return 0;
  return key.size();
}

uint32_t WildcardIndex::Gram(const char* p) {
  uint32_t g;
  std::memcpy(&g, p, 4);
  return g;
}

WildcardIndex::WildcardIndex(const std::vector<std::string_view>& patterns) : patterns_(patterns) {
  // Each pattern goes under the least crowded run of its pieces seen so far,
  // so that common runs (".net", "-bb1") do not collect every pattern.
  std::unordered_map<uint32_t, uint32_t> load;
  load.reserve(patterns_.size());
  std::vector<std::pair<uint32_t, uint32_t>> filing;  // (gram, pattern)
  filing.reserve(patterns_.size());
  for (uint32_t i = 0; i < patterns_.size(); ++i) {
    const std::string_view pattern = patterns_[i];
    bool have = false;
    uint32_t best = 0, bestLoad = 0;
    size_t start = 0;
    while (start <= pattern.size()) {
      size_t star = pattern.find('*', start);
      if (star == std::string_view::npos) star = pattern.size();
      const std::string_view piece = pattern.substr(start, star - start);
      if (piece.size() <= kMaxPiece) {
        for (size_t k = 0; k + 4 <= piece.size(); ++k) {
          const uint32_t g = Gram(piece.data() + k);
          const auto it = load.find(g);
          const uint32_t l = it == load.end() ? 0 : it->second;
          if (!have || l < bestLoad) have = true, best = g, bestLoad = l;
        }
      }
      start = star + 1;
    }
    if (have) {
      ++load[best];
      filing.emplace_back(best, i);
    } else {
      always_.push_back(i);
    }
  }
  std::sort(filing.begin(), filing.end());
  filed_.reserve(filing.size());
  buckets_.reserve(load.size());
  for (size_t k = 0; k < filing.size();) {
    size_t e = k;
    while (e < filing.size() && filing[e].first == filing[k].first) ++e;
    buckets_.emplace(filing[k].first, std::make_pair(uint32_t(filed_.size()), uint32_t(e - k)));
    for (size_t j = k; j < e; ++j) filed_.push_back(filing[j].second);
    k = e;
  }
}

int64_t WildcardIndex::FirstMatch(std::string_view text) const {
  if (patterns_.empty()) return -1;
  // Candidates from the text's runs; a text of up to 255 characters has few.
  constexpr size_t kStack = 64;
  uint32_t stack[kStack];
  std::vector<uint32_t> heap;
  size_t n = 0;
  auto add = [&](uint32_t v) {
    if (n < kStack) {
      stack[n++] = v;
      return;
    }
    if (heap.empty()) heap.assign(stack, stack + n);
    heap.push_back(v);
    ++n;
  };
  for (uint32_t v : always_) add(v);
  if (!buckets_.empty()) {
    for (size_t k = 0; k + 4 <= text.size(); ++k) {
      const auto it = buckets_.find(Gram(text.data() + k));
      if (it == buckets_.end()) continue;
      for (uint32_t j = 0; j < it->second.second; ++j) add(filed_[it->second.first + j]);
    }
  }
  uint32_t* cand = heap.empty() ? stack : heap.data();
  std::sort(cand, cand + n);
  for (size_t k = 0; k < n; ++k) {
    if (k > 0 && cand[k] == cand[k - 1]) continue;
    if (MatchWildcard(text, patterns_[cand[k]]) == 0) return cand[k];
  }
  return -1;
}

}  // namespace hs::geo
