#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/ini_file.h"
#include "core/settings_store.h"
#include "fakes/temp_dir.h"
#include "platform/limits.h"

namespace {

using vm::SettingEntry;
using vm::SettingsStore;
using vm::test::TempDir;
namespace fs = std::filesystem;
namespace limits = vm::limits;

void makeReadOnly(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

// ---------------------------------------------------------------------------
// Value forms

TEST(SettingsValues, IntegerRule) {
  EXPECT_EQ(vm::readIntValue("0"), 0);
  EXPECT_EQ(vm::readIntValue("12abc"), 12);
  EXPECT_EQ(vm::readIntValue("  -7"), -7);
  EXPECT_EQ(vm::readIntValue("+3"), 3);
  EXPECT_EQ(vm::readIntValue("00"), -1);
  EXPECT_EQ(vm::readIntValue("abc"), -1);
  EXPECT_EQ(vm::readIntValue(""), -1);
  EXPECT_EQ(vm::readIntValue(" 0"), -1);
  EXPECT_EQ(vm::readIntValue("99999999999999"), INT_MAX);
  EXPECT_EQ(vm::readIntValue("-99999999999999"), INT_MIN);
}

TEST(SettingsValues, FlagRule) {
  for (const char* t : {"Yes", "ON", "True", "1", "yes", "tRuE"}) EXPECT_TRUE(vm::readFlagValue(t)) << t;
  for (const char* t : {"y", "2", "", "no", "0", "yes ", "11"}) EXPECT_FALSE(vm::readFlagValue(t)) << t;
}

TEST(SettingsValues, ListRule) {
  auto l = vm::readListValue(",a,,b ,");
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], "a");
  EXPECT_EQ(l[1], "b ");
  EXPECT_TRUE(vm::readListValue("").empty());
  EXPECT_TRUE(vm::readListValue(",,,").empty());
  EXPECT_EQ(vm::readListValue(" x , y")[0], " x ");
  // Items keep at most 258 bytes.
  auto longItem = vm::readListValue(std::string(300, 'q') + ",z");
  ASSERT_EQ(longItem.size(), 2u);
  EXPECT_EQ(longItem[0].size(), limits::kListItem);
  // At most 259 items; the rest is dropped.
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i) + ",";
  auto m = vm::readListValue(many);
  ASSERT_EQ(m.size(), limits::kListItems);
  EXPECT_EQ(m.back(), "258");
}

TEST(SettingsValues, ParseEntryLine) {
  auto e = vm::parseEntryLine("key=abc;note");
  EXPECT_EQ(e.key, "key");
  EXPECT_EQ(e.value, "abc");
  EXPECT_EQ(e.comment, "note");
  e = vm::parseEntryLine("UseStatBar = yes ; x;y");
  EXPECT_EQ(e.key, "UseStatBar");
  EXPECT_EQ(e.value, "yes");
  EXPECT_EQ(e.comment, "x;y");
  e = vm::parseEntryLine("no equals here");
  EXPECT_EQ(e.key, "no equals here");
  EXPECT_EQ(e.value, "");
  EXPECT_EQ(e.comment, "");
  e = vm::parseEntryLine("a=b=c");
  EXPECT_EQ(e.key, "a");
  EXPECT_EQ(e.value, "b=c");
  e = vm::parseEntryLine(std::string(400, 'k') + "=" + std::string(400, 'v') + ";" + std::string(400, 'c'));
  EXPECT_EQ(e.key.size(), limits::kText);
  EXPECT_EQ(e.value.size(), limits::kText);
  EXPECT_EQ(e.comment.size(), limits::kText);
  // Cutting never splits a UTF-8 sequence: 130 two-byte letters are 260 bytes.
  std::string umlauts;
  for (int i = 0; i < 130; ++i) umlauts += "\xc3\xa4";
  e = vm::parseEntryLine("k=" + umlauts);
  EXPECT_EQ(e.value.size(), 258u);
}

// ---------------------------------------------------------------------------
// Loading and reading

class SettingsStoreTest : public ::testing::Test {
 protected:
  fs::path write(std::string_view text) { return ini_ = dir_.write("vellumark.ini", text); }
  std::string file() const { return dir_.read("vellumark.ini"); }
  TempDir dir_;
  fs::path ini_ = dir_.path() / "vellumark.ini";
  SettingsStore store_;
};

