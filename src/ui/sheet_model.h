#pragma once
// Table model over an open Sheet: the view reads the sheet's cells in place,
// nothing is copied into items, so a 100,000-row sheet is shown at once.
// Column 0 is the row-number column "tn"; column c + 1 shows data column c
// (at most kMaxShownColumns of them). Rows are the sheet's display rows: with
// grouping on, a group's header row comes before its rows.
#include <QAbstractTableModel>

#include "sheet/sheet.h"

namespace vm::ui {

class SheetTableModel : public QAbstractTableModel, public SheetObserver {
 public:
  // Roles beyond Qt's own.
  enum Role {
    GroupHeaderRole = Qt::UserRole + 1,  // bool: the row is a group's header
    GroupCollapsedRole,                  // bool: that group is collapsed
    ViewRowRole,                         // int: the sheet's view row, -1 on a header
    RowNumberRole,                       // int: the number shown in "tn" (column 0 only)
  };

  explicit SheetTableModel(Sheet& sheet, QObject* parent = nullptr);
  ~SheetTableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The sheet's data column shown in model column c, or -1 for "tn".
  static int dataColumn(int modelColumn) { return modelColumn - 1; }
  static int modelColumn(int dataColumn) { return dataColumn + 1; }

  void sheetAboutToChange(const SheetChange& change) override;
  void sheetChanged(const SheetChange& change) override;

 private:
  int shownColumns() const;
  // How the pending change is told to the view: in detail, or as a reset
  // when the column cap makes the detail wrong.
  enum class Pending { None, Reset, Layout, RowsIn, RowsOut, ColumnsIn, ColumnsOut };
  Sheet& sheet_;
  Pending pending_ = Pending::None;
};

}  // namespace vm::ui
