// The web view pane: pages load, page links go to the App instead of the
// engine, Copy and the print header work, and the whole chain from a
// rendered note's link to the note it names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPrinter>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>
#include <functional>

#include "core/commands.h"
#include "gui_test_util.h"
#include "render/markup.h"
#include "ui/main_window.h"
#include "ui/palette.h"
#include "ui/qt_ports.h"
#include "ui/qt_web_view.h"

namespace vm::ui {
namespace {

// The first page starts the engine, which takes a while on a busy machine.
constexpr int kLoadMs = 15000;

QString fileUrl(const std::filesystem::path& p) {
  return QUrl::fromLocalFile(QString::fromStdString(p.string())).toString(QUrl::FullyEncoded);
}

// Waits until the condition holds, in a real event loop: QTest::qWaitFor
// and qWait make each of the engine's steps take about a second.
bool waitFor(const std::function<bool()>& done, int ms) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll, limit;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(5);
  limit.setSingleShot(true);
  limit.start(ms);
  loop.exec();
  return done();
}

// Runs a script in the page and waits for its result.
QVariant runScript(QWidget* widget, const QString& code) {
  QVariant result;
  bool done = false;
  auto* view = qobject_cast<QWebEngineView*>(widget);
  if (!view) return result;
  view->page()->runJavaScript(code, [&](const QVariant& v) {
    result = v;
    done = true;
  });
  waitFor([&] { return done; }, 5000);
  return result;
}

struct Load {
  bool ok;
  std::string url;
};

class WebViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(500, 400);
    web.attach(&host);
    web.onLoadFinished = [this](bool ok, const std::string& url) { loads.push_back({ok, url}); };
    web.onPageLink = [this](const std::string& url) { links.push_back(url); };
    web.onTitleChanged = [this](const std::string& t) { titles.push_back(t); };
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }

  bool loaded(const QString& url, int ms = kLoadMs) {
    const std::string want = url.toStdString();
    return waitFor(
        [&] { return std::any_of(loads.begin(), loads.end(), [&](const Load& l) { return l.ok && l.url == want; }); },
        ms);
  }
  bool show(const std::filesystem::path& page) {
    loads.clear();
    web.navigate(page.string());
    return loaded(fileUrl(page));
  }
  QVariant js(const QString& code) { return runScript(web.view(), code); }
  // The engine's own view, for what only it can tell.
  QWebEngineView* engineView() { return qobject_cast<QWebEngineView*>(web.view()); }

  test::TempDir dir;
  QWidget host;
  QtWebView web;
  std::vector<Load> loads;
  std::vector<std::string> links, titles;
};

TEST(QtWebViewUrl, PathsAndAddresses) {
  EXPECT_EQ(QtWebView::urlFor("/tmp/a b/tn1.html").toString(QUrl::FullyEncoded), "file:///tmp/a%20b/tn1.html");
  EXPECT_EQ(QtWebView::urlFor("temp.html"), QUrl::fromLocalFile(QDir::current().absoluteFilePath("temp.html")));
  // A colon does not make a file name an address.
  EXPECT_TRUE(QtWebView::urlFor("notes:1.html").isLocalFile());
  for (auto [in, url] : {std::pair{"www.example.org/x", "http://www.example.org/x"}, {"gopher://example.org/", "gopher://example.org/"},
                         {"HTTPS://example.org/a?b=c", "https://example.org/a?b=c"}, {"mailto:me@example.org", "mailto:me@example.org"},
                         {"about:blank", "about:blank"}, {"", "about:blank"}})
    EXPECT_EQ(QtWebView::urlFor(in).toString(), url) << in;
  for (auto [url, isLink] : {std::pair{"tn:Meeting%20notes", true}, {"TN:x", true}, {"tnx:y", false}, {"file:///tn:x", false}})
    EXPECT_EQ(QtWebView::isPageLink(QUrl(url)), isLink) << url;
}

TEST_F(WebViewTest, NothingBeforeTheFirstPage) {
  EXPECT_EQ(web.title(), "");
  EXPECT_FALSE(web.back() || web.forward() || web.refresh() || web.print("header"));
  web.stop();
  web.copySelection();
  EXPECT_EQ(std::make_pair(web.paneWidth(), web.paneHeight()), std::make_pair(500, 400));
  EXPECT_EQ(web.view(), nullptr);  // none of these starts the engine
}