TEST_F(SettingsStoreTest, ValueAndComment) {
  write("[General]\nA=abc;note\n");
  ASSERT_TRUE(store_.load(ini_));
  std::string out;
  store_.get("a", "", &out);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(store_.getComment("A"), "note");
  EXPECT_EQ(store_.getSectionComment("general", "a"), "note");
  EXPECT_EQ(store_.getSectionComment("Other", "a"), "");
  EXPECT_EQ(store_.getComment("missing"), "");
}

TEST_F(SettingsStoreTest, GetIntRules) {
  write("[General]\nEmpty=\nLetters=abc\nZero=0\nTwelve=12px\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.getInt("Absent", 40), 40);
  EXPECT_EQ(store_.getInt("Empty", 40), 40);  // empty counts as absent
  EXPECT_EQ(store_.getInt("Letters", 40), -1);
  EXPECT_EQ(store_.getInt("Zero", 40), 0);
  EXPECT_EQ(store_.getInt("twelve", 40), 12);
  std::string out = "x";
  EXPECT_EQ(store_.get("Empty", "dflt", &out), -1);
  EXPECT_EQ(out, "dflt");
  EXPECT_EQ(store_.get("Absent", "5"), 5);
}

TEST_F(SettingsStoreTest, FlagRules) {
  write("[General]\nA=Yes\nB=ON\nC=True\nD=1\nE=y\nF=2\nG=\n");
  ASSERT_TRUE(store_.load(ini_));
  for (const char* k : {"A", "b", "C", "d"}) EXPECT_TRUE(store_.getFlag(k)) << k;
  for (const char* k : {"E", "F", "Absent"}) EXPECT_FALSE(store_.getFlag(k)) << k;
  EXPECT_TRUE(store_.getFlagDefaultYes("Absent"));
  EXPECT_TRUE(store_.getFlagDefaultYes("G"));  // empty counts as absent
  EXPECT_FALSE(store_.getFlagDefaultYes("F"));
}

TEST_F(SettingsStoreTest, GetTextKeepsEmpty) {
  write("[General]\nEmpty=\nFull=x\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.getText("Empty", "dflt"), "");
  EXPECT_EQ(store_.getText("Full", "dflt"), "x");
  EXPECT_EQ(store_.getText("Absent", "dflt"), "dflt");
  EXPECT_EQ(store_.getText("Absent", std::string(300, 'd')).size(), limits::kText);
  EXPECT_TRUE(store_.has("empty"));
  EXPECT_FALSE(store_.has("absent"));
}

TEST_F(SettingsStoreTest, DuplicatesAndSections) {
  write("[First]\nK=one\nK=two\nX=1\n[Second]\nk=three\nY=2\n[first]\nk=four\n");
  ASSERT_TRUE(store_.load(ini_));
  // Later duplicate in a section wins; a later stretch of the same section too.
  EXPECT_EQ(store_.getText("k", ""), "four");
  auto snap = store_.snapshot();
  ASSERT_EQ(snap.size(), 4u);  // load order: First K, First X, Second k, Second Y
  EXPECT_EQ(snap[0].section, "First");
  EXPECT_EQ(snap[0].value, "four");
  EXPECT_EQ(snap[0].file, ini_.string());
  EXPECT_EQ(snap[2].section, "Second");
  EXPECT_EQ(snap[2].value, "three");
  EXPECT_EQ(snap[3].key, "Y");
}

TEST_F(SettingsStoreTest, FirstSectionWinsAcrossSections) {
  write("[BasicRoots]\nShared=root\n[General]\nShared=general\nOnly=1\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.getText("shared", ""), "root");
}

TEST_F(SettingsStoreTest, CommentLinesAndLinesWithoutEquals) {
  write("[General]\n; a comment=1\nBare line\n\n  Indented = v \n");
  ASSERT_TRUE(store_.load(ini_));
  auto snap = store_.snapshot();
  ASSERT_EQ(snap.size(), 2u);
  EXPECT_EQ(snap[0].key, "Bare line");
  EXPECT_EQ(snap[0].value, "");
  EXPECT_EQ(store_.getText("indented", ""), "v");
  EXPECT_FALSE(store_.has("; a comment"));
}

TEST_F(SettingsStoreTest, ListsAndSections) {
  write("[General]\nL=,a,,b ,\n[BasicRoots]\n/a=A;.txt\n/b=B\n");
  ASSERT_TRUE(store_.load(ini_));
  auto l = store_.getList("L");
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[1], "b ");
  EXPECT_TRUE(store_.getList("Absent").empty());
  auto keys = store_.sectionKeys("basicroots");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "/a");
  auto entries = store_.sectionEntries("BASICROOTS");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].second, "A");
  EXPECT_EQ(entries[1].second, "B");
}

