#include "cli/program_files.h"

#include <random>

#include "platform/clock.h"
#include "platform/files.h"

namespace hs::cli {

std::string DefaultDataDirectory() { return platform::ExecutableDirectory() + "data"; }

void ProgramFiles::LoadAtStart() {
  platform::MakeDirectories(dataDir_);
  servers.Load(dataDir_);
  std::random_device random;
  config::SetInstallIdentity(settings, platform::CalendarTime(), static_cast<int32_t>(random() & 0x7FFF));
  config::NoHomeLocationWizard wizard;
  config::LoadSettings(dataDir_, settings, wizard, false);
  config::LoadCaches(dataDir_, caches);
  whoisServers = whois::LoadWhoIsServers(dataDir_);
  config::PurgeCaches(caches, settings, platform::CalendarTime());
}

std::string ProgramFiles::RirIndexPath() const {
  const std::string own = dataDir_ + "/RIR.idx";
  if (!platform::FileMissing(own)) return own;
  return DefaultDataDirectory() + "/RIR.idx";
}

void ProgramFiles::SaveAtExit() {
  {
    std::lock_guard g(homeLock_);
    config::SaveSettings(dataDir_, settings, false, nullptr);
  }
  config::SaveCaches(dataDir_, caches, settings, platform::CalendarTime());
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

}  // namespace hs::cli
