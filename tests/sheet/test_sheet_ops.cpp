// Sorting, grouping, row and column operations and find on an open sheet.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "platform/text.h"
#include "sheet/sheet.h"
#include "sheet/sheet_file.h"
#include "sheet_test_util.h"

namespace {

using vm::Sheet;
using vm::test::openText;
using vm::test::rowsOf;
using vm::test::TempDir;
using Rows = std::vector<std::string>;

std::vector<std::string> column(const Sheet& s, int c) {
  std::vector<std::string> out;
  for (int r = 0; r < s.rowCount(); ++r) out.emplace_back(s.text(r, c));
  return out;
}

struct SheetFixture : ::testing::Test {
  TempDir dir;
  vm::SheetOptions o = vm::test::optionsIn(dir);
  Sheet s;
  void open(const std::string& text, bool sortable = true) {
    ASSERT_TRUE(openText(s, dir, "t.csv", text, o));
    s.setSortingOn(sortable);
  }
};

using SheetSort = SheetFixture;

TEST_F(SheetSort, SameHeaderTogglesAndCaseIsIgnored) {
  open("b,1\nA,2\n10,3\na,4\n9,5\n\xC3\xA9t\xC3\xA9,6\nEtat,7\n");
  ASSERT_TRUE(s.sortBy(0, false));
  auto asc = column(s, 0);
  // A and a (either order) before b; text order: 10 before 9; "Etat" before "été".
  EXPECT_EQ(asc[0], "10");
  EXPECT_EQ(asc[1], "9");
  EXPECT_TRUE((asc[2] == "A" && asc[3] == "a") || (asc[2] == "a" && asc[3] == "A"));
  EXPECT_EQ(asc[4], "b");
  EXPECT_EQ(asc[5], "Etat");
  EXPECT_EQ(asc[6], "\xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(s.modified());
  ASSERT_TRUE(s.sortBy(0, false));
  EXPECT_TRUE(s.sortDescending());
  EXPECT_EQ(column(s, 0).front(), "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(s.sortBy(0, false));
  EXPECT_FALSE(s.sortDescending());
  EXPECT_EQ(column(s, 0).front(), "10");
  // Another column starts ascending again.
  ASSERT_TRUE(s.sortBy(1, false));
  EXPECT_FALSE(s.sortDescending());
  EXPECT_EQ(column(s, 1), (Rows{"1", "2", "3", "4", "5", "6", "7"}));
  s.setSortingOn(false);
  EXPECT_FALSE(s.sortBy(0, false));
}

TEST_F(SheetSort, BlanksStayAtTheBottomInBothDirections) {
  open("m\n\nz\n \na\n");  // the second line is empty and makes no row
  ASSERT_TRUE(s.sortBy(0, true));
  EXPECT_EQ(column(s, 0), (Rows{"a", "m", "z", ""}));
  ASSERT_TRUE(s.sortBy(0, true));
  EXPECT_EQ(column(s, 0), (Rows{"z", "m", "a", ""}));
  ASSERT_TRUE(s.sortBy(0, false));
  EXPECT_EQ(column(s, 0), (Rows{"", "a", "m", "z"}));
}

// The sort's shortcut keys must agree with compareNoCase on every pair:
// prefixes, case, non-ASCII letters that fold to ASCII (Kelvin sign), bytes
// that are not UTF-8, NUL-free texts of all lengths.
TEST_F(SheetSort, AgreesWithCaseInsensitiveComparison) {
  const std::vector<std::string> parts = {"a", "A", "b", "ab", "k", "\xE2\x84\xAA", "\xC3\xA9", "\xC3\x89", "\xFF",
                                          "z", "Z", "0", "1", " ", "abcdefgh", "ABCDEFGHI", "~"};
  std::mt19937 rng(11);
  std::string text;
  std::vector<std::string> cells;
  for (int i = 0; i < 400; ++i) {
    std::string t;
    for (int n = rng() % 4; n >= 0; --n) t += parts[rng() % parts.size()];
    cells.push_back(t);
    text += std::to_string(i) + ",x" + t + "\n";
  }
  open(text);
  for (bool blank : {false, true}) {
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(s.sortBy(1, blank));
      auto got = column(s, 1);
      for (std::size_t i = 1; i < got.size(); ++i) {
        int r = vm::compareNoCase(got[i - 1], got[i]);
        EXPECT_TRUE(s.sortDescending() ? r >= 0 : r <= 0) << i << ": " << got[i - 1] << " / " << got[i];
      }
    }
  }
}

using SheetGroups = SheetFixture;

TEST_F(SheetGroups, GroupsCollapseAndTakeNewRows) {
  open("x,1\n,2\ny,3\nx,4\nx,5\n");
  ASSERT_TRUE(s.groupBy(0));
  ASSERT_EQ(s.groupCount(), 3);
  EXPECT_EQ(s.group(0).name, "x");
  EXPECT_EQ(s.group(0).id, 2);
  EXPECT_EQ(s.group(1).name, "No group");
  EXPECT_EQ(s.group(2).name, "y");
  EXPECT_EQ(s.groupRowCount(0), 3);
  // Display: header x, its rows in view order, header "No group", ...
  ASSERT_EQ(s.displayRowCount(), 8);
  EXPECT_TRUE(s.displayRow(0).isHeader());
  EXPECT_EQ(s.displayRow(1).viewRow, 0);
  EXPECT_EQ(s.displayRow(2).viewRow, 3);
  EXPECT_EQ(s.displayRow(3).viewRow, 4);
  EXPECT_EQ(s.displayRow(4).group, 1);
  EXPECT_EQ(s.displayRowOf(2), 7);

  ASSERT_TRUE(s.setGroupCollapsed(0, true));
  EXPECT_EQ(s.displayRowCount(), 5);
  EXPECT_EQ(s.displayRowOf(3), -1);
  s.expandAll();
  EXPECT_EQ(s.displayRowCount(), 8);
  s.collapseAll();
  EXPECT_TRUE(s.allCollapsed());
  EXPECT_EQ(s.displayRowCount(), 3);
  s.expandAll();

  // A row inserted below a "y" row takes the text and joins group y.
  int p = s.insertRow(2);
  EXPECT_EQ(p, 3);
  EXPECT_EQ(s.text(p, 0), "y");
  EXPECT_EQ(s.groupOfViewRow(p), 2);
  EXPECT_EQ(s.groupRowCount(2), 2);
  EXPECT_TRUE(s.modified());
  // A row pasted below an "x" row joins x without taking its text.
  ASSERT_TRUE(s.cutRow(1));  // the empty one
  p = s.pasteRow(0);
  EXPECT_EQ(s.groupOfViewRow(p), 0);
  EXPECT_EQ(s.text(p, 1), "2");
  EXPECT_EQ(s.groupRowCount(1), 0);
  EXPECT_EQ(s.displayRowCount(), 8);  // the emptied group shows no header

  s.ungroup();
  EXPECT_FALSE(s.grouped());
  EXPECT_EQ(s.displayRowCount(), s.rowCount());
  ASSERT_TRUE(s.groupBy(1));
  EXPECT_EQ(s.group(0).id, 2);  // ids start again
}

using SheetRows = SheetFixture;

TEST_F(SheetRows, CutAndPasteMoveARow) {
  open("a,1\nb,2\nc,3\n");
  const std::uint32_t keyB = s.rowKey(1);
  EXPECT_FALSE(s.canPaste());
  ASSERT_TRUE(s.cutRow(0));
  EXPECT_TRUE(s.canPaste());
  EXPECT_EQ(s.pasteRow(1), 2);  // below "c"
  EXPECT_EQ(rowsOf(s), (Rows{"b|2", "c|3", "a|1"}));
  EXPECT_FALSE(s.canPaste());
  EXPECT_EQ(s.pasteRow(0), -1);
  EXPECT_EQ(s.viewRowOfKey(keyB), 0);
  EXPECT_EQ(s.insertRow(-1), 3);
  ASSERT_TRUE(s.deleteRow(0));
  EXPECT_EQ(s.viewRowOfKey(keyB), -1);
  EXPECT_EQ(rowsOf(s), (Rows{"c|3", "a|1", "|"}));
}

TEST_F(SheetRows, ColumnsMoveTheTitleRowToo) {
  ASSERT_TRUE(openText(s, dir, "t.csv", "Name,,Age\nann,x,30\n", o));
  EXPECT_FALSE(s.firstRowAsTitle());
  // The title comes from the settings file; reopening by the sheet's own path works.
  ASSERT_TRUE(vm::writeSheetViewSetting(s.path(), o, "SpreadsheetFirstRowAsTitle", "1"));
  ASSERT_TRUE(s.open(s.path(), o).ok());
  ASSERT_TRUE(s.firstRowAsTitle());
  EXPECT_EQ(s.rowCount(), 1);
  EXPECT_EQ(s.headerTitle(0), "Name");
  EXPECT_EQ(s.headerTitle(1), "B");
  EXPECT_EQ(s.headerTitle(2), "Age");
  EXPECT_EQ(s.position(0), 1);

  ASSERT_TRUE(s.insertColumn(1, 77));
  EXPECT_EQ(s.columnCount(), 4);
  EXPECT_EQ(s.headerTitle(1), "B");
  EXPECT_EQ(s.headerTitle(3), "Age");
  EXPECT_EQ(s.columnWidth(1), 77);
  EXPECT_EQ(rowsOf(s), (Rows{"ann||x|30"}));
  ASSERT_TRUE(s.setText(0, 1, "new"));
  EXPECT_EQ(rowsOf(s), (Rows{"ann|new|x|30"}));
  ASSERT_TRUE(s.deleteColumn(0));
  EXPECT_EQ(s.headerTitle(0), "A");
  EXPECT_EQ(s.headerTitle(2), "Age");
  EXPECT_EQ(rowsOf(s), (Rows{"new|x|30"}));
  EXPECT_FALSE(s.deleteColumn(3));
}

TEST_F(SheetRows, HeaderLettersEndAfterFiftyTwo) {
  open(std::string(52, ',') + "\n");
  ASSERT_EQ(s.columnCount(), 53);
  EXPECT_EQ(s.headerTitle(25) + s.headerTitle(26) + s.headerTitle(51) + s.headerTitle(52), "Zaz");
}

TEST_F(SheetRows, FindWrapsFromTheCellAfterTheCursor) {
  open("apple,Pear\nplum,PEAR drop\n\xC3\x89t\xC3\xA9,x\n");
  EXPECT_EQ(s.find("pear", std::nullopt), (vm::CellPos{0, 1}));
  EXPECT_EQ(s.find("pear", vm::CellPos{0, 1}), (vm::CellPos{1, 1}));
  EXPECT_EQ(s.find("pear", vm::CellPos{1, 1}), (vm::CellPos{0, 1}));  // wrapped
  EXPECT_EQ(s.find("apple", vm::CellPos{0, 0}), (vm::CellPos{0, 0}));  // the cursor cell comes last
  EXPECT_EQ(s.find("\xC3\xA9T\xC3\x89", std::nullopt), (vm::CellPos{2, 0}));
  EXPECT_FALSE(s.find("kiwi", std::nullopt));
  EXPECT_FALSE(s.find("", std::nullopt));
}

// Observers see every change bracketed, in display rows.
TEST_F(SheetRows, ObserversSeeBracketedChanges) {
  using K = vm::SheetChange::Kind;
  struct Log : vm::SheetObserver {
    std::vector<std::tuple<K, int, int>> events;
    int open = 0;
    void sheetAboutToChange(const vm::SheetChange&) override { ++open; }
    void sheetChanged(const vm::SheetChange& c) override { --open, events.emplace_back(c.kind, c.first, c.count); }
  } log;
  s.addObserver(&log);
  open("a\nb\nc\n");
  s.insertRow(0);
  s.deleteRow(2);
  s.setText(0, 0, "z");
  s.removeObserver(&log);
  EXPECT_EQ(log.open, 0);
  EXPECT_EQ(log.events, (std::vector<std::tuple<K, int, int>>{{K::Reset, 0, 0}, {K::RowsInserted, 1, 1},
                                                              {K::ModifiedChanged, 0, 0}, {K::RowsRemoved, 2, 1},
                                                              {K::CellChanged, 0, 1}}));
}

// Random edits against a plain table of strings: cells, rows, columns, the
// clipboard and sorting must agree after every step, through row moves and
// compactions of the cell store.
TEST_F(SheetRows, RandomEditsMatchAPlainTable) {
  std::mt19937 rng(5);
  auto randomText = [&] {
    switch (rng() % 4) {
      case 0: return std::string();
      case 1: return std::string(1 + rng() % 5, static_cast<char>('a' + rng() % 26));
      case 2: return std::string(20 + rng() % 40, static_cast<char>('A' + rng() % 26));
      default: return std::to_string(rng() % 1000);
    }
  };
  std::vector<Rows> ref;
  std::string text;
  for (int r = 0; r < 700; ++r) {
    Rows row;
    for (int c = 0; c < 8; ++c) {
      row.push_back(randomText());
      text += (c ? "," : "") + row.back();
    }
    ref.push_back(row);
    text += "\n";
  }
  open(text);
  int cols = 8, lastSort = -1;
  bool desc = false;
  Rows clip;
  for (int step = 0; step < 3000; ++step) {
    const int rows = static_cast<int>(ref.size());
    const int r = rows ? static_cast<int>(rng() % rows) : -1;
    switch (rng() % 10) {
      case 0: case 1: case 2: case 3: {  // edit
        if (r < 0 || cols == 0) break;
        int c = static_cast<int>(rng() % cols);
        std::string t = randomText();
        s.setText(r, c, t);
        ref[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = t;
        break;
      }
      case 4: {
        int p = s.insertRow(r);
        ASSERT_EQ(p, r + 1);
        ref.insert(ref.begin() + p, Rows(static_cast<std::size_t>(cols)));
        break;
      }
      case 5:
        if (r < 0) break;
        ASSERT_TRUE(s.cutRow(r));
        clip = ref[static_cast<std::size_t>(r)];
        ref.erase(ref.begin() + r);
        break;
      case 6: {
        int p = s.pasteRow(r);
        if (clip.empty()) {
          ASSERT_EQ(p, -1);
          break;
        }
        clip.resize(static_cast<std::size_t>(cols));
        ref.insert(ref.begin() + p, clip);
        clip.clear();
        break;
      }
      case 7: {
        int c = static_cast<int>(rng() % (cols + 1));
        ASSERT_TRUE(s.insertColumn(c, 100));
        for (Rows& row : ref) row.insert(row.begin() + c, "");
        ++cols;
        if (lastSort >= c) ++lastSort;
        break;
      }
      case 8: {
        if (cols < 3) break;
        int c = static_cast<int>(rng() % cols);
        ASSERT_TRUE(s.deleteColumn(c));
        for (Rows& row : ref) row.erase(row.begin() + c);
        --cols;
        if (lastSort == c) lastSort = -1, desc = false;
        else if (lastSort > c) --lastSort;
        break;
      }
      default: {
        if (cols == 0) break;
        int c = static_cast<int>(rng() % cols);
        desc = c == lastSort ? !desc : false;
        lastSort = c;
        ASSERT_TRUE(s.sortBy(c, false));
        std::stable_sort(ref.begin(), ref.end(), [&](const Rows& a, const Rows& b) {
          int x = vm::compareNoCase(a[static_cast<std::size_t>(c)], b[static_cast<std::size_t>(c)]);
          return desc ? x > 0 : x < 0;
        });
        break;
      }
    }
    ASSERT_EQ(s.rowCount(), static_cast<int>(ref.size())) << step;
    ASSERT_EQ(s.columnCount(), cols) << step;
    for (int i = 0; i < s.rowCount(); ++i)
      for (int c = 0; c < cols; ++c)
        ASSERT_EQ(s.text(i, c), ref[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)]) << step;
  }
  // The store does not keep growing with the edits.
  EXPECT_LT(s.table().memoryBytes(), 8'000'000u) << s.table().memoryBytes();
}

}  // namespace
