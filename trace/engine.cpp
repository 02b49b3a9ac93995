#include "trace/engine.h"

#include <thread>

#include "i18n/language.h"
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

void TraceEngine::Spawn(const std::shared_ptr<TraceRun>& run, std::function<void()> body) {
  {
    std::lock_guard g(threadsLock_);
    ++activeThreads_;
    ++run->activeThreads;
  }
  std::thread([this, counted = run, body = std::move(body)]() mutable {
    body();
    // Drop what the body and the run hold (rows) before the engine counts as idle.
    body = nullptr;
    std::lock_guard g(threadsLock_);
    --counted->activeThreads;
    counted = nullptr;
    --activeThreads_;
    threadsIdle_.notify_all();  // under the lock: the engine may be destroyed right after
  }).detach();
}

bool TraceEngine::WaitThreadsAtMost(int count, std::chrono::milliseconds timeout) {
  std::unique_lock g(threadsLock_);
  return threadsIdle_.wait_for(g, timeout, [this, count] { return activeThreads_ <= count; });
}

bool TraceEngine::WaitCurrentRunEnded(std::chrono::milliseconds timeout) {
  const std::shared_ptr<const TraceRun> run = CurrentRun();
  if (!run) return true;
  std::unique_lock g(threadsLock_);
  return threadsIdle_.wait_for(g, timeout, [&run] { return run->activeThreads == 0; });
}

std::shared_ptr<const TraceRun> TraceEngine::CurrentRun() const {
  std::lock_guard g(runLock_);
  return currentRun_;
}

std::shared_ptr<TraceRun> TraceEngine::BeginRun(std::string targetText, std::string targetHost) {
  std::lock_guard g(transitionLock_);
  state_.traceRunning = 1;
  const uint32_t serial = state_.traceSerial.fetch_add(1) + 1;
  table_.Reset(serial);
  auto run = std::make_shared<TraceRun>(state_, serial, std::move(targetText), std::move(targetHost));
  std::lock_guard r(runLock_);
  currentRun_ = run;
  return run;
}

template <class Effects>
bool TraceEngine::IfCurrent(const TraceRun& run, Effects&& effects) {
  std::lock_guard g(transitionLock_);
  if (!run.IsCurrent()) return false;
  effects();
  return true;
}

void TraceEngine::Say(const TraceRun& run, std::string text, int position) {
  IfCurrent(run, [&] { status_.SetStatus(std::move(text), position); });
}

