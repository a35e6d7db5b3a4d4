#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/commands.h"
#include "core/configure.h"
#include "core/settings_store.h"
#include "fakes/fake_ports.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

using test::TempDir;

// An INI file in a temporary folder, loaded into a store, and a session over it.
struct Fixture {
  TempDir dir;
  SettingsStore store;
  PathEnv env;
  std::filesystem::path ini;

  explicit Fixture(const std::string& text) : ini(dir.write("vellumark.ini", text)) {
    env.appSrcDrv = "/";
    store.load(ini);
  }
  std::string file() const { return dir.read("vellumark.ini"); }
  ConfigureSession session(std::vector<RootLocation> table = {}) { return ConfigureSession(store, env, table); }
};

// Every General Settings flag present, so a visit writes nothing by itself.
const std::string kUserIni =
    "; my settings, do not lose\n"
    "[General]\n"
    "AutoSave=2\n"
    "UseStatBar=yes ; turned on by hand\n"
    "NoteShowWordCount=on\nNoteShowCharCount=1\nTnFileWithOriginal=0\n"
    "BackInsteadOfNew=0\nTnHideFiles=TRUE\nExpertMode=0\n"
    "MyOwnKey=kept\n"
    "\n[BasicRoots]\n; roots I use\n/srv/notes=Notes;.md\n"
    "\n[Unknown Section]\nanything = goes ; here\n";

TEST(ConfigureSession, PagesShowWhatWasEnteredAndCancelWritesNothing) {
  Fixture f(kUserIni);
  {
    auto s = f.session();
    EXPECT_EQ(s.text(setting::AutoSave), "2");
    EXPECT_TRUE(s.flag(setting::UseStatBar));   // "yes" reads ticked, as the program reads it
    EXPECT_TRUE(s.flag(setting::TnHideFiles));  // "TRUE" too
    s.setText(setting::AutoSave, "9");
    s.setFlag(setting::ExpertMode, true);
    // Another page in between, then back: the values last entered.
    EXPECT_EQ(s.text(setting::DefaultExtension), ".txt");
    s.setText(setting::DefaultExtension, ".md");
    EXPECT_EQ(s.text(setting::AutoSave), "9");
    EXPECT_TRUE(s.flag(setting::ExpertMode));
    EXPECT_EQ(s.text(setting::DefaultExtension), ".md");
    ASSERT_TRUE(s.addRoot({"/srv/other", "Other", "txt"}) == std::nullopt);
    EXPECT_EQ(s.changedKeys(), (std::vector<std::string>{"AutoSave", "ExpertMode", "DefaultExtension", "BasicRoots"}));
  }  // Cancel: the session is dropped
  EXPECT_EQ(f.file(), kUserIni);
  EXPECT_EQ(f.store.getText("AutoSave", ""), "2");
}

TEST(ConfigureSession, OkWritesOnlyTheChangedKeys) {
  Fixture f(kUserIni);
  auto s = f.session();
  for (const SettingDef* d : ConfigureSession::pageKeys(0))  // the whole General page shown and left
    ConfigureSession::isFlag(*d) ? s.setFlag(*d, s.flag(*d)) : s.setText(*d, s.text(*d));
  s.setText(setting::AutoSave, "5");
  s.setText(setting::ExternalProgramArgs, s.text(setting::ExternalProgramArgs));  // shown, untouched
  EXPECT_EQ(s.changedKeys(), std::vector<std::string>{"AutoSave"});
  ASSERT_TRUE(s.commit());
  std::string expected = kUserIni;
  expected.replace(expected.find("AutoSave=2"), 10, "AutoSave=5");
  EXPECT_EQ(f.file(), expected);  // comments, "yes", unknown keys and sections as they were
}

