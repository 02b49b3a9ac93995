// The trace controller against a scripted network.
#include <gtest/gtest.h>

#include "scripted.h"
#include "trace/texts.h"

namespace hs::test {
namespace {

const uint32_t kTarget = Ip("198.18.9.1");
uint32_t Router(int n) { return htonl(0xC6120100u + static_cast<uint32_t>(n)); }  // 198.18.1.n

platform::IcmpEchoReply Reply(uint32_t address, uint32_t status) { return {address, status}; }

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    resolver.forward["target.test"] = kTarget;
    resolver.forward["workstation"] = Ip("198.18.0.2");
    TraceEngine::Platform p;
    p.openIcmp = [this] { return net.Open(); };
    p.resolver = &resolver;
    p.clock = [this] { return net.clock(); };
    p.sleep = [this](uint32_t ms) {
      net.clock.now += ms;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    engine = std::make_unique<TraceEngine>(std::move(p));
    views = std::make_unique<RecordingViews>(engine->Table());
    engine->SetViews(views.get());
    engine->Status().SetDisplay(&status);
    engine->Sounds().SetOutput(&sounds, "/sounds");
  }
  ~ControllerTest() override {
    engine->Shutdown();
    engine.reset();
  }

  // Routers answer TTL 1..hops-1 with TTL expired; TTL >= hops and 255 reach the target.
  void LinearRoute(int hops) {
    net.answer = [hops](uint32_t dst, int ttl) -> Answer {
      if (ttl >= hops) return Reply(dst, IP_SUCCESS);
      return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
    };
  }
  // The destination probe's echoes are held back until `release` holds or the
  // trace is over. Its thread is the one whose first send has TTL 255 (the
  // controller's own target tests come after a hop's sends).
  void HoldDestinationProbeUntil(std::function<bool()> release) {
    net.beforeReply = [this, release](uint32_t, int ttl) {
      thread_local int sends = 0;
      thread_local bool destinationThread = false;
      if (sends++ == 0) destinationThread = ttl == kTargetTestTtl;
      if (!destinationThread) return;
      WaitFor([&] { return release() || !engine->Running(); });
    };
  }
  void HoldDestinationProbe() { HoldDestinationProbeUntil([] { return false; }); }

  void Trace(const std::string& target) {
    engine->SetTargetText(target);
    ASSERT_TRUE(engine->StartTrace());
    ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  }
  std::vector<HopRef> Rows() { return engine->Table().Snapshot(); }

  ScriptedNetwork net;
  ScriptedResolver resolver;
  RecordingStatus status;
  RecordingSounds sounds;
  std::unique_ptr<TraceEngine> engine;
  std::unique_ptr<RecordingViews> views;
};

TEST_F(ControllerTest, RouteToAnsweringTargetEndsAtTheTargetAndCompletes) {
  LinearRoute(4);
  HoldDestinationProbe();
  Trace("target.test");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0]->Name(), "???");  // no home location set
  EXPECT_EQ(rows[0]->Location(), kDefaultHomeLocation);
  EXPECT_EQ(rows[0]->status, IP_TTL_EXPIRED_TRANSIT);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(rows[i]->address, Router(i)) << i;
    EXPECT_EQ(rows[i]->hopNumber, i);
    EXPECT_EQ(rows[i]->lastRtt, net.rttMs);
    EXPECT_EQ(rows[i]->sentCount, 1);
  }
  EXPECT_EQ(rows[4]->status, IP_SUCCESS);
  EXPECT_EQ(rows[4]->address, kTarget);
  EXPECT_EQ(rows[4]->Name(), "target.test");  // a named target's last row takes its name
  EXPECT_EQ(status.Shown().back(), std::make_pair(std::string("Trace completed"), 0));
  EXPECT_EQ(sounds.Count("tracecomplete.wav"), 1);
  EXPECT_EQ(sounds.Count("error.wav"), 4);  // one per answered probe
  EXPECT_EQ(views->Title(), "Event Trace: target.test (198.18.9.1)");
  EXPECT_FALSE(engine->Running());
}

TEST_F(ControllerTest, TargetOneHopAwayGivesLocalRowAndTarget) {
  LinearRoute(1);
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]->status, IP_SUCCESS);
  EXPECT_FALSE(status.Showed("Retrieving name for 198.18.9.1"));  // the name pass skips row 1
  EXPECT_TRUE(status.Showed("Trace completed"));
}

