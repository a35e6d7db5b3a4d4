#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

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

TEST(NoteFileLoad, EncodingsAndWhatMakesANoteReadOnly) {
  TempDir dir;
  auto legacy = loadNoteFile(dir.write("old.txt", "caf\xE9\r\n\x80 \x81"), true, true);
  ASSERT_TRUE(legacy);
  EXPECT_EQ(legacy->text, "caf\xC3\xA9\n\xE2\x82\xAC \xC2\x81");  // every byte one character
  EXPECT_EQ(legacy->format.encoding, TextEncoding::Windows1252);
  EXPECT_TRUE(legacy->format.crlf && legacy->format.lineEndsConverted);
  EXPECT_EQ(legacy->readOnly, ReadOnlyReason::None);

  auto utf8 = loadNoteFile(dir.write("new.txt", "\xEF\xBB\xBF" "caf\xC3\xA9\nx\r\n"), true, true);
  EXPECT_EQ(utf8->format.encoding, TextEncoding::Utf8);
  EXPECT_EQ(utf8->format.bomBytes, 3u);
  EXPECT_FALSE(utf8->format.crlf);  // the first line end decides
  EXPECT_EQ(utf8->bytes, "\xEF\xBB\xBF" "caf\xC3\xA9\nx\r\n");

  EXPECT_EQ(loadNoteFile(dir.write("nul.txt", std::string("a\0b", 3)), true, true)->readOnly,
            ReadOnlyReason::NulByte);
  auto ro = dir.write("ro.txt", "x");
  ::chmod(ro.c_str(), 0444);  // read-only for root as well
  EXPECT_EQ(loadNoteFile(ro, true, true)->readOnly, ReadOnlyReason::NotWritable);
  EXPECT_FALSE(noteWritable(ro));
  auto locked = dir.mkdir("locked");
  dir.write("locked/n.txt", "x");
  ::chmod(locked.c_str(), 0555);  // a rename needs the folder
  EXPECT_EQ(loadNoteFile(locked / "n.txt", true, true)->readOnly, ReadOnlyReason::NotWritable);
  ::chmod(locked.c_str(), 0755);
}

// A note file made of pieces whose bytes and editor text are known, so that
// a save can be checked against what must stay.
struct Piece {
  std::string bytes, text;
};

std::vector<Piece> randomNote(std::mt19937& rng, bool legacy, bool crlfFirst) {
  const std::vector<Piece> utf8Pieces = {{"a", "a"}, {"word ", "word "}, {"\xC3\xA9", "\xC3\xA9"},
                                         {"\xE2\x82\xAC", "\xE2\x82\xAC"}, {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                                         {"\r\n", "\n"}, {"\n", "\n"}};
  const std::vector<Piece> legacyPieces = {{"a", "a"}, {"word ", "word "}, {"\xE9", "\xC3\xA9"},
                                           {"\x80", "\xE2\x82\xAC"}, {"\x81", "\xC2\x81"}, {"\xFF", "\xC3\xBF"},
                                           {"\r\n", "\n"}, {"\n", "\n"}};
  const auto& pool = legacy ? legacyPieces : utf8Pieces;
  // The first piece fixes what the file is read as, the second its line end.
  std::vector<Piece> note = {legacy ? Piece{"caf\xE9 ", "caf\xC3\xA9 "} : Piece{"caf\xC3\xA9 ", "caf\xC3\xA9 "},
                             crlfFirst ? Piece{"\r\n", "\n"} : Piece{"\n", "\n"}};
  const int n = std::uniform_int_distribution<int>(0, 30)(rng);
  for (int i = 0; i < n; ++i) note.push_back(pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)]);
  return note;
}

std::string join(const std::vector<Piece>& note, std::size_t from, std::size_t to, bool text) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) out += text ? note[i].text : note[i].bytes;
  return out;
}

