#include "server/locd/mmdb_source.h"

#include <arpa/inet.h>
#include <maxminddb.h>
#include <netinet/in.h>

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "server/wire/locwire.h"

namespace hs::locd {
namespace {

// A path of keys, NULL-terminated, as MMDB_aget_value wants it.
std::optional<MMDB_entry_data_s> Value(MMDB_entry_s* entry, std::initializer_list<const char*> keys) {
  const char* path[8] = {};
  size_t n = 0;
  for (const char* k : keys) path[n++] = k;
  MMDB_entry_data_s data{};
  if (MMDB_aget_value(entry, &data, path) != MMDB_SUCCESS || !data.has_data) return std::nullopt;
  return data;
}

std::optional<double> Number(const std::optional<MMDB_entry_data_s>& d) {
  if (!d) return std::nullopt;
  double v;
  switch (d->type) {
    case MMDB_DATA_TYPE_DOUBLE: v = d->double_value; break;
    case MMDB_DATA_TYPE_FLOAT: v = d->float_value; break;
    case MMDB_DATA_TYPE_UINT16: v = d->uint16; break;
    case MMDB_DATA_TYPE_UINT32: v = d->uint32; break;
    case MMDB_DATA_TYPE_INT32: v = d->int32; break;
    case MMDB_DATA_TYPE_UTF8_STRING: {
      if (!locwire::ParseDecimal(std::string_view(d->utf8_string, d->data_size), v)) return std::nullopt;
      break;
    }
    default: return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::string Text(const std::optional<MMDB_entry_data_s>& d) {
  if (!d || d->type != MMDB_DATA_TYPE_UTF8_STRING) return {};
  return std::string(d->utf8_string, d->data_size);
}

template <typename... Paths>
std::optional<MMDB_entry_data_s> First(MMDB_entry_s* e, Paths... paths) {
  std::optional<MMDB_entry_data_s> out;
  ((out = out ? out : Value(e, paths)), ...);
  return out;
}

}  // namespace

std::unique_ptr<MmdbSource> MmdbSource::Open(const std::string& path, std::string* error) {
  std::unique_ptr<MmdbSource> s(new MmdbSource);
  s->db_ = std::make_unique<MMDB_s>();
  int rc = MMDB_open(path.c_str(), MMDB_MODE_MMAP, s->db_.get());
  if (rc != MMDB_SUCCESS) {
    if (error) *error = path + ": " + MMDB_strerror(rc);
    s->db_.reset();
    return nullptr;
  }
  return s;
}

MmdbSource::~MmdbSource() {
  if (db_) MMDB_close(db_.get());
}

std::optional<CityRecord> MmdbSource::Find(uint32_t address) const {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  int mmdbError = 0;
  MMDB_lookup_result_s r = MMDB_lookup_sockaddr(db_.get(), reinterpret_cast<sockaddr*>(&sa), &mmdbError);
  if (mmdbError != MMDB_SUCCESS || !r.found_entry) return std::nullopt;
  MMDB_entry_s* e = &r.entry;
  auto lat = Number(First(e, std::initializer_list<const char*>{"location", "latitude", nullptr},
                          std::initializer_list<const char*>{"latitude", nullptr}));
  auto lon = Number(First(e, std::initializer_list<const char*>{"location", "longitude", nullptr},
                          std::initializer_list<const char*>{"longitude", nullptr}));
  if (!lat || !lon || *lat < -90 || *lat > 90 || *lon < -180 || *lon > 180) return std::nullopt;
  CityRecord rec;
  rec.latitude = *lat;
  rec.longitude = *lon;
  rec.accuracyRadiusKm = Number(Value(e, {"location", "accuracy_radius", nullptr}));
  rec.city = Text(First(e, std::initializer_list<const char*>{"city", "names", "en", nullptr},
                        std::initializer_list<const char*>{"city", nullptr}));
  rec.country = Text(First(e, std::initializer_list<const char*>{"country", "iso_code", nullptr},
                           std::initializer_list<const char*>{"country_code", nullptr}));
  if (rec.country.size() != 2) rec.country.clear();
  return rec;
}

}  // namespace hs::locd
