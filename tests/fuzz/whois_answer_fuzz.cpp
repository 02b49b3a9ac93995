// Any bytes as a WhoIs answer: every reading of it must stay within the text
// and keep its promises (a tidy text has no control bytes, a network name no
// line feed, a postal code five digits).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "whois/answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::whois;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string tidy = TidyAnswer(text);
  if (tidy.size() > text.size()) std::abort();
  for (unsigned char c : tidy)
    if ((c < 0x26 && c != ' ' && c != '\r' && c != '\n') || c >= 0x80) std::abort();

  if (const auto name = ExtractNetName(text); name && name->find('\n') != std::string::npos) std::abort();

  uint32_t address = 0;
  if (size >= 4) std::memcpy(&address, data, 4);
  if (const auto handle = NetworkFollowUpHandle(text, address);
      handle && (handle->find('\n') != std::string::npos || handle->find(')') != std::string::npos))
    std::abort();

  // The key: the text up to its first line feed (bounded), asked of the rest.
  const std::string_view key = text.substr(0, std::min<size_t>(text.find('\n'), 64));
  const DomainFollowUp followUp = FindDomainFollowUp(text, key);
  if (followUp.kind == DomainFollowUp::AskHandle && followUp.handle.find(')') != std::string::npos) std::abort();

  if (const auto postal = ReadPostalAddress(text)) {
    if (postal->country.size() > 49) std::abort();
    if (!postal->zip.empty() && postal->zip.size() != 5) std::abort();
    for (char c : postal->zip)
      if (c < '0' || c > '9') std::abort();
  }
  const std::string_view shown = FromRegistrant(text);
  if (shown.size() > text.size() || text.substr(text.size() - shown.size()) != shown) std::abort();
  (void)HasManyMatchesMarker(text);
  (void)IsBusyAnswer(text);
  (void)FromFirstDomainLine(text);
  (void)ParseDottedQuad(text);
  return 0;
}
