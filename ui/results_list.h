// The results list: one row per hop of the trace shown, with the hop number,
// address, name, last round-trip time and network. Twelve columns are
// defined and the five with a cell text are shown. A refresh writes only
// the cells whose text changed, so unchanged cells never flicker; the list
// is never sorted.
#pragma once

#include <QTreeWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "trace/records.h"
#include "ui/texts.h"

namespace hs::ui {

struct ListColumn {
  int id;
  TextId title;
  bool visible;
  bool rightAligned;
};
// Columns 0-11 in id order.
const std::array<ListColumn, 12>& ListColumns();

class ResultsList : public QTreeWidget {
 public:
  explicit ResultsList(QWidget* parent = nullptr);

  // Brings every row up to date with `rows`, the hops of the trace `traceId`.
  // Another trace than the one shown last clears the list first.
  void RefreshAll(const std::vector<HopRef>& rows, uint64_t traceId);
  // Brings one row up to date (the hop number included), widths unchanged.
  void RefreshRow(const std::vector<HopRef>& rows, int index);

  // Column ids in display order.
  const std::vector<int>& VisibleColumns() const { return visible_; }
  // The text of one cell of a hop, by column id.
  static QString CellText(const HopRecord& row, int columnId);
  // Cells written since the list was made: a refresh without changes adds none.
  uint64_t CellWrites() const { return cellWrites_; }

 private:
  void UpdateRow(QTreeWidgetItem* item, const HopRecord& row, bool firstColumnToo);

  std::vector<int> visible_;
  uint64_t shownTrace_ = UINT64_MAX - 1;
  uint64_t cellWrites_ = 0;
};

}  // namespace hs::ui
