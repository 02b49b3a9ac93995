#include "ui/view_mailbox.h"

#include "trace/engine.h"

namespace hs::ui {

bool ViewWork::Empty() const {
  return !clearRoute && !redrawMap && !rowsChanged && changedRows == 0 && !routeChanged && !lookupComplete &&
         threadsStarted == 0 && threadsEnded == 0 && !title && !busy && !status && targetErrors.empty() &&
         startsFinished == 0;
}

ViewWork ViewMailbox::Take() {
  std::lock_guard g(lock_);
  ViewWork out = std::move(work_);
  work_ = ViewWork{};
  pending_ = false;
  return out;
}

uint64_t ViewMailbox::PostCount() const {
  std::lock_guard g(lock_);
  return posts_;
}

void PostingViews::ClearRoute() {
  mailbox_.Post([](ViewWork& w) { w.clearRoute = true; });
}
void PostingViews::RedrawMap() {
  mailbox_.Post([](ViewWork& w) { w.redrawMap = true; });
}
void PostingViews::ShowRow(int index) {
  if (index < 0 || index >= 64) return RefreshRows();
  mailbox_.Post([index](ViewWork& w) { w.changedRows |= uint64_t{1} << index; });
}
void PostingViews::RefreshRows() {
  mailbox_.Post([](ViewWork& w) { w.rowsChanged = true; });
}
void PostingViews::MarkRouteChanged() {
  mailbox_.Post([](ViewWork& w) { w.routeChanged = true; });
}
void PostingViews::LookupComplete() {
  mailbox_.Post([](ViewWork& w) { w.lookupComplete = true; });
}
void PostingViews::TraceThreadStarted() {
  mailbox_.Post([](ViewWork& w) { ++w.threadsStarted; });
}
void PostingViews::TraceThreadEnded() {
  mailbox_.Post([](ViewWork& w) { ++w.threadsEnded; });
}
void PostingViews::SetTitle(const std::string& title) {
  const uint32_t target = context_ ? context_->targetAddress : 0;
  mailbox_.Post([&title, target](ViewWork& w) {
    w.title = title;
    w.titleTargetAddress = target;
  });
}
void PostingViews::SetBusy(bool busy) {
  mailbox_.Post([busy](ViewWork& w) { w.busy = busy; });
}
void PostingViews::ShowTargetError(int box) {
  mailbox_.Post([box](ViewWork& w) { w.targetErrors.push_back(box); });
}
void PostingViews::ShowStatus(const std::string& text, int position) {
  mailbox_.Post([&text, position](ViewWork& w) { w.status.emplace(text, position); });
}

TraceStarter::~TraceStarter() {
  {
    std::lock_guard g(lock_);
    closing_ = true;
    jobs_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TraceStarter::Post(std::function<void()> job) {
  {
    std::lock_guard g(lock_);
    if (closing_) return;
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
  }
  changed_.notify_all();
}

bool TraceStarter::Busy() const {
  std::lock_guard g(lock_);
  return running_ || !jobs_.empty();
}

bool TraceStarter::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock g(lock_);
  return changed_.wait_for(g, timeout, [this] { return !running_ && jobs_.empty(); });
}

void TraceStarter::Loop() {
  std::unique_lock g(lock_);
  for (;;) {
    changed_.wait(g, [this] { return closing_ || !jobs_.empty(); });
    if (closing_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    g.unlock();
    job();
    job = nullptr;
    g.lock();
    running_ = false;
    changed_.notify_all();
  }
}

}  // namespace hs::ui
