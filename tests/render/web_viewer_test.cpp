#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/commands.h"
#include "core/context.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "platform/fs.h"
#include "render/web_viewer.h"

namespace vm {
namespace {

using test::FakeWebView;
using test::FeatureParts;

// The web viewer on its own: one root "notes", a fake web view, and hooks
// standing in for the File List (a set of listed names) and for the App's
// open moves, which they record.
struct WebRig : FeatureParts {
  std::string root = dir.mkdir("notes").string();
  FakeWebView web;
  bool shown = true;
  int pageChanges = 0;
  std::set<std::string> listed;
  std::set<std::string> textNotes;
  std::vector<std::string> opened;  // listed files opened after Back or Forward
  std::vector<std::string> linked;  // notes named by links
  WebViewer viewer{context(),
                   WebHooks{[this] { return shown; }, [this] { ++pageChanges; },
                            [this](const std::string& n) { return listed.count(n) > 0; },
                            [this](const std::string& n) { return textNotes.count(n) > 0; },
                            [this](const std::string& n) { opened.push_back(n); },
                            [this](const std::string& n) { linked.push_back(n); }}};

  explicit WebRig(const std::string& general = "") : FeatureParts(general) {
    env.tempDir = dir.mkdir("tmp");
    env.supportDir = dir.mkdir("support");
    ports.web = &web;
    roots.add(root, root, "Notes", ".txt", ".txt", [](const std::string&) {});
    menus.menus().push_back(Menu{"&File", {}});
    menus.menus().push_back(Menu{"&Tools", {MenuItem{cmd::kSwitchMode, " Switch to &View mode", "", false, false, true, {}}}});
    viewer.init();
  }
  bool open(const std::string& name, const std::string& content) {
    dir.write("notes/" + name, content);
    listed.insert(name);
    roots.current().selectedFile = name;
    return viewer.open(false);
  }
  bool toolsHas(int id) const {
    const auto& items = menus.menus()[1].items;
    return std::any_of(items.begin(), items.end(), [id](const MenuItem& i) { return i.id == id; });
  }
};

TEST(WebViewer, RenderedNoteIsAPageOfItsOwnWithPrintInToolsAndTheFileNameAsTitle) {
  WebRig rig;
  ASSERT_TRUE(rig.open("plan.md", "# Plan\n\nsteps\n"));
  EXPECT_EQ(rig.viewer.pageKind(), 2);
  ASSERT_EQ(rig.web.visited.size(), 1u);
  EXPECT_TRUE(rig.web.visible);
  EXPECT_NE(readWholeFile(rig.web.last()).value_or("").find("Plan"), std::string::npos);
  EXPECT_GE(rig.pageChanges, 1);
  EXPECT_TRUE(rig.toolsHas(cmd::kPrint));
  EXPECT_EQ(rig.status.title(), "plan.md");
  // A rendered note keeps its file name whatever the page calls itself.
  rig.viewer.pageTitleChanged("Plan");
  EXPECT_EQ(rig.status.title(), "plan.md");
  EXPECT_TRUE(rig.viewer.command(cmd::kPrint));
  ASSERT_EQ(rig.web.printed.size(), 1u);

  rig.viewer.close();
  EXPECT_EQ(rig.viewer.pageKind(), 0);
  EXPECT_FALSE(rig.web.visible);
  EXPECT_EQ(rig.web.last(), "about:blank");
  EXPECT_FALSE(rig.toolsHas(cmd::kPrint));
}

TEST(WebViewer, HiddenViewerAddsNoMenuItemsPrintsNothingAndIgnoresTitles) {
  WebRig rig;
  rig.shown = false;
  ASSERT_TRUE(rig.open("page.html", "<title>x</title>"));
  EXPECT_EQ(rig.viewer.pageKind(), 3);
  EXPECT_FALSE(rig.toolsHas(cmd::kPrint));
  rig.viewer.print();
  EXPECT_TRUE(rig.web.printed.empty());
  rig.viewer.back();
  rig.viewer.pageTitleChanged("page.html");
  EXPECT_EQ(rig.status.title(), "page.html");  // the file name set on open, not the page's
  EXPECT_TRUE(rig.opened.empty());
}

TEST(WebViewer, AfterBackATitleNamingAnotherListedFileOpensThatFileOnce) {
  WebRig rig;
  ASSERT_TRUE(rig.open("b.md", "b\n"));
  rig.listed.insert("a.md");
  rig.viewer.back();
  EXPECT_EQ(rig.web.backs, 1);
  rig.viewer.pageTitleChanged("a.md");
  EXPECT_EQ(rig.status.title(), "a.md");
  EXPECT_EQ(rig.opened, std::vector<std::string>{"a.md"});
  // Only the first title after the move may open a file.
  rig.viewer.pageTitleChanged("b.md");
  EXPECT_EQ(rig.opened.size(), 1u);
  // Back with no page before: nothing follows the next title.
  rig.web.canGoBack = false;
  EXPECT_FALSE(rig.viewer.backFromKey());
}

TEST(WebViewer, AddressesAndSearchesShowDirectlyAndTakeThePageTitle) {
  WebRig rig("BrowserSearchString=https://find.example/?q=");
  rig.viewer.showAddress("???two words");
  EXPECT_EQ(rig.viewer.pageKind(), 3);
  EXPECT_EQ(rig.web.last(), "https://find.example/?q=two+words");
  rig.viewer.pageTitleChanged("Results");
  EXPECT_EQ(rig.status.title(), "Results");
  rig.viewer.showAddress("https://example.org/");
  EXPECT_EQ(rig.web.last(), "https://example.org/");
  EXPECT_TRUE(rig.opened.empty());
}

TEST(WebViewer, LinksToListedNotesOfTheFolderGoToTheLinkedNoteHook) {
  WebRig rig;
  rig.dir.write("notes/todo.md", "x");
  rig.dir.write("notes/plain.txt", "x");
  rig.dir.write("notes/photo.bin", "x");
  rig.listed = {"todo.md", "plain.txt", "photo.bin"};
  rig.textNotes = {"plain.txt"};
  const std::string folder = rig.root + "/";
  EXPECT_TRUE(rig.viewer.isNoteFileLink(folder + "todo.md"));
  EXPECT_TRUE(rig.viewer.isNoteFileLink(folder + "sub/../plain.txt"));
  EXPECT_FALSE(rig.viewer.isNoteFileLink(folder + "photo.bin"));  // neither text nor a page source
  rig.listed.erase("todo.md");
  EXPECT_FALSE(rig.viewer.isNoteFileLink(folder + "todo.md"));
  rig.dir.write("other/plain.txt", "x");
  EXPECT_FALSE(rig.viewer.isNoteFileLink((rig.dir.path() / "other/plain.txt").string()));
  EXPECT_FALSE(rig.viewer.isNoteFileLink(""));

  rig.viewer.noteFileLinkClicked(folder + "photo.bin");
  EXPECT_TRUE(rig.linked.empty());
  rig.viewer.noteFileLinkClicked(folder + "plain.txt");
  rig.viewer.pageLinkClicked("tn:My%20Note");
  EXPECT_EQ(rig.linked, (std::vector<std::string>{"plain.txt", "My Note"}));
}

TEST(WebViewer, PageStyleSheetTakesThePickThenTheDarkTwinOfTheDefault) {
  const std::vector<std::string> sheets{"markup-dark.css", "markup.css", "paper.css"};
  EXPECT_EQ(pageStyleSheet("", "markup.css", false, sheets), "markup.css");
  EXPECT_EQ(pageStyleSheet("", "markup.css", true, sheets), "markup-dark.css");
  EXPECT_EQ(pageStyleSheet("", "Markup.CSS", true, {"MARKUP-DARK.CSS"}), "MARKUP-DARK.CSS");
  // Another sheet named in the settings or picked from the menu stays.
  EXPECT_EQ(pageStyleSheet("", "paper.css", true, sheets), "paper.css");
  EXPECT_EQ(pageStyleSheet("markup.css", "markup.css", true, sheets), "markup.css");
  EXPECT_EQ(pageStyleSheet("paper.css", "markup.css", false, sheets), "paper.css");
  // No dark twin in the support folder, or no sheet at all.
  EXPECT_EQ(pageStyleSheet("", "markup.css", true, {"markup.css", "paper.css"}), "markup.css");
  EXPECT_EQ(pageStyleSheet("", "", true, sheets), "");
}

}  // namespace
}  // namespace vm
