// Markdown notes through the default chain (wiki pass, line-break pass,
// md4c) against md4c alone: real documents and the CommonMark examples may
// differ only by the line-break pass's breaks and by the wiki features they
// really use. Plus the prose rules one by one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "render/markdown_note.h"
#include "render/markup.h"

namespace {

namespace fs = std::filesystem;
using std::string;
using std::string_view;
constexpr unsigned kDefault = vm::kRenderMarkdown | vm::kRenderWiki | vm::kRenderLineBreaks | vm::kRenderMarkdownNote;

string replaceAll(string s, string_view from, string_view to) {
  for (std::size_t at = s.find(from); at != string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

string unescapeHtml(string s) {
  s = replaceAll(s, "&quot;", "\"");
  s = replaceAll(s, "&lt;", "<");
  s = replaceAll(s, "&gt;", ">");
  return replaceAll(s, "&amp;", "&");
}

// Removes exactly the differences the wiki and line-break passes may make:
// - a break before a line end ("<br>" from a hard break, "<br/>" and
//   "<br />" from the wiki pass);
// - a page link becomes its bracket text again ("[Name]");
// - a bare address linked by the wiki pass becomes the address again;
// - a wiki table ("<table>...</table>") and the "|" rows md4c shows as text
//   both become one "[table]" line.
string normalise(string html) {
  for (string_view br : {"<br>\n", "<br/>\n", "<br />\n"}) html = replaceAll(html, br, "\n");
  string out;
  for (std::size_t i = 0; i < html.size();) {
    const string_view rest = string_view(html).substr(i);
    if (rest.starts_with("<a class='tnClass' href=\"tn:")) {
      const std::size_t open = html.find('>', i), close = html.find("</a>", i);
      if (open != string::npos && close != string::npos && open < close) {
        out += "[" + html.substr(open + 1, close - open - 1) + "]";
        i = close + 4;
        continue;
      }
    }
    if (rest.starts_with("<a href=\"")) {
      const std::size_t hrefEnd = html.find("\">", i + 9), close = html.find("</a>", i);
      if (hrefEnd != string::npos && close != string::npos && hrefEnd < close) {
        const string href = html.substr(i + 9, hrefEnd - i - 9);
        const string shown = html.substr(hrefEnd + 2, close - hrefEnd - 2);
        if (unescapeHtml(shown) == href && (href.starts_with("http:") || href.starts_with("https:"))) {
          out += shown;
          i = close + 4;
          continue;
        }
      }
    }
    if (rest.starts_with("<table><tr>")) {
      const std::size_t close = html.find("</table>", i);
      if (close != string::npos) {
        out += "[table]\n";
        i = close + 8;
        while (i < html.size() && html[i] == '\n') ++i;
        continue;
      }
    }
    out += html[i++];
  }
  // md4c alone: "|" rows are lines of a paragraph.
  string lines;
  std::size_t i = 0;
  bool inTable = false;
  while (i < out.size()) {
    std::size_t lf = out.find('\n', i);
    if (lf == string::npos) lf = out.size();
    string line = out.substr(i, lf - i);
    i = lf + 1;
    string body = line.starts_with("<p>") ? line.substr(3) : line;
    const bool row = body.starts_with("|") && !inTable;
    if (body.starts_with("|") || (inTable && body.starts_with("|"))) {
      if (!inTable) lines += line.starts_with("<p>") ? "[table]\n" : "</p>\n[table]\n";
      inTable = true;
      if (body.ends_with("</p>")) inTable = false;
      continue;
    }
    (void)row;
    inTable = false;
    lines += line + "\n";
  }
  lines = replaceAll(lines, "<p></p>\n", "");
  lines = replaceAll(lines, "</p>\n</p>\n", "</p>\n");
  return lines;
}

// First differing line of two texts, for the failure message.
string firstDifference(const string& a, const string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  const std::size_t from = a.rfind('\n', i) == string::npos ? 0 : a.rfind('\n', i) + 1;
  return "chain: " + a.substr(from, 160) + "\nmd4c:  " + b.substr(from, 160);
}

TEST(MarkdownNote, RealDocumentsLookAsMd4cShowsThem) {
  int documents = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(VELLUMARK_TEST_DATA) / "markdown-real")) {
    if (entry.path().extension() != ".md") continue;
    ++documents;
    const string text = vm::readWholeFile(entry.path()).value_or("");
    ASSERT_FALSE(text.empty()) << entry.path();
    const string chain = normalise(vm::renderMarkupBody(text, kDefault));
    const string alone = normalise(vm::markdownToHtml(text));
    EXPECT_EQ(chain, alone) << entry.path().lexically_relative(VELLUMARK_TEST_DATA) << "\n"
                            << firstDifference(chain, alone);
  }
  EXPECT_GE(documents, 30);
}

string note(const string& text) { return vm::renderMarkupBody(text, kDefault); }
bool has(const string& html, const string& part) { return html.find(part) != string::npos; }

// What used to break in real notes: each comes out as md4c alone shows it.
TEST(MarkdownNote, MarkdownStaysMarkdown) {
  const std::pair<const char*, const char*> cases[] = {
      {"<!-- note -->\nText after\n", "comment ending in -->"},
      {"See https://a.org\n```\ncode\n```\n", "address before a closing fence"},
      {"- a https://a.org\n- b\n", "address ending a list item"},
      {"Use `x[i]` and `[{a}]`.\n\n```\nv = x[i] + [{b}]\n```\n", "brackets in code"},
      {"Version [1.0.0] and thanks [alice].\n\n[1.0.0]: https://a.org/1\n[alice]: https://a.org/al\n",
       "references with definitions"},
      {"- [ ] todo\n- [x] done\n", "task boxes"},
      {"> [!NOTE]\n> Careful.\n", "alert block"},
      {"+ one\n+ two\n", "plus list"},
      {"An _emphasised_ word\n", "underscore emphasis"},
      {"Autolink <https://a.org/x_y_z> here\n", "autolink"},
      {"a\n\n***\n\nb\n", "thematic break"},
      {"line\\\nnext\n", "backslash hard break"},
      {"[link](\n/url)\n", "destination on the next line"},
      {"[![badge](https://a.org/b.svg)](https://a.org)\n", "image inside a link"},
      {"<div>\n[x] *y*\n</div>\n", "HTML block"},
      {"    [indented] code\n", "indented code"},
  };
  for (const auto& [text, what] : cases) {
    SCOPED_TRACE(what);
    const string chain = note(text);
    EXPECT_EQ(normalise(chain), normalise(vm::markdownToHtml(text))) << chain;
    EXPECT_FALSE(has(chain, "tn:")) << chain;
  }
}

// Wiki features in the prose of a Markdown note still work.
TEST(MarkdownNote, WikiFeaturesInProse) {
  const string html = note(
      "+Shopping\n\nBuy [Shopping list] and [[Plans][the plans]], =soon= at https://a.org/x.\n"
      "Next line\n\n|Item|Price|\n|---|:-:|\n|Tea|3|\n\nAfter the table\n");
  EXPECT_TRUE(has(html, "<h1>Shopping</h1>")) << html;
  EXPECT_EQ(note("#Title\n"), "<h1>Title</h1>\n");  // no blank needed after the hash marks
  EXPECT_EQ(note("++Sub title\n"), "<h2>Sub title</h2>\n");
  EXPECT_TRUE(has(html, "<a class='tnClass' href=\"tn:Shopping%20list\">Shopping list</a>")) << html;
  EXPECT_TRUE(has(html, "<a class='tnClass' href=\"tn:Plans\">the plans</a>")) << html;
  EXPECT_TRUE(has(html, "<i>soon</i>")) << html;
  EXPECT_TRUE(has(html, "<a href=\"https://a.org/x\">https://a.org/x</a>.<br>\nNext line")) << html;
  EXPECT_TRUE(has(html, "<table><tr><td>Item</td><td>Price</td></tr>")) << html;
  EXPECT_TRUE(has(note("|`a<b`|``x|y``|\n"), "<td><code>a&lt;b</code></td><td><code>x|y</code></td>"));
  EXPECT_TRUE(has(note("|[Arch](https://a.org) *new*|[Home]|# 1|\n"),
                  "<td><a href=\"https://a.org\">Arch</a> <em>new</em></td>"
                  "<td><a class='tnClass' href=\"tn:Home\">Home</a></td><td># 1</td>"));
  EXPECT_FALSE(has(html, "---")) << html;
  EXPECT_TRUE(has(html, "<p>After the table</p>")) << html;
  // A bare address that ends the line keeps its line end.
  EXPECT_EQ(note("see http://a.org\n```\nx\n```\n"),
            "<p>see <a href=\"http://a.org\">http://a.org</a></p>\n<pre><code>x\n</code></pre>\n");
  // "_word_" is underlined in a wiki note only.
  EXPECT_TRUE(has(vm::renderMarkupBody("a _w_ b\n", vm::kRenderWiki), "<u>w</u>"));
  EXPECT_TRUE(has(note("a _w_ b\n"), "<em>w</em>"));
  // A page link without a definition, beside a reference with one.
  const string mixed = note("[Home] and [ref]\n\n[ref]: https://a.org\n");
  EXPECT_TRUE(has(mixed, "href=\"tn:Home\"")) << mixed;
  EXPECT_TRUE(has(mixed, "<a href=\"https://a.org\">ref</a>")) << mixed;
  // Without the wiki pass only the breaks are added, to prose.
  EXPECT_EQ(vm::renderMarkupBody("a\nb\n```\nc\nd\n```\n",
                                 vm::kRenderMarkdown | vm::kRenderLineBreaks | vm::kRenderMarkdownNote),
            "<p>a<br>\nb</p>\n<pre><code>c\nd\n</code></pre>\n");
}

TEST(MarkdownNote, LabelsCompareAsMarkdownDoes) {
  EXPECT_EQ(vm::normalizeLabel("  Foo \n\t Bar "), "foo bar");
  EXPECT_EQ(vm::normalizeLabel("\xE1\xBA\x9E"), "ss");  // capital sharp s folds fully
  EXPECT_EQ(vm::normalizeLabel("\xff A"), "\xff a");    // bytes that are not UTF-8 are kept
}

// The examples file: an array of objects with string and number values.
struct Example {
  string markdown, section;
  int number = 0;
};

std::vector<Example> readExamples(const string& json) {
  std::vector<Example> examples;
  std::size_t i = 0;
  auto skip = [&] {
    while (i < json.size() && string_view(" \t\r\n,:[]").find(json[i]) != string::npos) ++i;
  };
  auto readString = [&] {
    string out;
    for (++i; i < json.size() && json[i] != '"'; ++i) {
      if (json[i] != '\\') {
        out += json[i];
        continue;
      }
      const char e = json[++i];
      if (e == 'n') out += '\n';
      else if (e == 't') out += '\t';
      else if (e == 'r') out += '\r';
      else if (e == 'b') out += '\b';
      else if (e == 'f') out += '\f';
      else if (e == 'u') {
        const unsigned cp = static_cast<unsigned>(std::stoul(json.substr(i + 1, 4), nullptr, 16));
        i += 4;
        if (cp < 0x80) {
          out += static_cast<char>(cp);
        } else if (cp < 0x800) {
          out += static_cast<char>(0xC0 | (cp >> 6));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (cp >> 12));
          out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        }
      } else {
        out += e;
      }
    }
    ++i;
    return out;
  };
  while (true) {
    skip();
    if (i >= json.size() || json[i] != '{') break;
    ++i;
    Example e;
    while (true) {
      skip();
      if (i >= json.size() || json[i] == '}') {
        ++i;
        break;
      }
      const string key = readString();
      skip();
      if (json[i] == '"') {
        const string value = readString();
        if (key == "markdown") e.markdown = value;
        if (key == "section") e.section = value;
      } else {
        std::size_t end = i;
        while (end < json.size() && json[end] >= '0' && json[end] <= '9') ++end;
        if (key == "example") e.number = std::stoi(json.substr(i, end - i));
        i = end;
      }
    }
    examples.push_back(std::move(e));
  }
  return examples;
}

