#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/commands.h"
#include "core/context.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "notes/note_viewer.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace fs = std::filesystem;
using test::FakeClock;
using test::FakeDesktop;
using test::FakeDialogs;
using test::FakeLineEditor;
using test::FakeTextEditor;
using test::FeatureParts;

// The note viewer on its own: one root "notes" in a temporary folder, the
// shared parts a feature gets, a fake editor, and hooks that record what the
// viewer asks of the File List.
struct NoteRig : FeatureParts {
  std::string root = dir.mkdir("notes").string();
  FakeClock clock;
  FakeTextEditor editor;
  FakeLineEditor multibar;
  FakeDesktop desktop;
  FakeDialogs dialogs;
  std::vector<std::string> relisted;  // names the File List was asked to select after a relisting
  int watchForgets = 0;
  NoteViewer viewer{context(), NoteHooks{[this](const std::string& name) { relisted.push_back(name); },
                                         [this] { ++watchForgets; }, nullptr}};

  explicit NoteRig(const std::string& general = "") : FeatureParts(general) {
    ports.clock = &clock;
    ports.editor = &editor;
    ports.multibar = &multibar;
    ports.desktop = &desktop;
    ports.dialogs = &dialogs;
    status.configure(settings.flag(setting::UseStatBar), settings.flag(setting::NoteShowCharCount),
                     settings.flag(setting::NoteShowWordCount), [] { return true; });
    roots.add(root, root, "Notes", ".txt", ".txt", [](const std::string&) {});
    menus.menus().push_back(Menu{"&File", {}});
    menus.menus().push_back(Menu{"&Tools", {MenuItem{cmd::kLaunchAssociated, " Launch &Associated", "", false, false, false, {}},
                                            MenuItem{cmd::kSwitchMode, " Switch to &View mode", "", false, false, true, {}}}});
  }
  // Writes the note and opens it, as a click on it in the File List does.
  bool openNew(const std::string& name, const std::string& content) {
    dir.write("notes/" + name, content);
    return open(name);
  }
  bool open(const std::string& name) {
    roots.current().selectedFile = name;
    return viewer.open(false);
  }
  void type(const std::string& text) {
    if (editor.readOnly) return;
    editor.content += text;
    viewer.edited();
  }
  std::string file(const std::string& name) const { return readWholeFile(root + "/" + name).value_or("<missing>"); }
  std::string message() const { return status.message(); }
  std::string title() const { return status.title(); }
  // Ids of the Tools menu, in order.
  std::vector<int> toolsIds() const {
    std::vector<int> ids;
    for (const MenuItem& i : menus.menus()[1].items) ids.push_back(i.id);
    return ids;
  }
};

// The bytes a user never touched come back as they were, whatever their encoding.
TEST(NoteViewer, LegacyNoteKeepsItsEncodingUntilATypedCharacterNeedsUtf8) {
  NoteRig h;
  ASSERT_TRUE(h.openNew("old.txt", "caf\xE9\r\nna\xEFve\r\n"));
  EXPECT_EQ(h.editor.content, "caf\xC3\xA9\nna\xC3\xAFve\n");
  h.editor.content = "caf\xC3\xA9\nna\xC3\xAFve!\n";  // an edit in the middle
  h.viewer.edited();
  h.viewer.save();
  EXPECT_EQ(h.file("old.txt"), "caf\xE9\r\nna\xEFve!\r\n");
  EXPECT_EQ(h.message(), "Note saved");
  h.type("\xE2\x82\xAC\n");  // the euro sign is in Windows-1252
  h.viewer.save();
  EXPECT_EQ(h.file("old.txt"), "caf\xE9\r\nna\xEFve!\r\n\x80\r\n");
  h.type("\xCE\xA9");  // omega is not: the note becomes UTF-8 and says so
  h.viewer.save();
  EXPECT_EQ(h.file("old.txt"), "caf\xC3\xA9\r\nna\xC3\xAFve!\r\n\xE2\x82\xAC\r\n\xCE\xA9");
  EXPECT_EQ(h.message(), "Note saved as UTF-8: Windows-1252 cannot hold all of its characters");
  h.open("old.txt");
  EXPECT_EQ(h.editor.content, "caf\xC3\xA9\nna\xC3\xAFve!\n\xE2\x82\xAC\n\xCE\xA9");
}

