#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "fakes/temp_dir.h"
#include "notes/note_file.h"

namespace {

using namespace vm;
using vm::test::TempDir;
using Kind = SaveResult::Kind;

const LocalTime kNow{2024, 3, 5, 9, 7, 2, 0, 2};

mode_t modeOf(const std::filesystem::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(NoteFileLoad, BomLineEndsNulAndMissing) {
  TempDir dir;
  const std::string raw = "\xEF\xBB\xBFone\r\ntwo\rthree\n\r\n";
  auto p = dir.write("a.txt", raw);

  auto both = loadNoteFile(p, true, true);
  ASSERT_TRUE(both);
  EXPECT_EQ(both->text, "one\ntwo\nthree\n\n");
  EXPECT_EQ(both->stamp(), stampOf(raw));  // the stamp describes the file, not the text
  EXPECT_FALSE(both->truncatedAtNul);
  EXPECT_EQ(loadNoteFile(p, false, true)->text, "\xEF\xBB\xBFone\ntwo\nthree\n\n");
  EXPECT_EQ(loadNoteFile(p, true, false)->text, "one\r\ntwo\rthree\n\r\n");
  EXPECT_EQ(noteTextForEditor("x\rz\r", true, true), "x\nz\n");

  const std::string bin("ab\r\ncd\0ef\r\n", 11);
  auto b = loadNoteFile(dir.write("bin.dat", bin), true, true);
  ASSERT_TRUE(b && b->truncatedAtNul);
  EXPECT_EQ(b->text, "ab\ncd");
  EXPECT_EQ(b->size, 11u);

  std::string err;
  LoadError why = LoadError::None;
  EXPECT_FALSE(loadNoteFile(dir.path() / "gone.txt", true, true, &err, &why));
  EXPECT_EQ(why, LoadError::Missing);
  EXPECT_EQ(err, "File does not exist: " + (dir.path() / "gone.txt").string());
  EXPECT_FALSE(loadNoteFile(dir.path(), true, true, &err, &why));
  EXPECT_EQ(why, LoadError::Unreadable);
}

TEST(NoteFileHash, SeparatesNearbyContents) {
  const std::string a(1000, 'x');
  for (std::size_t n : {0, 3, 7, 31, 32, 63, 517, 999})  // every tail path and the stripes
    EXPECT_NE(contentHash(a.substr(0, n) + "a"), contentHash(a.substr(0, n) + "b")) << n;
  EXPECT_NE(contentHash(a.substr(0, 999)), contentHash(a));
}

TEST(NoteFileSave, WritesAtomicallyKeepingPermissions) {
  TempDir dir;
  auto p = dir.write("n.txt", "old\r\n");
  ::chmod(p.c_str(), 0640);
  auto loaded = loadNoteFile(p, true, true);
  auto r = saveNoteFile(p, "new\ntext\n", loaded->stamp(), kNow);
  EXPECT_EQ(r.kind, Kind::Saved);
  EXPECT_EQ(dir.read("n.txt"), "new\ntext\n");
  EXPECT_EQ(modeOf(p), 0640u);
  EXPECT_EQ(r.stamp, stampOf("new\ntext\n"));
  // The returned stamp is good for the next save.
  EXPECT_EQ(saveNoteFile(p, "third", r.stamp, kNow).kind, Kind::Saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temp files left

  EXPECT_EQ(saveNoteFile(p, "", r.stamp, kNow).kind, Kind::Empty);  // an empty note is never written
  EXPECT_EQ(dir.read("n.txt"), "third");

  std::filesystem::remove(p);  // a vanished note is written again, not a conflict
  EXPECT_EQ(saveNoteFile(p, "back", r.stamp, kNow).kind, Kind::Saved);
  EXPECT_EQ(dir.read("n.txt"), "back");
}

TEST(NoteFileSave, SecondWriterProducesConflictCopy) {
  TempDir dir;
  auto p = dir.write("plan.md", "mine");
  auto stamp = loadNoteFile(p, true, true)->stamp();
  dir.write("plan.md", "them");  // same size, other content

  auto r = saveNoteFile(p, "my edit", stamp, kNow);
  EXPECT_EQ(r.kind, Kind::Conflict);
  EXPECT_EQ(dir.read("plan.md"), "them");
  EXPECT_EQ(r.path, (dir.path() / "plan (conflict 2024-03-05 090702).md").string());
  EXPECT_EQ(dir.read("plan (conflict 2024-03-05 090702).md"), "my edit");

  auto again = saveNoteFile(p, "my edit 2", stamp, kNow);
  EXPECT_EQ(again.kind, Kind::Conflict);
  EXPECT_EQ(again.path, (dir.path() / "plan (conflict 2024-03-05 090702) 2.md").string());
  EXPECT_EQ(dir.read("plan.md"), "them");
  EXPECT_EQ(dir.read("plan (conflict 2024-03-05 090702).md"), "my edit");

  EXPECT_EQ(conflictName(".bashrc", kNow), ".bashrc (conflict 2024-03-05 090702)");
  EXPECT_EQ(conflictName(std::string(300, 'a') + ".txt", kNow).size(), 255u);
}

TEST(NoteFileSave, ReadOnlyFileAndFolderFailWithoutChange) {
  TempDir dir;
  auto p = dir.write("ro.txt", "keep");
  auto stamp = stampOf("keep");
  ::chmod(p.c_str(), 0444);
  const SaveResult r = saveNoteFile(p, "lost?", stamp, kNow);
  EXPECT_TRUE(r.kind == Kind::Failed && !r.error.empty());
  EXPECT_EQ(dir.read("ro.txt"), "keep");
  ::chmod(p.c_str(), 0644);
  EXPECT_EQ(saveNoteFile(p, "now saved", stamp, kNow).kind, Kind::Saved);
  EXPECT_EQ(dir.read("ro.txt"), "now saved");

  auto sub = dir.mkdir("locked");
  auto q = dir.write("locked/n.txt", "old");
  ::chmod(sub.c_str(), 0555);
  EXPECT_EQ(saveNoteFile(q, "new", stampOf("old"), kNow).kind, Kind::Failed);
  EXPECT_EQ(saveNoteFile(q, "new", stampOf("other"), kNow).kind, Kind::Failed);  // nor a conflict copy
  ::chmod(sub.c_str(), 0755);
  EXPECT_EQ(dir.read("locked/n.txt"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sub), {}), 1);
}

TEST(NoteFileNames, NewNamesAndTypedNames) {
  TempDir dir;
  EXPECT_EQ(newNoteName(dir.path(), ".txt"), "New Note.txt");
  dir.write("New Note.txt", "");
  dir.write("New Note_1.txt", "");
  EXPECT_EQ(newNoteName(dir.path(), ".txt"), "New Note_2.txt");

  auto check = [&](std::string_view typed) { return resolveNoteName(dir.path(), typed, ".txt"); };
  for (auto [typed, name] : {std::pair{"Shopping", "Shopping.txt"}, {"ideas.tn", "ideas.tn"}, {"Log.TXT", "Log.TXT"},
                              {"a:b?c%20d[e]\\%", "a_b_c d_e___.txt"}}) {
    EXPECT_EQ(check(typed).name, name);
    EXPECT_EQ(check(typed).check, NameCheck::Ok) << typed;
  }
  const std::string nul("a\0b", 3), fits(251, 'n'), tooLong(252, 'n');
  for (auto [typed, result] : {std::pair<std::string_view, NameCheck>{"New Note", NameCheck::Exists}, {"", NameCheck::Empty},
                               {"  \t", NameCheck::Empty}, {"a/b", NameCheck::Invalid}, {nul, NameCheck::Invalid},
                               {fits, NameCheck::Ok}, {tooLong, NameCheck::TooLong}})
    EXPECT_EQ(check(typed).check, result) << typed;

  EXPECT_TRUE(isUnsavedMarker("$new$Unsaved$") && !isUnsavedMarker("$NEW$UNSAVED$.txt"));
}

TEST(NoteFileCreate, TemplatesFromFolderOrRoot) {
  TempDir dir;
  auto sub = dir.mkdir("root/sub");
  std::map<std::string, std::string, std::less<>> settings{{"NoteTemplateDate", "dd.MM.yyyy"}};
  SettingLookup lookup = [&](std::string_view key, std::string_view def) {
    auto it = settings.find(key);
    return it == settings.end() ? std::string(def) : it->second;
  };
  bool fromTemplate = true;

  // Created from the template found, or empty; true when the note is there afterwards.
  auto create = [&](const char* name) {
    EXPECT_TRUE(createNoteFile(sub / name, dir.path() / "root", lookup, kNow, &fromTemplate)) << name;
    return dir.read(std::string("root/sub/") + name) + (fromTemplate ? "|template" : "");
  };
  EXPECT_EQ(create("a.txt"), "");
  dir.write("root/template.tn", "# $notetemplatedate $notetemplatetime\r\nagain $notetemplatedate\r\n");
  EXPECT_EQ(create("b.txt"), "# 05.03.2024 09:07AM\nagain $notetemplatedate\n|template");
  dir.write("root/sub/template.tn", "local");  // the note's own folder comes first
  EXPECT_EQ(create("c.txt"), "local|template");
  dir.write("root/sub/d.txt", "mine");  // an existing note is left alone
  EXPECT_EQ(create("d.txt"), "mine");
  EXPECT_FALSE(createNoteFile(dir.path() / "nowhere/e.txt", "", lookup, kNow));
}

}  // namespace
