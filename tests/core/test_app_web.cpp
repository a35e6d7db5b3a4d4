#include <gtest/gtest.h>

#include <filesystem>

#include "core/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace fs = std::filesystem;
using test::AppHarness;

// One root "Notes", View mode, two style sheets in the support folder.
struct WebHarness : test::RootHarness {
  explicit WebHarness(const std::string& general = "") : RootHarness(general) {
    dir.write("home/support/markup.css", "body{}");
    dir.write("home/support/dark.css", "body{background:#000}");
  }
  // The program starts in Edit mode; these tests want View mode.
  App& start() {
    App& a = AppHarness::start();
    a.command(cmd::kCtrlE);
    return a;
  }
  std::string page() const {
    return readWholeFile(web.last()).value_or("");
  }
  const MenuItem* item(int id) { return app().menus().find(id); }
};

TEST(WebViewer, MarkdownNoteRenderedWithStyleSheets) {
  WebHarness h;
  h.dir.write("notes/Plan.MD", "Title\n=====\n~~old~~ [Shopping List]\n");
  h.dir.write("notes/a.txt", "text");
  App& app = h.start();
  h.open("Plan.MD");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(app.pageKind(), 2);
  EXPECT_TRUE(h.web.visible);
  EXPECT_EQ(fs::path(h.web.last()).parent_path(), h.env.tempDir);
  EXPECT_TRUE(fs::path(h.web.last()).filename().string().starts_with("tn"));
  std::string page = h.page();
  EXPECT_NE(page.find("<title>Plan.MD</title>"), std::string::npos);
  EXPECT_NE(page.find("<base href=\"file://" + h.root + "\\\">"), std::string::npos);
  EXPECT_NE(page.find(h.support + "/markup.css"), std::string::npos);
  EXPECT_NE(page.find("<del>old</del>"), std::string::npos);
  EXPECT_NE(page.find("tn:Shopping"), std::string::npos);  // the wiki pass ran first
  EXPECT_EQ(app.status().title(), "Plan.MD");
  EXPECT_EQ(app.toolbar().find(cmd::kToolNewBack)->tip, "Back");
  EXPECT_EQ(app.toolbar().find(cmd::kToolSaveForward)->tip, "Forward");
  ASSERT_NE(h.item(cmd::kPrint), nullptr);
  const MenuItem* css = h.item(cmd::kStyleSheetMenu);
  ASSERT_NE(css, nullptr);
  ASSERT_EQ(css->children.size(), 2u);
  EXPECT_EQ(css->children[0].text, "dark.css");
  EXPECT_TRUE(css->children[1].checked);  // markup.css is in use

  // Choosing a sheet re-renders with it; the INI keeps its value.
  const std::size_t pages = h.web.visited.size();
  app.command(cmd::kStyleSheetFirst);
  EXPECT_GT(h.web.visited.size(), pages);
  EXPECT_NE(h.page().find(h.support + "/dark.css"), std::string::npos);
  EXPECT_TRUE(h.item(cmd::kStyleSheetFirst)->checked);
  EXPECT_EQ(app.store().getText("MarkupCSS", "none"), "none");
  EXPECT_EQ(app.currentStyleSheet(), "dark.css");

  // A deleted sheet: the page goes without its link line.
  fs::remove(h.support + "/dark.css");
  h.open("Plan.MD");
  EXPECT_EQ(h.page().find("<link"), std::string::npos);

  // Leaving for a text note blanks and hides the view and drops the page items.
  h.open("a.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(h.web.last(), "about:blank");
  EXPECT_FALSE(h.web.visible);
  EXPECT_EQ(h.item(cmd::kPrint), nullptr);
  EXPECT_EQ(app.toolbar().find(cmd::kToolNewBack)->tip, "New");

  app.shutDown();  // rendered pages go with the program
  for (const auto& e : fs::directory_iterator(h.env.tempDir))
    EXPECT_FALSE(e.path().filename().string().starts_with("tn")) << e.path();
}

TEST(WebViewer, SettingsChooseTheRenderChain) {
  WebHarness h("SaveCSSOnChange=1\nMarkdownDoPreWiki=no\nWebExtraExtensions=mkd,page\nMarkdownExtraExtensions=mkd\n");
  h.dir.write("notes/a.mkd", "[Not a link]\n");
  h.dir.write("notes/b.page", "<p>as is</p>");
  h.dir.write("notes/c.wki", "[Link]\n");
  App& app = h.start();
  h.open("a.mkd");
  EXPECT_EQ(app.pageKind(), 2);
  EXPECT_EQ(h.page().find("tn:"), std::string::npos);  // no wiki pass
  app.command(cmd::kStyleSheetFirst);
  EXPECT_EQ(app.store().getText("MarkupCSS", ""), "dark.css");  // kept for the next start
  h.open("b.page");
  EXPECT_EQ(app.pageKind(), 3);
  EXPECT_EQ(h.web.last(), h.root + "/b.page");
  EXPECT_EQ(h.item(cmd::kStyleSheetMenu), nullptr);  // style sheets only for rendered pages
  h.open("c.wki");
  EXPECT_NE(h.page().find("href=\"tn:Link\""), std::string::npos);
}

TEST(WebViewer, ImagePages) {
  WebHarness h;
  h.dir.write("notes/photo.png", "png");
  App& app = h.start();
  h.open("photo.png");  // before the pane has a size
  EXPECT_EQ(app.pageKind(), 1);
  EXPECT_EQ(h.web.last(), h.home + "/temp.html");
  EXPECT_NE(h.page().find("max-width: expression"), std::string::npos);
  h.web.width = 800;
  h.web.height = 600;
  h.open("photo.png");
  EXPECT_NE(h.page().find("width='773'"), std::string::npos);
  app.command(cmd::kStyleSheetFirst);  // another sheet than markup.css: the styled page
  EXPECT_NE(h.page().find("<table id='imgtable'><td><img src='" + h.root + "/photo.png'>"), std::string::npos);

  fs::remove(h.home + "/temp.html");
  fs::create_directory(h.home + "/temp.html");  // cannot be written
  h.open("photo.png");
  EXPECT_EQ(app.status().message(), "Error writing temp file");
}

TEST(WebViewer, PageLinksOpenOrCreateNotes) {
  WebHarness h;
  h.dir.write("notes/Start.md", "[Shopping List]");
  h.dir.write("notes/Shopping List.txt", "milk");
  App& app = h.start();
  h.open("Start.md");
  app.pageLinkClicked("tn:Shopping%20List");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(app.fileList().selectedName(), "Shopping List.txt");
  EXPECT_EQ(h.editor.content, "milk");
  EXPECT_GT(h.editor.focusCount, 0);  // the page that had the focus is gone

  h.open("Start.md");
  app.pageLinkClicked("tn:Start.md");  // an exact name is taken as it is
  EXPECT_EQ(app.fileList().selectedName(), "Start.md");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);

  app.pageLinkClicked("tn:Ideas:%20new?");
  EXPECT_TRUE(fs::exists(h.root + "/Ideas_ new_.txt"));
  EXPECT_EQ(app.fileList().selectedName(), "Ideas_ new_.txt");
  app.pageLinkClicked("tn:");  // no name: nothing happens
  EXPECT_EQ(app.fileList().selectedName(), "Ideas_ new_.txt");
}

