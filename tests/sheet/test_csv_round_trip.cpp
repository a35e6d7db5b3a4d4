// Round trips through open -> edit -> save -> open: the golden cases in
// tests/data/csv, and the public CSV suites kept beside them. A save without
// an edit gives the file back byte for byte; a save after one edit changes
// the bytes of the edited cell and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fs.h"
#include "sheet/sheet.h"
#include "sheet_test_util.h"

namespace {

using vm::Sheet;
using vm::test::TempDir;
namespace fs = std::filesystem;
using Kind = vm::SheetSaveResult::Kind;

const fs::path kData = fs::path(VELLUMARK_TEST_DATA) / "csv";

std::string bytesOf(const fs::path& p) { return vm::readWholeFile(p).value_or(""); }

// Texts of the edit files are written with C escapes: \n \r \t \" \\ \xHH.
std::string unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 'n') out += '\n';
    else if (c == 'r') out += '\r';
    else if (c == 't') out += '\t';
    else if (c == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}

struct Edit {
  int row = 0;
  int col = 0;
  std::string text;
};

// "<row>,<column>,<text>" per line; rows and columns count from 0.
std::vector<Edit> readEdits(const fs::path& p) {
  std::vector<Edit> edits;
  std::istringstream in(bytesOf(p));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const auto a = line.find(','), b = line.find(',', a + 1);
    edits.push_back({std::stoi(line.substr(0, a)), std::stoi(line.substr(a + 1, b - a - 1)), unescape(line.substr(b + 1))});
  }
  return edits;
}

// Every view row's texts.
std::vector<std::vector<std::string>> cellsOf(const Sheet& s) {
  std::vector<std::vector<std::string>> out;
  for (int r = 0; r < s.rowCount(); ++r) {
    out.emplace_back();
    for (int c = 0; c < s.columnCount(); ++c) out.back().emplace_back(s.text(r, c));
  }
  return out;
}

struct RoundTrip {
  TempDir dir;
  vm::SheetOptions o = vm::test::optionsIn(dir);
  Sheet s;
  std::string path;
  explicit RoundTrip(const fs::path& source) {
    path = dir.str() + "/" + source.filename().string();
    fs::copy_file(source, path);
  }
  bool open() { return s.open(path, o).ok(); }
  std::string saved() { return bytesOf(path); }
};

std::vector<fs::path> casesIn(const fs::path& folder) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.ends_with(".csv") && !name.ends_with(".saved.csv")) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Each tests/data/csv/<case>.csv saves unchanged as itself; with a
// <case>.edit beside it, the edits made and saved give <case>.saved.csv,
// which reads back to the edited table. With VELLUMARK_WRITE_GOLDEN set, a
// missing expected file is written (to be checked by eye before it is kept).
TEST(CsvGolden, EveryCaseSavesAsExpected) {
  int cases = 0, edited = 0;
  for (const fs::path& file : casesIn(kData)) {
    ++cases;
    SCOPED_TRACE(file.filename().string());
    const std::string original = bytesOf(file);
    RoundTrip t(file);
    ASSERT_TRUE(t.open());
    t.s.setModified(true);
    ASSERT_EQ(t.s.save(t.o).kind, Kind::Saved);
    EXPECT_EQ(t.saved(), original);

    fs::path editFile = file;
    editFile.replace_extension(".edit");
    if (!fs::exists(editFile)) continue;
    ++edited;
    ASSERT_TRUE(t.open());
    for (const Edit& e : readEdits(editFile)) ASSERT_TRUE(t.s.setText(e.row, e.col, e.text)) << e.row << "," << e.col;
    auto want = cellsOf(t.s);
    ASSERT_EQ(t.s.save(t.o).kind, Kind::Saved);
    fs::path expected = file;
    expected.replace_extension(".saved.csv");
    if (!fs::exists(expected) && std::getenv("VELLUMARK_WRITE_GOLDEN")) {
      std::ofstream(expected, std::ios::binary) << t.saved();
      continue;
    }
    ASSERT_TRUE(fs::exists(expected)) << "missing " << expected;
    EXPECT_EQ(t.saved(), bytesOf(expected));
    ASSERT_TRUE(t.open());
    // The blank-cell marker was shown, not saved: it reads back empty.
    auto back = cellsOf(t.s);
    if (!want.empty() && !want[0].empty() && want[0][0] == vm::kBlankCellMarker) want[0][0].clear();
    EXPECT_EQ(back, want);
  }
  EXPECT_GE(cases, 20);
  EXPECT_GE(edited, 15);
}

