#include <gtest/gtest.h>

#include <filesystem>

#include "core/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"

namespace vm {
namespace {

using test::AppHarness;

std::vector<std::string> names(const ListModel& m) {
  std::vector<std::string> out;
  for (const auto& i : m.items()) out.push_back(i.name);
  return out;
}

TEST(AppStart, EmptyIniGivesTheDefaults) {
  AppHarness h;
  h.ini("[General]\n");
  App& app = h.start();
  EXPECT_FALSE(app.status().useStatBar());
  EXPECT_EQ(app.status().title(), "Vellumark");
  EXPECT_EQ(app.rootListItems(), (std::vector<std::string>{"File System", "My Documents"}));
  EXPECT_EQ(app.roots().at(0).displayName, "My Documents");  // table order: documents before "/"
  EXPECT_EQ(app.rootListCurrent(), "My Documents");
  EXPECT_EQ(app.roots().at(0).defaultExtension, ".txt");
  EXPECT_EQ(h.timers.running.at(cmd::kTimerAutosave), 60000);
  EXPECT_EQ(h.timers.running.at(cmd::kTimerStatus), 500);
  EXPECT_EQ(h.timers.running.at(cmd::kTimerFolderWatch), 3000);
  EXPECT_EQ(app.listWidth(), 200);
  EXPECT_EQ(app.paneTip(cmd::kMultibar), "Multibar (Type new filename or ? to search current document)");
}

TEST(AppStart, AutosaveZeroStartsNoTimerAndMissingIniIsNotAnError) {
  AppHarness h;
  h.ini("[General]\nAutoSave=0\n");
  h.start();
  EXPECT_FALSE(h.timers.isRunning(cmd::kTimerAutosave));
  AppHarness bare;  // no INI at all
  App& app = bare.start();
  EXPECT_TRUE(bare.timers.isRunning(cmd::kTimerAutosave));
  EXPECT_EQ(app.roots().count(), 2);
}

TEST(AppStart, LastRootSelectsTheRootAndAnUnknownOneTheFirst) {
  AppHarness h;
  h.dir.mkdir("notes/sub");
  h.dir.write("notes/a.txt", "a");
  h.ini("[General]\nLastRoot=Work\n[BasicRoots]\n" + h.dir.str() + "/notes=Work;.md\n");
  App& app = h.start();
  EXPECT_EQ(app.rootListCurrent(), "Work");
  EXPECT_EQ(names(app.folderList()), (std::vector<std::string>{"sub"}));
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"a.txt"}));
  h.ini("[General]\nLastRoot=Gone\n[BasicRoots]\n" + h.dir.str() + "/notes=Work;.md\n");
  App& again = h.start();
  EXPECT_EQ(again.roots().currentIndex(), 0);
}

TEST(AppStart, LegacyIniIsMovedIntoPlace) {
  AppHarness h;
  h.dir.write("home/tallownotes.ini", "[General]\nListWidth=333\n");
  App& app = h.start();
  EXPECT_TRUE(std::filesystem::exists(h.dir.path() / "home/vellumark.ini"));
  EXPECT_FALSE(std::filesystem::exists(h.dir.path() / "home/tallownotes.ini"));
  EXPECT_EQ(app.listWidth(), 333);
  // Both present: nothing moves.
  AppHarness both;
  both.ini("[General]\nListWidth=210\n");
  both.dir.write("home/tallownotes.ini", "[General]\nListWidth=333\n");
  EXPECT_EQ(both.start().listWidth(), 210);
  EXPECT_TRUE(std::filesystem::exists(both.dir.path() / "home/tallownotes.ini"));
}