TEST_F(SettingsStoreTest, SectionListingStopsAt259) {
  std::string text = "[Big]\n";
  for (int i = 0; i < 300; ++i) text += "k" + std::to_string(i) + "=v\n";
  write(text);
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.sectionKeys("Big").size(), limits::kSectionNames);
  EXPECT_EQ(store_.sectionEntries("Big").size(), limits::kSectionNames);
}

TEST_F(SettingsStoreTest, LongTextsAreCut) {
  write("[General]\nLong=" + std::string(1000, 'v') + "\n");
  ASSERT_TRUE(store_.load(ini_));
  std::string out;
  store_.get("Long", "", &out);
  EXPECT_EQ(out.size(), limits::kText);
}

TEST_F(SettingsStoreTest, LoadOfMissingFileKeepsCache) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  auto other = dir_.path() / "other.ini";
  EXPECT_FALSE(store_.load(other));
  EXPECT_EQ(store_.getText("A", ""), "1");
  EXPECT_EQ(store_.iniPath(), other);  // the path is recorded all the same
  // ... so the first write creates it.
  store_.set("B", "2");
  EXPECT_FALSE(store_.lastWriteFailed());
  EXPECT_EQ(dir_.read("other.ini"), "[General]\nB=2\n");
}

TEST_F(SettingsStoreTest, FreshStoreAnswersDefaults) {
  EXPECT_EQ(store_.getInt("AutoSave", 2), 2);
  EXPECT_FALSE(store_.getFlag("UseStatBar"));
  EXPECT_TRUE(store_.snapshot().empty());
  EXPECT_FALSE(store_.load(ini_));
  store_.set("A", "1");
  EXPECT_EQ(file(), "[General]\nA=1\n");
  EXPECT_EQ(store_.getText("A", ""), "1");
}

TEST_F(SettingsStoreTest, FreeAndReload) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  dir_.write("vellumark.ini", "[General]\nA=2\nB=3\n");
  EXPECT_EQ(store_.getText("A", ""), "1");  // reads come from the cache
  ASSERT_TRUE(store_.reload());
  EXPECT_EQ(store_.getText("A", ""), "2");
  EXPECT_EQ(store_.getText("B", ""), "3");
  store_.free();
  EXPECT_FALSE(store_.has("A"));
}

TEST_F(SettingsStoreTest, GarbageFileLoadsWhatItCan) {
  using namespace std::string_literals;
  write("\x7f" "ELF\x02\x01\x01\x00\x00\n[Gen\xffral]\n\x00\x01=\x02;\x03\n[General]\nA=1\n\xc3\x28=x\n"s);
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.getText("A", ""), "1");
  EXPECT_EQ(store_.getText("\xc3\x28", ""), "x");
  EXPECT_GE(store_.snapshot().size(), 3u);
}

TEST_F(SettingsStoreTest, HugeLineLoads) {
  write("[General]\n" + std::string(10 * 1024 * 1024, 'k') + "=v\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.getText("A", ""), "1");
  auto snap = store_.snapshot();
  ASSERT_EQ(snap.size(), 2u);
  EXPECT_EQ(snap[0].key.size(), limits::kText);
}

TEST_F(SettingsStoreTest, ManyLinesLoadQuickly) {
  std::string text = "[General]\n";
  for (int i = 0; i < 100000; ++i) text += "key" + std::to_string(i % 50000) + "=" + std::to_string(i) + "\n";
  write(text);
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.snapshot().size(), 50000u);
  EXPECT_EQ(store_.getText("KEY7", ""), "50007");  // later duplicate wins
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(SettingsStoreTest, WriteEntryReplacesCached) {
  write("[General]\nListWidth=200;px\n[Other]\nListWidth=5\n");
  ASSERT_TRUE(store_.load(ini_));
  SettingEntry e{"listwidth", "250", "general", "", ini_.string()};
  EXPECT_TRUE(store_.writeEntry(e));
  EXPECT_FALSE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getInt("ListWidth", 0), 250);
  EXPECT_EQ(store_.getComment("ListWidth"), "");
  EXPECT_EQ(file(), "[General]\nListWidth=250\n[Other]\nListWidth=5\n");
  EXPECT_EQ(store_.snapshot().size(), 2u);
}

