// The trace controller against a scripted network. Races are not left to
// chance: gates inside the scripted sends, lookups and views hold one thread
// at the step that matters until another thread has done its part.
#include <gtest/gtest.h>

#include "scripted.h"
#include "trace/texts.h"

namespace hs::test {
namespace {

const uint32_t kTarget = Ip("198.18.9.1");
const uint32_t kSecond = Ip("198.18.9.2");
const uint32_t kLocal = Ip("198.18.0.2");
uint32_t Router(int n) { return htonl(0xC6120100u + static_cast<uint32_t>(n)); }   // 198.18.1.n
uint32_t Router2(int n) { return htonl(0xC6120200u + static_cast<uint32_t>(n)); }  // 198.18.2.n

platform::IcmpEchoReply Reply(uint32_t address, uint32_t status) { return {address, status}; }

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    resolver.forward["target.test"] = kTarget;
    resolver.forward["workstation"] = kLocal;
    TraceEngine::Platform p;
    p.openIcmp = [this] { return net.Open(); };
    p.resolver = &resolver;
    p.clock = [this] { return net.clock(); };
    p.sleep = [this](uint32_t ms) {
      net.clock.now += ms;
      if (onSleep) onSleep();
    };
    p.homeLocation = [this] { return home; };
    engine = std::make_unique<TraceEngine>(std::move(p));
    views = std::make_unique<RecordingViews>(engine->Table());
    engine->SetViews(views.get());
    engine->SetLookups(&lookups);
    engine->Status().SetDisplay(&status);
    engine->Sounds().SetOutput(&sounds, "/sounds");
    HoldDestinationProbe();
  }
  ~ControllerTest() override {
    engine->Shutdown();
    Changes().Notify();  // releases every gate that waits for the trace to end
    engine.reset();
  }

  // Routers answer TTL 1..hops-1 with TTL expired; TTL >= hops and 255 reach
  // the destination. The routers towards kSecond are 198.18.2.n.
  void LinearRoute(int hops) {
    net.answer = [hops](uint32_t dst, int ttl) -> Answer {
      if (ttl >= hops) return Reply(dst, IP_SUCCESS);
      return Reply(dst == kSecond ? Router2(ttl) : Router(ttl), IP_TTL_EXPIRED_TRANSIT);
    };
  }
  // Holds a destination probe's echo until its trace is over (ended,
  // stopped or replaced), so that its row is never shown. Every test starts
  // so; a test that wants the destination row sets its own `net.beforeReply`.
  void HoldUntilTraceIsOver() {
    const uint32_t serial = engine->State().traceSerial;
    WaitUntil([&] { return !engine->Running() || engine->State().traceSerial != serial; });
  }
  void HoldDestinationProbe() {
    net.beforeReply = [this](const Send& s) {
      if (s.destinationProbe) HoldUntilTraceIsOver();
    };
  }
  // Blocks the calling thread until the engine runs at most `threads` threads.
  void WaitForThreads(int threads) { ASSERT_TRUE(engine->WaitThreadsAtMost(threads, std::chrono::seconds(20))); }

  // Traces `target`; the rows it left.
  std::vector<HopRef> TraceRows(const std::string& target) {
    Trace(target);
    return Rows();
  }
  void Start(const std::string& target) {
    engine->SetTargetText(target);
    ASSERT_TRUE(engine->StartTrace());
    Changes().Notify();
  }
  void Stop() {
    engine->StopTrace();
    Changes().Notify();
  }
  void Trace(const std::string& target) {
    Start(target);
    ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  }
  std::vector<HopRef> Rows() { return engine->Table().Snapshot(); }
  std::vector<uint32_t> Addresses() {
    std::vector<uint32_t> out;
    for (const HopRef& row : Rows()) out.push_back(row->address);
    return out;
  }
  bool EverShown(const std::vector<uint32_t>& addresses) {
    for (auto& shown : views->Refreshes())
      if (shown == addresses) return true;
    return false;
  }

