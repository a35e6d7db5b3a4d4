#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <array>
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

TEST(IniFile, LineAndHeaderRules) {
  EXPECT_EQ(ini::splitLines("a\r\nb\nc"), (std::vector<std::string_view>{"a", "b", "c"}));
  for (auto [text, n] : {std::pair{"a\n", 1u}, {"", 0u}, {"\n\n", 2u}}) EXPECT_EQ(ini::splitLines(text).size(), n);
  EXPECT_EQ(ini::headerName("  [ General ]  "), "General");
  EXPECT_EQ(ini::headerName("[BasicRoots] trailing"), "BasicRoots");
  EXPECT_EQ(ini::headerName("[Notes"), "Notes");  // without ']': up to the end of the line
  EXPECT_EQ(ini::headerName("[a]b]"), "a");
  EXPECT_FALSE(ini::headerName("key=[x]") || ini::headerName(""));
}

TEST(IniFile, Reading) {
  TempDir t;
  auto f = t.write("a.ini", "orphan=1\n[General]\r\nA=1\r\nB = two words \r\n;K=comment\nK=first\nK=second\n"
                            "Empty=\nBare\nV=a;b\n\n[Other]\nA=3\n[general]\nW=4\n[Broken\nA=5\n[Ärger]\nÖl=6\n");
  // Any case; the last of duplicates; no comment split; both stretches of a section; none before a header.
  for (auto [section, key, value] : std::vector<std::array<const char*, 3>>{
           {"General", "A", "1"}, {"general", "b", "two words"}, {"OTHER", "a", "3"}, {"General", "K", "second"},
           {"General", "Empty", ""}, {"General", "Bare", ""}, {"General", "V", "a;b"}, {"General", ";K", "d"},
           {"General", "W", "4"}, {"General", "orphan", "d"}, {"Broken", "A", "5"}, {"ärger", "öL", "6"},
           {"General", "C", "d"}, {"Missing", "A", "d"}, {"", "A", "d"}, {"General", "", "d"}})
    EXPECT_EQ(ini::readKey(f, section, key, "d"), value) << section << "/" << key;
  EXPECT_EQ(ini::readKey(t.path() / "none.ini", "General", "A", "d"), "d");

  EXPECT_EQ(ini::sectionNames(f), (std::vector<std::string>{"General", "Other", "Broken", "Ärger"}));
  EXPECT_EQ(ini::sectionLines(f, "OTHER"), (std::vector<std::string>{"A=3"}));
  auto lines = ini::sectionLines(f, "GENERAL");
  ASSERT_EQ(lines.size(), 9u);  // blank lines skipped, both stretches
  EXPECT_EQ(lines[2], ";K=comment");
  EXPECT_EQ(lines[8], "W=4");
  EXPECT_TRUE(ini::sectionLines(f, "Three").empty());
  EXPECT_TRUE(ini::sectionNames(t.path() / "none.ini").empty());
}