TEST_F(ControllerTest, DestinationRowShownMidTraceStaysLastAndArrivalIsNotDuplicated) {
  LinearRoute(6);
  std::atomic<bool> hop3Sent{false};
  net.beforeReply = [&](uint32_t, int ttl) {
    if (ttl == 3) {
      hop3Sent = true;
      // Let the destination probe finish while hop 3 is out.
      WaitFor([&] { return engine->State().destinationReady.load() == 1; });
    }
    if (ttl == kTargetTestTtl) WaitFor([&] { return hop3Sent.load(); });
  };
  Trace("target.test");

  auto rows = Rows();
  ASSERT_EQ(rows.size(), 7u);  // local, 5 routers, the destination row; the TTL-6 arrival was dropped
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(rows[i]->address, Router(i)) << i;
  EXPECT_EQ(rows[6]->address, kTarget);
  EXPECT_EQ(rows[6]->hopNumber, 6);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rows[i]->hopNumber, i);

  // While hops 4 and 5 were found the destination row was already shown last.
  bool sawDestinationAfterHop3 = false, sawDestinationAfterHop4 = false;
  for (auto& shown : views->Refreshes()) {
    if (shown == std::vector<uint32_t>{Ip("198.18.0.2"), Router(1), Router(2), Router(3), kTarget})
      sawDestinationAfterHop3 = true;
    if (shown == std::vector<uint32_t>{Ip("198.18.0.2"), Router(1), Router(2), Router(3), Router(4), kTarget})
      sawDestinationAfterHop4 = true;
  }
  EXPECT_TRUE(sawDestinationAfterHop3);
  EXPECT_TRUE(sawDestinationAfterHop4);
  EXPECT_EQ(engine->State().destinationRowShown, 0);  // hidden again after the owner pass
}

TEST_F(ControllerTest, SilentTargetEndsTraceAtFirstHopSilentTwice) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    if (ttl <= 2) return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
    return std::nullopt;  // the hops after 2 and the target itself are silent
  };
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3]->status, IP_SUCCESS);
  EXPECT_EQ(rows[3]->address, kTarget);
  EXPECT_EQ(rows[3]->lastRtt, kNoTime);
  EXPECT_EQ(rows[3]->sentCount, 2);
  EXPECT_EQ(rows[3]->droppedCount, 2);
  EXPECT_EQ(net.SendsWithTtl(4), 0);
}

TEST_F(ControllerTest, SilentHopWhileTargetAnswersShowsNoResponseAndGoesOn) {
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl == 2) return std::nullopt;
    if (ttl >= 4) return Reply(dst, IP_SUCCESS);
    return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
  };
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2]->status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(rows[2]->address, 0u);
  EXPECT_EQ(rows[2]->lastRtt, kNoTime);
  EXPECT_EQ(rows[2]->Name(), "No Response");
  EXPECT_EQ(rows[2]->Stage(), HopStage::Settled);
  EXPECT_EQ(sounds.Count("timeout.wav"), 1);
}

TEST_F(ControllerTest, RouterAnsweringEveryTtlEndsTraceAsLoopSixRowsLater) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    return Reply(ttl == 1 ? Router(1) : Router(2), IP_TTL_EXPIRED_TRANSIT);
  };
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 10u);  // row 8 repeats row 2; row 9 is the end row
  for (int i = 3; i <= 7; ++i) EXPECT_EQ(rows[i]->status, IP_TTL_EXPIRED_TRANSIT) << i;
  EXPECT_EQ(rows[8]->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(rows[8]->address, Router(2));
  EXPECT_EQ(rows[9]->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(rows[9]->Name(), "Destination Host Unreachable");
  EXPECT_EQ(rows[9]->address, 0u);
  EXPECT_EQ(rows[9]->lastRtt, kNoTime);
  EXPECT_EQ(rows[9]->sentCount, 1);
  EXPECT_EQ(rows[9]->droppedCount, 1);
}

TEST_F(ControllerTest, RowLimitEndsTraceAtRow62) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    return Reply(htonl(0xC6130000u + static_cast<uint32_t>(ttl)), IP_TTL_EXPIRED_TRANSIT);
  };
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
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
                 Case{IP_DEST_PORT_UNREACHABLE, "Destination Port Unreachable", true}}) {
    net.answer = [c](uint32_t, int ttl) -> Answer {
      return Reply(Router(ttl), ttl < 3 ? IP_TTL_EXPIRED_TRANSIT : c.status);
    };
    HoldDestinationProbe();
    Trace("198.18.9.1");
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 5u) << c.text;
    EXPECT_EQ(rows[3]->status, c.status);
    EXPECT_EQ(rows[3]->address, Router(3));
    EXPECT_EQ(rows[3]->lastRtt, c.timed ? net.rttMs : kNoTime) << c.text;
    EXPECT_EQ(rows[4]->status, c.status);
    EXPECT_EQ(rows[4]->Name(), c.text);
    EXPECT_EQ(rows[4]->hopNumber, 4);
  }
}