  ScriptedNetwork net;
  ScriptedResolver resolver;
  ScriptedLookups lookups;
  RecordingStatus status;
  RecordingSounds sounds;
  GeoLocation home;  // none set
  std::function<void()> onSleep;
  std::unique_ptr<TraceEngine> engine;
  std::unique_ptr<RecordingViews> views;
};

// --- Routes and how they end -------------------------------------------------

TEST_F(ControllerTest, RouteToAnsweringTargetEndsAtTheTargetAndCompletes) {
  LinearRoute(4);
  auto rows = TraceRows("target.test");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0]->Name(), "???");  // no home location set
  EXPECT_EQ(rows[0]->Location(), kDefaultHomeLocation);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(rows[i]->address, Router(i)) << i;
  EXPECT_EQ(rows[4]->status, IP_SUCCESS);
  EXPECT_EQ(rows[4]->address, kTarget);
  EXPECT_EQ(rows[4]->Name(), "target.test");  // a named target's last row takes its name
  EXPECT_EQ(status.Shown().back(), std::make_pair(std::string("Trace completed"), 0));
  EXPECT_EQ(sounds.Count("tracecomplete.wav"), 1);
  EXPECT_EQ(sounds.Count("error.wav"), 4);  // one per answered probe
  EXPECT_EQ(views->Title(), "Event Trace: target.test (198.18.9.1)");
  EXPECT_EQ(views->lookupCompletes, 1);
  EXPECT_FALSE(engine->Running());
}

TEST_F(ControllerTest, TargetOneHopAwayTakesItsReverseNameWhicheverThreadFinishesFirst) {
  LinearRoute(1);
  lookups.reverseNames[kTarget] = "localhost";
  for (bool probeFirst : {true, false}) {
    SCOPED_TRACE(probeFirst ? "destination probe named the target first" : "controller reached it first");
    lookups.cachedNames.clear();
    if (probeFirst) {
      // Row 1 is probed only once the probe's lookup has filled the cache.
      lookups.onLookupName = nullptr;
      net.beforeReply = [this](const Send& s) {
        if (!s.destinationProbe) WaitUntil([&] { return lookups.Cached(kTarget); });
        else HoldUntilTraceIsOver();
      };
    } else {
      // The probe's own lookup waits until the trace is over.
      net.beforeReply = nullptr;
      lookups.onLookupName = [this](HopRecord& row, bool) {
        auto current = engine->CurrentRun();
        if (current && &row == current->destinationRecord.get()) HoldUntilTraceIsOver();
      };
    }
    auto rows = TraceRows("198.18.9.1");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->Name(), "localhost");
    EXPECT_EQ(rows[1]->Stage(), HopStage::Settled);
  }
  EXPECT_FALSE(status.Showed("Retrieving name for 198.18.9.1"));  // the name pass skips row 1
}

TEST_F(ControllerTest, SilentTargetEndsTraceAtFirstHopSilentTwice) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    if (ttl <= 2) return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
    return std::nullopt;  // the hops after 2 and the target itself are silent
  };
  auto rows = TraceRows("198.18.9.1");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3]->status, IP_SUCCESS);
  EXPECT_EQ(rows[3]->address, kTarget);
  EXPECT_EQ(net.SendsWithTtl(4), 0);
}

TEST_F(ControllerTest, SilentHopWhileTargetAnswersShowsNoResponseAndGoesOn) {
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl == 2) return std::nullopt;
    if (ttl >= 4) return Reply(dst, IP_SUCCESS);
    return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
  };
  auto rows = TraceRows("198.18.9.1");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2]->status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(rows[2]->Name(), "No Response");
  EXPECT_EQ(sounds.Count("timeout.wav"), 1);
}

