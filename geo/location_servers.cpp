#include "geo/location_servers.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <set>
#include <utility>

#include "config/text_fields.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace hs::geo {
namespace {

constexpr std::string_view kFileName = "LS.ini";

uint32_t LeadingUnsigned(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint32_t value = 0;
  auto r = std::from_chars(text.data() + i, text.data() + text.size(), value);
  return r.ec == std::errc() ? value : 0;
}

// Rounded up: a loopback server answers in well under a millisecond, and
// that must not read as the 0 ms that does not count as an answer.
int32_t MillisecondsUp(uint64_t microseconds) {
  uint64_t ms = (microseconds + 999) / 1000;
  return ms >= static_cast<uint64_t>(kNoResponse) ? kNoResponse - 1 : static_cast<int32_t>(ms);
}

uint64_t SteadyMicroseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

std::string ServerUrl(std::string_view host, std::string_view path) {
  std::string url = host.find("://") == std::string_view::npos ? "http://" : "";
  url += host;
  url += '/';
  url += path;
  return url;
}

ServerList BuiltInServerList() {
  ServerList list;
  for (std::string_view host : {locwire::kCompanionAddress, std::string_view("loc2.hopsight.invalid"),
                                std::string_view("loc3.hopsight.invalid"), std::string_view("loc4.hopsight.invalid")})
    list.servers.push_back({true, std::string(host), kNoResponse});
  return list;
}

std::optional<ServerList> ParseServerList(std::string_view text) {
  config::LineReader reader(text);
  std::string_view line;
  ServerList list;
  if (!reader.Next(line)) return std::nullopt;
  list.lastTest = LeadingUnsigned(config::WithoutLineFeed(line));
  if (!reader.Next(line)) return std::nullopt;
  const int32_t count = config::LeadingInt(config::WithoutLineFeed(line));
  if (count < 1) return std::nullopt;
  for (int32_t i = 0; i < count && reader.Next(line); ++i) {
    std::string_view l = config::WithoutLineFeed(line);
    const size_t tab = l.find('\t');
    if (tab == std::string_view::npos || tab == 0 || tab > kMaxHostLength) {
      list.servers.push_back({});
      continue;
    }
    list.servers.push_back({true, std::string(l.substr(0, tab)), config::LeadingInt(l.substr(tab + 1))});
  }
  return list;
}

std::string FormatServerList(const ServerList& list) {
  std::string out;
  config::AppendInt(out, list.lastTest);
  out += '\n';
  int64_t valid = 0;
  for (const LocationServer& s : list.servers) valid += s.valid ? 1 : 0;
  config::AppendInt(out, valid);
  out += '\n';
  for (const LocationServer& s : list.servers) {
    if (!s.valid) continue;
    out += s.host;
    out += '\t';
    config::AppendInt(out, s.time);
    out += '\n';
  }
  return out;
}

std::string ServerListPath(const std::string& dataDir) { return dataDir + "/" + std::string(kFileName); }

void SortServers(std::vector<LocationServer>& servers) {
  // The entries not yet placed, by (time, position): the first of the set is
  // the entry the plain selection sort would pick at each step.
  std::set<std::pair<int32_t, size_t>> rest;
  for (size_t i = 0; i < servers.size(); ++i) rest.insert({servers[i].time, i});
  for (size_t i = 0; i + 1 < servers.size(); ++i) {
    const size_t smallest = rest.begin()->second;
    rest.erase(rest.begin());
    if (smallest == i) continue;
    // The entry at i moves to where the smallest one was.
    rest.erase({servers[i].time, i});
    rest.insert({servers[i].time, smallest});
    std::swap(servers[i], servers[smallest]);
  }
}

// ----------------------------------------------------------------- the table

LocationServerTable::LocationServerTable() : LocationServerTable(Services{}) {}

LocationServerTable::LocationServerTable(Services services) : services_(std::move(services)) {
  if (!services_.get) services_.get = platform::HttpFetch;
  if (!services_.microseconds) services_.microseconds = SteadyMicroseconds;
  if (!services_.now) services_.now = platform::CalendarTime;
  list_ = BuiltInServerList();
}

LocationServerTable::~LocationServerTable() { Stop(); }

void LocationServerTable::Load(const std::string& dataDir) {
  const std::string path = ServerListPath(dataDir);
  std::optional<std::string> text = platform::ReadWholeFile(path);
  std::lock_guard g(lock_);
  std::optional<ServerList> parsed = text ? ParseServerList(*text) : std::nullopt;
  list_ = parsed ? std::move(*parsed) : BuiltInServerList();
  fileText_ = std::move(text);
  // A list we cannot read may still be the operator's: never replace it.
  mayWrite_ = fileText_.has_value() || platform::FileMissing(path);
  SortServers(list_.servers);
}

void LocationServerTable::Assign(ServerList list) {
  std::lock_guard g(lock_);
  list_ = std::move(list);
  SortServers(list_.servers);
}

bool LocationServerTable::Save(const std::string& dataDir) {
  std::string text;
  {
    std::lock_guard g(lock_);
    if (!mayWrite_) return false;
    text = FormatServerList(list_);
    if (fileText_ == text) return true;
  }
  if (!platform::ReplaceFileAtomically(ServerListPath(dataDir), text)) return false;
  std::lock_guard g(lock_);
  fileText_ = std::move(text);
  return true;
}

ServerList LocationServerTable::Snapshot() const {
  std::lock_guard g(lock_);
  return list_;
}

void LocationServerTable::StoreTime(size_t index, const std::string& host, int32_t time) {
  std::lock_guard g(lock_);
  auto& servers = list_.servers;
  // A sort by another thread may have moved the entry since the download began.
  if (index >= servers.size() || !servers[index].valid || servers[index].host != host) {
    index = servers.size();
    for (size_t i = 0; i < servers.size(); ++i)
      if (servers[i].valid && servers[i].host == host) {
        index = i;
        break;
      }
    if (index == servers.size()) return;
  }
  servers[index].time = time;
}

FetchResult LocationServerTable::FetchFromLocationServers(const FetchRequest& request) {
  return Run(request, false);
}

FetchResult LocationServerTable::Run(const FetchRequest& request, bool speedTest) {
  FetchResult result;
  std::vector<std::pair<size_t, std::string>> hosts;
  {
    std::lock_guard g(lock_);
    for (size_t i = 0; i < list_.servers.size(); ++i)
      if (list_.servers[i].valid) hosts.emplace_back(i, list_.servers[i].host);
  }
  platform::HttpPrepare();
  platform::HttpFetchOptions options;
  options.connectTimeoutMs = services_.connectTimeoutMs;
  options.transferTimeoutMs = services_.transferTimeoutMs;
  options.cancel = &cancel_;
  options.stillWanted = request.stillWanted;

  for (const auto& [index, host] : hosts) {
    const std::string url = ServerUrl(host, request.path);
    if (request.feedback) request.feedback->BeginWait();
    const uint64_t start = services_.microseconds();
    platform::HttpAnswer answer = services_.get(url, request.capacity, request.userAgent, options);
    const uint64_t end = services_.microseconds();
    if (request.feedback) request.feedback->EndWait();
    // Stopped by us, not by the server: nothing was learnt about it.
    if (answer.cancelled) return result;

    int32_t time = kNoResponse;
    if (answer.result == platform::kHttpOk) {
      time = MillisecondsUp(end >= start ? end - start : 0);
      result.verdict = request.verdict ? request.verdict(answer.body) : kVerdictGood;
    }
    StoreTime(index, host, time);
    if (!speedTest && time >= 1 && time != kNoResponse && result.verdict != kVerdictInvalid) {
      {
        std::lock_guard g(lock_);
        SortServers(list_.servers);
      }
      result.ok = true;
      result.answer = std::move(answer.body);
      result.host = host;
      return result;
    }
  }
  if (!speedTest && request.showError && request.feedback)
    request.feedback->ShowContactError(kContactErrorText, kContactErrorTitle);
  return result;
}

void LocationServerTable::StartSpeedTest(const locwire::InstallIdentity& identity,
                                         std::function<uint32_t()> localAddress) {
  std::lock_guard g(threadLock_);
  if (speedTestStarted_ || cancel_.Cancelled()) return;
  speedTestStarted_ = true;
  speedTest_ = std::thread([this, identity, localAddress = std::move(localAddress)] {
    SpeedTest(identity, localAddress);
  });
}

void LocationServerTable::SpeedTest(locwire::InstallIdentity identity, std::function<uint32_t()> localAddress) {
  uint32_t lastTest;
  {
    std::lock_guard g(lock_);
    lastTest = list_.lastTest;
  }
  if (services_.now() - static_cast<int64_t>(lastTest) < kSpeedTestInterval) return;
  const uint32_t address = localAddress ? localAddress() : 0;
  if (address == 0) return;
  locwire::RouteHop hop;
  std::memcpy(hop.address.data(), &address, 4);  // network order is dotted order in memory
  hop.precision = 240;
  FetchRequest request;
  request.path = locwire::WriteRouteRequest({identity, true, {hop}});
  request.userAgent = std::string(kSpeedTestUserAgent);
  Run(request, true);
  if (cancel_.Cancelled()) return;  // cut short: test again at the next start
  std::lock_guard g(lock_);
  list_.lastTest = static_cast<uint32_t>(services_.now());
  SortServers(list_.servers);
}

void LocationServerTable::WaitForSpeedTest() {
  std::lock_guard g(threadLock_);
  if (speedTest_.joinable()) speedTest_.join();
}

void LocationServerTable::Stop() {
  cancel_.Cancel();
  WaitForSpeedTest();
}

// ------------------------------------------------------------- place lookups

std::optional<PlacePosition> PlaceLookup(LocationServerTable& servers, locwire::PlaceQuery query,
                                         FetchFeedback* owner, std::function<bool()> stillWanted) {
  if (query.url && query.url->empty()) query.url.reset();
  FetchRequest request;
  request.path = locwire::WritePlaceQuery(query);
  request.verdict = [](std::string_view answer) { return locwire::ReadPlaceLookupAnswer(answer).verdict; };
  request.feedback = owner;
  request.stillWanted = std::move(stillWanted);
  FetchResult result = servers.FetchFromLocationServers(request);
  if (!result.ok || result.verdict != kVerdictGood) return std::nullopt;
  const locwire::PlaceLookupResult read = locwire::ReadPlaceLookupAnswer(result.answer);
  return PlacePosition{read.latitude, read.longitude};
}

}  // namespace hs::geo