TEST_F(WebViewTest, PageLinksGoToTheAppOtherLinksNavigate) {
  const auto start = dir.write("Start page.html",
                               "<html><head><meta charset=utf-8><title>Start</title></head><body>"
                               "<p id=t>Hello web</p>"
                               "<a id=l href=\"tn:Meeting%20notes\">meeting</a> "
                               "<a id=u href=\"tn:Caf\xc3\xa9 notes\">caf\xc3\xa9</a> "
                               "<a id=o href=\"second.html\">second</a></body></html>");
  const auto second = dir.write("second.html", "<html><head><title>Second</title></head><body>2</body></html>");
  ASSERT_TRUE(show(start));
  ASSERT_NE(web.view(), nullptr);
  EXPECT_EQ(web.view()->parentWidget(), &host);
  EXPECT_EQ(web.title(), "Start");
  EXPECT_TRUE(waitFor([&] { return !titles.empty() && titles.back() == "Start"; }, 2000));

  js("document.getElementById('l').click()");
  ASSERT_TRUE(waitFor([&] { return !links.empty(); }, 5000));
  // Nobody showed another page: the view goes to a blank one.
  ASSERT_TRUE(waitFor([&] { return engineView()->url().toString() == "about:blank" && !engineView()->page()->isLoading(); },
                      5000));
  EXPECT_EQ(links, std::vector<std::string>{"tn:Meeting%20notes"});
  for (const Load& l : loads) EXPECT_TRUE(l.ok) << l.url;  // the refused link is no failed page
  EXPECT_EQ(web.title(), "");

  // Other characters come as text, blanks as "%20". The page the handler
  // shows is reported as loaded under its own address.
  ASSERT_TRUE(show(start));
  web.onPageLink = [&](const std::string& url) {
    links.push_back(url);
    web.navigate(second.string());
  };
  js("document.getElementById('u').click()");
  ASSERT_TRUE(loaded(fileUrl(second)));
  EXPECT_EQ(links.back(), "tn:Caf\xc3\xa9%20notes");
  waitFor([] { return false; }, 200);
  EXPECT_EQ(web.title(), "Second");

  // An ordinary link navigates inside the view.
  ASSERT_TRUE(show(start));
  loads.clear();
  js("document.getElementById('o').click()");
  ASSERT_TRUE(loaded(fileUrl(second)));
  EXPECT_EQ(web.title(), "Second");
  EXPECT_EQ(links.size(), 2u);

  // History. (Going back to a page that left by a script's click is not
  // offered by the engine, so the steps here are the program's own.)
  const auto third = dir.write("third.html", "<html><head><title>Third</title></head><body>3</body></html>");
  ASSERT_TRUE(show(third));
  loads.clear();
  ASSERT_TRUE(web.back());
  ASSERT_TRUE(loaded(fileUrl(second)));
  EXPECT_TRUE(web.forward());
  ASSERT_TRUE(loaded(fileUrl(third)));
  EXPECT_FALSE(web.forward());

  loads.clear();
  web.navigate((dir.path() / "missing.html").string());
  ASSERT_TRUE(waitFor([&] { return !loads.empty(); }, 5000));
  EXPECT_FALSE(loads.front().ok);

  // A page without a title is named after its file.
  const auto bare = dir.write("bare.html", "<p>no title</p>");
  ASSERT_TRUE(show(bare));
  EXPECT_EQ(web.title(), "bare.html");
  web.navigate("about:blank");
  EXPECT_TRUE(waitFor([&] { return !titles.empty() && titles.back().empty(); }, 5000));
  EXPECT_EQ(web.title(), "");
}

TEST_F(WebViewTest, CopyAndTheContextMenu) {
  const auto page = dir.write("copy.html", "<html><body><p id=t>Hello web</p><p>more</p></body></html>");
  ASSERT_TRUE(show(page));
  int copies = 0;
  web.onCopyCommand = [&] {
    ++copies;
    web.copySelection();
  };
  QClipboard* clip = QGuiApplication::clipboard();
  clip->setText("unchanged");
  web.copySelection();
  EXPECT_EQ(clip->text(), "unchanged");

  js("window.getSelection().selectAllChildren(document.getElementById('t'))");
  ASSERT_TRUE(waitFor([&] { return !qobject_cast<QWebEngineView*>(web.view())->selectedText().isEmpty(); }, 5000));

  // A right click on the page: the engine asks the view for its menu.
  QWidget* surface = web.view()->focusProxy() ? web.view()->focusProxy() : web.view();
  QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(20, 20));
  QMenu* menu = nullptr;
  ASSERT_TRUE(waitFor([&] { return (menu = web.view()->findChild<QMenu*>("webContextMenu")); }, 5000));
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions().front()->text(), "    Copy   ");
  menu->actions().front()->trigger();
  menu->close();
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(clip->text(), "Hello web");
}

