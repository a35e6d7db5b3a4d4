#include <gtest/gtest.h>

#include <filesystem>

#include "app/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "platform/fs.h"
#include "sheet/sheet_file.h"

namespace vm {
namespace {

namespace fs = std::filesystem;
using test::RootHarness;
using Cell = std::pair<int, int>;

// A row's cells joined with "|".
std::string cells(const Sheet& s, int row) {
  std::string out;
  for (int c = 0; c < s.columnCount(); ++c) out += (c ? "|" : "") + std::string(s.text(row, c));
  return out;
}

TEST(SheetViewer, OpensShowsEditsAndSaves) {
  RootHarness h;
  h.dir.write("notes/a.txt", "text");
  App& app = h.startWith("people.csv", "Ann,30\r\nBob,\"4,5\"\r\n");
  ASSERT_EQ(app.currentViewer(), Viewer::Sheet);
  ASSERT_EQ(h.sheet.sheet, &app.sheet());
  EXPECT_TRUE(h.sheet.visible);
  EXPECT_EQ(h.sheet.numberWidth, 30);
  EXPECT_EQ(app.sheet().rowCount(), 2);
  EXPECT_EQ(cells(app.sheet(), 1), "Bob|4,5");
  EXPECT_EQ(h.title(), "people.csv");
  EXPECT_TRUE(h.timers.isRunning(cmd::kTimerSheet));
  EXPECT_EQ(h.menuText(cmd::kSheetTitleRow), " First Row as Title   ");
  EXPECT_EQ(h.menuText(cmd::kSheetSortable), " Sortable Columns   ");

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
  h.editCell(0, 1, "Ann \"A\"");
  EXPECT_EQ(app.sheet().text(0, 0), "Ann \"A\"");
  EXPECT_EQ(h.title(), "people.csv*");
  EXPECT_EQ(h.sheet.cursor(), Cell(0, 1));
  app.command(cmd::kCtrlS);
  // Only the edited cell changes; the line ends stay CR LF.
  EXPECT_EQ(h.file("people.csv"), "\"Ann \"\"A\"\"\",30\r\nBob,\"4,5\"\r\n");
  EXPECT_EQ(h.message(), "Saved spreadsheet file");
  EXPECT_EQ(h.title(), "people.csv");

  // Leaving for another file saves too, and closes the sheet.
  h.editCell(1, 2, "6");
  h.open("a.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(h.file("people.csv"), "\"Ann \"\"A\"\"\",30\r\nBob,6\r\n");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.sheet.sheet, nullptr);
  EXPECT_FALSE(h.timers.isRunning(cmd::kTimerSheet));
  EXPECT_FALSE(h.menu(cmd::kSheetTitleRow));
}

TEST(SheetViewer, ViewModeOpensButDoesNotEdit) {
  RootHarness h;
  h.viewMode = true;
  App& app = h.startWith("t.csv", "a,b\n");
  ASSERT_EQ(app.currentViewer(), Viewer::Sheet);
  app.sheetCellDoubleClicked(0, 1);
  EXPECT_FALSE(h.sheet.editing);
  EXPECT_EQ(h.message(), "Cannot edit in View mode");
  // The menu's row and column items are greyed, and do nothing when sent anyway.
  h.sheetMenu(0, 1, cmd::kSheetInsertRow);
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
  RootHarness h;
  h.dir.write("notes/a.txt", "x");
  App& app = h.startWith("one.csv", "a,b,c");  // no line end
  EXPECT_EQ(h.message(), "Not opened as a spreadsheet: one.csv has no line end");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.sheet.sheet, nullptr);
  EXPECT_FALSE(h.menu(cmd::kSheetTitleRow));

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
  EXPECT_EQ(h.message().find("cancelled"), std::string::npos);  // a quit says nothing
  // Esc during the load: the same, and the status line says so.
  h.pump.steps = 0;
  h.pump.byUser = true;
  h.open("a.txt");
  h.open("big.csv");
  EXPECT_FALSE(app.sheet().isOpen());
  EXPECT_EQ(h.message(), "Loading cancelled: big.csv");
  h.pump.byUser = false;
  // Without the quit it opens.
  h.pump.quitAfter = -1;
  h.open("a.txt");
  h.open("big.csv");
  EXPECT_EQ(app.sheet().rowCount(), static_cast<int>(big.size() / 23));
}

TEST(SheetViewer, FailedSaveKeepsTheOldFileAndACopyOfTheEdits) {
  RootHarness h;
  App& app = h.startWith("s.csv", "old,1\n");
  h.editCell(0, 1, "new");
  // Something else took the file's place: a folder, which no file can replace.
  fs::remove(h.root + "/s.csv");
  h.dir.write("notes/s.csv/inside.txt", "keep");
  app.command(cmd::kCtrlS);
  EXPECT_TRUE(app.sheet().modified());
  EXPECT_TRUE(h.message().starts_with("Error saving spreadsheet file: ")) << h.message();
  EXPECT_EQ(h.file("s.csv/inside.txt"), "keep");
  // No half-written temporary file is left behind.
  for (auto& e : fs::directory_iterator(h.root)) EXPECT_FALSE(e.is_regular_file()) << e.path();
  app.shutDown();
  // Closing could not write the file either: the edits went to the rescue
  // folder, and the status line names the copy.
  std::vector<fs::path> kept;
  for (auto& e : fs::directory_iterator(h.home + "/rescued")) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(readWholeFile(kept[0]).value_or(""), "new,1\n");
  EXPECT_EQ(h.message(), "Could not save the spreadsheet; it was kept in " + kept[0].string());
}

