#include "trace/target.h"

#include <arpa/inet.h>

namespace hs {

void TargetBuffer::SetTargetText(const std::string& text) {
  std::lock_guard g(lock_);
  text_ = text.substr(0, kCapacity - 1);
}

std::string TargetBuffer::Text() const {
  std::lock_guard g(lock_);
  return text_;
}

std::string ParseTarget(const std::string& text, TargetBuffer* buffer) {
  size_t start = text.find("dnserror.htm#");
  if (start == std::string::npos) start = text.find("http_404.htm#");
  if (start == std::string::npos) start = 0;

  const size_t colon = text.find(':', start);
  if (colon != std::string::npos && text.compare(colon + 1, 2, "//") == 0) {
    std::string host = text.substr(colon + 3);
    if (size_t slash = host.find('/'); slash != std::string::npos) host.erase(slash);
    if (size_t at = host.find('@'); at != std::string::npos) host.erase(0, at + 1);
    if (size_t port = host.find(':'); port != std::string::npos) host.erase(port);
    if (buffer) buffer->SetTargetText(host);
    return host;
  }
  return text;
}

bool IsDottedAddress(const std::string& text) {
  if (text.empty()) return false;
  bool dot = false;
  for (char c : text) {
    if (c == '.') dot = true;
    else if (c < '0' || c > '9') return false;
  }
  return dot;
}

std::optional<uint32_t> Resolve(const std::string& text, platform::Resolver& resolver) {
  if (text.empty()) return std::nullopt;
  bool dot = false, other = false;
  for (char c : text) {
    if (c == '.') dot = true;
    else if (c < '0' || c > '9') other = true;
  }
  if (!other) {
    if (dot) return platform::DottedToAddress(text);
    uint32_t value = 0;  // wraps like a 32-bit accumulator
    for (char c : text) value = value * 10u + static_cast<uint32_t>(c - '0');
    return htonl(value);
  }
  return resolver.FirstAddress(text);
}

uint8_t FirstOctet(uint32_t networkOrderAddress) {
  return static_cast<uint8_t>(ntohl(networkOrderAddress) >> 24);
}

bool IsPrivateAddress(uint32_t address) {
  const uint32_t a = ntohl(address);
  return (a & 0xff000000u) == 0x0a000000u || (a & 0xfff00000u) == 0xac100000u ||
         (a & 0xffff0000u) == 0xc0a80000u;
}

TargetKind ClassifyTarget(const std::string& host) {
  if (IsDottedAddress(host)) return TargetKind::Address;
  if (host.find('@') != std::string::npos) return TargetKind::MailAddress;
  return TargetKind::HostName;
}

}  // namespace hs