TEST_F(WebViewTest, WideImagesFitTheProgramsImagePagesOnly) {
  QImage wide(2000, 40, QImage::Format_RGB32);
  wide.fill(Qt::darkGreen);
  const auto png = dir.path() / "wide.png";
  ASSERT_TRUE(wide.save(QString::fromStdString(png.string())));
  auto width = [&] {
    QVariant w;
    // The picture may still be decoding when the page reports loaded.
    waitFor(
        [&] {
          w = js("document.images[0].complete ? document.images[0].getBoundingClientRect().width : -1");
          return w.toDouble() > 0;
        },
        5000);
    return w.toDouble();
  };
  // The page as written for a laid-out pane: the picture gets the table's width.
  ImagePageInput in;
  in.imagePath = png.string();
  in.paneWidth = web.paneWidth();
  in.paneHeight = web.paneHeight();
  in.scrollBarWidth = web.scrollBarWidth();
  in.pad = 5;
  const auto sized = dir.write("sized.html", imagePageHtml(in));
  ASSERT_TRUE(show(sized));
  EXPECT_EQ(width(), js("document.querySelector('table').getAttribute('width')").toString().toDouble());
  // Before the pane was laid out: at most the body's width.
  in.paneWidth = in.paneHeight = 0;
  const auto unsized = dir.write("unsized.html", imagePageHtml(in));
  ASSERT_TRUE(show(unsized));
  EXPECT_EQ(width(), js("document.body.clientWidth").toDouble());
  EXPECT_LE(width(), host.width());
  // Anyone else's page stays as it was made.
  const auto other =
      dir.write("other.html", "<html><head><title>photo</title></head><body><img src=\"wide.png\"></body></html>");
  ASSERT_TRUE(show(other));
  EXPECT_EQ(width(), 2000);
}

TEST_F(WebViewTest, PrintsWithTheHeaderAndRemovesIt) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "<p>line " + std::to_string(i) + "</p>";
  const auto page = dir.write("long.html", "<html><head><title>Long</title></head><body>" + text + "</body></html>");
  ASSERT_TRUE(show(page));
  // Offscreen nobody can answer the print dialog: refused at once.
  EXPECT_FALSE(web.print("x"));

  const QString pdf = QString::fromStdString((dir.path() / "out.pdf").string());
  QPrinter printer;  // Chromium repeats the fixed header on each page (checked by eye)
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setResolution(96);  // pages go to the printer as pictures: keep them small
  printer.setOutputFileName(pdf);
  std::vector<bool> finished;
  web.onPrintFinished = [&](bool ok) { finished.push_back(ok); };
  ASSERT_TRUE(web.printTo(&printer, "<b>Notes & more</b>"));
  EXPECT_FALSE(web.printTo(&printer, "again"));  // one print at a time
  // The header is in place, as text, while the page prints.
  EXPECT_EQ(js("var h = document.getElementById('vellumark-print-header');"
               "h && !h.querySelector('b') ? h.textContent : ''")
                .toString(),
            "<b>Notes & more</b>");
  EXPECT_EQ(js("getComputedStyle(document.getElementById('vellumark-print-header')).display").toString(), "none");
  ASSERT_TRUE(waitFor([&] { return !finished.empty(); }, 20000));
  EXPECT_EQ(finished, std::vector<bool>{true});
  QFile out(pdf);
  EXPECT_TRUE(out.open(QIODevice::ReadOnly) && out.read(4) == "%PDF");
  EXPECT_TRUE(waitFor([&] { return js("document.getElementById('vellumark-print-header') === null").toBool(); }, 5000));
}

// The program's whole chain: the App renders a note, the view shows it, a
// page link in it opens (here: creates) the note it names.
using WebChain = test::ShellTest;