TEST(SheetViewer, FailedSaveWhenLeavingKeepsACopy) {
  RootHarness h;
  h.dir.write("notes/a.txt", "x");
  App& app = h.startWith("legacy.csv", std::string("caf\xE9,1\r\nb,2\r\n"));
  h.editCell(1, 2, "3");
  fs::remove(h.root + "/legacy.csv");
  h.dir.write("notes/legacy.csv/inside.txt", "keep");
  h.open("a.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  std::vector<fs::path> kept;
  for (auto& e : fs::directory_iterator(h.home + "/rescued")) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].filename().string().starts_with("legacy")) << kept[0];
  // The copy is the sheet as it would have been saved: still Windows-1252, still CR LF.
  EXPECT_EQ(readWholeFile(kept[0]).value_or(""), "caf\xE9,1\r\nb,3\r\n");
  EXPECT_EQ(h.message(), "Could not save the spreadsheet; it was kept in " + kept[0].string());
}

TEST(SheetViewer, LegacySheetStaysWindows1252UntilItCannot) {
  RootHarness h("AutoSave=1");
  // Windows-1252: é, ö, the euro sign and an undefined byte (0x81).
  const std::string file = "name,city\nJos\xE9,K\xF6ln\n\x80 5,\x81\n";
  App& app = h.startWith("old.csv", file);
  EXPECT_EQ(cells(app.sheet(), 1), "Jos\xC3\xA9|K\xC3\xB6ln");
  EXPECT_EQ(cells(app.sheet(), 2), "\xE2\x82\xAC 5|\xC2\x81");
  app.sheetCellDoubleClicked(1, 1);
  EXPECT_EQ(h.sheet.editText, "Jos\xC3\xA9");  // the editor shows the letter, not a replacement mark
  app.sheetEditorEscape();

  h.editCell(2, 2, "Z\xC3\xBCrich");  // ü is in Windows-1252
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("old.csv"), "name,city\nJos\xE9,K\xF6ln\n\x80 5,Z\xFCrich\n");
  EXPECT_EQ(h.message(), "Saved spreadsheet file");

  // An arrow is not: the whole file becomes UTF-8, and the status line says
  // so, even when autosave is what wrote it.
  h.editCell(0, 2, "\xE2\x86\x92");
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("old.csv"), "name,\xE2\x86\x92\nJos\xC3\xA9,K\xC3\xB6ln\n\xE2\x82\xAC 5,Z\xC3\xBCrich\n");
  EXPECT_EQ(h.message(), std::string(kMsgSavedAsUtf8));
  // From then on it stays UTF-8, quietly.
  h.editCell(0, 1, "Name");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("old.csv"), "Name,\xE2\x86\x92\nJos\xC3\xA9,K\xC3\xB6ln\n\xE2\x82\xAC 5,Z\xC3\xBCrich\n");
  EXPECT_EQ(h.message(), "Saved spreadsheet file");
}

TEST(SheetViewer, NewSpreadsheetFromMenuAndKey) {
  RootHarness h;
  App& app = h.start();
  app.command(cmd::kCtrlE);  // View mode: a new sheet switches to Edit mode
  app.command(cmd::kNewSheetKey);
  EXPECT_EQ(app.mode(), Mode::Edit);
  const std::string five = "\"\",\"\",\"\",\"\",\"\"\n";
  EXPECT_EQ(h.file("New Spreadsheet.csv"), five + five + five + five + five);
  EXPECT_EQ(std::pair(app.sheet().rowCount(), app.sheet().columnCount()), std::pair(5, 5));
  EXPECT_EQ(h.window.focused, cmd::kSheetTable);
  EXPECT_EQ(h.sheet.cursor(), Cell(0, 1));
  EXPECT_EQ(app.fileList().selectedName(), "New Spreadsheet.csv");

  app.command(cmd::kNewSpreadsheet);
  EXPECT_EQ(app.fileList().selectedName(), "New Spreadsheet_1.csv");
  EXPECT_TRUE(pathExists(h.root + "/New Spreadsheet_1.csv"));
  EXPECT_EQ(h.menuText(cmd::kNewSpreadsheet), "S&preadsheet  \tCtrl+Shift+N");  // in the File menu
}

TEST(SheetViewer, LinksInCellsOpenNotesAndPages) {
  RootHarness h;
  App& app = h.startWith("l.csv", "\"[[Shopping]] https://example.org/x\",[one] [two] [three] [four] [five] [six]\n");
  h.sheetMenu(0, 1, cmd::kSheetLinkFirst);
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(app.fileList().selectedName(), "Shopping.txt");  // made and listed

  h.open("l.csv");
  h.sheetMenu(0, 1, cmd::kSheetLinkFirst + 1);
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(h.web.last(), "https://example.org/x");
}

TEST(SheetViewer, FindDateAndAutosave) {
  RootHarness h("AutoSave=1");
  App& app = h.startWith("f.csv", "alpha,beta\ngamma,Delta\n");
  h.enter("?  delt");
  EXPECT_EQ(h.sheet.cursor(), Cell(1, 2));
  h.enter("?zzz");
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

}  // namespace
}  // namespace vm
