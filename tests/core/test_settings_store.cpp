#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/settings_store.h"
#include "fakes/temp_dir.h"
#include "platform/limits.h"

namespace {

using vm::SettingEntry;
using vm::SettingsStore;
using vm::test::TempDir;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;
namespace limits = vm::limits;

void makeReadOnly(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST(SettingsValues, IntegerFlagListAndLineRules) {
  for (auto [text, n] : {std::pair{"0", 0}, {"12abc", 12}, {"  -7", -7}, {"+3", 3}, {"00", -1}, {"abc", -1},
                         {"", -1}, {" 0", -1}, {"99999999999999", INT_MAX}, {"-99999999999999", INT_MIN}})
    EXPECT_EQ(vm::readIntValue(text), n) << text;
  for (const char* t : {"Yes", "ON", "True", "1", "tRuE"}) EXPECT_TRUE(vm::readFlagValue(t)) << t;
  for (const char* t : {"y", "2", "", "no", "0", "yes ", "11"}) EXPECT_FALSE(vm::readFlagValue(t)) << t;

  EXPECT_EQ(vm::readListValue(",a,,b ,"), (Strings{"a", "b "}));  // empty skipped, not trimmed
  EXPECT_TRUE(vm::readListValue(",,,").empty());
  auto longItem = vm::readListValue(std::string(300, 'q') + ",z");
  ASSERT_EQ(longItem.size(), 2u);
  EXPECT_EQ(longItem[0].size(), limits::kListItem);
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i) + ",";
  auto m = vm::readListValue(many);
  ASSERT_EQ(m.size(), limits::kListItems);
  EXPECT_EQ(m.back(), "258");

  for (auto [line, parts] : {std::pair{"key=abc;note", "key|abc|note"}, {"UseStatBar = yes ; x;y", "UseStatBar|yes|x;y"},
                             {"no equals here", "no equals here||"}, {"a=b=c", "a|b=c|"}}) {
    auto e = vm::parseEntryLine(line);
    EXPECT_EQ(e.key + "|" + e.value + "|" + e.comment, parts);
  }
  auto e = vm::parseEntryLine(std::string(400, 'k') + "=" + std::string(400, 'v') + ";" + std::string(400, 'c'));
  EXPECT_EQ(e.key.size(), limits::kText);
  EXPECT_EQ(e.value.size(), limits::kText);
  EXPECT_EQ(e.comment.size(), limits::kText);
  // Cutting never splits a UTF-8 sequence: 130 two-byte letters are 260 bytes.
  std::string umlauts;
  for (int i = 0; i < 130; ++i) umlauts += "\xc3\xa4";
  EXPECT_EQ(vm::parseEntryLine("k=" + umlauts).value.size(), 258u);
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void load(std::string_view text) {
    dir_.write("vellumark.ini", text);
    ASSERT_TRUE(store_.load(ini_));
  }
  std::string file() const { return dir_.read("vellumark.ini"); }
  SettingEntry entry(std::string key, std::string value, std::string section, std::string comment = "") {
    return SettingEntry{std::move(key), std::move(value), std::move(section), std::move(comment), ini_.string()};
  }
  TempDir dir_;
  fs::path ini_ = dir_.path() / "vellumark.ini";
  SettingsStore store_;
};

TEST_F(SettingsStoreTest, ReadersApplyValueRules) {
  load("[General]\nA=abc;note\nEmpty=\nLetters=abc\nZero=0\nTwelve=12px\nY=Yes\nD=1\nN=2\n");
  std::string out = "x";
  EXPECT_EQ(store_.get("Empty", "dflt", &out), -1);  // empty counts as absent
  EXPECT_EQ(out, "dflt");
  store_.get("a", "", &out);  // keys ignore case; the comment is split off
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(store_.get("Absent", "5"), 5);
  EXPECT_EQ(store_.getComment("A"), "note");
  EXPECT_EQ(store_.getSectionComment("general", "a"), "note");
  EXPECT_EQ(store_.getSectionComment("Other", "a"), "");

  for (auto [key, n] : {std::pair{"Absent", 40}, {"Empty", 40}, {"Letters", -1}, {"Zero", 0}, {"twelve", 12}})
    EXPECT_EQ(store_.getInt(key, 40), n) << key;
  for (auto [key, yes] : {std::pair{"y", true}, {"D", true}, {"N", false}, {"Absent", false}})
    EXPECT_EQ(store_.getFlag(key), yes) << key;
  for (auto [key, yes] : {std::pair{"Absent", true}, {"Empty", true}, {"N", false}})
    EXPECT_EQ(store_.getFlagDefaultYes(key), yes) << key;

  EXPECT_EQ(store_.getText("Empty", "dflt"), "");  // getText keeps an empty value
  EXPECT_EQ(store_.getText("Absent", "dflt"), "dflt");
  EXPECT_EQ(store_.getText("Absent", std::string(300, 'd')).size(), limits::kText);
  EXPECT_TRUE(store_.has("empty") && !store_.has("absent"));
}

TEST_F(SettingsStoreTest, DuplicatesSectionsListsAndComments) {
  load("[First]\nK=one\nK=two\n; a comment=1\nBare line\n  Indented = v \nShared=1\n[Second]\nk=three\n"
       "Shared=2\nL=a,b;c\n[first]\nk=four\n[BasicRoots]\n/a=A;.txt\n/b=B\n");
  // A later duplicate in a section wins, a later stretch of the same section too;
  // across sections the first one in load order wins.
  EXPECT_EQ(store_.getText("k", ""), "four");
  EXPECT_EQ(store_.getText("shared", ""), "1");
  EXPECT_EQ(store_.getText("indented", ""), "v");
  EXPECT_FALSE(store_.has("; a comment"));
  auto snap = store_.snapshot();
  ASSERT_EQ(snap.size(), 9u);
  EXPECT_EQ(snap[0].key + "=" + snap[0].value, "K=four");
  EXPECT_EQ(snap[0].file, ini_.string());
  EXPECT_EQ(snap[1].key, "Bare line");
  EXPECT_EQ(snap[4].section + "/" + snap[4].value, "Second/three");

  EXPECT_EQ(store_.getList("L"), (Strings{"a", "b"}));
  EXPECT_TRUE(store_.getList("Absent").empty());
  EXPECT_EQ(store_.sectionKeys("basicroots"), (Strings{"/a", "/b"}));
  auto entries = store_.sectionEntries("BASICROOTS");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].second + entries[1].second, "AB");
}

