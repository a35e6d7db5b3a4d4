// Rendering notes to pages: Markdown, the wiki dialect, line breaks, the
// page around them, golden files and input that must neither crash nor hang.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/fs.h"
#include "render/markup.h"
#include "render/wiki.h"

namespace {

namespace fs = std::filesystem;
using vm::test::TempDir;
using Inputs = std::vector<std::pair<std::string, std::string>>;
constexpr unsigned kAll = vm::kRenderMarkdown | vm::kRenderWiki | vm::kRenderLineBreaks;

std::string readAll(const fs::path& path) { return vm::readWholeFile(path).value_or("<unreadable>"); }

std::string repeated(std::string_view unit, std::size_t times) {
  std::string s;
  for (std::size_t i = 0; i < times; ++i) s += unit;
  return s;
}

std::size_t count(std::string_view hay, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

// Each input renders to something, with no NUL, in well under the guard's time.
void allFinish(const Inputs& inputs, const std::function<std::string(const std::string&)>& render) {
  for (const auto& [name, text] : inputs) {
    SCOPED_TRACE(name);
    const auto start = std::chrono::steady_clock::now();
    const std::string html = render(text);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(ms.count(), 10000);  // a hang guard on a shared machine, not a speed test
    EXPECT_FALSE(html.empty());
  }
}

// NAME.md / NAME.wiki renders to NAME.VARIANT.html for each switch set; the
// full set (the defaults) must be there for every note.
TEST(MarkupPipeline, GoldenFiles) {
  const std::pair<const char*, unsigned> variants[] = {
      {"full", kAll}, {"nobreaks", vm::kRenderMarkdown | vm::kRenderWiki}, {"plain", vm::kRenderMarkdown},
      {"wikionly", vm::kRenderWiki}};
  int notes = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(VELLUMARK_TEST_DATA) / "markdown")) {
    const fs::path& in = entry.path();
    if (in.extension() != ".md" && in.extension() != ".wiki") continue;
    ++notes;
    const std::string text = readAll(in);
    for (const auto& [variant, switches] : variants) {
      const fs::path want = in.parent_path() / (in.stem().string() + "." + variant + ".html");
      if (!fs::exists(want)) {
        EXPECT_NE(std::string(variant), "full") << in.filename() << " has no " << want.filename();
        continue;
      }
      // A Markdown note goes through the passes as one (prose only).
      const unsigned kind = in.extension() == ".md" ? vm::kRenderMarkdownNote : 0;
      EXPECT_EQ(vm::renderMarkupBody(text, switches | kind), readAll(want)) << in.filename() << " as " << variant;
    }
  }
  EXPECT_GE(notes, 10);
}

TEST(MarkupPipeline, SwitchesAndMarkdownDialect) {
  EXPECT_EQ(vm::renderMarkupBody("~~x~~\n", 0), "<p><del>x</del></p>\n");  // no switch: Markdown
  EXPECT_EQ(vm::renderMarkupBody("a\nb\n", vm::kRenderLineBreaks), "<p>a<br>\nb</p>\n");
  EXPECT_EQ(vm::renderMarkupBody("[x]\n", vm::kRenderWiki), "<a class='tnClass' href=\"tn:x\">x</a><br/>\n");
  EXPECT_EQ(vm::markdownToHtml("|a|b|\n|-|-|\n"), "<p>|a|b|\n|-|-|</p>\n");
  EXPECT_EQ(vm::markdownToHtml("www.x.org http://x.org\n"), "<p>www.x.org http://x.org</p>\n");
  EXPECT_EQ(vm::markdownToHtml("a <span>b</span>\n"), "<p>a <span>b</span></p>\n");
  EXPECT_EQ(vm::markdownToHtml(std::string("a\0b\n", 4)), "<p>a\xEF\xBF\xBD" "b</p>\n");
  // Past 16 container markers on a line the rest are dropped, the text kept.
  EXPECT_EQ(count(vm::markdownToHtml(repeated("> ", 40) + "deep\n"), "<blockquote>"), 16u);
  EXPECT_EQ(count(vm::markdownToHtml(repeated("- ", 20) + "x\n" + repeated("1. ", 17) + "y\n"), "<li>"), 32u);
  EXPECT_EQ(vm::markdownToHtml(repeated("- ", 18) + "-\n"), "<hr>\n");  // still a rule
  // A long run of lines full of links is cut into paragraphs only far past
  // anything written by hand.
  EXPECT_EQ(count(vm::markdownToHtml(repeated("[a](b) c\n", 2000)), "<p>"), 1u);
  EXPECT_GT(count(vm::markdownToHtml(repeated("[a](b) c\n", 100000)), "<p>"), 10u);
  for (unsigned switches : {0u, vm::kRenderWiki, unsigned(kAll)})
    EXPECT_EQ(vm::renderMarkupBody("a\r\n- b\r\n```\r\nc\r\n```\r\n", switches).find('\r'), std::string::npos);
}

