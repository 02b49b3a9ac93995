#include "ui/results_list.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "trace/hop_cells.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

// Shows the whole text of a cell that is cut off, and only then.
class CutOffTipDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // A little air between the rows: the list is read for long stretches.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(8, 6);
  }
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const int needed = QStyledItemDelegate::sizeHint(opt, index).width();
    if (!text.isEmpty() && needed > view->visualRect(index).width()) {
      QToolTip::showText(event->globalPos(), text, view);
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
};

}  // namespace

const std::array<ListColumn, 12>& ListColumns() {
  static const std::array<ListColumn, 12> columns{{
      {0, TextId::ColumnNumber, true, false},
      {1, TextId::ColumnAddress, true, false},
      {2, TextId::ColumnName, true, false},
      {3, TextId::ColumnRoundTrip, true, true},
      {4, TextId::ColumnAverage, false, true},
      {5, TextId::ColumnMinimum, false, true},
      {6, TextId::ColumnMaximum, false, true},
      {7, TextId::ColumnSent, false, true},
      {8, TextId::ColumnDropped, false, true},
      {9, TextId::ColumnLoss, false, true},
      {10, TextId::ColumnNetwork, true, false},
      {11, TextId::ColumnGraph, false, false},
  }};
  return columns;
}

ResultsList::ResultsList(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSortingEnabled(false);
  setAlternatingRowColors(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new CutOffTipDelegate(this));
  setTextElideMode(Qt::ElideRight);
  setFrameShape(QFrame::NoFrame);
  // Rows can be selected with the mouse; the list never takes the keyboard
  // focus, so no focus frame sits on a cell of its own accord.
  setFocusPolicy(Qt::NoFocus);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  for (const ListColumn& c : ListColumns())
    if (c.visible) visible_.push_back(c.id);
  QStringList titles;
  for (int id : visible_) titles << UiText(ListColumns()[size_t(id)].title);
  setColumnCount(int(visible_.size()));
  setHeaderLabels(titles);
  header()->setSectionsClickable(false);
  header()->setSortIndicatorShown(false);
  header()->setStretchLastSection(true);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int i = 0; i < int(visible_.size()); ++i) {
    if (ListColumns()[size_t(visible_[size_t(i)])].rightAligned)
      headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
  }
}

QString ResultsList::CellText(const HopRecord& row, int columnId) {
  switch (columnId) {
    case 0: return FromWire(HopCellText(row, HopColumn::Number));
    case 1: return FromWire(HopCellText(row, HopColumn::Address));
    case 2: return FromWire(HopCellText(row, HopColumn::Name));
    case 3: return FromWire(HopCellText(row, HopColumn::RoundTrip));
    case 10: return FromWire(HopCellText(row, HopColumn::Network));
    default: return {};
  }
}

void ResultsList::UpdateRow(QTreeWidgetItem* item, const HopRecord& row, bool firstColumnToo) {
  for (int i = firstColumnToo ? 0 : 1; i < int(visible_.size()); ++i) {
    const QString text = CellText(row, visible_[size_t(i)]);
    if (item->text(i) == text) continue;
    item->setText(i, text);
    ++cellWrites_;
  }
}

void ResultsList::RefreshAll(const std::vector<HopRef>& rows, uint64_t traceId) {
  if (traceId != shownTrace_) {
    clear();
    shownTrace_ = traceId;
  }
  // Surplus rows stay until another trace is shown.
  for (int i = topLevelItemCount(); i < int(rows.size()); ++i) {
    auto* item = new QTreeWidgetItem();
    for (int c = 0; c < int(visible_.size()); ++c)
      if (ListColumns()[size_t(visible_[size_t(c)])].rightAligned)
        item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(0, QString::number(i + 1));
    ++cellWrites_;
    addTopLevelItem(item);
  }
  for (int i = 0; i < int(rows.size()); ++i)
    if (rows[size_t(i)]) UpdateRow(topLevelItem(i), *rows[size_t(i)], false);
  for (int c = 0; c + 1 < int(visible_.size()); ++c) resizeColumnToContents(c);
}

void ResultsList::RefreshRow(const std::vector<HopRef>& rows, int index) {
  if (index < 0 || index >= int(rows.size()) || index >= topLevelItemCount() || !rows[size_t(index)]) return;
  UpdateRow(topLevelItem(index), *rows[size_t(index)], true);
}

}  // namespace hs::ui
