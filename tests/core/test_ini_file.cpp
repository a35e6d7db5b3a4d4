#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/ini_file.h"
#include "core/settings_store.h"
#include "fakes/temp_dir.h"

namespace {

using vm::test::TempDir;
namespace fs = std::filesystem;
namespace ini = vm::ini;

ino_t inodeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_ino;
}

std::size_t filesIn(const fs::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

TEST(IniFile, SplitLinesAcceptsLfAndCrLf) {
  auto lines = ini::splitLines("a\r\nb\nc");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "b");
  EXPECT_EQ(lines[2], "c");
  EXPECT_EQ(ini::splitLines("a\n").size(), 1u);
  EXPECT_EQ(ini::splitLines("").size(), 0u);
  EXPECT_EQ(ini::splitLines("\n\n").size(), 2u);
}

TEST(IniFile, HeaderRule) {
  EXPECT_EQ(ini::headerName("[General]"), "General");
  EXPECT_EQ(ini::headerName("  [ General ]  "), "General");
  EXPECT_EQ(ini::headerName("[BasicRoots] trailing"), "BasicRoots");
  // A header without ']' is a header up to the end of the line.
  EXPECT_EQ(ini::headerName("[Notes"), "Notes");
  EXPECT_EQ(ini::headerName("[a]b]"), "a");
  EXPECT_FALSE(ini::headerName("key=[x]").has_value());
  EXPECT_FALSE(ini::headerName("").has_value());
}

TEST(IniFile, ReadsCrLfAndLf) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\r\nA=1\r\nB = two words \r\n[Other]\nA=3\n");
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "1");
  EXPECT_EQ(ini::readKey(f, "general", "b", "d"), "two words");
  EXPECT_EQ(ini::readKey(f, "OTHER", "a", "d"), "3");
  EXPECT_EQ(ini::readKey(f, "General", "C", "d"), "d");
  EXPECT_EQ(ini::readKey(f, "Missing", "A", "d"), "d");
  EXPECT_EQ(ini::readKey(t.path() / "none.ini", "General", "A", "d"), "d");
  EXPECT_EQ(ini::readKey(f, "", "A", "d"), "d");
  EXPECT_EQ(ini::readKey(f, "General", "", "d"), "d");
}

TEST(IniFile, SectionNamesAndLines) {
  TempDir t;
  auto f = t.write("a.ini",
                   "orphan=1\n[One]\nx=1\n\n; note\ny\n[Two]\nz=3\n[one]\nw=4\n");
  auto names = ini::sectionNames(f);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "One");
  EXPECT_EQ(names[1], "Two");
  auto lines = ini::sectionLines(f, "ONE");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "x=1");
  EXPECT_EQ(lines[1], "; note");
  EXPECT_EQ(lines[2], "y");
  EXPECT_EQ(lines[3], "w=4");
  EXPECT_TRUE(ini::sectionLines(f, "Three").empty());
  EXPECT_TRUE(ini::sectionNames(t.path() / "none.ini").empty());
  // Lines before the first header belong to no section.
  EXPECT_EQ(ini::readKey(f, "One", "orphan", "d"), "d");
}

TEST(IniFile, ReadKeyDetails) {
  TempDir t;
  auto f = t.write("a.ini", "[G]\n;K=comment\nK=first\nK=second\nEmpty=\nBare\nV=a;b\n");
  EXPECT_EQ(ini::readKey(f, "G", "K", "d"), "first");   // first match
  EXPECT_EQ(ini::readKey(f, "G", "Empty", "d"), "");    // present and empty
  EXPECT_EQ(ini::readKey(f, "G", "Bare", "d"), "");     // line without '='
  EXPECT_EQ(ini::readKey(f, "G", "V", "d"), "a;b");     // no comment split here
  EXPECT_EQ(ini::readKey(f, "G", ";K", "d"), "d");      // comments are not keys
}