TEST_F(ControllerTest, MailLikeTargetEndsWithBadDestinationRow) {
  Trace("user@target.test");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]->status, IP_BAD_DESTINATION);
  EXPECT_EQ(rows[1]->Name(), "Bad Destination");
  EXPECT_EQ(rows[1]->sentCount, 1);
  EXPECT_EQ(rows[1]->droppedCount, 1);
  EXPECT_FALSE(engine->Running());
  EXPECT_TRUE(status.Showed("user@target.test is a possible e-mail address"));
  EXPECT_TRUE(net.Sends().empty());
  EXPECT_EQ(sounds.Played(), std::vector<std::string>{"error.wav"});
  EXPECT_FALSE(status.Showed("Trace completed"));
}

TEST_F(ControllerTest, RefusedTargetsLeaveThePreviousTraceAlone) {
  LinearRoute(2);
  HoldDestinationProbe();
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

TEST_F(ControllerTest, StopWhileProbeIsOutChangesNothing) {
  LinearRoute(5);
  std::atomic<bool> hop2Out{false}, release{false};
  net.beforeReply = [&](uint32_t, int ttl) {
    if (ttl == 2) {
      hop2Out = true;
      WaitFor([&] { return release.load(); });
    }
    if (ttl == kTargetTestTtl) WaitFor([&] { return release.load(); });
  };
  engine->SetTargetText("198.18.9.1");
  ASSERT_TRUE(engine->StartTrace());
  ASSERT_TRUE(WaitFor([&] { return hop2Out.load(); }));
  const auto soundsBefore = sounds.Played().size();
  engine->StopTrace();
  release = true;
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  EXPECT_EQ(engine->Table().RowCount(), 2);
  EXPECT_EQ(sounds.Played().size(), soundsBefore);
  EXPECT_FALSE(status.Showed("Trace completed"));
  EXPECT_EQ(net.SendsWithTtl(3), 0);
}

TEST_F(ControllerTest, NewTraceWhileProbeIsOutLeavesNewRowsUntouched) {
  const uint32_t second = Ip("198.18.9.2");
  std::atomic<bool> firstOut{false}, release{false};
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl >= 3) return Reply(dst, IP_SUCCESS);
    return Reply(Router(ttl), IP_TTL_EXPIRED_TRANSIT);
  };
  net.beforeReply = [&](uint32_t dst, int ttl) {
    if (dst == kTarget && ttl == 2) {
      firstOut = true;
      WaitFor([&] { return release.load(); });
    }
    if (ttl == kTargetTestTtl) WaitFor([&] { return release.load() || !engine->Running(); }, 2000);
  };
  engine->SetTargetText("198.18.9.1");
  ASSERT_TRUE(engine->StartTrace());
  ASSERT_TRUE(WaitFor([&] { return firstOut.load(); }));
  engine->SetTargetText("198.18.9.2");
  ASSERT_TRUE(engine->StartTrace());
  // The new trace runs to its end while the old probe is still out.
  ASSERT_TRUE(WaitFor([&] { return status.Showed("Trace completed"); }, 15000));
  release = true;
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3]->address, second);
  for (auto& row : rows) EXPECT_NE(row->address, kTarget);
  EXPECT_EQ(sounds.Count("tracecomplete.wav"), 1);
}

TEST_F(ControllerTest, StatusTextsAndPositionsFollowTheTrace) {
  LinearRoute(3);
  HoldDestinationProbe();
  Trace("target.test");
  const auto shown = status.Shown();
  auto position = [&](const std::string& text) {
    for (auto& s : shown)
      if (s.first == text) return s.second;
    return -100;
  };
  EXPECT_EQ(position("IP address found: 198.18.9.1"), 0);
  EXPECT_EQ(position("Getting IP address of target.test"), 5);
  EXPECT_EQ(position("Getting Local IP"), 8);
  EXPECT_EQ(position("Pinging node #2"), 8);  // 7, but the bar does not move back from 8
  EXPECT_EQ(position("Pinging node #3"), 9);
  EXPECT_EQ(position("Retrieving name for 198.18.9.1"), 46);
}

