#include "geo/place_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/byte_order.h"
#include "platform/files.h"

namespace hs::geo {

namespace {
uint32_t U32(const std::string& b, size_t at) { return platform::LoadU32(b.data() + at); }
uint32_t U16(const std::string& b, size_t at) { return platform::LoadU16(b.data() + at); }
constexpr auto PutU16 = platform::AppendU16;
constexpr auto PutU32 = platform::AppendU32;
}  // namespace

int32_t PlaceX(double longitude) { return int32_t(std::lround((longitude + 180.0) * 180.0)); }
int32_t PlaceY(double latitude) { return int32_t(std::lround((90.0 - latitude) * 180.0)); }

PlaceFile PlaceFile::FromBytes(std::string bytes) {
  PlaceFile f;
  f.bytes_ = std::move(bytes);
  f.fromBytes_ = true;
  return f;
}

// The records point into the bytes, which may move with a short file: the
// new object parses again on its first query.
PlaceFile::PlaceFile(PlaceFile&& o) noexcept
    : path_(std::move(o.path_)), bytes_(std::move(o.bytes_)), fromBytes_(o.fromBytes_ || !bytes_.empty()) {}

void PlaceFile::LoadOnce() const {
  std::call_once(once_, [this] {
    if (!fromBytes_) {
      std::optional<std::string> b = platform::ReadWholeFile(path_);
      if (!b) return;
      bytes_ = std::move(*b);
    }
    Parse();
  });
}

void PlaceFile::Parse() const {
  const std::string& b = bytes_;
  if (b.size() < 4) return;
  const uint64_t n = U32(b, 0);
  if (n > (b.size() - 4) / 8) return;
  // A name is usable when a NUL follows it inside the file, which holds for
  // every offset up to the last NUL.
  const size_t lastNul = b.rfind('\0');
  places_.reserve(size_t(n));
  for (size_t i = 0; i < n; ++i) {
    const size_t at = 4 + 8 * i;
    const uint32_t offset = U32(b, at + 4);
    if (lastNul == std::string::npos || offset > lastNul) {
      places_.clear();
      return;
    }
    places_.push_back(Place{int32_t(U16(b, at)), int32_t(U16(b, at + 2)), std::string_view(b.data() + offset)});
  }
  available_ = true;
}

bool PlaceFile::Available() const {
  LoadOnce();
  return available_;
}

size_t PlaceFile::Count() const {
  LoadOnce();
  return places_.size();
}

std::optional<Place> PlaceFile::FindNearestPlace(int32_t x, int32_t y, int32_t r) const {
  LoadOnce();
  if (!available_ || places_.empty()) return std::nullopt;
  const std::vector<Place>& p = places_;
  const int64_t n = int64_t(p.size());
  auto dx = [&](int64_t i) { return std::llabs(int64_t(x) - p[size_t(i)].x); };
  // Bisection on x until a record lies within r in x.
  int64_t hi = n, lo = 0, mid = n / 2;
  while (dx(mid) > r) {
    int64_t next;
    if (x > p[size_t(mid)].x) {
      lo = mid;
      next = (hi + mid) / 2;
    } else {
      hi = mid;
      next = (lo + mid) / 2;
    }
    if (next == mid) break;
    mid = next;
  }
  if (dx(mid) >= r) return std::nullopt;
  // Outward from there while either side is still within r in x.
  const Place* best = nullptr;
  double bestDistance = 0;
  auto consider = [&](int64_t i) {
    const int64_t ddx = int64_t(x) - p[size_t(i)].x, ddy = int64_t(y) - p[size_t(i)].y;
    if (std::llabs(ddx) >= r || std::llabs(ddy) >= r) return;
    const double d = std::sqrt(double(ddx * ddx + ddy * ddy));
    if (!best || d < bestDistance) best = &p[size_t(i)], bestDistance = d;
  };
  for (int64_t f = mid, b = mid;; ++f, --b) {
    const bool forwardDone = f >= n || dx(f) >= r;
    const bool backwardDone = b < 0 || dx(b) >= r;
    if (forwardDone && backwardDone) break;
    if (f < n) consider(f);
    if (b >= 0) consider(b);
  }
  if (!best) return std::nullopt;
  return *best;
}

std::optional<Place> PlaceFile::NearestTo(double latitude, double longitude, int32_t radius) const {
  return FindNearestPlace(PlaceX(longitude), PlaceY(latitude), radius);
}

std::string WritePlaceFile(const std::vector<PlaceSpec>& places) {
  struct Record {
    uint32_t x, y;
    const std::string* name;
  };
  std::vector<Record> records;
  records.reserve(places.size());
  for (const PlaceSpec& s : places) {
    if (!(std::fabs(s.latitude) <= 90) || !(std::fabs(s.longitude) <= 180))
      throw std::invalid_argument("place out of range: " + s.name);
    if (s.name.find('\0') != std::string::npos) throw std::invalid_argument("NUL in a place name");
    records.push_back({uint32_t(PlaceX(s.longitude)), uint32_t(PlaceY(s.latitude)), &s.name});
  }
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.x < b.x; });
  std::string out;
  PutU32(out, uint32_t(records.size()));
  size_t nameAt = 4 + 8 * records.size();
  std::string names;
  for (const Record& r : records) {
    PutU16(out, r.x);
    PutU16(out, r.y);
    PutU32(out, uint32_t(nameAt + names.size()));
    names += *r.name;
    names += '\0';
  }
  return out + names;
}

}  // namespace hs::geo
