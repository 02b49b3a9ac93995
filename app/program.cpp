#include "app/program.h"

#include <random>
#include <utility>

#include "app/program_dir.h"
#include "app/texts.h"
#include "i18n/language.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace hs::app {

std::string ShippedFileDirectory(const std::string& dataDir, std::string_view name) {
  if (platform::FileExists(dataDir + "/" + std::string(name)) || ProgramDirectory().empty()) return dataDir;
  return ProgramDataDirectory();
}

Program::Program(std::string dataDir)
    : dataDir_(std::move(dataDir)),
      // Read on first use: making it costs nothing at start.
      places_(std::make_unique<geo::PlaceFile>(ShippedFileDirectory(dataDir_, geo::kPlaceFileName) + "/" +
                                               std::string(geo::kPlaceFileName))),
      asTable_(std::make_unique<asn::AsLookup>(ShippedFileDirectory(dataDir_, asn::kAsTableFileName) + "/" +
                                               std::string(asn::kAsTableFileName))) {}

void Program::CheckAsTable() {
  if (asTable_->Loaded() && !asTable_->Available())
    Tell(i18n::Tr(text::kAsTableMissing, asTable_->Error()));
}

Program::~Program() {
  StopLookups();
  servers_.Stop();
}

void Program::LoadServerList() {
  servers_.Load(dataDir_);
  serversLoaded_ = true;
}

void Program::LoadSettings(config::HomeLocationWizard& wizard, bool homeOnly) {
  // A directory that cannot be made shows up at exit, where the files that
  // could not be saved name the reason.
  platform::MakeDirectories(dataDir_);
  std::random_device random;
  config::SetInstallIdentity(settings_, platform::CalendarTime(), static_cast<int32_t>(random() & 0x7FFF));
  const config::FileLoad load = config::LoadSettings(dataDir_, settings_, wizard, homeOnly);
  settingsLoaded_ = true;
  if (load.unreadable) {
    keepSettingsFile_ = true;
    Tell(i18n::Tr(text::kSettingsNotRead, text::DescribeFileError(load.error)));
  }
}

bool Program::LoadLookupData(geo::GeoMessages* messages) {
  const bool needsUpdate =
      geo::LoadLocationDatabase(ShippedFileDirectory(dataDir_, geo::kDatabaseFileName), database_, messages);
  geo::LoadUserLocations(dataDir_, userLocations_);
  const config::FileLoad cacheLoad = config::LoadCaches(dataDir_, caches_);
  if (cacheLoad.unreadable) {
    keepCacheFile_ = true;
    Tell(i18n::Tr(text::kCachesNotRead, text::DescribeFileError(cacheLoad.error)));
  }
  whoisServers_ = whois::LoadWhoIsServers(dataDir_);
  const config::CacheTrim trim = config::PurgeCaches(caches_, settings_, platform::CalendarTime());
  if (trim.Total() > 0) {
    // The caches are trimmed again at every exit; only a file that held
    // more than they keep is worth a word, and it comes up at start.
    Tell(i18n::Tr(text::kCachesTrimmed, int(config::kCacheLimit), int(trim.names), int(trim.whois),
                  int(trim.locations), config::CacheFilePath(dataDir_)));
  }
  lookupDataLoaded_ = true;
  return needsUpdate;
}

void Program::StartLookups(platform::Resolver& resolver, LookupOptions options, TraceViews* views) {
  if (lookups_) return;
  networkGeo_ = options.networkGeo;
  if (options.networkGeo) {
    // The whole route in one request at the end of a trace, and the weekly
    // timing of the servers beside it.
    placer_ = std::make_unique<geo::RoutePlacer>(geo::RoutePlacer::Setup{
        &servers_, &caches_.locations, Identity(), [this](const GeoLocation& home) { SetHome(home); }, {},
        options.feedback});
    servers_.StartSpeedTest(Identity(), [&resolver]() -> uint32_t {
      return resolver.FirstAddress(resolver.LocalHostName()).value_or(0);
    });
  }
  if (options.whois) {
    rirIndex_ = std::make_unique<whois::RirIndex>(ShippedFileDirectory(dataDir_, "RIR.idx") + "/RIR.idx");
    querier_ = std::make_unique<whois::WhoIsQuerier>(whoisServers_, *rirIndex_, caches_.whois, resolver);
    whoisLookups_ = std::make_unique<whois::WhoIsLookups>(*querier_, caches_.locations);
    whoisLookups_->SetViews(views);
    // A network's postal address is placed through the location servers.
    whoisLookups_->SetPlaceLookup([this](const whois::PlaceQuery& q) { return PlaceLookupForWhoIs(q); });
  }
  lookups_ = std::make_unique<ProgramLookups>(caches_, resolver, LocationSources(), placer_.get(),
                                              whoisLookups_.get());
  lookups_->SetReverseNames(options.reverseNames);
}

