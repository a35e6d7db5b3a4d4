// Reading and writing the CSV format: golden round trips, the first-line
// rules, cell storage, and input that must neither crash nor hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/fs.h"
#include "sheet/sheet.h"
#include "sheet_test_util.h"

namespace {

using vm::CsvLoad;
using vm::readCsv;
using vm::readCsvFile;
using vm::Sheet;
using vm::test::rowsOf;
using vm::test::TempDir;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

TEST(CsvRead, TheWidestLineGivesTheColumnCount) {
  // A line end after a closing quote adds no column; one after a delimiter adds an empty one.
  EXPECT_EQ(readCsv("\"a\",\"b\"\n1,2\n", ',', true).table.columnCount(), 2);
  EXPECT_EQ(readCsv("\"a\",\"b\",\n", ',', true).table.columnCount(), 3);
  EXPECT_EQ(readCsv("a,b\n1,2\n", ',', true).table.columnCount(), 2);
  EXPECT_EQ(readCsv("a,b,\n", ',', true).table.columnCount(), 3);
  EXPECT_EQ(readCsv("a;b;c\n", ';', true).table.columnCount(), 3);
  EXPECT_EQ(readCsv("a;b;c\n", ',', true).table.columnCount(), 1);
  // Later lines may be wider: nothing is dropped, missing cells are empty.
  EXPECT_EQ(rowsOf(readCsv("a,b\n1,2,3,4\n5\n", ',', true).table), (Rows{"a|b||", "1|2|3|4", "5|||"}));
  EXPECT_EQ(readCsv("a\nb,\n", ',', true).table.columnCount(), 2);
  // The delimiter setting: its first byte, unless that cannot separate fields.
  EXPECT_EQ(vm::delimiterFrom(";x"), ';');
  EXPECT_EQ(vm::delimiterFrom(""), ',');
  EXPECT_EQ(vm::delimiterFrom("\""), ',');
}

TEST(CsvRead, LineEndsAndBlanks) {
  // LF and CR LF end a line; a lone CR is text, even at the end of the input.
  EXPECT_EQ(rowsOf(readCsv("a\r\nb\nc\rd\n", ',', true).table), (Rows{"a", "b", "c\rd"}));
  EXPECT_EQ(rowsOf(readCsv("a\nb\r", ',', true).table), (Rows{"a", "b\r"}));
  // Leading blanks are skipped, trailing ones kept; a blank line makes a row, an empty one none.
  EXPECT_EQ(rowsOf(readCsv("x,y\n  a  , \"b\"\n\n \n", ',', true).table), (Rows{"x|y", "a  |b", "|"}));
  // Pairs of quotes become one quote in unquoted fields too.
  EXPECT_EQ(rowsOf(readCsv("a\"\"b,\"\"\"\"\n", ',', true).table), (Rows{"a\"b|\""}));
}

TEST(CsvRead, FilesThatDoNotOpen) {
  // No line end; a NUL byte ends the input.
  for (const std::string& text : {std::string(), std::string("a,b,c"), std::string("\xEF\xBB\xBF"), std::string("a,b\0\n", 5)})
    EXPECT_EQ(readCsv(text, ',', true).status, CsvLoad::Status::NoLineEnd) << text;
  EXPECT_EQ(rowsOf(readCsv(std::string("a,b\nc\0,d\ne,f\n", 13), ',', true).table), (Rows{"a|b", "c|"}));
  // With CheckForBOM off the mark is text (the golden bom.csv has it on).
  EXPECT_EQ(readCsv("\xEF\xBB\xBFid\n", ',', false).table.text(0, 0), "\xEF\xBB\xBFid");
  TempDir dir;
  auto folder = readCsvFile(dir.str(), ',', true);
  EXPECT_EQ(folder.status, CsvLoad::Status::Unreadable);
  EXPECT_EQ(folder.error, "Is a directory");
}

TEST(CsvRead, BlankCellMarker) {
  // The first line empty: row 0 shows the marker.
  EXPECT_EQ(rowsOf(readCsv("\na,b\n", ',', true).table), (Rows{"$BLANK$CELL$|", "a|b"}));
  // A cell of the file that reads like the marker is text like any other.
  EXPECT_EQ(rowsOf(readCsv("a,b\n$blank$CELL$,x\n", ',', true).table), (Rows{"a|b", "$blank$CELL$|x"}));
}

TEST(CsvRead, FileTextsAreNotCopiedTypedOnesAreHeldOnce) {
  const std::string mid(40, 'r'), big(5000, 's');
  EXPECT_EQ(rowsOf(readCsv("q," + mid + "," + big + "\n", ',', true).table), (Rows{"q|" + mid + "|" + big}));
  // Texts read from the file, however long, take no room beyond their records.
  auto a = readCsv("x," + big + "\n", ',', true);
  const std::size_t before = a.table.memoryBytes();
  EXPECT_EQ(before, readCsv("x,y\n", ',', true).table.memoryBytes());
  EXPECT_EQ(a.table.sideTexts(), 0u);
  // A typed text is held once, beside the records; replacing it frees its entry.
  a.table.setText(0, 0, mid);
  EXPECT_EQ(a.table.sideTexts(), 1u);
  EXPECT_GE(a.table.memoryBytes() - before, mid.size());
  EXPECT_LT(a.table.memoryBytes() - before, mid.size() + 64);
  a.table.setText(0, 0, "z");
  EXPECT_EQ(a.table.sideTexts(), 1u);
  EXPECT_EQ(a.table.text(0, 0), "z");
  // The file's own bytes set back are an offset into the line again.
  a.table.setText(0, 0, a.table.source().view().substr(0, 1));
  EXPECT_EQ(a.table.sideTexts(), 0u);
  EXPECT_EQ(rowsOf(a.table), (Rows{"x|" + big}));
}

TEST(CsvBadInput, HundredThousandFieldsOnALine) {
  std::string line;
  for (int i = 0; i < 100000; ++i) line += (i ? "," : "") + std::to_string(i);
  auto load = readCsv(line + "\n" + line + "\n", ',', true);
  ASSERT_TRUE(load.ok());
  EXPECT_EQ(load.table.columnCount(), 100000);
  EXPECT_EQ(load.table.text(1, 99999), "99999");
  EXPECT_EQ(load.table.text(0, 54321), "54321");
}

TEST(CsvBadInput, ALineOfDelimitersTakesNoRoom) {
  const std::string commas(2'000'000, ',');
  auto load = readCsv(commas + "\n,," + "x" + commas + "\n", ',', true);
  ASSERT_TRUE(load.ok());
  EXPECT_EQ(load.table.columnCount(), 2'000'003);
  EXPECT_EQ(load.table.text(1, 2), "x");
  EXPECT_EQ(load.table.text(1, 1), "");
  EXPECT_EQ(load.table.text(1, 2'000'000), "");
  // The column maps (8 bytes a column) and one block; a record per field would be 96 MB.
  EXPECT_LT(load.table.memoryBytes(), 24u << 20);
}

TEST(CsvBadInput, UnclosedQuoteRunsToTheEnd) {
  auto load = readCsv("a,b\n1,\"open\nand more,\"\"x\n", ',', true);
  ASSERT_TRUE(load.ok());
  EXPECT_EQ(rowsOf(load.table), (Rows{"a|b", "1|open\nand more,\"x\n"}));
  // A quote as the very last byte.
  EXPECT_EQ(rowsOf(readCsv("a\n\"", ',', true).table), (Rows{"a", ""}));
}

TEST(CsvBadInput, BinaryBytes) {
  std::string junk;
  unsigned seed = 7;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    char c = static_cast<char>(seed >> 16);
    junk += c == 0 ? '\n' : c;  // keep going past the first NUL
  }
  auto load = readCsv(junk, ',', true);
  ASSERT_TRUE(load.ok());
  EXPECT_GT(load.table.rowCount(), 100u);
  for (std::size_t id = 0; id < load.table.rowCount(); ++id)
    for (int c = 0; c < load.table.columnCount(); ++c) (void)load.table.text(id, c).size();
}