TEST_F(ControllerTest, IsLoopOrLimitLooksSixOrMoreRowsBack) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    static const int route[] = {0, 1, 2, 3, 4, 5, 1, 7, 2, 9, 9};  // row 6 repeats row 1 only 5 back
    return Reply(Router(route[std::min(ttl, 10)]), ttl >= 10 ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT);
  };
  auto rows = TraceRows("198.18.9.1");
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[6]->status, IP_TTL_EXPIRED_TRANSIT);    // 5 rows back is not a loop
  EXPECT_EQ(rows[8]->status, IP_DEST_HOST_UNREACHABLE);  // 6 rows back is
}

TEST_F(ControllerTest, RowLimitEndsTraceAtRow62) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    return Reply(htonl(0xC6130000u + static_cast<uint32_t>(ttl)), IP_TTL_EXPIRED_TRANSIT);
  };
  auto rows = TraceRows("198.18.9.1");
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[61]->status, IP_TTL_EXPIRED_TRANSIT);
  EXPECT_EQ(rows[62]->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(rows[63]->Name(), "Destination Host Unreachable");
  EXPECT_EQ(net.SendsWithTtl(63), 0);
}

TEST_F(ControllerTest, UnreachableAnswerAddsEndRowWithItsText) {
  struct Case { uint32_t status; const char* text; bool timed; };
  for (Case c : {Case{IP_DEST_NET_UNREACHABLE, "Destination Net Unreachable", false},
                 Case{IP_DEST_HOST_UNREACHABLE, "Destination Host Unreachable", true},
                 Case{IP_DEST_PROT_UNREACHABLE, "Destination Protocal Unreachable", true},
                 Case{IP_DEST_PORT_UNREACHABLE, "Destination Port Unreachable", true},
                 Case{IP_BAD_DESTINATION, "Bad Destination", true}}) {
    net.answer = [c](uint32_t, int ttl) -> Answer {
      return Reply(Router(ttl), ttl < 3 ? IP_TTL_EXPIRED_TRANSIT : c.status);
    };
    auto rows = TraceRows("198.18.9.1");
    ASSERT_EQ(rows.size(), 5u) << c.text;
    EXPECT_EQ(rows[3]->status, c.status);
    EXPECT_EQ(rows[3]->lastRtt, c.timed ? net.rttMs : kNoTime) << c.text;
    EXPECT_EQ(rows[4]->status, c.status);
    EXPECT_EQ(rows[4]->Name(), c.text);
    EXPECT_EQ(rows[4]->droppedCount, 1);
    EXPECT_EQ(net.SendsWithTtl(4), 0) << c.text;
  }
}

TEST_F(ControllerTest, MailLikeTargetOrNameResolvingToZeroEndsWithBadDestinationRow) {
  // Blocking hosts files point names at 0.0.0.0: the resolver did answer.
  resolver.forward["blocked.test"] = 0;
  for (const char* target : {"user@target.test", "blocked.test"}) {
    SCOPED_TRACE(target);
    auto rows = TraceRows(target);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->status, IP_BAD_DESTINATION);
    EXPECT_EQ(rows[1]->Name(), "Bad Destination");
    EXPECT_EQ(rows[1]->droppedCount, 1);
    EXPECT_FALSE(engine->Running());
  }
  EXPECT_EQ(views->errorBox, 0);
  EXPECT_TRUE(net.Sends().empty());
  EXPECT_EQ(sounds.Played(), (std::vector<std::string>{"error.wav", "error.wav"}));
  EXPECT_FALSE(status.Showed("Trace completed"));
}

TEST_F(ControllerTest, RefusedTargetsLeaveThePreviousTraceAlone) {
  LinearRoute(2);
  Trace("198.18.9.1");
  ASSERT_EQ(engine->Table().RowCount(), 3);
  const std::string title = views->Title();

  engine->SetTargetText("unknown.test");
  EXPECT_FALSE(engine->StartTrace());
  EXPECT_EQ(views->errorBox, 1);
  EXPECT_TRUE(status.Showed("Unable to obtain the IP address for unknown.test"));
  EXPECT_EQ(status.Shown().back(), std::make_pair(std::string(" "), 0));

  for (const char* bad : {"0.1.2.3", "300.1.1.1", ""}) {
    views->errorBox = 0;
    engine->SetTargetText(bad);
    EXPECT_FALSE(engine->StartTrace()) << bad;
    EXPECT_EQ(views->errorBox, *bad ? 2 : 1) << bad;
  }
  EXPECT_EQ(engine->Table().RowCount(), 3);
  EXPECT_EQ(views->Title(), title);
}