TEST(NoteViewer, KeyReleasesNeverCopyTheText) {
  NoteRig h("UseStatBar=1");
  ASSERT_TRUE(h.openNew("big.txt", std::string(100000, 'x') + "\n\xC3\xA9"));
  h.editor.textCopies = 0;
  for (int i = 0; i < 5; ++i) {
    h.type("y");
    h.clock.now += 2'000'000'000;  // past the word counter's second
    h.viewer.keyReleased();
  }
  EXPECT_EQ(h.editor.textCopies, 0);
  EXPECT_EQ(h.status.charCounter(), "Ch 100007");
  EXPECT_EQ(h.status.wordCounter(), "");  // unsaved: no word count
  h.viewer.save();
  h.clock.now += 2'000'000'000;
  h.viewer.keyReleased();
  EXPECT_EQ(h.status.wordCounter(), "Wd 2");  // counted on the saved text
  EXPECT_EQ(h.editor.textCopies, 1);          // by the save alone
}

// A save over a file another program changed writes a copy beside it; the
// File List is listed again with the right item selected.
TEST(NoteViewer, ConflictCopyOnSaveAndOnLeave) {
  NoteRig h;
  ASSERT_TRUE(h.openNew("a.txt", "v1"));
  h.type(" mine");
  h.dir.write("notes/a.txt", "theirs");
  h.viewer.save();
  const std::string lead = "Note changed on disk; your text was saved as ";
  ASSERT_TRUE(h.message().starts_with(lead + "a (conflict ")) << h.message();
  const std::string copy = h.message().substr(lead.size());
  EXPECT_EQ(h.file(copy), "v1 mine");
  EXPECT_EQ(h.file("a.txt"), "theirs");
  EXPECT_EQ(h.roots.current().selectedFile, copy);  // the copy is now the open note
  EXPECT_EQ(h.title(), copy);
  EXPECT_EQ(h.relisted, std::vector<std::string>{copy});
  EXPECT_FALSE(h.viewer.modified());
  EXPECT_GE(h.watchForgets, 1);  // our own write is no change from outside

  ASSERT_TRUE(h.openNew("b.txt", "bee"));
  h.type("!");
  h.dir.write("notes/b.txt", "bee changed");
  h.relisted.clear();
  EXPECT_TRUE(h.viewer.leave());  // on the way out: the copy is only named
  EXPECT_EQ(h.roots.current().selectedFile, "b.txt");
  EXPECT_EQ(h.relisted, std::vector<std::string>{""});  // the clicked item stays selected
  EXPECT_TRUE(h.message().starts_with(lead + "b (conflict ")) << h.message();
  EXPECT_EQ(h.file("b.txt"), "bee changed");
}

TEST(NoteViewer, LeavingKeepsUnsavedTextOrStaysOpen) {
  NoteRig h;
  ASSERT_TRUE(h.openNew("a.txt", "old"));
  h.type(" typed");
  ::chmod(h.root.c_str(), 0555);  // the note can no longer be replaced
  const bool left = h.viewer.leave();
  ::chmod(h.root.c_str(), 0755);
  EXPECT_TRUE(left);
  EXPECT_FALSE(h.viewer.modified());
  const std::string lead = "Could not save the note; your text was kept in ";
  ASSERT_TRUE(h.message().starts_with(lead + h.env.home.string() + "/rescued/a (conflict ")) << h.message();
  EXPECT_EQ(readWholeFile(h.message().substr(lead.size())).value_or("<none>"), "old typed");
  EXPECT_TRUE(h.viewer.messageKept());
  EXPECT_EQ(h.file("a.txt"), "old");

  ASSERT_TRUE(h.open("a.txt"));
  h.type(" again");
  fs::remove_all(h.env.home / "rescued");
  h.dir.write("home/rescued", "a file where the folder would be");
  ::chmod(h.root.c_str(), 0555);
  const bool leftAgain = h.viewer.leave();
  ::chmod(h.root.c_str(), 0755);
  EXPECT_FALSE(leftAgain);  // neither saved nor rescued: the note must stay shown
  EXPECT_TRUE(h.viewer.modified());
  EXPECT_EQ(h.editor.content, "old again");
  EXPECT_TRUE(h.message().starts_with("Could not save the note: ")) << h.message();
  h.viewer.save();
  EXPECT_EQ(h.file("a.txt"), "old again");
}

