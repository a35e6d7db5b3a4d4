// The table model over a sheet: what the view reads, and that every change
// reaches the view as a consistent notification (checked by Qt's model tester).
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "../sheet/sheet_test_util.h"
#include "ui/sheet_model.h"

namespace {

using vm::Sheet;
using vm::ui::SheetTableModel;

struct SheetModelTest : ::testing::Test {
  vm::test::TempDir dir;
  vm::SheetOptions o = vm::test::optionsIn(dir);
  Sheet sheet;
  SheetTableModel model{sheet};
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};

  // What a cell shows: its text, or in "tn" the row's number.
  QString at(int row, int col) const {
    const QModelIndex i = model.index(row, col);
    return (col == 0 ? model.data(i, SheetTableModel::RowNumberRole) : model.data(i, Qt::DisplayRole)).toString();
  }
  // A whole row, or the column titles, joined with "|".
  QString row(int r) const {
    QStringList out;
    for (int c = 0; c < model.columnCount(); ++c)
      out << (r < 0 ? model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() : at(r, c));
    return out.join('|');
  }
};

TEST_F(SheetModelTest, ShowsCellsTitlesAndRowNumbers) {
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.columnCount(), 0);
  ASSERT_TRUE(vm::test::openText(sheet, dir, "t.csv", "b,\xC3\xA9t\xC3\xA9\na,2\n", o));
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(row(-1), "tn|A|B");
  EXPECT_EQ(row(0), QString::fromUtf8("1|b|\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(row(1), "2|a|2");

  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  sheet.setText(1, 0, "z");
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>(), model.index(1, 1));
  EXPECT_EQ(at(1, 1), "z");

  sheet.setSortingOn(true);
  sheet.sortBy(0, false);
  sheet.sortBy(0, false);  // descending: the rows are numbered afresh in their new order
  EXPECT_EQ(row(0) + " " + row(1), QString::fromUtf8("1|z|2 2|b|\xC3\xA9t\xC3\xA9"));

  sheet.discard();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(SheetModelTest, RowColumnAndGroupChangesStayConsistent) {
  ASSERT_TRUE(vm::test::openText(sheet, dir, "t.csv", "x,1\n,2\ny,3\nx,4\n", o));
  sheet.insertRow(0);
  EXPECT_EQ(model.rowCount(), 5);
  EXPECT_EQ(row(1), "2||");
  EXPECT_EQ(at(4, 0), "5");  // the rows below are numbered on
  sheet.cutRow(3);
  sheet.pasteRow(-1);
  EXPECT_EQ(at(4, 1), "y");
  sheet.deleteRow(1);
  EXPECT_EQ(model.rowCount(), 4);
  sheet.insertColumn(0, 80);
  EXPECT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::SizeHintRole).toSize().width(), 80);
  sheet.deleteColumn(0);
  EXPECT_EQ(at(0, 1), "x");

  sheet.groupBy(0);  // x (2 rows), No group, y
  ASSERT_EQ(model.rowCount(), 7);
  EXPECT_TRUE(model.data(model.index(0, 0), SheetTableModel::GroupHeaderRole).toBool());
  EXPECT_EQ(at(0, 1), "x (2)");
  EXPECT_FALSE(model.data(model.index(0, 0), SheetTableModel::GroupCollapsedRole).toBool());
  EXPECT_EQ(model.data(model.index(1, 1), SheetTableModel::ViewRowRole).toInt(), 0);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  sheet.setGroupCollapsed(0, true);
  EXPECT_EQ(model.rowCount(), 5);
  EXPECT_FALSE(changed.isEmpty());  // the header's sign is redrawn
  EXPECT_TRUE(model.data(model.index(0, 0), SheetTableModel::GroupCollapsedRole).toBool());
  sheet.insertRow(model.data(model.index(4, 0), SheetTableModel::ViewRowRole).toInt());  // joins group y
  EXPECT_EQ(at(3, 1), "y (2)");
  sheet.collapseAll();
  EXPECT_EQ(model.rowCount(), 3);
  sheet.ungroup();
  EXPECT_EQ(model.rowCount(), 5);
}

TEST_F(SheetModelTest, ColumnsPastTheCapAreNotShown) {
  std::string wide;
  for (int c = 0; c < vm::kMaxShownColumns + 5; ++c) wide += (c ? "," : "") + std::to_string(c);
  ASSERT_TRUE(vm::test::openText(sheet, dir, "wide.csv", wide + "\n" + wide + "\n", o));
  EXPECT_EQ(model.columnCount(), 1 + vm::kMaxShownColumns);
  sheet.insertColumn(0, 50);  // the shown columns shift: told as a reset
  EXPECT_EQ(model.columnCount(), 1 + vm::kMaxShownColumns);
  EXPECT_EQ(at(0, 2), "0");
  sheet.deleteColumn(0);
  sheet.deleteColumn(0);
  EXPECT_EQ(at(0, 1), "1");
}

}  // namespace