TEST(IniFile, WritePlacesKeys) {
  TempDir t;
  auto check = [&](std::string_view before, const char* section, const char* key, const char* value,
                   std::string_view after) {
    auto f = t.write("a.ini", before);
    ASSERT_TRUE(ini::writeKey(f, section, key, value)) << before;
    EXPECT_EQ(t.read("a.ini"), after) << before;
  };
  // The last match in its own section (the line a read takes); the file's spelling of the key is kept.
  check("[Other]\nkey=o\n[General]\n  KEY = old ; c\nkey=second\n", "general", "Key", "new",
        "[Other]\nkey=o\n[General]\n  KEY = old ; c\nkey=new\n");
  check("[General]\nA=1\n; c\n\n\n[Next]\nB=2\n", "General", "C", "3", "[General]\nA=1\n; c\nC=3\n\n\n[Next]\nB=2\n");
  check("[General]\n\n[Next]\n", "General", "A", "1", "[General]\nA=1\n\n[Next]\n");
  check("[S]\nA=1\n[T]\n[s]\nB=2\n", "S", "B", "3", "[S]\nA=1\n[T]\n[s]\nB=3\n");  // in the second stretch
  check("[S]\nA=1\n[T]\n[s]\nB=2\n", "S", "C", "4", "[S]\nA=1\nC=4\n[T]\n[s]\nB=2\n");  // new: first stretch
  check("[General]\nA=1", "Roots", "/x", "X;.txt", "[General]\nA=1\n\n[Roots]\n/x=X;.txt\n");
  check("[General]\nA=1\n\n", "Roots", "k", "v", "[General]\nA=1\n\n[Roots]\nk=v\n");
  check("[General]\r\nA=1\r\nB=2\r\n", "General", "A", "9", "[General]\nA=9\nB=2\n");
  // Lines keep their text: one that ends in CR is written with CR LF.
  check("[General]\r\nA=1\r\nx\r\r\n[O]\ny\r\r\n", "General", "A", "9", "[General]\nA=9\nx\r\r\n[O]\ny\r\r\n");
  check("[General]\nA=1\n[Broken\nA=2\n", "Broken", "B", "3", "[General]\nA=1\n[Broken\nA=2\nB=3\n");
  check("[Ärger]\nÖl=1\n", "ÄRGER", "öl", "2", "[Ärger]\nÖl=2\n");
  check("", "General", "A", "one\n[Evil]\nB=2", "[General]\nA=one\n");  // cut at the line break
}

TEST(IniFile, DuplicateKeysWriteTheLineThatIsRead) {
  TempDir t;
  auto f = t.write("d.ini", "[General]\nk=1\nother=x\nk=2\n[Other]\nk=9\n[general]\nK = 3\n");
  EXPECT_EQ(ini::readKey(f, "General", "k", "d"), "3");  // the later stretch holds the last line
  ASSERT_TRUE(ini::writeKey(f, "General", "k", "4"));
  EXPECT_EQ(t.read("d.ini"), "[General]\nk=1\nother=x\nk=2\n[Other]\nk=9\n[general]\nK=4\n");
  EXPECT_EQ(ini::readKey(f, "General", "k", "d"), "4");

  f = t.write("e.ini", "[General]\nk=1\nk=2\n");
  ASSERT_TRUE(ini::writeKey(f, "General", "k", "5"));
  EXPECT_EQ(t.read("e.ini"), "[General]\nk=1\nk=5\n");
  vm::SettingsStore store;  // the store reads the later line as well
  ASSERT_TRUE(store.load(f));
  EXPECT_EQ(store.getText("k", ""), "5");
  store.set("k", "6");
  ASSERT_TRUE(store.reload());
  EXPECT_EQ(store.getText("k", ""), "6");
  EXPECT_EQ(t.read("e.ini"), "[General]\nk=1\nk=6\n");
}