// --- The destination row -----------------------------------------------------

TEST_F(ControllerTest, DestinationRowShownMidTraceStaysLastAndArrivalIsNotDuplicated) {
  LinearRoute(6);
  net.beforeReply = [this](const Send& s) {
    // The destination probe finishes while hop 3 is out.
    if (s.destinationProbe) WaitUntil([&] { return net.Sent(kTarget, 3); });
    if (s.ttl == 3) WaitForThreads(1);
  };
  Trace("target.test");

  auto rows = Rows();
  ASSERT_EQ(rows.size(), 7u);  // local, 5 routers, the destination row; the TTL-6 arrival was dropped
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(rows[i]->address, Router(i)) << i;
  EXPECT_EQ(rows[6].get(), engine->CurrentRun()->destinationRecord.get());
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rows[i]->hopNumber, i);

  // While hops 4 and 5 were found the destination row was already shown last.
  EXPECT_TRUE(EverShown({kLocal, Router(1), Router(2), Router(3), kTarget}));
  EXPECT_TRUE(EverShown({kLocal, Router(1), Router(2), Router(3), Router(4), kTarget}));
  EXPECT_EQ(engine->CurrentRun()->destinationRowShown, 0);  // hidden again after the owner pass
}

TEST_F(ControllerTest, UnreachableEndOrLoopWhileDestinationRowIsShownTakesItsSlot) {
  // The destination probe finishes while hop 2 is out; the row is shown after it.
  net.beforeReply = [this](const Send& s) {
    if (!s.destinationProbe && s.ttl == 2) WaitForThreads(1);
  };
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl == kTargetTestTtl) return Reply(dst, IP_SUCCESS);
    return Reply(Router(ttl), ttl == 4 ? IP_DEST_HOST_UNREACHABLE : IP_TTL_EXPIRED_TRANSIT);
  };
  Trace("198.18.9.1");
  EXPECT_TRUE(EverShown({kLocal, Router(1), Router(2), Router(3), kTarget}));
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[4]->address, Router(4));
  EXPECT_EQ(rows[4]->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(rows[5]->Name(), "Destination Host Unreachable");
  EXPECT_EQ(rows[5]->hopNumber, 5);

  // The same for a routing loop: the end row replaces the destination row.
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl == kTargetTestTtl) return Reply(dst, IP_SUCCESS);
    return Reply(ttl == 1 ? Router(1) : Router(2), IP_TTL_EXPIRED_TRANSIT);
  };
  Trace("198.18.9.1");
  EXPECT_TRUE(EverShown({kLocal, Router(1), Router(2), Router(2), kTarget}));
  rows = Rows();
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[8]->address, Router(2));
  EXPECT_EQ(rows[8]->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(rows[9]->Name(), "Destination Host Unreachable");
  for (const HopRef& row : rows) EXPECT_NE(row->address, kTarget);
}

// --- Names, owners, positions and sounds -------------------------------------

TEST_F(ControllerTest, NamesFoundPlayStartAndMissingNamesPlayFailure) {
  LinearRoute(4);
  lookups.cachedNames[Router(1)] = "r1.cached";  // found right after its probe
  lookups.reverseNames[Router(3)] = "r3.named";  // found by the name pass
  auto rows = TraceRows("198.18.9.1");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1]->Name(), "r1.cached");
  EXPECT_EQ(rows[3]->Name(), "r3.named");
  EXPECT_EQ(sounds.Count("start.wav"), 2);
  EXPECT_EQ(sounds.Count("failure.wav"), 2);  // rows 2 and 4 have no name
  const auto played = sounds.Played();
  ASSERT_GE(played.size(), 2u);
  EXPECT_EQ(played[0], "error.wav");  // hop 1 answered ...
  EXPECT_EQ(played[1], "start.wav");  // ... and its name was in the cache
  EXPECT_EQ(rows[4]->Name(), "198.18.9.1");

  // A target given by name: its last row takes that name without a sound.
  Trace("target.test");
  EXPECT_EQ(Rows()[4]->Name(), "target.test");
  EXPECT_EQ(sounds.Count("failure.wav"), 2 + 1);
}