TEST(IniFile, UnterminatedHeaderIsAHeader) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\nA=1\n[Broken\nA=2\n");
  EXPECT_EQ(ini::readKey(f, "Broken", "A", "d"), "2");
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "1");
  ASSERT_TRUE(ini::writeKey(f, "Broken", "B", "3"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n[Broken\nA=2\nB=3\n");
}

TEST(IniFile, CaseInsensitiveUnicodeNames) {
  TempDir t;
  auto f = t.write("a.ini", "[Ärger]\nÖl=1\n");
  EXPECT_EQ(ini::readKey(f, "ärger", "öL", "d"), "1");
  ASSERT_TRUE(ini::writeKey(f, "ÄRGER", "öl", "2"));
  EXPECT_EQ(t.read("a.ini"), "[Ärger]\nÖl=2\n");
}

TEST(IniFile, WriteReplacesFirstMatchInItsSectionOnly) {
  TempDir t;
  auto f = t.write("a.ini", "[Other]\nkey=o\n[General]\n  KEY = old ; c\nkey=second\n");
  ASSERT_TRUE(ini::writeKey(f, "general", "Key", "new"));
  // The file's spelling of the key is kept; the other section is untouched.
  EXPECT_EQ(t.read("a.ini"), "[Other]\nkey=o\n[General]\nKEY=new\nkey=second\n");
}

TEST(IniFile, WriteAppendsAtEndOfSection) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\nA=1\n; c\n\n\n[Next]\nB=2\n");
  ASSERT_TRUE(ini::writeKey(f, "General", "C", "3"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n; c\nC=3\n\n\n[Next]\nB=2\n");
}

TEST(IniFile, WriteIntoEmptySectionFollowsHeader) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\n\n[Next]\n");
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "1"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n\n[Next]\n");
}

TEST(IniFile, WriteIntoDuplicateSection) {
  TempDir t;
  auto f = t.write("a.ini", "[S]\nA=1\n[T]\n[s]\nB=2\n");
  ASSERT_TRUE(ini::writeKey(f, "S", "B", "3"));  // found in the second stretch
  ASSERT_TRUE(ini::writeKey(f, "S", "C", "4"));  // new keys go to the first stretch
  EXPECT_EQ(t.read("a.ini"), "[S]\nA=1\nC=4\n[T]\n[s]\nB=3\n");
}

TEST(IniFile, WriteAppendsMissingSection) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\nA=1");  // no final line end
  ASSERT_TRUE(ini::writeKey(f, "Roots", "/x", "X;.txt"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n\n[Roots]\n/x=X;.txt\n");
  auto g = t.write("b.ini", "[General]\nA=1\n\n");
  ASSERT_TRUE(ini::writeKey(g, "Roots", "k", "v"));
  EXPECT_EQ(t.read("b.ini"), "[General]\nA=1\n\n[Roots]\nk=v\n");
}

TEST(IniFile, WriteCreatesMissingFile) {
  TempDir t;
  auto f = t.path() / "new.ini";
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "1"));
  EXPECT_EQ(t.read("new.ini"), "[General]\nA=1\n");
  EXPECT_EQ(filesIn(t.path()), 1u);  // no temporary file left behind
}

TEST(IniFile, WriteConvertsCrLfToLf) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\r\nA=1\r\nB=2\r\n");
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "9"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=9\nB=2\n");
}

TEST(IniFile, ValueIsCutAtLineBreak) {
  TempDir t;
  auto f = t.path() / "a.ini";
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "one\n[Evil]\nB=2"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=one\n");
}

TEST(IniFile, RejectsBadNames) {
  TempDir t;
  auto f = t.path() / "a.ini";
  std::string err;
  EXPECT_FALSE(ini::writeKey(f, "", "A", "1", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(ini::writeKey(f, "General", "  ", "1"));
  EXPECT_FALSE(ini::writeKey(f, "Gen]eral", "A", "1"));
  EXPECT_FALSE(ini::writeKey(f, "General", "A\nB", "1"));
  EXPECT_FALSE(ini::writeKey("", "General", "A", "1"));
  EXPECT_FALSE(fs::exists(f));
}

TEST(IniFile, UnchangedContentLeavesFileAlone) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\nA=1\n");
  ino_t before = inodeOf(f);
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "1"));
  EXPECT_EQ(inodeOf(f), before);
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "2"));
  EXPECT_NE(inodeOf(f), before);  // rewritten through a temporary file and a rename
  EXPECT_EQ(filesIn(t.path()), 1u);
}

