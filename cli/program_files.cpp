#include "cli/program_files.h"

#include <cstdio>
#include <random>

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
  platform::MakeDirectories(dataDir_);
  std::random_device random;
  config::SetInstallIdentity(settings, platform::CalendarTime(), static_cast<int32_t>(random() & 0x7FFF));
  config::NoHomeLocationWizard wizard;
  config::LoadSettings(dataDir_, settings, wizard, false);
  config::LoadCaches(dataDir_, caches);
  config::PurgeCaches(caches, settings, platform::CalendarTime());
  StderrMessages messages;
  geo::LoadLocationDatabase(ShippedFileDirectory(dataDir_, geo::kDatabaseFileName), database, &messages);
  geo::LoadUserLocations(dataDir_, userLocations);
  places = std::make_unique<geo::PlaceFile>(ShippedFileDirectory(dataDir_, geo::kPlaceFileName) + "/" +
                                            std::string(geo::kPlaceFileName));
}

void ProgramFiles::SaveAtExit() {
  config::SaveSettings(dataDir_, settings, false, nullptr);
  config::SaveCaches(dataDir_, caches, settings, platform::CalendarTime());
  geo::SaveUserLocations(dataDir_, userLocations);
}

}  // namespace hs::cli
