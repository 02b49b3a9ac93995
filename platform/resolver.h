// Host name resolution through the system resolver.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hs::platform {

// The engine talks to the resolver through this interface so that tests can
// script answers; SystemResolver is the real one.
class Resolver {
 public:
  virtual ~Resolver() = default;
  // First IPv4 address of a host name (network byte order); nullopt when the
  // resolver has no entry. 0.0.0.0 is an answer like any other (blocking
  // hosts files map names to it).
  virtual std::optional<uint32_t> FirstAddress(const std::string& host) = 0;
  // Official name of an address; nullopt when the resolver has none.
  virtual std::optional<std::string> ReverseName(uint32_t address) = 0;
  // The local computer's host name.
  virtual std::string LocalHostName() = 0;
};

class SystemResolver final : public Resolver {
 public:
  std::optional<uint32_t> FirstAddress(const std::string& host) override;
  std::optional<std::string> ReverseName(uint32_t address) override;
  std::string LocalHostName() override;
};

// Dotted-address conversion with the classic inet_addr rules ("1.2.3.4",
// also "10.1" and octal/hex parts); INADDR_NONE (0xffffffff) when invalid.
uint32_t DottedToAddress(const std::string& text);
// Network-order address to "a.b.c.d".
std::string AddressToDotted(uint32_t address);

}  // namespace hs::platform
