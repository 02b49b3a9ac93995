#include "synth.h"

#include <algorithm>
#include <cmath>

namespace hs::sounds {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Note {
  double startMs;
  double frequency;
  double lengthMs;
  double level;       // 0..1
  double decayMs;     // time for the level to fall to 1/e
  bool bell = false;  // inharmonic partials of a small bell
};

std::vector<int16_t> Render(const std::vector<Note>& notes) {
  double endMs = 0;
  for (const Note& n : notes) endMs = std::max(endMs, n.startMs + n.lengthMs);
  const size_t count = size_t(endMs * kSampleRate / 1000.0) + 1;
  std::vector<double> mix(count, 0.0);
  for (const Note& n : notes) {
    const size_t first = size_t(n.startMs * kSampleRate / 1000.0);
    const size_t length = size_t(n.lengthMs * kSampleRate / 1000.0);
    for (size_t i = 0; i < length && first + i < count; ++i) {
      const double t = double(i) / kSampleRate;
      const double ms = t * 1000.0;
      const double attack = std::min(1.0, ms / 4.0);                  // no click at the start
      const double release = std::min(1.0, (n.lengthMs - ms) / 6.0);  // nor at the end
      const double envelope = attack * release * std::exp(-ms / n.decayMs);
      double v = std::sin(2 * kPi * n.frequency * t) + 0.18 * std::sin(4 * kPi * n.frequency * t);
      if (n.bell) v += 0.35 * std::sin(2 * kPi * n.frequency * 2.76 * t) * std::exp(-ms / (n.decayMs / 3));
      mix[first + i] += n.level * envelope * v;
    }
  }
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i)
    samples[i] = int16_t(std::lround(std::clamp(mix[i], -1.0, 1.0) * 32767.0 * 0.9));
  return samples;
}

}  // namespace

std::vector<int16_t> SynthesiseSound(std::string_view name) {
  // A hop's name found: two quick rising notes.
  if (name == "start.wav") return Render({{0, 1318.5, 60, 0.22, 40}, {45, 1760.0, 80, 0.22, 45}});
  // A hop that did not answer: a low, muted knock.
  if (name == "timeout.wav") return Render({{0, 196.0, 140, 0.45, 45}});
  // A hop that answered: a short, light tick.
  if (name == "error.wav") return Render({{0, 1046.5, 70, 0.25, 22}});
  // No name for a hop: two falling notes.
  if (name == "failure.wav") return Render({{0, 880.0, 90, 0.22, 50}, {75, 659.3, 130, 0.22, 55}});
  // The destination's owner found at once: a small bell.
  if (name == "done.wav") return Render({{0, 1568.0, 380, 0.22, 140, true}});
  // The trace is complete: a soft rising arpeggio.
  if (name == "tracecomplete.wav")
    return Render({{0, 523.3, 420, 0.20, 170},
                   {90, 659.3, 420, 0.20, 170},
                   {180, 784.0, 420, 0.20, 170},
                   {270, 1046.5, 560, 0.22, 220, true}});
  return {};
}

}  // namespace hs::sounds
