// A sheet's files: saving, backups, the settings file, new spreadsheets and
// saves that cannot be done.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/ini_file.h"
#include "platform/fs.h"
#include "sheet/sheet.h"
#include "sheet/sheet_file.h"
#include "sheet_test_util.h"

namespace {

using vm::Sheet;
using vm::SheetSaveResult;
using vm::test::openText;
using vm::test::TempDir;
namespace fs = std::filesystem;
using Kind = SheetSaveResult::Kind;

struct SheetFiles : ::testing::Test {
  TempDir dir;
  vm::SheetOptions o = vm::test::optionsIn(dir);
  Sheet s;
  std::string file(const std::string& name) const { return dir.str() + "/" + name; }
};

TEST_F(SheetFiles, SaveWritesTheViewOrderAndTheTitleLine) {
  dir.write("t.csv", "\xEF\xBB\xBF" "Name,,\"a\nb\",c;d\nzed,\"q\"\"uote\",3,x\nann,,\"1,5\",y\ngone,1,2,3\n");
  ASSERT_TRUE(vm::writeSheetViewSetting(file("t.csv"), o, "SpreadsheetFirstRowAsTitle", "1"));
  o.delimiter = ";";
  ASSERT_TRUE(s.open(file("t.csv"), o).ok());
  // With ";" the file's commas and quotes are text; "b\",c;d" is the widest line.
  EXPECT_EQ(s.columnCount(), 2);
  o.delimiter = ",";
  ASSERT_TRUE(s.open(file("t.csv"), o).ok());
  ASSERT_EQ(s.columnCount(), 4);
  EXPECT_EQ(s.save(o).kind, Kind::NotNeeded);  // not modified
  s.setSortingOn(true);
  ASSERT_TRUE(s.sortBy(0, false));
  ASSERT_TRUE(s.deleteRow(1));  // "gone"
  const SheetSaveResult r = s.save(o);
  EXPECT_EQ(r.kind, Kind::Saved);
  EXPECT_EQ(r.message, "Saved spreadsheet file");
  EXPECT_FALSE(s.modified());
  // The rows in their new order, each as it was read: the title line and its
  // byte-order mark untouched, no letter invented for the empty title.
  EXPECT_EQ(dir.read("t.csv"), "\xEF\xBB\xBF" "Name,,\"a\nb\",c;d\nann,,\"1,5\",y\nzed,\"q\"\"uote\",3,x\n");
  // An edited title row is written cell by cell; its unchanged cells keep their quotes.
  ASSERT_TRUE(s.insertColumn(1, 50));
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(dir.read("t.csv"), "\xEF\xBB\xBF" "Name,,,\"a\nb\",c;d\nann,,,\"1,5\",y\nzed,,\"q\"\"uote\",3,x\n");
}

TEST_F(SheetFiles, LongTextsStayWhole) {
  // Far beyond what the cell editor takes as typing, with a two-byte letter.
  const std::string longText = std::string(1022, 'a') + "\xC3\xA9" + std::string(3000, 'b');
  ASSERT_TRUE(openText(s, dir, "t.csv", "x,\"" + longText + "\"\n", o));
  EXPECT_EQ(s.text(0, 1), longText);
  ASSERT_TRUE(s.setText(0, 0, "y"));
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(dir.read("t.csv"), "y,\"" + longText + "\"\n");
  // A long text set as a whole is kept as a whole, and written unquoted as it needs no quotes.
  ASSERT_TRUE(s.setText(0, 0, longText + "c"));
  EXPECT_EQ(s.text(0, 0), longText + "c");
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(dir.read("t.csv"), longText + "c,\"" + longText + "\"\n");
}

TEST_F(SheetFiles, NothingToSaveWithoutRows) {
  ASSERT_TRUE(openText(s, dir, "t.csv", "a\n", o));
  ASSERT_TRUE(s.deleteRow(0));
  EXPECT_EQ(s.save(o).kind, Kind::NotNeeded);
  EXPECT_EQ(dir.read("t.csv"), "a\n");
  // Closing saves a modified sheet.
  ASSERT_TRUE(openText(s, dir, "u.csv", "a\n", o));
  s.setText(0, 0, "b");
  EXPECT_EQ(s.close(o).kind, Kind::Saved);
  EXPECT_FALSE(s.isOpen());
  EXPECT_EQ(dir.read("u.csv"), "b\n");
}

TEST_F(SheetFiles, BackupsUseARingOfSlots) {
  o.makeBackups = true;
  o.maxBackups = 3;
  ASSERT_TRUE(openText(s, dir, "t.csv", "v0\n", o));
  const std::string base = o.fileInfoFolder + "/t.csv";
  for (int i = 1; i <= 4; ++i) {
    s.setText(0, 0, "v" + std::to_string(i));
    ASSERT_EQ(s.save(o).kind, Kind::Saved);
  }
  // The newest backup (the file before the last save) is marked ".x"; the others are gone.
  for (auto [slot, text] : {std::pair{".0.x", "v3\n"}, {".1", "v1\n"}, {".2", "v2\n"}, {".0", "-"}, {".1.x", "-"}, {".2.x", "-"}})
    EXPECT_EQ(vm::readWholeFile(base + slot).value_or("-"), text) << slot;
}

TEST_F(SheetFiles, ViewSettingsFromTheSettingsFile) {
  dir.write("t.csv", "a,b,c\n1,2,3\n");
  const std::string path = file("t.csv");
  ASSERT_TRUE(s.open(path, o).ok());
  EXPECT_FALSE(s.firstRowAsTitle());
  EXPECT_FALSE(s.sortingOn());  // absent: header clicks do not sort
  EXPECT_EQ(s.columnWidth(2), 100);
  s.setColumnWidth(0, 40);
  s.setColumnWidth(2, 250);
  s.setText(0, 0, "x");
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  const std::string settings = vm::sheetSettingsFile(path, o);
  EXPECT_EQ(vm::ini::readKey(settings, "General", "ColumnWidths", ""), "40,100,250");

  ASSERT_TRUE(vm::ini::writeKey(settings, "General", "ColumnWidths", "55,,7"));
  ASSERT_TRUE(vm::ini::writeKey(settings, "General", "SpreadsheetSortHeader", "0"));
  ASSERT_TRUE(vm::ini::writeKey(settings, "General", "SpreadsheetFirstRowAsTitle", "-1"));
  o.columnWidth = 90;
  ASSERT_TRUE(s.open(path, o).ok());
  EXPECT_EQ((std::vector<int>{s.columnWidth(0), s.columnWidth(1), s.columnWidth(2)}), (std::vector<int>{55, 90, 7}));
  EXPECT_TRUE(s.sortingOn() && !s.firstRowAsTitle());
  o.neverSort = true;
  ASSERT_TRUE(s.open(path, o).ok());
  EXPECT_FALSE(s.sortingOn());

  // Widths that no longer fit in 259 characters are left out whole.
  o.neverSort = false;
  std::string wide;
  for (int i = 0; i < 80; ++i) wide += (i ? "," : "") + std::string("x");
  ASSERT_TRUE(openText(s, dir, "w.csv", wide + "\n", o));
  for (int c = 0; c < 80; ++c) s.setColumnWidth(c, 1000 + c);
  const std::string text = s.columnWidthsText();
  EXPECT_LE(text.size(), 259u);
  EXPECT_TRUE(text.ends_with(",1051")) << text;  // 52 entries of 4 digits and their commas: 259
}

TEST_F(SheetFiles, NewSpreadsheets) {
  const std::string folder = dir.str();
  EXPECT_EQ(vm::newSpreadsheetName(folder, ""), "New Spreadsheet.csv");
  auto made = vm::createSpreadsheetFile(folder, "New Spreadsheet.csv");
  ASSERT_TRUE(made.created);
  std::string five;
  for (int i = 0; i < 5; ++i) five += "\"\",\"\",\"\",\"\",\"\"\n";
  EXPECT_EQ(dir.read("New Spreadsheet.csv"), five);
  EXPECT_EQ(vm::newSpreadsheetName(folder, ""), "New Spreadsheet_1.csv");
  dir.write("Budget.CSV", "");
  EXPECT_EQ(vm::newSpreadsheetName(folder, "Budget.CSV"), "Budget_1.csv");
  EXPECT_EQ(vm::newSpreadsheetName(folder, "Plan.csv"), "Plan.csv");

  auto again = vm::createSpreadsheetFile(folder, "New Spreadsheet.csv");
  EXPECT_FALSE(again.created);
  EXPECT_EQ(again.message, "Spreadsheet exists: " + made.path);

  // A new sheet ignores the settings file and the delimiter setting.
  ASSERT_TRUE(vm::writeSheetViewSetting(made.path, o, "SpreadsheetFirstRowAsTitle", "1"));
  o.delimiter = ";";
  ASSERT_TRUE(s.open(made.path, o, nullptr, true).ok());
  EXPECT_EQ(std::make_pair(s.columnCount(), s.rowCount()), std::make_pair(5, 5));
  EXPECT_TRUE(s.sortingOn() && !s.firstRowAsTitle());
  EXPECT_EQ(s.delimiter(), ',');
  // Five columns are saved: only the edited cell loses its quotes.
  ASSERT_TRUE(s.setText(1, 4, "x"));
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  std::string line = std::string(vm::kNewSpreadsheetLine);
  EXPECT_EQ(dir.read("New Spreadsheet.csv"), line + "\"\",\"\",\"\",\"\",x\n" + line + line + line);
}

TEST_F(SheetFiles, FileDeletedBetweenOpenAndSave) {
  o.makeBackups = true;
  ASSERT_TRUE(openText(s, dir, "t.csv", "a,b\n", o));
  fs::remove(file("t.csv"));
  s.setText(0, 1, "c");
  EXPECT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(dir.read("t.csv"), "a,c\n");
  EXPECT_FALSE(fs::exists(o.fileInfoFolder + "/t.csv.0.x"));  // nothing to back up

  // Its whole folder gone: the error text comes back and nothing is left over.
  ASSERT_TRUE(openText(s, dir, "sub/t.csv", "a\n", o));
  fs::remove_all(dir.path() / "sub");
  s.setText(0, 0, "b");
  const SheetSaveResult r = s.save(o);
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_EQ(r.message, "Error saving spreadsheet file: No such file or directory");
  EXPECT_TRUE(s.modified());
}

TEST_F(SheetFiles, FailedSaveKeepsTheOldFile) {
  ASSERT_TRUE(openText(s, dir, "ro/t.csv", "old,file\n", o));
  s.setText(0, 0, "new");
  ASSERT_EQ(::chmod((dir.str() + "/ro").c_str(), 0555), 0);
  auto r = s.save(o);
  ::chmod((dir.str() + "/ro").c_str(), 0755);
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_EQ(r.message, "Error saving spreadsheet file: Permission denied");
  EXPECT_EQ(dir.read("ro/t.csv"), "old,file\n");
  EXPECT_TRUE(s.modified());
  int files = 0;
  for (auto& e : fs::directory_iterator(dir.path() / "ro")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);  // no temporary file left behind
  // Writable again: the same sheet saves.
  EXPECT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(dir.read("ro/t.csv"), "new,file\n");
}

TEST_F(SheetFiles, OpenFailures) {
  EXPECT_EQ(s.open(file("none.csv"), o).status, vm::SheetOpenResult::Status::Unreadable);
  dir.write("one.csv", "a,b,c");
  EXPECT_EQ(s.open(file("one.csv"), o).status, vm::SheetOpenResult::Status::NoLineEnd);
  EXPECT_FALSE(s.isOpen());
  // A failed open after a good one leaves the sheet closed, the old one saved.
  ASSERT_TRUE(openText(s, dir, "good.csv", "a\n", o));
  s.setText(0, 0, "z");
  EXPECT_EQ(s.open(file("one.csv"), o).previousSaveMessage, "Saved spreadsheet file");
  EXPECT_FALSE(s.isOpen());
  EXPECT_EQ(s.rowCount(), 0);
  EXPECT_EQ(dir.read("good.csv"), "z\n");
}

}  // namespace
