#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "notes/date_template.h"

namespace vm {
namespace {

using test::RootHarness;
namespace fs = std::filesystem;

TEST(Notes, OpenEditSaveAutosaveAndLeave) {
  RootHarness h("AutoSave=2");
  h.dir.write("notes/b.txt", "bee");
  App& app = h.startWith("a.txt", "\xEF\xBB\xBFline one\r\nline two\r\n");
  EXPECT_EQ(h.editor.content, "line one\nline two\n");  // BOM dropped, LF in the editor
  EXPECT_TRUE(h.editor.enabled);
  EXPECT_EQ(h.title(), "a.txt");
  ASSERT_NE(h.menu(cmd::kWordWrap), nullptr);
  h.type("three");
  EXPECT_EQ(h.title(), "a.txt*");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("a.txt"), "\xEF\xBB\xBFline one\r\nline two\r\nthree");  // its BOM and CR LF kept
  EXPECT_EQ(h.title(), "a.txt");
  EXPECT_EQ(h.message(), "Note saved");

  h.type("!");
  h.open("b.txt");  // leaving saves
  EXPECT_EQ(h.file("a.txt"), "\xEF\xBB\xBFline one\r\nline two\r\nthree!");
  EXPECT_EQ(h.editor.content, "bee");
  EXPECT_EQ(h.menuText(cmd::kShortcutFirst), "a.txt");  // a recent file now

  h.type(" more");
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("b.txt"), "bee");  // AutoSave=2: every second tick
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("b.txt"), "bee more");
  EXPECT_EQ(h.message(), "Note autosaved");
  EXPECT_EQ(h.title(), "b.txt");
  h.type("!");
  app.shutDown();  // closing the window saves too
  EXPECT_EQ(h.file("b.txt"), "bee more!");
}

TEST(Notes, ViewersByModeAndUnknownKinds) {
  RootHarness h;
  h.dir.write("notes/photo.xyz", "x");
  App& app = h.startWith("plan.md", "# Plan");  // Edit mode: Markdown is edited as text
  EXPECT_EQ(h.editor.content, "# Plan");
  h.open("photo.xyz");
  EXPECT_EQ(h.message(), "No internal viewer for this file type");
  EXPECT_FALSE(h.editor.enabled);
  app.fileActivated(app.fileList().find("photo.xyz"));  // a double-click hands it to the desktop
  EXPECT_EQ(h.desktop.opened, std::vector<std::string>{h.root + "/photo.xyz"});
  app.command(cmd::kCtrlE);  // View mode: Markdown belongs to the web viewer
  h.open("plan.md");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_FALSE(h.editor.visible);
}

TEST(Notes, NewNotesAndTemplates) {
  RootHarness h("NoteTemplateDate=yyyy");
  App& app = h.start();
  app.command(cmd::kCtrlN);
  EXPECT_EQ(h.title(), "New Note.txt");
  EXPECT_EQ(h.file("New Note.txt"), "");
  EXPECT_TRUE(h.editor.enabled);
  app.command(cmd::kNewTextNote);
  EXPECT_EQ(h.title(), "New Note_1.txt");

  h.dir.write("notes/template.tn", "Made $notetemplatedate\r\nagain $notetemplatedate\r\n");
  h.enter("Meeting");
  const std::string made = "Made " + formatDate("yyyy", localTimeOf(h.clock.now)) + "\nagain $notetemplatedate\n";
  EXPECT_EQ(h.file("Meeting.txt"), made);
  EXPECT_EQ(h.editor.content, made);
  EXPECT_EQ(app.fileList().selectedName(), "Meeting.txt");
}

TEST(Notes, MultibarNamesAndPrecedence) {
  RootHarness h;
  h.dir.write("notes/Shopping.txt", "milk");
  App& app = h.start();
  h.enter("shopping");  // the default extension completes an existing name
  EXPECT_EQ(h.editor.content, "milk");
  for (const char* t : {"?d milk", "?k x", "? milk", "kwork", "www.example.org", "???weather"}) h.enter(t);
  EXPECT_EQ(app.fileList().size(), 1);  // none of these becomes a file name
  h.enter("sheet.CSV");                 // a new spreadsheet, not a note
  EXPECT_EQ(app.fileList().selectedName(), "sheet.CSV");
  EXPECT_EQ(app.currentViewer(), Viewer::Sheet);
  EXPECT_EQ(h.multibar.content, "");
  h.enter("www.example.org", true);  // Ctrl+Enter: a file name after all
  h.enter("what: now?");
  h.enter("notes.tn");
  for (const char* made : {"www.example.org.txt", "what_ now_.txt", "notes.tn"})
    EXPECT_TRUE(fs::exists(h.root + "/" + made)) << made;
}

