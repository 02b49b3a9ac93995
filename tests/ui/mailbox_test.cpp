// How the trace threads reach the window: the mailbox merges their calls and
// wakes the window once per batch; the starter runs start sequences in order.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "scripted.h"
#include "ui/view_mailbox.h"

namespace hs::ui {
namespace {

TEST(ViewMailbox, CallsFromManyThreadsMergeAndWakeOncePerBatch) {
  std::atomic<int> wakes{0};
  ViewMailbox mailbox([&] { ++wakes; });
  PostingViews views(mailbox, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&views, t] {
      for (int i = 0; i < 500; ++i) {
        views.ShowRow((t * 16 + i) % 64);
        views.ShowStatus("hop", i);
      }
      views.TraceThreadStarted();
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wakes.load(), 1);  // nobody took the work in between
  const ViewWork work = mailbox.Take();
  EXPECT_EQ(work.changedRows, ~uint64_t{0});
  EXPECT_EQ(work.threadsStarted, 4);
  ASSERT_TRUE(work.status);
  EXPECT_EQ(work.status->first, "hop");
  EXPECT_TRUE(mailbox.Take().Empty());
  views.RefreshRows();
  EXPECT_EQ(wakes.load(), 2);  // the next call after a take wakes again
}

TEST(ViewMailbox, AConsumerThatTakesWhileThreadsPostLosesNothing) {
  std::atomic<int> wakes{0};
  ViewMailbox mailbox([&] { ++wakes; });
  PostingViews views(mailbox, nullptr);
  std::atomic<bool> done{false};
  int started = 0, ended = 0;
  std::thread consumer([&] {
    while (!done.load()) {
      const ViewWork w = mailbox.Take();
      started += w.threadsStarted;
      ended += w.threadsEnded;
    }
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t)
    posters.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        views.TraceThreadStarted();
        views.TraceThreadEnded();
      }
    });
  for (auto& p : posters) p.join();
  done = true;
  consumer.join();
  const ViewWork rest = mailbox.Take();
  EXPECT_EQ(started + rest.threadsStarted, 3000);
  EXPECT_EQ(ended + rest.threadsEnded, 3000);
  EXPECT_LE(wakes.load(), 6000);
}

TEST(TraceStarter, RunsJobsOneAtATimeInTheOrderPosted) {
  std::vector<int> order;
  std::atomic<int> inside{0}, most{0};
  {
    TraceStarter starter;
    for (int i = 0; i < 20; ++i)
      starter.Post([&, i] {
        most = std::max(most.load(), ++inside);
        order.push_back(i);
        --inside;
      });
    EXPECT_TRUE(starter.WaitIdle(std::chrono::seconds(10)));
    EXPECT_FALSE(starter.Busy());
  }
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[size_t(i)], i);
  EXPECT_EQ(most.load(), 1);
}

TEST(TraceStarter, DestructionWaitsForTheRunningJob) {
  std::atomic<bool> release{false}, entered{false};
  std::atomic<int> ran{0};
  auto starter = std::make_unique<TraceStarter>();
  starter->Post([&] {
    entered = true;
    test::Changes().Notify();
    test::WaitUntil([&] { return release.load(); });
    ++ran;
  });
  ASSERT_TRUE(test::WaitUntil([&] { return entered.load(); }));
  EXPECT_FALSE(starter->WaitIdle(std::chrono::milliseconds(20)));
  EXPECT_TRUE(starter->Busy());
  std::thread closer([&] {
    starter.reset();
    EXPECT_EQ(ran.load(), 1);
  });
  release = true;
  test::Changes().Notify();
  closer.join();
}

}  // namespace
}  // namespace hs::ui