TEST_F(SettingsStoreTest, SizeLimits) {
  std::string text = "[General]\n" + std::string(10 * 1024 * 1024, 'k') + "=v\n[Big]\n";
  for (int i = 0; i < 300; ++i) text += "k" + std::to_string(i) + "=v\n";
  load(text);
  EXPECT_TRUE(store_.has(std::string(limits::kText, 'k')));
  EXPECT_EQ(store_.sectionKeys("Big").size(), limits::kSectionNames);
  EXPECT_EQ(store_.sectionEntries("Big").size(), limits::kSectionNames);
}

TEST_F(SettingsStoreTest, LoadFreeAndReload) {
  EXPECT_EQ(store_.getInt("AutoSave", 2), 2);  // a fresh store answers defaults
  load("[General]\nA=1\n");
  dir_.write("vellumark.ini", "[General]\nA=2\nB=3\n");
  EXPECT_EQ(store_.getText("A", ""), "1");  // reads come from the cache
  ASSERT_TRUE(store_.reload());
  EXPECT_EQ(store_.getText("B", ""), "3");
  // A missing file keeps the cache but records the path, so the first write creates it.
  auto other = dir_.path() / "other.ini";
  EXPECT_FALSE(store_.load(other));
  EXPECT_EQ(store_.getText("A", ""), "2");
  EXPECT_EQ(store_.iniPath(), other);
  store_.set("C", "4");
  EXPECT_EQ(dir_.read("other.ini"), "[General]\nC=4\n");
  store_.free();
  EXPECT_FALSE(store_.has("A"));
}

TEST_F(SettingsStoreTest, WriteEntryReplacesOrAddsToCache) {
  load("[General]\nListWidth=200;px\n[Other]\nListWidth=5\n");
  EXPECT_TRUE(store_.writeEntry(entry("listwidth", "250", "general")));
  EXPECT_EQ(store_.getInt("ListWidth", 0), 250);
  EXPECT_EQ(store_.getComment("ListWidth"), "");
  // A first-written key is added and readable in the same run.
  auto e = entry("EditMode", "2", "General");
  EXPECT_FALSE(store_.writeEntry(e));
  EXPECT_EQ(store_.getInt("EditMode", 0), 2);
  EXPECT_TRUE(store_.writeEntry(e));
  store_.writeEntry(entry("/home/a", "Notes", "BasicRoots", ".md"));
  EXPECT_EQ(store_.getSectionComment("BasicRoots", "/home/a"), ".md");
  EXPECT_EQ(file(), "[General]\nListWidth=250\nEditMode=2\n[Other]\nListWidth=5\n\n[BasicRoots]\n/home/a=Notes;.md\n");
}