TEST(NoteViewer, MenuItemsAndOwnCommands) {
  NoteRig h;
  ASSERT_TRUE(h.openNew("a.txt", "one two\nthree"));
  const std::vector<int> shown{cmd::kLaunchAssociated, cmd::kNoteSep1,  cmd::kWordWrap,  cmd::kFormatNewLines,
                               cmd::kNoteSep2,         cmd::kMailTo,    cmd::kMailBody,  cmd::kNoteSep3,
                               cmd::kWordCount,        cmd::kCharCount, cmd::kKeywords,  cmd::kNoteSep4,
                               cmd::kSwitchMode};
  EXPECT_EQ(h.toolsIds(), shown);  // in front of the mode switch
  EXPECT_TRUE(h.menus.find(cmd::kLaunchAssociated)->enabled);
  h.viewer.open(false);
  EXPECT_EQ(h.toolsIds(), shown);  // never twice

  EXPECT_TRUE(h.editor.wrap);  // wrapped unless the INI says otherwise
  h.type(" four");
  EXPECT_TRUE(h.viewer.command(cmd::kWordWrap));  // saves first, then reloads unwrapped
  EXPECT_EQ(h.file("a.txt"), "one two\nthree four");
  EXPECT_FALSE(h.editor.wrap);
  EXPECT_FALSE(h.menus.find(cmd::kWordWrap)->checked);
  EXPECT_FALSE(h.settings.flag(setting::WordWrap));

  EXPECT_TRUE(h.viewer.command(cmd::kWordCount));
  EXPECT_EQ(h.dialogs.shown, std::vector<std::string>{"Vellumark: Word count: 4"});
  h.editor.selStart = 4;
  h.editor.selEnd = 7;
  EXPECT_EQ(h.viewer.selection(), "two");
  EXPECT_TRUE(h.viewer.command(cmd::kMailBody));
  EXPECT_EQ(h.desktop.opened, std::vector<std::string>{"mailto:?body=two"});
  EXPECT_FALSE(h.viewer.command(cmd::kSave));  // not the note's own

  h.viewer.close();
  EXPECT_EQ(h.toolsIds(), (std::vector<int>{cmd::kLaunchAssociated, cmd::kSwitchMode}));
  EXPECT_FALSE(h.menus.find(cmd::kLaunchAssociated)->enabled);
  EXPECT_FALSE(h.viewer.loaded());
  EXPECT_FALSE(h.editor.enabled);
  EXPECT_EQ(h.editor.content, "");
  EXPECT_TRUE(h.viewer.command(cmd::kCharCount));  // nothing shown: nothing counted
  EXPECT_EQ(h.dialogs.shown.size(), 1u);
}

TEST(NoteViewer, NewNoteNamesFromTheMultibar) {
  NoteRig h;
  h.dir.write("notes/taken.txt", "x");
  h.roots.current().selectedFile = std::string(kUnsavedMarker);
  h.editor.content = "draft";
  h.viewer.edited();  // an unsaved new note takes edits before it has a file
  EXPECT_TRUE(h.viewer.modified());
  EXPECT_FALSE(h.viewer.resolveName());
  EXPECT_EQ(h.message(), "Please choose a note name");
  h.multibar.content = "taken";
  EXPECT_FALSE(h.viewer.saveFor(NoteViewer::SaveCause::User));
  EXPECT_EQ(h.message(), "File exists");
  h.multibar.content = "../escape";
  EXPECT_FALSE(h.viewer.resolveName());
  EXPECT_TRUE(h.message().starts_with("Not a usable note name: ")) << h.message();
  h.multibar.content = "fresh";
  EXPECT_TRUE(h.viewer.saveFor(NoteViewer::SaveCause::User));
  EXPECT_EQ(h.roots.current().selectedFile, "fresh.txt");
  EXPECT_EQ(h.file("fresh.txt"), "draft");
  EXPECT_EQ(h.multibar.content, "");
  EXPECT_FALSE(fs::exists(h.dir.path() / "escape.txt"));
}

}  // namespace
}  // namespace vm
