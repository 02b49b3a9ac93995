// Map files come from disk: no byte sequence may make the reader misbehave,
// and whatever it accepts must write back to bytes it reads the same way.
#include <cstdlib>
#include <sstream>

#include "map/map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  hs::map::MapRecord m;
  if (!hs::map::ReadMap(in, m)) return 0;
  std::istringstream again(hs::map::WriteMap(m));
  hs::map::MapRecord m2;
  if (!hs::map::ReadMap(again, m2) || !(m.points == m2.points) || !(m.places == m2.places)) std::abort();
  return 0;
}
