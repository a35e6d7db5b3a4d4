#include "ui/sheet_model.h"

#include <QSize>

#include <algorithm>

namespace vm::ui {

namespace {

constexpr std::size_t kShownCellBytes = 4096;

QString qtext(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

SheetTableModel::SheetTableModel(Sheet& sheet, QObject* parent) : QAbstractTableModel(parent), sheet_(sheet) {
  sheet_.addObserver(this);
}

SheetTableModel::~SheetTableModel() { sheet_.removeObserver(this); }

int SheetTableModel::shownColumns() const {
  return sheet_.isOpen() ? std::min(sheet_.columnCount(), kMaxShownColumns) : 0;
}

int SheetTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !sheet_.isOpen()) return 0;
  return sheet_.displayRowCount();
}

int SheetTableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || !sheet_.isOpen()) return 0;
  return 1 + shownColumns();
}

QVariant SheetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const DisplayRow row = sheet_.displayRow(index.row());
  const int col = dataColumn(index.column());
  switch (role) {
    case GroupHeaderRole:
      return row.isHeader();
    case GroupCollapsedRole:
      return row.isHeader() && sheet_.group(row.group).collapsed;
    case ViewRowRole:
      return row.viewRow;
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (row.isHeader()) {
        // The group's name and size go in the first data column; the view
        // draws the open or closed sign in the row-number column from
        // GroupCollapsedRole.
        const SheetGroup& g = sheet_.group(row.group);
        if (col == 0)
          return QStringLiteral("%1 (%2)").arg(qtext(g.name)).arg(sheet_.groupRowCount(row.group));
        return QString();
      }
      if (col < 0) return {};  // the number is RowNumberRole's
      // A cell is one line wide: a huge text shows its beginning, so that
      // drawing it does not convert megabytes on every paint.
      return qtext(cutUtf8View(sheet_.text(row.viewRow, col), kShownCellBytes));
    case RowNumberRole:
      // The row's 1-based place in the table: rows are numbered afresh after
      // every sort, insert and delete. It is kept out of DisplayRole because
      // an insert renumbers the rows below it, which to an item view would
      // look like rows that changed without a notice.
      if (row.isHeader() || col >= 0) return {};
      return row.viewRow + 1;
    case Qt::TextAlignmentRole:
      if (col < 0) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QVariant SheetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) {
    if (section == 0) return qtext(kRowNumberTitle);
    return qtext(sheet_.headerTitle(dataColumn(section)));
  }
  if (role == Qt::SizeHintRole && section > 0) return QSize(sheet_.columnWidth(dataColumn(section)), 0);
  return {};
}

Qt::ItemFlags SheetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;  // the sheet's own cell editor does the editing
}

void SheetTableModel::sheetAboutToChange(const SheetChange& c) {
  using K = SheetChange::Kind;
  const bool open = sheet_.isOpen();
  pending_ = Pending::None;
  switch (c.kind) {
    case K::Reset:
      pending_ = Pending::Reset;
      break;
    case K::Layout:
      pending_ = Pending::Layout;
      break;
    case K::RowsInserted:
      pending_ = open && c.count > 0 ? Pending::RowsIn : Pending::Reset;
      break;
    case K::RowsRemoved:
      pending_ = open && c.count > 0 ? Pending::RowsOut : Pending::Reset;
      break;
    case K::ColumnsInserted:
      // Past the cap the shown columns shift rather than grow.
      pending_ = open && c.count > 0 && sheet_.columnCount() + c.count <= kMaxShownColumns ? Pending::ColumnsIn
                                                                                           : Pending::Reset;
      break;
    case K::ColumnsRemoved:
      pending_ = open && c.count > 0 && sheet_.columnCount() <= kMaxShownColumns ? Pending::ColumnsOut
                                                                                 : Pending::Reset;
      break;
    case K::CellChanged:
    case K::ModifiedChanged:
      return;
  }
  switch (pending_) {
    case Pending::Reset:
      beginResetModel();
      break;
    case Pending::Layout:
      emit layoutAboutToBeChanged();
      break;
    case Pending::RowsIn:
      beginInsertRows({}, c.first, c.first + c.count - 1);
      break;
    case Pending::RowsOut:
      beginRemoveRows({}, c.first, c.first + c.count - 1);
      break;
    case Pending::ColumnsIn:
      beginInsertColumns({}, modelColumn(c.first), modelColumn(c.first + c.count - 1));
      break;
    case Pending::ColumnsOut:
      beginRemoveColumns({}, modelColumn(c.first), modelColumn(c.first + c.count - 1));
      break;
    case Pending::None:
      break;
  }
}

void SheetTableModel::sheetChanged(const SheetChange& c) {
  using K = SheetChange::Kind;
  if (c.kind == K::CellChanged) {
    const int col = c.column < 0 ? 0 : modelColumn(c.column);
    if (c.first >= 0 && c.first < rowCount() && col < columnCount()) {
      const QModelIndex at = index(c.first, col);
      emit dataChanged(at, at);
    }
    return;
  }
  if (c.kind == K::ModifiedChanged) return;
  const Pending was = pending_;
  pending_ = Pending::None;
  // Rows that come and go inside groups change the headers' signs and sizes.
  const bool headersChange = sheet_.grouped() && (was == Pending::RowsIn || was == Pending::RowsOut);
  switch (was) {
    case Pending::Reset:
      endResetModel();
      break;
    case Pending::Layout:
      emit layoutChanged();
      break;
    case Pending::RowsIn:
      endInsertRows();
      break;
    case Pending::RowsOut:
      endRemoveRows();
      break;
    case Pending::ColumnsIn:
      endInsertColumns();
      break;
    case Pending::ColumnsOut:
      endRemoveColumns();
      break;
    case Pending::None:
      break;
  }
  if (headersChange && rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, std::min(1, columnCount() - 1)));
}

}  // namespace vm::ui