TEST_F(WebChain, RenderedNoteLinkOpensTheNamedNote) {
  h.dir.write("docs/Start.md",
              "# Start\n\nSee [Meeting notes] for *today*.\n\n- one\n- two\n\nAnd [the other](Other.txt#top).\n");
  h.dir.write("docs/Other.txt", "plain");
  bool pageShown = false;  // a rendered page in the private folder
  const std::string pages = fileUrl(h.env.tempDir).toStdString();
  shell.web.onLoadFinished = [&](bool ok, const std::string& url) {
    pageShown = pageShown || (ok && url.rfind(pages, 0) == 0);
  };
  start();
  QtWebView& web = shell.web;

  if (app->mode() != Mode::View) app->command(cmd::kToolViewEdit);
  app->fileClicked(app->fileList().find("Start.md"));
  EXPECT_EQ(app->currentViewer(), Viewer::Web);
  EXPECT_TRUE(win->webHost()->isVisible());
  EXPECT_FALSE(win->noteEditor()->isVisible());
  ASSERT_TRUE(waitFor([&] { return pageShown; }, kLoadMs));
  EXPECT_EQ(web.paneWidth(), win->webHost()->width());

  // Copy from the page's context menu goes through the App.
  runScript(web.view(), "window.getSelection().selectAllChildren(document.querySelector('em'))");
  ASSERT_TRUE(waitFor([&] { return !qobject_cast<QWebEngineView*>(web.view())->selectedText().isEmpty(); }, 5000));
  web.onCopyCommand();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "today");

  ASSERT_TRUE(
      runScript(web.view(), "var a = document.querySelector('a[href^=\"tn:\"]'); if (a) a.click(); !!a").toBool())
      << "no page link in the rendered note";
  EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(h.dir.path() / "docs" / "Meeting notes.txt"); }, 5000));
  EXPECT_EQ(app->fileList().selectedName(), "Meeting notes.txt");
  EXPECT_EQ(app->currentViewer(), Viewer::Text);
  EXPECT_TRUE(win->noteEditor()->isVisible());
  EXPECT_FALSE(win->webHost()->isVisible());

  // A Markdown link to a listed note opens that note by its kind (a text
  // note in the editor), not its raw text in the page.
  pageShown = false;
  app->fileClicked(app->fileList().find("Start.md"));
  ASSERT_TRUE(waitFor([&] { return pageShown; }, kLoadMs));
  ASSERT_TRUE(runScript(web.view(), "var a = document.querySelector('a[href^=\"Other\"]'); if (a) a.click(); !!a")
                  .toBool());
  EXPECT_TRUE(waitFor([&] { return app->fileList().selectedName() == "Other.txt"; }, 5000));
  EXPECT_EQ(app->currentViewer(), Viewer::Text);
  EXPECT_EQ(win->noteEditor()->toPlainText(), "plain");
}

// The desktop turns dark while a rendered note is shown: the note is
// rendered again with the program's dark style sheet, and back.
TEST_F(WebChain, ARenderedNoteFollowsThePaletteIntoTheDarkAndBack) {
  struct Restore {
    QPalette palette = QApplication::palette();
    ~Restore() { QApplication::setPalette(palette); }
  } restore;
  const std::filesystem::path sheets = std::filesystem::path(VELLUMARK_EXE).parent_path() / "support";
  for (const char* css : {"markup.css", "markup-dark.css"})
    std::filesystem::copy_file(sheets / css, std::filesystem::path(h.env.supportDir) / css);
  h.dir.write("docs/Plan.md", "# Plan\n\nsome text\n");
  int loads = 0;
  const std::string pages = fileUrl(h.env.tempDir).toStdString();
  shell.web.onLoadFinished = [&](bool ok, const std::string& url) { loads += ok && url.rfind(pages, 0) == 0; };
  start();
  if (app->mode() != Mode::View) app->command(cmd::kToolViewEdit);
  app->fileClicked(app->fileList().find("Plan.md"));
  ASSERT_TRUE(waitFor([&] { return loads == 1; }, kLoadMs));
  const QString background = QStringLiteral("getComputedStyle(document.body).backgroundColor");
  EXPECT_EQ(runScript(shell.web.view(), background).toString(), "rgb(255, 255, 255)");

  QApplication::setPalette(darkPalette());
  ASSERT_TRUE(waitFor([&] { return loads == 2; }, kLoadMs)) << "the note was not rendered again";
  EXPECT_EQ(runScript(shell.web.view(), background).toString(), "rgb(30, 31, 34)");
  EXPECT_EQ(app->currentStyleSheet(), "markup-dark.css");
  EXPECT_EQ(win->windowTitle(), "Plan.md");

  QApplication::setPalette(restore.palette);
  ASSERT_TRUE(waitFor([&] { return loads == 3; }, kLoadMs));
  EXPECT_EQ(runScript(shell.web.view(), background).toString(), "rgb(255, 255, 255)");
}

}  // namespace
}  // namespace vm::ui
