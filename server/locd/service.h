// What hopsight-locd answers, without the HTTP around it: a request path,
// its raw query and the caller's address in, a status and a body out. Kept
// apart so that tests and the fuzz target can drive it directly.
#pragma once

#include <string>
#include <string_view>

#include "server/locd/geodata.h"
#include "server/wire/locwire.h"

namespace hs::locd {

struct ServiceOptions {
  locwire::UpdateAnswer update;        // what the update check answers
  std::string defaultCountry = "US";   // suggested when the caller's address says nothing
};

struct Reply {
  int status = 200;
  std::string body;
};

// Longest raw query we look at; a full route needs under 1 KB.
inline constexpr size_t kMaxQueryLength = 4096;

class LocService {
 public:
  LocService(const GeoData& data, ServiceOptions options) : data_(data), options_(std::move(options)) {}
  Reply Handle(std::string_view path, std::string_view rawQuery, std::string_view remoteAddress) const;

 private:
  Reply Route(std::string_view query) const;
  Reply Place(std::string_view query) const;
  Reply Countries(std::string_view remoteAddress) const;
  Reply Update(std::string_view query) const;

  const GeoData& data_;
  ServiceOptions options_;
};

// "current", "new", "new:URL", "info:MESSAGE|URL" or "open:URL"; nullopt for
// anything else or an answer longer than the client reads.
std::optional<locwire::UpdateAnswer> ParseUpdateSetting(std::string_view setting);

}  // namespace hs::locd
