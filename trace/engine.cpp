#include "trace/engine.h"

#include <thread>

#include "platform/clock.h"
#include "trace/texts.h"

namespace hs {

bool HopLookups::LookupHopName(HopRecord& row, bool, const CancellationWatch&) {
  row.SetName({});
  if (row.status == IP_REQ_TIMED_OUT) {
    row.SetName(StatusRowText(IP_REQ_TIMED_OUT));
    row.SetStage(HopStage::Settled);
  }
  return false;
}

TraceEngine::TraceEngine(Platform platform) : platform_(std::move(platform)) {
  if (!platform_.clock) platform_.clock = platform::MillisecondClock;
  if (!platform_.sleep) platform_.sleep = platform::SleepMilliseconds;
  if (!platform_.openIcmp) platform_.openIcmp = [] { return std::unique_ptr<platform::IcmpEcho>(); };
  table_.Reset(HopTable::kClosed);
}

TraceEngine::~TraceEngine() {
  std::unique_lock g(threadsLock_);
  threadsIdle_.wait(g, [this] { return activeThreads_ == 0; });
}

void TraceEngine::SetLookups(HopLookups* lookups) { lookups_ = lookups ? lookups : &defaultLookups_; }
void TraceEngine::SetViews(TraceViews* views) { views_ = views ? views : &defaultViews_; }

void TraceEngine::Spawn(std::function<void()> body) {
  {
    std::lock_guard g(threadsLock_);
    ++activeThreads_;
  }
  std::thread([this, body = std::move(body)]() mutable {
    body();
    body = nullptr;  // drop what the body holds (rows) before the engine counts as idle
    std::lock_guard g(threadsLock_);
    --activeThreads_;
    threadsIdle_.notify_all();  // under the lock: the engine may be destroyed right after
  }).detach();
}

bool TraceEngine::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock g(threadsLock_);
  return threadsIdle_.wait_for(g, timeout, [this] { return activeThreads_ == 0; });
}

uint32_t TraceEngine::BeginTrace() {
  std::lock_guard g(transitionLock_);
  state_.traceRunning = 1;
  const uint32_t serial = state_.traceSerial.fetch_add(1) + 1;
  table_.Reset(serial);
  return serial;
}

void TraceEngine::EndTrace(uint32_t savedSerial, bool bumpSerial) {
  // Only the trace that is still current may end itself; a replaced trace
  // must not clear the running flag of its successor.
  std::lock_guard g(transitionLock_);
  if (state_.traceSerial.load() != savedSerial) return;
  if (bumpSerial) state_.traceSerial.fetch_add(1);
  state_.traceRunning = 0;
}

void TraceEngine::StopTrace() {
  std::lock_guard g(transitionLock_);
  state_.traceRunning = 0;
}

void TraceEngine::Shutdown() {
  std::lock_guard g(transitionLock_);
  state_.traceSerial.fetch_add(1);
  state_.traceRunning = 0;
}

void TraceEngine::ShowTargetError(int box) {
  views_->ShowTargetError(box);
  status_.SetStatus(std::string(" "), 0);
}

bool TraceEngine::ValidateTarget(std::string& host) {
  views_->SetBusy(true);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (!IsDottedAddress(host)) {
    if (host.find('@') != std::string::npos) {
      status_.SetStatus(FormatText(text::kPossibleMailAddress, host), 0);
      return true;
    }
    status_.SetStatus(FormatText(text::kLookingUpAddress, host), 0);
    const uint32_t address = platform_.resolver->FirstAddress(host);
    if (address != 0) {
      status_.SetStatus(FormatText(text::kAddressFound, platform::AddressToDotted(address)), 0);
      return true;
    }
    status_.SetStatus(FormatText(text::kUnableToObtainAddress, host), 0);
    ShowTargetError(1);
    views_->SetBusy(false);
    return false;
  }
  // A dotted text that does not convert at all is as invalid as one that
  // starts with 0 (only the limited broadcast converts to all ones).
  const uint32_t address = platform::DottedToAddress(host);
  const bool unconvertible = address == 0xffffffffu && host != "255.255.255.255";
  if ((address & 0xffu) == 0 || unconvertible) {
    ShowTargetError(2);
    views_->SetBusy(false);
    return false;
  }
  return true;
}

