// The records of a trace: hop rows, their positions, the hop table and the
// state that every thread working for a trace consults.
//
// Rows are written by several threads at once (prober, name lookups, WhoIs
// workers, location lookups) and read by the views. Scalar fields are atomics;
// texts and the position sit behind a small per-row lock and are copied out,
// so a reader never sees a half-written text. Rows are reference-counted: a
// worker that outlives its trace keeps its row alive, and the row is freed by
// whoever drops the last reference.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hs {

// Sentinels.
inline constexpr uint32_t kNoTime = 9999999;
inline constexpr uint32_t kStatusNotProbed = 999999999;

// IP status of a row's last answer (same numbers as platform::IcmpStatus).
enum IpStatus : uint32_t {
  IP_SUCCESS = 0,
  IP_DEST_NET_UNREACHABLE = 11002,
  IP_DEST_HOST_UNREACHABLE = 11003,
  IP_DEST_PROT_UNREACHABLE = 11004,
  IP_DEST_PORT_UNREACHABLE = 11005,
  IP_REQ_TIMED_OUT = 11010,
  IP_TTL_EXPIRED_TRANSIT = 11013,
  IP_BAD_DESTINATION = 11018,
};

// Row text for a status that ends a trace or marks a silent hop; empty for
// the others. Rows keep it in English (as --json reports it); the results
// list shows it in the program's language (ShownName).
std::string_view StatusRowText(uint32_t status);
// The row's name as the results list shows it: a status row text in the
// program's language, any other name as it is.
std::string ShownName(std::string_view name);

// True for an answer after which the route goes no further: the target's
// echo reply or an unreachable kind (bad destination included).
bool EndsRoute(uint32_t status);

enum class HopStage : uint32_t {
  Created = 0,
  Probed = 1,
  Settled = 2,
  OwnerFound = 3,
  NoDomain = 4,
};

enum class LocationSource : uint32_t {
  None = 0,
  DefaultHome = 1,
  Home = 2,
  WhoIsAddress = 3,
  Database = 4,
  Cache = 6,
  User = 7,
  Server = 8,
};

// A position and where it came from. source None with latitude and longitude
// 0 holds no position.
struct GeoLocation {
  LocationSource source = LocationSource::None;
  double latitude = 0.0;
  double longitude = 0.0;
  int32_t precision = 0;

  bool HasSource() const { return source != LocationSource::None; }
  bool HasPosition() const {
    return source != LocationSource::None || latitude != 0.0 || longitude != 0.0;
  }
  friend bool operator==(const GeoLocation&, const GeoLocation&) = default;
};

// The built-in position of the local row while no home location is set.
inline constexpr GeoLocation kDefaultHomeLocation{LocationSource::DefaultHome, 39.6156, -84.1645, 0};

// Result of a domain WhoIs lookup; its contents belong to the WhoIs subsystem.
struct DomainRecord;

class HopRecord {
 public:
  static constexpr size_t kMaxNameLength = 255;

  HopRecord();
  HopRecord(const HopRecord&) = delete;
  HopRecord& operator=(const HopRecord&) = delete;

  std::atomic<uint32_t> stage{static_cast<uint32_t>(HopStage::Created)};
  std::atomic<uint32_t> status{kStatusNotProbed};
  std::atomic<uint32_t> address{0};
  std::atomic<int32_t> hopNumber{0};
  std::atomic<uint32_t> sendTime{0};
  std::atomic<uint32_t> receiveTime{0};
  std::atomic<uint32_t> lastRtt{0};
  std::atomic<uint32_t> rttSum{0};
  std::atomic<int32_t> sentCount{0};
  std::atomic<int32_t> droppedCount{0};
  static constexpr std::array<int32_t, 3> rttThresholds{250, 1000, 5000};
  std::atomic<int32_t> mapX{0};
  std::atomic<int32_t> mapY{0};

  HopStage Stage() const { return static_cast<HopStage>(stage.load()); }
  void SetStage(HopStage s) { stage.store(static_cast<uint32_t>(s)); }

  // Texts and position: copied in and out under the row's lock.
  std::string Name() const;
  void SetName(std::string_view name);  // cut to 255 characters
  GeoLocation Location() const;
  void SetLocation(const GeoLocation& location);
  std::shared_ptr<const std::string> WhoisText() const;
  void SetWhoisText(std::shared_ptr<const std::string> text);
  std::string NetName() const;
  void SetNetName(std::string_view name);
  std::shared_ptr<const DomainRecord> DomainRecordOf() const;
  void SetDomainRecord(std::shared_ptr<const DomainRecord> record);

  // 3 while lastRtt is below any threshold, else 0.
  int HopResponseClass() const;

  // Reference count; starts at 1 (the creator's reference).
  void Retain() const { refCount_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const;
  int32_t RefCountForTest() const { return refCount_.load(); }

  // Live rows in the process, for leak checks in tests.
  static int64_t LiveRows();

 private:
  ~HopRecord();

  mutable std::mutex textLock_;
  std::string name_;
  GeoLocation location_;
  std::shared_ptr<const std::string> whoisText_;
  std::string netName_;
  std::shared_ptr<const DomainRecord> domainRecord_;
  mutable std::atomic<int32_t> refCount_{1};
};

// Owning handle on a row: holds one reference.
class HopRef {
 public:
  HopRef() = default;
  // Takes over the creator's reference of a new row.
  static HopRef Adopt(HopRecord* row) { HopRef r; r.row_ = row; return r; }
  static HopRef Create() { return Adopt(new HopRecord()); }
  HopRef(const HopRef& o) : row_(o.row_) { if (row_) row_->Retain(); }
  HopRef(HopRef&& o) noexcept : row_(o.row_) { o.row_ = nullptr; }
  HopRef& operator=(HopRef o) noexcept { std::swap(row_, o.row_); return *this; }
  ~HopRef() { if (row_) row_->Release(); }