TEST_F(ControllerTest, QueryWaitGivesUpAfterTenSeconds) {
  class StuckLookups : public HopLookups {
   public:
    void StartNetworkLookup(const HopRef&, const CancellationWatch&, const PendingQueries& pending) override {
      if (!started.exchange(true)) {  // two jobs that never finish
        pending.Increment();
        pending.Increment();
      }
    }
    std::atomic<bool> started{false};
  } lookups;
  engine->SetLookups(&lookups);
  LinearRoute(2);
  HoldDestinationProbe();
  const uint32_t before = net.clock();
  Trace("198.18.9.1");
  EXPECT_TRUE(status.Showed("Waiting for 2 queries"));
  EXPECT_TRUE(status.Showed("Trace completed"));
  EXPECT_GE(net.clock() - before, TraceEngine::kQueryWaitMs);
  engine->SetLookups(nullptr);
}

TEST_F(ControllerTest, StopDuringQueryWaitEndsWithoutCompletion) {
  class StuckLookups : public HopLookups {
   public:
    void StartNetworkLookup(const HopRef&, const CancellationWatch&, const PendingQueries& pending) override {
      if (!started.exchange(true)) pending.Increment();
    }
    std::atomic<bool> started{false};
  } lookups;
  engine->SetLookups(&lookups);
  LinearRoute(2);
  HoldDestinationProbe();
  engine->SetTargetText("198.18.9.1");
  ASSERT_TRUE(engine->StartTrace());
  ASSERT_TRUE(WaitFor([&] { return status.Showed("Waiting for 1 query"); }));
  engine->StopTrace();
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
  EXPECT_FALSE(status.Showed("Trace completed"));
  EXPECT_EQ(sounds.Count("tracecomplete.wav"), 0);
  engine->SetLookups(nullptr);
}

TEST_F(ControllerTest, RowsOfReplacedTracesAreFreed) {
  const int64_t before = HopRecord::LiveRows();
  LinearRoute(3);
  HoldDestinationProbe();
  Trace("198.18.9.1");
  Trace("198.18.9.1");
  // Only the second trace's rows and its unshown destination row remain.
  engine->Table().Reset(HopTable::kClosed);
  EXPECT_EQ(HopRecord::LiveRows(), before);
}

TEST_F(ControllerTest, SoundSettingOffSilencesWholeTrace) {
  engine->Sounds().SetEnabled(false);
  LinearRoute(3);
  HoldDestinationProbe();
  Trace("198.18.9.1");
  EXPECT_TRUE(sounds.Played().empty());
}

TEST_F(ControllerTest, ReplayWithDestinationRowShownReplaysEveryRecordedHop) {
  // Recorded: routers at TTL 1..5, the target at TTL 6.
  class Recorded : public TraceReplay {
   public:
    explicit Recorded(TraceEngine& e) : engine(e) {}
    bool Replaying() const override { return true; }
    bool ApplyEntry(int index, HopRecord& row) override {
      if (index < 1 || index > 6) return false;
      // The destination probe finishes while hop 3 is replayed.
      if (index == 3) WaitFor([&] { return engine.State().destinationReady.load() == 1; });
      row.address = index == 6 ? kTarget : Router(index);
      row.status = index == 6 ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT;
      row.lastRtt = 20;
      row.SetStage(HopStage::Probed);
      return true;
    }
    TraceEngine& engine;
  } recorded(*engine);
  engine->Context().history = &recorded;
  net.answer = [](uint32_t dst, int) -> Answer { return Reply(dst, IP_SUCCESS); };
  Trace("198.18.9.1");
  engine->Context().history = nullptr;

  auto rows = Rows();
  ASSERT_EQ(rows.size(), 7u);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(rows[i]->address, Router(i)) << i;
  EXPECT_EQ(rows[6]->address, kTarget);
  EXPECT_EQ(net.SendsWithTtl(1), 0);  // replayed hops are not probed
}

TEST_F(ControllerTest, IsLoopOrLimitLooksSixOrMoreRowsBack) {
  net.answer = [](uint32_t, int ttl) -> Answer {
    static const int route[] = {0, 1, 2, 3, 4, 5, 1, 7, 2, 9, 9};  // row 6 repeats row 1 only 5 back
    return Reply(Router(route[std::min(ttl, 10)]), ttl >= 10 ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT);
  };
  HoldDestinationProbe();
  Trace("198.18.9.1");
  auto rows = Rows();
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(rows[6]->status, IP_TTL_EXPIRED_TRANSIT);  // 5 rows back is not a loop
  EXPECT_EQ(rows[8]->status, IP_DEST_HOST_UNREACHABLE);  // 6 rows back is
  EXPECT_EQ(rows.size(), 10u);
}

}  // namespace
}  // namespace hs::test
