#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ini_file.h"
#include "platform/text.h"
#include "notes/keywords.h"
#include "notes/note_rig.h"

namespace vm {
namespace {

using test::EditRig;
using Strings = std::vector<std::string>;

// Companions beside their files, so the tests can read them directly.
struct KeywordRig : EditRig {
  explicit KeywordRig(const std::string& general = "TnFileWithOriginal=1") : EditRig(general) {
    dir.write("notes/a.txt", "note a");
    dir.write("notes/b.txt", "note b");
  }
  Keywords keywords{context()};
  std::string path(const std::string& name) const { return root + "/" + name; }
  std::string stored(const std::string& name) const {
    return ini::readKey(path(name) + ".tn", "General", "keywords", "<none>");
  }
  void kw(const std::string& text, const std::string& name = "a.txt") {
    multibar.content = text;
    keywords.multibarCommand(text, path(name));
  }
  std::string globalSection() const { return dir.read("home/vellumark.ini"); }
};

TEST(Keywords, CompanionValueSplitsAtCommas) {
  EXPECT_EQ(splitKeywords(",,a,,b,"), (Strings{"a", "b"}));
  EXPECT_EQ(splitKeywords("two words, spaced "), (Strings{"two words", " spaced "}));
  EXPECT_EQ(splitKeywords("a,A,b"), (Strings{"a", "b"}));  // the same keyword ignoring case
  EXPECT_EQ(splitKeywords(""), Strings{});
  EXPECT_EQ(joinKeywords({"a", "b c"}), "a,b c");
}

TEST(Keywords, LongValuesAreCutAsRead) {
  // 600 bytes: only the first 519 are read, so the keyword across the cut is shortened.
  std::string value = std::string(300, 'a') + "," + std::string(299, 'b');
  Strings read = splitKeywords(value);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], std::string(258, 'a'));  // a keyword keeps 258 bytes
  EXPECT_EQ(read[1], std::string(519 - 301, 'b'));

  // The cut never splits a character.
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "\xc3\xa9";  // é
  Strings w = splitKeywords(wide);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].size(), 258u);

  // 300 keywords: what fits in the 519 bytes, in order; the one across the cut is shortened.
  std::string many;
  for (int i = 0; i < 300; ++i) many += (i ? ",k" : "k") + std::to_string(i);
  Strings r = splitKeywords(many);
  ASSERT_GT(r.size(), 100u);
  ASSERT_LT(r.size(), 259u);
  for (std::size_t i = 0; i + 1 < r.size(); ++i) EXPECT_EQ(r[i], "k" + std::to_string(i));
  EXPECT_EQ(joinKeywords(r), many.substr(0, 519));
}

TEST(Keywords, KwAddsOnceAndSaysSo) {
  KeywordRig h;
  h.kw("kw urgent");
  EXPECT_EQ(h.stored("a.txt"), "urgent");
  EXPECT_EQ(h.message(), "Added keyword 'urgent' to list");
  EXPECT_EQ(h.multibar.content, "");
  h.kw("kw URGENT");
  EXPECT_EQ(h.message(), "Keyword 'URGENT' already in list");
  EXPECT_EQ(h.stored("a.txt"), "urgent");
  h.kw("kw later on");
  EXPECT_EQ(h.stored("a.txt"), "urgent,later on");
  EXPECT_TRUE(h.keywords.fileHasKeyword(h.path("a.txt"), "Later On"));
  EXPECT_FALSE(h.keywords.fileHasKeyword(h.path("b.txt"), "urgent"));
  // The global list has both, once each.
  EXPECT_EQ(h.keywords.globalList(), (Strings{"urgent", "later on"}));
  EXPECT_NE(h.globalSection().find("[keywords]\nurgent=\nlater on="), std::string::npos);
}

TEST(Keywords, KwDropsTheCharacterAfterKwAndClearsOnNothing) {
  KeywordRig h;
  h.kw("kwurgent");
  EXPECT_EQ(h.stored("a.txt"), "rgent");
  h.kw("kw ");
  EXPECT_EQ(h.stored("a.txt"), "");
  EXPECT_EQ(h.multibar.content, "");
  h.kw("kw");
  EXPECT_EQ(h.stored("a.txt"), "");
  h.kw("kw\xc3\xa9x");  // the dropped character is a whole character
  EXPECT_EQ(h.stored("a.txt"), "x");
}

TEST(Keywords, KwWithoutAFileDoesNothing) {
  KeywordRig h;
  h.multibar.content = "kw urgent";
  h.keywords.multibarCommand("kw urgent", "");
  EXPECT_EQ(h.multibar.content, "kw urgent");
  EXPECT_TRUE(h.keywords.globalList().empty());
}

TEST(Keywords, KwRefusesAComma) {
  KeywordRig h;
  h.kw("kw a,b");
  EXPECT_EQ(h.stored("a.txt"), "<none>");
  EXPECT_EQ(h.multibar.content, "kw a,b");  // kept to be corrected
  EXPECT_FALSE(h.message().empty());

}