TEST(NoteFileSave, RandomEditsKeepEveryUntouchedByte) {
  std::mt19937 rng(20261206);
  const std::vector<std::string> typed = {"x", "\xC3\xA9", "\xE2\x82\xAC", "\n", "two words\n", ""};
  const std::vector<std::string> foreign = {"\xCE\xA9", "\xF0\x9F\x98\x80"};  // not in Windows-1252
  for (int round = 0; round < 600; ++round) {
    const bool legacy = round % 2 == 0, crlf = round % 3 != 0, outside = legacy && round % 5 == 0;
    auto note = randomNote(rng, legacy, crlf);
    const std::string bytes = join(note, 0, note.size(), false);
    NoteFormat format;
    NoteBaseline base{bytes, noteTextForEditor(bytes, true, true, nullptr, &format), format};
    ASSERT_EQ(base.text, join(note, 0, note.size(), true)) << round;

    // Replace pieces [i, j) (the first one stays) with typed text.
    std::size_t i = std::uniform_int_distribution<std::size_t>(1, note.size())(rng);
    std::size_t j = std::uniform_int_distribution<std::size_t>(i, note.size())(rng);
    std::string insert = typed[std::uniform_int_distribution<std::size_t>(0, typed.size() - 1)(rng)];
    if (outside) insert += foreign[round % 2];
    const std::string newText = join(note, 0, i, true) + insert + join(note, j, note.size(), true);

    NoteFormat out;
    bool becameUtf8 = false;
    const std::string written = noteBytesFor(&base, newText, &out, &becameUtf8);
    bool nul = false;
    EXPECT_EQ(noteTextForEditor(written, true, true, &nul), newText) << round;  // reads back as typed
    EXPECT_EQ(becameUtf8, outside) << round;
    const std::string head = join(note, 0, i, false), tail = join(note, j, note.size(), false);
    // Where the typed text goes among equal neighbours is open ("\n" typed
    // in front of a line end or after it); what counts is that no more of the
    // old file is rewritten than the pieces that were replaced.
    auto kept = [](std::string_view before, std::string_view after) {
      std::size_t p = 0;
      while (p < before.size() && p < after.size() && before[p] == after[p]) ++p;
      std::size_t s = 0;
      while (s < std::min(before.size(), after.size()) - p &&
             before[before.size() - 1 - s] == after[after.size() - 1 - s])
        ++s;
      return p + s;
    };
    const std::string oldBytes = outside ? cp1252ToUtf8(bytes) : bytes;
    const std::size_t untouched = outside ? cp1252ToUtf8(head).size() + cp1252ToUtf8(tail).size()
                                          : head.size() + tail.size();
    EXPECT_GE(kept(oldBytes, written), untouched)
        << round << " " << testing::PrintToString(bytes) << " -> " << testing::PrintToString(written);
    // Saved as UTF-8 only when a typed character needs it; else in the file's own encoding.
    EXPECT_EQ(out.encoding, outside ? TextEncoding::Utf8 : format.encoding) << round;
    // New line breaks take the file's first line end.
    if (insert == "two words\n" && i == note.size()) {  // appended: nothing of the old text to reuse
      EXPECT_TRUE(written.ends_with(crlf ? "words\r\n" : "words\n")) << round;
      if (!crlf) {
        EXPECT_FALSE(written.ends_with("words\r\n")) << round;
      }
    }
  }
}

TEST(NoteFileSave, ByteOrderMarkLegacyNoteAndNoBaseline) {
  // The mark stays even when the whole text is replaced.
  NoteFormat f;
  const std::string bom = "\xEF\xBB\xBFold\r\n";
  NoteBaseline base{bom, noteTextForEditor(bom, true, true, nullptr, &f), f};
  EXPECT_EQ(noteBytesFor(&base, "new\n", nullptr), "\xEF\xBB\xBFnew\r\n");
  // Off, the mark is text like any other and comes back as it was.
  NoteBaseline raw{bom, noteTextForEditor(bom, false, false, nullptr, &f), f};
  EXPECT_EQ(noteBytesFor(&raw, raw.text + "x", nullptr), bom + "x");

  // A legacy note with a mark in front: the rest is Windows-1252.
  const std::string both = "\xEF\xBB\xBF\xE9t\xE9";
  NoteBaseline mixed{both, noteTextForEditor(both, true, true, nullptr, &f), f};
  EXPECT_EQ(mixed.text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(noteBytesFor(&mixed, "\xC3\xA9t\xC3\xA9!", nullptr), both + "!");
  bool utf8 = false;
  EXPECT_EQ(noteBytesFor(&mixed, "\xC3\xA9t\xC3\xA9\xCE\xA9", nullptr, &utf8),
            "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\xCE\xA9");
  EXPECT_TRUE(utf8);

  // A legacy note whose new bytes would read as UTF-8 is saved as UTF-8, so it reads back as typed.
  const std::string ambiguous = "\xC3 \xE9";
  NoteBaseline amb{ambiguous, noteTextForEditor(ambiguous, true, true, nullptr, &f), f};
  const std::string typed = "\xC3\x83\xC2\xA9";  // the user deleted " \xE9" and typed a copyright sign
  EXPECT_EQ(noteTextForEditor(noteBytesFor(&amb, typed, nullptr), true, true), typed);

  EXPECT_EQ(noteBytesFor(nullptr, "a\nb", &f), "a\nb");  // a new note: UTF-8, LF
  EXPECT_EQ(f.encoding, TextEncoding::Utf8);
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
                               {fits, NameCheck::Ok}, {tooLong, NameCheck::TooLong}, {"..", NameCheck::Invalid},
                               {" . ", NameCheck::Invalid}, {"../up", NameCheck::Invalid}, {"...", NameCheck::Invalid}})
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
