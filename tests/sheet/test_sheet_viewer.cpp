// The sheet viewer on its own, with a fake table: the cursor and its keys,
// the cell editor, the context menu's row, column and group commands, the
// View items, saving and backups. The App's tests keep the routes between
// the sheet and the other features (opening, leaving, links, find, F5).
#include <gtest/gtest.h>

#include <memory>

#include "core/commands.h"
#include "core/main_menus.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "platform/fs.h"
#include "sheet/sheet_viewer.h"

namespace vm {
namespace {

using Cell = std::pair<int, int>;

std::string cells(const Sheet& s, int row) {
  std::string out;
  for (int c = 0; c < s.columnCount(); ++c) out += (c ? "|" : "") + std::string(s.text(row, c));
  return out;
}

// One sheet in a notes folder, shown by a sheet viewer in Edit mode.
struct SheetBench {
  test::FeatureParts parts;
  test::FakeSheetView sheet;
  test::FakeDialogs dialogs;
  test::FakeTimers timers;
  std::string root;
  std::string home;
  std::vector<std::string> followed;  // "note:name" and "web:address", in order
  std::unique_ptr<SheetViewer> viewer;

  explicit SheetBench(const std::string& general = "") : parts(general) {
    root = parts.dir.mkdir("notes").string();
    home = parts.env.home.string();
    parts.dir.mkdir("home/file_info");
    parts.ports.sheet = &sheet;
    parts.ports.dialogs = &dialogs;
    parts.ports.timers = &timers;
    parts.roots.add(root, root, "", ".txt", ".txt", {});
    parts.roots.setCurrent(0);
    buildMainMenus(parts.menus, parts.settings, false);
  }
  SheetViewer& startWith(const std::string& name, const std::string& content) {
    parts.dir.write("notes/" + name, content);
    parts.roots.current().selectedFile = name;
    viewer = std::make_unique<SheetViewer>(
        parts.context(), SheetHooks{[] { return false; }, [] { return false; },
                                    [this](const std::string& a) { followed.push_back("web:" + a); },
                                    [this](const std::string& n) { followed.push_back("note:" + n); }, [] {}, [] {}});
    EXPECT_TRUE(viewer->open(false));
    return *viewer;
  }
  std::string file(const std::string& name) const { return readWholeFile(root + "/" + name).value_or("<none>"); }
  std::string message() { return parts.status.message(); }
  const MenuItem* menu(int id) { return parts.menus.find(id); }
  void sheetMenu(int viewRow, int column, int id) {
    sheet.choose = id;
    viewer->contextMenu(viewRow, column);
    sheet.choose = 0;
  }
  void editCell(int viewRow, int column, const std::string& text) {
    viewer->cellDoubleClicked(viewRow, column);
    sheet.editText = text;
    viewer->editorEnter();
  }
};

TEST(SheetLinks, NamesInBracketsThenOneAddress) {
  EXPECT_EQ(sheetLinks("see [[Shopping List]] and http://example.org/a b"),
            (std::vector<SheetLink>{{false, "Shopping List"}, {true, "http://example.org/a"}}));
  EXPECT_EQ(sheetLinks("[ $Plan$ ] [x] HTTPS://a.b"),
            (std::vector<SheetLink>{{false, "Plan"}, {false, "x"}, {true, "HTTPS://a.b"}}));
  // A "[" left without its "]" keeps any address after it from counting.
  EXPECT_EQ(sheetLinks("[a] [open http://x"), (std::vector<SheetLink>{{false, "a"}}));
  EXPECT_TRUE(sheetLinks("no links here").empty());

}

TEST(SheetViewerAlone, LongCellsOpenWholeAndKeepTheirText) {
  SheetBench h;
  const std::string longText = std::string(1500, 'x') + "\xC3\xA9";
  SheetViewer& app = h.startWith("long.csv", "k," + longText + "\n");
  app.cellDoubleClicked(0, 2);
  EXPECT_EQ(h.sheet.editText, longText);
  app.editorEnter();  // unchanged
  EXPECT_FALSE(app.sheet().modified());
  // Typing more than the cell held is cut at what it held.
  app.cellDoubleClicked(0, 2);
  h.sheet.editText = longText + "more";
  app.editorEnter();
  EXPECT_EQ(app.sheet().text(0, 1), longText);
  // A short cell takes new typing up to 1023 bytes, whole letters only.
  h.editCell(0, 1, std::string(1022, 'y') + "\xC3\xA9");
  EXPECT_EQ(app.sheet().text(0, 0), std::string(1022, 'y'));
  app.save();
  EXPECT_EQ(h.file("long.csv"), std::string(1022, 'y') + "," + longText + "\n");
}

TEST(SheetViewerAlone, PageHomeEndAndEnterOnNoRow) {
  SheetBench h;
  std::string text;
  for (int i = 0; i < 30; ++i) text += std::to_string(i) + ",a,b\n";
  SheetViewer& app = h.startWith("p.csv", text);
  // No row under the cursor: Enter puts it on the first cell and opens nothing.
  ASSERT_EQ(h.sheet.cursorRow, -1);
  app.key(SheetKey::Enter);
  EXPECT_EQ(h.sheet.cursor(), Cell(0, 1));
  EXPECT_FALSE(h.sheet.editing);
  app.key(SheetKey::Enter);
  EXPECT_TRUE(h.sheet.editing);
  app.key(SheetKey::Escape);

  for (auto [key, cell] : {std::pair{SheetKey::PageDown, Cell(10, 1)}, {SheetKey::End, Cell(10, 3)},
                           {SheetKey::PageDown, Cell(20, 3)}, {SheetKey::PageDown, Cell(29, 3)},
                           {SheetKey::PageUp, Cell(19, 3)}, {SheetKey::Home, Cell(19, 1)},
                           {SheetKey::CtrlEnd, Cell(29, 3)}, {SheetKey::CtrlHome, Cell(0, 1)},
                           {SheetKey::PageUp, Cell(0, 1)}}) {
    app.key(key, 10);
    EXPECT_EQ(h.sheet.cursor(), cell) << static_cast<int>(key);
  }

  // Grouped, the keys pass over group headers and collapsed groups.
  h.sheetMenu(0, 2, cmd::kSheetGroupBy);  // one group "a": header, then 30 rows
  app.key(SheetKey::CtrlEnd, 10);
  EXPECT_EQ(h.sheet.cursor(), Cell(29, 3));
  app.key(SheetKey::PageUp, 40);
  EXPECT_EQ(h.sheet.cursor(), Cell(0, 3));
  app.key(SheetKey::PageDown, 5);
  EXPECT_EQ(h.sheet.cursor(), Cell(5, 3));
}

TEST(SheetViewerAlone, RowAndColumnCommands) {
  SheetBench h;
  SheetViewer& app = h.startWith("t.csv", "a,1\nb,2\nc,3\n");
  Sheet& s = app.sheet();

  h.sheetMenu(0, 1, 0);
  ASSERT_FALSE(h.sheet.menus.empty());
  std::vector<std::string> texts;
  for (const PopupItem& i : h.sheet.menus.back()) texts.push_back(i.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"    Insert Row   ", "    Delete Row  ", "", "    Cut Row   ",
                                             "    Paste Row   ", "", "    Insert Column   ", "    Delete Column   ",
                                             "", "    Group by this column ", "    Ungroup  "}));
  EXPECT_FALSE(h.sheet.item(cmd::kSheetPasteRow)->enabled);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetUngroup)->enabled);

  // Cut row a, paste it below c: the clipboard is empty again afterwards.
  h.sheetMenu(0, 1, cmd::kSheetCutRow);
  EXPECT_EQ(s.rowCount(), 2);
  h.sheetMenu(1, 1, cmd::kSheetPasteRow);
  EXPECT_EQ(cells(s, 2), "a|1");
  h.sheetMenu(0, 1, 0);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetPasteRow)->enabled);
  EXPECT_TRUE(s.modified());

  h.sheetMenu(0, 1, cmd::kSheetInsertRow);
  EXPECT_EQ(s.rowCount(), 4);
  EXPECT_EQ(s.text(1, 0), "");
  EXPECT_EQ(h.sheet.cursorRow, 1);
  h.sheetMenu(1, 1, cmd::kSheetDeleteRow);
  EXPECT_EQ(s.rowCount(), 3);

  h.sheetMenu(0, 2, cmd::kSheetInsertColumn);
  EXPECT_EQ(cells(s, 0), "b||2");

  h.sheetMenu(0, 0, cmd::kSheetDeleteColumn);
  EXPECT_EQ(h.message(), "Can't delete first column");
  h.dialogs.answer = false;
  h.sheetMenu(0, 2, cmd::kSheetDeleteColumn);
  EXPECT_EQ(s.columnCount(), 3);
  EXPECT_EQ(h.dialogs.shown, (std::vector<std::string>{
                                 "Verify: Are you sure you want to remove this column? \nThis action is not reversable"}));
  h.dialogs.answer = true;
  h.sheetMenu(0, 2, cmd::kSheetDeleteColumn);

  app.save();
  EXPECT_EQ(h.file("t.csv"), "b,2\nc,3\na,1\n");
}

