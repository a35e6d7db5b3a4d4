// CSV sheets: any bytes load or are refused cleanly; the in-memory reader
// and the chunked file reader agree; an unedited save writes the file back
// byte for byte; a save after one edited cell reads back as the edited
// sheet (same row count, same cells) and a second save of it changes
// nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz_util.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "sheet/csv.h"
#include "sheet/sheet.h"

using namespace vm;

namespace {

using Cells = std::vector<std::vector<std::string>>;

Cells tableCells(const CellTable& t) {
  Cells out;
  for (std::size_t id = 0; id < t.rowCount(); ++id) {
    if (t.isDeleted(id)) continue;
    out.emplace_back();
    for (int c = 0; c < t.columnCount(); ++c) out.back().emplace_back(t.text(id, c));
  }
  return out;
}

Cells sheetCells(const Sheet& s) {
  Cells out;
  for (int r = 0; r < s.rowCount(); ++r) {
    out.emplace_back();
    for (int c = 0; c < s.columnCount(); ++c) out.back().emplace_back(s.text(r, c));
  }
  return out;
}


std::string escaped(std::string_view t) {
  std::string s;
  for (unsigned char c : t) s += c >= 32 && c < 127 ? std::string(1, static_cast<char>(c)) : format("\\x%02X", c);
  return s;
}

// The first cell where a and b differ.
std::string firstDifference(const Cells& a, const Cells& b) {
  for (std::size_t r = 0; r < a.size() && r < b.size(); ++r)
    for (std::size_t c = 0; c < std::max(a[r].size(), b[r].size()); ++c) {
      const std::string x = c < a[r].size() ? a[r][c] : "<none>", y = c < b[r].size() ? b[r][c] : "<none>";
      if (x != y) return format("row %zu column %zu: [%s] against [%s]", r, c, escaped(x).c_str(), escaped(y).c_str());
    }
  return format("%zu rows against %zu", a.size(), b.size());
}

std::string bytesOf(const std::filesystem::path& p) { return readWholeFile(p).value_or("<unreadable>"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 32768) return 0;
  FuzzedDataProvider in(data, size);
  static const char kDelimiters[] = {',', ';', '\t', '|', 'a', ' '};
  const char delimiter = kDelimiters[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kDelimiters - 1)];
  const bool checkForBom = in.ConsumeBool();
  const int editRow = in.ConsumeIntegralInRange<int>(0, 64);
  const int editCol = in.ConsumeIntegralInRange<int>(0, 16);
  // The cell editor types UTF-8 and never a NUL byte: other bytes of the
  // edit become U+FFFD.
  std::string editText = displayUtf8(in.ConsumeRandomLengthString(64));
  std::erase(editText, '\0');
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  // The two readers agree.
  const CsvLoad mem = readCsv(bytes, delimiter, checkForBom);
  const std::filesystem::path folder = fuzz::scratchFolder();
  const std::filesystem::path file = folder / "sheet.csv";
  fuzz::writeFile(file, bytes);
  const CsvLoad chunked = readCsvFile(file.string(), delimiter, checkForBom, nullptr, 7);
  FUZZ_CHECK(mem.status == chunked.status, format("status %d in memory, %d read in chunks",
                                                  static_cast<int>(mem.status), static_cast<int>(chunked.status)));
  if (!mem.ok()) return 0;
  const Cells loaded = tableCells(mem.table);
  FUZZ_CHECK(tableCells(chunked.table) == loaded,
             "in memory, in chunks: " + firstDifference(loaded, tableCells(chunked.table)));
  FUZZ_CHECK(mem.legacy() == chunked.legacy(), "encoding guessed differently");

  SheetOptions o;
  o.delimiter = std::string(1, delimiter);
  o.checkForBom = checkForBom;
  o.makeBackups = false;
  o.saveWidths = false;
  o.fileInfoFolder = (folder / "info").string();
  o.companionBesideFile = false;

  Sheet sheet;
  SheetOpenResult opened = sheet.open(file.string(), o);
  FUZZ_CHECK(opened.ok(), "the table loads but the sheet does not open: " + opened.error);
  const Cells shown = sheetCells(sheet);
  FUZZ_CHECK(static_cast<std::size_t>(sheet.rowCount()) == loaded.size(),
             format("%d rows shown, %zu loaded", sheet.rowCount(), loaded.size()));

  // An unedited save gives the same bytes.
  const int columns = sheet.columnCount();
  sheet.setModified(true);
  SheetSaveResult saved = sheet.save(o);
  const bool wrote = columns >= 1 && sheet.rowCount() >= 1;
  FUZZ_CHECK((saved.kind == SheetSaveResult::Kind::Saved) == wrote, "save: " + saved.message);
  if (!wrote) return 0;
  const std::string after = bytesOf(file);
  FUZZ_CHECK(after == bytes, format("an unedited save changed %zu bytes into %zu", bytes.size(), after.size()));

  // One edit, saved, reads back as the edited sheet.
  const int row = editRow % sheet.rowCount();
  const int col = editCol % columns;
  sheet.setText(row, col, editText);
  Cells want = sheetCells(sheet);
  saved = sheet.save(o);
  if (saved.kind == SheetSaveResult::Kind::NotNeeded) {
    FUZZ_CHECK(!sheet.modified() && shown[row][col] == editText, "an edit not saved");
    return 0;
  }
  FUZZ_CHECK(saved.kind == SheetSaveResult::Kind::Saved, "save after an edit: " + saved.message);
  const std::string edited = bytesOf(file);
  const bool legacy = sheet.legacyEncoding();
  sheet.discard();
  opened = sheet.open(file.string(), o);
  FUZZ_CHECK(opened.ok(), "the saved sheet does not open: " + opened.error);
  Cells back = sheetCells(sheet);
  // The blank-cell marker is shown, never saved: it reads back empty.
  if (!want.empty() && !want[0].empty() && want[0][0] == kBlankCellMarker) want[0][0].clear();
  if (!back.empty() && !back[0].empty() && back[0][0] == kBlankCellMarker) back[0][0].clear();
  // Empty trailing columns take no room on disk: compare the texts only.
  auto trimmed = [](Cells c) {
    for (auto& r : c)
      while (!r.empty() && r.back().empty()) r.pop_back();
    return c;
  };
  FUZZ_CHECK(back.size() == want.size(), format("%zu rows read back, %zu saved", back.size(), want.size()));
  // A Windows-1252 file whose only bytes that are not UTF-8 were edited away
  // reads back as UTF-8: the bytes of its other cells are kept, their texts
  // are then read differently.
  if (sheet.legacyEncoding() != legacy) return 0;
  FUZZ_CHECK(trimmed(back) == trimmed(want), "edited, read back: " + firstDifference(want, back));
  sheet.setModified(true);
  saved = sheet.save(o);
  FUZZ_CHECK(saved.kind == SheetSaveResult::Kind::Saved, "second save: " + saved.message);
  FUZZ_CHECK(bytesOf(file) == edited, "saving the reloaded sheet changed its bytes");
  sheet.discard();
  return 0;
}
