// The location server client: the list of servers in data/LS.ini with their
// last response times, requests sent to the fastest server that answers well,
// the weekly re-timing on a thread of its own, and place lookups.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/http.h"
#include "server/wire/locwire.h"

namespace hs::geo {

// A server's time when it did not answer or was never timed.
inline constexpr int32_t kNoResponse = 9999999;
inline constexpr size_t kMaxHostLength = 198;
// Seconds between two speed tests.
inline constexpr int64_t kSpeedTestInterval = 604800;

// Bytes of an answer that are kept: route, speed test and place requests,
// and the home location wizard's requests (country list, place).
inline constexpr size_t kAnswerCapacity = 774;
inline constexpr size_t kWizardAnswerCapacity = 8095;

inline constexpr std::string_view kUserAgent = "Hopsight_Express";
inline constexpr std::string_view kSpeedTestUserAgent = "Hopsight_Express_LocTest";
inline constexpr std::string_view kWizardUserAgent = "HopSight-Home-Wizard";

inline constexpr std::string_view kContactErrorText =
    "The location server could not be contacted.  Please ensure you are connected to the Internet.  If your "
    "Internet connection appears to be working correctly, there may be some problem in reaching the server.  "
    "Please try again later.";
inline constexpr std::string_view kContactErrorTitle = "Error Contacting Server";

// Verdicts on an answer: 0 good; 4 not valid (the next server is asked);
// anything else a valid answer without a result (no further server).
inline constexpr int kVerdictGood = 0;
inline constexpr int kVerdictInvalid = 4;
using Verdict = std::function<int(std::string_view answer)>;

struct LocationServer {
  bool valid = false;  // from a well-formed line or the built-in list
  std::string host;    // "name" or "name:port"
  int32_t time = kNoResponse;  // last response time in ms
  friend bool operator==(const LocationServer&, const LocationServer&) = default;
};

struct ServerList {
  uint32_t lastTest = 0;  // seconds since 1970 of the last speed test; 0 never
  std::vector<LocationServer> servers;
  friend bool operator==(const ServerList&, const ServerList&) = default;
};

// "http://host/path"; a host written with its scheme ("https://name") keeps it,
// so an operator may run location servers over TLS.
std::string ServerUrl(std::string_view host, std::string_view path);

// The companion server on this machine, then three names under ".invalid"
// that never resolve until an operator writes real servers into LS.ini.
ServerList BuiltInServerList();

// data/LS.ini: lastTest, the count of server lines, then "host<TAB>time"
// lines. None when the count is below 1 (the caller then takes the built-in
// list). Lines beyond the count are ignored; a malformed line is an invalid
// entry; a file that ends early simply has fewer entries.
std::optional<ServerList> ParseServerList(std::string_view text);
// Only valid entries are written, in table order.
std::string FormatServerList(const ServerList& list);
std::string ServerListPath(const std::string& dataDir);

// Selection sort by ascending time: position by position, the earliest entry
// of the smallest time among the rest is swapped into place. Equal times may
// change places (5, 5, 3 ends as 3 and the two fives reversed), exactly as the
// plain algorithm does, but in O(n log n).
void SortServers(std::vector<LocationServer>& servers);

// The window's side of a request: a wait cursor while a server is asked, and
// the "could not be contacted" box for requests that ask for it.
class FetchFeedback {
 public:
  virtual ~FetchFeedback() = default;
  virtual void BeginWait() {}
  virtual void EndWait() {}
  virtual void ShowContactError(std::string_view text, std::string_view title) {}
};

struct FetchRequest {
  std::string path;  // "loc/?..." or "lookup/?...", without the leading "/"
  size_t capacity = kAnswerCapacity;
  std::string userAgent = std::string(kUserAgent);
  Verdict verdict;   // none: every answer is good
  bool showError = false;
  FetchFeedback* feedback = nullptr;  // the owner window, if any
  std::function<bool()> stillWanted;  // false ends the request (a stopped trace)
};

struct FetchResult {
  bool ok = false;    // a server gave a usable answer (verdict 0, or a final one)
  int verdict = kVerdictInvalid;  // the last verdict given
  std::string answer;
  std::string host;   // the server that answered
};

class LocationServerTable {
 public:
  struct Services {
    platform::HttpGetter get;                // default: platform::HttpFetch
    std::function<uint64_t()> microseconds;  // monotonic, for timing; default: steady clock
    std::function<int64_t()> now;            // calendar seconds; default: platform::CalendarTime
    uint32_t connectTimeoutMs = platform::kHttpConnectTimeoutMs;
    uint32_t transferTimeoutMs = platform::kHttpTransferTimeoutMs;
  };

  LocationServerTable();
  explicit LocationServerTable(Services services);
  // Stop()s first.
  ~LocationServerTable();
  LocationServerTable(const LocationServerTable&) = delete;
  LocationServerTable& operator=(const LocationServerTable&) = delete;

  // Start-up: reads dataDir/LS.ini and sorts. A missing file, or one that
  // names no server, gives the built-in list. A file that exists but cannot
  // be read gives the built-in list too, and is then never overwritten.
  void Load(const std::string& dataDir);
  // Replaces the table (and sorts it), as if loaded.
  void Assign(ServerList list);
  // Exit: writes dataDir/LS.ini by atomic replace when its bytes would
  // change. False when the write failed or was not allowed.
  bool Save(const std::string& dataDir);
  ServerList Snapshot() const;

  // `FetchFromLocationServers`: asks the servers in table order until one
  // gives an answer in at least 1 ms whose verdict is not 4, and stores every
  // server's time. Downloads run outside the lock.
  FetchResult FetchFromLocationServers(const FetchRequest& request);

  // Starts the weekly speed test thread (only the first call does). It ends
  // at once unless a week has passed since the last test, or when
  // `localAddress` (the local computer's first address, network order) gives 0.
  void StartSpeedTest(const locwire::InstallIdentity& identity, std::function<uint32_t()> localAddress);
  // Waits for the speed test thread without cancelling it.
  void WaitForSpeedTest();
  // Shutdown: ends running downloads, waits for the speed test thread and
  // refuses further requests.
  void Stop();

 private:
  FetchResult Run(const FetchRequest& request, bool speedTest);
  void StoreTime(size_t index, const std::string& host, int32_t time);
  void SpeedTest(locwire::InstallIdentity identity, std::function<uint32_t()> localAddress);

  Services services_;
  platform::HttpCancel cancel_;
  mutable std::mutex lock_;  // the entries' order and times, lastTest
  ServerList list_;
  std::optional<std::string> fileText_;  // the bytes the file holds, when known
  bool mayWrite_ = true;
  std::mutex threadLock_;
  bool speedTestStarted_ = false;
  std::thread speedTest_;
};

// A position from a place answer.
struct PlacePosition {
  double latitude = 0;
  double longitude = 0;
  friend bool operator==(const PlacePosition&, const PlacePosition&) = default;
};

// `PlaceLookup`: one "lookup/?" request for the fields present (an empty url
// counts as absent). None when no server gave a position.
std::optional<PlacePosition> PlaceLookup(LocationServerTable& servers, locwire::PlaceQuery query,
                                         FetchFeedback* owner = nullptr,
                                         std::function<bool()> stillWanted = {});

}  // namespace hs::geo