TEST(IniFile, WriteCreatesRenamesAndRefuses) {
  TempDir t;
  auto f = t.path() / "a.ini";
  std::string err;
  EXPECT_FALSE(ini::writeKey(f, "", "A", "1", &err));
  EXPECT_FALSE(err.empty());
  // Keys that would read back as another key, a comment or a header.
  for (auto [section, key] : {std::pair{"General", "  "}, {"Gen]eral", "A"}, {"General", "A\nB"}, {"General", "A=B"},
                              {"General", " ;A"}, {"General", "[A"}, {"General", "A\rB"}})
    EXPECT_FALSE(ini::writeKey(f, section, key, "1")) << section << key;
  EXPECT_TRUE(ini::writableKey(" A;B[C] "));
  EXPECT_FALSE(ini::writeKey("", "General", "A", "1"));
  EXPECT_FALSE(fs::exists(f));

  ASSERT_TRUE(ini::writeKey(f, "General", "A", "1"));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=1\n");
  ino_t before = inodeOf(f);
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "1"));
  EXPECT_EQ(inodeOf(f), before);  // unchanged content leaves the file alone
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "2"));
  EXPECT_NE(inodeOf(f), before);  // rewritten through a temporary file and a rename
  EXPECT_EQ(std::distance(fs::directory_iterator(t.path()), {}), 1);

  auto link = t.path() / "link.ini";
  fs::create_symlink(f, link);
  ASSERT_TRUE(ini::writeKey(link, "General", "A", "3"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=3\n");

  fs::permissions(f, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  err.clear();
  EXPECT_FALSE(ini::writeKey(f, "General", "A", "4", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(t.read("a.ini"), "[General]\nA=3\n");

  auto dir = t.mkdir("ro");
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(ini::writeKey(dir / "a.ini", "General", "A", "1"));
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(dir / "a.ini"));
  EXPECT_FALSE(ini::writeKey(t.path() / "missing" / "a.ini", "General", "A", "1"));
  t.mkdir("dir.ini");
  EXPECT_FALSE(ini::writeKey(t.path() / "dir.ini", "General", "A", "1"));  // a folder in place of the file
}

TEST(IniFile, BinaryJunkInvalidUtf8AndHugeLines) {
  TempDir t;
  using namespace std::string_literals;
  const std::string junk = "\xff\xfe\x00\x01junk\n[\x80\x81]\n\xc3(=\xa0\xa1\n[General]\nA=\xe2\x28\xa1\n\x00\x00\x00"s;
  auto f = t.write("junk.ini", junk);
  EXPECT_EQ(ini::readKey(f, "\x80\x81", "\xc3(", "d"), std::string("\xa0\xa1"));
  EXPECT_EQ(ini::sectionNames(f).size(), 2u);
  ASSERT_TRUE(ini::writeKey(f, "General", "B", "2"));
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), std::string("\xe2\x28\xa1"));
  EXPECT_EQ(t.read("junk.ini").substr(0, 20), junk.substr(0, 20));  // kept byte for byte

  std::string big(10 * 1024 * 1024, 'x');
  f = t.write("big.ini", "[General]\nBig=" + big + "\n" + big + "\nA=1\n");
  EXPECT_EQ(ini::readKey(f, "General", "Big", "d").size(), big.size());
  ASSERT_TRUE(ini::writeKey(f, "General", "A", "2"));
  EXPECT_EQ(ini::readKey(f, "General", "A", "d"), "2");
  EXPECT_EQ(ini::sectionLines(f, "General").size(), 3u);
}

TEST(IniFile, RandomBytesNeverBreakReadWriteOrDelete) {
  TempDir t;
  std::mt19937 rng(20240601);
  const std::string alphabet = std::string("[]=;\r\n \tGeneralkeyK\xc3\xa4\xff") + std::string(1, '\0');
  for (int round = 0; round < 200; ++round) {
    std::string junk;
    std::size_t n = rng() % 400;
    for (std::size_t i = 0; i < n; ++i)
      junk.push_back(rng() % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 256));
    auto f = t.write("r.ini", junk);
    (void)ini::sectionNames(f);
    (void)ini::sectionLines(f, "General");
    const std::string value = "value " + std::to_string(round);
    ASSERT_TRUE(ini::writeKey(f, "General", "Key", value)) << round;
    EXPECT_EQ(ini::readKey(f, "general", "KEY", "absent"), value) << round;
    vm::SettingsStore store;
    EXPECT_TRUE(store.load(f));
    EXPECT_TRUE(vm::SettingsStore::deleteSection(f, "General"));
    EXPECT_EQ(ini::readKey(f, "General", "Key", "absent"), "absent") << round;
  }
}

TEST(IniFile, ManyHeadersAndDuplicateKeysLoadQuickly) {
  TempDir t;
  std::string text = "[General]\n";
  for (int i = 0; i < 100000; ++i) text += "key" + std::to_string(i % 50000) + "=" + std::to_string(i) + "\n";
  for (int i = 0; i < 100000; ++i) text += "[s" + std::to_string(i % 50000) + "]\nk=" + std::to_string(i) + "\n";
  auto f = t.write("many.ini", text);
  auto sections = ini::readSections(f);
  ASSERT_TRUE(sections.has_value());
  EXPECT_EQ(sections->size(), 50001u);
  EXPECT_EQ(sections->at(7).lines.size(), 2u);
  vm::SettingsStore store;
  ASSERT_TRUE(store.load(f));
  EXPECT_EQ(store.snapshot().size(), 100000u);
  EXPECT_EQ(store.getText("KEY7", ""), "50007");
}

}  // namespace