bool TraceEngine::StartTrace() {
  std::string host = ParseTarget(target_.Text(), &target_);
  if (host.empty()) {
    ShowTargetError(1);
    return false;
  }
  if (!ValidateTarget(host)) return false;

  table_.Reset(HopTable::kClosed);
  views_->RefreshRows();
  TraceContext& c = context_;
  c.targetText = host;
  c.targetKind = ClassifyTarget(host);
  c.targetAddress = 0;
  c.targetReverseName.reset();
  if (c.targetKind == TargetKind::HostName) {
    c.targetAddress = platform_.resolver->FirstAddress(host);
  } else if (c.targetKind == TargetKind::Address) {
    c.targetAddress = platform::DottedToAddress(host);
    c.targetReverseName = platform_.resolver->ReverseName(c.targetAddress);
  }
  c.targetHost = ParseTarget(c.targetText, nullptr);

  std::string title = FormatText(text::kWindowTitle, c.targetText);
  if (c.targetKind == TargetKind::HostName && c.targetAddress != 0)
    title += " (" + platform::AddressToDotted(c.targetAddress) + ")";
  else if (c.targetKind == TargetKind::Address && c.targetReverseName)
    title += " (" + *c.targetReverseName + ")";
  views_->SetTitle(title);

  Request request{c.targetText, c.targetHost, c.history};
  Spawn([this, request = std::move(request)]() mutable {
    views_->TraceThreadStarted();
    RunTrace(std::move(request));
    views_->TraceThreadEnded();
  });
  return true;
}

bool TraceEngine::IsLoopOrLimit(int n) const {
  if (n == kRowLimit) return true;
  const HopRef row = table_.Row(n);
  const uint32_t address = row ? row->address.load() : 0;
  if (address == 0 || n < kLoopDistance) return false;
  for (int i = n - kLoopDistance; i >= 0; --i) {
    const HopRef earlier = table_.Row(i);
    if (earlier && earlier->address == address) return true;
  }
  return false;
}

HopRef TraceEngine::CreateLocalRow() {
  HopRef row = HopRef::Create();
  row->status = IP_TTL_EXPIRED_TRANSIT;
  row->SetStage(HopStage::Settled);
  row->hopNumber = 0;
  row->sentCount = 1;
  const std::string name = platform_.resolver->LocalHostName();
  row->SetName(name);
  row->address = name.empty() ? 0 : platform_.resolver->FirstAddress(name);
  const GeoLocation home = platform_.homeLocation ? platform_.homeLocation() : GeoLocation{};
  if (home.latitude == 0.0 && home.longitude == 0.0) {
    row->SetLocation(kDefaultHomeLocation);
    row->SetName(text::kUnknownLocalName);
  } else {
    row->SetLocation(home);
  }
  return row;
}