TEST_F(SettingsStoreTest, SettersWriteGeneralAndReadAsAfterReload) {
  load("[General]\nA=1\n");
  store_.setInt("Num", -5);
  store_.set("A", "x");
  store_.setInSection("keywords", "alpha", "");
  EXPECT_EQ(file(), "[General]\nA=x\nNum=-5\n\n[keywords]\nalpha=\n");
  store_.set("Semi", " a;b ");
  store_.set("Lines", "one\ntwo");
  for (bool reloaded : {false, true}) {
    EXPECT_EQ(store_.getInt("Num", 0), -5) << reloaded;
    EXPECT_EQ(store_.sectionKeys("Keywords").size(), 1u) << reloaded;
    EXPECT_EQ(store_.getText("Semi", ""), "a") << reloaded;
    EXPECT_EQ(store_.getComment("Semi"), "b") << reloaded;
    EXPECT_EQ(store_.getText("Lines", ""), "one") << reloaded;
    ASSERT_TRUE(store_.reload());
  }
}

TEST_F(SettingsStoreTest, FailedWritesKeepTheCacheConsistent) {
  load("[General]\nA=1\n");
  makeReadOnly(ini_);
  for (auto [key, value] : {std::pair{"A", "2"}, {"New", "3"}}) {  // replaced or added, the cache keeps it
    store_.set(key, value);
    EXPECT_TRUE(store_.lastWriteFailed());
    EXPECT_EQ(store_.getText(key, ""), value);
  }
  store_.pendingSet("B", "3");
  store_.commitPending();
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(file(), "[General]\nA=1\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  store_.set("A", "4");
  EXPECT_FALSE(store_.lastWriteFailed());
  EXPECT_EQ(file(), "[General]\nA=4\n");
}

TEST_F(SettingsStoreTest, BadEntriesAndMissingFileAreRefused) {
  EXPECT_FALSE(store_.writeEntry(SettingEntry{"A", "1", "General", "", ""}));  // no file
  EXPECT_TRUE(store_.lastWriteFailed());
  EXPECT_EQ(store_.getText("A", ""), "1");
  store_.free();
  store_.load(ini_);
  for (auto [key, section] : {std::pair{"", "General"}, {"A", ""}, {"A", "a]b"}}) {
    EXPECT_FALSE(store_.writeEntry(entry(key, "1", section))) << key << section;
    EXPECT_TRUE(store_.lastWriteFailed());
  }
  EXPECT_TRUE(store_.snapshot().empty());
  EXPECT_FALSE(fs::exists(ini_));
  // Committed entries go to the current INI path, creating the file.
  store_.pendingSet("A", "1");
  store_.commitPending();
  EXPECT_EQ(store_.snapshot().at(0).file, ini_.string());
  EXPECT_EQ(file(), "[General]\nA=1\n");
}

TEST_F(SettingsStoreTest, ConcurrentReadsAndWrites) {
  load("[General]\nA=0\n");
  std::atomic<bool> stop = false;
  std::vector<std::thread> readers;
  auto read = [&] { while (!stop) (void)store_.getInt("A", 0), (void)store_.getList("B"), (void)store_.snapshot(); };
  for (int r = 0; r < 3; ++r) readers.emplace_back(read);
  for (int i = 0; i < 100; ++i) {
    store_.setInt("A", i);
    store_.set("K" + std::to_string(i % 7), "v");
  }
  stop = true;
  for (auto& t : readers) t.join();
  ASSERT_TRUE(store_.reload());
  EXPECT_EQ(store_.getInt("A", 0), 99);
  EXPECT_EQ(store_.sectionKeys("General").size(), 8u);
}

TEST_F(SettingsStoreTest, DeleteSectionMatchesHeadersAndKeepsOutsideComments) {
  std::string longLine(5000, 'x');
  load("; top comment\n[General]\nA=1\n; kept comment\n[basicroots]\n/a=A\n; dropped comment\n" + longLine +
       "\n[BasicRootsX]\n/x=X\n[BasicRoots] trailing\n/b=B\n\n[Last]\r\nL=" + longLine + "\r\n");
  ASSERT_TRUE(SettingsStore::deleteSection(ini_, "BasicRoots"));
  EXPECT_EQ(file(), "; top comment\n[General]\nA=1\n; kept comment\n[BasicRootsX]\n/x=X\n[Last]\nL=" + longLine + "\n");
  EXPECT_EQ(store_.getText("/b", ""), "B");  // the cache is not touched
  EXPECT_TRUE(SettingsStore::deleteSection(ini_, "Absent"));
  // A line that ends in CR CR LF keeps its CR.
  load("[Gone]\nA=1\n[Kept]\nB=2\r\r\n");
  ASSERT_TRUE(SettingsStore::deleteSection(ini_, "Gone"));
  EXPECT_EQ(file(), "[Kept]\nB=2\r\r\n");

  EXPECT_FALSE(SettingsStore::deleteSection("", "General"));
  EXPECT_FALSE(SettingsStore::deleteSection(dir_.path() / "none.ini", "General"));
  makeReadOnly(ini_);
  const std::string before = file();
  EXPECT_FALSE(SettingsStore::deleteSection(ini_, "Last"));
  EXPECT_EQ(file(), before);
}

TEST_F(SettingsStoreTest, PendingReadsAndSets) {
  load("[General]\nRead=abc;note\nChanged=old;note2\nWords=abc\n[BasicRoots]\n/a=A;.md\n/b=B\n");
  EXPECT_EQ(store_.pendingGet("Read", ""), "abc");
  EXPECT_EQ(store_.pendingGet("Changed", ""), "old");
  store_.pendingSet("changed", "new");
  EXPECT_EQ(store_.pendingGet("CHANGED", ""), "new");
  EXPECT_EQ(store_.pendingGet("DefaultExtension", ".txt"), ".txt");
  EXPECT_EQ(store_.pendingGetInt("AutoSave", "2"), 2);
  EXPECT_EQ(store_.pendingGetInt("Words", "1"), 0);  // non-numeric reads as 0 here
  EXPECT_EQ(store_.pendingGetInt("Flag", "yes"), 0);
  EXPECT_EQ(store_.pendingSectionKeys("basicroots"), (Strings{"/a", "/b"}));
  EXPECT_EQ(store_.pendingGetInSection("BasicRoots", "/a", ""), "A");
  store_.pendingSetInSection("BasicRoots", "/c", "C", ".txt");
  EXPECT_EQ(store_.pendingSectionKeys("BasicRoots"), (Strings{"/a", "/b", "/c"}));  // from the pending list now
  EXPECT_EQ(store_.pending().size(), 9u);
  // Reading keeps the comment, setting drops it; a pending read of an absent key commits its default.
  store_.commitPending();
  store_.discardPending(false);
  EXPECT_TRUE(store_.pending().empty());
  EXPECT_EQ(file(), "[General]\nRead=abc;note\nChanged=new\nWords=abc\nDefaultExtension=.txt\nAutoSave=2\n"
                    "Flag=yes\n[BasicRoots]\n/a=A;.md\n/b=B\n/c=C;.txt\n");
}

TEST_F(SettingsStoreTest, PendingDropsSectionFirstThenWrites) {
  load("[General]\nX=1\n[BasicRoots]\n/a=A\n/b=B\n; note\n[Later]\nL=1\n");
  store_.pendingSectionKeys("BasicRoots");
  store_.pendingDropSection("BasicRoots");
  store_.pendingDropSection("basicroots");  // queued once
  EXPECT_TRUE(store_.pending().empty());
  store_.pendingSetInSection("BasicRoots", "/b", "Bee", ".md");
  store_.pendingSetInSection("BasicRoots", "/c", "C", "");
  store_.commitPending();
  store_.discardPending(false);
  EXPECT_EQ(file(), "[General]\nX=1\n[Later]\nL=1\n\n[BasicRoots]\n/b=Bee;.md\n/c=C\n");

  // Cancel clears the deletion queue too.
  store_.pendingDropSection("BasicRoots");
  store_.pendingSet("X", "2");
  store_.discardPending(true);
  store_.commitPending();
  EXPECT_EQ(file(), "[General]\nX=1\n[Later]\nL=1\n\n[BasicRoots]\n/b=Bee;.md\n/c=C\n");
}

}  // namespace

namespace vm {
namespace {

// A key the file cannot hold is refused, so the cache never holds an entry
// that a reload would read as another key.
TEST_F(SettingsStoreTest, KeysThatCannotBeWrittenAreRefused) {
  load("[General]\nA=1\n");
  for (const char* key : {"xFile = index.txt\r\nB=2", "=x", ";A", "[Other]"}) {
    EXPECT_FALSE(store_.writeEntry(entry(key, "v", "General"))) << key;
    EXPECT_TRUE(store_.lastWriteFailed()) << key;
  }
  EXPECT_EQ(file(), "[General]\nA=1\n");
  EXPECT_EQ(store_.snapshot().size(), 1u);
  store_.setInSection("General", " B ", " two ; note");
  EXPECT_FALSE(store_.lastWriteFailed());
  SettingsStore again;
  ASSERT_TRUE(again.load(ini_));
  EXPECT_EQ(again.getText("B", "<none>"), "two");
  EXPECT_EQ(again.getComment("B"), "note");
}

}  // namespace
}  // namespace vm