TEST(AppNavigation, FoldersUpAndTheLabel) {
  AppHarness h;
  h.dir.mkdir("notes/projects/2024");
  h.dir.write("notes/projects/plan.txt", "p");
  h.dir.write("notes/top.md", "t");
  h.ini("[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app = h.start();
  const std::string root = h.dir.str() + "/notes";
  EXPECT_TRUE(app.folderLabel().starts_with("  "));
  EXPECT_TRUE(app.folderLabel().ends_with("/notes"));
  ASSERT_EQ(names(app.folderList()), (std::vector<std::string>{"projects"}));
  EXPECT_EQ(app.folderList().at(0).icon, 2);  // has a sub-folder

  app.folderSelected(0);  // selecting shows the folder's files
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"plan.txt"}));
  EXPECT_EQ(app.roots().current().currentFolder, root + "/projects");

  app.folderActivated(0);  // entering makes it the path
  EXPECT_EQ(app.roots().current().path, root + "/projects");
  EXPECT_EQ(names(app.folderList()), (std::vector<std::string>{"[ . . ]", "2024"}));
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"plan.txt"}));

  app.folderActivated(0);  // "[ . . ]" goes up
  EXPECT_EQ(app.roots().current().path, root);
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"top.md"}));

  app.folderActivated(0);
  app.folderLabelClicked();  // the label returns to the root
  EXPECT_EQ(app.roots().current().path, root);
  EXPECT_EQ(names(app.folderList()), (std::vector<std::string>{"projects"}));
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"top.md"}));

  app.fileClicked(0);  // a click only selects
  EXPECT_EQ(app.fileList().selected(), 0);
  EXPECT_EQ(app.roots().current().selectedFile, "top.md");
}

TEST(AppNavigation, ProgramAndHiddenFilesStayOutOfTheLists) {
  AppHarness h;
  h.dir.mkdir("notes/imgs");
  h.dir.mkdir("notes/.git");
  h.dir.mkdir("notes/real");
  h.dir.write("notes/a.txt.tn", "[General]\n");
  h.dir.write("notes/.hidden", "x");
  h.dir.write("notes/b.txt", "b");
  h.ini("[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app = h.start();
  EXPECT_EQ(names(app.folderList()), (std::vector<std::string>{"real"}));
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(app.menus().find(cmd::kViewProgramFiles), nullptr);  // TnHideFiles on: no menu item

  // With TnHideFiles off the menu item shows them on demand.
  h.ini("[General]\nTnHideFiles=0\nMenuViewVMFiles=0\n[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app2 = h.start();
  ASSERT_NE(app2.menus().find(cmd::kViewProgramFiles), nullptr);
  EXPECT_EQ(names(app2.fileList()), (std::vector<std::string>{"b.txt"}));
  app2.command(cmd::kViewProgramFiles);
  EXPECT_EQ(app2.fileList().find("a.txt.tn") >= 0, true);
  EXPECT_NE(h.iniText().find("MenuViewVMFiles=1"), std::string::npos);
}

TEST(AppRoots, TypedFolderBecomesARootAndBadTextSaysSo) {
  AppHarness h;
  h.dir.write("elsewhere/x.txt", "x");
  App& app = h.start();
  const std::string folder = h.dir.str() + "/elsewhere";
  app.rootTyped(folder);
  EXPECT_EQ(app.rootListCurrent(), folder);
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"x.txt"}));
  EXPECT_NE(h.iniText().find("LastRoot=" + folder), std::string::npos);
  EXPECT_EQ(app.store().getText("LastRoot", ""), folder);

  app.rootTyped(h.dir.str() + "/does-not-exist");
  EXPECT_EQ(app.status().message(), "Error adding root");
  EXPECT_EQ(app.rootListCurrent(), folder);  // still where it was
}

TEST(AppRoots, RootWhoseFolderVanishedListsEmpty) {
  AppHarness h;
  h.dir.mkdir("gone/sub");
  h.dir.write("gone/f.txt", "x");
  h.ini("[BasicRoots]\n" + h.dir.str() + "/gone=Gone\n");
  App& app = h.start();
  ASSERT_EQ(app.fileList().size(), 1);
  std::filesystem::remove_all(h.dir.path() / "gone");
  app.timer(cmd::kTimerFolderWatch);
  app.rootChosen("Gone");
  EXPECT_EQ(app.folderList().size(), 0);
  EXPECT_EQ(app.fileList().size(), 0);
  app.folderSelected(0);  // nothing there: ignored
  app.folderActivated(3);
  app.folderLabelClicked();
  EXPECT_EQ(app.rootListCurrent(), "Gone");
}