TEST(Notes, MultibarMenuPrefixesDateAndClipboard) {
  RootHarness h;
  h.dir.write("notes/a.txt", "x");
  h.dir.write("notes/p.png", "x");
  App& app = h.start();
  auto menu = [&](int choose) {
    h.multibar.choose = choose;
    app.multibarContextMenu();
    h.multibar.choose = 0;
  };
  // Nothing shown, nothing selected, no text to paste.
  menu(0);
  ASSERT_EQ(h.multibar.menus.back().size(), 14u);
  for (int id : {cmd::kMultibarCut, cmd::kMultibarCopy, cmd::kMultibarPaste, cmd::kMultibarSearchDocument,
                 cmd::kMultibarAddKeyword})
    EXPECT_FALSE(h.multibar.item(id)->enabled) << id;
  EXPECT_EQ(h.multibar.item(cmd::kMultibarSearchKeyword)->text, "    Search for keyword\t   ?k   ");
  // A text note: searchable, and a keyword can be added.
  h.open("a.txt");
  h.multibar.selected = h.multibar.pasteable = true;
  menu(0);
  for (int id : {cmd::kMultibarCut, cmd::kMultibarPaste, cmd::kMultibarSearchDocument, cmd::kMultibarAddKeyword})
    EXPECT_TRUE(h.multibar.item(id)->enabled) << id;
  // A picture is shown but is not searched.
  h.open("p.png");
  menu(0);
  EXPECT_FALSE(h.multibar.item(cmd::kMultibarSearchDocument)->enabled);
  EXPECT_TRUE(h.multibar.item(cmd::kMultibarAddKeyword)->enabled);

  // A prefix replaces whatever the entry held, and the entry gets the focus.
  h.multibar.content = "old text";
  h.window.focused = cmd::kFileList;
  menu(cmd::kMultibarSearchKeyword);
  EXPECT_EQ(h.multibar.content, "?k ");
  EXPECT_EQ(h.window.focused, cmd::kMultibar);
  menu(cmd::kMultibarBrowseUrl);
  EXPECT_EQ(h.multibar.content, "http://");
  // The date goes in at the caret, as F5 puts it there.
  h.multibar.content = "due ";
  menu(cmd::kMultibarPasteDate);
  EXPECT_EQ(h.multibar.content.rfind("due 20", 0), 0u) << h.multibar.content;
  // Cut, Copy and Paste are the entry's own.
  for (int id : {cmd::kMultibarCut, cmd::kMultibarCopy, cmd::kMultibarPaste}) menu(id);
  EXPECT_EQ(h.multibar.done, (std::vector<std::string>{"cut", "copy", "paste"}));
}

TEST(Notes, NeverOverwritesAnotherWritersChange) {
  RootHarness h;
  App& app = h.startWith("shared.txt", "v1");
  h.dir.write("notes/shared.txt", "v2 from the sync program");
  h.type(" mine");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("shared.txt"), "v2 from the sync program");
  const std::string copy = app.roots().current().selectedFile;
  EXPECT_TRUE(copy.starts_with("shared (conflict ")) << copy;
  EXPECT_EQ(h.file(copy), "v1 mine");
  EXPECT_EQ(h.message(), "Note changed on disk; your text was saved as " + copy);
  EXPECT_GE(app.fileList().find(copy), 0);
  h.type(" again");  // the copy is the open note now: saving it again is no conflict
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file(copy), "v1 mine again");
}

