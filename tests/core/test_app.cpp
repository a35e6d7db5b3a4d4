#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"

namespace vm {
namespace {

using test::AppHarness;
using test::RootHarness;
using Names = std::vector<std::string>;

Names names(const ListModel& m) {
  Names out;
  for (const auto& i : m.items()) out.push_back(i.name);
  return out;
}

// Moves a folder's time forward so a poll sees the change even on a coarse clock.
void touch(const std::filesystem::path& p) {
  std::filesystem::last_write_time(p, std::filesystem::last_write_time(p) + std::chrono::seconds(5));
}

TEST(AppStart, NoIniIsAFirstStartWithTheDefaultsAndTheHelpOnce) {
  AppHarness h;
  App& app = h.start();
  EXPECT_TRUE(app.firstStart());
  EXPECT_FALSE(app.status().useStatBar());
  EXPECT_EQ(h.timers.running, (std::map<int, int>{{cmd::kTimerAutosave, 60000},
                                                  {cmd::kTimerStatus, 500},
                                                  {cmd::kTimerFolderWatch, 3000}}));
  EXPECT_EQ(app.listWidth(), 200);
  // The INI now exists, and the help shows in View mode.
  EXPECT_NE(h.iniText().find("FirstLaunch=0"), std::string::npos) << h.iniText();
  EXPECT_EQ(app.mode(), Mode::View);
  EXPECT_EQ(app.rootListCurrent(), "Help");
  EXPECT_EQ(app.fileList().selectedName(), "1_help.txt");

  App& second = h.start();
  EXPECT_FALSE(second.firstStart());
  EXPECT_EQ(second.rootListItems(), (Names{"File System", "My Documents"}));
  EXPECT_EQ(second.rootListCurrent(), "My Documents");
  EXPECT_EQ(second.mode(), Mode::None);
  h.ini("[General]\nAutoSave=0\n");
  h.start();
  EXPECT_FALSE(h.timers.isRunning(cmd::kTimerAutosave));
}

TEST(AppStart, LastRootSelectsTheRootAndAnUnknownOneTheFirst) {
  RootHarness h("LastRoot=My Documents");
  h.dir.write("docs/d.txt", "d");
  App& app = h.start();
  EXPECT_EQ(app.rootListCurrent(), "My Documents");
  EXPECT_EQ(names(app.fileList()), Names{"d.txt"});
  h.settings("LastRoot=Gone");
  EXPECT_EQ(h.start().rootListCurrent(), "Notes");
}

TEST(AppStart, LegacyIniIsMovedIntoPlace) {
  AppHarness h;
  h.dir.write("home/tallownotes.ini", "[General]\nListWidth=333\n");
  EXPECT_EQ(h.start().listWidth(), 333);
  EXPECT_TRUE(std::filesystem::exists(h.dir.path() / "home/vellumark.ini"));
  EXPECT_FALSE(std::filesystem::exists(h.dir.path() / "home/tallownotes.ini"));
  AppHarness both;  // both present: nothing moves
  both.ini("[General]\nListWidth=210\n");
  both.dir.write("home/tallownotes.ini", "[General]\nListWidth=333\n");
  EXPECT_EQ(both.start().listWidth(), 210);
  EXPECT_TRUE(std::filesystem::exists(both.dir.path() / "home/tallownotes.ini"));
}

TEST(AppNavigation, SelectEnterLabelClickAndProgramFilesMenu) {
  RootHarness h;
  h.dir.mkdir("notes/projects/2024");
  h.dir.write("notes/projects/plan.txt", "p");
  h.dir.write("notes/top.md", "t");
  h.dir.write("notes/top.md.tn", "[General]\n");
  App& app = h.start();
  EXPECT_EQ(h.menu(cmd::kViewProgramFiles), nullptr);  // TnHideFiles on: no menu item
  EXPECT_TRUE(app.folderLabel().starts_with("  ") && app.folderLabel().ends_with("/notes"));
  app.folderSelected(0);  // selecting shows the folder's files
  EXPECT_EQ(names(app.fileList()), Names{"plan.txt"});
  EXPECT_EQ(app.roots().current().currentFolder, h.root + "/projects");
  app.folderActivated(0);  // entering makes it the path
  EXPECT_EQ(app.roots().current().path, h.root + "/projects");
  EXPECT_EQ(names(app.folderList()), (Names{"[ . . ]", "2024"}));
  app.folderLabelClicked();  // the label returns to the root
  EXPECT_EQ(app.roots().current().path, h.root);
  EXPECT_EQ(names(app.folderList()), Names{"projects"});
  EXPECT_EQ(names(app.fileList()), Names{"top.md"});
  app.fileClicked(0);  // a click only selects
  EXPECT_EQ(app.roots().current().selectedFile, "top.md");

  h.settings("TnHideFiles=0\nMenuViewVMFiles=0");
  App& shown = h.start();
  ASSERT_NE(h.menu(cmd::kViewProgramFiles), nullptr);
  EXPECT_EQ(names(shown.fileList()), Names{"top.md"});
  shown.command(cmd::kViewProgramFiles);  // shown on demand
  EXPECT_EQ(names(shown.fileList()), (Names{"top.md", "top.md.tn"}));
  EXPECT_NE(h.iniText().find("MenuViewVMFiles=1"), std::string::npos);
}

TEST(AppRoots, TypedFolderBadTextAndVanishedRoot) {
  RootHarness h;
  h.dir.write("elsewhere/x.txt", "x");
  App& app = h.start();
  const std::string folder = h.dir.str() + "/elsewhere";
  app.rootTyped(folder);
  EXPECT_EQ(app.rootListCurrent(), folder);
  EXPECT_EQ(names(app.fileList()), Names{"x.txt"});
  EXPECT_NE(h.iniText().find("LastRoot=" + folder), std::string::npos);

  app.rootTyped(h.dir.str() + "/does-not-exist");
  EXPECT_EQ(h.message(), "Error adding root");
  EXPECT_EQ(app.rootListCurrent(), folder);  // still where it was

  // A root whose folder vanished lists empty and ignores clicks.
  h.dir.mkdir("notes/sub");
  h.settings("");
  App& gone = h.start();
  ASSERT_EQ(gone.folderList().size(), 1);
  std::filesystem::remove_all(h.dir.path() / "notes");
  gone.timer(cmd::kTimerFolderWatch);
  gone.rootChosen("Notes");
  EXPECT_EQ(gone.folderList().size() + gone.fileList().size(), 0);
  gone.folderSelected(0);
  gone.folderActivated(3);
  gone.folderLabelClicked();
  EXPECT_EQ(gone.rootListCurrent(), "Notes");
}

TEST(AppWatch, NewFileAppearsAndSelectionStays) {
  RootHarness h;
  App& app = h.startWith("a.txt", "a");
  app.timer(cmd::kTimerFolderWatch);  // first poll records the folder
  h.dir.write("notes/b.txt", "b");
  touch(h.dir.path() / "notes");
  app.timer(cmd::kTimerFolderWatch);
  EXPECT_EQ(app.fileList().size(), 2);  // added in place, not re-sorted
  EXPECT_EQ(app.fileList().selectedName(), "a.txt");
  // The selected file is deleted by another program: it is no longer selected.
  std::filesystem::remove(h.dir.path() / "notes/a.txt");
  touch(h.dir.path() / "notes");
  app.timer(cmd::kTimerFolderWatch);
  EXPECT_EQ(names(app.fileList()), Names{"b.txt"});
  EXPECT_EQ(app.roots().current().selectedFile + app.fileList().selectedName(), "");
}

TEST(AppLayout, ListWidthAndWindowPositionRoundTripAndBadValues) {
  AppHarness h;
  h.ini("[General]\n");
  h.start().splitterReleased(150);
  App& app = h.start();
  EXPECT_EQ(app.listWidth(), 150);
  app.windowPlacementChanged({0, 1, 0, 0, 0, 0, 10, 20, 810, 620});
  EXPECT_NE(h.iniText().find("WindowPosition=0,1,0,0,0,0,10,20,810,620"), std::string::npos);
  app.windowPlacementChanged({0, 2, 0, 0, 0, 0, 0, 0, 160, 40});  // minimised: not stored
  EXPECT_EQ(h.iniText().find("160"), std::string::npos);
  RestorePlan p = app.restorePlan(1920, 1080, 40);
  EXPECT_FALSE(p.useDefault);
  EXPECT_EQ(std::make_pair(p.left, p.bottom), std::make_pair(10, 620));

  auto planFor = [&](const std::string& value) {
    h.ini("[General]\nWindowPosition=" + value + "\n");
    return h.start().restorePlan(1920, 1080, 40);
  };
  for (const char* bad : {"", "0,1,0,0,0,0,0,0,0,0",  // right and bottom 0
                          "junk,x,y,,,,,,,", "0,1,0,0", "0,1,0,0,0,0,900,900,100,100"})  // inside out
    EXPECT_TRUE(planFor(bad).useDefault) << bad;
  RestorePlan max = planFor("0,3,0,0,0,0,0,0,0,0");
  EXPECT_EQ(std::pair(max.useDefault, max.maximised), std::pair(false, true));
  // A right edge of 0 gives 150; the bottom is cut to the screen less the taskbar.
  RestorePlan cut = planFor("0,1,0,0,0,0,5,5,0,5000");
  EXPECT_EQ(std::pair(cut.right, cut.bottom), std::pair(150, 1040));
  RestorePlan off = planFor("0,1,0,0,0,0,-50,3000,5000,-1");
  EXPECT_EQ((std::vector<int>{off.left, off.top, off.right, off.bottom}), (std::vector<int>{0, 0, 1920, 1040}));
}

TEST(AppCommandLine, QuotedPathOpensACommandLineRoot) {
  AppHarness h;
  h.ini("[General]\n");
  h.dir.write("my notes/plan b.txt", "x");
  h.dir.write("my notes/other.txt", "y");
  App& app = h.start("junk \"" + h.dir.str() + "/my notes/plan b.txt\" trailing");
  EXPECT_EQ(app.rootListCurrent(), "Command Line");
  EXPECT_EQ(app.roots().current().rootFolder, h.dir.str() + "/my notes");
  EXPECT_EQ(app.fileList().selectedName(), "plan b.txt");
}

TEST(AppFirstLaunch, HelpShowsOnceInViewMode) {
  AppHarness h;
  h.ini("[General]\nFirstLaunch=1\n");
  App& app = h.start();
  EXPECT_EQ(app.mode(), Mode::View);
  EXPECT_EQ(app.rootListCurrent(), "Help");
  EXPECT_EQ(app.fileList().selectedName(), "1_help.txt");
  App& second = h.start();  // the flag was cleared
  EXPECT_NE(second.rootListCurrent(), "Help");
  EXPECT_EQ(second.mode(), Mode::None);
}

TEST(AppCommands, ModesNewWindowAndToolbarTips) {
  RootHarness h;
  App& app = h.start();
  EXPECT_EQ(app.toolbar().find(cmd::kToolSaveForward)->tip, "Save");
  EXPECT_EQ(app.toolbar().find(cmd::kPerpetual1 + 1)->tip,
            "Perpetual note 2\nAssign note using Configure -> Perpetual Notes");
  EXPECT_FALSE(app.toolbar().find(cmd::kPerpetual1)->enabled);
  app.command(cmd::kToolViewEdit);
  EXPECT_EQ(app.mode(), Mode::View);
  EXPECT_EQ(h.menuText(cmd::kSwitchMode), " Switch to &Edit mode");
  EXPECT_FALSE(app.toolbar().find(cmd::kToolSaveForward)->enabled);
  EXPECT_EQ(app.store().getInt("EditMode", 0), 1);
  app.command(cmd::kSwitchMode);
  EXPECT_EQ(app.mode(), Mode::Edit);
  EXPECT_EQ(app.store().getInt("EditMode", 0), 2);

  app.command(cmd::kNewWindow);
  EXPECT_EQ(h.desktop.started, (std::vector<Names>{{"--new-window", "--home", h.home}}));

  h.dir.write("notes/todo/list.txt", "x");
  h.settings("ExpertMode=yes\nBackInsteadOfNew=1\nPerpetualNote1=" + h.root + "|" + h.root + "|todo|list.txt");
  App& expert = h.start();
  EXPECT_EQ(expert.toolbar().find(cmd::kToolNewBack)->tip, "");
  EXPECT_EQ(expert.toolbar().find(cmd::kToolNewBack)->picture, 4);
  EXPECT_EQ(expert.paneTip(cmd::kFileList), "");
  EXPECT_TRUE(expert.toolbar().find(cmd::kPerpetual1)->enabled);
  EXPECT_EQ(expert.toolbar().find(cmd::kPerpetual1)->tip, "list.txt");
}

TEST(AppIndexFile, EnteringAFolderSelectsItsIndexFile) {
  RootHarness h;
  h.dir.write("notes/proj/_index.txt", "i");
  h.dir.write("notes/proj/z.txt", "z");
  h.dir.write("notes/other/vellumark.tn", "[General]\nIndexFile=start.txt\n");
  h.dir.write("notes/other/start.txt", "s");
  App& app = h.start();
  app.folderSelected(app.folderList().find("proj"));
  EXPECT_EQ(app.fileList().selectedName(), "_index.txt");
  app.folderActivated(app.folderList().find("other"));
  EXPECT_EQ(app.fileList().selectedName(), "start.txt");  // named by the folder's settings file
}

TEST(AppLogAndShutdown, LongMessageIsCutAndOnlyRenderedPagesGo) {
  AppHarness h;
  h.ini("[General]\n");
  h.dir.write("tmp/tn1234.html", "x");
  h.dir.write("tmp/keep.html", "x");
  App& app = h.start();
  ASSERT_TRUE(app.writeLog(std::string(2000, 'x')));
  ASSERT_TRUE(app.writeLog("second\n"));
  std::string log = h.dir.read("home/LogFile.log");
  const std::string first = log.substr(0, log.find('\n'));
  EXPECT_EQ(first.size(), 15u + 1020u);  // "MM.DD hh:mm:ss " and 1020 bytes
  EXPECT_TRUE(first[2] == '.' && first[14] == ' ') << first.substr(0, 15);
  EXPECT_TRUE(log.ends_with(" second\n"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);

  app.command(cmd::kExit);
  app.shutDown();
  EXPECT_FALSE(std::filesystem::exists(h.dir.path() / "tmp/tn1234.html"));
  EXPECT_TRUE(std::filesystem::exists(h.dir.path() / "tmp/keep.html"));
  EXPECT_EQ(h.window.quits, 1);
  EXPECT_TRUE(h.timers.running.empty());
}

TEST(AppFocus, StartAndEveryModeSwitchFocusTheDocumentOrTheFileList) {
  RootHarness h;
  h.dir.write("notes/page.md", "# Page\n");
  h.window.focused = cmd::kRootList;  // where the window would put it first
  App& app = h.start();
  EXPECT_EQ(h.window.focused, cmd::kFileList);  // nothing open yet
  h.open("page.md");  // a click leaves the focus in the File List
  const int before = h.editor.focusCount;
  app.command(cmd::kCtrlE);  // View mode: the rendered page
  ASSERT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(h.window.focused, cmd::kWebHost);
  app.command(cmd::kCtrlE);  // Edit mode: the note's text
  ASSERT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_GT(h.editor.focusCount, before);
  app.folderLabelClicked();  // nothing shown any more
  h.window.focused = cmd::kRootList;
  app.command(cmd::kToolViewEdit);
  EXPECT_EQ(h.window.focused, cmd::kFileList);

  // A file named on the command line is ready for typing.
  h.ini("[General]\n");
  h.window.focused = cmd::kRootList;
  h.editor.focusCount = 0;
  h.AppHarness::start(h.root + "/page.md");
  EXPECT_EQ(h.editor.focusCount, 1);
}

TEST(AppBack, CtrlBAndAltLeftGoBackInEveryViewer) {
  RootHarness h;  // BackInsteadOfNew off
  h.viewMode = true;
  h.dir.write("notes/b.txt", "B");
  App& app = h.startWith("a.md", "see [b]\n");
  ASSERT_EQ(app.currentViewer(), Viewer::Web);
  const auto& keys = app.accelerators();
  auto altLeft = std::find_if(keys.begin(), keys.end(), [](const Accelerator& a) { return a.keys == "Alt+Left"; });
  ASSERT_NE(altLeft, keys.end());
  EXPECT_EQ(altLeft->id, cmd::kCtrlB);
  app.pageLinkClicked("tn:b");  // a wiki link to a text note
  ASSERT_EQ(app.fileList().selectedName(), "b.txt");
  ASSERT_EQ(app.currentViewer(), Viewer::Text);
  h.type(" more");
  app.command(cmd::kCtrlB);  // undone from the keyboard; the note is saved on the way
  EXPECT_EQ(h.file("b.txt"), "B more");
  EXPECT_EQ(app.fileList().selectedName(), "a.md");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);

  // In the web viewer the page's own history goes first...
  h.web.canGoBack = true;
  app.command(cmd::kCtrlB);
  EXPECT_EQ(h.web.backs, 1);
  EXPECT_EQ(app.fileList().selectedName(), "a.md");
  // ...then the places left, and with none left nothing changes.
  h.web.canGoBack = false;
  app.command(cmd::kCtrlB);
  EXPECT_EQ(h.web.backs, 1);
  EXPECT_EQ(app.fileList().selectedName(), "a.md");
  // The toolbar button still makes a note outside the web viewer.
  app.pageLinkClicked("tn:b");
  app.command(cmd::kToolNewBack);
  EXPECT_EQ(app.fileList().selectedName(), "New Note.txt");
}

TEST(AppNoteLook, FontSizeAndGutterComeFromTheSettingsWithSafeDefaults) {
  RootHarness h("NoteFont=Courier New\nNoteFontSize=18\nGutterWidth=24");
  EXPECT_EQ(h.start().noteLook(), (NoteLook{"Courier New", 18, 24}));
  h.settings("");
  EXPECT_EQ(h.start().noteLook(), (NoteLook{"", 0, 10}));
  h.settings("NoteFontSize=30\nGutterWidth=0");  // a size alone keeps the platform's font
  EXPECT_EQ(h.start().noteLook(), (NoteLook{"", 0, 0}));
  h.settings("NoteFont=" + std::string(40, 'F') + "\nNoteFontSize=-4\nGutterWidth=99999");
  EXPECT_EQ(h.start().noteLook(), (NoteLook{std::string(31, 'F'), 0, 10}));
  h.settings("NoteFont=Mono\nNoteFontSize=junk\nGutterWidth=-3");
  EXPECT_EQ(h.start().noteLook(), (NoteLook{"Mono", 0, 10}));
}

TEST(AppStatus, ScrollingTheNoteHidesTheMessageField) {
  RootHarness h;
  App& app = h.startWith("long.txt", std::string(500, '\n'));
  app.status().show("Hello");
  app.timer(cmd::kTimerStatus);
  EXPECT_TRUE(app.status().fieldVisible());
  h.editor.scroll = 120;
  app.timer(cmd::kTimerStatus);
  EXPECT_FALSE(app.status().fieldVisible());
  app.status().show("Told");
  app.noteScrolled();  // the shell reports a scroll: hidden at once
  EXPECT_FALSE(app.status().fieldVisible());
  // Without a note shown the field runs its usual time.
  app.folderLabelClicked();
  app.status().show("Again");
  h.editor.scroll = 0;
  app.timer(cmd::kTimerStatus);
  EXPECT_TRUE(app.status().fieldVisible());
}

TEST(FolderLabel, ShortensLongPaths) {
  EXPECT_EQ(folderLabelText("/n/projects", "/n", 20), "  /n/projects");
  EXPECT_EQ(folderLabelText("/notes/projects/2014/march", "/notes", 20), "  /notes/.../march");
  EXPECT_EQ(folderLabelText("/notes/projects/2014/march", "/notes", 12), "  .../march");
  EXPECT_EQ(folderLabelText("/a-very-long-root-folder", "/a-very-long-root-folder", 5),
            "  /a-very-long-root-folder");  // never shorter than the root itself
}

}  // namespace
}  // namespace vm