TEST_F(ControllerTest, OwnerPassLooksUpTheLastRowsDomainAndPlacesUnplacedRows) {
  LinearRoute(4);
  lookups.onDomainLookup = [](const HopRef&) { return true; };  // answered from the cache
  // Nothing is placed while the route is probed; everything once the name pass began.
  lookups.onLocateHop = [this](HopRecord&) { return status.Showed("Retrieving name for 198.18.1.2"); };
  auto rows = TraceRows("target.test");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(lookups.DomainLookups(), std::vector<uint32_t>{kTarget});
  EXPECT_EQ(rows[4]->Stage(), HopStage::OwnerFound);
  EXPECT_EQ(sounds.Count("done.wav"), 1);
  EXPECT_EQ(rows[0]->Location(), kDefaultHomeLocation);  // already placed, left alone
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(rows[i]->Location(), lookups.placedAt) << i;
  EXPECT_EQ(views->routeChanges, 4);
  EXPECT_EQ(lookups.LocateCalls(Router(1)), 2);  // after its probe, and in the owner pass

  // A domain lookup that has to wait plays nothing; a last row without a
  // settled name is not looked up at all.
  lookups.onDomainLookup = nullptr;
  Trace("target.test");
  EXPECT_EQ(sounds.Count("done.wav"), 1);
  Trace("198.18.9.1");
  EXPECT_EQ(lookups.DomainLookups().size(), 2u);
}

TEST_F(ControllerTest, LocalRowWithHomeLocationKeepsTheComputersNameAndAddress) {
  home = GeoLocation{LocationSource::Home, 52.52, 13.405, 240};
  LinearRoute(2);
  Trace("198.18.9.1");
  const HopRef local = Rows().at(0);
  EXPECT_EQ(local->Name(), "workstation");
  EXPECT_EQ(local->address, kLocal);
  EXPECT_EQ(local->Location(), home);
}

TEST_F(ControllerTest, StatusTextsAndPositionsFollowTheTrace) {
  LinearRoute(3);
  Trace("target.test");
  const auto shown = status.Shown();
  auto position = [&](const std::string& text) {
    for (auto& s : shown)
      if (s.first == text) return s.second;
    return -100;
  };
  EXPECT_EQ(position("Getting IP address of target.test"), 5);
  EXPECT_EQ(position("Getting Local IP"), 8);
  EXPECT_EQ(position("Starting Trace to target.test"), 8);
  EXPECT_EQ(position("Pinging node #2"), 8);  // 7, but the bar does not move back from 8
  EXPECT_EQ(position("Pinging node #3"), 9);
  EXPECT_EQ(position("Retrieving name for 198.18.9.1"), 46);
}

// --- Waiting for WhoIs jobs ---------------------------------------------------

TEST_F(ControllerTest, QueryWaitCountsTheJobsDownAndGivesUpAfterTenSeconds) {
  // Two jobs: one finishes during the wait, the other never.
  std::atomic<bool> started{false};
  PendingQueries jobs;
  lookups.onNetworkLookup = [&](const PendingQueries& pending) {
    if (started.exchange(true)) return;
    jobs = pending;
    pending.Increment();
    pending.Increment();
  };
  onSleep = [&] {
    if (jobs.Count() == 2) jobs.Decrement();
  };
  LinearRoute(2);
  const uint32_t before = net.clock();
  Trace("198.18.9.1");
  EXPECT_TRUE(status.Showed("Waiting for 2 queries"));
  EXPECT_TRUE(status.Showed("Waiting for 1 query"));
  EXPECT_TRUE(status.Showed("Trace completed"));
  EXPECT_GE(net.clock() - before, TraceEngine::kQueryWaitMs);
}