TEST(ConfigureSession, FlagsAreWrittenWhenChangedOrAbsent) {
  Fixture f("[General]\nUseStatBar=yes;mine\n[Spreadsheet]\nSSNeverSort=1\n");
  auto s = f.session();
  EXPECT_TRUE(s.flag(setting::SSMakeChangeBackups));  // absent: the page default
  EXPECT_TRUE(s.flag(setting::SSNeverSort));
  s.setFlag(setting::SSNeverSort, false);
  s.setFlag(setting::UseStatBar, false);
  ASSERT_TRUE(s.commit());
  f.store.reload();
  EXPECT_EQ(f.store.getText("SSMakeChangeBackups", ""), "1");
  EXPECT_EQ(f.store.getText("UseStatBar", ""), "0");
  EXPECT_EQ(f.store.getComment("UseStatBar"), "mine");
  // A key is rewritten in the section where it stands, not duplicated into General.
  EXPECT_EQ(f.store.getSectionComment("Spreadsheet", "SSNeverSort"), "");
  EXPECT_EQ(f.file(), "[General]\nUseStatBar=0;mine\nSSMakeChangeBackups=1\n[Spreadsheet]\nSSNeverSort=0\n");
}

TEST(ConfigureSession, NumbersAndSemicolonsAreRefused) {
  Fixture f("[General]\nAutoSave=abc\n");
  auto s = f.session();
  EXPECT_EQ(s.validate(), std::nullopt);  // a stored value the user did not touch is not judged
  for (const char* bad : {"ten", "-1", "5 min", "99999"}) {
    s.setText(setting::AutoSave, bad);
    auto m = s.validate();
    ASSERT_TRUE(m.has_value()) << bad;
    EXPECT_EQ(m->page, 0);
    EXPECT_NE(m->text.find("Autosave every"), std::string::npos);
  }
  s.setText(setting::AutoSave, " 0 ");
  EXPECT_EQ(s.validate(), std::nullopt);
  s.setText(setting::NoteFontSize, "12pt");
  ASSERT_TRUE(s.validate().has_value());
  EXPECT_EQ(s.validate()->page, 1);
  s.setText(setting::NoteFontSize, "");
  EXPECT_EQ(s.validate(), std::nullopt);
  s.setText(setting::ExternalProgramArgs, "\"$fullfile\";x");
  ASSERT_TRUE(s.validate().has_value());
  EXPECT_EQ(s.validate()->page, 5);
  s.setText(setting::ExternalProgramArgs, "-o \"$fullfile\"");
  ASSERT_TRUE(s.commit());
  f.store.reload();
  EXPECT_EQ(f.store.getText("AutoSave", ""), "0");
  EXPECT_FALSE(f.store.has("NoteFontSize"));  // an empty size is not written
  EXPECT_EQ(f.store.getText("ExternalProgramArgs", ""), "-o \"$fullfile\"");
}

