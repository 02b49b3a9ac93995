// Little-endian integers in our binary files (maps, location database, place
// names, trace history), whatever the machine's own byte order.
#pragma once

#include <cstdint>
#include <string>

namespace hs::platform {

inline uint16_t LoadU16(const void* at) {
  const auto* p = static_cast<const uint8_t*>(at);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadU32(const void* at) {
  const auto* p = static_cast<const uint8_t*>(at);
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void StoreU16(void* at, uint16_t v) {
  auto* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(void* at, uint32_t v) {
  auto* p = static_cast<uint8_t*>(at);
  StoreU16(p, static_cast<uint16_t>(v));
  StoreU16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void AppendU16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void AppendU32(std::string& out, uint32_t v) {
  AppendU16(out, v & 0xFFFF);
  AppendU16(out, v >> 16);
}

}  // namespace hs::platform