TEST_F(SettingsStoreTest, WriteEntryAddsNewKeyToCache) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  SettingEntry e{"EditMode", "2", "General", "", ini_.string()};
  EXPECT_FALSE(store_.writeEntry(e));  // added, not replaced
  EXPECT_EQ(store_.getInt("EditMode", 0), 2);  // readable in the same run
  EXPECT_EQ(file(), "[General]\nA=1\nEditMode=2\n");
  EXPECT_TRUE(store_.writeEntry(e));  // now it is cached
}

TEST_F(SettingsStoreTest, WriteWithComment) {
  store_.load(ini_);
  SettingEntry e{"/home/a", "Notes", "BasicRoots", ".md", ini_.string()};
  store_.writeEntry(e);
  EXPECT_EQ(file(), "[BasicRoots]\n/home/a=Notes;.md\n");
  EXPECT_EQ(store_.getSectionComment("BasicRoots", "/home/a"), ".md");
}

TEST_F(SettingsStoreTest, WrittenValueReadsAsAfterReload) {
  store_.load(ini_);
  store_.set("Semi", " a;b ");
  store_.set("Lines", "one\ntwo");
  auto check = [&] {
    EXPECT_EQ(store_.getText("Semi", ""), "a");
    EXPECT_EQ(store_.getComment("Semi"), "b");
    EXPECT_EQ(store_.getText("Lines", ""), "one");
  };
  check();
  ASSERT_TRUE(store_.reload());
  check();
}

TEST_F(SettingsStoreTest, SettersWriteGeneralOfCurrentFile) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  store_.setInt("Num", -5);
  store_.set("A", "x");
  store_.setInSection("keywords", "alpha", "");
  EXPECT_EQ(file(), "[General]\nA=x\nNum=-5\n\n[keywords]\nalpha=\n");
  EXPECT_EQ(store_.getInt("Num", 0), -5);
  EXPECT_EQ(store_.sectionKeys("Keywords").size(), 1u);
}

TEST_F(SettingsStoreTest, ReadOnlyFileUpdatesCacheAndReportsFailure) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  makeReadOnly(ini_);
  store_.set("A", "2");
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getText("A", ""), "2");
  store_.set("New", "3");
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getText("New", ""), "3");
  EXPECT_EQ(file(), "[General]\nA=1\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  store_.set("A", "4");
  EXPECT_FALSE(store_.lastWriteFailed());
  EXPECT_EQ(file(), "[General]\nA=4\n");
}

TEST_F(SettingsStoreTest, ReadOnlyFolderReportsFailure) {
  auto folder = dir_.mkdir("ro");
  auto path = folder / "vellumark.ini";
  dir_.write("ro/vellumark.ini", "[General]\nA=1\n");
  ASSERT_TRUE(store_.load(path));
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  store_.set("A", "2");
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getText("A", ""), "2");
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(dir_.read("ro/vellumark.ini"), "[General]\nA=1\n");
}

TEST_F(SettingsStoreTest, WriteWithoutFileFails) {
  SettingEntry e{"A", "1", "General", "", ""};
  EXPECT_FALSE(store_.writeEntry(e));
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getText("A", ""), "1");
}

TEST_F(SettingsStoreTest, BadEntriesAreRefused) {
  store_.load(ini_);
  EXPECT_FALSE(store_.writeEntry(SettingEntry{"", "1", "General", "", ini_.string()}));
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_FALSE(store_.writeEntry(SettingEntry{"A", "1", "", "", ini_.string()}));
  EXPECT_FALSE(store_.writeEntry(SettingEntry{"A", "1", "a]b", "", ini_.string()}));
  EXPECT_TRUE(store_.snapshot().empty());
  EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(SettingsStoreTest, ConcurrentReadsAndWrites) {
  write("[General]\nA=0\n");
  ASSERT_TRUE(store_.load(ini_));
  std::atomic<bool> stop = false;
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!stop) {
        (void)store_.getInt("A", 0);
        (void)store_.getList("B");
        (void)store_.snapshot();
      }
    });
  for (int i = 0; i < 100; ++i) {
    store_.setInt("A", i);
    store_.set("K" + std::to_string(i % 7), "v");
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(store_.getInt("A", 0), 99);
  ASSERT_TRUE(store_.reload());
  EXPECT_EQ(store_.getInt("A", 0), 99);
  EXPECT_EQ(store_.sectionKeys("General").size(), 8u);
}