void TraceEngine::RunTrace(Request request) {
  // 1. Reset.
  views_->ClearRoute();
  views_->RedrawMap();
  status_.SetStatus(std::string(text::kTraceStarted), 0);
  const std::string currentTargetHost = request.targetHost;
  const uint32_t serial = BeginTrace();
  const CancellationWatch watch = state_.WatchOf(serial);
  std::unique_ptr<platform::IcmpEcho> icmp = platform_.openIcmp();
  auto current = [&] { return watch.IsCurrent(); };
  auto updateViews = [&] { views_->RefreshRows(); };
  const PendingQueries pendingQueries;  // this run's own count

  // 2. The target's address.
  status_.SetStatus(FormatText(text::kGettingAddressOf, request.targetText), 5);
  const uint32_t targetAddress = Resolve(currentTargetHost, *platform_.resolver);
  if (!current()) return;

  // 3. The local computer.
  status_.SetStatus(std::string(text::kGettingLocalIp), 8);
  table_.SetRow(serial, 0, CreateLocalRow());
  table_.SetRowCount(serial, 1);
  views_->ShowRow(0);

  // 4. Nothing to trace to.
  if (targetAddress == 0) {
    HopRef bad = HopRef::Create();
    bad->status = IP_BAD_DESTINATION;
    bad->SetName(StatusRowText(IP_BAD_DESTINATION));
    bad->hopNumber = 1;
    bad->sentCount = 1;
    bad->droppedCount = 1;
    table_.SetRow(serial, 1, std::move(bad));
    table_.SetRowCount(serial, 2);
    views_->RefreshRows();
    views_->RedrawMap();
    sounds_.PlayTraceSound(text::kSoundError);
    EndTrace(serial, false);
    return;
  }

  // 5. The destination probe runs beside the hops.
  status_.SetStatus(FormatText(text::kStartingTraceTo, request.targetText), 8);
  state_.destinationReady = 0;
  state_.destinationRowShown = 0;
  HopRef destination = HopRef::Create();
  Spawn([this, destination, serial, host = currentTargetHost, pendingQueries] {
    DestinationProbe(destination, serial, host, pendingQueries);
  });

  // 6. The probe loop.
  int next = 1, n = 2, position = 2 * n + 3, ttlCounter = 0;
  while (ttlCounter < kTtlLimit && current()) {
    ++ttlCounter;
    status_.SetStatus(FormatText(text::kPingingNode, n), position);

    HopRef row = HopRef::Create();
    // A recorded trace holds the hop of TTL k at row k; the row index here is
    // shifted while the destination row is shown, the TTL is not.
    const bool replayed = request.history && request.history->Replaying() &&
                          request.history->ApplyEntry(ttlCounter, *row);
    if (!replayed)
      EchoProbe(*row, icmp.get(), targetAddress, ttlCounter, kReplyWaitMs, state_.traceRunning,
                state_.traceSerial, true, platform_.clock);
    if (!current()) return;
    table_.SetRow(serial, next, row);
    table_.SetRowCount(serial, n);
    row->hopNumber = next;

    // The destination row stays last: a hop that answers as the target
    // duplicates it, any other hop goes before it.
    bool arrivedAtShownDestination = false;
    if (state_.destinationRowShown) {
      if (row->status == IP_SUCCESS) {
        table_.SetRow(serial, next, HopRef());
        table_.SetRowCount(serial, next);
        arrivedAtShownDestination = true;
      } else {
        table_.SwapRows(serial, next - 1, next);
        --next;
        --n;
        position -= 2;
      }
    }
    if (arrivedAtShownDestination) break;

    if (IsLoopOrLimit(next)) {
      row->status = IP_DEST_HOST_UNREACHABLE;
      row->SetStage(HopStage::Settled);
    }

    if (!current()) return;
    sounds_.PlayTraceSound(row->status == IP_REQ_TIMED_OUT ? text::kSoundTimeout : text::kSoundError);
    updateViews();
    if (row->Stage() != HopStage::Created) lookups_->StartNetworkLookup(row, watch, pendingQueries);
    if (lookups_->LookupHopName(*row, false, watch)) sounds_.PlayTraceSound(text::kSoundStart);
    lookups_->LocateHop(*row);
    if (!current()) return;

    const uint32_t status = row->status;
    if (status == IP_SUCCESS) {
      uint8_t notReady = 0;
      state_.destinationReady.compare_exchange_strong(notReady, 1);
      break;
    }
    if (status == IP_DEST_NET_UNREACHABLE || status == IP_DEST_HOST_UNREACHABLE ||
        status == IP_DEST_PROT_UNREACHABLE || status == IP_DEST_PORT_UNREACHABLE ||
        status == IP_BAD_DESTINATION) {
      ++next;
      HopRef end = HopRef::Create();
      end->status = status;
      end->hopNumber = next;
      end->lastRtt = kNoTime;
      end->SetName(StatusRowText(status));
      if (!current()) return;
      end->sentCount = 1;
      end->droppedCount = 1;
      table_.SetRow(serial, next, std::move(end));
      table_.SetRowCount(serial, next + 1);
      updateViews();
      break;
    }

    if (state_.destinationRowShown) {
      ++next;
      ++n;
      position += 2;
    }
    if (state_.destinationReady == 1 && !state_.destinationRowShown) {
      ++next;
      ++n;
      position += 2;
      destination->hopNumber = next;
      table_.SetRow(serial, next, destination);
      state_.destinationReady = 0;
      state_.destinationRowShown = 1;
    }
    if (!current()) return;
    table_.SetRowCount(serial, n);
    updateViews();

    ++next;
    ++n;
    position += 2;
  }

  // 7.
  icmp.reset();

  // 8. Name pass, from the last row down.
  const int rowCount = table_.RowCount();
  for (int i = rowCount - 1; i >= 2; --i) {
    if (!current()) return;
    const HopRef row = table_.Row(i);
    if (!row || row->Stage() != HopStage::Probed) continue;
    status_.SetStatus(FormatText(text::kRetrievingName, platform::AddressToDotted(row->address)), 2 * i + 40);
    if (lookups_->LookupHopName(*row, true, watch)) {
      sounds_.PlayTraceSound(text::kSoundStart);
    } else if (!current()) {
      return;
    } else if (i == rowCount - 1 && !IsDottedAddress(currentTargetHost)) {
      row->SetName(currentTargetHost);
      row->SetStage(HopStage::Settled);
    } else {
      sounds_.PlayTraceSound(text::kSoundFailure);
    }
    if (!MapViewActive()) views_->ShowRow(i);
  }

  // 9.-11. Owner and position pass; the views are brought up to date before and after it.
  auto redraw = [&] {
    if (!state_.destinationRowShown && MapViewActive()) views_->RedrawMap();
    if (!MapViewActive()) views_->RefreshRows();
    return Running();
  };
  if (!redraw()) return;
  const std::vector<HopRef> rows = table_.Snapshot();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!current()) return;
    const HopRef& row = rows[i];
    if (i + 1 == rows.size() && row->Stage() == HopStage::Settled &&
        lookups_->StartDomainLookup(row, watch, pendingQueries)) {
      sounds_.PlayTraceSound(text::kSoundDone);
      views_->ShowRow(static_cast<int>(i));
    }
    if (!row->Location().HasSource() && lookups_->LocateHop(*row)) {
      views_->MarkRouteChanged();
      views_->ShowRow(static_cast<int>(i));
    }
  }
  if (state_.destinationRowShown) {
    state_.destinationRowShown = 0;
  } else if (!redraw()) {
    return;
  }

  // 12. Wait a while for the WhoIs jobs.
  const uint32_t waitStart = platform_.clock();
  int shownCount = -1;
  while (pendingQueries.Count() > 0 && platform_.clock() - waitStart < kQueryWaitMs) {
    if (!current()) return;
    const int pending = pendingQueries.Count();
    if (pending != shownCount) {
      status_.SetStatus(FormatText(pending == 1 ? text::kWaitingForQuery : text::kWaitingForQueries, pending),
                        2 * (50 - pending));
      shownCount = pending;
    }
    platform_.sleep(kQueryPollMs);
  }

  // 13.-14. The end of the route.
  if (!current()) return;
  const std::vector<HopRef> route = table_.Snapshot();
  if (!route.empty()) {
    const HopRef& last = route.back();
    if (last->Name().empty()) last->SetName(currentTargetHost);
    const uint32_t hostValue = IsDottedAddress(currentTargetHost)
                                   ? platform::DottedToAddress(currentTargetHost) : 0;
    if (!IsPrivateAddress(last->address) && !IsPrivateAddress(hostValue) &&
        lookups_->LocateRoute(route, watch))
      lookups_->LocateByWhoIs(*last);
  }

  // 15.-16. Done.
  if (!current()) return;
  views_->RedrawMap();
  sounds_.PlayTraceSound(text::kSoundTraceComplete);
  status_.SetStatus(std::string(text::kTraceCompleted), 0);
  views_->LookupComplete();
  EndTrace(serial, true);
  views_->RefreshRows();
  views_->RedrawMap();
}