TEST(AppWatch, NewFileAppearsAndSelectionStays) {
  AppHarness h;
  h.dir.write("notes/a.txt", "a");
  h.ini("[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app = h.start();
  app.fileClicked(0);
  app.timer(cmd::kTimerFolderWatch);  // first poll records the folder
  h.dir.write("notes/b.txt", "b");
  // Make the change visible even on a coarse clock.
  std::filesystem::last_write_time(h.dir.path() / "notes",
                                   std::filesystem::last_write_time(h.dir.path() / "notes") + std::chrono::seconds(5));
  app.timer(cmd::kTimerFolderWatch);
  EXPECT_EQ(app.fileList().size(), 2);
  EXPECT_EQ(app.fileList().selectedName(), "a.txt");
  // The selected file is deleted by another program: it is no longer selected.
  std::filesystem::remove(h.dir.path() / "notes/a.txt");
  std::filesystem::last_write_time(h.dir.path() / "notes",
                                   std::filesystem::last_write_time(h.dir.path() / "notes") + std::chrono::seconds(5));
  app.timer(cmd::kTimerFolderWatch);
  EXPECT_EQ(names(app.fileList()), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(app.fileList().selected(), -1);
  EXPECT_EQ(app.roots().current().selectedFile, "");
}

TEST(AppLayout, ListWidthIsStoredAndReadBackInTheSameRun) {
  AppHarness h;
  App& app = h.start();
  app.splitterReleased(150);
  EXPECT_EQ(app.listWidth(), 150);
  EXPECT_NE(h.iniText().find("ListWidth=150"), std::string::npos);
  EXPECT_EQ(h.start().listWidth(), 150);
}

TEST(AppLayout, WindowPositionRoundTripAndBadValues) {
  AppHarness h;
  App& app = h.start();
  app.windowPlacementChanged({0, 1, 0, 0, 0, 0, 10, 20, 810, 620});
  EXPECT_NE(h.iniText().find("WindowPosition=0,1,0,0,0,0,10,20,810,620"), std::string::npos);
  app.windowPlacementChanged({0, 2, 0, 0, 0, 0, 0, 0, 160, 40});  // minimised: not stored
  EXPECT_EQ(h.iniText().find("160"), std::string::npos);
  RestorePlan p = app.restorePlan(1920, 1080, 40);
  EXPECT_FALSE(p.useDefault);
  EXPECT_EQ(p.left, 10);
  EXPECT_EQ(p.bottom, 620);

  auto planFor = [&](const std::string& value) {
    h.ini("[General]\nWindowPosition=" + value + "\n");
    return h.start().restorePlan(1920, 1080, 40);
  };
  EXPECT_TRUE(planFor("").useDefault);
  EXPECT_TRUE(planFor("0,1,0,0,0,0,0,0,0,0").useDefault);        // right and bottom 0
  EXPECT_TRUE(planFor("junk,x,y,,,,,,,").useDefault);            // garbage
  EXPECT_TRUE(planFor("0,1,0,0").useDefault);                    // too few numbers
  EXPECT_TRUE(planFor("0,1,0,0,0,0,900,900,100,100").useDefault);  // inside out
  RestorePlan max = planFor("0,3,0,0,0,0,0,0,0,0");
  EXPECT_FALSE(max.useDefault);
  EXPECT_TRUE(max.maximised);
  RestorePlan cut = planFor("0,1,0,0,0,0,5,5,0,5000");
  EXPECT_EQ(cut.right, 150);    // a right edge of 0 gives 150
  EXPECT_EQ(cut.bottom, 1040);  // cut to the screen less the taskbar
  RestorePlan off = planFor("0,1,0,0,0,0,-50,3000,5000,-1");
  EXPECT_EQ(off.left, 0);
  EXPECT_EQ(off.top, 0);
  EXPECT_EQ(off.right, 1920);
  EXPECT_EQ(off.bottom, 1040);
}

TEST(AppCommandLine, QuotedPathOpensACommandLineRoot) {
  AppHarness h;
  h.dir.write("my notes/plan b.txt", "x");
  h.dir.write("my notes/other.txt", "y");
  App& app = h.start("junk \"" + h.dir.str() + "/my notes/plan b.txt\" trailing");
  EXPECT_EQ(app.rootListCurrent(), "Command Line");
  EXPECT_EQ(app.roots().current().rootFolder, h.dir.str() + "/my notes");
  EXPECT_EQ(app.roots().current().defaultExtension, ".txt");
  EXPECT_EQ(app.fileList().selectedName(), "plan b.txt");
}

TEST(AppFirstLaunch, HelpShowsOnceInViewMode) {
  AppHarness h;
  h.ini("[General]\nFirstLaunch=1\n");
  App& app = h.start();
  EXPECT_EQ(app.mode(), Mode::View);
  EXPECT_EQ(app.rootListCurrent(), "Help");
  EXPECT_EQ(app.fileList().selectedName(), "1_help.txt");
  EXPECT_NE(h.iniText().find("FirstLaunch=0"), std::string::npos);
  App& second = h.start();
  EXPECT_NE(second.rootListCurrent(), "Help");
  EXPECT_EQ(second.mode(), Mode::None);
}

TEST(AppModes, SwitchFlipsAndWritesEditMode) {
  AppHarness h;
  App& app = h.start();
  EXPECT_EQ(app.toolbar().find(cmd::kToolViewEdit)->tip, "View");
  app.command(cmd::kToolViewEdit);
  EXPECT_EQ(app.mode(), Mode::View);
  EXPECT_EQ(app.menus().find(cmd::kSwitchMode)->text, " Switch to &Edit mode");
  EXPECT_EQ(app.toolbar().find(cmd::kToolViewEdit)->tip, "Edit");
  EXPECT_FALSE(app.toolbar().find(cmd::kToolSaveForward)->enabled);
  EXPECT_EQ(app.store().getInt("EditMode", 0), 1);
  app.command(cmd::kSwitchMode);
  EXPECT_EQ(app.mode(), Mode::Edit);
  EXPECT_EQ(app.store().getInt("EditMode", 0), 2);
}

TEST(AppToolbar, TipsAndExpertMode) {
  AppHarness h;
  App& app = h.start();
  EXPECT_EQ(app.toolbar().find(cmd::kToolNewBack)->tip, "New");
  EXPECT_EQ(app.toolbar().find(cmd::kToolSaveForward)->tip, "Save");
  EXPECT_EQ(app.toolbar().find(cmd::kPerpetual1 + 1)->tip,
            "Perpetual note 2\nAssign note using Configure -> Perpetual Notes");
  EXPECT_FALSE(app.toolbar().find(cmd::kPerpetual1)->enabled);

  h.dir.write("notes/todo/list.txt", "x");
  h.ini("[General]\nExpertMode=yes\nBackInsteadOfNew=1\nPerpetualNote1=" + h.dir.str() + "/notes|" + h.dir.str() +
        "/notes|todo|list.txt\n[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& expert = h.start();
  EXPECT_EQ(expert.toolbar().find(cmd::kToolNewBack)->tip, "");
  EXPECT_EQ(expert.toolbar().find(cmd::kToolNewBack)->picture, 4);
  EXPECT_EQ(expert.paneTip(cmd::kFileList), "");
  EXPECT_TRUE(expert.toolbar().find(cmd::kPerpetual1)->enabled);
  EXPECT_EQ(expert.toolbar().find(cmd::kPerpetual1)->tip, "list.txt");

  // The Perpetual note button goes to its note.
  expert.command(cmd::kPerpetual1);
  EXPECT_EQ(expert.rootListCurrent(), "Notes");
  EXPECT_EQ(expert.folderList().selectedName(), "todo");
  EXPECT_EQ(expert.fileList().selectedName(), "list.txt");
}

TEST(AppIndexFile, EnteringAFolderSelectsItsIndexFile) {
  AppHarness h;
  h.dir.write("notes/proj/_index.txt", "i");
  h.dir.write("notes/proj/z.txt", "z");
  h.dir.write("notes/other/vellumark.tn", "[General]\nIndexFile=start.txt\n");
  h.dir.write("notes/other/start.txt", "s");
  h.ini("[BasicRoots]\n" + h.dir.str() + "/notes=Notes\n");
  App& app = h.start();
  app.folderSelected(app.folderList().find("proj"));
  EXPECT_EQ(app.fileList().selectedName(), "_index.txt");
  app.folderActivated(app.folderList().find("other") >= 0 ? app.folderList().find("other") : 0);
  EXPECT_EQ(app.fileList().selectedName(), "start.txt");  // named by the folder's settings file
}

TEST(AppShutdown, RemovesOnlyRenderedPagesAndQuitsOnce) {
  AppHarness h;
  h.dir.write("tmp/tn1234.html", "x");
  h.dir.write("tmp/keep.html", "x");
  App& app = h.start();
  app.command(cmd::kExit);
  app.shutDown();
  EXPECT_FALSE(std::filesystem::exists(h.dir.path() / "tmp/tn1234.html"));
  EXPECT_TRUE(std::filesystem::exists(h.dir.path() / "tmp/keep.html"));
  EXPECT_EQ(h.window.quits, 1);
  EXPECT_TRUE(h.timers.running.empty());
}

TEST(AppLog, LongMessageIsCutAndStamped) {
  AppHarness h;
  App& app = h.start();
  ASSERT_TRUE(app.writeLog(std::string(2000, 'x')));
  ASSERT_TRUE(app.writeLog("second\n"));
  std::string log = h.dir.read("home/LogFile.log");
  auto nl = log.find('\n');
  ASSERT_NE(nl, std::string::npos);
  std::string first = log.substr(0, nl);
  EXPECT_EQ(first.size(), 15u + 1020u);  // "MM.DD hh:mm:ss " and 1020 bytes
  EXPECT_EQ(first[2], '.');
  EXPECT_EQ(first[14], ' ');
  EXPECT_TRUE(log.ends_with(" second\n"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST(AppMenus, NewWindowAboutAndAlwaysOnTop) {
  AppHarness h;
  App& app = h.start();
  app.command(cmd::kNewWindow);
  ASSERT_EQ(h.desktop.started.size(), 1u);
  EXPECT_EQ(h.desktop.started[0], (std::vector<std::string>{"--home", h.home}));
  std::string about;
  app.aboutRequested.connect([&](std::string s) { about = s; });
  app.command(cmd::kAbout);
  EXPECT_TRUE(about.starts_with("Vellumark "));
  app.command(cmd::kAlwaysOnTop);
  EXPECT_TRUE(h.window.onTop);
  EXPECT_TRUE(app.menus().find(cmd::kAlwaysOnTop)->checked);
  app.command(cmd::kAlwaysOnTop);
  EXPECT_FALSE(h.window.onTop);
}

TEST(FolderLabel, ShortensLongPaths) {
  const std::string root = "/n";
  EXPECT_EQ(folderLabelText("/n/projects", root, 20), "  /n/projects");
  EXPECT_EQ(folderLabelText("/n/projects/2014/march", root, 20), "  /n/.../march");
  EXPECT_EQ(folderLabelText("/notes/projects/2014/march", "/notes", 20), "  /notes/.../march");
  EXPECT_EQ(folderLabelText("/notes/projects/2014/march", "/notes", 12), "  .../march");
  EXPECT_EQ(folderLabelText("/a-very-long-root-folder", "/a-very-long-root-folder", 5),
            "  /a-very-long-root-folder");  // never shorter than the root itself
}

}  // namespace
}  // namespace vm
