// The data files of one hopsight-trace run: settings and lookup caches are
// loaded at start and saved at exit; hop names come from the name cache and
// the resolver.
#pragma once

#include <string>

#include "config/cache_file.h"
#include "config/caches.h"
#include "config/settings.h"
#include "geo/hop_locator.h"
#include "geo/location_database.h"
#include "geo/place_file.h"
#include "geo/user_locations.h"
#include "names/hop_names.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"

namespace hs::cli {

// `<directory of the executable>data`.
std::string DefaultDataDirectory();

class ProgramFiles {
 public:
  explicit ProgramFiles(std::string dataDir) : dataDir_(std::move(dataDir)) {}

  // Creates the directory, loads the settings (the home location wizard does
  // nothing yet), then the caches, and purges them; then the location
  // database and the user locations.
  void LoadAtStart();
  // Saves the settings, then the caches (purged first), then the user locations.
  void SaveAtExit();

  const std::string& DataDir() const { return dataDir_; }
  // The local sources of hop positions, for LocateHop.
  geo::LocalSources LocationSources() const { return {&userLocations, &caches.locations, &database}; }

  config::Settings settings;
  config::Caches caches;
  geo::LocationDatabase database;
  geo::UserLocations userLocations;
  // Place names for the Location column; read on first use.
  std::unique_ptr<geo::PlaceFile> places;

 private:
  std::string dataDir_;
};

// The directory that holds a shipped data file (HopSight.gdp, hopsight.loca):
// the data directory when the file is there, else the program's own.
std::string ShippedFileDirectory(const std::string& dataDir, std::string_view name);

// What the trace asks of the lookup subsystems that exist so far.
class CliLookups final : public HopLookups {
 public:
  CliLookups(config::Caches& caches, platform::Resolver& resolver, geo::LocalSources locations = {})
      : names_(caches.names, resolver), locations_(locations) {}
  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) override {
    return names_.LookupHopName(row, networkAllowed, watch);
  }
  bool LocateHop(HopRecord& row) override { return geo::LocateHop(locations_, row); }

 private:
  names::HopNameLookup names_;
  geo::LocalSources locations_;
};

}  // namespace hs::cli