// --- Stopping and replacing a trace -----------------------------------------

TEST_F(ControllerTest, StopWhileProbeIsOutChangesNothing) {
  LinearRoute(5);
  std::atomic<bool> release{false};
  net.beforeReply = [&](const Send& s) {
    if (s.ttl == 2 || s.destinationProbe) WaitUntil([&] { return release.load(); });
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return net.Sent(kTarget, 2); }));
  const auto soundsBefore = sounds.Played().size();
  Stop();
  release = true;
  Changes().Notify();
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  EXPECT_EQ(engine->Table().RowCount(), 2);
  EXPECT_EQ(sounds.Played().size(), soundsBefore);
  EXPECT_FALSE(status.Showed("Trace completed"));
  EXPECT_EQ(net.SendsWithTtl(3), 0);
}

TEST_F(ControllerTest, NewTraceWhileProbeIsOutLeavesNewRowsUntouched) {
  std::atomic<bool> release{false};
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl >= 3) return Reply(dst, IP_SUCCESS);
    return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
  };
  net.beforeReply = [&](const Send& s) {
    if (s.destination == kTarget && (s.ttl == 2 || s.destinationProbe))
      WaitUntil([&] { return release.load(); });
    else if (s.destinationProbe)
      HoldUntilTraceIsOver();
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return net.Sent(kTarget, 2); }));
  Start("198.18.9.2");
  // The new trace runs to its end while the old probe is still out: its own
  // threads end (what the window waits for before recording it), the engine's do not.
  ASSERT_TRUE(WaitUntil([&] { return status.Showed("Trace completed"); }));
  EXPECT_TRUE(engine->WaitCurrentRunEnded(std::chrono::seconds(20)));
  EXPECT_FALSE(engine->WaitIdle(std::chrono::milliseconds(0)));
  release = true;
  Changes().Notify();
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3]->address, kSecond);
  for (auto& row : rows) EXPECT_NE(row->address, kTarget);
  EXPECT_EQ(sounds.Count("tracecomplete.wav"), 1);
}

TEST_F(ControllerTest, TwoQuickStartsTraceTheLaterTarget) {
  LinearRoute(3);
  // The first trace's thread gets going only after the second trace has
  // reached the network.
  std::atomic<int> threads{0};
  views->onThreadStarted = [&] {
    if (threads++ != 0) return;
    Changes().Notify();
    WaitUntil([&] { return status.Showed("Getting IP address of 198.18.9.2"); });
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return threads == 1; }));
  Start("198.18.9.2");
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  EXPECT_EQ(Addresses(), (std::vector<uint32_t>{kLocal, Router2(1), Router2(2), kSecond}));
  EXPECT_EQ(views->Title(), "Event Trace: 198.18.9.2");
  EXPECT_FALSE(net.Sent(kTarget, 1));
  EXPECT_EQ(status.Count("Trace started"), 1);
  EXPECT_EQ(status.Count("Trace completed"), 1);
}

TEST_F(ControllerTest, StaleDestinationProbeCannotTouchTheNextTrace) {
  LinearRoute(4);
  // The first trace's destination probe is held in its last step until the
  // second trace is probing hop 2; the second trace's probe until it ends.
  std::atomic<bool> releaseFirst{false};
  lookups.onLocateByWhoIs = [&](HopRecord& row) {
    if (row.address == kTarget) WaitUntil([&] { return releaseFirst.load(); });
  };
  net.beforeReply = [&](const Send& s) {
    if (s.destinationProbe && s.destination == kSecond) HoldUntilTraceIsOver();
    if (!s.destinationProbe && s.destination == kSecond && s.ttl == 2) {
      releaseFirst = true;
      Changes().Notify();
      WaitForThreads(2);  // this controller and its probe: the stale probe is done
    }
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return status.Showed("Trace completed"); }));
  Start("198.18.9.2");
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));

  auto rows = Rows();
  EXPECT_EQ(Addresses(), (std::vector<uint32_t>{kLocal, Router2(1), Router2(2), Router2(3), kSecond}));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[4]->status, IP_SUCCESS);  // probed by the controller, not an unprobed destination row
  EXPECT_EQ(rows[4]->sentCount, 1);
  EXPECT_FALSE(EverShown({kLocal, Router2(1), Router2(2), kSecond}));  // no destination row before hop 3
  EXPECT_EQ(status.Count("Trace completed"), 2);
}

