#include <gtest/gtest.h>

#include <filesystem>

#include "core/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace fs = std::filesystem;

struct SheetHarness : test::RootHarness {
  explicit SheetHarness(const std::string& general = "") : RootHarness(general) {}
  std::string file(const std::string& name) const { return readWholeFile(root + "/" + name).value_or("<missing>"); }
  std::string title() { return app().status().title(); }
  std::string message() { return app().status().message(); }
  // Right click on a cell, then the menu item id.
  void menuCommand(int viewRow, int column, int id) {
    sheet.choose = id;
    app().sheetContextMenu(viewRow, column);
    sheet.choose = 0;
  }
  void edit(int viewRow, int column, const std::string& text) {
    app().sheetCellDoubleClicked(viewRow, column);
    sheet.editText = text;
    app().sheetEditorEnter();
  }
};

TEST(SheetViewer, OpensShowsEditsAndSaves) {
  SheetHarness h;
  h.dir.write("notes/people.csv", "Ann,30\r\nBob,\"4,5\"\r\n");
  h.dir.write("notes/a.txt", "text");
  App& app = h.start();
  h.open("people.csv");
  ASSERT_EQ(app.currentViewer(), Viewer::Sheet);
  ASSERT_EQ(h.sheet.sheet, &app.sheet());
  EXPECT_TRUE(h.sheet.visible);
  EXPECT_EQ(h.sheet.numberWidth, 30);
  EXPECT_EQ(app.sheet().rowCount(), 2);
  EXPECT_EQ(app.sheet().text(1, 1), "4,5");
  EXPECT_EQ(h.title(), "people.csv");
  EXPECT_TRUE(h.timers.isRunning(cmd::kTimerSheet));
  ASSERT_TRUE(app.menus().find(cmd::kSheetTitleRow));
  EXPECT_EQ(app.menus().find(cmd::kSheetTitleRow)->text, " First Row as Title   ");
  EXPECT_EQ(app.menus().find(cmd::kSheetSortable)->text, " Sortable Columns   ");

  // Double-click opens the editor over the cell; Esc leaves the cell alone.
  app.sheetCellDoubleClicked(0, 1);
  ASSERT_TRUE(h.sheet.editing);
  EXPECT_EQ(h.sheet.editText, "Ann");
  EXPECT_EQ(h.sheet.editTip, "Press Enter after entering text to assign to cell");
  EXPECT_TRUE(h.sheet.caretToEnd);
  h.sheet.editText = "Zed";
  app.sheetEditorEscape();
  EXPECT_FALSE(h.sheet.editing);
  EXPECT_EQ(app.sheet().text(0, 0), "Ann");
  EXPECT_EQ(h.title(), "people.csv");

  // Enter assigns and marks the window title.
  h.edit(0, 1, "Ann \"A\"");
  EXPECT_EQ(app.sheet().text(0, 0), "Ann \"A\"");
  EXPECT_EQ(h.title(), "people.csv*");
  EXPECT_EQ(h.sheet.cursorRow, 0);
  EXPECT_EQ(h.sheet.cursorColumn, 1);

  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("people.csv"), "\"Ann \"\"A\"\"\",30\nBob,\"4,5\"\n");
  EXPECT_EQ(h.message(), "Saved spreadsheet file");
  EXPECT_EQ(h.title(), "people.csv");

  // Leaving for another file saves too, and closes the sheet.
  h.edit(1, 2, "6");
  h.open("a.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(h.file("people.csv"), "\"Ann \"\"A\"\"\",30\nBob,6\n");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.sheet.sheet, nullptr);
  EXPECT_FALSE(h.timers.isRunning(cmd::kTimerSheet));
  EXPECT_FALSE(app.menus().find(cmd::kSheetTitleRow));
}