TEST(ConfigureSession, RootsPageChecks) {
  Fixture f("[General]\nAutoSave=2\n[BasicRoots]\n/srv/notes=Notes;.md\n%AppSrcDrv%/stick=Stick\n[Tail]\nx=1\n");
  auto s = f.session();
  ASSERT_EQ(s.roots().size(), 2u);
  EXPECT_EQ(s.roots()[0], (RootRow{"/srv/notes", "Notes", ".md"}));
  EXPECT_EQ(s.roots()[1].path, "%AppSrcDrv%/stick");  // path variables as written

  auto dup = s.addRoot({"/SRV/Notes", "Again", ".txt"});
  ASSERT_TRUE(dup.has_value());
  EXPECT_EQ(dup->title, "Error");
  EXPECT_EQ(dup->text, "This directory is already in the list");
  auto missing = s.addRoot({"/srv/new", "", ".txt"});
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->title, "Required");
  EXPECT_EQ(missing->text, "Please fill in all the fields");
  EXPECT_TRUE(s.addRoot({"/srv/a=b", "X", ".txt"}).has_value());  // '=' cannot stand in a key
  EXPECT_TRUE(s.addRoot({"/srv/x", "A;B", ".txt"}).has_value());   // ';' would start a comment

  EXPECT_EQ(s.addRoot({"/srv/new", "New", "md"}), std::nullopt);
  EXPECT_EQ(s.roots().back().extension, ".md");  // the dot is added when adding...
  EXPECT_EQ(s.editRoot(2, {"/srv/new", "Newer", "md"}), std::nullopt);
  EXPECT_EQ(s.roots().back().extension, "md");  // ...not when editing
  EXPECT_EQ(s.editRoot(2, {"/srv/new", "Newer", ""})->title, "Required");
  s.removeRoot(0);
  ASSERT_TRUE(s.commit());
  EXPECT_EQ(f.file(), "[General]\nAutoSave=2\n[BasicRoots]\n%AppSrcDrv%/stick=Stick\n/srv/new=Newer;md\n[Tail]\nx=1\n");

  // "Set path for remote use" on a stick mounted at /media/u/STICK.
  f.env.appSrcDrv = "/media/u/STICK";
  auto r = f.session();
  std::string p = "/media/u/STICK/notes";
  EXPECT_EQ(r.contractForRemote(p), std::nullopt);
  EXPECT_EQ(p, "%AppSrcDrv%/notes");
  std::string elsewhere = "/home/u/notes";
  auto sorry = r.contractForRemote(elsewhere);
  ASSERT_TRUE(sorry.has_value());
  EXPECT_EQ(sorry->title, "Sorry");
  EXPECT_EQ(sorry->text, "Must be on same drive as the program to use this feature");
  EXPECT_EQ(elsewhere, "/home/u/notes");
}

TEST(ConfigureSession, UnchangedRootsKeepTheirSection) {
  const std::string text = "[BasicRoots]\n; my roots\n/srv/notes=Notes;.md\n";
  Fixture f(text);
  auto s = f.session();
  s.roots();
  s.setFlag(setting::HideHidden, true);  // absent: written
  ASSERT_TRUE(s.commit());
  EXPECT_EQ(f.file(), text + "\n[General]\nHideHidden=1\n");
}

TEST(ConfigureSession, ChangedRootsKeepCommentsLineEndsAndOtherSections) {
  Fixture f("[General]\r\nAutoSave=2\r\n[BasicRoots]\r\n; roots I use\r\n/a=A;.md\r\n; the old one\r\n/b=B\r\n\r\n"
            "[BasicRootsOld]\r\n/keep=me\r\n[basicroots]\r\n/c=C\r\n; tail comment");
  auto s = f.session();
  ASSERT_EQ(s.roots().size(), 3u);
  s.removeRoot(1);
  ASSERT_EQ(s.addRoot({"/d", "D", "txt"}), std::nullopt);
  ASSERT_TRUE(s.commit());
  EXPECT_EQ(f.file(),
            "[General]\r\nAutoSave=2\r\n[BasicRoots]\r\n; roots I use\r\n; the old one\r\n/a=A;.md\r\n/c=C\r\n"
            "/d=D;.txt\r\n\r\n[BasicRootsOld]\r\n/keep=me\r\n[basicroots]\r\n; tail comment");
  f.store.reload();
  EXPECT_EQ(f.store.sectionKeys("BasicRoots"), (std::vector<std::string>{"/a", "/c", "/d"}));

  Fixture none("[General]\nAutoSave=2");  // no section, no final line end
  auto t = none.session();
  ASSERT_EQ(t.addRoot({"/n", "N", ".md"}), std::nullopt);
  ASSERT_TRUE(t.commit());
  EXPECT_EQ(none.file(), "[General]\nAutoSave=2\n\n[BasicRoots]\n/n=N;.md\n");
}

