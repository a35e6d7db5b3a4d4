#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/browser.h"
#include "core/commands.h"
#include "fakes/feature_parts.h"

namespace vm {
namespace {

using test::FeatureParts;

// The browser on its own: two roots in a temporary folder, the shared parts
// a feature gets, and counters for what it tells the window.
struct BrowserRig : FeatureParts {
  int rootListChanges = 0, labelChanges = 0;
  Browser browser{context(), BrowserHooks{[this] { ++rootListChanges; }, [this] { ++labelChanges; }}};

  explicit BrowserRig(const std::string& general = "") : FeatureParts(general) {
    auto quiet = [](const std::string&) {};
    roots.add(root("zeta"), root("zeta"), "zeta", "", ".txt", quiet);
    roots.add(root("Alpha"), root("Alpha"), "Alpha", "", ".txt", quiet);
    roots.add(root("beta"), root("beta"), "beta", "", ".txt", quiet);
    menus.menus().push_back(Menu{"&File", {MenuItem{cmd::kExit, "   E&xit   \tAlt+F4", "Alt+F4", false, false, true, {}}}});
  }
  std::string root(const std::string& name) { return dir.mkdir("roots/" + name).string(); }
  std::vector<std::string> fileNames() {
    std::vector<std::string> names;
    for (int i = 0; i < browser.fileList().size(); ++i) names.push_back(browser.fileList().at(i).name);
    return names;
  }
  std::vector<std::string> fileMenuTexts() const {
    std::vector<std::string> texts;
    for (const MenuItem& i : menus.menus()[0].items) texts.push_back(i.text);
    return texts;
  }
};

TEST(Browser, RootListSortsIgnoringCaseAndNamesTheCurrentRoot) {
  BrowserRig h;
  h.roots.setCurrent(2);
  h.browser.refillRootList();
  EXPECT_EQ(h.browser.rootListItems(), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
  EXPECT_EQ(h.browser.rootListCurrent(), "beta");
  EXPECT_EQ(h.rootListChanges, 1);
}

TEST(Browser, ListingFollowsTheRulesAndKeepsTheSelection) {
  BrowserRig h;
  for (const char* name : {"b.txt", "a.txt", ".hidden", "sub/c.txt"}) h.dir.write(std::string("roots/zeta/") + name, "x");
  RootLocation& r = h.roots.current();
  r.selectedFile = "a.txt";
  h.browser.listCurrentRoot(true);
  EXPECT_EQ(r.selectedFile, "");  // from the top: nothing chosen
  EXPECT_EQ(r.path, r.rootFolder);
  EXPECT_EQ(h.fileNames(), (std::vector<std::string>{"a.txt", "b.txt"}));  // hidden names left out
  EXPECT_GE(h.browser.folderList().find("sub"), 0);

  h.browser.fileList().selectName("b.txt");
  h.dir.write("roots/zeta/0.txt", "new");
  h.browser.relistFiles("");  // in place: the selected item stays selected
  EXPECT_EQ(h.browser.fileList().selectedName(), "b.txt");
  EXPECT_GE(h.browser.fileList().find("0.txt"), 0);
  h.dir.write("roots/zeta/copy.txt", "copy");
  h.browser.relistFiles("copy.txt");
  EXPECT_EQ(h.browser.fileList().selectedName(), "copy.txt");
}

TEST(Browser, FolderLabelFollowsTheListWidth) {
  BrowserRig h("TextWidthMultiple=10");
  RootLocation& r = h.roots.current();
  h.browser.listCurrentRoot(true);
  r.path = r.rootFolder + "/projects/2014/march";
  h.browser.setListWidth(10000);
  EXPECT_EQ(h.browser.folderLabel(), "  " + r.path);
  EXPECT_EQ(h.settings.integer(setting::ListWidth), 10000);
  const int changes = h.labelChanges;
  h.browser.updateFolderLabel();
  EXPECT_EQ(h.labelChanges, changes);  // unchanged text: no notice
  h.browser.setListWidth(120);  // twelve characters
  EXPECT_EQ(h.browser.folderLabel(), "  .../march");
  EXPECT_EQ(h.labelChanges, changes + 1);
  EXPECT_EQ(h.browser.listWidth(), 120);
}

TEST(Browser, LeftPlacesBecomeRecentFilesBeforeExit) {
  BrowserRig h;
  RootLocation place = h.roots.current();
  place.inUse = true;
  place.selectedFile = "a.txt";
  h.browser.offerRecent(place);
  EXPECT_EQ(h.fileMenuTexts(), (std::vector<std::string>{"a.txt", "", "   E&xit   \tAlt+F4"}));
  place.selectedFile = "b.txt";
  h.browser.offerRecent(place);
  EXPECT_EQ(h.fileMenuTexts(), (std::vector<std::string>{"b.txt", "a.txt", "", "   E&xit   \tAlt+F4"}));
  ASSERT_NE(h.menus.find(cmd::kShortcutFirst), nullptr);
  EXPECT_EQ(h.menus.find(cmd::kShortcutFirst)->text, "b.txt");  // newest first
  place.selectedFile.clear();
  h.browser.offerRecent(place);  // no file shown: nothing to remember
  EXPECT_EQ(h.fileMenuTexts().size(), 4u);
}

}  // namespace
}  // namespace vm
