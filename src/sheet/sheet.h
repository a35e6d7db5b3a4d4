#pragma once
// The open spreadsheet: the cell table of a CSV file plus everything the
// view shows of it. Rows have a storage order (the table's row ids, stable
// for the life of the sheet) and a view order (view row -> row id); sorting,
// inserting, deleting and grouping permute the view order and never move
// cells. The title row (row id 0 when the first row is the title) is not in
// the view order. Grouping adds a third layer, the display rows: per group a
// header row followed by the group's view rows unless it is collapsed.
//
// Everything a flat table view needs is O(1): rowCount(), columnCount(),
// text(viewRow, col), displayRowCount(), displayRow(i).
//
// Every change reaches observers twice, before and after (so a Qt item
// model can bracket it with begin.../end...). Row changes are given in
// display rows; while grouped, row insertions and removals are a Reset.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sheet/cell_table.h"

namespace vm {

class Pump;

// ---- Limits and fixed texts -------------------------------------------------

// Bytes of new typing the cell editor accepts; a cell that holds more keeps
// it all (the model, the editor and saving never cut a text).
inline constexpr std::size_t kCellTextMax = 1023;
// Data columns a view shows; the model keeps and saves all of them.
inline constexpr int kMaxShownColumns = 259;
// Texts the row clipboard holds (one per data column).
inline constexpr std::size_t kRowClipboardTexts = 260;
// Bytes of a group's name.
inline constexpr std::size_t kGroupNameMax = 259;
// Group ids come from a counter that starts here and is incremented before use.
inline constexpr int kGroupIdCounterStart = 1;
inline constexpr std::string_view kNoGroupName = "No group";
// Title of the row-number column and the titles of data columns 0..51.
inline constexpr std::string_view kRowNumberTitle = "tn";
inline constexpr std::string_view kColumnLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

inline constexpr std::string_view kMsgCantDeleteFirstColumn = "Can't delete first column";
inline constexpr std::string_view kMsgVerifyTitle = "Verify";
inline constexpr std::string_view kMsgVerifyDeleteColumn =
    "Are you sure you want to remove this column? \nThis action is not reversable";
inline constexpr std::string_view kMsgSearchNotFound = "Search term not found";

// ---- Settings the App hands in ------------------------------------------------

// The program settings the sheet uses, read by the App (the sheet never reads
// settings itself), plus where the file's settings file and backups live.
struct SheetOptions {
  std::string delimiter = ",";   // SpreadSheetDelimiter (its first character counts)
  bool checkForBom = true;       // CheckForBOM
  bool makeBackups = true;       // SSMakeChangeBackups
  int maxBackups = 5;            // SSMaxBackup
  bool saveWidths = true;        // SSSaveWidths
  bool neverSort = false;        // SSNeverSort
  bool sortBlankAtBottom = false;  // SpreadsheetSortBlankAtBottom
  int columnWidth = 100;         // SpreadsheetColumnWidth
  std::string fileInfoFolder;    // the file-information folder (central settings files, backups)
  bool companionBesideFile = false;  // TnFileWithOriginal
};

// ---- Results and notifications -----------------------------------------------

struct CellPos {
  int row = 0;  // view row
  int col = 0;  // data column
  friend bool operator==(const CellPos&, const CellPos&) = default;
};

struct SheetChange {
  enum class Kind {
    Reset,            // everything may have changed (open, close, group, ungroup, collapse all...)
    Layout,           // same rows, new order (sort)
    RowsInserted,     // display rows [first, first + count)
    RowsRemoved,      // display rows [first, first + count)
    ColumnsInserted,  // data columns [first, first + count)
    ColumnsRemoved,   // data columns [first, first + count)
    CellChanged,      // display row first, data column column
    ModifiedChanged,  // the modified flag flipped (the window title's "*")
  };
  Kind kind = Kind::Reset;
  int first = 0;
  int count = 0;
  int column = -1;
};

class SheetObserver {
 public:
  virtual ~SheetObserver() = default;
  virtual void sheetAboutToChange(const SheetChange&) {}
  virtual void sheetChanged(const SheetChange& change) = 0;
};

struct SheetGroup {
  std::string name;
  int id = 0;
  bool collapsed = false;
};

// One row of the grouped display: a group's header (viewRow -1) or a view row.
struct DisplayRow {
  int group = -1;
  int viewRow = -1;
  bool isHeader() const { return viewRow < 0; }
};

struct SheetOpenResult {
  enum class Status {
    Opened,
    Busy,        // a load is still running (the pump let a second open in)
    Unreadable,  // cannot be read; error says why
    NoLineEnd,   // no line end in the file: it does not open
    Cancelled,   // quit during the load
  };
  Status status = Status::Unreadable;
  std::string error;
  std::string previousSaveMessage;  // status text from saving the sheet that was open, if any
  bool ok() const { return status == Status::Opened; }
};

struct SheetSaveResult {
  enum class Kind {
    NotNeeded,  // not open, not modified, or no column or row: nothing written
    Saved,
    Failed,     // the old file is untouched; the sheet stays modified
  };
  Kind kind = Kind::NotNeeded;
  bool nowUtf8 = false;  // a legacy sheet held a character Windows-1252 cannot hold: written as UTF-8
  std::string error;    // the system's reason (Failed)
  std::string message;  // status text: "Saved spreadsheet file" or "Error saving spreadsheet file: %s"
};

// ---- The sheet ---------------------------------------------------------------

class Sheet {
 public:
  Sheet();
  ~Sheet();
  Sheet(const Sheet&) = delete;
  Sheet& operator=(const Sheet&) = delete;

