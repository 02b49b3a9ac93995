// The trace target: what the user typed, reduced to a host and resolved.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/resolver.h"

namespace hs {

// The current target text, at most 255 characters.
class TargetBuffer {
 public:
  static constexpr size_t kCapacity = 256;
  void SetTargetText(const std::string& text);
  std::string Text() const;

 private:
  mutable std::mutex lock_;
  std::string text_;
};

// Host part of a target text: a bare host, a URL (user information, port and
// path dropped) or a browser error page that carries the failed address. For
// a URL the host is also written into `buffer` when one is given.
std::string ParseTarget(const std::string& text, TargetBuffer* buffer);

// Dots and digits only, with at least one dot.
bool IsDottedAddress(const std::string& text);

// IPv4 address of a target host (network byte order): dotted forms by the
// classic conversion, a bare decimal number as a host-order address, anything
// else through the resolver. nullopt for an empty text or a name the resolver
// does not know; a name that resolves to 0.0.0.0 gives 0.
std::optional<uint32_t> Resolve(const std::string& text, platform::Resolver& resolver);

// The first number of the dotted form ("0" for 0.1.2.3) of a network-order
// address, whatever the machine's byte order.
uint8_t FirstOctet(uint32_t networkOrderAddress);

// One of the three private ranges.
bool IsPrivateAddress(uint32_t address);

enum class TargetKind : uint32_t { Address = 0, HostName = 1, MailAddress = 2 };
TargetKind ClassifyTarget(const std::string& host);

}  // namespace hs
