#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "browse/backlinks.h"
#include "fakes/temp_dir.h"

namespace vm {
namespace {

using test::TempDir;
using Notes = std::vector<std::string>;

TEST(Backlinks, PageLinksNameTheNoteWithOrWithoutItsExtension) {
  const std::string name = "Shopping List.txt";
  EXPECT_TRUE(linksTo("buy [Shopping List] today", name));
  EXPECT_TRUE(linksTo("buy [ shopping list ] today", name));
  EXPECT_TRUE(linksTo("[Shopping List.TXT]", name));
  EXPECT_TRUE(linksTo("see [[Shopping List][my list]]", name));
  EXPECT_TRUE(linksTo("<a href=\"tn:Shopping%20List\">x</a>", name));
  EXPECT_TRUE(linksTo("tn:shopping%20list.txt", name));
  EXPECT_FALSE(linksTo("[Shopping Lists]", name));
  EXPECT_FALSE(linksTo("[Shopping]", name));
  EXPECT_FALSE(linksTo("Shopping List without brackets", name));
  EXPECT_FALSE(linksTo("tn:Shopping%20List%202", name));
  // The text of a [[target][text]] link is no target.
  EXPECT_FALSE(linksTo("[[Other][Shopping List]]", name));
  // Escaped, and the forms left to Markdown or pictures.
  EXPECT_FALSE(linksTo("\\[Shopping List]", name));
  EXPECT_FALSE(linksTo("[$Shopping List$]", name));
  EXPECT_FALSE(linksTo("[Shopping\nList]", name));
}

TEST(Backlinks, MarkdownLinksNameTheFile) {
  const std::string name = "Road Map.md";
  EXPECT_TRUE(linksTo("see [the plan](Road%20Map.md)", name));
  EXPECT_TRUE(linksTo("see [the plan](../work/road%20map.md \"title\")", name));
  EXPECT_TRUE(linksTo("see [the plan](<Road Map.md>)", name));
  EXPECT_TRUE(linksTo("[plan]: Road%20Map.md#goals", name));
  EXPECT_TRUE(linksTo("see [the plan](sub\\Road%20Map.md)", name));
  EXPECT_FALSE(linksTo("see [the plan](Road%20Map.txt)", name));
  EXPECT_FALSE(linksTo("see [the plan](https://example.org/Road%20Map.md)", name));
  EXPECT_FALSE(linksTo("see [Road Map](other.md)", name));  // the link text is no target
  EXPECT_FALSE(linksTo("see [the plan](Old%20Road%20Map.md)", name));
}

struct Tree {
  TempDir dir;
  std::string root = dir.str();
  void write(const std::string& rel, const std::string& content) { dir.write(rel, content); }
  BacklinkResult links(const std::string& noteRel, const SearchPump& pump = {}) {
    return linksToNote(root, dir.path() / noteRel, pump);
  }
};

TEST(Backlinks, WalksTheRootSkippingPicturesHiddenFoldersAndOtherFiles) {
  Tree t;
  t.write("Target.txt", "a link to myself: [Target]");
  t.write("b.txt", "see [Target]");
  t.write("A.md", "[x](Target.txt)");
  t.write("sub/deeper/c.wiki", "[[Target][the target]]");
  t.write("sub/d.wki", "tn:Target");
  t.write("sub/no.txt", "Target");
  t.write("imgs/e.txt", "[Target]");
  t.write(".hidden/f.txt", "[Target]");
  t.write("g.csv", "[Target]");
  t.write("h.html", "<a href=\"tn:Target\">");
  const auto r = t.links("Target.txt");
  EXPECT_EQ(r.notes, (Notes{"A.md", "b.txt", "sub/d.wki", "sub/deeper/c.wiki"}));
  EXPECT_FALSE(r.stopped);
}

TEST(Backlinks, AwkwardFilesAndLoopsDoNotStopTheWalk) {
  Tree t;
  t.write("Target.txt", "");
  t.write("bin.txt", std::string("\0\xFF[Target]\0", 11));
  t.write("latin.txt", "caf\xE9 [Target]");
  std::filesystem::create_symlink(t.root, t.dir.path() / "loop");
  std::filesystem::create_symlink(t.dir.path() / "gone.txt", t.dir.path() / "dangling.txt");
  ASSERT_EQ(::mkfifo((t.dir.path() / "pipe.txt").c_str(), 0600), 0);
  const auto r = t.links("Target.txt");
  EXPECT_EQ(r.notes, (Notes{"bin.txt", "latin.txt"}));
}

TEST(Backlinks, PumpRunsBetweenFilesAndCanStop) {
  Tree t;
  t.write("Target.txt", "");
  for (int i = 0; i < 10; ++i) t.write("n" + std::to_string(i) + ".txt", "[Target]");
  int pumps = 0;
  auto all = t.links("Target.txt", [&] { return ++pumps, true; });
  EXPECT_EQ(all.notes.size(), 10u);
  EXPECT_GE(pumps, 10);
  pumps = 0;
  auto part = t.links("Target.txt", [&] { return ++pumps < 3; });
  EXPECT_TRUE(part.stopped);
  EXPECT_LT(part.notes.size(), 10u);
}

TEST(Backlinks, NamesWithoutLettersOrDigitsAreFoundToo) {
  Tree t;
  t.write("äö.txt", "");
  t.write("a.txt", "[ÄÖ]");
  t.write("b.txt", "[äöü]");
  EXPECT_EQ(t.links("äö.txt").notes, (Notes{"a.txt"}));
}

}  // namespace
}  // namespace vm