HopLookups& Program::Lookups() { return lookups_ ? static_cast<HopLookups&>(*lookups_) : noLookups_; }

std::optional<whois::PlacePosition> Program::PlaceLookupForWhoIs(const whois::PlaceQuery& q) {
  if (!networkGeo_) return std::nullopt;
  auto field = [](const std::string& v) { return v.empty() ? std::nullopt : std::optional<std::string>(v); };
  const locwire::PlaceQuery query{field(q.domain), field(q.ip),    field(q.country), field(q.city),
                                  field(q.state),  field(q.zip), field(q.url)};
  const std::optional<geo::PlacePosition> p = geo::PlaceLookup(servers_, query);
  if (!p) return std::nullopt;
  return whois::PlacePosition{p->latitude, p->longitude};
}

void Program::StopLookups() {
  // Lookups still out are dropped, not waited for; what they stored so far is saved.
  if (whoisLookups_) {
    whoisLookups_->Shutdown();
    whoisLookups_->SetViews(nullptr);
  }
}

void Program::SaveFiles(const config::WindowPlacement* placement) {
  if (settingsLoaded_ && !keepSettingsFile_) {
    std::lock_guard g(homeLock_);
    if (platform::FileResult saved = config::SaveSettings(dataDir_, settings_, false, placement); !saved)
      Tell(i18n::Tr(text::kSettingsNotSaved, text::DescribeFileError(saved.error)));
  }
  // What was never loaded is never saved: that would empty the files.
  if (!lookupDataLoaded_) return;
  if (!keepCacheFile_) {
    if (platform::FileResult saved = config::SaveCaches(dataDir_, caches_, settings_, platform::CalendarTime());
        !saved)
      Tell(i18n::Tr(text::kCachesNotSaved, text::DescribeFileError(saved.error)));
  }
  if (!geo::SaveUserLocations(dataDir_, userLocations_))
    Tell(i18n::Tr(text::kUserLocationsNotSaved, dataDir_ + "/" + std::string(geo::kUserLocationsFileName)));
}

void Program::SaveServerList() {
  servers_.Stop();
  if (serversLoaded_ && !serversSaved_) {
    servers_.Save(dataDir_);
    serversSaved_ = true;
  }
}

locwire::InstallIdentity Program::Identity() const {
  std::lock_guard g(homeLock_);
  return {static_cast<uint32_t>(settings_.install[0]), static_cast<uint32_t>(settings_.install[1]),
          locwire::kProductCode};
}

GeoLocation Program::Home() const {
  std::lock_guard g(homeLock_);
  return settings_.startLocation;
}

void Program::SetHome(const GeoLocation& home) {
  std::lock_guard g(homeLock_);
  settings_.startLocation = home;
}

bool Program::HasHome() const {
  std::lock_guard g(homeLock_);
  return settings_.HasHomeLocation();
}

void Program::NotRecorded(const platform::FileError& error) {
  Tell(i18n::Tr(text::kTraceNotRecorded, text::DescribeFileError(error)));
}

void Program::Tell(std::string message) {
  std::lock_guard g(messagesLock_);
  if (told_.insert(message).second) pending_.push_back(std::move(message));
}

std::vector<std::string> Program::TakeMessages() {
  std::lock_guard g(messagesLock_);
  return std::exchange(pending_, {});
}

}  // namespace hs::app
