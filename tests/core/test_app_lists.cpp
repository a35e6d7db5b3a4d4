// The App's routes to search, the lists' menus, the file operations and
// Links to This Note: what a user does in the window and what ends up on
// disk, in the lists and on the status line.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace fs = std::filesystem;
using test::RootHarness;

std::string selected(RootHarness& h) {
  return h.editor.content.substr(h.editor.selectionStart(), h.editor.selectionEnd() - h.editor.selectionStart());
}

std::vector<std::string> listed(App& app) {
  std::vector<std::string> names;
  for (int i = 0; i < app.fileList().size(); ++i) names.push_back(app.fileList().at(i).name);
  return names;
}

TEST(AppSearch, FolderSearchWalksHitsThenNotesThenEnds) {
  RootHarness h;
  h.dir.write("notes/a.txt", "Milk first, then MILK again");
  h.dir.write("notes/b.txt", "no such word");
  h.dir.write("notes/c.txt", "buy milk");
  App& app = h.start();
  app.command(cmd::kCtrlE);  // View mode: "?d" switches to Edit mode first
  h.enter("?d milk");
  EXPECT_EQ(app.mode(), Mode::Edit);
  EXPECT_EQ(app.fileList().selectedName(), "a.txt");
  EXPECT_EQ(h.editor.selectionStart(), 0u);
  EXPECT_EQ(selected(h), "Milk");
  app.command(cmd::kSearchNext);
  EXPECT_EQ(selected(h), "MILK");
  app.command(cmd::kSearchNext);
  EXPECT_EQ(app.fileList().selectedName(), "c.txt");
  EXPECT_EQ(selected(h), "milk");
  app.command(cmd::kSearchNext);
  EXPECT_EQ(h.message(), "Search term not found");
  // F3 is on the keyboard.
  const auto& keys = app.accelerators();
  EXPECT_TRUE(std::any_of(keys.begin(), keys.end(), [](const Accelerator& a) { return a.keys == "F3" && a.id == cmd::kSearchNext; }));
}

TEST(AppSearch, DocumentSearchSelectsAndWrapsAfterOneNotFound) {
  RootHarness h;
  App& app = h.startWith("n.txt", "one two one");
  h.enter("? one");
  EXPECT_EQ(h.editor.selectionStart(), 0u);
  app.command(cmd::kSearchNext);
  EXPECT_EQ(h.editor.selectionStart(), 8u);
  h.multibar.content.clear();
  app.command(cmd::kSearchNext);
  EXPECT_EQ(h.message(), "Search term not found");
  app.command(cmd::kSearchNext);
  EXPECT_EQ(h.editor.selectionStart(), 0u);
  // A typed file name ends the search: F3 has nothing left to repeat.
  h.enter("n");
  app.status().show("marker");
  app.command(cmd::kSearchNext);
  EXPECT_EQ(h.message(), "marker");
}

TEST(AppLists, FileMenuFilterViewsCopyPasteRenameAndProperties) {
  RootHarness h("TnFileWithOriginal=1");
  h.dir.write("notes/a.txt", "A");
  h.dir.write("notes/a.txt.tn", "[General]\nkeywords=x\n");
  h.dir.write("notes/p.png", "png");
  h.dir.mkdir("notes/sub");
  App& app = h.start();
  h.window.choose = 0;
  app.listContextMenu(cmd::kFileList);
  ASSERT_EQ(h.window.menus.back().first, cmd::kFileList);
  EXPECT_EQ(h.window.item(cmd::kRefresh)->text, "   Refresh");
  EXPECT_FALSE(h.window.item(cmd::kPasteFile)->enabled);
  EXPECT_TRUE(h.window.item(kFilterImage));  // inside the "   Filter view" sub-menu

  auto choose = [&](int list, int id) {
    h.window.choose = id;
    app.listContextMenu(list);
    h.window.choose = 0;
  };
  choose(cmd::kFileList, kFilterImage);
  EXPECT_EQ(listed(app), (std::vector<std::string>{"p.png"}));
  app.command(cmd::kRefresh);
  EXPECT_EQ(app.fileList().size(), 2);

  // Copy a.txt, go into sub, Paste: the note and its companion arrive.
  app.fileList().setSelected(app.fileList().find("a.txt"));
  choose(cmd::kFileList, cmd::kCopyFile);
  app.folderSelected(app.folderList().find("sub"));
  choose(cmd::kFileList, cmd::kPasteFile);
  EXPECT_EQ(h.message(), "copy operation for a.txt succeeded");
  EXPECT_EQ(h.file("sub/a.txt"), "A");
  EXPECT_TRUE(pathExists(h.root + "/sub/a.txt.tn"));

  // Rename starts the label edit; Enter at its end renames file and companion.
  app.fileList().setSelected(app.fileList().find("a.txt"));
  choose(cmd::kFileList, cmd::kRenameFile);
  ASSERT_EQ(h.window.labelEdits.size(), 1u);
  EXPECT_EQ(h.window.labelEdits.back().first, cmd::kFileList);
  app.labelEdited(cmd::kFileList, "a.txt", "b.txt");
  EXPECT_EQ(h.message(), "a.txt renamed b.txt");
  EXPECT_EQ(h.file("sub/b.txt"), "A");
  EXPECT_TRUE(pathExists(h.root + "/sub/b.txt.tn"));

  app.fileList().setSelected(app.fileList().find("b.txt"));
  choose(cmd::kFileList, cmd::kFileProperties);
  choose(cmd::kFileList, cmd::kLaunchFile);
  EXPECT_EQ(h.desktop.properties, (std::vector<std::string>{h.root + "/sub/b.txt"}));
  EXPECT_EQ(h.desktop.opened, (std::vector<std::string>{h.root + "/sub/b.txt"}));
}