TEST(Keywords, WritingKeepsTheCompanionsOtherKeys) {
  KeywordRig h;
  h.dir.write("notes/a.txt.tn", "[General]\nColumnWidths=10,20\nkeywords=" + std::string(600, 'x') + "\n[Other]\nk=v\n");
  h.kw("kw new");
  EXPECT_EQ(h.stored("a.txt"), std::string(258, 'x') + ",new");
  EXPECT_EQ(ini::readKey(h.path("a.txt.tn"), "General", "ColumnWidths", ""), "10,20");
  EXPECT_EQ(ini::readKey(h.path("a.txt.tn"), "Other", "k", ""), "v");
}

TEST(Keywords, AutoAddOffKeepsTheGlobalListAsItWas) {
  KeywordRig h("TnFileWithOriginal=1\nKeywordsAutoAdd=0");
  h.kw("kw private");
  EXPECT_EQ(h.stored("a.txt"), "private");
  EXPECT_TRUE(h.keywords.globalList().empty());
  h.roots.current().selectedFile = "b.txt";
  h.keywords.showDialog(h.path("b.txt"));
  EXPECT_TRUE(h.dialogs.keywordsChoices.empty());
}

TEST(Keywords, CentralCompanionIsCreatedWithItsFileName) {
  EditRig h;  // TnFileWithOriginal off by default
  h.dir.write("notes/x.txt", "x");
  Keywords k(h.context());
  const std::string file = h.root + "/x.txt";
  EXPECT_TRUE(k.fileKeywords(file).empty());
  std::string name = file.substr(1);
  for (char& c : name)
    if (c == '/') c = '_';
  const std::string companion = h.env.home.string() + "/file_info/" + name + ".tn";
  EXPECT_EQ(ini::readKey(companion, "General", "FileName", ""), file);
  EXPECT_EQ(ini::readKey(companion, "General", "keywords", "<none>"), "<none>");
  h.multibar.content = "kw central";
  k.multibarCommand("kw central", file);
  EXPECT_EQ(ini::readKey(companion, "General", "keywords", ""), "central");
  EXPECT_FALSE(pathExists(file + ".tn"));
}

TEST(Keywords, DialogShowsAddsDeletesAndWritesOnOk) {
  KeywordRig h;
  h.dir.write("notes/a.txt.tn", "[General]\nkeywords=zeta,Alpha,mid\n");
  h.keywords.addGlobal("pear");
  h.keywords.addGlobal("Apple");
  h.dialogs.keywordsUser = [](KeywordsDialogModel& m) {
    EXPECT_EQ(m.add(""), -1);
    EXPECT_EQ(m.add("MID"), -1);  // saved already
    EXPECT_EQ(m.add("beta"), 1);  // Alpha, beta, mid, zeta
    EXPECT_EQ(m.add("beta"), 2);  // twice before OK stands twice
    EXPECT_EQ(m.add("a,b"), -1);
    m.remove(3);                  // mid
    m.remove(99);
    EXPECT_EQ(m.entries(), (Strings{"Alpha", "beta", "beta", "zeta"}));
  };
  h.keywords.showDialog(h.path("a.txt"));
  EXPECT_EQ(h.dialogs.keywordsTitle, "Keywords for a.txt");
  EXPECT_EQ(h.dialogs.keywordsShown, (Strings{"Alpha", "mid", "zeta"}));
  EXPECT_EQ(h.dialogs.keywordsChoices, (Strings{"Apple", "pear"}));
  EXPECT_EQ(h.stored("a.txt"), "Alpha,beta,beta,zeta");
  EXPECT_EQ(h.keywords.globalList(), (Strings{"pear", "Apple", "beta"}));
}

TEST(Keywords, DialogListKeepsTheLast260) {
  KeywordRig h("TnFileWithOriginal=1\nKeywordsAutoAdd=0");
  h.dialogs.keywordsUser = [](KeywordsDialogModel& m) {
    for (int i = 0; i < 270; ++i) m.add(format("k%03d", i));
    ASSERT_EQ(m.entries().size(), 260u);
    // Each add past 260 dropped the first entry in sorted order.
    EXPECT_EQ(m.entries().front(), "k010");
    EXPECT_EQ(m.entries().back(), "k269");
  };
  h.keywords.showDialog(h.path("a.txt"));
  EXPECT_EQ(splitKeywords(h.stored("a.txt")).front(), "k010");
}

TEST(Keywords, DialogEmptiedWritesAnEmptyValue) {
  KeywordRig h;
  h.dir.write("notes/a.txt.tn", "[General]\nkeywords=one\n");
  h.dialogs.keywordsUser = [](KeywordsDialogModel& m) { m.remove(0); };
  h.keywords.showDialog(h.path("a.txt"));
  EXPECT_EQ(h.stored("a.txt"), "");
}

TEST(Keywords, NoteMenuItemOpensTheDialogForTheOpenNote) {
  KeywordRig h;
  ASSERT_TRUE(h.openNew("c.txt", "text"));
  ASSERT_NE(h.menus.find(cmd::kKeywords), nullptr);
  EXPECT_EQ(h.menus.find(cmd::kKeywords)->text, "  Keywords  ");
  h.dialogs.keywordsUser = [](KeywordsDialogModel& m) { m.add("from menu"); };
  EXPECT_TRUE(h.viewer.command(cmd::kKeywords));
  EXPECT_EQ(h.dialogs.keywordsTitle, "Keywords for c.txt");
  EXPECT_EQ(h.stored("c.txt"), "from menu");
}

}  // namespace
}  // namespace vm
