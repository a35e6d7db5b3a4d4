#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "notes/date_template.h"

namespace vm {
namespace {

using test::AppHarness;

// One root "Notes"; typing into the editor and reading notes back.
struct NotesHarness : test::RootHarness {
  using RootHarness::RootHarness;
  void type(const std::string& text) {
    editor.content += text;
    app().noteEdited();
  }
  std::string file(const std::string& name) const { return dir.read("notes/" + name); }
};

TEST(Notes, OpenEditSaveAndLeave) {
  NotesHarness h;
  h.dir.write("notes/a.txt", "\xEF\xBB\xBFline one\r\nline two\r\n");
  h.dir.write("notes/b.txt", "bee");
  App& app = h.start();
  h.open("a.txt");
  EXPECT_EQ(h.editor.content, "line one\nline two\n");  // BOM dropped, LF in the editor
  EXPECT_TRUE(h.editor.enabled);
  EXPECT_EQ(app.status().title(), "a.txt");
  ASSERT_NE(app.menus().find(cmd::kWordWrap), nullptr);
  h.type("three");
  EXPECT_EQ(app.status().title(), "a.txt*");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("a.txt"), "line one\nline two\nthree");
  EXPECT_EQ(app.status().title(), "a.txt");
  EXPECT_EQ(app.status().message(), "Note saved");

  h.type("!");
  h.open("b.txt");  // leaving saves
  EXPECT_EQ(h.file("a.txt"), "line one\nline two\nthree!");
  EXPECT_EQ(h.editor.content, "bee");
  ASSERT_NE(app.menus().find(cmd::kShortcutFirst), nullptr);  // a.txt is a recent file now
  EXPECT_EQ(app.menus().find(cmd::kShortcutFirst)->text, "a.txt");

  h.type(" more");
  app.shutDown();  // closing the window saves too
  EXPECT_EQ(h.file("b.txt"), "bee more");
}

TEST(Notes, ViewersByModeAndUnknownKinds) {
  NotesHarness h;
  h.dir.write("notes/plan.md", "# Plan");
  h.dir.write("notes/photo.xyz", "x");
  App& app = h.start();
  h.open("plan.md");  // Edit mode: Markdown is edited as text
  EXPECT_EQ(h.editor.content, "# Plan");
  h.open("photo.xyz");
  EXPECT_EQ(app.status().message(), "No internal viewer for this file type");
  EXPECT_FALSE(h.editor.enabled);
  app.fileActivated(app.fileList().find("photo.xyz"));  // a double-click hands it to the desktop
  ASSERT_EQ(h.desktop.opened.size(), 1u);
  EXPECT_EQ(h.desktop.opened[0], h.root + "/photo.xyz");
  app.command(cmd::kCtrlE);  // View mode: Markdown belongs to the web viewer
  h.open("plan.md");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_FALSE(h.editor.visible);
  EXPECT_EQ(app.store().getInt("EditMode", 0), 1);
}

TEST(Notes, NewNotesAndTemplates) {
  NotesHarness h("NoteTemplateDate=yyyy");
  App& app = h.start();
  app.command(cmd::kCtrlN);
  EXPECT_EQ(app.status().title(), "New Note.txt");
  EXPECT_TRUE(std::filesystem::exists(h.root + "/New Note.txt"));
  EXPECT_TRUE(h.editor.enabled);
  app.command(cmd::kNewTextNote);
  EXPECT_EQ(app.status().title(), "New Note_1.txt");

  h.dir.write("notes/template.tn", "Made $notetemplatedate\r\nagain $notetemplatedate\r\n");
  h.multibar.content = "Meeting";
  app.multibarEnter(false);
  const std::string year = formatDate("yyyy", localTimeOf(h.clock.now));
  EXPECT_EQ(h.file("Meeting.txt"), "Made " + year + "\nagain $notetemplatedate\n");
  EXPECT_EQ(h.editor.content, "Made " + year + "\nagain $notetemplatedate\n");
  EXPECT_EQ(app.fileList().selectedName(), "Meeting.txt");
}

TEST(Notes, MultibarNamesAndPrecedence) {
  NotesHarness h;
  h.dir.write("notes/Shopping.txt", "milk");
  App& app = h.start();
  auto enter = [&](const std::string& text, bool skipWeb = false) {
    h.multibar.content = text;
    app.multibarEnter(skipWeb);
  };
  enter("shopping");  // the default extension completes an existing name
  EXPECT_EQ(h.editor.content, "milk");
  for (const char* t : {"?d milk", "?k x", "? milk", "kwork", "www.example.org", "???weather"}) enter(t);
  EXPECT_EQ(app.fileList().size(), 1);  // none of these becomes a file name
  enter("sheet.CSV");                   // a new spreadsheet, not a note
  EXPECT_EQ(app.fileList().selectedName(), "sheet.CSV");
  EXPECT_EQ(app.currentViewer(), Viewer::Sheet);
  enter("www.example.org", true);  // Ctrl+Enter: a file name after all
  EXPECT_TRUE(std::filesystem::exists(h.root + "/www.example.org.txt"));
  enter("what: now?");
  EXPECT_TRUE(std::filesystem::exists(h.root + "/what_ now_.txt"));
  enter("notes.tn");
  EXPECT_TRUE(std::filesystem::exists(h.root + "/notes.tn"));
}

TEST(Notes, AutosaveEveryPeriod) {
  NotesHarness h("AutoSave=2");
  h.dir.write("notes/a.txt", "a");
  App& app = h.start();
  h.open("a.txt");
  h.type("b");
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("a.txt"), "a");
  app.timer(cmd::kTimerAutosave);
  EXPECT_EQ(h.file("a.txt"), "ab");
  EXPECT_EQ(app.status().message(), "Note autosaved");
  EXPECT_EQ(app.status().title(), "a.txt");
}