TEST(SheetViewer, ViewModeOpensButDoesNotEdit) {
  SheetHarness h;
  h.dir.write("notes/t.csv", "a,b\n");
  App& app = h.start();
  app.command(cmd::kCtrlE);  // View mode
  h.open("t.csv");
  ASSERT_EQ(app.currentViewer(), Viewer::Sheet);
  app.sheetCellDoubleClicked(0, 1);
  EXPECT_FALSE(h.sheet.editing);
  EXPECT_EQ(h.message(), "Cannot edit in View mode");
  // The menu's row and column items are greyed, and do nothing when sent anyway.
  h.menuCommand(0, 1, cmd::kSheetInsertRow);
  ASSERT_TRUE(h.sheet.item(cmd::kSheetInsertRow));
  EXPECT_FALSE(h.sheet.item(cmd::kSheetInsertRow)->enabled);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetGroupBy)->enabled);
  EXPECT_EQ(app.sheet().rowCount(), 1);
  // Sorting still works.
  app.command(cmd::kSheetSortable);
  app.sheetHeaderClicked(1);
  EXPECT_EQ(app.sheet().sortColumn(), 0);
}

TEST(SheetViewer, BadFilesDoNotOpen) {
  SheetHarness h;
  h.dir.write("notes/one.csv", "a,b,c");  // no line end
  h.dir.write("notes/a.txt", "x");
  App& app = h.start();
  h.open("one.csv");
  EXPECT_EQ(h.message(), "Not opened as a spreadsheet: one.csv has no line end");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.sheet.sheet, nullptr);
  EXPECT_FALSE(app.menus().find(cmd::kSheetTitleRow));

  // A quit during a long load stops it; nothing of it is shown.
  std::string big;
  while (big.size() < (3u << 20)) big += "some text,more text,42\n";
  h.dir.write("notes/big.csv", big);
  app.command(cmd::kRefresh);
  h.pump.quitAfter = 1;
  h.open("big.csv");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.sheet.sheet, nullptr);
  EXPECT_EQ(h.pump.steps, 2);
  // Without the quit it opens.
  h.pump.quitAfter = -1;
  h.open("a.txt");
  h.open("big.csv");
  EXPECT_TRUE(app.sheet().isOpen());
  EXPECT_EQ(app.sheet().rowCount(), static_cast<int>(big.size() / 23));
}

TEST(SheetViewer, FailedSaveKeepsTheOldFileAndACopyOfTheEdits) {
  SheetHarness h;
  h.dir.write("notes/s.csv", "old,1\n");
  App& app = h.start();
  h.open("s.csv");
  h.edit(0, 1, "new");
  // Something else took the file's place: a folder, which no file can replace.
  fs::remove(h.root + "/s.csv");
  h.dir.write("notes/s.csv/inside.txt", "keep");
  app.command(cmd::kCtrlS);
  EXPECT_TRUE(app.sheet().modified());
  EXPECT_EQ(h.message().rfind("Error saving spreadsheet file: ", 0), 0u) << h.message();
  EXPECT_EQ(readWholeFile(h.root + "/s.csv/inside.txt").value_or(""), "keep");
  // No half-written temporary file is left behind.
  int files = 0;
  for (auto& e : fs::directory_iterator(h.root)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 0);
  app.shutDown();
  // Closing could not write the file either: the edits went to the rescue folder.
  bool rescued = false;
  for (auto& e : fs::directory_iterator(h.home + "/rescued"))
    rescued = rescued || readWholeFile(e.path()).value_or("") == "new,1\n";
  EXPECT_TRUE(rescued);
}

TEST(SheetViewer, NewSpreadsheetFromMenuKeyAndMultibar) {
  SheetHarness h;
  App& app = h.start();
  app.command(cmd::kCtrlE);  // View mode: a new sheet switches to Edit mode
  app.command(cmd::kNewSheetKey);
  EXPECT_EQ(app.mode(), Mode::Edit);
  const std::string five = "\"\",\"\",\"\",\"\",\"\"\n";
  EXPECT_EQ(h.file("New Spreadsheet.csv"), five + five + five + five + five);
  ASSERT_TRUE(app.sheet().isOpen());
  EXPECT_EQ(app.sheet().columnCount(), 6);
  EXPECT_EQ(app.sheet().rowCount(), 5);
  EXPECT_EQ(h.window.focused, cmd::kSheetTable);
  EXPECT_EQ(h.sheet.cursorRow, 0);
  EXPECT_EQ(h.sheet.cursorColumn, 1);
  EXPECT_EQ(app.fileList().selectedName(), "New Spreadsheet.csv");

  app.command(cmd::kNewSpreadsheet);
  EXPECT_EQ(app.fileList().selectedName(), "New Spreadsheet_1.csv");
  EXPECT_TRUE(pathExists(h.root + "/New Spreadsheet_1.csv"));

  h.multibar.content = "Budget.CSV";
  app.multibarEnter(false);
  EXPECT_EQ(app.fileList().selectedName(), "Budget.CSV");
  EXPECT_EQ(app.currentViewer(), Viewer::Sheet);
  EXPECT_EQ(h.multibar.content, "");
  // The File menu offers it.
  const MenuItem* item = app.menus().find(cmd::kNewSpreadsheet);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->text, "S&preadsheet  \tCtrl+Shift+N");
}

