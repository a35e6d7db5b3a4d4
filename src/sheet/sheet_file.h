#pragma once
// A sheet's files beside the CSV itself: its settings file (first row as
// title, sorting, column widths), its numbered backups in the
// file-information folder, and new spreadsheets. Sheet::open/save/close are
// implemented in sheet_file.cpp on top of these.
#include <string>
#include <string_view>
#include <vector>

#include "sheet/sheet.h"

namespace vm {

inline constexpr std::string_view kColumnWidthsKey = "ColumnWidths";
inline constexpr std::string_view kNewSpreadsheetBase = "New Spreadsheet";
inline constexpr std::string_view kSpreadsheetExtension = ".csv";
// One line of a new spreadsheet: five empty quoted fields. It is written five times.
inline constexpr std::string_view kNewSpreadsheetLine = "\"\",\"\",\"\",\"\",\"\"\n";
inline constexpr int kNewSpreadsheetLines = 5;

inline constexpr std::string_view kMsgSaved = "Saved spreadsheet file";
inline constexpr std::string_view kMsgSavedAsUtf8 =
    "Saved spreadsheet file as UTF-8: Windows-1252 cannot hold a character it now holds";
inline constexpr const char* kMsgSaveError = "Error saving spreadsheet file: %s";
inline constexpr const char* kMsgSpreadsheetExists = "Spreadsheet exists: %s";

// What a sheet's settings file says (absent keys give the defaults).
struct SheetViewSettings {
  bool firstRowAsTitle = false;  // SpreadsheetFirstRowAsTitle non-zero (absent or -1: off)
  bool sortingOn = false;        // SpreadsheetSortHeader 0 (absent, -1 or 1: off); never with neverSort
  std::vector<int> columnWidths; // ColumnWidths; an absent or empty entry gives o.columnWidth
};

// The settings file of the sheet at sheetPath (beside it or in the
// file-information folder, as the options say); empty when there is none.
std::string sheetSettingsFile(const std::string& sheetPath, const SheetOptions& o);
SheetViewSettings readSheetViewSettings(const std::string& sheetPath, const SheetOptions& o, int columns);
// Writes one key of section General of the sheet's settings file
// (SpreadsheetFirstRowAsTitle, SpreadsheetSortHeader, ColumnWidths).
bool writeSheetViewSetting(const std::string& sheetPath, const SheetOptions& o, std::string_view key,
                           std::string_view value);

// Backs up the file at sheetPath before it is replaced. Slots live in
// backupFolder as "<name>.k" (0 <= k < maxBackups), the newest one marked
// "<name>.k.x"; the slots are used as a ring. A failed copy ends the step.
void backupSheetFile(const std::string& sheetPath, const std::string& backupFolder, int maxBackups);

// A free name in folder for a new spreadsheet: typedName, or "New
// Spreadsheet.csv" when it is empty; when taken, "<name>_1.csv",
// "<name>_2.csv"... with <name> the name without ".csv".
std::string newSpreadsheetName(const std::string& folder, std::string_view typedName);

struct NewSpreadsheet {
  bool created = false;
  std::string path;
  std::string message;  // "Spreadsheet exists: <path>", or the save error when the file cannot be made
};
// Creates folder/name with five lines of five empty quoted fields; never
// replaces a file that is there.
NewSpreadsheet createSpreadsheetFile(const std::string& folder, std::string_view name);

}  // namespace vm
