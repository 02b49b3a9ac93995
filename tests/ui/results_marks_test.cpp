// Our additions to the results list: the AS column, the plausibility mark on
// the "#" cell and the changed-hop mark on the "IP Address" cell, with tips.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "asn/as_table.h"
#include "ui/hop_marks.h"
#include "ui/results_list.h"

namespace hs::ui {
namespace {

constexpr GeoLocation kBerlin{LocationSource::Home, 52.52, 13.405, 240};
constexpr GeoLocation kSydney{LocationSource::Server, -33.8688, 151.2093, 160};

HopRef Row(int n, const char* address, uint32_t rtt, GeoLocation where = {}) {
  HopRef r = HopRef::Create();
  r->hopNumber = n;
  r->address = inet_addr(address);
  r->lastRtt = rtt;
  r->sentCount = 1;
  r->status = IP_TTL_EXPIRED_TRANSIT;
  r->SetStage(HopStage::Probed);
  r->SetLocation(where);
  return r;
}

class ResultsMarks : public ::testing::Test {
 protected:
  ResultsMarks() {
    rows = {Row(0, "192.168.1.10", 0, kBerlin), Row(1, "8.8.8.8", 2, kSydney), Row(2, "8.8.4.4", 400, kSydney),
            Row(3, "9.9.9.9", kNoTime, kSydney), Row(4, "1.1.1.1", 9)};
  }
  int Column(int id) const {
    const auto& v = list.VisibleColumns();
    return int(std::find(v.begin(), v.end(), id) - v.begin());
  }
  QTreeWidgetItem* Item(int i) { return list.topLevelItem(i); }
  ResultsList list;
  std::vector<HopRef> rows;
};

TEST_F(ResultsMarks, TheAsColumnComesAfterTheFiveAndNamesEachHopsNetwork) {
  const asn::AsLookup as(*asn::AsTable::FromBytes(asn::WriteAsTable({{0x08080800, 0x080808FF, 15169, "Google LLC"}})));
  list.SetAsLookup(&as);
  list.RefreshAll(rows, 1);
  EXPECT_EQ(list.VisibleColumns(), (std::vector<int>{0, 1, 2, 3, 10, kAsColumn}));
  EXPECT_EQ(Item(1)->text(5), "AS15169 Google LLC");
  EXPECT_EQ(Item(0)->text(5), "-----");  // a private address
  EXPECT_EQ(Item(2)->text(5), "-----");  // not in this table
}

TEST_F(ResultsMarks, JudgedPositionsAreMarkedWithTheirReasonAndOthersAreExplainedOrLeftAlone) {
  list.RefreshAll(rows, 1);
  EXPECT_TRUE(Item(1)->toolTip(0).startsWith("Implausible position")) << Item(1)->toolTip(0).toStdString();
  EXPECT_TRUE(Item(1)->toolTip(0).contains("2 ms")) << Item(1)->toolTip(0).toStdString();
  EXPECT_TRUE(Item(2)->toolTip(0).startsWith("Plausible position"));
  // Not judged: no mark, a tip that says why; a hop without position: neither.
  EXPECT_EQ(list.MarkOf(3, 0), 0);
  EXPECT_EQ(Item(3)->toolTip(0), "Position not judged: the hop has no round-trip time.");
  EXPECT_TRUE(Item(0)->toolTip(0).startsWith("Your home location"));
  EXPECT_EQ(list.MarkOf(4, 0), 0);
  EXPECT_TRUE(Item(4)->toolTip(0).isEmpty());
  // Different marks for the two verdicts.
  EXPECT_EQ(list.MarkOf(1, 0), int(HopMark::Implausible));
  EXPECT_EQ(list.MarkOf(2, 0), int(HopMark::Plausible));
  EXPECT_NE(Item(1)->icon(0).pixmap(12).toImage(), Item(2)->icon(0).pixmap(12).toImage());
  // The built-in home judges nothing.
  rows[0]->SetLocation(kDefaultHomeLocation);
  list.RefreshAll(rows, 1);
  EXPECT_EQ(list.MarkOf(1, 0), 0);
  EXPECT_EQ(Item(1)->toolTip(0), "Position not judged: no home location is set.");
}

TEST_F(ResultsMarks, ChangedHopsAreMarkedOnlyForTheSameTargetAndOnceTheRouteIsSettled) {
  const uint32_t target = inet_addr("1.1.1.1");
  bool settled = false;
  list.SetRouteSettled([&] { return settled; });
  list.SetTargetAddress(target);
  list.SetRecordedRoute({target, {inet_addr("192.168.1.10"), inet_addr("8.8.8.8"), 0, inet_addr("9.9.9.9")}, 0});
  list.RefreshAll(rows, 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.MarkOf(i, 1), 0) << i;
  settled = true;
  list.RefreshAll(rows, 1);
  EXPECT_EQ(list.MarkOf(1, 1), 0);
  EXPECT_NE(list.MarkOf(2, 1), 0);  // was no reply
  EXPECT_TRUE(Item(2)->toolTip(1).endsWith("this hop was no reply.")) << Item(2)->toolTip(1).toStdString();
  EXPECT_EQ(list.MarkOf(3, 1), 0);
  EXPECT_NE(list.MarkOf(4, 1), 0);  // beyond the recorded route's end
  EXPECT_TRUE(Item(4)->toolTip(1).endsWith("this hop was not part of the route."));
  list.SetTargetAddress(inet_addr("8.8.4.4"));
  list.RefreshAll(rows, 1);
  EXPECT_EQ(list.MarkOf(2, 1), 0);
  // The first trace of a target: no recorded route, no hop changed.
  list.SetRecordedRoute({inet_addr("8.8.4.4"), {}, 0});
  list.RefreshAll(rows, 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.MarkOf(i, 1), 0) << i;
}

}  // namespace
}  // namespace hs::ui
