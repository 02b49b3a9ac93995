#include "whois/answers.h"

#include <array>
#include <vector>

#include "whois/text_lines.h"

namespace hs::whois {
namespace {

bool Contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Position of `what` (lower case) in `text` from `from` on, without regard to case.
size_t FindNoCase(std::string_view text, std::string_view what, size_t from) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + what.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < what.size() && Lower(text[i + k]) == what[k]) ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsAddressChar(char c) { return IsAsciiDigit(c) || c == '.'; }

std::string_view WithoutTrailingCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (!IsAsciiDigit(c)) return false;
  return true;
}

// A line that ends with a blank and five digits, or with a blank, five
// digits and five more characters (12345-6789): the five digits.
std::optional<std::string> PostalCodeOf(std::string_view line) {
  line = WithoutTrailingCr(line);
  const size_t n = line.size();
  if (n >= 6 && line[n - 6] == ' ' && AllDigits(line.substr(n - 5))) return std::string(line.substr(n - 5));
  if (n >= 11 && line[n - 11] == ' ' && AllDigits(line.substr(n - 10, 5)))
    return std::string(line.substr(n - 10, 5));
  return std::nullopt;
}

// The line that ends an address block: short, or blank after its first character.
bool EndsBlock(std::string_view line) {
  if (line.size() < 3) return true;
  for (size_t i = 1; i < line.size(); ++i)
    if (!IsBlank(line[i])) return false;
  return true;
}

}  // namespace

bool IsNetworkQuery(std::string_view text) {
  for (char c : text)
    if (!IsAddressChar(c)) return false;
  return true;
}

bool HasNoEntries(std::string_view answer) { return Contains(answer, kNoEntriesFound); }
bool HasRightsNotice(std::string_view answer) { return Contains(answer, kRightsNotice); }
bool HasManyMatchesMarker(std::string_view answer) { return Contains(answer, kManyMatchesMarker); }

bool IsBusyAnswer(std::string_view answer) {
  static constexpr std::array<std::string_view, 5> kBusy = {
      "WHOIS database is down", "wait a while and try again", "system load is temporarily too heavy",
      "query limit has been exceeded", "Process limit reached"};
  for (std::string_view b : kBusy)
    if (Contains(answer, b)) return true;
  return false;
}

std::string_view FromFirstDomainLine(std::string_view answer) {
  const size_t at = answer.find("domain:");
  return at == std::string_view::npos ? answer : answer.substr(at);
}

std::string TidyAnswer(std::string_view answer) {
  const size_t cut = answer.find(kInterNicRegistration);
  std::string text(answer.substr(0, cut));
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x26 || b >= 0x80) && c != '\r' && c != '\n') c = ' ';
  }
  return text;
}

std::optional<std::string> ExtractNetName(std::string_view answer) {
  static constexpr std::string_view kLabel = "netname:";
  if (answer.empty()) return std::nullopt;
  size_t at = FindNoCase(answer, kLabel, 0);
  if (at == std::string_view::npos) return std::nullopt;
  for (;;) {
    size_t start = at + kLabel.size();
    while (start < answer.size() && answer[start] == ' ') ++start;
    const size_t lineFeed = answer.find('\n', start);
    if (lineFeed == std::string_view::npos) return std::nullopt;
    std::string_view value = answer.substr(start, lineFeed - start);
    at = FindNoCase(answer, kLabel, start);
    if (at == std::string_view::npos) return std::string(value);
  }
}