// ---------------------------------------------------------------------------
// Deleting a section

TEST_F(SettingsStoreTest, DeleteSectionMatching) {
  write("; top comment\n[General]\nA=1\n; kept comment\n[basicroots]\n/a=A\n; dropped comment\n"
        "[BasicRootsX]\n/x=X\n[BasicRoots] trailing\n/b=B\n\n[Last]\nL=1\n");
  ASSERT_TRUE(SettingsStore::deleteSection(ini_, "BasicRoots"));
  EXPECT_EQ(file(), "; top comment\n[General]\nA=1\n; kept comment\n[BasicRootsX]\n/x=X\n[Last]\nL=1\n");
  EXPECT_EQ(vm::ini::readKey(ini_, "BasicRootsX", "/x", "d"), "X");
}

TEST_F(SettingsStoreTest, DeleteSectionCrLfAndCache) {
  write("[General]\r\nA=1\r\n[Roots]\r\nB=2\r\n");
  ASSERT_TRUE(store_.load(ini_));
  ASSERT_TRUE(SettingsStore::deleteSection(ini_, "roots"));
  EXPECT_EQ(file(), "[General]\nA=1\n");
  EXPECT_EQ(store_.getText("B", ""), "2");  // the cache is not touched
  EXPECT_TRUE(SettingsStore::deleteSection(ini_, "Absent"));
  EXPECT_EQ(file(), "[General]\nA=1\n");
}

TEST_F(SettingsStoreTest, DeleteSectionFailures) {
  EXPECT_FALSE(SettingsStore::deleteSection("", "General"));
  EXPECT_FALSE(SettingsStore::deleteSection(ini_, "General"));  // missing file
  write("[General]\nA=1\n[Roots]\nB=2\n");
  makeReadOnly(ini_);
  EXPECT_FALSE(SettingsStore::deleteSection(ini_, "Roots"));
  EXPECT_EQ(file(), "[General]\nA=1\n[Roots]\nB=2\n");
}

TEST_F(SettingsStoreTest, DeleteSectionLongLines) {
  // A long line inside the stretch is dropped whole; one outside is kept whole.
  std::string longLine(5000, 'x');
  write("[Roots]\n" + longLine + "[General]\n[General]\nA=" + longLine + "\n");
  ASSERT_TRUE(SettingsStore::deleteSection(ini_, "Roots"));
  EXPECT_EQ(file(), "[General]\nA=" + longLine + "\n");
}

// ---------------------------------------------------------------------------
// Pending settings

