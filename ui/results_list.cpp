#include "ui/results_list.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "asn/as_table.h"
#include "geo/plausibility.h"
#include "trace/hop_cells.h"
#include "ui/hop_marks.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

// The item role that holds the mark a cell shows (a HopMark).
constexpr int kMarkRole = Qt::UserRole + 1;
// A cell without a mark and without the room for one.
constexpr int kNoMarkSpace = -1;

// Shows a cell's own tip (the reason behind its mark) and the whole text of
// a cell that is cut off; nothing else.
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
    const bool cut = !text.isEmpty() && needed > view->visualRect(index).width();
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty()) {
      QToolTip::showText(event->globalPos(), cut ? text + "\n" + own : own, view);
    } else if (cut) {
      QToolTip::showText(event->globalPos(), text, view);
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
};

}  // namespace

const std::array<ListColumn, 13>& ListColumns() {
  static const std::array<ListColumn, 13> columns{{
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
      {kAsColumn, TextId::ColumnAs, true, false},
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
  for (HopMark m : {HopMark::None, HopMark::Plausible, HopMark::Implausible, HopMark::Changed})
    icons_[size_t(m)] = MarkIcon(m);
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

QString ResultsList::CellText(const HopRecord& row, int columnId) const {
  switch (columnId) {
    case 0: return FromWire(HopCellText(row, HopColumn::Number));
    case 1: return FromWire(HopCellText(row, HopColumn::Address));
    case 2: return FromWire(HopCellText(row, HopColumn::Name));
    case 3: return FromWire(HopCellText(row, HopColumn::RoundTrip));
    case 10: return FromWire(HopCellText(row, HopColumn::Network));
    case kAsColumn: {
      const uint32_t address = row.address;
      const std::optional<asn::AsInfo> as = as_ && address ? as_->Find(address) : std::nullopt;
      return as ? QString::fromStdString(asn::AsText(*as)) : QStringLiteral("-----");
    }
    default: return {};
  }
}

int ResultsList::MarkOf(int row, int column) const {
  const QTreeWidgetItem* item = row >= 0 && row < topLevelItemCount() ? topLevelItem(row) : nullptr;
  return item ? std::max(0, item->data(column, kMarkRole).toInt()) : 0;
}

void ResultsList::SetRecordedRoute(RecordedRoute route) {
  recorded_ = std::move(route);
  for (int i = 0; i < topLevelItemCount(); ++i) topLevelItem(i)->setData(1, kMarkRole, QVariant());
}

void ResultsList::SetMark(QTreeWidgetItem* item, int column, int mark, const QString& tip) {
  const QVariant shown = item->data(column, kMarkRole);
  if (shown.isValid() && shown.toInt() == mark && item->data(column, Qt::ToolTipRole).toString() == tip) return;
  item->setData(column, kMarkRole, mark);
  // kNoMarkSpace: no icon at all; None: a blank one, so that the texts of a
  // column where some rows carry marks stay aligned.
  item->setIcon(column, mark == kNoMarkSpace ? QIcon() : icons_[size_t(mark)]);
  item->setToolTip(column, tip);
  ++cellWrites_;
}

void ResultsList::UpdateRow(QTreeWidgetItem* item, const std::vector<HopRef>& rows, int index, bool firstColumnToo) {
  const HopRecord& row = *rows[size_t(index)];
  for (int i = firstColumnToo ? 0 : 1; i < int(visible_.size()); ++i) {
    const QString text = CellText(row, visible_[size_t(i)]);
    if (item->text(i) == text) continue;
    item->setText(i, text);
    ++cellWrites_;
  }
  // The position against the round-trip time, judged from row 0's home.
  geo::PositionVerdict verdict;
  if (index == 0) verdict.because = geo::NotJudgedBecause::IsHome;
  else if (rows[0]) verdict = geo::JudgePosition(rows[0]->Location(), row.Location(), geo::ShownRoundTrip(row));
  const bool hasPosition = row.Location().HasSource();
  SetMark(item, 0, int(PlausibilityMark(verdict)), hasPosition ? PlausibilityTip(verdict) : QString());
  // The address against the recorded route of the same target.
  // A target without a recorded trace has nothing to compare against.
  const bool comparing = recorded_.target != 0 && recorded_.target == targetAddress_ &&
                         !recorded_.addresses.empty() && (!routeSettled_ || routeSettled_());
  bool changed = false;
  std::optional<uint32_t> before;
  if (comparing && row.Stage() != HopStage::Created) {
    if (size_t(index) < recorded_.addresses.size()) before = recorded_.addresses[size_t(index)];
    changed = before != row.address.load();
  }
  SetMark(item, 1, changed ? int(HopMark::Changed) : comparing ? int(HopMark::None) : kNoMarkSpace,
          changed ? ChangedHopTip(before, recorded_.time) : QString());
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
    if (rows[size_t(i)]) UpdateRow(topLevelItem(i), rows, i, false);
  for (int c = 0; c + 1 < int(visible_.size()); ++c) resizeColumnToContents(c);
}

void ResultsList::RefreshRow(const std::vector<HopRef>& rows, int index) {
  if (index < 0 || index >= int(rows.size()) || index >= topLevelItemCount() || !rows[size_t(index)]) return;
  UpdateRow(topLevelItem(index), rows, index, true);
}

}  // namespace hs::ui