// md4c looks a few bytes past the end of some texts: what follows a text in
// memory never reaches its page.
TEST(MarkupPipeline, BytesAfterTheTextDoNotReachThePage) {
  // "6" then ")" is read as a list item's marker.
  const std::vector<std::string> texts = {"6", "12", "a\n\n3", "\n\n<table>T\xff\n*\n\t\t", "[x](&l", "a &amp", "&#x",
                                          "<a href=\"", "[a]: <", "`", "x ~~", "<!--", "*a", "&"};
  for (const std::string& text : texts) {
    for (const char* after : {") x", "\n\n", "ZZZZZZZZ;", "]]]]]]\n", "\xff\xfe&amp;"}) {
      const std::string buffer = text + after;
      const std::string_view view(buffer.data(), text.size());
      for (unsigned switches : {0u, unsigned(kAll), unsigned(kAll) | vm::kRenderMarkdownNote})
        EXPECT_EQ(vm::renderMarkupBody(view, switches), vm::renderMarkupBody(text, switches)) << text << after;
      EXPECT_EQ(vm::markdownToHtml(view), vm::markdownToHtml(text)) << text << after;
    }
  }
}

TEST(MarkupPipeline, PathologicalInputsFinish) {
  const std::string bad("a\0b \xff\xfe\xc3 [\xe2\x82]\n", 14);
  std::string stairs;  // 16 list levels more on every line, then blank lines inside them all
  for (int line = 0; line < 170; ++line) stairs += std::string(32 * line, ' ') + repeated("- ", 16) + "x\n";
  stairs += std::string(300000, '\n');
  std::string indented;  // one level more on every line
  for (int line = 0; line < 700; ++line) indented += std::string(2 * line, ' ') + "- x\n";
  indented += std::string(300000, '\n');
  allFinish({
      {"10000 [", std::string(10000, '[') + "\n"},
      {"1 MB line", repeated("**a** [b] _c_ `d` <e> ~~f~~ http://g.h ", 27000) + "\n"},
      {"100000 =", "Title\n" + std::string(100000, '=') + "\n"},
      {"100000 lines", repeated("line\n- item\n", 50000)},
      {"100000 link lines", repeated("[a](b) [c] d\n", 100000)},
      {"unclosed links", repeated("]([\n", 250000)},
      {"nested quotes", repeated("> ", 100000) + "x\n" + std::string(200000, '\n')},
      {"nested lists", repeated("- ", 100000) + "x\n" + std::string(200000, '\n')},
      {"indented lists", indented},
      {"stairs", stairs},
      {"bad bytes", repeated(bad, 50000)},
  }, [](const std::string& text) {
    std::string html = vm::renderMarkupBody(text, kAll);
    EXPECT_EQ(html.find('\0'), std::string::npos);
    return html;
  });
}

