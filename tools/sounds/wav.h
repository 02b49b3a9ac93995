// The WAV files of the trace sounds: 16-bit PCM, one channel, little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hs::sounds {

// The whole file: RIFF header, "fmt " chunk, "data" chunk.
std::string WavFile(const std::vector<int16_t>& samples, uint32_t sampleRate);

}  // namespace hs::sounds
