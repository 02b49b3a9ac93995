#include "cli/program_files.h"

#include <cstdio>
#include <random>
#include <utility>

#include "platform/clock.h"
#include "platform/files.h"

namespace hs::cli {

std::string DefaultDataDirectory() { return platform::ExecutableDirectory() + "data"; }

std::string ShippedFileDirectory(const std::string& dataDir, std::string_view name) {
  if (platform::FileExists(dataDir + "/" + std::string(name)) || DefaultDataDirectory().empty()) return dataDir;
  return DefaultDataDirectory();
}

namespace {
// The loader's message boxes, as lines on stderr.
class StderrMessages final : public geo::GeoMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "hopsight-trace: %.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()),
                 text.data());
  }
};
}  // namespace

void ProgramFiles::LoadAtStart() {
  // A directory that cannot be made shows up below and at exit, where the
  // files that could not be saved name the reason.
  platform::MakeDirectories(dataDir_);
  servers.Load(dataDir_);
  std::random_device random;
  config::SetInstallIdentity(settings, platform::CalendarTime(), static_cast<int32_t>(random() & 0x7FFF));
  config::NoHomeLocationWizard wizard;
  const config::FileLoad settingsLoad = config::LoadSettings(dataDir_, settings, wizard, false);
  if (settingsLoad.unreadable) {
    keepSettingsFile_ = true;
    Tell("settings not read (defaults used, the file is left as it is): " + settingsLoad.error.Describe());
  }
  const config::FileLoad cacheLoad = config::LoadCaches(dataDir_, caches);
  if (cacheLoad.unreadable) {
    keepCacheFile_ = true;
    Tell("lookup caches not read (the file is left as it is): " + cacheLoad.error.Describe());
  }
  whoisServers = whois::LoadWhoIsServers(dataDir_);
  const config::CacheTrim trim = config::PurgeCaches(caches, settings, platform::CalendarTime());
  if (trim.Total() > 0) {
    // The caches are trimmed again at every exit; only a file that held
    // more than they keep is worth a word, and it comes up at start.
    Tell("the lookup caches keep " + std::to_string(config::kCacheLimit) + " entries each: dropped " +
         std::to_string(trim.names) + " names, " + std::to_string(trim.whois) + " WhoIs answers and " +
         std::to_string(trim.locations) + " locations read from " + config::CacheFilePath(dataDir_));
  }
  StderrMessages messages;
  geo::LoadLocationDatabase(ShippedFileDirectory(dataDir_, geo::kDatabaseFileName), database, &messages);
  geo::LoadUserLocations(dataDir_, userLocations);
  places = std::make_unique<geo::PlaceFile>(ShippedFileDirectory(dataDir_, geo::kPlaceFileName) + "/" +
                                            std::string(geo::kPlaceFileName));
  asTable = std::make_unique<asn::AsLookup>(ShippedFileDirectory(dataDir_, asn::kAsTableFileName) + "/" +
                                            std::string(asn::kAsTableFileName));
}

void ProgramFiles::CheckAsTable() {
  if (asTable && asTable->Loaded() && !asTable->Available()) Tell("AS table not read (hops get no AS numbers): " + asTable->Error());
}

std::string ProgramFiles::RirIndexPath() const { return ShippedFileDirectory(dataDir_, "RIR.idx") + "/RIR.idx"; }

void ProgramFiles::SaveAtExit() {
  if (!keepSettingsFile_) {
    std::lock_guard g(homeLock_);
    if (platform::FileResult saved = config::SaveSettings(dataDir_, settings, false, nullptr); !saved)
      Tell("settings not saved: " + saved.error.Describe());
  }
  if (!keepCacheFile_) {
    if (platform::FileResult saved = config::SaveCaches(dataDir_, caches, settings, platform::CalendarTime()); !saved)
      Tell("lookup caches not saved: " + saved.error.Describe());
  }
  geo::SaveUserLocations(dataDir_, userLocations);
  servers.Stop();
  servers.Save(dataDir_);
}

locwire::InstallIdentity ProgramFiles::Identity() const {
  return {static_cast<uint32_t>(settings.install[0]), static_cast<uint32_t>(settings.install[1]),
          locwire::kProductCode};
}

GeoLocation ProgramFiles::Home() const {
  std::lock_guard g(homeLock_);
  return settings.startLocation;
}

void ProgramFiles::SetHome(const GeoLocation& home) {
  std::lock_guard g(homeLock_);
  settings.startLocation = home;
}

void ProgramFiles::NotRecorded(const platform::FileError& error) { Tell("trace not recorded: " + error.Describe()); }

void ProgramFiles::Tell(std::string message) {
  if (told_.insert(message).second) pending_.push_back(std::move(message));
}

std::vector<std::string> ProgramFiles::TakeMessages() { return std::exchange(pending_, {}); }

}  // namespace hs::cli
