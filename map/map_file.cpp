#include "map/map_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/byte_order.h"

namespace hs::map {
namespace {

constexpr auto U16 = platform::LoadU16;
constexpr auto U32 = platform::LoadU32;
constexpr auto PutU16 = platform::AppendU16;
constexpr auto PutU32 = platform::AppendU32;

bool ReadBytes(std::istream& in, std::vector<uint8_t>& buf, size_t n) {
  // Grow in steps so a header that lies about its counts cannot make us
  // allocate gigabytes before the stream runs dry.
  buf.clear();
  constexpr size_t kChunk = 1 << 20;
  while (buf.size() < n) {
    size_t step = std::min(kChunk, n - buf.size());
    size_t at = buf.size();
    buf.resize(at + step);
    in.read(reinterpret_cast<char*>(buf.data() + at), std::streamsize(step));
    if (size_t(in.gcount()) != step) return false;
  }
  return true;
}

bool ReadRecords(std::istream& in, std::vector<uint8_t>& buf, uint32_t count, size_t size) {
  return ReadBytes(in, buf, size_t(count) * size);
}

}  // namespace

std::string_view MapRecord::Name(size_t i) const {
  if (i + 1 >= nameStart.size()) return {};
  return std::string_view(nameText).substr(nameStart[i], nameStart[i + 1] - nameStart[i]);
}

size_t MapRecord::FirstPolylineOf(size_t layer) const {
  size_t first = 0;
  for (size_t i = 0; i < layer && i < layers.size(); ++i) first += layers[i].polylineCount;
  return first;
}

bool ReadMap(std::istream& in, MapRecord& out) {
  out = MapRecord{};
  MapRecord m;
  std::vector<uint8_t> b;
  if (!ReadBytes(in, b, kHeaderSize)) return false;
  const uint8_t* h = b.data();
  m.extent = {U16(h + 320), U16(h + 322), U16(h + 324), U16(h + 326)};
  m.opaque1 = U32(h + 328);
  m.opaque2 = U32(h + 332);
  const uint32_t layerCount = U32(h + 336), polylineCount = U32(h + 340), placeCount = U32(h + 344),
                 pointCount = U32(h + 348), nameCount = U32(h + 352), nameBytes = U32(h + 356);
  m.flags = U32(h + 360) & 1;
  for (int i = 0; i < 6; ++i) {
    m.coloursHigh[i] = U32(h + 364 + 4 * i);
    m.coloursLow[i] = U32(h + 396 + 4 * i);
  }

  if (layerCount == 0 || !ReadRecords(in, b, layerCount, kLayerSize)) return false;
  m.layers.resize(layerCount);
  for (uint32_t i = 0; i < layerCount; ++i) {
    const uint8_t* p = b.data() + i * kLayerSize;
    MapLayer& l = m.layers[i];
    l = {U32(p), U32(p + 4), U32(p + 8), U32(p + 12), U32(p + 16), U32(p + 20), {}};
    std::memcpy(l.tail.data(), p + 24, l.tail.size());
  }

  if (polylineCount) {
    if (!ReadRecords(in, b, polylineCount, kPolylineSize)) return false;
    m.polylines.resize(polylineCount);
    for (uint32_t i = 0; i < polylineCount; ++i) {
      const uint8_t* p = b.data() + i * kPolylineSize;
      m.polylines[i] = {U32(p), U32(p + 4), {U16(p + 8), U16(p + 10), U16(p + 12), U16(p + 14)}};
      m.maxLastOffset = std::max(m.maxLastOffset, m.polylines[i].lastOffset);
    }
  }
  if (placeCount) {
    if (!ReadRecords(in, b, placeCount, kPlaceSize)) return false;
    m.places.resize(placeCount);
    for (uint32_t i = 0; i < placeCount; ++i) {
      const uint8_t* p = b.data() + i * kPlaceSize;
      m.places[i] = {U16(p), U16(p + 2), U32(p + 4) - 1, p[8]};
    }
  }
  if (pointCount) {
    if (!ReadRecords(in, b, pointCount, kPointSize)) return false;
    m.points.resize(pointCount);
    for (uint32_t i = 0; i < pointCount; ++i) m.points[i] = {U16(b.data() + 4 * i), U16(b.data() + 4 * i + 2)};
  }
  if (nameCount) {
    if (!ReadBytes(in, b, nameCount)) return false;
    m.nameStart.resize(size_t(nameCount) + 1);
    uint64_t at = 0;
    for (uint32_t i = 0; i < nameCount; ++i) {
      m.nameStart[i] = uint32_t(at);
      at += b[i];
    }
    m.nameStart[nameCount] = uint32_t(at);
    std::vector<uint8_t> text;
    if (!ReadBytes(in, text, nameBytes)) return false;
    // Lengths that run past the text would make names read beyond it.
    if (at > nameBytes) return false;
    m.nameText.assign(text.begin(), text.end());
  }

  // References that leave their tables would send the renderer out of bounds.
  for (const MapPolyline& pl : m.polylines)
    if (uint64_t(pl.firstPoint) + pl.lastOffset >= m.points.size()) return false;
  for (const MapPlace& pl : m.places)
    if (pl.nameIndex >= m.NameCount()) return false;
  uint64_t layered = 0;
  for (const MapLayer& l : m.layers) layered += l.polylineCount;
  if (layered > m.polylines.size()) return false;

  out = std::move(m);
  return true;
}

bool ReadMapFile(const std::string& path, MapRecord& map) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    map = MapRecord{};
    return false;
  }
  return ReadMap(in, map);
}