std::optional<uint32_t> ParseDottedQuad(std::string_view text) {
  uint32_t value = 0;
  int parts = 0;
  size_t pos = 0;
  while (parts < 4) {
    size_t digits = 0;
    uint32_t part = 0;
    while (pos < text.size() && IsAsciiDigit(text[pos]) && digits < 4) {
      part = part * 10 + static_cast<uint32_t>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || part > 255) return std::nullopt;
    value = (value << 8) | part;
    if (++parts < 4) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
  }
  if (pos != text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> NetworkFollowUpHandle(std::string_view answer, uint32_t a) {
  uint32_t best = 0xFFFFFFFFu;
  std::optional<std::string> handle;
  size_t pos = 0;
  while (pos < answer.size() && best != 0) {
    size_t end = answer.find('\n', pos);
    if (end == std::string_view::npos) end = answer.size();
    const std::string_view line = answer.substr(pos, end - pos);
    pos = end + 1;

    // The last address of the line.
    size_t e = line.size();
    while (e > 0 && (IsBlank(line[e - 1]) || line[e - 1] == '\r')) --e;
    size_t s = e;
    while (s > 0 && IsAddressChar(line[s - 1])) --s;
    const auto last = ParseDottedQuad(line.substr(s, e - s));
    if (!last) continue;
    size_t b = s;
    while (b > 0 && IsBlank(line[b - 1])) --b;
    if (b == 0 || line[b - 1] != '-') {
      if (*last == a) break;  // the address itself is listed
      continue;
    }
    size_t le = b - 1;
    while (le > 0 && IsBlank(line[le - 1])) --le;
    size_t ls = le;
    while (ls > 0 && IsAddressChar(line[ls - 1])) --ls;
    const auto first = ParseDottedQuad(line.substr(ls, le - ls));
    if (!first) continue;
    uint32_t high = *last;
    if ((high & 0xFF) == 0) high += 255;
    if (*first <= a && a <= high && high - *first < best) {
      const size_t open = line.rfind('(', s);
      if (open == std::string_view::npos) continue;
      const size_t close = line.find(')', open + 1);
      if (close == std::string_view::npos) continue;
      handle = std::string(line.substr(open + 1, close - open - 1));
      best = high - *first;
    }
  }
  return handle;
}

DomainFollowUp FindDomainFollowUp(std::string_view answer, std::string_view key) {
  std::string needle;
  needle.reserve(key.size() + 1);
  for (char c : key) needle += Upper(c);
  needle += '\n';

  DomainFollowUp result;
  size_t searchStart = 0;
  for (;;) {
    const size_t at = answer.find(needle, searchStart);
    if (at == std::string_view::npos) break;
    result.kind = DomainFollowUp::StoreAnswer;
    if (at > 0 && IsBlank(answer[at - 1])) {
      const size_t open = answer.rfind('(', at);
      if (open != std::string_view::npos && open >= searchStart) {
        const size_t close = answer.find(')', open + 1);
        if (close != std::string_view::npos && close < at) {
          result.kind = DomainFollowUp::AskHandle;
          result.handle = std::string(answer.substr(open + 1, close - open - 1));
          return result;
        }
      }
    }
    searchStart = at + needle.size();  // the start of the next line
  }
  return result;
}

std::optional<PostalAddress> ReadPostalAddress(std::string_view answer) {
  if (answer.empty()) return std::nullopt;
  PostalAddress address;

  if (Contains(answer, "APNIC") || Contains(answer, "RIPE")) {
    const size_t at = answer.find("country:");
    if (at != std::string_view::npos) {
      size_t start = at + 8;
      while (start < answer.size() && IsBlank(answer[start])) ++start;
      address.country = std::string(answer.substr(start, 2));
    }
    return address;
  }

  // A first line, then an address block that ends at a blank line.
  size_t pos = answer.find('\n');
  if (pos == std::string_view::npos) return std::nullopt;
  std::vector<std::string_view> lines{answer.substr(0, pos)};
  ++pos;
  bool ended = false;
  for (int examined = 0; examined < 6 && !ended; ++examined) {
    const size_t lineFeed = answer.find('\n', pos);
    if (lineFeed == std::string_view::npos) return std::nullopt;
    const std::string_view line = answer.substr(pos, lineFeed - pos);
    pos = lineFeed + 1;
    if (EndsBlock(line)) {
      ended = true;
    } else {
      lines.push_back(line);
    }
  }
  if (!ended || lines.size() < 2) return std::nullopt;
  const std::string_view last = lines[lines.size() - 1];
  const std::string_view secondToLast = lines[lines.size() - 2];

  address.country = "US";
  if (auto zip = PostalCodeOf(last)) {
    address.zip = *zip;
    return address;
  }
  std::string_view country = WithoutTrailingCr(last);
  if (!country.empty() && country.front() == '\r') country.remove_prefix(1);
  while (!country.empty() && IsBlank(country.front())) country.remove_prefix(1);
  address.country = std::string(country.substr(0, 49));
  if (address.country == "US" || address.country == "USA") {
    if (auto zip = PostalCodeOf(secondToLast)) address.zip = *zip;
  }
  return address;
}

std::string_view FromRegistrant(std::string_view answer) {
  const size_t at = answer.find("Registrant");
  return at == std::string_view::npos ? answer : answer.substr(at);
}

}  // namespace hs::whois