// Each NAME.wiki converts to NAME.html; names starting with "nomarks" are
// converted without line-end marks on unchanged lines.
TEST(WikiToHtml, GoldenFiles) {
  int pairs = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(VELLUMARK_TEST_DATA) / "wiki")) {
    if (entry.path().extension() != ".wiki") continue;
    ++pairs;
    const std::string name = entry.path().stem().string();
    vm::WikiOptions options;
    options.markLineEnds = !name.starts_with("nomarks");
    fs::path expected = entry.path();
    EXPECT_EQ(vm::wikiToHtml(readAll(entry.path()), options), readAll(expected.replace_extension(".html"))) << name;
  }
  EXPECT_GE(pairs, 12);
}

TEST(WikiToHtml, PathologicalInputsFinish) {
  std::mt19937 random(7);
  std::string noise;
  static const char kAlphabet[] = "[[]]|=_ +-<>${}:h\\ttp:\n\r\x00\xff\xc3";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int i = 0; i < (1 << 20); ++i) noise += alphabet[random() % alphabet.size()];
  static const char kBytes[] = "a\0b \xff\xfe =\xc3= [\xe2\x82]\n";
  allFinish({
      {"10000 [", std::string(10000, '[') + "\n"},
      {"1 MB line", repeated("[a b] =c= http://d.e _f_ [[g][h]] |i| ", 30000).substr(0, 1 << 20) + "\n"},
      {"100000 =", std::string(100000, '=')},
      {"50000 = pairs", repeated(" =a=", 25000) + "\n"},
      {"nested brackets", repeated(repeated("[a", 340) + std::string(340, ']') + "\n", 20)},
      {"nested page links", repeated(repeated("[[a", 120) + repeated("][b]]", 120) + "\n", 20)},
      {"random markup", noise},
      {"bad bytes", repeated(std::string(kBytes, sizeof kBytes - 1), 20000)},
  }, [](const std::string& text) { return vm::wikiToHtml(text); });
  // Unchanged lines keep every byte, NUL and invalid UTF-8 included.
  EXPECT_EQ(vm::wikiToHtml(std::string("x\0\xff\n", 4), {false}), std::string("x\0\xff\n", 4));
  EXPECT_EQ(vm::wikiToHtml(std::string(10000, '[')), std::string(10000, '['));
}

