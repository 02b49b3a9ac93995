// The main window against a real engine on a scripted network: the bottom
// bar's rules through QTest mouse events, tab availability, the panels, the
// status strip, placement and the minimum size, and a window that stays
// responsive while a lookup stalls.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include "map/map_widget.h"
#include "scripted.h"
#include "ui/main_window.h"
#include "ui/progress_bar.h"
#include "ui/results_list.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

using test::Answer;
using test::Ip;

const uint32_t kTarget = Ip("198.18.7.2");
uint32_t Router(int n) { return htonl(0xC6120100u + uint32_t(n)); }  // 198.18.1.n

class RecordingBoxes final : public MessageBoxes {
 public:
  int ShowOwnBox(const std::string&, const std::string&, int) override { return kBoxOk; }
  void ShowTargetError(int box) override { targetErrors.push_back(box); }
  void ShowDatabaseOpenFailed() override {}
  void ShowDatabaseInvalid(int) override {}
  void ShowDatabaseNeedsUpdate() override {}
  void ShowServersUnreachable() override {}
  bool AskNewVersion() override { return false; }
  bool ShowUpdateInformation(const std::string&) override { return false; }
  std::vector<int> targetErrors;
};

// Every probed row gets the network answer; the route request may stall like
// a location server that stopped answering.
class ScriptedLookups final : public HopLookups {
 public:
  void StartNetworkLookup(const HopRef& row, const CancellationWatch&, const PendingQueries&) override {
    if (networkText && row->address != 0) {
      row->SetWhoisText(networkText);
      row->SetNetName("NET-LAB-1");
    }
  }
  bool LocateRoute(const std::vector<HopRef>&, const CancellationWatch& watch) override {
    if (!stall) return false;
    stalled = true;
    test::WaitUntil([&] { return release.load() || !watch.IsCurrent(); });
    return false;
  }
  std::shared_ptr<const std::string> networkText;
  std::atomic<bool> stall{false}, stalled{false}, release{false};
};

// The scripted network's gates wait on the test hub: whatever ends a gate
// (a stop, a release) is announced to it.
void Announce() { test::Changes().Notify(); }

const map::MapTable& Maps() {
  static map::MapTable* maps = [] {
    auto* m = new map::MapTable;
    m->LoadAll(HOPSIGHT_MAPS_DIR, nullptr);
    return m;
  }();
  return *maps;
}

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    net.answer = [](uint32_t dst, int ttl) -> Answer {
      if (ttl == 2) return std::nullopt;  // a silent router
      if (ttl >= 4) return platform::IcmpEchoReply{dst, IP_SUCCESS};
      return platform::IcmpEchoReply{Router(ttl), IP_TTL_EXPIRED_TRANSIT};
    };
    TraceEngine::Platform p;
    p.openIcmp = [this] { return net.Open(); };
    p.resolver = &resolver;
    p.clock = [this] { return net.clock(); };
    p.sleep = [this](uint32_t ms) { net.clock.now += ms; };
    engine = std::make_unique<TraceEngine>(std::move(p));
    engine->SetLookups(&lookups);
    window = std::make_unique<MainWindow>(*engine, Maps(), nullptr, settings, boxes);
    window->SetRegistrantSource([this](const HopRecord& row) -> std::shared_ptr<const std::string> {
      return row.address == kTarget ? registrant : nullptr;
    });
    window->resize(900, 600);
    window->show();
  }
  ~WindowTest() override {
    lookups.release = true;
    engine->Shutdown();
    Announce();
    EXPECT_TRUE(engine->WaitIdle(std::chrono::seconds(20)));
    EXPECT_TRUE(window->WaitStartsIdle(std::chrono::seconds(20)));
    window.reset();
    engine.reset();
  }

  void Trace(const std::string& target = "198.18.7.2") {
    engine->SetTargetText(target);
    window->StartTrace();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->TraceActive() && engine->WaitIdle({}); }, 20000));
    QCoreApplication::processEvents();
  }
  QPoint Centre(int item) const { return window->Layout().Spot(item).rect.center(); }
  void Click(QPoint p) { QTest::mouseClick(window.get(), Qt::LeftButton, {}, p); }
  // A point of the bottom bar outside every hot spot.
  QPoint EmptyBarPoint() const { return {window->width() / 2 + 60, window->height() - 40}; }

  test::ScriptedNetwork net;
  test::ScriptedResolver resolver;
  ScriptedLookups lookups;
  config::Settings settings;
  RecordingBoxes boxes;
  std::shared_ptr<const std::string> registrant;
  std::unique_ptr<TraceEngine> engine;
  std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, AHandedOverTargetIsTracedOnTheMapAndARequestWithoutOneOnlyInterrupts) {
  window->Activate(kListItem);
  window->HandOverTrace("198.18.7.2");
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle().startsWith("Event Trace: 198.18.7.2"); }, 10000));
  EXPECT_EQ(window->Mode(), kShowMap);
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(10)));
  EXPECT_EQ(engine->Table().RowCount(), 5);

  // The next trace hangs at its first hop until the request stops it.
  net.beforeReply = [this](const test::Send& send) {
    if (send.ttl == 1) test::WaitUntil([&] { return !engine->Running(); });
  };
  window->Activate(kListItem);
  window->StartTrace();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine->Running(); }, 10000));
  window->HandOverTrace("");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->Running(); }, 5000));
  Announce();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->EventLine() == "   Trace engine"; }, 5000));
  EXPECT_EQ(window->Mode(), kShowList);
}

