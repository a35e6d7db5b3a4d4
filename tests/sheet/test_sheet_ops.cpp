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
  if (asc[2] == "a") std::swap(asc[2], asc[3]);
  EXPECT_EQ(asc, (Rows{"10", "9", "A", "a", "b", "Etat", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_FALSE(s.modified());
  for (bool descending : {true, false}) {
    ASSERT_TRUE(s.sortBy(0, false));
    EXPECT_EQ(s.sortDescending(), descending);
    EXPECT_EQ(column(s, 0).front(), descending ? "\xC3\xA9t\xC3\xA9" : "10");
  }
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

// Rows whose texts compare equal keep their order, in both directions and
// with blanks at the bottom: texts equal but for case beyond the sort key's
// first bytes, equal non-ASCII letters, a NUL typed into a cell, after rows
// were deleted and added (storage order then differs from the view order).
TEST_F(SheetSort, EqualTextsKeepTheirOrder) {
  const std::vector<std::string> texts = {"Long shared prefix ONE", "long shared PREFIX one", "long shared prefix two",
                                          "Long shared pre", "long shared prex", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89",
                                          "abc", "ABC", "", "abc\xFF", "ab"};
  std::string text;
  for (int i = 0; i < 120; ++i) text += std::to_string(i) + "," + texts[static_cast<std::size_t>(i * 7 % 12)] + "\n";
  open(text);
  ASSERT_TRUE(s.deleteRow(5));
  ASSERT_TRUE(s.deleteRow(40));
  for (int k = 0; k < 6; ++k) {
    const int row = s.insertRow(k * 13);
    s.setText(row, 0, "new" + std::to_string(k));
    s.setText(row, 1, k % 2 ? std::string("abc\0d", 5) : std::string("LONG SHARED PREFIX ONE"));
  }
  std::vector<std::pair<std::string, std::string>> ref;  // (column 0, column 1) in view order
  for (int r = 0; r < s.rowCount(); ++r) ref.emplace_back(s.text(r, 0), s.text(r, 1));
  bool desc = false;
  for (bool blank : {false, true, true, false}) {
    ASSERT_TRUE(s.sortBy(1, blank));
    desc = s.sortDescending();
    std::stable_sort(ref.begin(), ref.end(), [&](const auto& a, const auto& b) {
      if (blank && a.second.empty() != b.second.empty()) return b.second.empty();
      const int r = vm::compareNoCase(a.second, b.second);
      return desc ? r > 0 : r < 0;
    });
    ASSERT_EQ(s.rowCount(), static_cast<int>(ref.size()));
    for (int r = 0; r < s.rowCount(); ++r) {
      ASSERT_EQ(s.text(r, 0), ref[static_cast<std::size_t>(r)].first) << r << (desc ? " descending" : "");
      ASSERT_EQ(s.text(r, 1), ref[static_cast<std::size_t>(r)].second) << r;
    }
  }
}

using SheetGroups = SheetFixture;

TEST_F(SheetGroups, GroupsCollapseAndTakeNewRows) {
  open("x,1\n,2\ny,3\nx,4\nx,5\n");
  ASSERT_TRUE(s.groupBy(0));
  ASSERT_EQ(s.groupCount(), 3);
  EXPECT_EQ(s.group(0).name + "|" + s.group(1).name + "|" + s.group(2).name, "x|No group|y");
  EXPECT_EQ(s.group(0).id, 2);
  EXPECT_EQ(s.groupRowCount(0), 3);
  // Display: header x, its rows in view order, header "No group", ...
  ASSERT_EQ(s.displayRowCount(), 8);
  EXPECT_TRUE(s.displayRow(0).isHeader());
  EXPECT_EQ((std::vector<int>{s.displayRow(1).viewRow, s.displayRow(2).viewRow, s.displayRow(3).viewRow}),
            (std::vector<int>{0, 3, 4}));
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
  auto titles = [&] {
    std::string out;
    for (int c = 0; c < s.columnCount(); ++c) out += (c ? "|" : "") + s.headerTitle(c);
    return out;
  };
  ASSERT_TRUE(openText(s, dir, "t.csv", "Name,,Age\nann,x,30\n", o));
  EXPECT_FALSE(s.firstRowAsTitle());
  // The title comes from the settings file; reopening by the sheet's own path works.
  ASSERT_TRUE(vm::writeSheetViewSetting(s.path(), o, "SpreadsheetFirstRowAsTitle", "1"));
  ASSERT_TRUE(s.open(s.path(), o).ok());
  ASSERT_TRUE(s.firstRowAsTitle());
  EXPECT_EQ(s.rowCount(), 1);
  EXPECT_EQ(titles(), "Name|B|Age");
  EXPECT_EQ(s.position(0), 1);

  ASSERT_TRUE(s.insertColumn(1, 77));
  EXPECT_EQ(titles(), "Name|B|C|Age");
  EXPECT_EQ(s.columnWidth(1), 77);
  EXPECT_EQ(rowsOf(s), (Rows{"ann||x|30"}));
  ASSERT_TRUE(s.setText(0, 1, "new"));
  ASSERT_TRUE(s.deleteColumn(0));
  EXPECT_EQ(titles(), "A|B|Age");
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
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  auto randomText = [&] {
    switch (pick(4)) {
      case 0: return std::string();
      case 1: return std::string(1 + pick(5), static_cast<char>('a' + pick(26)));
      case 2: return std::string(20 + pick(40), static_cast<char>('A' + pick(26)));
      default: return std::to_string(pick(1000));
    }
  };
  int cols = 8, lastSort = -1;
  std::vector<Rows> ref(700, Rows(cols));
  std::string text;
  for (Rows& row : ref) {
    for (int c = 0; c < cols; ++c) text += (c ? "," : "") + (row[c] = randomText());
    text += "\n";
  }
  open(text);
  bool desc = false;
  Rows clip;
  for (int step = 0; step < 3000; ++step) {
    const int rows = static_cast<int>(ref.size());
    const int r = rows ? pick(rows) : -1;
    switch (pick(10)) {
      case 0: case 1: case 2: case 3: {  // edit
        if (r < 0 || cols == 0) break;
        const int c = pick(cols);
        ref[r][c] = randomText();
        s.setText(r, c, ref[r][c]);
        break;
      }
      case 4: {
        const int p = s.insertRow(r);
        ASSERT_EQ(p, r + 1);
        ref.insert(ref.begin() + p, Rows(cols));
        break;
      }
      case 5:
        if (r < 0) break;
        ASSERT_TRUE(s.cutRow(r));
        clip = ref[r];
        ref.erase(ref.begin() + r);
        break;
      case 6: {
        const int p = s.pasteRow(r);
        ASSERT_EQ(p < 0, clip.empty());
        if (clip.empty()) break;
        clip.resize(cols);
        ref.insert(ref.begin() + p, clip);
        clip.clear();
        break;
      }
      case 7: {
        const int c = pick(cols + 1);
        ASSERT_TRUE(s.insertColumn(c, 100));
        for (Rows& row : ref) row.insert(row.begin() + c, "");
        ++cols;
        if (lastSort >= c) ++lastSort;
        break;
      }
      case 8: {
        if (cols < 3) break;
        const int c = pick(cols);
        ASSERT_TRUE(s.deleteColumn(c));
        for (Rows& row : ref) row.erase(row.begin() + c);
        --cols;
        if (lastSort == c) lastSort = -1, desc = false;
        else if (lastSort > c) --lastSort;
        break;
      }
      default: {
        const int c = pick(cols);
        desc = c == lastSort ? !desc : false;
        lastSort = c;
        ASSERT_TRUE(s.sortBy(c, false));
        std::stable_sort(ref.begin(), ref.end(), [&](const Rows& a, const Rows& b) {
          const int x = vm::compareNoCase(a[c], b[c]);
          return desc ? x > 0 : x < 0;
        });
        break;
      }
    }
    ASSERT_EQ(s.rowCount(), static_cast<int>(ref.size())) << step;
    ASSERT_EQ(s.columnCount(), cols) << step;
    for (int i = 0; i < s.rowCount(); ++i)
      for (int c = 0; c < cols; ++c) ASSERT_EQ(s.text(i, c), ref[i][c]) << step;
  }
  // The store does not keep growing with the edits.
  EXPECT_LT(s.table().memoryBytes(), 8'000'000u) << s.table().memoryBytes();
  // What is saved reads back as the same table.
  if (ref.empty() || cols == 0) return;
  s.setModified(true);
  ASSERT_EQ(s.save(o).kind, vm::SheetSaveResult::Kind::Saved);
  ASSERT_TRUE(s.open(dir.str() + "/t.csv", o).ok());
  ASSERT_EQ(s.rowCount(), static_cast<int>(ref.size()));
  for (int i = 0; i < s.rowCount(); ++i)
    for (int c = 0; c < cols; ++c) ASSERT_EQ(s.text(i, c), ref[i][c]) << i << "," << c;
}

}  // namespace
