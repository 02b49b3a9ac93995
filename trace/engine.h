// The trace engine: the state of the current trace, the start sequence, the
// controller thread and the destination probe beside it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/icmp_echo.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"
#include "trace/echo_probe.h"
#include "trace/records.h"
#include "trace/status.h"
#include "trace/target.h"

namespace hs {

// What the program knows about the target of the current trace. One context
// serves every trace of a run; it is written by the start sequence only.
class TraceContext {
 public:
  virtual ~TraceContext() = default;

  TraceReplay* history = nullptr;  // present for recorded or replayed traces
  TargetKind targetKind = TargetKind::HostName;
  std::string targetText;
  std::string targetHost;
  uint32_t targetAddress = 0;
  std::optional<std::string> targetReverseName;
};

class TraceEngine {
 public:
  static constexpr int kTtlLimit = 63;
  static constexpr int kRowLimit = 62;
  static constexpr int kLoopDistance = 6;
  static constexpr uint32_t kQueryWaitMs = 10000;
  static constexpr uint32_t kQueryPollMs = 100;

  struct Platform {
    // Opens one echo facility for one thread; null when none is available
    // (every send then fails). Default: none.
    std::function<std::unique_ptr<platform::IcmpEcho>()> openIcmp;
    platform::Resolver* resolver = nullptr;
    MillisecondClock clock;                     // default: the monotonic clock
    std::function<void(uint32_t)> sleep;        // default: a real sleep
    std::function<GeoLocation()> homeLocation;  // default: no home location set
  };

  explicit TraceEngine(Platform platform);
  // Waits for the engine's threads: a stopped trace's probe may still be out.
  ~TraceEngine();
  TraceEngine(const TraceEngine&) = delete;
  TraceEngine& operator=(const TraceEngine&) = delete;

  // Collaborators; set them before the first trace. Null restores the
  // do-nothing defaults.
  void SetLookups(HopLookups* lookups);
  void SetViews(TraceViews* views);

  TraceState& State() { return state_; }
  HopTable& Table() { return table_; }
  TraceContext& Context() { return context_; }
  TargetBuffer& Target() { return target_; }
  StatusLine& Status() { return status_; }
  TraceSounds& Sounds() { return sounds_; }
  // The run of the trace started last; null before the first start. A run
  // that was replaced stays alive while its threads still hold it.
  std::shared_ptr<const TraceRun> CurrentRun() const;

  // Writes the target buffer.
  void SetTargetText(const std::string& text) { target_.SetTargetText(text); }
  // Checks a host before a trace; may strip one trailing dot from it. False
  // when the trace must not start (an error box was shown).
  bool ValidateTarget(std::string& host);
  // The whole start sequence for the text in the target buffer. False when
  // the target was refused and no trace started. Once a target passes, the
  // previous trace is replaced before this returns: none of its threads
  // shows a text, plays a sound or changes the table after that.
  bool StartTrace();
  // The user's stop: every thread of the trace drops its work at its next
  // check, and none of them shows a text or plays a sound once this returns.
  void StopTrace();
  // Bumps the serial and clears the running flag (shutdown).
  void Shutdown();

  // True once no thread of the engine is running (all traces ended or were abandoned).
  bool WaitIdle(std::chrono::milliseconds timeout) { return WaitThreadsAtMost(0, timeout); }
  // True once at most `count` of the engine's threads (controllers and
  // destination probes, of any run) are still running.
  bool WaitThreadsAtMost(int count, std::chrono::milliseconds timeout);
  // True once the threads of the trace started last have ended. Threads of
  // replaced traces may still be out: they no longer change the table.
  bool WaitCurrentRunEnded(std::chrono::milliseconds timeout);
  bool Running() const { return state_.traceRunning.load() != 0; }

  // True when row n ends the trace: the row limit, or an address already seen
  // six or more rows earlier.
  bool IsLoopOrLimit(int n) const;

 private:
  // Runs `body` on a thread of its own, counted for `run` and for the engine.
  void Spawn(const std::shared_ptr<TraceRun>& run, std::function<void()> body);
  // Replaces the current trace by a new run (under the transition lock).
  std::shared_ptr<TraceRun> BeginRun(std::string targetText, std::string targetHost);
  void RunTrace(const std::shared_ptr<TraceRun>& run, TraceReplay* replay);
  void DestinationProbe(const std::shared_ptr<TraceRun>& run);
  HopRef CreateLocalRow();
  // Runs `effects` only while `run` is current, under the transition lock, so
  // that a start or stop cannot slip in between the check and the effects.
  template <class Effects>
  bool IfCurrent(const TraceRun& run, Effects&& effects);
  // Status texts and sounds of a run: dropped once the run is not current.
  void Say(const TraceRun& run, std::string text, int position);
  void Play(const TraceRun& run, std::string_view file);
  void ShowTargetError(int box);
  bool MapViewActive() const { return views_->DisplayMode() == 0; }

  Platform platform_;
  HopLookups defaultLookups_;
  TraceViews defaultViews_;
  HopLookups* lookups_ = &defaultLookups_;
  TraceViews* views_ = &defaultViews_;

  TraceState state_;
  HopTable table_;
  TraceContext context_;
  TargetBuffer target_;
  StatusLine status_;
  TraceSounds sounds_;

  std::mutex transitionLock_;  // start, stop and end of a trace, and a run's texts and sounds
  mutable std::mutex runLock_;  // currentRun_; never held while taking another lock
  std::shared_ptr<TraceRun> currentRun_;
  std::mutex threadsLock_;
  std::condition_variable threadsIdle_;
  int activeThreads_ = 0;
};

}  // namespace hs
