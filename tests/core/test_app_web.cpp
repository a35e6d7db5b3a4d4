#include <gtest/gtest.h>

#include <filesystem>

#include "app/app.h"
#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace fs = std::filesystem;

// One root "Notes", View mode, two style sheets in the support folder.
struct WebHarness : test::RootHarness {
  explicit WebHarness(const std::string& general = "") : RootHarness(general) {
    viewMode = true;
    dir.write("home/support/markup.css", "body{}");
    dir.write("home/support/dark.css", "body{background:#000}");
  }
  std::string page() const { return readWholeFile(web.last()).value_or(""); }
  bool pageHas(const std::string& part) const { return page().find(part) != std::string::npos; }
};

// The style sheets are listed when a page first needs them, not at start:
// one put into the support folder after the start is offered with the first
// page.
TEST(WebViewer, StyleSheetsAreListedWhenAPageFirstNeedsThem) {
  WebHarness h;
  h.dir.write("notes/Plan.md", "# Plan\n");
  App& app = h.start();
  EXPECT_EQ(app.currentViewer(), Viewer::Text);  // nothing rendered yet
  h.dir.write("home/support/sepia.css", "body{color:#420}");
  h.open("Plan.md");
  const MenuItem* css = h.menu(cmd::kStyleSheetMenu);
  ASSERT_NE(css, nullptr);
  ASSERT_EQ(css->children.size(), 3u);
  EXPECT_EQ(css->children[2].text, "sepia.css");
}

