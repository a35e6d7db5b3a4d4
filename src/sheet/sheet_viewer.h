#pragma once
// The sheet viewer: the open spreadsheet in the viewer pane's table, its
// cell cursor and cell editor, the sheet's context menu with its row, column
// and group commands, links written in cells, find in the sheet, and the
// sheet's own Tools menu items. The sheet itself (cells, file format,
// sorting, grouping) is sheet/sheet.h; the table on screen is the SheetView port.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/context.h"
#include "core/viewer.h"
#include "sheet/sheet.h"

namespace vm {

// Keys the spreadsheet's table hands on.
// PageUp and PageDown move by the rows the table shows; Home and End go to
// the first and last column of the row, Ctrl+Home and Ctrl+End to the first
// and the last cell of the sheet.
enum class SheetKey { Enter, Escape, Left, Up, Right, Down, PageUp, PageDown, Home, End, CtrlHome, CtrlEnd };

// A link written in a spreadsheet cell: a name in brackets (a note of the
// current folder) or a web address.
struct SheetLink {
  bool web = false;
  std::string target;
  friend bool operator==(const SheetLink&, const SheetLink&) = default;
};
// The links of a cell's text, left to right: every "[name]" ("[[name]]"
// too; "$" around the name dropped), then, when no "[" is left, the first
// address starting "http:" or "https:" up to the next blank.
std::vector<SheetLink> sheetLinks(std::string_view text);

// What the sheet viewer asks of the rest of the program.
struct SheetHooks {
  std::function<bool()> viewMode;  // cells are not edited in View mode
  std::function<bool()> expert;    // expert mode: no tips
  std::function<void(const std::string& address)> openAddress;
  std::function<void(const std::string& name)> openNote;
  std::function<void()> forgetWatch;  // our own write is no change from outside
  std::function<void()> changed;      // the shown sheet changed
};

class SheetViewer : public DocumentViewer {
 public:
  SheetViewer(FeatureContext ctx, SheetHooks hooks);
  ~SheetViewer() override;
  SheetViewer(const SheetViewer&) = delete;
  SheetViewer& operator=(const SheetViewer&) = delete;

  // DocumentViewer. Leaving saves; a sheet that cannot be written is kept
  // in rescued/ when it is closed.
  bool open(bool focus) override;
  bool leave() override;
  void close() override;
  void save() override { saveSheet(false); }
  void autosave() override;
  bool modified() const override { return sheet_.modified(); }
  void insertMenuItems() override;
  void removeMenuItems() override;
  bool command(int id) override;
  bool find(const std::string& term, bool fromStart) override;

  // A new, empty sheet file just made: opened with the cursor on its first cell.
  bool openNew();
  bool loading() const { return sheet_.loading(); }
  Sheet& sheet() { return sheet_; }
  int cursorRow() const { return cursorRow_; }
  int cursorColumn() const { return cursorCol_; }

  // Inputs from the table (columns as in SheetView: 0 is "tn"; viewRow -1
  // when the point hit no row, a group header included).
  void cellClicked(int viewRow, int column);
  void cellDoubleClicked(int viewRow, int column) { editCell(viewRow, column); }
  void key(SheetKey key, int pageRows = 1);
  void editorEnter();
  void editorEscape() { discardEdit(); }
  void contextMenu(int viewRow, int column);
  void headerClicked(int column);
  void groupToggled(int group);
  void scrolled();
  void columnResized(int column, int width);
  void cursorUpkeep();  // the cursor timer's tick
  void pasteDate();     // F5 in the cell editor

 private:
  class Watch;
  SheetOptions options() const;
  bool shown() const { return sheet_.isOpen(); }
  bool openSheet(bool asNew);
  SheetSaveResult saveSheet(bool quiet);
  void rescue();
  void toggleTitleRow();
  void toggleSorting();
  void drawCursor();
  int shownRowFrom(int viewRow, int steps) const;
  void editCell(int viewRow, int column);
  void discardEdit();
  void rowCommand(int id);
  void followLink(int n);
  void say(const std::string& text) const { ctx_.say(text); }
  SheetView* view() const { return ctx_.ports.sheet; }

  FeatureContext ctx_;
  SheetHooks hooks_;
  Sheet sheet_;
  std::unique_ptr<SheetObserver> watch_;
  int cursorRow_ = -1;  // view row of the cell cursor, -1 none
  int cursorCol_ = 1;   // table column (1 = first data column)
  std::pair<int, int> cursorDrawn_{-2, -2};  // where the view last drew it; -2 not drawn
  int menuRow_ = -1;    // the point the context menu was opened at
  int menuCol_ = -1;
  std::uint32_t editKey_ = 0;  // the edited cell: its row's identity and table column
  int editCol_ = 0;
};

}  // namespace vm