TEST(Notes, UnwritableVanishedAndBinaryFiles) {
  RootHarness h;
  h.dir.write("notes/gone.txt", "x");
  h.dir.write("notes/bin.txt", std::string("head\0tail", 9));
  App& app = h.startWith("ro.txt", "old");
  // An unwritable note keeps its changes, and the next save tries again.
  ::chmod((h.root + "/ro.txt").c_str(), 0444);
  h.type(" new");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("ro.txt"), "old");
  EXPECT_EQ(h.title(), "ro.txt*");
  EXPECT_EQ(h.editor.content, "old new");
  ::chmod((h.root + "/ro.txt").c_str(), 0644);
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("ro.txt"), "old new");

  fs::remove(h.root + "/gone.txt");
  h.open("gone.txt");
  EXPECT_EQ(h.message(), "File does not exist: " + h.root + "/gone.txt");
  h.open("bin.txt");
  EXPECT_EQ(h.editor.content, "head");
}

TEST(Notes, BackReturnsThroughPlacesAcrossRoots) {
  RootHarness h("BackInsteadOfNew=1");
  h.dir.write("notes/sub/b.txt", "B");
  h.dir.write("docs/c.txt", "C");
  App& app = h.startWith("a.txt", "A");
  app.folderSelected(app.folderList().find("sub"));
  h.open("b.txt");
  app.rootChosen("My Documents");
  h.open("c.txt");
  app.command(cmd::kToolNewBack);
  EXPECT_EQ(app.rootListCurrent(), "Notes");
  EXPECT_EQ(h.editor.content, "B");
  EXPECT_EQ(app.folderList().selectedName(), "sub");
  app.command(cmd::kCtrlB);
  EXPECT_EQ(h.editor.content, "A");
  app.command(cmd::kCtrlB);  // nothing left: nothing changes
  EXPECT_EQ(h.editor.content, "A");
}

TEST(Notes, DatesMenusAndShortcuts) {
  RootHarness h;
  h.dir.write("notes/a.txt", "hello world");
  h.dir.write("notes/vellumark.tn", "[General]\nMultibarDateTemplate=yyyy-MM\n");
  h.settings("PerpetualNote2=" + h.root + "|" + h.dir.str() + "|notes|a.txt");
  App& app = h.start();
  const LocalTime t = localTimeOf(h.clock.now);
  h.window.focused = cmd::kMultibar;
  app.command(cmd::kPasteDate);  // the folder's settings file picks the template
  EXPECT_EQ(h.multibar.content, formatDate("yyyy-MM", t));

  app.command(cmd::kPerpetual1 + 1);
  EXPECT_EQ(h.editor.content, "hello world");
  h.window.focused = cmd::kNoteEditor;
  app.command(cmd::kPasteDate);  // no note template: the fixed form, with time
  EXPECT_EQ(h.editor.content, pasteDateText(DateTarget::Note, "", true, t) + "hello world");
  EXPECT_EQ(h.title(), "a.txt*");

  h.editor.content = "a?b%\nc";
  h.editor.selStart = 0;
  h.editor.selEnd = h.editor.content.size();
  app.command(cmd::kMailTo);
  EXPECT_EQ(h.desktop.opened, std::vector<std::string>{"mailto:?To=a%3Fb%25%0D%0Ac"});

  app.command(cmd::kWordWrap);  // toggles, saves first and writes the setting
  EXPECT_NE(h.iniText().find("WordWrap=0"), std::string::npos);
  EXPECT_EQ(h.file("a.txt"), "a?b%\nc");
  EXPECT_FALSE(h.editor.wrap);
}

TEST(Notes, DroppedTextLinksAndLogBack) {
  RootHarness h("LogBack=1\nNoteDragHttpAsLink=0");
  h.dir.write("notes/b.txt", "");
  App& app = h.startWith("a.txt", "");
  app.dropTextOnNote("http://example.org/x");
  EXPECT_EQ(h.editor.content, "[ example.org/x ]( http://example.org/x )");
  h.editor.content.clear();
  app.dropTextOnNote("https://example.org");  // links for https only when the setting asks
  EXPECT_EQ(h.editor.content, "https://example.org");
  EXPECT_EQ(h.title(), "a.txt*");
  app.menuAboutToOpen();
  EXPECT_FALSE(h.menu(cmd::kMailTo)->enabled);  // no selection
  h.open("b.txt");
  EXPECT_NE(h.dir.read("home/LogFile.log")
                .find(" PUSH root:'" + h.root + "' path:'" + h.root + "' folder:'' file:'a.txt'\n"),
            std::string::npos);
}


