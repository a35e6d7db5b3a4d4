// The sheet viewer: open, save and close, the Tools menu items, the cell
// cursor and editor, the context menu with its row, column and group
// commands, links in cells and find.
#include "sheet/sheet_viewer.h"

#include <algorithm>
#include <system_error>

#include "core/commands.h"
#include "core/ini_file.h"
#include "notes/companion.h"
#include "notes/date_template.h"
#include "notes/keywords.h"
#include "notes/note_file.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "sheet/sheet_file.h"

namespace vm {

namespace {

constexpr int kCursorUpkeepMs = 1;
constexpr int kMaxFollowedLinks = 5;
constexpr const char* kEditorTip = "Press Enter after entering text to assign to cell";

}  // namespace

// The window title's "*" follows the sheet's modified flag.
class SheetViewer::Watch : public SheetObserver {
 public:
  explicit Watch(SheetViewer& v) : v_(v) {}
  void sheetChanged(const SheetChange& c) override {
    if (c.kind != SheetChange::Kind::ModifiedChanged || !v_.sheet_.isOpen()) return;
    if (v_.sheet_.modified())
      v_.ctx_.status.markModified();
    else
      v_.ctx_.status.clearModified();
  }

 private:
  SheetViewer& v_;
};

std::vector<SheetLink> sheetLinks(std::string_view text) {
  std::vector<SheetLink> links;
  text = text.substr(0, std::min(text.size(), kCellTextMax));
  std::size_t at = 0;
  for (;;) {
    std::size_t open = text.find('[', at);
    if (open == std::string_view::npos) break;
    std::size_t start = open + 1;
    if (start < text.size() && text[start] == '[') ++start;
    std::size_t close = text.find(']', start);
    if (close == std::string_view::npos) break;
    std::string name(ini::trimBlanks(text.substr(start, close - start)));
    if (name.size() >= 2 && name.front() == '$' && name.back() == '$') name = std::string(ini::trimBlanks(std::string_view(name).substr(1, name.size() - 2)));
    links.push_back({false, name});
    at = close + 1;
  }
  // A web address counts only where no bracket is left.
  std::string_view rest = text.substr(std::min(at, text.size()));
  if (rest.find('[') == std::string_view::npos) {
    std::size_t a = findNoCase(rest, "http:");
    std::size_t b = findNoCase(rest, "https:");
    std::size_t s = std::min(a, b);
    if (s != std::string_view::npos) {
      std::size_t e = rest.find(' ', s);
      links.push_back({true, std::string(rest.substr(s, e == std::string_view::npos ? rest.size() - s : e - s))});
    }
  }
  return links;
}

SheetViewer::SheetViewer(FeatureContext ctx, SheetHooks hooks)
    : ctx_(ctx), hooks_(std::move(hooks)), watch_(std::make_unique<Watch>(*this)) {
  sheet_.addObserver(watch_.get());
}

SheetViewer::~SheetViewer() {
  // The view reads the sheet in place: let go of it before the sheet goes.
  if (view()) view()->showSheet(nullptr, 0);
  sheet_.removeObserver(watch_.get());
}

SheetOptions SheetViewer::options() const {
  SheetOptions o;
  o.delimiter = ctx_.settings.text(setting::SpreadSheetDelimiter);
  o.checkForBom = ctx_.settings.flag(setting::CheckForBOM);
  o.makeBackups = ctx_.settings.flag(setting::SSMakeChangeBackups);
  o.maxBackups = ctx_.settings.integer(setting::SSMaxBackup);
  o.saveWidths = ctx_.settings.flag(setting::SSSaveWidths);
  o.neverSort = ctx_.settings.flag(setting::SSNeverSort);
  o.sortBlankAtBottom = ctx_.settings.flag(setting::SpreadsheetSortBlankAtBottom);
  o.columnWidth = ctx_.settings.integer(setting::SpreadsheetColumnWidth);
  if (o.columnWidth < 1) o.columnWidth = 100;
  o.fileInfoFolder = fileInfoFolder(ctx_.env.home.string(), ctx_.settings.text(setting::FileInfoDir),
                                    [this](std::string& p) { expandPathVariables(p, ctx_.env.paths); });
  o.companionBesideFile = ctx_.settings.flag(setting::TnFileWithOriginal);
  return o;
}

// ---------------------------------------------------------------- open, save, close

bool SheetViewer::openSheet(bool asNew) {
  removeMenuItems();
  if (ctx_.ports.multibar) ctx_.ports.multibar->setText("");
  const RootLocation& r = ctx_.roots.current();
  const std::string name = r.selectedFile;
  const std::string path = ctx_.selectedPath();
  if (sheet_.isOpen()) close();
  SheetOpenResult res = sheet_.open(path, options(), ctx_.ports.pump, asNew);
  if (!res.ok()) {
    switch (res.status) {
      case SheetOpenResult::Status::Unreadable:
        if (!pathExists(path))
          say(format("File does not exist: %s", path.c_str()));
        else
          say(format("Cannot read spreadsheet %s: %s", name.c_str(), res.error.c_str()));
        break;
      case SheetOpenResult::Status::NoLineEnd:
        say(format("Not opened as a spreadsheet: %s has no line end", name.c_str()));
        break;
      case SheetOpenResult::Status::Cancelled:
        if (ctx_.ports.pump && ctx_.ports.pump->cancelled()) say(format("Loading cancelled: %s", name.c_str()));
        break;
      case SheetOpenResult::Status::Busy:
      case SheetOpenResult::Status::Opened: break;
    }
    if (view()) view()->showSheet(nullptr, 0);
    return false;
  }
  cursorRow_ = -1;
  cursorCol_ = 1;
  cursorDrawn_ = {-2, -2};
  menuRow_ = -1;
  menuCol_ = -1;
  if (view()) {
    int numWidth = ctx_.settings.integer(setting::SpreadsheetNumWidth);
    view()->showSheet(&sheet_, numWidth > 0 ? numWidth : 30);
    view()->setSortable(sheet_.sortingOn());
    view()->setVisible(true);
  }
  insertMenuItems();
  ctx_.status.setTitle(name);
  if (ctx_.ports.timers) ctx_.ports.timers->start(cmd::kTimerSheet, kCursorUpkeepMs);
  if (asNew) {
    if (view()) view()->focus();
    cursorRow_ = sheet_.rowCount() > 0 ? 0 : -1;
    drawCursor();
  }
  hooks_.changed();
  return true;
}

SheetSaveResult SheetViewer::saveSheet(bool quiet) {
  if (!sheet_.isOpen()) return {};
  discardEdit();
  hooks_.forgetWatch();  // our own write is no change from outside
  SheetSaveResult res = sheet_.save(options());
  // A failure is always told, and so is a legacy sheet becoming UTF-8; a
  // plain success only when the user asked for it.
  if (res.kind == SheetSaveResult::Kind::Failed || (res.kind == SheetSaveResult::Kind::Saved && (!quiet || res.nowUtf8)))
    say(res.message);
  return res;
}

// A sheet that cannot be written where it belongs is kept in the rescue
// folder before it is closed: an edit is never dropped.
void SheetViewer::rescue() {
  std::error_code ec;
  auto folder = ctx_.env.home / "rescued";
  std::filesystem::create_directories(folder, ec);
  std::string base = lastComponent(sheet_.path());
  if (base.empty()) base = std::string(kNewSpreadsheetBase) + std::string(kSpreadsheetExtension);
  std::string name = conflictName(base, ctx_.now());
  for (int n = 2; pathExists(folder / name) && n < 1000; ++n) name = conflictName(base, ctx_.now(), n);
  std::string err;
  if (sheet_.saveCopy(folder / name, &err))
    say(format("Could not save the spreadsheet; it was kept in %s", (folder / name).c_str()));
  else
    say(format("Could not save the spreadsheet: %s", err.c_str()));
}

void SheetViewer::close() {
  if (ctx_.ports.timers) ctx_.ports.timers->stop(cmd::kTimerSheet);
  cursorRow_ = -1;
  if (!sheet_.isOpen()) return;
  if (view()) view()->setCursor(-1, 0, false);
  discardEdit();
  sheet_.ungroup();
  if (saveSheet(false).kind == SheetSaveResult::Kind::Failed) rescue();
  sheet_.discard();
  if (view()) {
    view()->showSheet(nullptr, 0);
    view()->setVisible(false);
  }
  removeMenuItems();
  ctx_.status.clearModified();
}

bool SheetViewer::open(bool focus) {
  bool ok = openSheet(false);
  if (ok && focus && view()) view()->focus();
  return ok;
}

bool SheetViewer::openNew() { return openSheet(true); }

// Leaving saves; a failed save keeps the sheet modified, and closing it
// later keeps a copy.
bool SheetViewer::leave() {
  saveSheet(false);
  return true;
}

void SheetViewer::autosave() {
  if (sheet_.modified()) saveSheet(true);
}

// ---------------------------------------------------------------- View menu

void SheetViewer::insertMenuItems() {
  if (ctx_.menus.find(cmd::kSheetTitleRow)) return;
  auto add = [this](int id, const char* text, bool checkable = false, bool checked = false) {
    ctx_.addToolsItem(MenuItem{id, text, "", checkable, checked, true, {}});
  };
  add(cmd::kSheetSep1, "");
  add(cmd::kSheetTitleRow, " First Row as Title   ", true, sheet_.firstRowAsTitle());
  if (!ctx_.settings.flag(setting::SSNeverSort)) add(cmd::kSheetSortable, " Sortable Columns   ", true, sheet_.sortingOn());
  add(cmd::kSheetKeywords, " Keywords  ");
  add(cmd::kSheetSep2, "");
}

void SheetViewer::removeMenuItems() {
  for (int id : {cmd::kSheetSep1, cmd::kSheetTitleRow, cmd::kSheetSortable, cmd::kSheetKeywords, cmd::kSheetSep2})
    ctx_.menus.remove(id);
}

void SheetViewer::toggleTitleRow() {
  if (!shown()) return;
  discardEdit();
  const std::string path = sheet_.path();
  const std::string value = sheet_.firstRowAsTitle() ? "0" : "1";
  writeSheetViewSetting(path, options(), setting::SpreadsheetFirstRowAsTitle.key, value);
  ctx_.settings.set(setting::SpreadsheetFirstRowAsTitle, value);
  removeMenuItems();
  close();  // saves a modified sheet
  if (openSheet(false) && view()) view()->focus();
}

void SheetViewer::toggleSorting() {
  if (!shown()) return;
  const bool on = !sheet_.sortingOn();
  const std::string value = on ? "0" : "1";
  writeSheetViewSetting(sheet_.path(), options(), setting::SpreadsheetSortHeader.key, value);
  ctx_.settings.set(setting::SpreadsheetSortHeader, value);
  sheet_.setSortingOn(on);
  ctx_.menus.setChecked(cmd::kSheetSortable, on);
  if (view()) view()->setSortable(on);
}

// ---------------------------------------------------------------- cell cursor

void SheetViewer::drawCursor() {
  if (!view()) return;
  bool shown = cursorRow_ >= 0 && cursorRow_ < sheet_.rowCount() && sheet_.displayRowOf(cursorRow_) >= 0;
  view()->setCursor(shown ? cursorRow_ : -1, cursorCol_, shown);
  cursorDrawn_ = {shown ? cursorRow_ : -1, cursorCol_};
}

void SheetViewer::cursorUpkeep() {
  if (!shown() || !view()) return;
  if (ctx_.ports.window && !ctx_.ports.window->isForeground()) {
    if (cursorDrawn_.first != -2) view()->setCursor(-1, 0, false);
    cursorDrawn_ = {-2, -2};
    return;
  }
  if (cursorCol_ < 1) cursorCol_ = 1;
  if (cursorDrawn_ != std::pair{cursorRow_, cursorCol_}) drawCursor();
}

void SheetViewer::cellClicked(int viewRow, int column) {
  if (!shown()) return;
  discardEdit();
  if (viewRow < 0 || viewRow >= sheet_.rowCount()) return;
  cursorRow_ = viewRow;
  if (column >= 1) cursorCol_ = column;
  drawCursor();
}

// The shown row `steps` rows from viewRow (negative: up), passing over group
// headers and collapsed groups; it stops at the first or the last shown row.
int SheetViewer::shownRowFrom(int viewRow, int steps) const {
  const int n = sheet_.displayRowCount();
  if (n == 0) return -1;
  int d = viewRow >= 0 ? sheet_.displayRowOf(viewRow) : -1;
  if (d < 0) d = steps < 0 ? n : -1;
  const int dir = steps < 0 ? -1 : 1;
  const int target = std::clamp(d + steps, 0, n - 1);
  // The first row from the target on in the direction of travel, else the last one before it.
  for (int i = target; i >= 0 && i < n; i += dir)
    if (!sheet_.displayRow(i).isHeader()) return sheet_.displayRow(i).viewRow;
  for (int i = target; i >= 0 && i < n; i -= dir)
    if (!sheet_.displayRow(i).isHeader()) return sheet_.displayRow(i).viewRow;
  return viewRow;
}

void SheetViewer::key(SheetKey key, int pageRows) {
  if (!shown()) return;
  switch (key) {
    case SheetKey::Enter:
      // With the cursor on no row, Enter puts it on the first cell.
      if (cursorRow_ < 0 || cursorRow_ >= sheet_.rowCount()) {
        const int first = shownRowFrom(-1, 1);
        if (first < 0) return;
        discardEdit();
        cursorRow_ = first;
        cursorCol_ = 1;
        drawCursor();
        return;
      }
      editCell(cursorRow_, cursorCol_);
      return;
    case SheetKey::Escape: discardEdit(); return;
    default: break;
  }
  int row = cursorRow_;
  int col = cursorCol_;
  const int lastCol = std::min(sheet_.columnCount(), kMaxShownColumns);
  const int page = std::max(1, pageRows);
  switch (key) {
    case SheetKey::Left: col = std::max(1, col - 1); break;
    case SheetKey::Right: col = std::min(lastCol, col + 1); break;
    case SheetKey::Up: row = row < 0 ? shownRowFrom(-1, 1) : shownRowFrom(row, -1); break;
    case SheetKey::Down: row = row < 0 ? shownRowFrom(-1, 1) : shownRowFrom(row, 1); break;
    case SheetKey::PageUp: row = row < 0 ? shownRowFrom(-1, 1) : shownRowFrom(row, -page); break;
    case SheetKey::PageDown: row = row < 0 ? shownRowFrom(-1, 1) : shownRowFrom(row, page); break;
    case SheetKey::Home: col = 1; break;
    case SheetKey::End: col = std::max(1, lastCol); break;
    case SheetKey::CtrlHome:
      row = shownRowFrom(-1, 1);
      col = 1;
      break;
    case SheetKey::CtrlEnd:
      row = shownRowFrom(-1, -1);
      col = std::max(1, lastCol);
      break;
    default: break;
  }
  if (row < 0 && (key == SheetKey::Home || key == SheetKey::End)) row = shownRowFrom(-1, 1);
  if (row == cursorRow_ && col == cursorCol_) return;
  discardEdit();
  cursorRow_ = row;
  cursorCol_ = col;
  drawCursor();
}

// ---------------------------------------------------------------- cell editor

void SheetViewer::editCell(int viewRow, int column) {
  if (!shown()) return;
  if (hooks_.viewMode()) {
    say("Cannot edit in View mode");
    return;
  }
  discardEdit();
  if (viewRow < 0 || viewRow >= sheet_.rowCount() || column < 1 || column > sheet_.columnCount()) return;
  cursorRow_ = viewRow;
  cursorCol_ = column;
  drawCursor();
  editKey_ = sheet_.rowKey(viewRow);
  editCol_ = column;
  if (!view()) return;
  // A cell longer than new typing may be opens whole.
  const std::string text(sheet_.text(viewRow, column - 1));
  view()->openEditor(viewRow, column, text, ctx_.settings.flag(setting::SSEditCursorToEnd),
                           hooks_.expert() ? "" : kEditorTip);
}

void SheetViewer::editorEnter() {
  if (!view() || !view()->editorOpen()) return;
  std::string text = view()->editorText();
  view()->closeEditor();
  if (!shown()) return;
  int row = sheet_.viewRowOfKey(editKey_);
  if (row >= 0 && editCol_ >= 1 && editCol_ <= sheet_.columnCount()) {
    // The editor takes new typing up to kCellTextMax bytes; a cell that
    // already held more may keep that much.
    text = cutUtf8(std::move(text), std::max(kCellTextMax, sheet_.text(row, editCol_ - 1).size()));
    sheet_.setText(row, editCol_ - 1, text);  // marks the sheet modified when the text changed
    cursorRow_ = row;
    cursorCol_ = editCol_;
  }
  view()->focus();
  drawCursor();
}

void SheetViewer::discardEdit() {
  if (!view() || !view()->editorOpen()) return;
  view()->closeEditor();
  view()->focus();
}

void SheetViewer::scrolled() {
  if (!shown()) return;
  discardEdit();
  cursorDrawn_ = {-2, -2};  // redrawn at the next tick
}

// ---------------------------------------------------------------- header, groups, widths

void SheetViewer::headerClicked(int column) {
  if (!shown() || column < 1 || !sheet_.sortingOn()) return;
  discardEdit();
  if (view()) view()->setCursor(-1, 0, false);
  cursorRow_ = -1;
  sheet_.sortBy(column - 1, ctx_.settings.flag(setting::SpreadsheetSortBlankAtBottom));
}

void SheetViewer::groupToggled(int group) {
  if (!shown() || !sheet_.grouped() || group < 0 || group >= sheet_.groupCount()) return;
  discardEdit();
  sheet_.setGroupCollapsed(group, !sheet_.group(group).collapsed);
  drawCursor();
}

void SheetViewer::columnResized(int column, int width) {
  if (!shown() || column < 1 || width < 0) return;
  sheet_.setColumnWidth(column - 1, width);
}

// ---------------------------------------------------------------- context menu

void SheetViewer::contextMenu(int viewRow, int column) {
  if (!shown()) return;
  discardEdit();
  menuRow_ = viewRow >= 0 && viewRow < sheet_.rowCount() ? viewRow : -1;
  menuCol_ = column;
  if (menuRow_ >= 0) {
    cursorRow_ = menuRow_;
    if (column >= 1) cursorCol_ = column;
    drawCursor();
  }
  if (!view()) return;
  const bool edit = !hooks_.viewMode();
  std::vector<PopupItem> items = {
      {cmd::kSheetInsertRow, "    Insert Row   ", edit},
      {cmd::kSheetDeleteRow, "    Delete Row  ", edit},
      {0, "", true},
      {cmd::kSheetCutRow, "    Cut Row   ", edit},
      {cmd::kSheetPasteRow, "    Paste Row   ", edit && sheet_.canPaste()},
      {0, "", true},
      {cmd::kSheetInsertColumn, "    Insert Column   ", edit},
      {cmd::kSheetDeleteColumn, "    Delete Column   ", edit},
      {0, "", true},
      {cmd::kSheetGroupBy, "    Group by this column ", edit},
      {cmd::kSheetUngroup, "    Ungroup  ", edit && sheet_.grouped() && !sheet_.allCollapsed()},
  };
  if (sheet_.grouped() && edit) {
    items.push_back({0, "", true});
    items.push_back({cmd::kSheetCollapseAll, "    Collapse all  ", !sheet_.allCollapsed()});
    items.push_back({cmd::kSheetExpandAll, "    Expand all  ", true});
  }
  std::vector<SheetLink> links;
  if (cursorRow_ >= 0 && cursorCol_ >= 1 && cursorCol_ <= sheet_.columnCount())
    links = sheetLinks(sheet_.text(cursorRow_, cursorCol_ - 1));
  if (!links.empty()) {
    items.push_back({0, "", true});
    for (std::size_t i = 0; i < links.size(); ++i)
      items.push_back({cmd::kSheetLinkFirst + static_cast<int>(i), "    " + links[i].target, true});
  }
  int chosen = view()->popupMenu(items);
  if (chosen != 0) command(chosen);
}

bool SheetViewer::command(int id) {
  if (id == cmd::kSheetTitleRow) {
    toggleTitleRow();
    return true;
  }
  if (id == cmd::kSheetSortable) {
    toggleSorting();
    return true;
  }
  if (id == cmd::kSheetKeywords) {
    if (shown()) Keywords(ctx_).showDialog(sheet_.path());
    return true;
  }
  if (id < cmd::kSheetInsertRow || id > cmd::kSheetLinkLast) return false;
  if (!shown()) return true;
  if (id >= cmd::kSheetLinkFirst) {
    followLink(id - cmd::kSheetLinkFirst);
    return true;
  }
  if (hooks_.viewMode()) return true;  // the row and column commands change the sheet
  discardEdit();
  const int row = menuRow_;
  const int col = menuCol_;
  auto afterInsert = [&](int newRow) {
    if (newRow < 0) return;
    cursorRow_ = newRow;
    drawCursor();
  };
  switch (id) {
    case cmd::kSheetInsertRow: afterInsert(sheet_.insertRow(row)); break;
    case cmd::kSheetPasteRow: afterInsert(sheet_.pasteRow(row)); break;
    case cmd::kSheetDeleteRow:
    case cmd::kSheetCutRow:
      if (row < 0) break;
      if (view()) view()->setCursor(-1, 0, false);
      if (id == cmd::kSheetCutRow)
        sheet_.cutRow(row);
      else
        sheet_.deleteRow(row);
      cursorRow_ = std::min(row, sheet_.rowCount() - 1);
      drawCursor();
      break;
    case cmd::kSheetInsertColumn:
      if (row < 0 || col < 1) break;
      sheet_.insertColumn(col - 1, options().columnWidth);
      break;
    case cmd::kSheetDeleteColumn:
      if (row < 0) break;
      if (col < 1) {
        say(std::string(kMsgCantDeleteFirstColumn));
        break;
      }
      // The column goes only once the user has confirmed it.
      if (!ctx_.settings.flag(setting::SpreadsheetVerifyCut) || !ctx_.ports.dialogs) break;
      if (!ctx_.ports.dialogs->confirm(std::string(kMsgVerifyTitle), std::string(kMsgVerifyDeleteColumn))) break;
      sheet_.deleteColumn(col - 1);
      cursorCol_ = std::clamp(cursorCol_, 1, std::max(1, sheet_.columnCount()));
      drawCursor();
      break;
    case cmd::kSheetGroupBy:
      if (row < 0 || col < 1) break;
      if (view()) view()->setCursor(-1, 0, false);
      sheet_.groupBy(col - 1);
      drawCursor();
      break;
    case cmd::kSheetUngroup:
      sheet_.ungroup();
      drawCursor();
      break;
    case cmd::kSheetCollapseAll:
      sheet_.collapseAll();
      drawCursor();
      break;
    case cmd::kSheetExpandAll:
      sheet_.expandAll();
      drawCursor();
      break;
    default: break;
  }
  return true;
}

// ---------------------------------------------------------------- links and find

void SheetViewer::followLink(int n) {
  if (n < 0 || n >= kMaxFollowedLinks || cursorRow_ < 0 || cursorCol_ < 1 || cursorCol_ > sheet_.columnCount())
    return;
  std::vector<SheetLink> links = sheetLinks(sheet_.text(cursorRow_, cursorCol_ - 1));
  if (n >= static_cast<int>(links.size())) return;
  const SheetLink link = links[static_cast<std::size_t>(n)];
  if (link.web)
    hooks_.openAddress(link.target);
  else
    hooks_.openNote(link.target);
}

bool SheetViewer::find(const std::string& term, bool fromStart) {
  if (!shown() || term.empty()) return false;
  std::optional<CellPos> after;
  if (!fromStart && cursorRow_ >= 0) after = CellPos{cursorRow_, cursorCol_ - 1};
  std::optional<CellPos> hit = sheet_.find(term, after);
  if (!hit) return false;
  if (sheet_.displayRowOf(hit->row) < 0) sheet_.setGroupCollapsed(sheet_.groupOfViewRow(hit->row), false);
  cursorRow_ = hit->row;
  cursorCol_ = hit->col + 1;
  if (view()) view()->focus();
  drawCursor();
  return true;
}

void SheetViewer::pasteDate() {
  if (!view() || !view()->editorOpen()) return;
  view()->editorInsert(pasteDateText(DateTarget::SpreadsheetCell, ctx_.settings.text(setting::SpreadsheetDateTemplate),
                                           ctx_.settings.flag(setting::SSEditPasteTimeWithDate), ctx_.now()));
}

}  // namespace vm