TEST(ConfigureSession, PerpetualPickUnderAppSrcDrvRoot) {
  TempDir stick;
  stick.write("notes/work/plan.txt", "plan\n");
  stick.write("notes/.hidden", "");
  stick.mkdir("notes/archive");
  Fixture f("[General]\nPerpetualNote2=/old|/old|a|b.txt\n[BasicRoots]\n%AppSrcDrv%/notes=Notes\n");
  f.env.appSrcDrv = stick.str();
  auto s = f.session();

  auto roots = s.pickerRoots();
  ASSERT_EQ(roots, std::vector<std::string>{"%AppSrcDrv%/notes"});
  const std::string folder = s.expand(roots[0]);
  EXPECT_EQ(folder, stick.str() + "/notes");
  auto top = listPickerFolder(folder, false);
  EXPECT_EQ(top.folders, (std::vector<std::string>{"archive", "work"}));
  EXPECT_TRUE(top.files.empty());  // ".hidden" left out
  auto work = listPickerFolder(folder + "/work", true);
  EXPECT_EQ(work.folders, std::vector<std::string>{std::string(kUpFolder)});
  EXPECT_EQ(work.files, std::vector<std::string>{"plan.txt"});

  const std::string picked = s.pickedPath(roots[0], folder + "/work/plan.txt");
  EXPECT_EQ(picked, "%AppSrcDrv%/notes/work/plan.txt");
  s.setPerpetualText(0, picked);
  EXPECT_EQ(s.perpetualText(0), picked);
  EXPECT_EQ(s.perpetualText(1), "/old/a/b.txt");
  s.setPerpetualText(1, "/nowhere/x.txt");  // under no root: the note stays
  s.setPerpetualText(2, "plan.txt");         // no folder at all
  ASSERT_TRUE(s.commit());
  f.store.reload();
  EXPECT_EQ(f.store.getText("PerpetualNote1", ""), "%AppSrcDrv%/notes|%AppSrcDrv%/notes|work|plan.txt");
  EXPECT_EQ(f.store.getText("PerpetualNote2", ""), "/old|/old|a|b.txt");
  EXPECT_FALSE(f.store.has("PerpetualNote3"));

  // The same note typed with its expanded path is stored under the root as written.
  auto t = f.session();
  t.setPerpetualText(2, stick.str() + "/notes/work/plan.txt");
  ASSERT_TRUE(t.commit());
  f.store.reload();
  EXPECT_EQ(f.store.getText("PerpetualNote3", ""), "%AppSrcDrv%/notes|" + stick.str() + "/notes|work|plan.txt");
}

// The App: OK rebuilds the window from the written settings, Cancel changes nothing.
TEST(ConfigureCommand, OkRebuildsRootsMenusAndLook) {
  test::RootHarness h("AutoSave=2\nTnHideFiles=1");
  h.dir.mkdir("more");
  h.start();
  const std::string before = h.iniText();
  ASSERT_NE(h.menu(cmd::kConfigure), nullptr);
  EXPECT_EQ(h.menuText(cmd::kConfigure), "   &Configure");

  h.dialogs.configureUser = [](ConfigureSession& s) {
    s.setText(setting::AutoSave, "0");
    return false;  // Cancel
  };
  h.app().command(cmd::kConfigure);
  EXPECT_EQ(h.dialogs.configureRuns, 1);
  EXPECT_EQ(h.iniText(), before);

  const std::string more = h.dir.str() + "/more";
  h.dialogs.configureUser = [&](ConfigureSession& s) {
    EXPECT_EQ(s.addRoot({more, "More", ".md"}), std::nullopt);
    s.setFlag(setting::TnHideFiles, false);
    s.setText(setting::NoteFont, "DejaVu Sans");
    s.setText(setting::NoteFontSize, "14");
    return true;
  };
  EXPECT_EQ(h.menu(cmd::kViewProgramFiles), nullptr);
  h.app().command(cmd::kConfigure);
  const auto& items = h.app().rootListItems();
  EXPECT_NE(std::find(items.begin(), items.end(), "More"), items.end());
  EXPECT_NE(h.menu(cmd::kViewProgramFiles), nullptr);
  EXPECT_EQ(h.app().noteLook().font, "DejaVu Sans");
  EXPECT_EQ(h.app().noteLook().fontSize, 14);
  EXPECT_NE(h.iniText().find(more + "=More;.md"), std::string::npos);
}

}  // namespace
}  // namespace vm
