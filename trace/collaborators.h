// What the trace controller asks of the rest of the program. The controller
// calls these from its own threads; app/ wires the real implementations and
// tests wire scripted ones.
//
// StatusDisplay::ShowStatus, SoundOutput::Play/Stop and TraceViews::ClearRoute,
// RedrawMap (at the start of a trace) and LookupComplete are called while the
// engine holds the lock that StartTrace and StopTrace take, so that no text or
// sound of a replaced trace can follow the start of the next one. They must
// hand their work on (post it to the window's thread) and never wait for the
// thread that starts or stops traces.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "trace/records.h"

namespace hs {

// Names, owners and positions of hops. Every method of this base class does
// nothing and reports "nothing found"; the name, WhoIs and location subsystems
// override what they provide.
class HopLookups {
 public:
  virtual ~HopLookups() = default;

  // Fills the row's name from the name cache, and from the resolver when
  // `networkAllowed`. True when the row now carries a non-empty name.
  // (Base: only the fixed text of a silent hop.)
  virtual bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch);
  // Starts a WhoIs job for the row's address unless its answer is cached.
  // A job increments the run's `pendingQueries` when it starts and decrements
  // it when it ends; it keeps its own copy of the handle.
  virtual void StartNetworkLookup(const HopRef& row, const CancellationWatch& watch,
                                  const PendingQueries& pendingQueries) {}
  // Starts the domain WhoIs lookup of the last row; true when it finished at once.
  virtual bool StartDomainLookup(const HopRef& row, const CancellationWatch& watch,
                                 const PendingQueries& pendingQueries) { return false; }
  // Places the row from local sources; true when its location was set.
  virtual bool LocateHop(HopRecord& row) { return false; }
  // Sends the whole route to a location server; true when the end of the
  // route stayed unplaced.
  virtual bool LocateRoute(const std::vector<HopRef>& rows, const CancellationWatch& watch) { return false; }
  // Places the row by the postal address in its WhoIs answer; true on success.
  virtual bool LocateByWhoIs(HopRecord& row) { return false; }
};

// The window's side of a trace. Base: no window, nothing to do.
class TraceViews {
 public:
  virtual ~TraceViews() = default;
  // 0 = map view, 2 = results list; the controller redraws accordingly.
  virtual int DisplayMode() const { return 2; }
  virtual void ClearRoute() {}
  virtual void RedrawMap() {}
  // A row was added or changed; `index` is its row number.
  virtual void ShowRow(int index) {}
  // The whole table may have changed.
  virtual void RefreshRows() {}
  virtual void MarkRouteChanged() {}
  // All lookups of the trace are done (the lookup-complete notice).
  virtual void LookupComplete() {}
  // The controller thread started or returned (progress bar shown or hidden).
  virtual void TraceThreadStarted() {}
  virtual void TraceThreadEnded() {}
  // Start sequence effects.
  virtual void SetTitle(const std::string& title) {}
  virtual void SetBusy(bool busy) {}
  // Error box 1 (name not resolved) or 2 (invalid address).
  virtual void ShowTargetError(int box) {}
};

// Where status texts and the progress position end up.
class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  virtual void ShowStatus(const std::string& text, int position) = 0;
};

// A recorded trace that the controller replays instead of probing.
class TraceReplay {
 public:
  virtual ~TraceReplay() = default;
  // True when a record was found and the mode asks for replay.
  virtual bool Replaying() const = 0;
  // Fills the row from the recorded hop `index`; false when there is none.
  virtual bool ApplyEntry(int index, HopRecord& row) = 0;
};

// An asynchronous WAV player.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Plays the file unless a sound is still playing (then the request is
  // dropped); a missing file plays nothing.
  virtual void Play(const std::string& path) = 0;
  virtual void Stop() {}
};

}  // namespace hs