TEST(MarkdownNote, CommonMarkExamplesLookAsMd4cShowsThem) {
  const auto json = vm::readWholeFile(fs::path(VELLUMARK_TEST_DATA) / "commonmark" / "examples.json");
  ASSERT_TRUE(json);
  const std::vector<Example> examples = readExamples(*json);
  ASSERT_GE(examples.size(), 650u);
  std::vector<string> order;
  std::map<string, std::pair<int, int>> perSection;  // same, all
  for (const Example& e : examples) {
    if (!perSection.count(e.section)) order.push_back(e.section);
    auto& [same, all] = perSection[e.section];
    ++all;
    const string chain = normalise(vm::renderMarkupBody(e.markdown, kDefault));
    const string alone = normalise(vm::markdownToHtml(e.markdown));
    if (chain == alone) {
      ++same;
      continue;
    }
    ADD_FAILURE() << "example " << e.number << " (" << e.section << ")\n" << e.markdown << "\n" << firstDifference(chain, alone);
  }
  // The count per section, for the record.
  int same = 0;
  for (const string& section : order) {
    const auto [s, all] = perSection[section];
    same += s;
    std::printf("  %-40s %3d of %3d\n", section.c_str(), s, all);
  }
  std::printf("  %-40s %3d of %3zu\n", "all examples", same, examples.size());
}

}  // namespace