TEST(NoteBytes, ReadOnlyNotesAreNeverWritten) {
  RootHarness h;
  const std::string withNul("shown\0hidden\r\n", 14);
  h.dir.write("notes/other.txt", "other");
  h.dir.write("notes/ro.txt", "locked");
  ::chmod((h.root + "/ro.txt").c_str(), 0444);
  App& app = h.startWith("nul.txt", withNul);
  EXPECT_EQ(h.editor.content, "shown");
  EXPECT_TRUE(h.editor.readOnly);
  EXPECT_EQ(app.noteLock(), NoteLock::NulByte);
  EXPECT_EQ(h.message(), "Read-only: the file holds a NUL byte; only the text in front of it is shown");
  h.type(" more");  // refused
  app.noteEdited();  // even an edit the editor let through marks nothing
  EXPECT_EQ(h.title(), "nul.txt");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.message(), "Read-only: the file holds a NUL byte; only the text in front of it is shown");
  h.open("other.txt");
  EXPECT_FALSE(h.editor.readOnly);  // the next note is editable again
  EXPECT_EQ(h.file("nul.txt"), withNul);

  h.open("ro.txt");
  EXPECT_EQ(h.message(), "Read-only: the file cannot be written");
  EXPECT_TRUE(h.editor.readOnly);
  h.type("x");
  h.open("other.txt");
  app.shutDown();
  EXPECT_EQ(h.file("ro.txt"), "locked");
  EXPECT_FALSE(fs::exists(h.home + "/rescued"));  // nothing was typed, nothing to rescue
}

TEST(NoteBytes, HelpNoteIsReadOnly) {
  RootHarness h;
  App& app = h.start();
  app.command(cmd::kHelp);
  ASSERT_EQ(h.editor.content, "Help text\n");
  EXPECT_EQ(app.noteLock(), NoteLock::Help);
  h.type("scribble");
  app.shutDown();
  EXPECT_EQ(h.dir.read("home/support/help/1_help.txt"), "Help text\n");
}

TEST(NoteBytes, FailedSaveOnLeavingGoesToRescued) {
  RootHarness h;
  h.dir.write("notes/b.txt", "bee");
  App& app = h.startWith("a.txt", "old");
  h.type(" typed");
  ::chmod(h.root.c_str(), 0555);  // the note can no longer be replaced
  h.open("b.txt");
  ::chmod(h.root.c_str(), 0755);
  EXPECT_EQ(h.editor.content, "bee");
  EXPECT_EQ(h.file("a.txt"), "old");
  const std::string lead = "Could not save the note; your text was kept in ";
  ASSERT_TRUE(h.message().starts_with(lead + h.home + "/rescued/a (conflict ")) << h.message();
  EXPECT_EQ(readWholeFile(h.message().substr(lead.size())).value_or("<none>"), "old typed");

  EXPECT_EQ(app.noteLock(), NoteLock::NotWritable);  // b.txt was opened in the locked folder
  ::chmod(h.root.c_str(), 0755);
  h.open("b.txt");
  h.type("!");
  ::chmod(h.root.c_str(), 0555);
  app.shutDown();  // quitting rescues the same way
  ::chmod(h.root.c_str(), 0755);
  EXPECT_TRUE(h.message().starts_with(lead + h.home + "/rescued/b (conflict ")) << h.message();
  EXPECT_EQ(h.file("b.txt"), "bee");
  EXPECT_EQ(std::distance(fs::directory_iterator(h.home + "/rescued"), {}), 2);
}

TEST(NoteBytes, NoteThatCanBeNeitherSavedNorRescuedStaysOpen) {
  RootHarness h;
  h.dir.write("notes/b.txt", "bee");
  App& app = h.startWith("a.txt", "old");
  h.type(" typed");
  ::chmod(h.root.c_str(), 0555);
  h.dir.write("home/rescued", "a file where the folder would be");  // no rescued/ either
  h.open("b.txt");
  ::chmod(h.root.c_str(), 0755);
  EXPECT_EQ(h.editor.content, "old typed");
  EXPECT_EQ(h.title(), "a.txt*");
  EXPECT_EQ(app.fileList().selectedName(), "a.txt");
  EXPECT_TRUE(h.message().starts_with("Could not save the note: ")) << h.message();
  app.command(cmd::kCtrlS);  // the folder is writable again
  EXPECT_EQ(h.file("a.txt"), "old typed");
}