  HopRecord* get() const { return row_; }
  HopRecord* operator->() const { return row_; }
  HopRecord& operator*() const { return *row_; }
  explicit operator bool() const { return row_ != nullptr; }
  friend bool operator==(const HopRef& a, const HopRef& b) { return a.row_ == b.row_; }

 private:
  HopRecord* row_ = nullptr;
};

// The cancellation watch: a trace's work goes on only while the trace runs and
// no newer trace has started.
struct CancellationWatch {
  const std::atomic<int>* running = nullptr;
  const std::atomic<uint32_t>* serial = nullptr;
  uint32_t saved = 0;

  bool IsCurrent() const { return running->load() != 0 && serial->load() == saved; }
};

// The table of rows of the current trace. Slots and rowCount change only
// through a generation check, so a controller whose trace was replaced can
// never write into the new trace's table, even between its own check and its
// write. Every write is bounds-checked; a refused write returns false and
// changes nothing.
class HopTable {
 public:
  static constexpr int kMaxRows = 64;
  // A generation that no trace has: the table takes no writes until the next Reset.
  static constexpr uint64_t kClosed = UINT64_MAX;

  // Empties the table for a new trace; writes tagged with older generations
  // are ignored from now on. The rows themselves stay alive while anybody
  // still holds them.
  void Reset(uint64_t generation);
  uint64_t Generation() const;

  // False (and nothing changes) for another generation or an index outside 0 .. kMaxRows-1.
  [[nodiscard]] bool SetRow(uint32_t generation, int index, HopRef row);
  // False for another generation or a count outside 0 .. kMaxRows.
  [[nodiscard]] bool SetRowCount(uint32_t generation, int count);
  // Exchanges two slots and their hopNumbers; false as SetRow.
  [[nodiscard]] bool SwapRows(uint32_t generation, int a, int b);

  int RowCount() const { return rowCount_.load(); }
  HopRef Row(int index) const;  // null outside 0 .. rowCount-1
  std::vector<HopRef> Snapshot() const;  // rows 0 .. rowCount-1

 private:
  mutable std::mutex lock_;
  uint64_t generation_ = kClosed;
  std::array<HopRef, kMaxRows> slots_;
  std::atomic<int> rowCount_{0};
};

// Count of one trace run's outstanding WhoIs jobs. Every run makes its own and
// hands copies to the jobs it starts, so a job that outlives its run can only
// ever change the count of that run, never the wait of the next trace.
class PendingQueries {
 public:
  PendingQueries() : count_(std::make_shared<std::atomic<int>>(0)) {}
  void Increment() const { count_->fetch_add(1); }
  void Decrement() const { count_->fetch_sub(1); }
  int Count() const { return count_->load(); }

 private:
  std::shared_ptr<std::atomic<int>> count_;
};

// Process-wide state: which trace is current. A trace stays current while
// traceRunning is set and traceSerial still holds the value it started with.
struct TraceState {
  std::atomic<int> traceRunning{0};
  std::atomic<uint32_t> traceSerial{0};

  CancellationWatch Watch() const { return {&traceRunning, &traceSerial, traceSerial.load()}; }
  CancellationWatch WatchOf(uint32_t saved) const { return {&traceRunning, &traceSerial, saved}; }
};

// Everything that belongs to one started trace and to no other: its serial
// (and so its cancellation watch), the destination handshake, its count of
// outstanding WhoIs jobs and its destination row. The controller, its
// destination probe and the jobs they start share one run; a new trace makes
// a new one, so a thread that outlives its trace can only ever write into a
// run that nobody reads any more.
class TraceRun {
 public:
  TraceRun(const TraceState& state, uint32_t serial, std::string targetText, std::string targetHost)
      : targetText(std::move(targetText)),
        targetHost(std::move(targetHost)),
        watch_(state.WatchOf(serial)) {}
  TraceRun(const TraceRun&) = delete;
  TraceRun& operator=(const TraceRun&) = delete;

  uint32_t Serial() const { return watch_.saved; }
  const CancellationWatch& Watch() const { return watch_; }
  bool IsCurrent() const { return watch_.IsCurrent(); }

  // The target as the start sequence left it (the text shown, and the host
  // that the controller and the destination probe resolve).
  const std::string targetText;
  const std::string targetHost;

  // The destination handshake: set to 1 by whichever of the controller and
  // the destination probe finishes first; destinationRowShown while the
  // destination row is kept last in the table.
  std::atomic<uint8_t> destinationReady{0};
  std::atomic<uint8_t> destinationRowShown{0};
  // This run's outstanding WhoIs jobs.
  const PendingQueries pendingQueries;
  // The row that the destination probe fills.
  const HopRef destinationRecord = HopRef::Create();
  // The run's controller and destination probe threads still out; the
  // engine changes and reads it under its thread lock.
  int activeThreads = 0;

 private:
  const CancellationWatch watch_;
};

}  // namespace hs