TEST(SheetViewerAlone, GroupsAndTheirMenu) {
  SheetBench h;
  SheetViewer& app = h.startWith("g.csv", "1,x\n2,\n3,x\n4,x\n");
  Sheet& s = app.sheet();
  h.sheetMenu(0, 2, cmd::kSheetGroupBy);
  ASSERT_TRUE(s.grouped());
  ASSERT_EQ(s.groupCount(), 2);
  EXPECT_EQ(s.group(0).name + "|" + s.group(1).name, "x|No group");
  h.sheetMenu(0, 1, cmd::kSheetCollapseAll);
  EXPECT_TRUE(s.allCollapsed());
  h.sheetMenu(-1, 1, 0);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetCollapseAll)->enabled);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetUngroup)->enabled);
  EXPECT_TRUE(h.sheet.item(cmd::kSheetExpandAll)->enabled);
  h.sheetMenu(-1, 1, cmd::kSheetExpandAll);
  EXPECT_FALSE(s.allCollapsed());
  // One group's sign folds just that group.
  app.groupToggled(1);
  EXPECT_EQ(std::pair(s.group(0).collapsed, s.group(1).collapsed), std::pair(false, true));
  // Down walks over the group headers.
  app.cellClicked(0, 1);
  app.key(SheetKey::Down);
  EXPECT_EQ(h.sheet.cursorRow, 2);
  h.sheetMenu(0, 1, cmd::kSheetUngroup);
  EXPECT_FALSE(s.grouped());
  EXPECT_FALSE(s.modified());  // grouping is a way of looking, not a change
}

