#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/file_kinds.h"

namespace vm {
namespace {

TEST(FileKinds, ExtensionIsTextFromLastDot) {
  EXPECT_EQ(extensionOf("a.txt"), ".txt");
  EXPECT_EQ(extensionOf("archive.tar.GZ"), ".GZ");
  EXPECT_EQ(extensionOf("Makefile"), "");
  EXPECT_EQ(extensionOf(".bashrc"), ".bashrc");
  EXPECT_EQ(extensionOf("trailing."), ".");
  EXPECT_EQ(extensionOf(""), "");
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
  EXPECT_EQ(t.findViewViewer("notes.md"), kViewerWeb);
  EXPECT_EQ(t.findEditViewer("notes.md"), kViewerText);
  EXPECT_EQ(t.findViewViewer("PHOTO.PNG"), kViewerWeb);
  EXPECT_EQ(t.findEditViewer("PHOTO.PNG"), -1);
  EXPECT_EQ(t.findViewViewer("table.CSV"), kViewerSheet);
  EXPECT_EQ(t.findViewViewer("table.tsv"), kViewerSheet);
  EXPECT_EQ(t.findEditViewer("table.csv"), -1);
  EXPECT_EQ(t.findViewViewer("notes.txt"), -1);
  EXPECT_EQ(t.findViewViewer("README"), -1);
  EXPECT_EQ(t.findEditViewer("README"), -1);
}

TEST(FileKinds, KindTestsFixedListsBeforeViewerLists) {
  auto plain = ViewerTables::build({}, {}, {});
  EXPECT_EQ(plain.kindOf("a.TXT"), kKindText);
  EXPECT_EQ(plain.kindOf("a.tn"), kKindText);
  EXPECT_EQ(plain.kindOf("a.tga"), kKindImage);
  // In the text edit list too, but the fixed web list is tested first.
  EXPECT_EQ(plain.kindOf("page.html"), kKindWeb);
  EXPECT_EQ(plain.kindOf("code.js"), kKindWeb);
  EXPECT_EQ(plain.kindOf("pic.svg"), kKindWeb);
  EXPECT_EQ(plain.kindOf("a.7Z"), kKindArchive);
  EXPECT_EQ(plain.kindOf("a.Csv"), kKindSheet);
  EXPECT_EQ(plain.kindOf("a.foo"), kKindOther);
  EXPECT_EQ(plain.kindOf("noext"), kKindOther);

  // Text edit list before web view list; spreadsheet extras give no kind.
  auto t = ViewerTables::build({"foo"}, {"FOO", "bar"}, {"tsv"});
  EXPECT_EQ(t.kindOf("x.foo"), kKindText);
  EXPECT_EQ(t.kindOf("x.BAR"), kKindWeb);
  EXPECT_EQ(t.kindOf("x.tsv"), kKindOther);
}

TEST(FileKinds, FiltersUseTheirOwnSets) {
  auto t = ViewerTables::build({"foo"}, {"bar"}, {"tsv"});
  for (int f : {0, kFilterAll}) {
    EXPECT_TRUE(t.passesFilter("README", f));
    EXPECT_TRUE(t.passesFilter("x.zip", f));
  }
  EXPECT_TRUE(t.passesFilter("a.txt", kFilterText));
  EXPECT_TRUE(t.passesFilter("a.FOO", kFilterText));
  EXPECT_TRUE(t.passesFilter("a.html", kFilterText));  // in the text edit list
  EXPECT_FALSE(t.passesFilter("a.png", kFilterText));
  EXPECT_FALSE(t.passesFilter("README", kFilterText));

  EXPECT_TRUE(t.passesFilter("a.TGA", kFilterImage));
  EXPECT_FALSE(t.passesFilter("a.svg", kFilterImage));

  EXPECT_TRUE(t.passesFilter("a.csv", kFilterSheet));
  EXPECT_FALSE(t.passesFilter("a.tsv", kFilterSheet));  // configured, but not a .csv

  EXPECT_TRUE(t.passesFilter("a.crx", kFilterArchive));
  EXPECT_FALSE(t.passesFilter("a.tar", kFilterArchive));

  EXPECT_TRUE(t.passesFilter("a.svg", kFilterWeb));
  EXPECT_TRUE(t.passesFilter("a.bar", kFilterWeb));
  EXPECT_TRUE(t.passesFilter("a.png", kFilterWeb));  // in the web view list
  EXPECT_FALSE(t.passesFilter("a.foo", kFilterWeb));
}

}  // namespace
}  // namespace vm