TEST(SheetViewer, RowAndColumnCommands) {
  SheetHarness h;
  h.dir.write("notes/t.csv", "a,1\nb,2\nc,3\n");
  App& app = h.start();
  h.open("t.csv");
  Sheet& s = app.sheet();

  h.menuCommand(0, 1, 0);  // just look at the menu
  ASSERT_FALSE(h.sheet.menus.empty());
  std::vector<std::string> texts;
  for (const PopupItem& i : h.sheet.menus.back()) texts.push_back(i.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"    Insert Row   ", "    Delete Row  ", "", "    Cut Row   ",
                                             "    Paste Row   ", "", "    Insert Column   ", "    Delete Column   ",
                                             "", "    Group by this column ", "    Ungroup  "}));
  EXPECT_FALSE(h.sheet.item(cmd::kSheetPasteRow)->enabled);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetUngroup)->enabled);

  // Cut row a, paste it below c: the clipboard is empty again afterwards.
  h.menuCommand(0, 1, cmd::kSheetCutRow);
  EXPECT_EQ(s.rowCount(), 2);
  h.menuCommand(1, 1, cmd::kSheetPasteRow);
  EXPECT_EQ(s.text(2, 0), "a");
  EXPECT_EQ(s.text(2, 1), "1");
  h.menuCommand(0, 1, 0);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetPasteRow)->enabled);
  EXPECT_TRUE(s.modified());

  h.menuCommand(0, 1, cmd::kSheetInsertRow);
  EXPECT_EQ(s.rowCount(), 4);
  EXPECT_EQ(s.text(1, 0), "");
  EXPECT_EQ(h.sheet.cursorRow, 1);
  h.menuCommand(1, 1, cmd::kSheetDeleteRow);
  EXPECT_EQ(s.rowCount(), 3);

  h.menuCommand(0, 2, cmd::kSheetInsertColumn);
  EXPECT_EQ(s.columnCount(), 3);
  EXPECT_EQ(s.text(0, 2), "2");

  h.menuCommand(0, 0, cmd::kSheetDeleteColumn);
  EXPECT_EQ(h.message(), "Can't delete first column");
  h.dialogs.answer = false;
  h.menuCommand(0, 2, cmd::kSheetDeleteColumn);
  EXPECT_EQ(s.columnCount(), 3);
  ASSERT_FALSE(h.dialogs.shown.empty());
  EXPECT_EQ(h.dialogs.shown.back(),
            "Verify: Are you sure you want to remove this column? \nThis action is not reversable");
  h.dialogs.answer = true;
  h.menuCommand(0, 2, cmd::kSheetDeleteColumn);
  EXPECT_EQ(s.columnCount(), 2);
  EXPECT_EQ(s.text(0, 1), "2");

  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("t.csv"), "b,2\nc,3\na,1\n");
}

