// Quoted fields whose quote pairs are reduced in place while the file is
// read: the text as cells show it, the bytes as saving writes them back, and
// every way a chunk boundary can cut a pair.
#include <gtest/gtest.h>

#include <string>

#include "sheet/csv.h"
#include "sheet/sheet.h"
#include "sheet_test_util.h"

namespace {

using vm::readCsv;
using vm::readCsvFile;
using vm::Sheet;
using vm::test::rowsOf;
using vm::test::TempDir;
using Rows = std::vector<std::string>;

bool pointsIntoSource(const vm::CellTable& t, std::string_view text) {
  const std::string_view src = t.source().view();
  return text.data() >= src.data() && text.data() + text.size() <= src.data() + src.size();
}

// Each chunk size puts a boundary between the two quotes of some pair, and
// right before and after one, in a closed field and in one the input ends in.
TEST(CsvSqueeze, PairsCutByEveryChunkBoundary) {
  const std::string text = "a,\"x\"\"\"\"y\"\"\",b\n\"\"\"p\r\nq\"\"z\"\"\"\"\"\n\"\"\"open,\"\"\"\"";
  const Rows want{"a|x\"\"y\"|b", "\"p\r\nq\"z\"\"||", "\"open,\"\"||"};
  TempDir dir;
  const auto path = dir.write("q.csv", text);
  for (std::size_t chunk = 1; chunk <= 13; ++chunk) {
    auto load = readCsvFile(path.string(), ',', true, nullptr, chunk);
    ASSERT_TRUE(load.ok()) << chunk;
    EXPECT_EQ(rowsOf(load.table), want) << chunk;
    const vm::TableSource& src = load.table.source();
    ASSERT_EQ(src.squeezed.size(), 3u) << chunk;
    // The reduced texts sit where their fields were read.
    EXPECT_EQ(src.squeezed[0].at, 3u);
    EXPECT_EQ(src.squeezed[0].rawSize, 8u);
    EXPECT_EQ(src.squeezed[0].textSize, 5u);
    EXPECT_EQ(src.squeezed[2].textSize, 8u);
    // The bytes as read come back from any range, fields cut at either end too.
    EXPECT_EQ(src.originalText(0, src.size), text) << chunk;
    for (std::size_t b = 0; b < text.size(); b += 3)
      for (std::size_t n = 0; b + n <= text.size(); n += 5)
        ASSERT_EQ(src.originalText(b, n), text.substr(b, n)) << chunk << " " << b << " " << n;
  }
  // In memory the same.
  EXPECT_EQ(rowsOf(readCsv(text, ',', true).table), want);
}

TEST(CsvSqueeze, ExpandPutsTheBytesBack) {
  auto load = readCsv("h\n\"\"\"a\"\"\"\"b\"\"\",\"plain\"\n", ',', true);
  ASSERT_TRUE(load.ok());
  vm::TableSource& src = load.table.source();
  ASSERT_EQ(src.squeezed.size(), 1u);  // a field without pairs is not squeezed
  EXPECT_EQ(load.table.text(1, 0), "\"a\"\"b\"");
  vm::TableSource::expand(src.bytes.get(), src.squeezed[0]);
  EXPECT_EQ(src.view(), "h\n\"\"\"a\"\"\"\"b\"\"\",\"plain\"\n");
}

// A long field full of pairs, open to the end of the file: its text is not
// copied anywhere, and a save writes the file back byte for byte, with the
// row untouched, with another cell of its row edited, and with another row edited.
TEST(CsvSqueeze, LongFieldStaysInTheFileBytesAndSavesExactly) {
  std::string body;
  while (body.size() < 3'000'000) body += "say \"\"hi\"\", then\r\n,go ";
  const std::string text = "a,b\n1,\"" + body;
  std::string want;
  for (std::size_t i = 0; i < body.size(); ++i) {
    want += body[i];
    if (body[i] == '"') ++i;
  }
  TempDir dir;
  dir.write("big.csv", text);
  vm::test::RecordingPump pump;
  auto load = readCsvFile(dir.str() + "/big.csv", ',', true, &pump, 64 * 1024);
  ASSERT_TRUE(load.ok());
  ASSERT_EQ(load.table.text(1, 1), want);
  EXPECT_TRUE(pointsIntoSource(load.table, load.table.text(1, 1)));
  EXPECT_LT(load.table.memoryBytes(), 2u << 20);  // one block of records, no copy of the text
  EXPECT_GE(pump.steps, 40);  // a step between chunks all through the field

  auto o = vm::test::optionsIn(dir);
  Sheet s;
  ASSERT_TRUE(s.open(dir.str() + "/big.csv", o).ok());
  ASSERT_EQ(s.rowCount(), 2);
  ASSERT_EQ(s.text(1, 1), want);
  s.setModified(true);
  ASSERT_EQ(s.save(o).kind, vm::SheetSaveResult::Kind::Saved);
  EXPECT_TRUE(dir.read("big.csv") == text);

  ASSERT_TRUE(s.setText(0, 0, "A"));
  ASSERT_EQ(s.save(o).kind, vm::SheetSaveResult::Kind::Saved);
  EXPECT_TRUE(dir.read("big.csv") == "A,b\n1,\"" + body);

  ASSERT_TRUE(s.setText(1, 0, "2"));
  ASSERT_EQ(s.save(o).kind, vm::SheetSaveResult::Kind::Saved);
  EXPECT_TRUE(dir.read("big.csv") == "A,b\n2,\"" + body);
  ASSERT_TRUE(s.open(dir.str() + "/big.csv", o).ok());
  EXPECT_EQ(s.text(1, 1), want);
}

// A byte that is not UTF-8 after some fields were reduced, and one inside a
// field being reduced: the file is read again from the bytes as they were.
TEST(CsvSqueeze, ALateLegacyByteReadsTheBytesAsTheyWere) {
  const std::string closed = "\"a\"\"b\",x\n\"q\"\"\"\"r\xE9\"\"s\"\"\"\n";
  const std::string open = "h\n\"\"\"1\"\"2\"\"3\"\"4\"\"5\xE9\"\"6";
  const Rows wantClosed{"a\"b|x", "q\"\"r\xC3\xA9\"s\"|"};
  const Rows wantOpen{"h", "\"1\"2\"3\"4\"5\xC3\xA9\"6"};
  TempDir dir;
  const auto pc = dir.write("c.csv", closed);
  const auto po = dir.write("o.csv", open);
  for (std::size_t chunk = 1; chunk <= 9; ++chunk) {
    auto c = readCsvFile(pc.string(), ',', true, nullptr, chunk);
    ASSERT_TRUE(c.ok()) << chunk;
    EXPECT_TRUE(c.legacy());
    EXPECT_EQ(rowsOf(c.table), wantClosed) << chunk;
    EXPECT_EQ(c.table.source().originalText(0, c.table.source().size), closed) << chunk;
    auto o = readCsvFile(po.string(), ',', true, nullptr, chunk);
    ASSERT_TRUE(o.ok()) << chunk;
    EXPECT_TRUE(o.legacy());
    EXPECT_EQ(rowsOf(o.table), wantOpen) << chunk;
    EXPECT_EQ(o.table.source().originalText(0, o.table.source().size), open) << chunk;
  }
}

}  // namespace