// Every way of leaving a note that can be neither saved nor rescued keeps it
// open with its text; quitting puts it in the system's temporary folder.
TEST(NoteBytes, UnkeepableNoteStaysOpenOnEveryWayOut) {
  RootHarness h("BackInsteadOfNew=1");
  h.dir.write("notes/b.txt", "bee");
  h.dir.write("notes/sub/c.txt", "sea");
  h.dir.write("docs/d.txt", "dee");
  h.dir.write("notes/a.txt", "old");
  App& app = h.startWith("b.txt", "bee");
  h.open("a.txt");  // b.txt goes on the Back list
  ASSERT_EQ(h.editor.content, "old");
  h.type(" typed");
  ::chmod(h.root.c_str(), 0555);
  h.dir.write("home/rescued", "a file where the folder would be");
  auto stillOpen = [&](const char* how) {
    EXPECT_EQ(h.editor.content, "old typed") << how;
    EXPECT_TRUE(h.editor.enabled) << how;
    EXPECT_EQ(h.title(), "a.txt*") << how;
    EXPECT_EQ(app.rootListCurrent(), "Notes") << how;
    EXPECT_EQ(app.roots().current().selectedFile, "a.txt") << how;
    EXPECT_TRUE(h.message().starts_with("Could not save the note: ")) << how << ": " << h.message();
  };
  app.folderSelected(app.folderList().find("sub"));
  stillOpen("folder selected");
  app.folderActivated(app.folderList().find("sub"));
  stillOpen("folder entered");
  app.rootChosen("My Documents");
  stillOpen("root chosen");
  app.command(cmd::kCtrlB);
  stillOpen("Back");
  h.enter("brand new");
  stillOpen("Multibar");
  EXPECT_FALSE(fs::exists(h.root + "/brand new.txt"));
  h.enter("sheet.csv");
  stillOpen("Multibar sheet");
  for (int id : {cmd::kSortByDate, cmd::kRefresh, cmd::kCtrlN, cmd::kCtrlE}) {
    app.command(id);
    stillOpen(("command " + std::to_string(id)).c_str());
  }

  // Once the folder is writable again, Back leaves (saving) and still finds b.txt.
  ::chmod(h.root.c_str(), 0755);
  app.command(cmd::kCtrlB);
  EXPECT_EQ(h.file("a.txt"), "old typed");
  EXPECT_EQ(h.editor.content, "bee");

  // Quitting: the text goes to the system's temporary folder.
  h.open("a.txt");
  h.type("!");
  ::chmod(h.root.c_str(), 0555);
  const std::string tmp = h.dir.mkdir("tmp").string();
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  ::setenv("TMPDIR", tmp.c_str(), 1);
  app.shutDown();
  if (oldTmp) ::setenv("TMPDIR", savedTmp.c_str(), 1); else ::unsetenv("TMPDIR");
  ::chmod(h.root.c_str(), 0755);
  EXPECT_EQ(h.file("a.txt"), "old typed");
  const std::string lead = "Could not save the note; your text was kept in " + tmp + "/vellumark-rescued/a (conflict ";
  ASSERT_TRUE(h.message().starts_with(lead)) << h.message();
  const std::string kept = h.message().substr(h.message().find(tmp));
  EXPECT_EQ(readWholeFile(kept).value_or("<none>"), "old typed!");
}

TEST(NoteBytes, AnotherProgramChangesTheOpenNote) {
  RootHarness h("AutoSave=1");
  h.dir.write("notes/b.txt", "bee");
  App& app = h.startWith("a.txt", "v1");
  h.dir.write("notes/a.txt", "v2 from elsewhere");
  app.timer(cmd::kTimerFolderWatch);  // no unsaved edits: reloaded
  EXPECT_EQ(h.editor.content, "v2 from elsewhere");
  h.type(" mine");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("a.txt"), "v2 from elsewhere mine");  // the reload is the new base: no conflict

  h.dir.write("notes/a.txt", "v3");
  h.type(" again");
  app.timer(cmd::kTimerFolderWatch);  // unsaved edits stay in the editor
  EXPECT_EQ(h.editor.content, "v2 from elsewhere mine again");
  h.open("b.txt");  // leaving: the copy is written and named, the clicked file opens
  EXPECT_EQ(h.editor.content, "bee");
  EXPECT_EQ(app.fileList().selectedName(), "b.txt");
  ASSERT_TRUE(h.message().starts_with("Note changed on disk; your text was saved as a (conflict ")) << h.message();
  const std::string copy = h.message().substr(std::string("Note changed on disk; your text was saved as ").size());
  EXPECT_EQ(h.file(copy), "v2 from elsewhere mine again");
  EXPECT_EQ(h.file("a.txt"), "v3");

  h.type(" b");
  h.dir.write("notes/b.txt", "bee changed");
  app.timer(cmd::kTimerAutosave);  // autosave says so too
  EXPECT_TRUE(h.message().starts_with("Note changed on disk; your text was saved as b (conflict ")) << h.message();
  EXPECT_EQ(h.file("b.txt"), "bee changed");
}