TEST_F(WindowTest, ATabActsWhenReleasedOverItselfAndNotTwiceInARow) {
  Click(Centre(kListItem));
  EXPECT_EQ(window->Mode(), kShowList);
  EXPECT_TRUE(window->List()->isVisible());

  QTest::mousePress(window.get(), Qt::LeftButton, {}, Centre(kMapItem));
  EXPECT_EQ(window->Pressed(), kMapItem);
  QTest::mouseRelease(window.get(), Qt::LeftButton, {}, EmptyBarPoint());
  EXPECT_EQ(window->Mode(), kShowList);
  EXPECT_EQ(window->Pressed(), kListItem);  // back to the item pressed before
  // Neighbouring tabs share an edge: it belongs to the right-hand one.
  EXPECT_EQ(window->Layout().HitTest(window->Layout().Spot(kListItem).rect.topLeft(), false, false), kListItem);

  window->Activate(kMapItem);  // the map comes back without a click
  Click(Centre(kListItem));
  EXPECT_EQ(window->Mode(), kShowMap);
  Click(Centre(kMapItem));
  Click(Centre(kListItem));
  EXPECT_EQ(window->Mode(), kShowList);
}

// The route request hangs like a location server that stopped answering:
// rows still arrive, the panels switch, and Start/Stop stops at once.
TEST_F(WindowTest, StartStopActsOnEveryClickAndStopsAtOnceWhileTheLocationServerStalls) {
  lookups.stall = true;
  engine->SetTargetText("198.18.7.2");
  window->Activate(kListItem);
  Click(Centre(kStartStopItem));
  EXPECT_EQ(window->Mode(), kShowMap);  // starting shows the map
  ASSERT_TRUE(QTest::qWaitFor([&] { return lookups.stalled.load(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Progress()->isVisible(); }, 10000));
  Click(Centre(kListItem));
  EXPECT_EQ(window->Mode(), kShowList);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->List()->topLevelItemCount() == 5; }, 5000));
  window->List()->scrollToItem(window->List()->topLevelItem(4));
  window->repaint();

  Click(Centre(kStartStopItem));
  EXPECT_FALSE(engine->Running());
  Announce();
  EXPECT_FALSE(window->Progress()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->EventLine() == "   Trace interrupted"; }, 5000));
  ASSERT_TRUE(engine->WaitIdle(std::chrono::seconds(10)));  // the stalled request saw the stop

  QTest::mousePress(window.get(), Qt::LeftButton, {}, Centre(kStartStopItem));
  QTest::mouseRelease(window.get(), Qt::LeftButton, {}, Centre(kStartStopItem));
  EXPECT_TRUE(window->TraceActive());  // pressed before was Start/Stop too: it still acts
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine->Running(); }, 10000));
  Click(Centre(kStartStopItem));
  EXPECT_FALSE(engine->Running());
  Announce();
}

TEST_F(WindowTest, WithOnlyTheNetworkTextTheNetworkTabTakesTheThirdPlace) {
  lookups.networkText = std::make_shared<const std::string>("Lab Networks (NET-LAB-1)\nNetRange: 198.18.0.0\n");
  EXPECT_FALSE(window->NetworkAvailable());
  EXPECT_EQ(window->Layout().HitTest(Centre(kNetworkItem), false, false), kRegistrantUnavailable);
  Trace();
  EXPECT_TRUE(window->NetworkAvailable());
  EXPECT_FALSE(window->RegistrantAvailable());
  const BarLayout layout = window->Layout();
  const QPoint third = layout.Spot(kRegistrantItem).rect.center();
  EXPECT_EQ(layout.Spot(kNetworkItem).rect, layout.Spot(kRegistrantItem).rect);
  const QPoint fourth = third + QPoint(123, 0);
  EXPECT_EQ(layout.HitTest(fourth, false, true), kNoItem);  // the fourth place is empty

  Click(third);
  EXPECT_EQ(window->Mode(), kShowNetwork);
  EXPECT_TRUE(window->TextPanel()->isVisible());
  EXPECT_FALSE(window->Map()->isVisible());
  EXPECT_EQ(window->TextPanel()->toPlainText(), "\nLab Networks (NET-LAB-1)\nNetRange: 198.18.0.0\n");
}