// Read a few bytes at a time, every byte of the tricky places lands on a
// chunk boundary once: CR LF (an empty line too), quote pairs, a quote before the delimiter, the
// byte-order mark, blanks before a quote.
TEST(CsvFile, EveryChunkBoundary) {
  const std::string text =
      "\xEF\xBB\xBF\"h\"\"1\",  \"h2\"\r\nlone\rcr,\"q\"\"\",x\r\n\"\",\"a\r\nb\"\n\r\n  ,\"end\"\"";
  TempDir dir;
  auto path = dir.write("t.csv", text);
  const auto want = rowsOf(readCsv(text, ',', true).table);
  ASSERT_EQ(want, (Rows{"h\"1|h2|", "lone\rcr|q\"|x", "|a\r\nb|", "|end\"|"}));
  for (std::size_t chunk = 1; chunk <= 9; ++chunk) {
    auto file = readCsvFile(path.string(), ',', true, nullptr, chunk);
    ASSERT_TRUE(file.ok()) << chunk;
    EXPECT_EQ(rowsOf(file.table), want) << chunk;
    EXPECT_EQ(file.bytes, text.size());
  }
}

// A byte that is not UTF-8 late in the file makes the whole file Windows-1252,
// the lines before it too, however the reads fall.
TEST(CsvFile, ALateLegacyByteDecodesTheWholeFile) {
  const std::string text = "caf\xC3\xA9,x\n\"q\"\"\",\xE2\x82\xAC\nb\xE9,y\n";
  TempDir dir;
  auto path = dir.write("t.csv", text);
  const Rows want{"caf\xC3\x83\xC2\xA9|x", "q\"|\xC3\xA2\xE2\x80\x9A\xC2\xAC", "b\xC3\xA9|y"};
  EXPECT_EQ(rowsOf(readCsv(text, ',', true).table), want);
  for (std::size_t chunk = 1; chunk <= 9; ++chunk) {
    auto file = readCsvFile(path.string(), ',', true, nullptr, chunk);
    ASSERT_TRUE(file.ok()) << chunk;
    EXPECT_TRUE(file.legacy()) << chunk;
    EXPECT_EQ(rowsOf(file.table), want) << chunk;
  }
  // Valid UTF-8 read a byte at a time stays UTF-8.
  auto utf8 = readCsvFile(dir.write("u.csv", "caf\xC3\xA9,\xE2\x82\xAC\n").string(), ',', true, nullptr, 1);
  ASSERT_TRUE(utf8.ok());
  EXPECT_FALSE(utf8.legacy());
  EXPECT_EQ(rowsOf(utf8.table), (Rows{"caf\xC3\xA9|\xE2\x82\xAC"}));
}

