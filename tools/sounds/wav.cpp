#include "wav.h"

namespace hs::sounds {
namespace {

void Put16(std::string& out, uint16_t v) {
  out += char(v & 0xff);
  out += char(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xff);
}

}  // namespace

std::string WavFile(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  std::string out;
  out.reserve(44 + dataBytes);
  out += "RIFF";
  Put32(out, 36 + dataBytes);
  out += "WAVE";
  out += "fmt ";
  Put32(out, 16);              // chunk size
  Put16(out, 1);               // PCM
  Put16(out, 1);               // channels
  Put32(out, sampleRate);
  Put32(out, sampleRate * 2);  // bytes per second
  Put16(out, 2);               // block align
  Put16(out, 16);              // bits per sample
  out += "data";
  Put32(out, dataBytes);
  for (int16_t s : samples) Put16(out, uint16_t(s));
  return out;
}

}  // namespace hs::sounds