TEST_F(WindowTest, TheRegistrantPanelShowsTheDomainAnswerFromRegistrantOn) {
  lookups.networkText = std::make_shared<const std::string>("NetRange: 198.18.0.0\r\nOrgName: Lab\r\n");
  registrant = std::make_shared<const std::string>("Domain: lab.test\nRegistrant Name: Lab Owner\nRegistrant Org: Lab\n");
  Trace();
  ASSERT_TRUE(window->RegistrantAvailable());
  ASSERT_TRUE(window->NetworkAvailable());
  EXPECT_EQ(window->Layout().HitTest(Centre(kNetworkItem), true, false), kNetworkUnavailable);

  Click(Centre(kRegistrantItem));
  EXPECT_EQ(window->Mode(), kShowRegistrant);
  EXPECT_EQ(window->TextPanel()->toPlainText(), "\nRegistrant Name: Lab Owner\nRegistrant Org: Lab\n");
  Click(Centre(kNetworkItem));
  EXPECT_EQ(window->Mode(), kShowNetwork);
  // An answer with its own carriage returns shows each line once.
  EXPECT_EQ(window->TextPanel()->toPlainText(), "\nNetRange: 198.18.0.0\nOrgName: Lab\n");
}

TEST_F(WindowTest, ARouteThatEndsShortOfTheTargetHasNoTextTabs) {
  lookups.networkText = std::make_shared<const std::string>("NetRange: 198.18.0.0\n");
  registrant = std::make_shared<const std::string>("Registrant: somebody\n");
  net.answer = [](uint32_t, int ttl) -> Answer {
    if (ttl >= 3) return platform::IcmpEchoReply{Router(ttl), IP_DEST_HOST_UNREACHABLE};
    return platform::IcmpEchoReply{Router(ttl), IP_TTL_EXPIRED_TRANSIT};
  };
  Trace();
  EXPECT_FALSE(window->RegistrantAvailable());
  EXPECT_FALSE(window->NetworkAvailable());
  Click(Centre(kRegistrantItem));
  EXPECT_EQ(window->Mode(), kShowMap);
}

TEST(PanelText, StartsAtRegistrantWithCarriageReturnsBeforeEveryLineFeed) {
  EXPECT_EQ(PanelText("Domain: x\nRegistrant: A\nOrg: B\n"), "\r\nRegistrant: A\r\nOrg: B\r\n");
  EXPECT_EQ(PanelText("no owner line\nat all"), "\r\nno owner line\r\nat all");
  EXPECT_EQ(PanelText(""), "\r\n");
}

TEST(WireText, ValidUtf8IsKeptAndOtherBytesReadAsLatin1) {
  EXPECT_EQ(FromWire("Z\xc3\xbcrich"), QString::fromUtf8("Zürich"));
  EXPECT_EQ(FromWire("Z\xfcrich"), QString::fromUtf8("Zürich"));
}

// The list's cells, rewritten only where they changed, and the hops that
// changed since the recorded trace of this target (its row 2 answered then).
TEST_F(WindowTest, TheListRewritesOnlyChangedCellsAndMarksHopsThatChangedSinceTheRecordedTrace) {
  window->List()->SetRecordedRoute({kTarget, {0, Router(1), Router(2), Router(3), kTarget}, 1700000000});
  Trace();
  Click(Centre(kListItem));
  ResultsList* list = window->List();
  ASSERT_EQ(list->columnCount(), 6);  // the five of the results list, then our AS column
  const std::vector<HopRef> rows = engine->Table().Snapshot();
  ASSERT_EQ(list->topLevelItemCount(), 5);
  EXPECT_EQ(list->topLevelItem(1)->text(1), "198.18.1.1");
  EXPECT_EQ(list->topLevelItem(1)->text(3), "7 ");
  EXPECT_EQ(list->topLevelItem(2)->text(3), "-- ");  // the silent router
  EXPECT_EQ(list->topLevelItem(1)->textAlignment(3) & Qt::AlignRight, Qt::AlignRight);
  for (int i : {0, 1, 3, 4}) EXPECT_EQ(list->MarkOf(i, 1), 0) << i;
  EXPECT_EQ(list->MarkOf(2, 1), 3);
  EXPECT_TRUE(list->topLevelItem(2)->toolTip(1).contains("198.18.1.2")) << list->topLevelItem(2)->toolTip(1).toStdString();

  const uint64_t trace = engine->Table().Generation();
  const uint64_t writes = list->CellWrites();
  list->RefreshAll(rows, trace);
  EXPECT_EQ(list->CellWrites(), writes);
  rows[1]->SetName("r1.lab.test");
  list->RefreshAll(rows, trace);
  EXPECT_EQ(list->CellWrites(), writes + 1);
  EXPECT_EQ(list->topLevelItem(1)->text(2), "r1.lab.test");

  // Another trace clears the rows first.
  list->RefreshAll({rows[0]}, trace + 1);
  EXPECT_EQ(list->topLevelItemCount(), 1);
}