TEST(WebViewer, MultibarAddressesAndSearches) {
  WebHarness h("BrowserSearchString=https://search.example/search?q=");
  h.dir.write("notes/a.txt", "text");
  App& app = h.start();
  h.open("a.txt");
  h.multibar.content = "www.example.org";
  app.multibarEnter(false);
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(h.web.last(), "www.example.org");
  EXPECT_EQ(app.pageKind(), 3);
  EXPECT_EQ(h.multibar.content, "");
  EXPECT_EQ(app.fileList().selected(), -1);
  app.pageTitleChanged("Example Domain");
  EXPECT_EQ(app.status().title(), "Example Domain");

  h.multibar.content = "??? a+b c";
  app.multibarEnter(false);
  EXPECT_EQ(h.web.last(), "https://search.example/search?q=+a%2Bb+c");
}

TEST(WebViewer, PageCommands) {
  WebHarness h;
  h.dir.write("notes/one.md", "1");
  h.dir.write("notes/two.md", "2");
  App& app = h.start();
  h.open("one.md");
  h.open("two.md");
  app.command(cmd::kToolNewBack);
  EXPECT_EQ(h.web.backs, 1);
  app.pageTitleChanged("one.md");  // Back reached the page of a listed file: it is opened again
  EXPECT_EQ(app.fileList().selectedName(), "one.md");
  app.command(cmd::kCtrlB);
  EXPECT_EQ(h.web.backs, 2);
  app.command(cmd::kToolSaveForward);
  EXPECT_EQ(h.web.forwards, 1);
  app.command(cmd::kPasteDate);  // F5 reloads the page
  EXPECT_EQ(h.web.refreshes, 1);
  h.window.focused = cmd::kMultibar;
  app.command(cmd::kPasteDate);  // ...but pastes the date in the Multibar
  EXPECT_EQ(h.web.refreshes, 1);
  EXPECT_FALSE(h.multibar.content.empty());
  app.command(cmd::kPrint);
  ASSERT_EQ(h.web.printed.size(), 1u);
  EXPECT_EQ(h.web.printed[0], "one.md");
  app.store().set("PrintTitle", "no");
  app.command(cmd::kPrint);
  EXPECT_EQ(h.web.printed.back(), "   ");
  app.command(cmd::kWebCopy);
  EXPECT_EQ(h.web.copies, 1);
}

}  // namespace
}  // namespace vm
