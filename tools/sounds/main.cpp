// hopsight-sounds DIR: writes the six trace sounds into DIR.
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "synth.h"
#include "wav.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hopsight-sounds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!hs::platform::MakeDirectories(dir)) {
    std::fprintf(stderr, "hopsight-sounds: cannot make %s\n", dir.c_str());
    return 1;
  }
  for (std::string_view name : hs::sounds::kSoundNames) {
    const std::string path = dir + "/" + std::string(name);
    const std::string bytes = hs::sounds::WavFile(hs::sounds::SynthesiseSound(name), hs::sounds::kSampleRate);
    const auto old = hs::platform::ReadWholeFile(path);
    if (old && *old == bytes) continue;  // unchanged: leave the file alone
    if (!hs::platform::ReplaceFileAtomically(path, bytes)) {
      std::fprintf(stderr, "hopsight-sounds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