void TraceEngine::DestinationProbe(HopRef row, uint32_t savedSerial, std::string targetHost,
                                   PendingQueries pendingQueries) {
  const CancellationWatch watch = state_.WatchOf(savedSerial);
  const uint32_t address = IsDottedAddress(targetHost) ? platform::DottedToAddress(targetHost)
                                                       : Resolve(targetHost, *platform_.resolver);
  row->address = address;
  lookups_->LookupHopName(*row, true, watch);
  if (!watch.IsCurrent()) return;
  lookups_->LocateHop(*row);

  std::unique_ptr<platform::IcmpEcho> icmp = platform_.openIcmp();
  if (!watch.IsCurrent()) return;
  EchoProbe(*row, icmp.get(), address, kTargetTestTtl, kReplyWaitMs, state_.traceRunning,
            state_.traceSerial, true, platform_.clock);
  if (!watch.IsCurrent()) return;
  if (row->Stage() != HopStage::Created) lookups_->StartNetworkLookup(row, watch, pendingQueries);
  if (!watch.IsCurrent()) return;
  lookups_->LocateHop(*row);
  icmp.reset();
  if (!watch.IsCurrent()) return;
  if (!row->Location().HasSource()) lookups_->LocateByWhoIs(*row);
  uint8_t notReady = 0;
  state_.destinationReady.compare_exchange_strong(notReady, 1);
}

}  // namespace hs
