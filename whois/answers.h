// What is read out of WhoIs answers: the kind of answer, the follow-up
// handles of many-matches lists, the tidied text, the network name and the
// owner's country and postal code. Pure text functions, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hs::whois {

// Texts the registries answer with.
inline constexpr std::string_view kNoMatchForNetwork = "No match for network";
inline constexpr std::string_view kNoMatchForDomain = "No match for domain";
// The first line of the RIPE database's rights notice; the address of the
// registry's copyright page follows it, whichever page that is.
inline constexpr std::string_view kRightsNotice = "% Rights restricted by copyright. See ";
inline constexpr std::string_view kNoEntriesFound = "No entries found";
inline constexpr std::string_view kInterNicRegistration = "The InterNIC Registration";
// The many-matches answer of the com registry (and of ARIN in the same style).
inline constexpr std::string_view kManyMatchesMarker = "\"!xxx\"";

// A network query: only decimal digits and full stops.
bool IsNetworkQuery(std::string_view text);

bool HasNoEntries(std::string_view answer);
bool HasRightsNotice(std::string_view answer);
// The server is overloaded or rations its answers.
bool IsBusyAnswer(std::string_view answer);
bool HasManyMatchesMarker(std::string_view answer);

// The part from the first "domain:" on, or the whole text.
std::string_view FromFirstDomainLine(std::string_view answer);

// Cuts the text at "The InterNIC Registration" and turns every byte below
// '&' or from 0x80 up, except CR and LF, into a blank.
std::string TidyAnswer(std::string_view answer);

// The value of the last "netname:" line (label in any case, leading blanks
// dropped, a CR before the line feed kept); none when the label is missing
// or a value has no line feed after it.
std::optional<std::string> ExtractNetName(std::string_view answer);

// The handle of the smallest listed network that holds the address
// (host byte order), from a many-matches answer of a network query.
std::optional<std::string> NetworkFollowUpHandle(std::string_view answer, uint32_t hostOrderAddress);

struct DomainFollowUp {
  enum Kind { NoMatch, StoreAnswer, AskHandle } kind = NoMatch;
  std::string handle;  // for AskHandle
};
// From a many-matches answer of a domain query: the handle in parentheses on
// the line that ends with the key (upper case); the answer itself when the
// key occurs without a usable handle; no match when the key never occurs.
DomainFollowUp FindDomainFollowUp(std::string_view answer, std::string_view key);

struct PostalAddress {
  std::string country;  // at most 49 characters
  std::string zip;      // five digits, or empty
  friend bool operator==(const PostalAddress&, const PostalAddress&) = default;
};
// The owner's country and postal code from a network answer: the "country:"
// line of a RIPE or APNIC answer, or the address block after the first line
// of an ARIN-style answer. None when the text has no layout we know.
std::optional<PostalAddress> ReadPostalAddress(std::string_view answer);

// What a WhoIs text panel shows: the text from its first "Registrant" on,
// or all of it.
std::string_view FromRegistrant(std::string_view answer);

// A strict dotted quad ("192.0.2.1") in host byte order.
std::optional<uint32_t> ParseDottedQuad(std::string_view text);

}  // namespace hs::whois