TEST_F(ControllerTest, ControllerReplacedDuringItsProbeLoopReturnsAtOnce) {
  LinearRoute(5);
  // The first controller is replaced while it brings the views up to date
  // after hop 1, just before its loop asks whether it is still current.
  std::atomic<int> first{0}, refreshes{0};
  views->onThreadStarted = [&] {
    int none = 0;
    first.compare_exchange_strong(none, ThreadNumber());
  };
  views->onRefresh = [&] {
    if (ThreadNumber() != first || ++refreshes != 2) return;
    Changes().Notify();
    WaitUntil([&] { return engine->CurrentRun()->targetText == "198.18.9.2"; });
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return refreshes == 2; }));
  Start("198.18.9.2");
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  EXPECT_EQ(refreshes, 2);  // the gated refresh was its last
  const auto calls = views->CallsOn(first);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "RefreshRows");
  EXPECT_EQ(calls.back(), "TraceThreadEnded");
  EXPECT_EQ(net.SendsWithTtl(2), 1);  // only the new trace probed TTL 2
  EXPECT_EQ(Addresses().back(), kSecond);
}

TEST_F(ControllerTest, ControllerReplacedInItsNamePassStopsAtOnce) {
  LinearRoute(4);
  lookups.reverseNames[kTarget] = "first.target";
  // The first trace's name pass starts at its last row; that lookup answers
  // only once the second trace has started. Its destination probe waits too.
  std::atomic<bool> secondStarted{false};
  lookups.onLookupName = [&](HopRecord& row, bool networkAllowed) {
    if (row.address == kTarget && networkAllowed) WaitUntil([&] { return secondStarted.load(); });
  };
  net.beforeReply = [this](const Send& s) {
    if (s.destinationProbe && s.destination == kSecond) HoldUntilTraceIsOver();
  };
  Start("198.18.9.1");
  ASSERT_TRUE(WaitUntil([&] { return status.Showed("Retrieving name for 198.18.9.1"); }));
  Start("198.18.9.2");
  secondStarted = true;
  Changes().Notify();
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));

  EXPECT_EQ(sounds.Count("start.wav"), 0);  // the first trace's late name plays nothing
  EXPECT_FALSE(status.Showed("Retrieving name for 198.18.1.3"));
  EXPECT_EQ(status.Count("Trace completed"), 1);
  EXPECT_EQ(Addresses(), (std::vector<uint32_t>{kLocal, Router2(1), Router2(2), Router2(3), kSecond}));
}