void TraceEngine::Play(const TraceRun& run, std::string_view file) {
  IfCurrent(run, [&] { sounds_.PlayTraceSound(file); });
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
      status_.SetStatus(i18n::Tr(text::kPossibleMailAddress, host), 0);
      return true;
    }
    status_.SetStatus(i18n::Tr(text::kLookingUpAddress, host), 0);
    if (const std::optional<uint32_t> address = platform_.resolver->FirstAddress(host)) {
      status_.SetStatus(i18n::Tr(text::kAddressFound, platform::AddressToDotted(*address)), 0);
      return true;
    }
    status_.SetStatus(i18n::Tr(text::kUnableToObtainAddress, host), 0);
    ShowTargetError(1);
    views_->SetBusy(false);
    return false;
  }
  // A dotted text that does not convert at all is as invalid as one that
  // starts with 0 (only the limited broadcast converts to all ones).
  const uint32_t address = platform::DottedToAddress(host);
  const bool unconvertible = address == 0xffffffffu && host != "255.255.255.255";
  if (FirstOctet(address) == 0 || unconvertible) {
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

  // From here on the new trace is the current one: the previous trace's
  // threads find themselves replaced at their next step, and its rows leave
  // the table now.
  std::string targetHost = ParseTarget(host, nullptr);
  const std::shared_ptr<TraceRun> run = BeginRun(host, std::move(targetHost));
  views_->RefreshRows();

  TraceContext& c = context_;
  c.targetText = run->targetText;
  c.targetHost = run->targetHost;
  c.targetKind = ClassifyTarget(host);
  c.targetAddress = 0;
  c.targetReverseName.reset();
  std::optional<uint32_t> resolved;
  if (c.targetKind == TargetKind::HostName) {
    resolved = platform_.resolver->FirstAddress(host);
    c.targetAddress = resolved.value_or(0);
  } else if (c.targetKind == TargetKind::Address) {
    c.targetAddress = platform::DottedToAddress(host);
    c.targetReverseName = platform_.resolver->ReverseName(c.targetAddress);
  }

  std::string title = i18n::Tr(text::kWindowTitle, c.targetText);
  if (c.targetKind == TargetKind::HostName && resolved)
    title += " (" + platform::AddressToDotted(*resolved) + ")";
  else if (c.targetKind == TargetKind::Address && c.targetReverseName)
    title += " (" + *c.targetReverseName + ")";
  views_->SetTitle(title);

  TraceReplay* replay = c.history && c.history->Replaying() ? c.history : nullptr;
  Spawn(run, [this, run, replay] {
    views_->TraceThreadStarted();
    RunTrace(run, replay);
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
  row->address = name.empty() ? 0 : platform_.resolver->FirstAddress(name).value_or(0);
  const GeoLocation home = platform_.homeLocation ? platform_.homeLocation() : GeoLocation{};
  if (home.latitude == 0.0 && home.longitude == 0.0) {
    row->SetLocation(kDefaultHomeLocation);
    row->SetName(text::kUnknownLocalName);
  } else {
    row->SetLocation(home);
  }
  return row;
}

void TraceEngine::RunTrace(const std::shared_ptr<TraceRun>& runRef, TraceReplay* replay) {
  TraceRun& run = *runRef;
  const uint32_t serial = run.Serial();
  const CancellationWatch& watch = run.Watch();
  auto current = [&] { return watch.IsCurrent(); };
  auto updateViews = [&] { views_->RefreshRows(); };
  const std::string& targetHost = run.targetHost;

  // 1. Reset. The serial was taken and the table emptied by StartTrace.
  if (!IfCurrent(run, [&] {
        views_->ClearRoute();
        views_->RedrawMap();
        status_.SetStatus(std::string(i18n::Tr(text::kTraceStarted)), 0);
      }))
    return;
  std::unique_ptr<platform::IcmpEcho> icmp = platform_.openIcmp();

  // 2. The target's address.
  Say(run, i18n::Tr(text::kGettingAddressOf, run.targetText), 5);
  const std::optional<uint32_t> resolved = Resolve(targetHost, *platform_.resolver);
  if (!current()) return;

  // 3. The local computer.
  Say(run, std::string(i18n::Tr(text::kGettingLocalIp)), 8);
  if (!table_.SetRow(serial, 0, CreateLocalRow()) || !table_.SetRowCount(serial, 1)) return;
  views_->ShowRow(0);

  // 4. Nothing to trace to: no address, or the "this host" address that no
  // echo request can go to.
  if (!resolved || *resolved == 0) {
    HopRef bad = HopRef::Create();
    bad->status = IP_BAD_DESTINATION;
    bad->SetName(StatusRowText(IP_BAD_DESTINATION));
    bad->hopNumber = 1;
    bad->sentCount = 1;
    bad->droppedCount = 1;
    if (!table_.SetRow(serial, 1, std::move(bad)) || !table_.SetRowCount(serial, 2)) return;
    views_->RefreshRows();
    views_->RedrawMap();
    IfCurrent(run, [&] {
      sounds_.PlayTraceSound(text::kSoundError);
      state_.traceRunning = 0;
    });
    return;
  }
  const uint32_t targetAddress = *resolved;

  // 5. The destination probe runs beside the hops.
  Say(run, i18n::Tr(text::kStartingTraceTo, run.targetText), 8);
  const HopRef& destination = run.destinationRecord;
  Spawn(runRef, [this, runRef] { DestinationProbe(runRef); });

  // 6. The probe loop.
  int next = 1, n = 2, position = 2 * n + 3, ttlCounter = 0;
  while (ttlCounter < kTtlLimit && current()) {
    ++ttlCounter;
    Say(run, i18n::Tr(text::kPingingNode, n), position);

    HopRef row = HopRef::Create();
    if (replay) {
      // A replay shows recorded hops only. A record holds the hop of TTL k
      // at entry k (the row index here is shifted while the destination row
      // is shown, the TTL is not); where it has none, the recorded route ends.
      if (!replay->ApplyEntry(ttlCounter, *row)) break;
    } else {
      EchoProbe(*row, icmp.get(), targetAddress, ttlCounter, kReplyWaitMs, state_.traceRunning,
                state_.traceSerial, true, platform_.clock);
    }
    if (!current()) return;
    if (!table_.SetRow(serial, next, row) || !table_.SetRowCount(serial, n)) return;
    row->hopNumber = next;

    // The destination row stays last: a hop that answers as the target
    // duplicates it, any other hop goes before it.
    if (run.destinationRowShown) {
      if (row->status == IP_SUCCESS) {
        if (!table_.SetRow(serial, next, HopRef()) || !table_.SetRowCount(serial, next)) return;
        break;
      }
      if (!table_.SwapRows(serial, next - 1, next)) return;
      --next;
      --n;
      position -= 2;
    }

    if (IsLoopOrLimit(next)) {
      row->status = IP_DEST_HOST_UNREACHABLE;
      row->SetStage(HopStage::Settled);
    }

    if (!current()) return;
    Play(run, row->status == IP_REQ_TIMED_OUT ? text::kSoundTimeout : text::kSoundError);
    updateViews();
    if (row->Stage() != HopStage::Created) lookups_->StartNetworkLookup(row, watch, run.pendingQueries);
    if (lookups_->LookupHopName(*row, false, watch)) Play(run, text::kSoundStart);
    lookups_->LocateHop(*row);
    if (!current()) return;

    const uint32_t status = row->status;
    if (status == IP_SUCCESS) {
      uint8_t notReady = 0;
      run.destinationReady.compare_exchange_strong(notReady, 1);
      break;
    }
    if (EndsRoute(status)) {
      // The end row takes the destination row's slot when that is shown.
      ++next;
      HopRef end = HopRef::Create();
      end->status = status;
      end->hopNumber = next;
      end->lastRtt = kNoTime;
      end->SetName(StatusRowText(status));
      if (!current()) return;
      end->sentCount = 1;
      end->droppedCount = 1;
      if (!table_.SetRow(serial, next, std::move(end)) || !table_.SetRowCount(serial, next + 1)) return;
      updateViews();
      break;
    }

    if (run.destinationRowShown) {
      ++next;
      ++n;
      position += 2;
    }
    if (run.destinationReady == 1 && !run.destinationRowShown) {
      ++next;
      ++n;
      position += 2;
      destination->hopNumber = next;
      if (!table_.SetRow(serial, next, destination)) return;
      run.destinationReady = 0;
      run.destinationRowShown = 1;
    }
    if (!current()) return;
    if (!table_.SetRowCount(serial, n)) return;
    updateViews();

    ++next;
    ++n;
    position += 2;
  }
  // Stopped or replaced during the loop: nothing more from this run.
  if (!current()) return;

  // 7.
  icmp.reset();

  // 8. Name pass, from the last row down to row 2.
  const int rowCount = table_.RowCount();
  for (int i = rowCount - 1; i >= 2; --i) {
    if (!current()) return;
    const HopRef row = table_.Row(i);
    if (!row || row->Stage() != HopStage::Probed) continue;
    Say(run, i18n::Tr(text::kRetrievingName, platform::AddressToDotted(row->address)), 2 * i + 40);
    if (lookups_->LookupHopName(*row, true, watch)) {
      Play(run, text::kSoundStart);
    } else if (!current()) {
      return;
    } else if (i == rowCount - 1 && !IsDottedAddress(targetHost)) {
      row->SetName(targetHost);
      row->SetStage(HopStage::Settled);
    } else {
      Play(run, text::kSoundFailure);
    }
    if (!MapViewActive()) views_->ShowRow(i);
  }

  // 9.-11. Owner and position pass; the views are brought up to date before and after it.
  auto redraw = [&] {
    if (!run.destinationRowShown && MapViewActive()) views_->RedrawMap();
    if (!MapViewActive()) views_->RefreshRows();
    return current();
  };
  if (!redraw()) return;
  const std::vector<HopRef> rows = table_.Snapshot();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!current()) return;
    const HopRef& row = rows[i];
    if (i + 1 == rows.size() && row->Stage() == HopStage::Settled &&
        lookups_->StartDomainLookup(row, watch, run.pendingQueries)) {
      Play(run, text::kSoundDone);
      views_->ShowRow(static_cast<int>(i));
    }
    if (!row->Location().HasSource() && lookups_->LocateHop(*row)) {
      views_->MarkRouteChanged();
      views_->ShowRow(static_cast<int>(i));
    }
  }
  if (!current()) return;
  if (run.destinationRowShown) {
    run.destinationRowShown = 0;
  } else if (!redraw()) {
    return;
  }

  // 12. Wait a while for the WhoIs jobs.
  const uint32_t waitStart = platform_.clock();
  int shownCount = -1;
  while (run.pendingQueries.Count() > 0 && platform_.clock() - waitStart < kQueryWaitMs) {
    if (!current()) return;
    const int pending = run.pendingQueries.Count();
    if (pending != shownCount) {
      Say(run, i18n::Tr(pending == 1 ? text::kWaitingForQuery : text::kWaitingForQueries, pending),
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
    // Row 1 is not part of the name pass. When it ends the route (a target
    // one hop away) it gets the resolver's answer here, so that its name
    // does not depend on whether the destination probe happened to fill the
    // name cache before the row was probed.
    if (last->Name().empty() && route.size() == 2 && last->address != 0 &&
        lookups_->LookupHopName(*last, true, watch))
      Play(run, text::kSoundStart);
    if (!current()) return;
    if (last->Name().empty()) last->SetName(targetHost);
    const uint32_t hostValue = IsDottedAddress(targetHost) ? platform::DottedToAddress(targetHost) : 0;
    if (!IsPrivateAddress(last->address) && !IsPrivateAddress(hostValue) && lookups_->LocateRoute(route, watch))
      lookups_->LocateByWhoIs(*last);
  }

  // 15.-16. Done: the completion and the end of the trace happen together,
  // so a start or stop in between cannot be followed by "Trace completed".
  if (!current()) return;
  views_->RedrawMap();
  const bool completed = IfCurrent(run, [&] {
    sounds_.PlayTraceSound(text::kSoundTraceComplete);
    status_.SetStatus(std::string(i18n::Tr(text::kTraceCompleted)), 0);
    views_->LookupComplete();
    state_.traceSerial.fetch_add(1);
    state_.traceRunning = 0;
  });
  if (!completed) return;
  views_->RefreshRows();
  views_->RedrawMap();
}

void TraceEngine::DestinationProbe(const std::shared_ptr<TraceRun>& runRef) {
  const TraceRun& run = *runRef;
  const CancellationWatch& watch = run.Watch();
  const HopRef& row = run.destinationRecord;
  const std::string& host = run.targetHost;
  const uint32_t address = IsDottedAddress(host) ? platform::DottedToAddress(host)
                                                 : Resolve(host, *platform_.resolver).value_or(0);
  row->address = address;
  lookups_->LookupHopName(*row, true, watch);
  if (!watch.IsCurrent()) return;
  lookups_->LocateHop(*row);

  std::unique_ptr<platform::IcmpEcho> icmp = platform_.openIcmp();
  if (!watch.IsCurrent()) return;
  EchoProbe(*row, icmp.get(), address, kTargetTestTtl, kReplyWaitMs, state_.traceRunning,
            state_.traceSerial, true, platform_.clock);
  if (!watch.IsCurrent()) return;
  if (row->Stage() != HopStage::Created) lookups_->StartNetworkLookup(row, watch, run.pendingQueries);
  if (!watch.IsCurrent()) return;
  lookups_->LocateHop(*row);
  icmp.reset();
  if (!watch.IsCurrent()) return;
  if (!row->Location().HasSource()) lookups_->LocateByWhoIs(*row);
  if (!watch.IsCurrent()) return;
  // The flags belong to this run alone: a probe that outlived its trace can
  // no longer reach the next trace's handshake.
  uint8_t notReady = 0;
  runRef->destinationReady.compare_exchange_strong(notReady, 1);
}

}  // namespace hs
