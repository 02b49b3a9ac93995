// The results list: one row per hop of the trace shown, with the hop number,
// address, name, last round-trip time and network. Twelve columns are
// defined and the five with a cell text are shown. A refresh writes only
// the cells whose text changed, so unchanged cells never flicker; the list
// is never sorted.
//
// Our additions beside them: a thirteenth column, "AS", shown after the five
// (the hop's autonomous system from the AS table); a mark on the "#" cell of
// every hop whose position was judged against its round-trip time; and a mark
// on the "IP Address" cell of every hop that changed since the recorded trace
// of the target. Each mark has a tip that says why.
#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "trace/records.h"
#include "ui/texts.h"

namespace hs::asn {
class AsLookup;
}

namespace hs::ui {

struct ListColumn {
  int id;
  TextId title;
  bool visible;
  bool rightAligned;
};
// Columns 0-11 in id order, then our column 12, "AS".
inline constexpr int kAsColumn = 12;
const std::array<ListColumn, 13>& ListColumns();

// The route of the target as the trace history recorded it: the address of
// each row (0: no reply), keyed by the target's address.
struct RecordedRoute {
  uint32_t target = 0;
  std::vector<uint32_t> addresses;
  int64_t time = 0;  // when it was recorded, seconds since 1970
};

class ResultsList : public QTreeWidget {
 public:
  explicit ResultsList(QWidget* parent = nullptr);

  // Brings every row up to date with `rows`, the hops of the trace `traceId`.
  // Another trace than the one shown last clears the list first.
  void RefreshAll(const std::vector<HopRef>& rows, uint64_t traceId);
  // Brings one row up to date (the hop number included), widths unchanged.
  void RefreshRow(const std::vector<HopRef>& rows, int index);

  // The AS column's source (none: the column stays "-----").
  void SetAsLookup(const asn::AsLookup* as) { as_ = as; }
  // The recorded route that changed hops are marked against, and the address
  // of the target shown (from the title): marks appear only while the two
  // belong to the same target, and only once `routeSettled` says the rows
  // stand in their final order (not while the destination row is kept last).
  void SetRecordedRoute(RecordedRoute route);
  void SetTargetAddress(uint32_t address) { targetAddress_ = address; }
  void SetRouteSettled(std::function<bool()> settled) { routeSettled_ = std::move(settled); }

  // Column ids in display order.
  const std::vector<int>& VisibleColumns() const { return visible_; }
  // The text of one cell of a hop, by column id.
  QString CellText(const HopRecord& row, int columnId) const;
  // The mark a cell shows (HopMark as int: 0 none, 1 plausible, 2
  // implausible, 3 changed).
  int MarkOf(int row, int column) const;
  // Cells written since the list was made: a refresh without changes adds none.
  uint64_t CellWrites() const { return cellWrites_; }

 private:
  void UpdateRow(QTreeWidgetItem* item, const std::vector<HopRef>& rows, int index, bool firstColumnToo);
  // Sets a cell's mark and tip when they differ from what it shows.
  void SetMark(QTreeWidgetItem* item, int column, int mark, const QString& tip);

  std::vector<int> visible_;
  const asn::AsLookup* as_ = nullptr;
  RecordedRoute recorded_;
  uint32_t targetAddress_ = 0;
  std::function<bool()> routeSettled_;
  std::array<QIcon, 4> icons_;
  uint64_t shownTrace_ = UINT64_MAX - 1;
  uint64_t cellWrites_ = 0;
};

}  // namespace hs::ui
