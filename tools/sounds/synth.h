// The six trace sounds, synthesised: short, soft tones with a quick attack
// and a smooth decay, so that a sound every hop stays pleasant all day.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace hs::sounds {

inline constexpr uint32_t kSampleRate = 44100;
inline constexpr std::string_view kSoundNames[] = {"start.wav",   "timeout.wav", "error.wav",
                                                   "failure.wav", "done.wav",    "tracecomplete.wav"};

// The samples of one sound by its file name; empty for an unknown name.
std::vector<int16_t> SynthesiseSound(std::string_view name);

}  // namespace hs::sounds