TEST(LineBreakPass, Lines) {
  const std::pair<std::string, std::string> cases[] = {
      {"Title\n=====\n", "Title  \n=====\n"}, {"Sub\n-----\n-\n", "Sub  \n-----\n-\n"},
      {"- a\n+ b\n  * c\n*d\n", "- a\n+ b\n  * c\n*d\n"}, {"**bold**\n", "**bold**  \n"},
      {"x<br/>\ny<BR/>\n", "x<br/>\ny<BR/>\n"},   {"<br/>\n", "<br/>  \n"},
      {"\n   \n", "  \n     \n"},                 {"1. a\n==x\n", "1. a  \n==x  \n"},
      {"a\r\nb\r\n", "a  \nb  \n"},               {"a\nlast", "a  \nlast"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(vm::lineBreakPass(in), want) << in;
}

TEST(LineBreakPass, LongLinesGoInPiecesOf4095Bytes) {
  const std::string a4094(4094, 'a'), a4095(4095, 'a');
  EXPECT_EQ(vm::lineBreakPass(a4094 + "\n"), a4094 + "  \n");
  EXPECT_EQ(vm::lineBreakPass(a4094 + "\r\n"), a4094 + "  \n");  // the dropped CR does not count
  EXPECT_EQ(vm::lineBreakPass(a4095 + "\n"), a4095 + "  \n");    // piece, then a line end alone
  EXPECT_EQ(vm::lineBreakPass(a4095 + "b\n"), a4095 + "b  \n");
  EXPECT_EQ(vm::lineBreakPass(a4095 + "- x\n"), a4095 + "- x\n");  // the tail piece is a list line
  EXPECT_EQ(vm::lineBreakPass(a4095 + a4095), a4095 + a4095);
  // CR LF line ends give what LF ones give.
  const std::string mixed = "T\n===\n" + a4095 + "- x\n" + std::string(9000, '*') + "\n<br/>\n- y\n\n**z**\n";
  std::string crlf;
  for (char c : mixed) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(vm::lineBreakPass(crlf), vm::lineBreakPass(mixed));
}

TEST(PageHead, LinesAndEscaping) {
  TempDir dir;
  const std::string css = dir.write("dark.css", "body{}").string();
  EXPECT_EQ(vm::pageHead("/n/My <b>&.md", {"/home/u/notes", css}),
            "<html>\n<head>\n<title>My &lt;b&gt;&amp;.md</title>\n<base href=\"file:///home/u/notes\\\">\n"
            "<link rel=\"stylesheet\" href=\"file://" + css + "\" type=\"text/css\">\n</head><body>\n");
  EXPECT_EQ(vm::pageHead("a.md", {"/x/100%#1?\"", dir.str() + "/gone.css"}),
            "<html>\n<head>\n<title>a.md</title>\n<base href=\"file:///x/100%25%231%3F&quot;\\\">\n</head><body>\n");
  EXPECT_EQ(vm::pageHead("a.md", {"", dir.str()}), "<html>\n<head>\n<title>a.md</title>\n</head><body>\n");
}

TEST(PageHead, RenderMarkupFile) {
  TempDir dir;
  const std::string page = (dir.path() / "tn1.html").string(), css = dir.write("s.css", "").string();
  EXPECT_FALSE(vm::renderMarkupFile(dir.str() + "/none.md", page, kAll, {}));
  EXPECT_FALSE(fs::exists(page));
  const std::string note = dir.write("n.md", "# Hi\r\n").string();
  EXPECT_FALSE(vm::renderMarkupFile(note, dir.str() + "/no/such/tn.html", kAll, {}));
  fs::remove(css);
  ASSERT_TRUE(vm::renderMarkupFile(note, page, kAll, {dir.str(), css}));
  EXPECT_EQ(readAll(page), vm::pageHead(note, {dir.str(), ""}) + "<h1>Hi</h1>\n" + std::string(vm::kPageFoot));
}

// The page file goes out through a 64 KB buffer: pieces that fill it
// exactly, pass its end and exceed it whole (a 100 KB code line) must all
// arrive once and in order.
TEST(PageHead, RenderMarkupFileOfALargeNoteIsTheBodyBetweenHeadAndFoot) {
  TempDir dir;
  std::string text;
  for (int i = 0; text.size() < 300000; ++i)
    text += "Line " + std::to_string(i) + " with [a page] and `code` and <b>tags</b> & more\n";
  text += "\n```\n" + std::string(100000, 'x') + "\n```\n\nend [x](http://y.org)\n";
  const std::string note = dir.write("big.md", text).string(), page = (dir.path() / "tn2.html").string();
  for (const unsigned switches : {kAll, kAll | vm::kRenderMarkdownNote}) {
    ASSERT_TRUE(vm::renderMarkupFile(note, page, switches, {}));
    const std::string expected =
        vm::pageHead(note, {}) + vm::renderMarkupBody(text, switches) + std::string(vm::kPageFoot);
    const std::string written = readAll(page);
    ASSERT_EQ(written.size(), expected.size()) << switches;
    EXPECT_TRUE(written == expected) << switches;
  }
}

TEST(PageHead, NewPagePathAndStyleSheets) {
  TempDir dir;
  const std::string temp = dir.str() + "/a/tmp";
  const std::string one = vm::newPagePath(temp), two = vm::newPagePath(temp);
  EXPECT_NE(one, two);
  for (const std::string& p : {one, two}) {
    EXPECT_TRUE(fs::is_regular_file(p) && fs::file_size(p) == 0) << p;
    EXPECT_TRUE(fs::path(p).filename().string().starts_with("tn") && p.ends_with(".html")) << p;
  }
  struct stat st {};
  ASSERT_EQ(::stat(temp.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(vm::newPagePath(dir.write("file", "").string() + "/sub"), "temp.html");

  for (int i = 24; i >= 0; --i) dir.write("support/s" + std::string(1, char('a' + i)) + ".css", "");
  dir.write("support/Blue.CSS", "");
  dir.write("support/.hidden.css", "");
  dir.write("support/notes.txt", "");
  dir.mkdir("support/a.css");
  const auto sheets = vm::listStyleSheets(dir.str() + "/support");
  ASSERT_EQ(sheets.size(), 20u);
  EXPECT_EQ(sheets.front(), "Blue.CSS");
  EXPECT_EQ(sheets.back(), "ss.css");
  EXPECT_TRUE(vm::listStyleSheets(dir.str() + "/none").empty());
}

TEST(ImagePage, Variants) {
  vm::ImagePageInput in{.imagePath = "/p/it's.png", .context = {}};
  EXPECT_EQ(vm::imagePageHtml(in),
            "<html><head><title>image</title><style> img {max-width: expression(document.body.clientWidth)}</style>"
            "</head><body><center><table ><td ><img src='/p/it&#39;s.png'></td></table></center></body></html>");
  in.paneWidth = 800;
  in.paneHeight = 600;
  EXPECT_EQ(vm::imagePageHtml(in),
            "<html><head><title>image</title><style> img{width: expression(this.width > 773 ? 773: true);} table "
            "{position:absolute; top:5px; left:5px;}</style></head><body><table border='0' cellpadding='0' "
            "cellspacing='0' width='773'><td width='100%' align='center'><img src='/p/it&#39;s.png'></td></table>"
            "</body></html>");
  in.useStyleSheet = true;
  EXPECT_EQ(vm::imagePageHtml(in),
            vm::pageHead(in.imagePath, {}) +
                "<table id='imgtable'><td><img src='/p/it&#39;s.png'></td></table></body></html>");
}

TEST(SearchAddress, Query) {
  EXPECT_EQ(vm::searchAddress("??? a+b c", "S?q="), "S?q=+a%2Bb+c");
  EXPECT_EQ(vm::searchAddress("???", "S?q="), "");
  EXPECT_EQ(vm::searchAddress("???" + std::string(100, '+'), ""), repeated("%2B", 86));  // 258 bytes
  EXPECT_EQ(vm::searchAddress("???a" + repeated("\xC3\xA9", 200), ""), "a" + repeated("\xC3\xA9", 129));
}

TEST(PageLinks, Names) {
  EXPECT_EQ(vm::linkNoteName("tn:Shopping%20List"), "Shopping List");
  EXPECT_EQ(vm::linkNoteName("tn:Caf%C3%a9 100% %zz%00%2"), "Caf\xC3\xA9 100% %zz%00%2");
  EXPECT_EQ(vm::linkNoteName("tn:" + std::string(258, 'a') + "%C3%A9"), std::string(258, 'a'));
  EXPECT_EQ(vm::cleanNoteName("a%b:c?d[e]f\\g/h"), "a_b_c_d_e_f_g_h");
}

TEST(PageLinks, PageSources) {
  const auto list = vm::markdownExtensions({"txt", "", "", ".mkd", ".MD", std::string(300, 'x')});
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end() - 1),
            (std::vector<std::string>{".md", ".markdown", ".txt", ".mkd"}));
  EXPECT_EQ(list.back(), "." + std::string(258, 'x'));
  EXPECT_EQ(vm::markdownExtensions({"", "txt"}).size(), 2u);
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back(std::to_string(i));
  EXPECT_EQ(vm::markdownExtensions(many).size(), 260u);
  const std::pair<const char*, vm::PageSource> cases[] = {
      {"a.MD", vm::PageSource::Markdown}, {"b.txt", vm::PageSource::Markdown}, {"c.wki", vm::PageSource::Wiki},
      {"d.Wiki", vm::PageSource::Wiki},   {"e.PNG", vm::PageSource::Image},    {"f.md.html", vm::PageSource::Direct},
      {"x.md/g", vm::PageSource::Direct}, {"h", vm::PageSource::Direct}};
  for (const auto& [name, want] : cases) EXPECT_EQ(vm::classifyPageSource(name, list), want) << name;
}

}  // namespace