  // ---- File (sheet_file.cpp)
  // Opens the file at path (closing, and so saving, a sheet that is open).
  // An existing file takes its first-row-as-title, sorting and column widths
  // from its settings file and the delimiter from the options; asNew (a
  // just-created spreadsheet) starts with the title off, sorting on unless
  // neverSort, and ",". A failed or cancelled load leaves the sheet closed;
  // nothing of a partial load is ever shown.
  SheetOpenResult open(const std::string& path, const SheetOptions& o, Pump* pump = nullptr, bool asNew = false);
  // Writes the sheet when it is open and modified: column widths to the
  // settings file, a numbered backup of the file on disk, then the file
  // itself through a temporary file renamed over it.
  SheetSaveResult save(const SheetOptions& o);
  // Writes the sheet as it would be saved to another file (the sheet stays
  // as it is, modified or not); false with the reason when it cannot.
  bool saveCopy(const std::filesystem::path& target, std::string* err) const;
  // Saves a modified sheet, then closes it.
  SheetSaveResult close(const SheetOptions& o);
  // Closes without saving.
  void discard();
  bool loading() const { return loading_; }

  // ---- State
  bool isOpen() const { return open_; }
  const std::string& path() const { return path_; }
  char delimiter() const { return delimiter_; }
  bool firstRowAsTitle() const { return titleOn_; }
  bool sortingOn() const { return sortingOn_; }
  void setSortingOn(bool on) { sortingOn_ = on; }
  bool modified() const { return modified_; }
  void setModified(bool on);
  // Read as Windows-1252 and still written in it.
  bool legacyEncoding() const { return table_.source().legacy && !utf8Out_; }

  // ---- What the view shows
  int rowCount() const { return static_cast<int>(order_.size()); }  // view rows
  int columnCount() const { return table_.columnCount(); }          // data columns
  std::string_view text(int viewRow, int col) const;
  // Header of data column col: the title row's text when the first row is
  // the title and that text is not empty, else "A".."Z", "a".."z", then "".
  std::string headerTitle(int col) const;
  // Index among the shown rows, plus one when the first row is the title.
  int position(int viewRow) const { return viewRow + (titleOn_ ? 1 : 0); }
  // A row's identity: stays with the row through sorting, grouping and
  // inserts; -1 from viewRowOfKey once the row is deleted.
  std::uint32_t rowKey(int viewRow) const { return order_[static_cast<std::size_t>(viewRow)]; }
  int viewRowOfKey(std::uint32_t key) const;
  int columnWidth(int col) const;
  void setColumnWidth(int col, int px);
  // ColumnWidths as saved: the widths joined with ",", whole entries only, at
  // most 259 characters.
  std::string columnWidthsText() const;

  // Display rows (grouped or not; ungrouped they are the view rows).
  int displayRowCount() const;
  DisplayRow displayRow(int i) const;
  int displayRowOf(int viewRow) const;  // -1 while its group is collapsed
  bool grouped() const { return grouped_; }
  int groupedColumn() const { return groupCol_; }
  int groupCount() const { return static_cast<int>(groups_.size()); }
  const SheetGroup& group(int g) const { return groups_[static_cast<std::size_t>(g)]; }
  int groupRowCount(int g) const;
  int groupOfViewRow(int viewRow) const;
  bool allCollapsed() const { return allCollapsed_; }

