// The cell store: texts held as offsets into their row's line or beside the
// records, and rows whose line does not fit their record.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/fs.h"
#include "sheet/cell_table.h"
#include "sheet/csv.h"
#include "sheet/sheet.h"
#include "sheet_test_util.h"

namespace {

using vm::CellTable;
using vm::readCsv;
using vm::RowSource;
using vm::test::rowsOf;
using vm::test::TempDir;
using Rows = std::vector<std::string>;

CellTable tableOver(std::string_view bytes) {
  vm::TableSource src;
  src.bytes = vm::makeBigArray<char>(bytes.size());
  std::memcpy(src.bytes.get(), bytes.data(), bytes.size());
  src.size = bytes.size();
  CellTable t;
  t.adoptSource(std::move(src));
  return t;
}

TEST(CellTable, OnlyTextsThatAreNotTheFileBytesGoBeside) {
  // A plain field with a pair of quotes is reduced into a copy; a quoted one
  // is reduced where it lies and stays an offset into its line.
  auto load = readCsv("ab\"\"c,\"x\"\"y\",plain\nq,\"r\"\n", ',', true);
  ASSERT_TRUE(load.ok());
  EXPECT_EQ(rowsOf(load.table), (Rows{"ab\"c|x\"y|plain", "q|r|"}));
  EXPECT_EQ(load.table.sideTexts(), 1u);
  // A legacy file's decoded texts are copies; its ASCII texts are not.
  auto legacy = readCsv("caf\xE9,x\nabc,d\xE9\n", ',', true);
  ASSERT_TRUE(legacy.ok());
  EXPECT_EQ(rowsOf(legacy.table), (Rows{"caf\xC3\xA9|x", "abc|d\xC3\xA9"}));
  EXPECT_EQ(legacy.table.sideTexts(), 2u);
}

TEST(CellTable, RowSourcesOfEverySizeComeBack) {
  CellTable t = tableOver("0123456789");
  t.setColumnCount(1);
  const RowSource cases[] = {
      {7, 3, 9, 1, true, false},
      {10, 255, 0, 2, true, false},
      {10, 256, 4, 0, true, false},                  // lead too long for the record
      {12, 0, 5'000'000'000ull, 1, true, false},     // content too long for the record
  };
  for (const RowSource& want : cases) {
    const std::size_t id = t.beginRow(want.begin + want.lead);
    t.setRowSource(id, want);
    const RowSource got = t.rowSource(id);
    EXPECT_EQ(got.begin, want.begin) << id;
    EXPECT_EQ(got.lead, want.lead) << id;
    EXPECT_EQ(got.size, want.size) << id;
    EXPECT_EQ(got.eol, want.eol) << id;
    EXPECT_TRUE(got.present);
    EXPECT_FALSE(got.dirty);
  }
  // An edit marks the row, whichever way its line is kept.
  t.setText(2, 0, "typed");
  EXPECT_TRUE(t.rowSource(2).dirty);
  EXPECT_EQ(t.rowSource(2).lead, 256u);
  EXPECT_FALSE(t.rowSource(1).dirty);
  EXPECT_FALSE(t.rowSource(t.addEmptyRow()).present);
}

TEST(CellTable, ARowGivenAnotherLineStartKeepsItsTexts) {
  CellTable t = tableOver("hello,world\n");
  t.setColumnCount(2);
  const std::string_view src = t.source().view();
  t.beginRow(0);
  t.appendToLastRow(src.substr(0, 5));
  t.appendToLastRow(src.substr(6, 5));
  EXPECT_EQ(t.sideTexts(), 0u);
  // "hello" lies before the new start: it goes beside, still the file's bytes.
  t.setRowSource(0, RowSource{6, 0, 5, 1, true, false});
  EXPECT_EQ(t.text(0, 0), "hello");
  EXPECT_EQ(t.text(0, 1), "world");
  EXPECT_EQ(t.sideTexts(), 1u);
  EXPECT_EQ(t.text(0, 0).data(), src.data());
}

// A row after more blank lines than its record holds, and rows around it,
// save byte for byte; an edit elsewhere changes that cell only.
TEST(CellTable, RowAfterManyBlankLinesSavesExactly) {
  TempDir dir;
  const std::string text = "a,b\n" + std::string(300, '\n') + "c,d\n" + std::string(3, '\r') + "\r\n\r\ne,f";
  dir.write("t.csv", text);
  auto o = vm::test::optionsIn(dir);
  vm::Sheet s;
  ASSERT_TRUE(s.open(dir.str() + "/t.csv", o).ok());
  ASSERT_EQ(s.rowCount(), 4);
  EXPECT_EQ(s.table().rowSource(1).lead, 300u);
  EXPECT_EQ(s.text(1, 0), "c");
  EXPECT_EQ(s.text(2, 0), "\r\r\r");
  ASSERT_TRUE(s.setText(3, 1, "F"));
  ASSERT_EQ(s.save(o).kind, vm::SheetSaveResult::Kind::Saved);
  std::string want = text;
  want.back() = 'F';
  EXPECT_EQ(vm::readWholeFile(dir.str() + "/t.csv").value_or(""), want);
}

}  // namespace