TEST_F(WindowTest, TheProgressBarNeverMovesBackUntilAReset) {
  engine->Status().SetStatus(std::string("one"), 5);
  engine->Status().SetStatus(std::string("two"), 8);
  engine->Status().SetStatus(std::string("three"), 7);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->EventLine() == "   three"; }, 5000));
  EXPECT_EQ(window->Progress()->Value(), 8);
  engine->Status().SetStatus(std::string("four"), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->EventLine() == "   four"; }, 5000));
  EXPECT_EQ(window->Progress()->Value(), 0);
}

TEST_F(WindowTest, TheWindowStopsAtItsMinimumSizeWithAllTabsClearOfStartStop) {
  window->resize(100, 100);
  const QSize minimum = window->size();
  EXPECT_GT(minimum.width(), 100);
  EXPECT_GT(minimum.height(), 100);
  EXPECT_EQ(minimum, window->minimumSize());
  // At that width, the fourth tab still ends before the Start/Stop button.
  const BarLayout layout = BarLayout::Compute(minimum, true, true);
  EXPECT_LE(layout.Spot(kNetworkItem).rect.right(), layout.Spot(kStartStopItem).rect.left());
  EXPECT_GE(window->PanelRect().height(), 250);
}

TEST_F(WindowTest, TheWheelZoomsTheMapAboutItsCentre) {
  window->Activate(kMapItem);
  map::MapView& view = window->Map()->View();
  const int32_t scale = view.scale;
  ASSERT_GT(scale, view.minScale);
  // The map passes the wheel on to the window (a sent event does not propagate).
  const QPointF at = window->Map()->geometry().center();
  QWheelEvent forward(at, window->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(window.get(), &forward);
  EXPECT_EQ(view.scale, scale / 2);
  QWheelEvent half(at, window->mapToGlobal(at), {}, {0, -60}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(window.get(), &half);
  EXPECT_EQ(view.scale, scale / 2);  // half a notch does nothing yet
  QApplication::sendEvent(window.get(), &half);
  EXPECT_EQ(view.scale, scale);
  window->Activate(kListItem);
  QApplication::sendEvent(window.get(), &forward);
  EXPECT_EQ(view.scale, scale);  // only while the map is shown
}

TEST(WindowPlacement, ARectangleOnTheDesktopIsUsedAndOneOffItFallsBackToEightyPercentOfIt) {
  test::ScriptedResolver resolver;
  TraceEngine::Platform p;
  p.resolver = &resolver;
  TraceEngine engine(std::move(p));
  RecordingBoxes boxes;
  config::Settings settings;
  settings.window = {20, 30, 620, 430};
  {
    MainWindow window(engine, Maps(), nullptr, settings, boxes);
    window.PlaceAndShow();
    EXPECT_EQ(window.geometry(), QRect(20, 30, 600, 400));
  }
  settings.window = {-9000, -9000, -8000, -8200};
  MainWindow window(engine, Maps(), nullptr, settings, boxes);
  window.PlaceAndShow();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect expected(area.left() + area.width() / 10, area.top() + area.height() / 10, area.width() * 8 / 10,
                       area.height() * 8 / 10);
  EXPECT_EQ(window.geometry(), expected);
  EXPECT_EQ(settings.window, (std::array<int32_t, 4>{expected.left(), expected.top(),
                                                     expected.left() + expected.width(),
                                                     expected.top() + expected.height()}));
  window.setGeometry(30, 40, 700, 500);
  EXPECT_EQ(window.Placement().rect, (std::array<int32_t, 4>{30, 40, 730, 540}));
  EXPECT_EQ(settings.window, window.Placement().rect);
  EXPECT_FALSE(window.Placement().maximized);
}

}  // namespace
}  // namespace hs::ui