TEST(WebViewer, MarkdownNoteRenderedWithStyleSheets) {
  WebHarness h;
  h.dir.write("notes/a.txt", "text");
  App& app = h.startWith("Plan.MD", "Title\n=====\n~~old~~ [Shopping List]\n");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(app.pageKind(), 2);
  EXPECT_TRUE(h.web.visible);
  EXPECT_EQ(fs::path(h.web.last()).parent_path(), h.env.tempDir);
  EXPECT_TRUE(fs::path(h.web.last()).filename().string().starts_with("tn"));
  for (const std::string& part : std::vector<std::string>{"<title>Plan.MD</title>", h.support + "/markup.css",
                                                          "<base href=\"file://" + h.root + "\\\">", "<del>old</del>",
                                                          "tn:Shopping"})  // the wiki pass ran first
    EXPECT_TRUE(h.pageHas(part)) << part;
  EXPECT_EQ(h.title(), "Plan.MD");
  EXPECT_EQ(app.toolbar().find(cmd::kToolNewBack)->tip, "Back");
  EXPECT_EQ(app.toolbar().find(cmd::kToolSaveForward)->tip, "Forward");
  ASSERT_NE(h.menu(cmd::kPrint), nullptr);
  const MenuItem* css = h.menu(cmd::kStyleSheetMenu);
  ASSERT_NE(css, nullptr);
  ASSERT_EQ(css->children.size(), 2u);
  EXPECT_EQ(css->children[0].text, "dark.css");
  EXPECT_TRUE(css->children[1].checked);  // markup.css is in use

  // Choosing a sheet re-renders with it; the INI keeps its value.
  const std::size_t pages = h.web.visited.size();
  app.command(cmd::kStyleSheetFirst);
  EXPECT_GT(h.web.visited.size(), pages);
  EXPECT_TRUE(h.pageHas(h.support + "/dark.css"));
  EXPECT_TRUE(h.menu(cmd::kStyleSheetFirst)->checked);
  EXPECT_EQ(app.store().getText("MarkupCSS", "none"), "none");

  // A deleted sheet: the page goes without its link line.
  fs::remove(h.support + "/dark.css");
  h.open("Plan.MD");
  EXPECT_FALSE(h.pageHas("<link"));

  // Leaving for a text note blanks and hides the view and drops the page items.
  h.open("a.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(h.web.last(), "about:blank");
  EXPECT_FALSE(h.web.visible);
  EXPECT_EQ(h.menu(cmd::kPrint), nullptr);
  EXPECT_EQ(app.toolbar().find(cmd::kToolNewBack)->tip, "New");
}

TEST(WebViewer, SettingsChooseTheRenderChain) {
  WebHarness h("SaveCSSOnChange=1\nMarkdownDoPreWiki=no\nWebExtraExtensions=mkd,page\nMarkdownExtraExtensions=mkd\n");
  h.dir.write("notes/b.page", "<p>as is</p>");
  h.dir.write("notes/c.wki", "[Link]\n");
  App& app = h.startWith("a.mkd", "[Not a link]\n");
  EXPECT_EQ(app.pageKind(), 2);
  EXPECT_FALSE(h.pageHas("tn:"));  // no wiki pass
  app.command(cmd::kStyleSheetFirst);
  EXPECT_EQ(app.store().getText("MarkupCSS", ""), "dark.css");  // kept for the next start
  h.open("b.page");
  EXPECT_EQ(app.pageKind(), 3);
  EXPECT_EQ(h.web.last(), h.root + "/b.page");
  EXPECT_EQ(h.menu(cmd::kStyleSheetMenu), nullptr);  // style sheets only for rendered pages
  h.open("c.wki");
  EXPECT_TRUE(h.pageHas("href=\"tn:Link\""));
}

TEST(WebViewer, ImagePages) {
  WebHarness h;
  App& app = h.startWith("photo.png", "png");  // before the pane has a size
  EXPECT_EQ(app.pageKind(), 1);
  EXPECT_EQ(h.web.last(), h.home + "/temp.html");
  EXPECT_TRUE(h.pageHas("max-width: expression"));
  h.web.width = 800;
  h.web.height = 600;
  h.open("photo.png");
  EXPECT_TRUE(h.pageHas("width='773'"));
  app.command(cmd::kStyleSheetFirst);  // another sheet than markup.css: the styled page
  EXPECT_TRUE(h.pageHas("<table id='imgtable'><td><img src='" + h.root + "/photo.png'>"));

  fs::remove(h.home + "/temp.html");
  fs::create_directory(h.home + "/temp.html");  // cannot be written
  h.open("photo.png");
  EXPECT_EQ(h.message(), "Error writing temp file");
}

TEST(WebViewer, PageLinksOpenOrCreateNotes) {
  WebHarness h;
  h.dir.write("notes/Shopping List.txt", "milk");
  App& app = h.startWith("Start.md", "[Shopping List]");
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
  EXPECT_EQ(h.file("Ideas_ new_.txt"), "");
  EXPECT_EQ(app.fileList().selectedName(), "Ideas_ new_.txt");
  app.pageLinkClicked("tn:");  // no name: nothing happens
  EXPECT_EQ(app.fileList().selectedName(), "Ideas_ new_.txt");
}

TEST(WebViewer, LinksToNoteFiles) {
  WebHarness h;
  h.dir.write("notes/Other.txt", "plain");
  h.dir.write("notes/Next.md", "# Next\n");
  h.dir.write("notes/pic.png", "png");
  h.dir.write("notes/page.html", "<p>x</p>");
  h.dir.write("notes/sub/Deep.txt", "deep");
  App& app = h.startWith("Start.md", "[a](Other.txt) [b](Next.md)\n");
  EXPECT_TRUE(app.isNoteFileLink(h.root + "/Other.txt"));
  EXPECT_TRUE(app.isNoteFileLink(h.root + "/./Next.md"));
  for (const std::string& other : {h.root + "/pic.png", h.root + "/page.html", h.root + "/sub/Deep.txt",
                                   h.root + "/Gone.txt", h.root + "/sub", std::string()})
    EXPECT_FALSE(app.isNoteFileLink(other)) << other;

  app.noteFileLinkClicked(h.root + "/Next.md");  // rendered, as a Markdown note is in View mode
  EXPECT_EQ(app.fileList().selectedName(), "Next.md");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_TRUE(h.pageHas("<h1>Next</h1>"));
  app.noteFileLinkClicked(h.root + "/Other.txt");
  EXPECT_EQ(app.currentViewer(), Viewer::Text);
  EXPECT_EQ(h.editor.content, "plain");
  app.noteFileLinkClicked(h.root + "/pic.png");  // not a note: nothing happens
  EXPECT_EQ(app.fileList().selectedName(), "Other.txt");
}

TEST(WebViewer, WindowTitleNamesTheFileUnlessTheViewMoved) {
  WebHarness h("WebExtraExtensions=page\n");
  h.dir.write("notes/b.page", "<title>Inner</title>");
  App& app = h.startWith("Plan.md", "# Plan\n");
  app.pageTitleChanged("Plan page");
  EXPECT_EQ(h.title(), "Plan.md");
  h.open("b.page");
  app.pageTitleChanged("Inner");
  EXPECT_EQ(h.title(), "b.page");
  app.command(cmd::kToolNewBack);  // the view's own Back: its page names the window
  app.pageTitleChanged("Somewhere");
  EXPECT_EQ(h.title(), "Somewhere");
  h.open("Plan.md");
  app.pageTitleChanged("Plan page");
  EXPECT_EQ(h.title(), "Plan.md");
}

TEST(WebViewer, MultibarAddressesAndSearches) {
  WebHarness h("BrowserSearchString=https://search.example/search?q=");
  App& app = h.startWith("a.txt", "text");
  h.enter("www.example.org");
  EXPECT_EQ(app.currentViewer(), Viewer::Web);
  EXPECT_EQ(h.web.last(), "www.example.org");
  EXPECT_EQ(app.pageKind(), 3);
  EXPECT_EQ(h.multibar.content, "");
  EXPECT_EQ(app.fileList().selected(), -1);
  app.pageTitleChanged("Example Domain");
  EXPECT_EQ(h.title(), "Example Domain");
  h.enter("??? a+b c");
  EXPECT_EQ(h.web.last(), "https://search.example/search?q=+a%2Bb+c");
}

TEST(WebViewer, PageCommands) {
  WebHarness h;
  h.dir.write("notes/two.md", "2");
  App& app = h.startWith("one.md", "1");
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
  app.store().set("PrintTitle", "no");
  app.command(cmd::kPrint);
  EXPECT_EQ(h.web.printed, (std::vector<std::string>{"one.md", "   "}));
  app.command(cmd::kWebCopy);
  EXPECT_EQ(h.web.copies, 1);
}

TEST(WebViewer, ADarkPaletteRendersWithTheDarkSheetUntilTheUserPicksOne) {
  WebHarness h;
  h.dir.write("home/support/markup-dark.css", "body{background:#111}");
  h.dir.write("notes/pic.png", "not really a picture");
  h.web.dark = true;
  App& app = h.startWith("Plan.md", "# Plan\n");
  EXPECT_TRUE(h.pageHas(h.support + "/markup-dark.css")) << h.page();
  EXPECT_EQ(app.currentStyleSheet(), "markup-dark.css");
  const MenuItem* css = h.menu(cmd::kStyleSheetMenu);
  ASSERT_NE(css, nullptr);
  ASSERT_EQ(css->children.size(), 3u);
  EXPECT_EQ(css->children[1].text, "markup-dark.css");
  EXPECT_TRUE(css->children[1].checked);
  EXPECT_FALSE(css->children[2].checked);
  // An image page keeps its plain form: the palette is no pick of the user.
  h.open("pic.png");
  EXPECT_EQ(app.pageKind(), 1);
  EXPECT_FALSE(h.pageHas("markup-dark.css")) << h.page();

  // The light sheet picked from the menu stays, dark palette or not.
  h.open("Plan.md");
  app.command(cmd::kStyleSheetFirst + 2);
  EXPECT_TRUE(h.pageHas(h.support + "/markup.css")) << h.page();
  EXPECT_FALSE(h.pageHas("markup-dark.css"));
  h.open("Plan.md");
  EXPECT_TRUE(h.pageHas(h.support + "/markup.css"));

  // A light palette, or a sheet named in the settings, never brings the dark one.
  // While a note is shown, the desktop turning light renders it again; a
  // palette change that changes no sheet renders nothing.
  h.start();
  h.open("Plan.md");
  ASSERT_TRUE(h.pageHas("markup-dark.css"));
  std::size_t pages = h.web.visited.size();
  h.app().paletteChanged();
  EXPECT_EQ(h.web.visited.size(), pages);
  h.web.dark = false;
  h.app().paletteChanged();
  EXPECT_EQ(h.web.visited.size(), pages + 1);
  EXPECT_TRUE(h.pageHas(h.support + "/markup.css")) << h.page();
  EXPECT_EQ(h.title(), "Plan.md");
  // Another viewer shown: nothing is rendered behind it.
  h.open("pic.png");
  pages = h.web.visited.size();
  h.web.dark = true;
  h.app().paletteChanged();
  EXPECT_EQ(h.web.visited.size(), pages);
  h.web.dark = false;
  h.start();
  h.open("Plan.md");
  EXPECT_TRUE(h.pageHas(h.support + "/markup.css")) << h.page();
  h.web.dark = true;
  h.settings("MarkupCSS=dark.css");
  h.start();
  h.open("Plan.md");
  EXPECT_TRUE(h.pageHas(h.support + "/dark.css")) << h.page();
  EXPECT_FALSE(h.pageHas("markup-dark.css"));
}

}  // namespace
}  // namespace vm
