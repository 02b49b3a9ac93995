// How the trace threads reach the window without touching it: every call of
// the engine's TraceViews and StatusDisplay interfaces is merged into one
// pending piece of work under a lock, and the first change after the window
// last looked wakes it (one posted event, whatever the number of calls). The
// window then takes the whole piece on its own thread and reads the rows.
// Nothing here knows Qt, so the thread interplay is tested with plain fakes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "trace/collaborators.h"

namespace hs {
class TraceContext;
}

namespace hs::ui {

// What the trace threads asked for since the window last looked. Requests of
// one kind merge: the window only needs the latest state of each.
struct ViewWork {
  bool clearRoute = false;
  bool redrawMap = false;
  bool rowsChanged = false;   // the whole table
  uint64_t changedRows = 0;   // bit i: row i alone
  bool routeChanged = false;
  bool lookupComplete = false;
  int threadsStarted = 0;
  int threadsEnded = 0;
  std::optional<std::string> title;
  uint32_t titleTargetAddress = 0;  // the target's address when the title was set
  std::optional<bool> busy;
  std::optional<std::pair<std::string, int>> status;  // the latest text and position
  std::vector<int> targetErrors;
  int startsFinished = 0;  // start sequences that returned (posted by the window's starter)

  bool Empty() const;
};

class ViewMailbox {
 public:
  // `wake` is called, on the posting thread and outside the lock, when work
  // arrives while none was pending.
  explicit ViewMailbox(std::function<void()> wake) : wake_(std::move(wake)) {}

  template <class Change>
  void Post(Change&& change) {
    bool wasIdle;
    {
      std::lock_guard g(lock_);
      wasIdle = !pending_;
      change(work_);
      pending_ = true;
      ++posts_;
    }
    if (wasIdle && wake_) wake_();
  }
  // Everything pending, leaving the mailbox empty.
  ViewWork Take();
  uint64_t PostCount() const;

 private:
  mutable std::mutex lock_;
  ViewWork work_;
  bool pending_ = false;
  uint64_t posts_ = 0;
  std::function<void()> wake_;
};

// The window's side of a trace, as the engine's threads see it.
class PostingViews final : public TraceViews, public StatusDisplay {
 public:
  // `context` is read when the title is set, on the thread that set it
  // (the start sequence, which has just written it).
  PostingViews(ViewMailbox& mailbox, const TraceContext* context) : mailbox_(mailbox), context_(context) {}

  void SetDisplayMode(int mode) { mode_.store(mode); }
  int DisplayMode() const override { return mode_.load(); }
  void ClearRoute() override;
  void RedrawMap() override;
  void ShowRow(int index) override;
  void RefreshRows() override;
  void MarkRouteChanged() override;
  void LookupComplete() override;
  void TraceThreadStarted() override;
  void TraceThreadEnded() override;
  void SetTitle(const std::string& title) override;
  void SetBusy(bool busy) override;
  void ShowTargetError(int box) override;
  void ShowStatus(const std::string& text, int position) override;

 private:
  ViewMailbox& mailbox_;
  const TraceContext* context_;
  std::atomic<int> mode_{0};
};

// Runs the start sequence of traces off the window's thread (it resolves the
// target, which may wait on the network), one at a time in the order asked.
class TraceStarter {
 public:
  TraceStarter() = default;
  // Waits for the job that runs; jobs not yet begun are dropped.
  ~TraceStarter();
  TraceStarter(const TraceStarter&) = delete;
  TraceStarter& operator=(const TraceStarter&) = delete;

  void Post(std::function<void()> job);
  // True while a job runs or waits.
  bool Busy() const;
  // True when no job runs or waits within `timeout`.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  void Loop();

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace hs::ui