TEST(SheetViewer, GroupsAndTheirMenu) {
  SheetHarness h;
  h.dir.write("notes/g.csv", "1,x\n2,\n3,x\n4,x\n");
  App& app = h.start();
  h.open("g.csv");
  Sheet& s = app.sheet();
  h.menuCommand(0, 2, cmd::kSheetGroupBy);
  ASSERT_TRUE(s.grouped());
  ASSERT_EQ(s.groupCount(), 2);
  EXPECT_EQ(s.group(0).name, "x");
  EXPECT_EQ(s.group(1).name, "No group");
  h.menuCommand(0, 1, cmd::kSheetCollapseAll);
  EXPECT_TRUE(s.allCollapsed());
  h.menuCommand(-1, 1, 0);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetCollapseAll)->enabled);
  EXPECT_FALSE(h.sheet.item(cmd::kSheetUngroup)->enabled);
  EXPECT_TRUE(h.sheet.item(cmd::kSheetExpandAll)->enabled);
  h.menuCommand(-1, 1, cmd::kSheetExpandAll);
  EXPECT_FALSE(s.allCollapsed());
  // One group's sign folds just that group.
  app.sheetGroupToggled(1);
  EXPECT_TRUE(s.group(1).collapsed);
  EXPECT_FALSE(s.group(0).collapsed);
  // Down walks over the group headers.
  app.sheetCellClicked(0, 1);
  app.sheetKey(SheetKey::Down);
  EXPECT_EQ(h.sheet.cursorRow, 2);
  h.menuCommand(0, 1, cmd::kSheetUngroup);
  EXPECT_FALSE(s.grouped());
  EXPECT_FALSE(s.modified());  // grouping is a way of looking, not a change
}

TEST(SheetViewer, CursorKeysHeaderSortAndViewItems) {
  SheetHarness h;
  h.dir.write("notes/t.csv", "Name,Age\nb,10\nA,9\na,\n");
  App& app = h.start();
  h.open("t.csv");
  app.sheetCellClicked(0, 1);
  app.sheetKey(SheetKey::Left);
  EXPECT_EQ(h.sheet.cursorColumn, 1);
  app.sheetKey(SheetKey::Right);
  app.sheetKey(SheetKey::Right);
  EXPECT_EQ(h.sheet.cursorColumn, 2);
  app.sheetKey(SheetKey::Up);
  EXPECT_EQ(h.sheet.cursorRow, 0);
  for (int i = 0; i < 6; ++i) app.sheetKey(SheetKey::Down);
  EXPECT_EQ(h.sheet.cursorRow, 3);
  app.sheetKey(SheetKey::Enter);
  EXPECT_TRUE(h.sheet.editing);
  EXPECT_EQ(h.sheet.editText, "");
  app.sheetKey(SheetKey::Escape);
  EXPECT_FALSE(h.sheet.editing);

  // No settings file says otherwise: sorting is off, and the header does not sort.
  EXPECT_FALSE(h.sheet.sortable);
  app.sheetHeaderClicked(1);
  EXPECT_EQ(app.sheet().sortColumn(), -1);
  app.command(cmd::kSheetSortable);
  EXPECT_TRUE(h.sheet.sortable);
  EXPECT_TRUE(app.menus().find(cmd::kSheetSortable)->checked);
  app.sheetHeaderClicked(2);
  EXPECT_EQ(app.sheet().text(0, 1), "");
  EXPECT_EQ(app.sheet().text(1, 1), "10");
  app.sheetHeaderClicked(2);
  EXPECT_EQ(app.sheet().text(0, 1), "Age");
  EXPECT_EQ(app.sheet().text(1, 1), "9");
  EXPECT_FALSE(app.sheet().modified());

  // First row as title: written to the sheet's settings and reopened.
  app.command(cmd::kSheetTitleRow);
  ASSERT_TRUE(app.sheet().isOpen());
  EXPECT_TRUE(app.sheet().firstRowAsTitle());
  EXPECT_EQ(app.sheet().headerTitle(0), "Name");
  EXPECT_EQ(app.sheet().rowCount(), 3);
  EXPECT_TRUE(app.menus().find(cmd::kSheetTitleRow)->checked);
  EXPECT_TRUE(app.sheet().sortingOn());  // kept in the settings file across the reopen
  app.command(cmd::kSheetTitleRow);
  EXPECT_FALSE(app.sheet().firstRowAsTitle());
  EXPECT_EQ(app.sheet().rowCount(), 4);
}