  // ---- Changes
  // Sets a cell's text (whole, however long); marks the sheet modified when
  // the text changed.
  bool setText(int viewRow, int col, std::string_view text);

  // Sorts the view rows by data column col: ascending, or the opposite of the
  // last direction when col was the last column sorted. Texts compare
  // ignoring case, as text (10 before 9); blankAtBottom keeps empty texts
  // below the others in both directions; rows that compare equal keep their
  // order. Does not mark the sheet modified. False when sorting is off.
  bool sortBy(int col, bool blankAtBottom);
  int sortColumn() const { return sortCol_; }
  bool sortDescending() const { return sortDesc_; }

  // Groups the view rows by their text in data column col ("No group" for an
  // empty text); groups come in the order their first row appears.
  bool groupBy(int col);
  void ungroup();
  void collapseAll();
  void expandAll();
  bool setGroupCollapsed(int g, bool collapsed);

  // Inserts an empty row below clickedViewRow (-1: at the end); while
  // grouped it takes the clicked row's text in the grouped column and joins
  // that group. Returns the new view row, or -1 when no sheet is open.
  int insertRow(int clickedViewRow);
  bool deleteRow(int viewRow);
  // Copies the row's texts into the row clipboard, then deletes it.
  bool cutRow(int viewRow);
  // A new row below clickedViewRow (-1: at the end) from the row clipboard,
  // which is emptied. Returns the new view row, -1 when the clipboard is empty.
  int pasteRow(int clickedViewRow);
  bool canPaste() const { return !clipboard_.empty(); }
  const std::vector<std::string>& rowClipboard() const { return clipboard_; }

  // Inserts an empty data column before col (0..columnCount()), the title
  // row included, with the given width.
  bool insertColumn(int col, int width);
  bool deleteColumn(int col);

  // Finds needle (ignoring case, as part of a cell's text) going through the
  // columns of a row, then the following rows: from the cell after `after`,
  // wrapping round to it, or from the first cell when after is empty.
  std::optional<CellPos> find(std::string_view needle, std::optional<CellPos> after) const;

  void addObserver(SheetObserver* o);
  void removeObserver(SheetObserver* o);

  // For tests and measurements.
  const CellTable& table() const { return table_; }

 private:
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  void adopt(CellTable&& table, const std::string& path, char delimiter, bool titleOn, bool sortingOn,
             std::vector<int> widths);
  void clearState();
  void setAllCollapsed(bool collapsed);
  enum class WriteResult { Written, Failed, NeedsUtf8 };
  WriteResult writeTo(const std::filesystem::path& target, bool legacyOut, std::string& err) const;
  void aboutToChange(const SheetChange& c);
  void changed(const SheetChange& c);
  void touch();  // content changed: set modified
  int insertAt(int clickedViewRow) const;
  void placeNewRow(std::size_t id, int p, int group);
  int groupNamed(std::string_view name);
  std::string clickedGroupText(int clickedViewRow) const;
  void ensureDisplay() const;
  void ensureViewIndex() const;
  void afterRowRemoval();

  CellTable table_;
  std::vector<std::uint32_t> order_;  // view row -> row id
  std::string path_;
  char delimiter_ = ',';
  bool open_ = false;
  bool loading_ = false;
  bool modified_ = false;
  bool utf8Out_ = false;  // a legacy sheet written as UTF-8 since a save needed it
  bool titleOn_ = false;
  bool sortingOn_ = false;
  int sortCol_ = -1;
  bool sortDesc_ = false;
  std::vector<int> widths_;
  std::vector<std::string> clipboard_;

  bool grouped_ = false;
  int groupCol_ = -1;
  int groupIdCounter_ = kGroupIdCounterStart;
  bool allCollapsed_ = false;
  std::vector<SheetGroup> groups_;
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> groupIndex_;
  std::vector<std::int32_t> groupOf_;  // row id -> group, -1 none

  // Caches rebuilt on demand.
  mutable bool displayDirty_ = true;
  mutable std::vector<std::int32_t> display_;    // display row -> view row, or -(group + 1) for a header
  mutable std::vector<std::int32_t> displayOf_;  // view row -> display row
  mutable std::vector<std::int32_t> headerAt_;   // group -> display row of its header, -1 when hidden
  mutable std::vector<std::int32_t> groupRows_;  // group -> its view rows
  mutable bool viewIndexDirty_ = true;
  mutable std::vector<std::int32_t> viewOf_;  // row id -> view row, -1 when not shown

  std::vector<SheetObserver*> observers_;
};

}  // namespace vm