TEST(AppLists, FolderMenuMakesAFolderAndADragMovesAFile) {
  RootHarness h("TnFileWithOriginal=1");
  h.dir.write("notes/plan.txt", "P");
  h.dir.write("notes/plan.txt.tn", "[General]\nkeywords=x\n");
  App& app = h.start();
  h.window.choose = cmd::kNewFolder;
  app.listContextMenu(cmd::kFolderList);
  ASSERT_EQ(h.window.labelEdits.size(), 1u);
  EXPECT_EQ(h.window.labelEdits.back(), (std::pair{cmd::kFolderList, 0}));
  app.labelEdited(cmd::kFolderList, "New Folder", "Archive");
  EXPECT_EQ(h.message(), "Created Archive");
  EXPECT_TRUE(isDirectory(h.root + "/Archive"));

  app.command(cmd::kRefresh);
  app.folderLabelClicked();  // lists the root again: Archive appears
  const int archive = app.folderList().find("Archive");
  ASSERT_GE(archive, 0);
  app.fileDroppedOnFolder("plan.txt", archive);
  EXPECT_EQ(h.message(), "Moving plan.txt succeeded");
  EXPECT_EQ(h.file("Archive/plan.txt"), "P");
  EXPECT_TRUE(pathExists(h.root + "/Archive/plan.txt.tn"));
  EXPECT_FALSE(pathExists(h.root + "/plan.txt"));
}

TEST(AppLinksToNote, ListsLinkingNotesAndOpensOne) {
  RootHarness h;
  h.dir.write("notes/Target.txt", "the note");
  h.dir.write("notes/sub/refers.md", "see [Target] here");
  h.dir.write("notes/plain.txt", "no link");
  App& app = h.startWith("Target.txt", "the note");
  app.menuAboutToOpen();
  EXPECT_TRUE(h.menu(cmd::kLinksToNote)->enabled);
  EXPECT_EQ(h.menuText(cmd::kLinksToNote), " Links to This Note  ");
  app.command(cmd::kLinksToNote);
  EXPECT_EQ(listed(app), (std::vector<std::string>{"sub/refers.md"}));
  EXPECT_EQ(h.message(), "Notes linking to Target.txt: 1");
  app.fileClicked(0);
  EXPECT_EQ(h.editor.content, "see [Target] here");
  EXPECT_TRUE(h.editor.enabled);  // a linking note opens to be edited
  EXPECT_EQ(app.noteLock(), NoteLock::None);
  app.command(cmd::kRefresh);
  EXPECT_EQ(app.fileList().size(), 2);

  // The note's own menu offers it too.
  h.open("Target.txt");
  h.editor.choose = cmd::kLinksToNote;
  app.command(cmd::kNoteContextMenu);
  EXPECT_EQ(listed(app), (std::vector<std::string>{"sub/refers.md"}));
}

}  // namespace
}  // namespace vm