TEST(SheetViewer, NeverSortHidesTheItem) {
  SheetHarness h("SSNeverSort=1");
  h.dir.write("notes/t.csv", "b\na\n");
  App& app = h.start();
  h.open("t.csv");
  EXPECT_TRUE(app.menus().find(cmd::kSheetTitleRow));
  EXPECT_FALSE(app.menus().find(cmd::kSheetSortable));
  app.sheetHeaderClicked(1);
  EXPECT_EQ(app.sheet().text(0, 0), "b");
}

TEST(SheetViewer, LinksInCells) {
  EXPECT_EQ(sheetLinks("see [[Shopping List]] and http://example.org/a b"),
            (std::vector<SheetLink>{{false, "Shopping List"}, {true, "http://example.org/a"}}));
  EXPECT_EQ(sheetLinks("[ $Plan$ ] [x] HTTPS://a.b"),
            (std::vector<SheetLink>{{false, "Plan"}, {false, "x"}, {true, "HTTPS://a.b"}}));
  // A "[" left without its "]" keeps any address after it from counting.
  EXPECT_EQ(sheetLinks("[a] [open http://x"), (std::vector<SheetLink>{{false, "a"}}));
  EXPECT_TRUE(sheetLinks("no links here").empty());

  SheetHarness h;
  h.dir.write("notes/l.csv", "\"[[Shopping]] https://example.org/x\",[one] [two] [three] [four] [five] [six]\n");
  App& app = h.start();
  h.open("l.csv");
  h.menuCommand(0, 2, 0);
  ASSERT_TRUE(h.sheet.item(cmd::kSheetLinkFirst));
  EXPECT_EQ(h.sheet.item(cmd::kSheetLinkFirst)->text, "    one");
  // Only five links can be followed.
  h.menuCommand(0, 2, cmd::kSheetLinkFirst + 5);
  EXPECT_EQ(app.currentViewer(), Viewer::Sheet);

  h.menuCommand(0, 1, cmd::kSheetLinkFirst);
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(app.fileList().selectedName(), "Shopping.txt");
  EXPECT_TRUE(pathExists(h.root + "/Shopping.txt"));

  h.open("l.csv");
  h.menuCommand(0, 1, cmd::kSheetLinkFirst + 1);
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(h.web.last(), "https://example.org/x");
}

TEST(SheetViewer, FindDateAndAutosave) {
  SheetHarness h("AutoSave=1");
  h.dir.write("notes/f.csv", "alpha,beta\ngamma,Delta\n");
  App& app = h.start();
  h.open("f.csv");
  h.multibar.content = "?  delt";
  app.multibarEnter(false);
  EXPECT_EQ(h.sheet.cursorRow, 1);
  EXPECT_EQ(h.sheet.cursorColumn, 2);
  h.multibar.content = "?zzz";
  app.multibarEnter(false);
  EXPECT_EQ(h.message(), "Search term not found");

  // F5 in the cell editor pastes the date in the sheet's own format.
  app.sheetCellDoubleClicked(0, 1);
  h.sheet.editText = "";
  h.window.focused = cmd::kCellEditor;
  app.command(cmd::kPasteDate);
  EXPECT_EQ(h.sheet.editText, "2023 11 14");
  app.sheetEditorEnter();
  EXPECT_TRUE(app.sheet().modified());

  // Autosave writes the sheet, without a message of its own: the last one stays.
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.message(), "Search term not found");
  EXPECT_FALSE(app.sheet().modified());
  EXPECT_EQ(h.file("f.csv"), "2023 11 14,beta\ngamma,Delta\n");
}

TEST(SheetViewer, BackupsOnSave) {
  SheetHarness h("SSMaxBackup=2");
  h.dir.write("notes/b.csv", "v0\n");
  App& app = h.start();
  h.open("b.csv");
  for (int i = 1; i <= 3; ++i) {
    h.edit(0, 1, "v" + std::to_string(i));
    app.command(cmd::kCtrlS);
  }
  const std::string base = h.home + "/file_info/b.csv";
  EXPECT_EQ(readWholeFile(base + ".1").value_or(""), "v1\n");
  EXPECT_EQ(readWholeFile(base + ".0.x").value_or(""), "v2\n");
  EXPECT_FALSE(pathExists(base + ".0"));
  EXPECT_EQ(h.file("b.csv"), "v3\n");
}

}  // namespace
}  // namespace vm