std::string WriteMap(const MapRecord& m) {
  std::string s(320, '\0');
  PutU16(s, m.extent.left);
  PutU16(s, m.extent.top);
  PutU16(s, m.extent.right);
  PutU16(s, m.extent.bottom);
  PutU32(s, m.opaque1);
  PutU32(s, m.opaque2);
  PutU32(s, uint32_t(m.layers.size()));
  PutU32(s, uint32_t(m.polylines.size()));
  PutU32(s, uint32_t(m.places.size()));
  PutU32(s, uint32_t(m.points.size()));
  PutU32(s, uint32_t(m.NameCount()));
  PutU32(s, uint32_t(m.nameText.size()));
  PutU32(s, m.flags & 1);
  for (int i = 0; i < 8; ++i) PutU32(s, i < 6 ? m.coloursHigh[i] : 0);
  for (int i = 0; i < 8; ++i) PutU32(s, i < 6 ? m.coloursLow[i] : 0);
  s.append(64, '\0');
  for (const MapLayer& l : m.layers) {
    PutU32(s, l.polylineCount);
    PutU32(s, l.reserved);
    PutU32(s, l.fillHigh);
    PutU32(s, l.lineHigh);
    PutU32(s, l.fillLow);
    PutU32(s, l.lineLow);
    s.append(reinterpret_cast<const char*>(l.tail.data()), l.tail.size());
  }
  for (const MapPolyline& p : m.polylines) {
    PutU32(s, p.firstPoint);
    PutU32(s, p.lastOffset);
    PutU16(s, p.box.left);
    PutU16(s, p.box.top);
    PutU16(s, p.box.right);
    PutU16(s, p.box.bottom);
  }
  for (const MapPlace& p : m.places) {
    PutU16(s, p.x);
    PutU16(s, p.y);
    PutU32(s, p.nameIndex + 1);
    s.push_back(char(p.tail));
  }
  for (const MapPoint& p : m.points) {
    PutU16(s, p.x);
    PutU16(s, p.y);
  }
  for (size_t i = 0; i < m.NameCount(); ++i) s.push_back(char(uint8_t(m.nameStart[i + 1] - m.nameStart[i])));
  s += m.nameText;
  return s;
}

MapBuilder::MapBuilder(Extent extent, bool wraps) {
  map_.extent = extent;
  map_.flags = wraps ? 1 : 0;
}

void MapBuilder::SetColours(const std::array<Colour, 8>& high, const std::array<Colour, 8>& low) {
  map_.coloursHigh = high;
  map_.coloursLow = low;
  for (int i = 6; i < 8; ++i) map_.coloursHigh[i] = map_.coloursLow[i] = 0;
}

void MapBuilder::AddLayer(Colour fillHigh, Colour lineHigh, Colour fillLow, Colour lineLow) {
  map_.layers.push_back({0, 0, fillHigh, lineHigh, fillLow, lineLow, {}});
}

void MapBuilder::AddPolyline(const std::vector<MapPoint>& pts) {
  if (pts.size() < 2 || map_.layers.empty()) return;
  MapPolyline pl;
  pl.firstPoint = uint32_t(map_.points.size());
  pl.lastOffset = uint32_t(pts.size() - 1);
  pl.box = {0xffff, 0xffff, 0, 0};
  for (const MapPoint& p : pts) {
    pl.box.left = std::min(pl.box.left, p.x);
    pl.box.top = std::min(pl.box.top, p.y);
    // Boxes are compared with right and bottom exclusive.
    pl.box.right = std::max<uint16_t>(pl.box.right, uint16_t(std::min(0xffff, p.x + 1)));
    pl.box.bottom = std::max<uint16_t>(pl.box.bottom, uint16_t(std::min(0xffff, p.y + 1)));
  }
  map_.points.insert(map_.points.end(), pts.begin(), pts.end());
  map_.polylines.push_back(pl);
  map_.layers.back().polylineCount++;
  map_.maxLastOffset = std::max(map_.maxLastOffset, pl.lastOffset);
}

void MapBuilder::AddPlace(uint16_t x, uint16_t y, std::string_view name) {
  name = name.substr(0, 255);
  if (map_.nameStart.empty()) map_.nameStart.push_back(0);
  map_.places.push_back({x, y, uint32_t(map_.NameCount()), 0});
  map_.nameText += name;
  map_.nameStart.push_back(uint32_t(map_.nameText.size()));
}

}  // namespace hs::map
