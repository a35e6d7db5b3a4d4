#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "browse/browser.h"
#include "browse/file_ops.h"
#include "browse/list_menus.h"
#include "core/commands.h"
#include "core/ini_file.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "notes/companion.h"
#include "notes/folder_settings.h"

namespace vm {
namespace {

namespace sfs = std::filesystem;
using test::FeatureParts;

// One root "notes" in a temporary folder, the browser over it, the file
// operations with hooks that act as the App would (closing forgets the shown
// file, opening shows it), a trash of its own, and a dialog that answers Yes.
struct OpsRig : FeatureParts {
  test::FakeDialogs dialogs;
  test::FakeClock clock;
  int closes = 0;
  std::vector<std::string> opened;
  std::vector<std::pair<int, int>> edits;
  Browser browser{context(), BrowserHooks{}};
  FileOps ops{context(), browser,
              FileOpsHooks{[this] {
                             ++closes;
                             roots.current().selectedFile.clear();
                           },
                           [this](const std::string& name) {
                             opened.push_back(name);
                             roots.current().selectedFile = name;
                             browser.fileList().selectName(name);
                           },
                           [this](int list, int index) { edits.push_back({list, index}); },
                           {}}};
  std::optional<std::string> oldData;

  explicit OpsRig(const std::string& general = "TnFileWithOriginal=1") : FeatureParts(general) {
    if (const char* v = std::getenv("XDG_DATA_HOME")) oldData = v;
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    ports.dialogs = &dialogs;
    ports.clock = &clock;
    status.configure(true, false, false, {});
    roots.add(rootDir(), rootDir(), "notes", "", ".txt", [](const std::string&) {});
    settings.setFolderLookup([this](std::string_view key) -> std::optional<std::string> {
      const RootLocation& r = roots.current();
      return folderSetting(r.filesFolder(), r.rootFolder, key);
    });
    browser.listCurrentRoot(true);
  }
  ~OpsRig() {
    if (oldData) ::setenv("XDG_DATA_HOME", oldData->c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
  }
  std::string rootDir() const { return (dir.path() / "notes").string(); }
  std::string at(const std::string& rel) const { return rootDir() + "/" + rel; }
  void put(const std::string& rel, const std::string& text) { dir.write("notes/" + rel, text); }
  std::string get(const std::string& rel) const { return dir.read("notes/" + rel); }
  bool has(const std::string& rel) const { return sfs::exists(sfs::symlink_status(at(rel))); }
  std::string said() const { return status.message(); }
  RootLocation& loc() { return roots.current(); }

  // Shows the files of sub-folder sub of the root ("" for the root itself).
  void goTo(const std::string& sub) {
    loc().path = rootDir();
    loc().selectedFolder = sub;
    loc().currentFolder = sub.empty() ? std::string() : at(sub);
    browser.listFoldersOf(loc(), false);
    browser.listFilesOf(loc(), false);
  }
  // Goes into sub (the Folder List shows its sub-folders and "[ . . ]").
  void enter(const std::string& sub) {
    loc().path = at(sub);
    loc().selectedFolder.clear();
    loc().currentFolder.clear();
    browser.listFoldersOf(loc(), false);
    browser.listFilesOf(loc(), false);
  }
  void select(const std::string& name) { ASSERT_TRUE(browser.fileList().selectName(name)) << name; }
  int folderItem(const std::string& name) const { return const_cast<OpsRig*>(this)->browser.folderList().find(name); }
  std::vector<std::string> files() {
    std::vector<std::string> out;
    for (const ListItem& i : browser.fileList().items()) out.push_back(i.name);
    return out;
  }
  bool pasteEnabled() const { return findMenuItem(fileListMenu(ops.menuState(false)), cmd::kPasteFile)->enabled; }
};

// ---------------------------------------------------------------- Copy, Cut, Paste

TEST(FileOpsPaste, CopyThenPasteInTheSameFolderSaysFileExistsAndForgetsIt) {
  OpsRig h;
  h.put("a.txt", "alpha");
  h.goTo("");
  EXPECT_FALSE(h.pasteEnabled());
  h.select("a.txt");
  EXPECT_TRUE(h.ops.command(cmd::kCopyFile));
  EXPECT_TRUE(h.pasteEnabled());
  EXPECT_TRUE(h.ops.command(cmd::kPasteFile));
  EXPECT_EQ(h.said(), "File exists");
  EXPECT_FALSE(h.ops.command(cmd::kRefresh));
  EXPECT_FALSE(h.pasteEnabled());
  EXPECT_EQ(h.get("a.txt"), "alpha");
  h.status.show("");
  h.ops.paste();  // nothing pending: nothing happens
  EXPECT_EQ(h.said(), "");
}

TEST(FileOpsPaste, CutPlanMovesItsCompanionAndItsPicturesIntoAnExistingImgsFolder) {
  OpsRig h;
  h.put("one/plan.txt", "see ![ x ](imgs/x.png) and ![y](imgs/sub/y.png  ) and ![z](imgs/z.png)\n");
  h.put("one/plan.txt.tn", "[General]\nkeywords=work\n");
  h.put("one/imgs/x.png", "X");
  h.put("one/imgs/sub/y.png", "Y");
  h.put("two/imgs/keep.png", "K");
  h.goTo("one");
  h.select("plan.txt");
  h.ops.cut();
  EXPECT_TRUE(h.browser.fileList().at(h.browser.fileList().find("plan.txt")).cut);
  h.goTo("two");
  h.put("two/older.txt", "o");
  h.goTo("two");
  h.ops.paste();
  EXPECT_EQ(h.said(), "move operation for plan.txt succeeded");
  EXPECT_FALSE(h.has("one/plan.txt"));
  EXPECT_FALSE(h.has("one/plan.txt.tn"));
  EXPECT_EQ(h.get("two/plan.txt.tn"), "[General]\nkeywords=work\n");
  EXPECT_EQ(h.get("two/imgs/x.png"), "X");
  EXPECT_FALSE(h.has("one/imgs/x.png"));
  // No folder is made for a picture: y stays where its note's old link points.
  EXPECT_EQ(h.get("one/imgs/sub/y.png"), "Y");
  EXPECT_FALSE(h.has("two/imgs/sub"));
  EXPECT_EQ(h.files().front(), "plan.txt");  // added at the top
  EXPECT_FALSE(h.pasteEnabled());
}

TEST(FileOpsPaste, CopyKeepsTheSourceAndFollowsTheDestinationsPictureSetting) {
  OpsRig h;
  h.put("one/n.md", "![p](imgs/p.png)");
  h.put("one/imgs/p.png", "P");
  h.put("two/imgs/.keep", "");
  h.put("three/imgs/.keep", "");
  h.put("three/vellumark.tn", "[General]\nImageLinksWithFiles=0\n");
  h.goTo("one");
  h.select("n.md");
  h.ops.copy();
  h.goTo("two");
  h.ops.paste();
  EXPECT_EQ(h.said(), "copy operation for n.md succeeded");
  EXPECT_EQ(h.get("one/n.md"), "![p](imgs/p.png)");
  EXPECT_EQ(h.get("one/imgs/p.png"), "P");
  EXPECT_EQ(h.get("two/n.md"), "![p](imgs/p.png)");
  EXPECT_EQ(h.get("two/imgs/p.png"), "P");

  h.goTo("one");
  h.select("n.md");
  h.ops.copy();
  h.goTo("three");
  h.ops.paste();
  EXPECT_EQ(h.said(), "copy operation for n.md succeeded");
  EXPECT_FALSE(h.has("three/imgs/p.png"));
}

TEST(FileOpsPaste, PicturesAreNotReadForLinks) {
  OpsRig h;
  h.put("one/a.png", "![q](imgs/q.png)");
  h.put("one/imgs/q.png", "Q");
  h.put("two/imgs/.keep", "");
  h.goTo("one");
  h.select("a.png");
  h.ops.cut();
  h.goTo("two");
  h.ops.paste();
  EXPECT_EQ(h.said(), "move operation for a.png succeeded");
  EXPECT_EQ(h.get("one/imgs/q.png"), "Q");
  EXPECT_FALSE(mayHoldImageLinks("X.JPG"));
  EXPECT_TRUE(mayHoldImageLinks("x.jpeg.txt"));
}

TEST(FileOpsPaste, AFailedTransferSaysWhyKeepsTheSourceAndItsPictures) {
  OpsRig h;
  h.put("one/a.txt", "![i](imgs/i.png)");
  h.put("one/a.txt.tn", "[General]\nkeywords=k\n");
  h.put("one/imgs/i.png", "I");
  h.put("two/imgs/.keep", "");
  h.goTo("one");
  h.select("a.txt");
  h.ops.cut();
  h.goTo("two");
  sfs::remove_all(h.at("two"));  // the folder vanished under the list
  h.ops.paste();
  EXPECT_EQ(h.said(), "move operation failed: No such file or directory");
  EXPECT_EQ(h.get("one/a.txt"), "![i](imgs/i.png)");
  EXPECT_EQ(h.get("one/a.txt.tn"), "[General]\nkeywords=k\n");
  EXPECT_EQ(h.get("one/imgs/i.png"), "I");
  EXPECT_FALSE(h.ops.transferPending());

  h.goTo("one");
  h.select("a.txt");
  h.ops.copy();
  sfs::remove(h.at("one/a.txt"));
  h.put("three/x", "");
  h.goTo("three");
  h.ops.paste();
  EXPECT_EQ(h.said(), "copy operation failed: No such file or directory");
  EXPECT_FALSE(h.has("three/a.txt"));
}

TEST(FileOpsPaste, NothingHappensWithoutASelectionOrARootInUse) {
  OpsRig h;
  h.put("a.txt", "a");
  h.goTo("");
  h.browser.fileList().setSelected(-1);
  h.ops.copy();
  EXPECT_FALSE(h.ops.transferPending());
  h.select("a.txt");
  h.ops.copy();
  h.loc().inUse = false;
  h.put("b/x", "");
  h.ops.paste();
  EXPECT_TRUE(h.ops.transferPending());
  EXPECT_FALSE(h.has("b/a.txt"));
}

// ---------------------------------------------------------------- disk level

TEST(FileOpsDisk, CopiesNeverOverwriteAndKeepModeAndTime) {
  OpsRig h;
  h.put("a.txt", std::string(200000, 'a'));
  h.put("b.txt", "b");
  ::chmod(h.at("a.txt").c_str(), 0640);
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  ::utimensat(AT_FDCWD, h.at("a.txt").c_str(), times, 0);
  DiskResult r = copyFileNoReplace(h.at("a.txt"), h.at("b.txt"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "File exists");
  EXPECT_EQ(h.get("b.txt"), "b");
  ASSERT_TRUE(copyFileNoReplace(h.at("a.txt"), h.at("c.txt")).ok);
  EXPECT_EQ(h.get("c.txt"), std::string(200000, 'a'));
  struct stat st;
  ASSERT_EQ(::stat(h.at("c.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
  EXPECT_FALSE(copyFileNoReplace(h.at("sub"), h.at("d")).ok);  // missing source
  h.put("dir/x", "");
  EXPECT_FALSE(copyFileNoReplace(h.at("dir"), h.at("d")).ok);  // a folder is not copied
  // No temporary is left behind by any of these.
  for (const auto& e : sfs::directory_iterator(h.rootDir()))
    EXPECT_NE(e.path().filename().string().rfind(".vm-", 0), 0u) << e.path();

  EXPECT_FALSE(moveNoReplace(h.at("a.txt"), h.at("b.txt")).ok);
  EXPECT_TRUE(h.has("a.txt"));
  EXPECT_EQ(h.get("b.txt"), "b");
}

TEST(FileOpsDisk, MovesAcrossFileSystemsCopyThenRemove) {
  struct stat shm, here;
  OpsRig h;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(h.dir.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev ||
      ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable file system";
  char tmpl[] = "/dev/shm/vmmove-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string far = std::string(tmpl) + "/n.txt";
  h.put("n.txt", "note");
  DiskResult r = moveNoReplace(h.at("n.txt"), far);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(h.has("n.txt"));
  EXPECT_EQ(readWholeFile(far).value_or(""), "note");
  std::error_code ec;
  sfs::remove_all(tmpl, ec);
}

TEST(FileOpsDisk, CompanionsReplaceOnlyBareOnesAndFollowTheirFile) {
  OpsRig h;
  h.put("a.tn", "[General]\nFileName=/old/a\nkeywords=k\n");
  h.put("bare.tn", "[General]\nFileName=/x/b\n");
  h.put("rich.tn", "[General]\nkeywords=mine\n");
  EXPECT_TRUE(companionIsBare(h.at("bare.tn")));
  EXPECT_FALSE(companionIsBare(h.at("rich.tn")));
  EXPECT_FALSE(companionIsBare(h.at("none.tn")));
  EXPECT_FALSE(transferCompanion(h.at("a.tn"), h.at("rich.tn"), false, "/new/a"));
  EXPECT_EQ(h.get("rich.tn"), "[General]\nkeywords=mine\n");
  EXPECT_TRUE(transferCompanion(h.at("a.tn"), h.at("bare.tn"), true, "/new/a"));
  EXPECT_FALSE(h.has("a.tn"));
  EXPECT_EQ(ini::readKey(h.at("bare.tn"), "General", "keywords", ""), "k");
  EXPECT_EQ(ini::readKey(h.at("bare.tn"), "General", "FileName", ""), "/new/a");
  EXPECT_FALSE(transferCompanion(h.at("gone.tn"), h.at("z.tn"), true, "/z"));
  EXPECT_FALSE(h.has("z.tn"));
}

TEST(FileOpsDisk, CentralCompanionsTravelWithTheirFile) {
  OpsRig h("TnFileWithOriginal=0");
  const std::string infoDir = fileInfoFolder(h.env.home.string(), "");
  ASSERT_TRUE(ensureFileInfoFolder(infoDir));
  h.put("one/k.txt", "k");
  const std::string oldCompanion = companionName(h.at("one/k.txt"), false, infoDir);
  ini::writeKey(oldCompanion, "General", "keywords", "red,blue");
  h.goTo("one");
  h.select("k.txt");
  h.ops.cut();
  h.put("two/x", "");
  h.goTo("two");
  h.ops.paste();
  EXPECT_EQ(h.said(), "move operation for k.txt succeeded");
  // Named after the full path, "/" turned into "_".
  std::string flat = h.at("two/k.txt").substr(1);
  std::replace(flat.begin(), flat.end(), '/', '_');
  const std::string newCompanion = infoDir + "/" + flat + ".tn";
  EXPECT_EQ(ini::readKey(newCompanion, "General", "keywords", ""), "red,blue");
  EXPECT_EQ(ini::readKey(newCompanion, "General", "FileName", ""), h.at("two/k.txt"));
  EXPECT_FALSE(sfs::exists(oldCompanion));
}

// ---------------------------------------------------------------- picture links

TEST(FileOpsLinks, PictureLinksAreCollectedOnceEachAndOnlyInsideTheNotesFolder) {
  EXPECT_EQ(linkedImages("a ![x](imgs/a.png   ) b ![](imgs/b c.png)\n![x](imgs/a.png)"),
            (std::vector<std::string>{"imgs/a.png", "imgs/b c.png"}));
  // "](" is looked for after "![", wherever it is.
  EXPECT_EQ(linkedImages("[not](imgs/n.png) ![pic] (x) ![ok](sub/dir/p.jpg)"),
            (std::vector<std::string>{"sub/dir/p.jpg"}));
  EXPECT_TRUE(linkedImages("![a](/etc/passwd) ![b](../x.png) ![c](imgs/../../y.png) ![d](http://h/p.png) ![e]()")
                  .empty());
  EXPECT_TRUE(linkedImages("![never closed](imgs/a.png").empty());
  EXPECT_TRUE(linkedImages("![no target").empty());
  EXPECT_TRUE(linkedImages("[[wiki.png]] {{img.png}}").empty());
  std::string many;
  for (int i = 0; i < 300; ++i) many += "![](imgs/" + std::to_string(i) + ".png)\n";
  auto links = linkedImages(many);
  ASSERT_EQ(links.size(), kMaxLinkedImages);
  EXPECT_EQ(links.back(), "imgs/259.png");
}

// ---------------------------------------------------------------- dragging

TEST(FileOpsDrag, DroppingOnAFolderMovesTheFileAndItsCompanion) {
  OpsRig h;
  h.put("a.txt", "a");
  h.put("a.txt.tn", "[General]\nkeywords=k\n");
  h.put("b.txt", "b");
  h.put("Archive/old.txt", "o");
  h.goTo("");
  h.loc().selectedFile = "b.txt";
  h.ops.dropOnFolderList("a.txt", h.folderItem("Archive"));
  EXPECT_EQ(h.closes, 1);
  EXPECT_EQ(h.said(), "Moving a.txt succeeded");
  EXPECT_EQ(h.get("Archive/a.txt"), "a");
  EXPECT_EQ(h.get("Archive/a.txt.tn"), "[General]\nkeywords=k\n");
  EXPECT_FALSE(h.has("a.txt"));
  EXPECT_EQ(h.files(), (std::vector<std::string>{"b.txt"}));

  h.put("b.txt.tn", "[General]\nkeywords=b\n");
  h.put("Archive/b.txt", "taken");
  h.ops.dropOnFolderList("b.txt", h.folderItem("Archive"));
  EXPECT_EQ(h.said(), "File exists");
  EXPECT_EQ(h.get("b.txt"), "b");
  EXPECT_EQ(h.get("b.txt.tn"), "[General]\nkeywords=b\n");
  EXPECT_EQ(h.get("Archive/b.txt"), "taken");

  h.status.show("");
  h.ops.dropOnFolderList("b.txt", -1);  // empty space: the document closes, nothing moves
  EXPECT_EQ(h.closes, 3);
  EXPECT_EQ(h.said(), "");
  EXPECT_TRUE(h.has("b.txt"));
}

TEST(FileOpsDrag, DroppingOnTheUpEntryMovesToTheParentOfTheCurrentFolder) {
  OpsRig h;
  h.put("top/c.txt", "c");
  h.enter("top");
  ASSERT_EQ(h.folderItem("[ . . ]"), 0);
  h.ops.dropOnFolderList("c.txt", 0);
  EXPECT_EQ(h.said(), "Moving c.txt succeeded");
  EXPECT_EQ(h.get("c.txt"), "c");
  EXPECT_FALSE(h.has("top/c.txt"));

  h.put("top/d.txt", "d");
  h.enter("top");
  h.ops.dropOnFolderList("gone.txt", 0);
  EXPECT_EQ(h.said(), "Moving of gone.txt failed: No such file or directory");
}

// ---------------------------------------------------------------- renaming files

TEST(FileOpsRename, RenamingTheShownNoteClosesRenamesAndShowsItAgain) {
  OpsRig h;
  h.put("old.txt", "text");
  h.put("old.txt.tn", "[General]\nkeywords=k\n");
  h.put("other.txt", "o");
  h.goTo("");
  h.loc().selectedFile = "old.txt";
  h.select("old.txt");
  h.ops.startRename();
  ASSERT_EQ(h.edits.size(), 1u);
  EXPECT_EQ(h.edits[0], std::make_pair(cmd::kFileList, h.browser.fileList().find("old.txt")));
  h.ops.fileLabelEdited("old.txt", "new.txt");
  EXPECT_EQ(h.closes, 1);
  EXPECT_EQ(h.said(), "old.txt renamed new.txt");
  EXPECT_EQ(h.get("new.txt"), "text");
  EXPECT_EQ(h.get("new.txt.tn"), "[General]\nkeywords=k\n");
  EXPECT_FALSE(h.has("old.txt"));
  EXPECT_FALSE(h.has("old.txt.tn"));
  EXPECT_EQ(h.opened, (std::vector<std::string>{"new.txt"}));
  EXPECT_EQ(h.browser.fileList().selectedName(), "new.txt");
  EXPECT_EQ(h.browser.fileList().find("old.txt"), -1);
}

TEST(FileOpsRename, RenamingAnotherFileKeepsTheShownOneSelected) {
  OpsRig h;
  h.put("a.txt", "a");
  h.put("b.txt", "b");
  h.goTo("");
  h.loc().selectedFile = "a.txt";
  h.select("b.txt");
  h.ops.fileLabelEdited("b.txt", "c.txt");
  EXPECT_EQ(h.closes, 0);
  EXPECT_EQ(h.said(), "b.txt renamed c.txt");
  EXPECT_EQ(h.browser.fileList().selectedName(), "a.txt");
  EXPECT_GE(h.browser.fileList().find("c.txt"), 0);
  EXPECT_TRUE(h.opened.empty());
}

TEST(FileOpsRename, BadNewNamesChangeNothing) {
  OpsRig h;
  h.put("a.txt", "a");
  h.put("b.txt", "b");
  h.put("sub/x", "");
  h.goTo("");
  h.select("a.txt");
  for (const char* typed : {"", "null"}) {
    h.ops.fileLabelEdited("a.txt", typed);
    EXPECT_EQ(h.said(), "Error getting new name");
  }
  for (const char* typed : {"b.txt", "sub/a.txt", "..", "a.txt"}) {
    h.select("a.txt");
    h.ops.fileLabelEdited("a.txt", typed);
    EXPECT_EQ(h.said(), "Error renaming a.txt") << typed;
    EXPECT_EQ(h.get("a.txt"), "a");
    EXPECT_GE(h.browser.fileList().find("a.txt"), 0);
  }
  EXPECT_EQ(h.get("b.txt"), "b");
  EXPECT_FALSE(h.has("sub/a.txt"));
}

TEST(FileOpsRename, AFailedRenameOfTheShownNoteShowsItAgainUnderItsOldName) {
  OpsRig h;
  h.put("a.txt", "a");
  h.put("b.txt", "b");
  h.goTo("");
  h.loc().selectedFile = "a.txt";
  h.select("a.txt");
  h.ops.fileLabelEdited("a.txt", "b.txt");
  EXPECT_EQ(h.said(), "Error renaming a.txt");
  EXPECT_EQ(h.opened, (std::vector<std::string>{"a.txt"}));
}

// ---------------------------------------------------------------- deleting

TEST(FileOpsDelete, DeletingAsksOnceAndNoChangesNothingButTheShownFileIsClosed) {
  OpsRig h;
  h.put("a.txt", "a");
  h.put("a.txt.tn", "[General]\nkeywords=k\n");
  h.goTo("");
  h.loc().selectedFile = "a.txt";
  h.select("a.txt");
  h.dialogs.answer = false;
  h.ops.deleteSelected();
  EXPECT_EQ(h.dialogs.shown, (std::vector<std::string>{"Delete: " + h.at("a.txt")}));
  EXPECT_EQ(h.closes, 1);
  EXPECT_EQ(h.get("a.txt"), "a");

  h.dialogs.answer = true;
  h.ops.deleteSelected();
  EXPECT_EQ(h.said(), "Moved a.txt to the trash");
  EXPECT_FALSE(h.has("a.txt"));
  EXPECT_FALSE(h.has("a.txt.tn"));
  EXPECT_EQ(h.dir.read("data/Trash/files/a.txt"), "a");
  EXPECT_EQ(h.dir.read("data/Trash/files/a.txt.tn"), "[General]\nkeywords=k\n");
  EXPECT_EQ(h.browser.fileList().find("a.txt"), -1);
}

TEST(FileOpsDelete, NothingSelectedAsksNothing) {
  OpsRig h;
  h.put("a.txt", "a");
  h.goTo("");
  h.ops.deleteSelected();
  EXPECT_TRUE(h.dialogs.shown.empty());
  EXPECT_TRUE(h.has("a.txt"));
}

// ---------------------------------------------------------------- folders

TEST(FileOpsFolders, NewThenArchiveCreatesArchive) {
  OpsRig h;
  h.put("x.txt", "");
  h.goTo("");
  h.ops.newFolder();
  EXPECT_EQ(h.browser.folderList().at(0).name, "New Folder");
  EXPECT_EQ(h.browser.folderList().selected(), 0);
  EXPECT_EQ(h.edits.back(), std::make_pair(cmd::kFolderList, 0));
  h.ops.folderLabelEdited("New Folder", "Archive");
  EXPECT_EQ(h.said(), "Created Archive");
  EXPECT_TRUE(sfs::is_directory(h.at("Archive")));
  EXPECT_EQ(h.browser.folderList().at(0).name, "Archive");

  h.ops.newFolder();
  h.ops.folderLabelEdited("New Folder", "Archive");
  EXPECT_EQ(h.said(), "Directory Archive already exists");
  EXPECT_EQ(h.browser.folderList().at(0).name, "New Folder");

  h.ops.folderLabelEdited("New Folder", "deep/er");
  EXPECT_EQ(h.said(), "Created deep/er");
  EXPECT_TRUE(sfs::is_directory(h.at("deep/er")));
}

TEST(FileOpsFolders, AnExistingNewFolderIsRenamedNotCreated) {
  OpsRig h;
  h.put("New Folder/inside.txt", "i");
  h.goTo("");
  h.ops.newFolder();
  h.ops.folderLabelEdited("New Folder", "Archive");
  EXPECT_EQ(h.said(), "Directory renamed to Archive");
  EXPECT_EQ(h.get("Archive/inside.txt"), "i");
  EXPECT_FALSE(h.has("New Folder"));
}

TEST(FileOpsFolders, RenamingInPlaceAndTheRulesThatStopIt) {
  OpsRig h;
  h.put("Top/Work/w.txt", "w");
  h.put("Top/Other/o.txt", "o");
  h.enter("Top");
  h.loc().selectedFolder = "Work";
  h.loc().currentFolder = h.at("Top/Work");
  h.loc().selectedFile = "w.txt";
  ASSERT_TRUE(h.browser.folderList().selectName("Work"));
  h.ops.folderLabelEdited("Work", "Done");
  EXPECT_EQ(h.said(), "Directory renamed to Done");
  EXPECT_EQ(h.get("Top/Done/w.txt"), "w");
  EXPECT_EQ(h.loc().currentFolder, h.at("Top/Done"));  // the listed folder follows its name
  EXPECT_EQ(h.closes, 1);

  h.status.show("");
  h.ops.folderLabelEdited("Other", "null");  // Escape
  h.ops.folderLabelEdited("Other", "");
  EXPECT_EQ(h.said(), "");
  EXPECT_TRUE(h.has("Top/Other/o.txt"));

  ASSERT_TRUE(h.browser.folderList().selectName("[ . . ]"));
  h.ops.folderLabelEdited("[ . . ]", "Up");
  EXPECT_EQ(h.browser.folderList().at(0).name, "[ . . ]");
  EXPECT_FALSE(h.has("Top/Up"));

  ASSERT_TRUE(h.browser.folderList().selectName("Other"));
  h.ops.folderLabelEdited("Other", "Done/Other");
  EXPECT_EQ(h.said(), "Directory not renamed");
  EXPECT_TRUE(h.has("Top/Other/o.txt"));

  h.status.show("");
  h.ops.folderLabelEdited("Missing", "Found");
  EXPECT_EQ(h.said(), "");
  EXPECT_FALSE(h.has("Top/Found"));
}

TEST(FileOpsFolders, PropertiesPathsOfTheSelectedItems) {
  OpsRig h;
  h.put("Top/Sub/s.txt", "s");
  h.enter("Top");
  EXPECT_EQ(h.ops.selectedFolderPath(), "");
  ASSERT_TRUE(h.browser.folderList().selectName("[ . . ]"));
  EXPECT_EQ(h.ops.selectedFolderPath(), "");
  ASSERT_TRUE(h.browser.folderList().selectName("Sub"));
  EXPECT_EQ(h.ops.selectedFolderPath(), h.at("Top/Sub"));
  h.goTo("Top/Sub");
  EXPECT_EQ(h.ops.selectedFilePath(), "");
  h.select("s.txt");
  EXPECT_EQ(h.ops.selectedFilePath(), h.at("Top/Sub/s.txt"));
  EXPECT_EQ(h.ops.folderToOpen(), h.at("Top/Sub"));
  h.loc().inUse = false;
  EXPECT_EQ(h.ops.folderToOpen(), "");
  EXPECT_EQ(h.ops.selectedFilePath(), "");
}

TEST(FileOpsMenu, SendToFollowsTheProgramSettings) {
  OpsRig h("TnFileWithOriginal=1\nExternalProgramExe=/usr/bin/ed\nExternalProgramAlias=Editor");
  auto menu = fileListMenu(h.ops.menuState(true));
  EXPECT_EQ(findMenuItem(menu, cmd::kSendToProgram)->text, "   Send to Editor");
  EXPECT_TRUE(findMenuItem(menu, cmd::kPasteImageFile)->enabled);
}

// ---------------------------------------------------------------- against a model

// A random run of Copy, Cut, Paste, drags, renames and deletes over three
// folders, checked after every step against a plain map of what each folder
// should hold (notes and their companions). Nothing may be lost or appear.
TEST(FileOpsModel, RandomOperationsMatchAPlainModelOfTheFolders) {
  OpsRig h;
  using Folder = std::map<std::string, std::string>;
  std::map<std::string, Folder> model;  // "" is the root
  const std::vector<std::string> folders = {"", "A", "B"};
  const std::vector<std::string> names = {"a.txt", "b.txt", "c.md", "d.csv", "e.txt", "f.md", "g", "h.log"};
  for (const char* f : {"A", "B"}) h.put(std::string(f) + "/.keep", "");
  int serial = 0;
  auto rel = [](const std::string& f, const std::string& n) { return f.empty() ? n : f + "/" + n; };
  for (const std::string& f : folders) {
    model[f];
    for (const std::string n : {"a.txt", "c.md"}) {
      std::string text = "note " + std::to_string(++serial);
      h.put(rel(f, n), text);
      model[f][n] = text;
      if (serial % 2) {
        h.put(rel(f, n) + ".tn", "[General]\nkeywords=" + text + "\n");
        model[f][n + ".tn"] = "[General]\nkeywords=" + text + "\n";
      }
    }
  }
  struct Pending {
    bool move = false;
    std::string folder, name;
  };
  std::optional<Pending> pending;
  std::string here;
  h.goTo(here);
  std::map<std::string, int> outcomes;  // by the first word of the message
  std::mt19937 rng(20261206);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  auto notesIn = [&](const std::string& f) {
    std::vector<std::string> out;
    for (const auto& [n, text] : model[f])
      if (!n.ends_with(".tn")) out.push_back(n);
    return out;
  };
  // Moves or copies a note and its companion inside the model.
  auto transfer = [&](const std::string& fromF, const std::string& fromN, const std::string& toF,
                      const std::string& toN, bool move) {
    for (const std::string& suffix : {std::string(), std::string(".tn")}) {
      auto it = model[fromF].find(fromN + suffix);
      if (it == model[fromF].end()) continue;
      model[toF][toN + suffix] = it->second;
      if (move) model[fromF].erase(fromN + suffix);
    }
  };

  for (int step = 0; step < 600; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    h.status.show("");
    std::string expect;
    // 0 go elsewhere, 1 copy, 2 cut, 3 paste, 4 rename, 5 drag, 6 delete, 7 a new note appears.
    const int roll = static_cast<int>(pick(100));
    const int what = roll < 20 ? 0 : roll < 32 ? 1 : roll < 42 ? 2 : roll < 60 ? 3 : roll < 70 ? 4 : roll < 82 ? 5
                   : roll < 88 ? 6 : 7;
    std::vector<std::string> notes = notesIn(here);
    if (what == 0 || what == 7) {
      if (what == 0) here = folders[pick(3)];
      const std::string fresh = names[pick(names.size())];
      if (what == 7 && !model[here].count(fresh)) {
        const std::string text = "note " + std::to_string(++serial);
        h.put(rel(here, fresh), text);
        model[here][fresh] = text;
      }
      h.goTo(here);
      continue;
    }
    if (notes.empty() && what != 3) continue;
    const std::string name = notes.empty() ? std::string() : notes[pick(notes.size())];
    if (!name.empty()) h.select(name);
    if (what == 1 || what == 2) {
      (what == 1 ? h.ops.copy() : h.ops.cut());
      pending = Pending{what == 2, here, name};
    } else if (what == 3) {
      h.ops.paste();
      if (pending) {
        const Pending p = *pending;
        pending.reset();
        const char* op = p.move ? "move" : "copy";
        if (model[here].count(p.name)) {
          expect = "File exists";
        } else if (!model[p.folder].count(p.name)) {
          expect = std::string(op) + " operation failed: No such file or directory";
        } else {
          transfer(p.folder, p.name, here, p.name, p.move);
          expect = std::string(op) + " operation for " + p.name + " succeeded";
        }
      }
    } else if (what == 4) {
      const std::string typed = names[pick(names.size())];
      h.ops.fileLabelEdited(name, typed);
      if (model[here].count(typed)) {
        expect = "Error renaming " + name;
      } else {
        transfer(here, name, here, typed, true);
        expect = name + " renamed " + typed;
      }
    } else if (what == 5) {
      const int index = static_cast<int>(pick(static_cast<std::size_t>(h.browser.folderList().size())));
      const std::string item = h.browser.folderList().at(index).name;
      // The Folder List shows the root's sub-folders A and B wherever the files come from.
      const std::string target = item;
      h.ops.dropOnFolderList(name, index);
      if (model[target].count(name)) {
        expect = "File exists";
      } else {
        transfer(here, name, target, name, true);
        expect = "Moving " + name + " succeeded";
      }
    } else {
      h.ops.deleteSelected();
      model[here].erase(name);
      model[here].erase(name + ".tn");
      expect = "Moved " + name + " to the trash";
    }
    EXPECT_EQ(h.said(), expect);
    ++outcomes[expect.substr(0, expect.find(' '))];
    // The disk holds exactly the model.
    for (const std::string& f : folders) {
      Folder disk;
      for (const auto& e : sfs::directory_iterator(h.at(f))) {
        const std::string n = e.path().filename().string();
        if (e.is_regular_file() && n != ".keep") disk[n] = h.get(rel(f, n));
      }
      ASSERT_EQ(disk, model[f]) << "folder '" << f << "'";
    }
    // The File List shows the current folder's notes.
    std::vector<std::string> listed = h.files();
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = notesIn(here);
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(listed, expected);
  }
  // The run went through every kind of outcome, more than once.
  for (const char* first : {"copy", "move", "File", "Moving", "Moved", "Error"}) EXPECT_GE(outcomes[first], 3) << first;
  EXPECT_GE(outcomes[""], 1);
}

}  // namespace
}  // namespace vm