TEST_F(SettingsStoreTest, PendingReadKeepsCommentPendingSetDropsIt) {
  write("[General]\nRead=abc;note\nChanged=old;note2\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.pendingGet("Read", ""), "abc");
  EXPECT_EQ(store_.pendingGet("Changed", ""), "old");
  store_.pendingSet("changed", "new");
  EXPECT_EQ(store_.pendingGet("CHANGED", ""), "new");
  ASSERT_EQ(store_.pending().size(), 2u);
  store_.commitPending();
  store_.discardPending(false);
  EXPECT_EQ(file(), "[General]\nRead=abc;note\nChanged=new\n");
  EXPECT_TRUE(store_.pending().empty());
}

TEST_F(SettingsStoreTest, PendingDefaultsAndInts) {
  write("[General]\nWords=abc\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.pendingGet("DefaultExtension", ".txt"), ".txt");
  EXPECT_EQ(store_.pendingGetInt("AutoSave", "2"), 2);
  EXPECT_EQ(store_.pendingGetInt("Words", "1"), 0);  // non-numeric reads as 0 here
  EXPECT_EQ(store_.pendingGetInt("Flag", "yes"), 0);
  EXPECT_EQ(store_.pending().size(), 4u);
  EXPECT_EQ(store_.pending()[0].section, "General");
  // A pending read of an absent key commits its default.
  store_.commitPending();
  ASSERT_TRUE(store_.reload());
  EXPECT_EQ(store_.getText("DefaultExtension", ""), ".txt");
  EXPECT_EQ(store_.getText("AutoSave", ""), "2");
}

TEST_F(SettingsStoreTest, PendingInSection) {
  write("[General]\nX=1\n[BasicRoots]\n/a=A;.md\n");
  ASSERT_TRUE(store_.load(ini_));
  EXPECT_EQ(store_.pendingGetInSection("BasicRoots", "/a", ""), "A");
  ASSERT_EQ(store_.pending().size(), 1u);
  EXPECT_EQ(store_.pending()[0].section, "BasicRoots");
  EXPECT_EQ(store_.pending()[0].comment, ".md");
  store_.pendingSetInSection("BasicRoots", "/b", "B", ".txt");
  store_.commitPending();
  EXPECT_EQ(file(), "[General]\nX=1\n[BasicRoots]\n/a=A;.md\n/b=B;.txt\n");
}

TEST_F(SettingsStoreTest, PendingSectionKeys) {
  write("[General]\nX=1\n[BasicRoots]\n/a=A;.md\n/b=B\n");
  ASSERT_TRUE(store_.load(ini_));
  auto keys = store_.pendingSectionKeys("basicroots");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "/a");
  ASSERT_EQ(store_.pending().size(), 2u);
  EXPECT_EQ(store_.pending()[0].comment, ".md");
  store_.pendingSetInSection("BasicRoots", "/c", "C", "");
  keys = store_.pendingSectionKeys("BasicRoots");  // from the pending list now
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[2], "/c");
  EXPECT_EQ(store_.pending().size(), 3u);
}

TEST_F(SettingsStoreTest, RootsPageDropsAndReAdds) {
  write("[General]\nX=1\n[BasicRoots]\n/a=A\n/b=B\n; note\n[Later]\nL=1\n");
  ASSERT_TRUE(store_.load(ini_));
  store_.pendingSectionKeys("BasicRoots");
  store_.pendingDropSection("BasicRoots");
  store_.pendingDropSection("basicroots");  // queued once
  EXPECT_TRUE(store_.pending().empty());
  store_.pendingSetInSection("BasicRoots", "/b", "Bee", ".md");
  store_.pendingSetInSection("BasicRoots", "/c", "C", "");
  store_.commitPending();
  store_.discardPending(false);
  // Deletions first, then the entries: exactly the roots shown on the page.
  EXPECT_EQ(file(), "[General]\nX=1\n[Later]\nL=1\n\n[BasicRoots]\n/b=Bee;.md\n/c=C\n");
  ASSERT_TRUE(store_.reload());
  auto keys = store_.sectionKeys("BasicRoots");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "/b");
}

TEST_F(SettingsStoreTest, CommitSetsFileToCurrentIni) {
  ASSERT_FALSE(store_.load(ini_));
  store_.pendingSet("A", "1");
  store_.commitPending();
  ASSERT_EQ(store_.pending().size(), 1u);
  EXPECT_EQ(store_.pending()[0].file, ini_.string());
  EXPECT_EQ(file(), "[General]\nA=1\n");
  EXPECT_EQ(store_.snapshot().at(0).file, ini_.string());
}

TEST_F(SettingsStoreTest, CancelClearsDeletionQueue) {
  write("[General]\nA=1\n[BasicRoots]\n/a=A\n");
  ASSERT_TRUE(store_.load(ini_));
  store_.pendingDropSection("BasicRoots");
  store_.pendingSet("A", "2");
  store_.discardPending(true);
  store_.commitPending();  // nothing left to do
  EXPECT_EQ(file(), "[General]\nA=1\n[BasicRoots]\n/a=A\n");
}

TEST_F(SettingsStoreTest, CommitToReadOnlyFileReportsFailure) {
  write("[General]\nA=1\n");
  ASSERT_TRUE(store_.load(ini_));
  makeReadOnly(ini_);
  store_.pendingSet("A", "2");
  store_.pendingSet("B", "3");
  store_.commitPending();
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(file(), "[General]\nA=1\n");
}

}  // namespace