TEST(Notes, NeverOverwritesAnotherWritersChange) {
  NotesHarness h;
  h.dir.write("notes/shared.txt", "v1");
  App& app = h.start();
  h.open("shared.txt");
  h.dir.write("notes/shared.txt", "v2 from the sync program");
  h.type(" mine");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("shared.txt"), "v2 from the sync program");
  const std::string copy = app.roots().current().selectedFile;
  EXPECT_TRUE(copy.starts_with("shared (conflict ")) << copy;
  EXPECT_EQ(h.file(copy), "v1 mine");
  EXPECT_EQ(app.status().message(), "Note changed on disk; your text was saved as " + copy);
  EXPECT_GE(app.fileList().find(copy), 0);
  h.type(" again");  // the copy is the open note now: saving it again is no conflict
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file(copy), "v1 mine again");
}

TEST(Notes, UnwritableNoteKeepsItsChangesAndRetries) {
  NotesHarness h;
  h.dir.write("notes/ro.txt", "old");
  App& app = h.start();
  h.open("ro.txt");
  ::chmod((h.root + "/ro.txt").c_str(), 0444);
  h.type(" new");
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("ro.txt"), "old");
  EXPECT_EQ(app.status().title(), "ro.txt*");
  EXPECT_EQ(h.editor.content, "old new");
  ::chmod((h.root + "/ro.txt").c_str(), 0644);
  app.command(cmd::kCtrlS);
  EXPECT_EQ(h.file("ro.txt"), "old new");
}

TEST(Notes, VanishedFileAndBinaryFile) {
  NotesHarness h;
  h.dir.write("notes/gone.txt", "x");
  h.dir.write("notes/bin.txt", std::string("head\0tail", 9));
  App& app = h.start();
  std::filesystem::remove(h.root + "/gone.txt");
  h.open("gone.txt");
  EXPECT_EQ(app.status().message(), "File does not exist: " + h.root + "/gone.txt");
  h.open("bin.txt");
  EXPECT_EQ(h.editor.content, "head");
}

TEST(Notes, BackReturnsThroughPlacesAcrossRoots) {
  NotesHarness h("BackInsteadOfNew=1");
  h.dir.write("notes/a.txt", "A");
  h.dir.write("notes/sub/b.txt", "B");
  h.dir.write("docs/c.txt", "C");
  App& app = h.start();
  h.open("a.txt");
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
  NotesHarness h;
  h.dir.write("notes/a.txt", "hello world");
  h.dir.write("notes/vellumark.tn", "[General]\nMultibarDateTemplate=yyyy-MM\n");
  h.ini("[General]\nPerpetualNote2=" + h.root + "|" + h.dir.str() + "|notes|a.txt\n[BasicRoots]\n" + h.root +
        "=Notes\n");
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
  EXPECT_EQ(app.status().title(), "a.txt*");

  h.editor.selStart = 0;
  h.editor.selEnd = h.editor.content.size();
  h.editor.content = "a?b%\nc";
  h.editor.selEnd = h.editor.content.size();
  app.command(cmd::kMailTo);
  ASSERT_EQ(h.desktop.opened.size(), 1u);
  EXPECT_EQ(h.desktop.opened[0], "mailto:?To=a%3Fb%25%0D%0Ac");

  app.command(cmd::kWordWrap);  // toggles, saves first and writes the setting
  EXPECT_NE(h.iniText().find("WordWrap=0"), std::string::npos);
  EXPECT_EQ(h.file("a.txt"), "a?b%\nc");
  EXPECT_FALSE(h.editor.wrap);
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

TEST(Notes, DroppedTextLinksAndLogBack) {
  test::AppHarness h;
  h.dir.write("notes/a.txt", "");
  h.dir.write("notes/b.txt", "");
  h.ini("[General]\nLogBack=1\nNoteDragHttpAsLink=0\n[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app = h.start();
  app.fileClicked(app.fileList().find("a.txt"));
  app.dropTextOnNote("http://example.org/x");
  EXPECT_EQ(h.editor.content, "[ example.org/x ]( http://example.org/x )");
  h.editor.content.clear();
  app.dropTextOnNote("https://example.org");  // links for https only when the setting asks
  EXPECT_EQ(h.editor.content, "https://example.org");
  EXPECT_EQ(app.status().title(), "a.txt*");
  app.menuAboutToOpen();
  EXPECT_FALSE(app.menus().find(cmd::kMailTo)->enabled);  // no selection
  app.fileClicked(app.fileList().find("b.txt"));
  const std::string log = h.dir.read("home/LogFile.log");
  EXPECT_NE(log.find(" PUSH root:'" + h.dir.str() + "/notes' path:'" + h.dir.str() + "/notes' folder:'' file:'a.txt'\n"),
            std::string::npos);
}

}  // namespace
}  // namespace vm