TEST_F(ControllerTest, ControllerReplacedInItsOwnerPassLeavesTheNextTraceAlone) {
  LinearRoute(5);
  // The first trace's domain lookup answers only once the second trace shows
  // its destination row; the second trace probes hop 3 only once the first
  // controller has gone.
  lookups.onDomainLookup = [this](const HopRef& row) {
    if (row->address == kTarget)
      WaitUntil([&] {
        auto run = engine->CurrentRun();
        return run->targetText == "198.18.9.2" && run->destinationRowShown;
      });
    return true;
  };
  net.beforeReply = [this](const Send& s) {
    // The first trace's probe is held until that trace is replaced, also when
    // it reaches its send late, after the second trace has begun.
    if (s.destinationProbe && s.destination == kTarget)
      WaitUntil([&] { return engine->CurrentRun()->targetText != "target.test"; });
    if (!s.destinationProbe && s.destination == kSecond && s.ttl == 2) WaitForThreads(2);
    if (!s.destinationProbe && s.destination == kSecond && s.ttl == 3) WaitForThreads(1);
  };
  Start("target.test");  // a named target: its last row is settled by the name pass
  ASSERT_TRUE(WaitUntil([&] { return lookups.DomainLookups().size() == 1; }));
  Start("198.18.9.2");
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));

  auto rows = Rows();
  EXPECT_EQ(Addresses(),
            (std::vector<uint32_t>{kLocal, Router2(1), Router2(2), Router2(3), Router2(4), kSecond}));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[5].get(), engine->CurrentRun()->destinationRecord.get());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(rows[i]->hopNumber, i);
  EXPECT_EQ(sounds.Count("done.wav"), 0);  // the first trace's late owner plays nothing
  EXPECT_EQ(status.Count("Trace completed"), 1);
}

TEST_F(ControllerTest, RowsOfReplacedTracesAreFreed) {
  const int64_t before = HopRecord::LiveRows();
  LinearRoute(3);
  Trace("198.18.9.1");
  Trace("198.18.9.1");
  // Only the second trace's rows remain, and its destination row, which its
  // run (still the current one) holds although it was never shown.
  EXPECT_EQ(HopRecord::LiveRows(), before + engine->Table().RowCount() + 1);
  engine->Table().Reset(HopTable::kClosed);
  EXPECT_EQ(HopRecord::LiveRows(), before + 1);
}

// --- Replaying a recorded trace ---------------------------------------------

// Routers at TTL 1..last-1 and the target at TTL `last`; TTLs after `missing`
// have no entry.
class Recorded : public TraceReplay {
 public:
  explicit Recorded(int last, int missing = 0) : last_(last), missing_(missing) {}
  bool Replaying() const override { return true; }
  bool ApplyEntry(int index, HopRecord& row) override {
    if (index < 1 || index > last_ || (missing_ && index >= missing_)) return false;
    if (beforeEntry) beforeEntry(index);
    row.address = index == last_ ? kTarget : Router(index);
    row.status = index == last_ ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT;
    row.lastRtt = 20;
    row.SetStage(HopStage::Probed);
    return true;
  }
  std::function<void(int)> beforeEntry;

 private:
  int last_, missing_;
};

TEST_F(ControllerTest, ReplayWithDestinationRowShownReplaysEveryRecordedHop) {
  Recorded recorded(6);
  // The destination probe finishes while hop 3 is replayed.
  recorded.beforeEntry = [this](int index) {
    if (index == 3) WaitForThreads(1);
  };
  engine->Context().history = &recorded;
  net.beforeReply = nullptr;
  net.answer = [](uint32_t dst, int) -> Answer { return Reply(dst, IP_SUCCESS); };
  Trace("198.18.9.1");
  engine->Context().history = nullptr;

  auto rows = Rows();
  ASSERT_EQ(rows.size(), 7u);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(rows[i]->address, Router(i)) << i;
  EXPECT_EQ(rows[6]->address, kTarget);
  EXPECT_EQ(net.ControllerSends(), 0);  // replayed hops are not probed
}

TEST_F(ControllerTest, ReplayOfARecordWithoutTheNextHopEndsThereWithoutProbing) {
  Recorded recorded(6, 3);  // hops 1 and 2 only
  engine->Context().history = &recorded;
  LinearRoute(6);
  Trace("198.18.9.1");
  engine->Context().history = nullptr;
  EXPECT_EQ(Addresses(), (std::vector<uint32_t>{kLocal, Router(1), Router(2)}));
  EXPECT_EQ(net.ControllerSends(), 0);
  EXPECT_EQ(status.Count("Pinging node #4"), 1);  // the loop ended at the missing entry
  EXPECT_TRUE(status.Showed("Trace completed"));
}

}  // namespace
}  // namespace hs::test