// One cell of a public suite's file set to a new text: the bytes that differ
// between the file before and after are the old cell's field and the new
// text, nothing else, and the file reads back with only that cell changed.
void expectOnlyTheCellChanged(const fs::path& file, int row, int col) {
  const std::string before = bytesOf(file);
  RoundTrip t(file);
  ASSERT_TRUE(t.open());
  const auto cells = cellsOf(t.s);
  const std::string old(t.s.text(row, col));
  const std::string edit = "@@EDIT@@";
  ASSERT_TRUE(t.s.setText(row, col, edit));
  ASSERT_EQ(t.s.save(t.o).kind, Kind::Saved);
  const std::string after = t.saved();
  std::size_t p = 0;
  while (p < before.size() && p < after.size() && before[p] == after[p]) ++p;
  std::size_t q = 0;
  while (q < before.size() - p && q < after.size() - p && before[before.size() - 1 - q] == after[after.size() - 1 - q]) ++q;
  EXPECT_EQ(after.substr(p, after.size() - p - q), edit) << "row " << row << " col " << col;
  // What was taken out is the old cell as a field of its own.
  const std::string removed = before.substr(p, before.size() - p - q);
  const auto fields = vm::splitCsvLine(removed, ',', t.s.legacyEncoding());
  ASSERT_FALSE(fields.empty()) << removed;
  EXPECT_EQ(fields[0].text, old) << removed;
  EXPECT_EQ(fields[0].end, removed.size()) << removed;
  auto want = cells;
  want[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = edit;
  ASSERT_TRUE(t.open());
  EXPECT_EQ(cellsOf(t.s), want);
}

// The reader cases of the public suites (each folder keeps its licence).
TEST(CsvSuites, EveryFileRoundTripsAndTakesOneEdit) {
  int files = 0;
  for (const auto& suite : fs::directory_iterator(kData)) {
    if (!suite.is_directory()) continue;
    ASSERT_TRUE(fs::exists(suite.path() / "LICENSE")) << suite.path();
    for (const fs::path& file : casesIn(suite.path())) {
      SCOPED_TRACE(file.string());
      const std::string original = bytesOf(file);
      RoundTrip t(file);
      if (!t.open()) {
        // Only a file without a line end before its first NUL may fail to open.
        EXPECT_EQ(original.substr(0, original.find('\0')).find('\n'), std::string::npos);
        continue;
      }
      ++files;
      t.s.setModified(true);
      ASSERT_EQ(t.s.save(t.o).kind, Kind::Saved);
      EXPECT_EQ(t.saved(), original);
      // The first and the last cell with text in each of the first rows (the
      // blank-cell marker is not a text of the file).
      for (int r = 0; r < std::min(t.s.rowCount(), 4); ++r) {
        int first = -1, last = -1;
        for (int c = 0; c < t.s.columnCount(); ++c) {
          if (t.s.text(r, c).empty() || t.s.text(r, c) == vm::kBlankCellMarker) continue;
          if (first < 0) first = c;
          last = c;
        }
        if (first < 0) continue;
        expectOnlyTheCellChanged(file, r, first);
        if (last != first) expectOnlyTheCellChanged(file, r, last);
      }
    }
  }
  EXPECT_GE(files, 40);
}

}  // namespace

// A blank as the delimiter: the reader skips blanks before a field, so an
// empty cell on an edited row must still read back as an empty cell.
TEST(CsvDelimiter, BlankDelimiterKeepsEmptyCellsOfAnEditedRow) {
  TempDir dir;
  const std::string path = dir.str() + "/blank.csv";
  std::ofstream(path, std::ios::binary) << "a b c\n1 \"\" 3\n";
  vm::SheetOptions o = vm::test::optionsIn(dir);
  o.delimiter = " ";
  Sheet s;
  ASSERT_TRUE(s.open(path, o).ok());
  ASSERT_EQ(s.columnCount(), 3);
  ASSERT_TRUE(s.setText(1, 0, "one"));
  ASSERT_TRUE(s.setText(1, 2, ""));
  const auto want = cellsOf(s);
  ASSERT_EQ(s.save(o).kind, Kind::Saved);
  EXPECT_EQ(bytesOf(path), "a b c\none \"\" \"\"\n");
  ASSERT_TRUE(s.open(path, o).ok());
  EXPECT_EQ(cellsOf(s), want);
}