TEST(NoteBytes, DeletedNoteWithUnsavedTextIsNotWrittenBackSilently) {
  RootHarness h("AutoSave=1");
  App& app = h.startWith("a.txt", "text");
  h.type(" more");
  fs::remove(h.root + "/a.txt");
  app.timer(cmd::kTimerFolderWatch);
  EXPECT_EQ(h.editor.content, "text more");
  EXPECT_TRUE(app.noteGone());
  EXPECT_EQ(h.title(), "a.txt*");
  EXPECT_EQ(h.message(), "The note's file is gone: " + h.root + "/a.txt");
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("a.txt"), "<missing>");
  app.command(cmd::kCtrlS);  // the user's own save writes it back
  EXPECT_EQ(h.file("a.txt"), "text more");
  EXPECT_EQ(app.fileList().selectedName(), "a.txt");
}

TEST(NoteBytes, EmptiedNoteAndDottedNames) {
  RootHarness h;
  App& app = h.startWith("a.txt", "text");
  h.editor.content.clear();
  app.noteEdited();
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.message(), "An empty note is not saved");
  EXPECT_EQ(h.file("a.txt"), "text");
  for (const char* name : {"..", "../escape", "a/b"}) {
    h.enter(name);
    EXPECT_TRUE(h.message().starts_with("Not a usable note name: ")) << name;
  }
  EXPECT_FALSE(fs::exists(h.root + "/...txt"));
  EXPECT_FALSE(fs::exists(h.dir.path() / "escape.txt"));
}

// The editor's key releases reach the counters; a page shown instead of
// the note leaves them empty.
TEST(NoteBytes, CountersFollowTheShownNote) {
  RootHarness h("UseStatBar=1");
  h.viewMode = true;  // a page is shown, not edited
  h.dir.write("notes/page.html", "<p>hi</p>");
  App& app = h.startWith("a.txt", "one two");
  EXPECT_EQ(app.status().wordCounter(), "Wd 2");
  h.type(" three");
  app.noteKeyReleased();
  EXPECT_EQ(app.status().charCounter(), "Ch 13");
  h.open("page.html");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  app.noteKeyReleased();
  EXPECT_EQ(app.status().charCounter(), "");
  EXPECT_EQ(app.status().wordCounter(), "");
  EXPECT_EQ(h.file("a.txt"), "one two three");
}

TEST(NoteBytes, StaleSaveTemporariesAreCleared) {
  RootHarness h;
  auto old = [&](const std::string& rel) {
    auto p = h.dir.write(rel, "half");
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    return p;
  };
  auto homeOld = old("home/.vm-save-aB3xY9");
  auto fresh = h.dir.write("home/.vm-save-Zz9Zz9", "running");
  auto noteOld = old("notes/.vm-save-q1w2e3");
  auto notMine = old("notes/.vm-save-toolong1");
  App& app = h.startWith("a.txt", "a");
  EXPECT_FALSE(fs::exists(homeOld));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_FALSE(fs::exists(noteOld));  // the listing of the folder met it
  noteOld = old("notes/.vm-save-r4t5y6");
  h.type("b");
  app.command(cmd::kCtrlS);
  EXPECT_FALSE(fs::exists(noteOld));  // a save clears its folder too
  EXPECT_TRUE(fs::exists(notMine));
  EXPECT_EQ(h.file("a.txt"), "ab");
}

}  // namespace
}  // namespace vm