TEST(CsvFile, QuitDuringTheLoadLeavesNothing) {
  std::string text;
  while (text.size() < 3'000'000) text += "abc,def,ghi\n";
  TempDir dir;
  dir.write("big.csv", text);
  vm::test::RecordingPump pump;
  pump.stopAfter = 1;
  Sheet s;
  auto o = vm::test::optionsIn(dir);
  auto r = s.open(dir.str() + "/big.csv", o, &pump);
  EXPECT_EQ(r.status, vm::SheetOpenResult::Status::Cancelled);
  EXPECT_FALSE(s.isOpen());
  EXPECT_EQ(s.rowCount(), 0);
  // A later open of the same file works: a pump step for each 1 MB read, and
  // no progress shown for a quick load.
  pump = {};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.open(dir.str() + "/big.csv", o, &pump).ok());
  const bool quick = std::chrono::steady_clock::now() - start < std::chrono::milliseconds(250);
  EXPECT_EQ(s.rowCount(), 250000);
  EXPECT_EQ(rowsOf(s), rowsOf(readCsv(text, ',', true).table));  // rows cut by the chunks join up
  EXPECT_GE(pump.steps, 2);
  // Progress shows only once a load has run a while (a slow machine may take that long).
  if (quick) {
    EXPECT_TRUE(pump.progress_.empty());
  }
  if (!pump.progress_.empty()) {
    EXPECT_EQ(pump.progress_.back(), -1);
  }
}

}  // namespace
