#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/file_kinds.h"

namespace vm {
namespace {

TEST(FileKinds, ExtensionIsTextFromLastDot) {
  for (auto [name, ext] : {std::pair{"a.txt", ".txt"}, {"archive.tar.GZ", ".GZ"}, {"Makefile", ""}, {".bashrc", ".bashrc"},
                           {"trailing.", "."}, {"", ""}})
    EXPECT_EQ(extensionOf(name), ext) << name;
}

TEST(FileKinds, BuildAddsDotsSkipsDuplicatesAndCaps) {
  auto t = ViewerTables::build({"log2", ".Ext", "TXT", "", "log2"}, {"webp"}, {"tsv", ".CSV"});
  const auto& text = t.edit[kViewerText];
  ASSERT_EQ(text.size(), 22u);  // 20 built in, then ".log2" and ".Ext"
  EXPECT_EQ(text.front(), ".txt");
  EXPECT_EQ(text[19], ".tn");
  EXPECT_EQ(text[20], ".log2");
  EXPECT_EQ(text[21], ".ext");  // kept folded
  EXPECT_EQ(t.view[kViewerWeb].size(), 10u);
  EXPECT_EQ(t.view[kViewerWeb].back(), ".webp");
  EXPECT_EQ(t.view[kViewerSheet], (std::vector<std::string>{".csv", ".tsv"}));
  EXPECT_TRUE(t.view[kViewerText].empty());
  EXPECT_TRUE(t.edit[kViewerWeb].empty());
  EXPECT_TRUE(t.edit[kViewerSheet].empty());

  std::vector<std::string> many;
  for (int i = 0; i < 400; ++i) many.push_back("x" + std::to_string(i));
  auto capped = ViewerTables::build(many, many, many);
  EXPECT_EQ(capped.edit[kViewerText].size(), 260u);
  EXPECT_EQ(capped.view[kViewerWeb].size(), 260u);
  EXPECT_EQ(capped.view[kViewerSheet].size(), 260u);
}

TEST(FileKinds, ViewerLookupFollowsSlotOrder) {
  auto t = ViewerTables::build({}, {}, {"tsv"});
  struct Case { const char* name; int view, edit; };
  for (auto c : {Case{"notes.md", kViewerWeb, kViewerText}, {"PHOTO.PNG", kViewerWeb, -1}, {"table.CSV", kViewerSheet, -1},
                 {"table.tsv", kViewerSheet, -1}, {"notes.txt", -1, kViewerText}, {"README", -1, -1}}) {
    EXPECT_EQ(t.findViewViewer(c.name), c.view) << c.name;
    EXPECT_EQ(t.findEditViewer(c.name), c.edit) << c.name;
  }
}

TEST(FileKinds, KindTestsFixedListsBeforeViewerLists) {
  auto plain = ViewerTables::build({}, {}, {});
  // .html, .js and .svg are in the text edit list too, but the fixed web list is tested first.
  for (auto [name, kind] : {std::pair{"a.TXT", kKindText}, {"a.tn", kKindText}, {"a.tga", kKindImage}, {"page.html", kKindWeb},
                            {"code.js", kKindWeb}, {"pic.svg", kKindWeb}, {"a.7Z", kKindArchive}, {"a.Csv", kKindSheet},
                            {"a.foo", kKindOther}, {"noext", kKindOther}})
    EXPECT_EQ(plain.kindOf(name), kind) << name;
  // Text edit list before web view list; spreadsheet extras give no kind.
  auto t = ViewerTables::build({"foo"}, {"FOO", "bar"}, {"tsv"});
  EXPECT_EQ(t.kindOf("x.foo"), kKindText);
  EXPECT_EQ(t.kindOf("x.BAR"), kKindWeb);
  EXPECT_EQ(t.kindOf("x.tsv"), kKindOther);
}

TEST(FileKinds, FiltersUseTheirOwnSets) {
  auto t = ViewerTables::build({"foo"}, {"bar"}, {"tsv"});
  struct Case { const char* name; int filter; bool passes; };
  for (auto c : {Case{"README", 0, true}, {"x.zip", 0, true}, {"README", kFilterAll, true}, {"x.zip", kFilterAll, true},
                 {"a.txt", kFilterText, true}, {"a.FOO", kFilterText, true},
                 {"a.html", kFilterText, true},  // in the text edit list
                 {"a.png", kFilterText, false}, {"README", kFilterText, false}, {"a.TGA", kFilterImage, true},
                 {"a.svg", kFilterImage, false}, {"a.csv", kFilterSheet, true},
                 {"a.tsv", kFilterSheet, false},  // configured, but not a .csv
                 {"a.crx", kFilterArchive, true}, {"a.tar", kFilterArchive, false}, {"a.svg", kFilterWeb, true},
                 {"a.bar", kFilterWeb, true}, {"a.png", kFilterWeb, true},  // in the web view list
                 {"a.foo", kFilterWeb, false}})
    EXPECT_EQ(t.passesFilter(c.name, c.filter), c.passes) << c.name << " " << c.filter;
}

}  // namespace
}  // namespace vm
