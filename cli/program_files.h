// The data files of one hopsight-trace run: settings and lookup caches are
// loaded at start and saved at exit; hop names come from the name cache and
// the resolver.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "config/cache_file.h"
#include "config/caches.h"
#include "config/settings.h"
#include "names/hop_names.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"

namespace hs::cli {

// `<directory of the executable>data`.
std::string DefaultDataDirectory();

class ProgramFiles {
 public:
  explicit ProgramFiles(std::string dataDir) : dataDir_(std::move(dataDir)) {}

  // Creates the directory, loads the settings (there is no home location
  // wizard without a window), then the caches, and purges them.
  void LoadAtStart();
  // Saves the settings, then the caches (purged first). A file that could not
  // be read at start is left as it is.
  void SaveAtExit();
  // The trace history could not record the trace.
  void NotRecorded(const platform::FileError& error);

  // What the user should hear about the data files since the last call, one
  // line per problem and each problem once: a file not read, saved or
  // recorded (what, which file, why), and a cache file cut to the limit.
  std::vector<std::string> TakeMessages();

  const std::string& DataDir() const { return dataDir_; }
  config::Settings settings;
  config::Caches caches;

 private:
  void Tell(std::string message);

  std::string dataDir_;
  bool keepSettingsFile_ = false;  // unreadable at start: never saved over
  bool keepCacheFile_ = false;
  std::vector<std::string> pending_;
  std::set<std::string> told_;
};

// What the trace asks of the lookup subsystems that exist so far.
class CliLookups final : public HopLookups {
 public:
  CliLookups(config::Caches& caches, platform::Resolver& resolver) : names_(caches.names, resolver) {}
  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) override {
    return names_.LookupHopName(row, networkAllowed, watch);
  }

 private:
  names::HopNameLookup names_;
};

}  // namespace hs::cli