TEST(IniFile, ReadOnlyFileIsNotWritten) {
  TempDir t;
  auto f = t.write("a.ini", "[General]\nA=1\n");
  fs::permissions(f, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::string err;
  EXPECT_FALSE(ini::writeKey(f, "General", "A", "2", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n");
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "1");
}

TEST(IniFile, ReadOnlyOrMissingFolderIsNotWritten) {
  TempDir t;
  auto dir = t.mkdir("ro");
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(ini::writeKey(dir / "a.ini", "General", "A", "1"));
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(dir / "a.ini"));
  EXPECT_FALSE(ini::writeKey(t.path() / "missing" / "a.ini", "General", "A", "1"));
  // A folder in place of the file.
  t.mkdir("dir.ini");
  EXPECT_FALSE(ini::writeKey(t.path() / "dir.ini", "General", "A", "1"));
}

TEST(IniFile, WritesThroughSymbolicLink) {
  TempDir t;
  auto real = t.write("real.ini", "[General]\nA=1\n");
  auto link = t.path() / "link.ini";
  fs::create_symlink(real, link);
  ASSERT_TRUE(ini::writeKey(link, "General", "A", "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(t.read("real.ini"), "[General]\nA=2\n");
}

TEST(IniFile, BinaryJunkAndInvalidUtf8) {
  TempDir t;
  using namespace std::string_literals;
  const std::string junk = "\xff\xfe\x00\x01junk\n[\x80\x81]\n\xc3(=\xa0\xa1\n[General]\nA=\xe2\x28\xa1\n\x00\x00\x00"s;
  auto f = t.write("junk.ini", junk);
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), std::string("\xe2\x28\xa1"));
  EXPECT_EQ(ini::readKey(f, "\x80\x81", "\xc3(", "d"), std::string("\xa0\xa1"));
  auto names = ini::sectionNames(f);
  EXPECT_EQ(names.size(), 2u);
  ASSERT_TRUE(ini::writeKey(f, "General", "B", "2"));
  EXPECT_EQ(ini::readKey(f, "General", "B", "d"), "2");
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), std::string("\xe2\x28\xa1"));
  // The junk before is kept byte for byte.
  EXPECT_EQ(t.read("junk.ini").substr(0, 20), junk.substr(0, 20));
}

TEST(IniFile, TenMegabyteLine) {
  TempDir t;
  std::string big(10 * 1024 * 1024, 'x');
  auto f = t.write("big.ini", "[General]\nBig=" + big + "\n" + big + "\nA=1\n");
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "1");
  EXPECT_EQ(ini::readKey(f, "General", "Big", "d").size(), big.size());
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "2"));
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "2");
  EXPECT_EQ(ini::sectionLines(f, "General").size(), 3u);
}

}  // namespace

namespace {

TEST(IniFile, RandomBytesNeverBreakReadWriteOrDelete) {
  vm::test::TempDir t;
  std::mt19937 rng(20240601);
  const std::string alphabet = std::string("[]=;\r\n \tGeneralkeyK\xc3\xa4\xff", 24) + std::string(1, '\0');
  for (int round = 0; round < 200; ++round) {
    std::string junk;
    std::size_t n = rng() % 400;
    for (std::size_t i = 0; i < n; ++i)
      junk.push_back(rng() % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 256));
    auto f = t.write("r.ini", junk);
    (void)ini::sectionNames(f);
    (void)ini::sectionLines(f, "General");
    ASSERT_TRUE(ini::writeKey(f, "General", "Key", "value " + std::to_string(round))) << round;
    EXPECT_EQ(ini::readKey(f, "general", "KEY", "absent"), "value " + std::to_string(round)) << round;
    vm::SettingsStore store;
    EXPECT_TRUE(store.load(f));
    EXPECT_TRUE(vm::SettingsStore::deleteSection(f, "General"));
    EXPECT_EQ(ini::readKey(f, "General", "Key", "absent"), "absent") << round;
  }
}

}  // namespace

namespace {

TEST(IniFile, ManyHeadersReadQuickly) {
  vm::test::TempDir t;
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "[s" + std::to_string(i % 50000) + "]\nk=" + std::to_string(i) + "\n";
  auto f = t.write("many.ini", text);
  auto sections = ini::readSections(f);
  ASSERT_TRUE(sections.has_value());
  EXPECT_EQ(sections->size(), 50000u);
  EXPECT_EQ(sections->at(7).lines.size(), 2u);
  vm::SettingsStore store;
  ASSERT_TRUE(store.load(f));
  EXPECT_EQ(store.snapshot().size(), 50000u);
}

}  // namespace