TEST(SheetViewerAlone, CursorKeysHeaderSortAndViewItems) {
  SheetBench h;
  SheetViewer& app = h.startWith("t.csv", "Name,Age\nb,10\nA,9\na,\n");
  app.cellClicked(0, 1);
  for (auto [key, cell] : {std::pair{SheetKey::Left, Cell(0, 1)}, {SheetKey::Right, Cell(0, 2)},
                           {SheetKey::Right, Cell(0, 2)}, {SheetKey::Up, Cell(0, 2)}, {SheetKey::Down, Cell(1, 2)},
                           {SheetKey::Down, Cell(2, 2)}, {SheetKey::Down, Cell(3, 2)}, {SheetKey::Down, Cell(3, 2)}}) {
    app.key(key);
    EXPECT_EQ(h.sheet.cursor(), cell);
  }
  app.key(SheetKey::Enter);
  EXPECT_TRUE(h.sheet.editing);
  EXPECT_EQ(h.sheet.editText, "");
  app.key(SheetKey::Escape);
  EXPECT_FALSE(h.sheet.editing);

  // No settings file says otherwise: sorting is off, and the header does not sort.
  EXPECT_FALSE(h.sheet.sortable);
  app.headerClicked(1);
  EXPECT_EQ(app.sheet().sortColumn(), -1);
  app.command(cmd::kSheetSortable);
  EXPECT_TRUE(h.sheet.sortable);
  EXPECT_TRUE(h.menu(cmd::kSheetSortable)->checked);
  app.headerClicked(2);
  EXPECT_EQ(cells(app.sheet(), 0) + "|" + cells(app.sheet(), 1), "a||b|10");
  app.headerClicked(2);
  EXPECT_EQ(cells(app.sheet(), 0) + "|" + cells(app.sheet(), 1), "Name|Age|A|9");
  EXPECT_FALSE(app.sheet().modified());

  // First row as title: written to the sheet's settings and reopened.
  app.command(cmd::kSheetTitleRow);
  ASSERT_TRUE(app.sheet().isOpen());
  EXPECT_TRUE(app.sheet().firstRowAsTitle());
  EXPECT_EQ(app.sheet().headerTitle(0), "Name");
  EXPECT_EQ(app.sheet().rowCount(), 3);
  EXPECT_TRUE(h.menu(cmd::kSheetTitleRow)->checked);
  EXPECT_TRUE(app.sheet().sortingOn());  // kept in the settings file across the reopen
  app.command(cmd::kSheetTitleRow);
  EXPECT_FALSE(app.sheet().firstRowAsTitle());
  EXPECT_EQ(app.sheet().rowCount(), 4);
}

TEST(SheetViewerAlone, NeverSortHidesTheItem) {
  SheetBench h("SSNeverSort=1");
  SheetViewer& app = h.startWith("t.csv", "b\na\n");
  EXPECT_TRUE(h.menu(cmd::kSheetTitleRow));
  EXPECT_FALSE(h.menu(cmd::kSheetSortable));
  app.headerClicked(1);
  EXPECT_EQ(app.sheet().text(0, 0), "b");
}

TEST(SheetViewerAlone, BackupsOnSave) {
  SheetBench h("SSMaxBackup=2");
  SheetViewer& app = h.startWith("b.csv", "v0\n");
  for (int i = 1; i <= 3; ++i) {
    h.editCell(0, 1, "v" + std::to_string(i));
    app.save();
  }
  const std::string base = h.home + "/file_info/b.csv";
  EXPECT_EQ(readWholeFile(base + ".1").value_or(""), "v1\n");
  EXPECT_EQ(readWholeFile(base + ".0.x").value_or(""), "v2\n");
  EXPECT_FALSE(pathExists(base + ".0"));
  EXPECT_EQ(h.file("b.csv"), "v3\n");
}

TEST(SheetViewerAlone, CellLinksGoThroughTheHooks) {
  SheetBench h;
  SheetViewer& app = h.startWith("l.csv", "\"[[Shopping]] https://example.org/x\",[one] [two] [three] [four] [five] [six]\n");
  h.sheetMenu(0, 2, 0);
  ASSERT_TRUE(h.sheet.item(cmd::kSheetLinkFirst));
  EXPECT_EQ(h.sheet.item(cmd::kSheetLinkFirst)->text, "    one");
  h.sheetMenu(0, 2, cmd::kSheetLinkFirst + 5);  // only five links can be followed
  h.sheetMenu(0, 2, cmd::kSheetLinkFirst + 4);
  h.sheetMenu(0, 1, cmd::kSheetLinkFirst + 1);
  h.sheetMenu(0, 1, cmd::kSheetLinkFirst);
  EXPECT_EQ(h.followed, (std::vector<std::string>{"note:five", "web:https://example.org/x", "note:Shopping"}));
  EXPECT_FALSE(app.modified());
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// A file that ends inside a quoted field: typing into a cell after that
// field writes the field by the quoting rules, so the new cell stays a cell.
TEST(SheetViewerAlone, ACellTypedAfterAnUnclosedQuotedFieldStaysItsOwnCell) {
  SheetBench h;
  SheetViewer& app = h.startWith("open.csv", "a,b,c\n1,\"open");
  ASSERT_EQ(app.sheet().text(1, 1), "open");
  h.editCell(1, 3, "x");
  app.save();
  EXPECT_EQ(h.file("open.csv"), "a,b,c\n1,open,x");
}

}  // namespace
}  // namespace vm
