// The render passes do work linear in their input, whatever the bytes: the
// web-address check agrees with the scan that finds addresses, and every
// piece of a line gets a fixed allowance of rebuilding.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text.h"
#include "render/markdown_note.h"
#include "render/markup.h"
#include "render/wiki.h"

namespace {

constexpr unsigned kAll = vm::kRenderMarkdown | vm::kRenderWiki | vm::kRenderLineBreaks;
// Bytes scanned or rebuilt per input byte, at most: the allowance of a
// piece (a quarter MB and one more round) over the piece's 1023 bytes.
constexpr std::size_t kWorkPerByte = 320;

std::size_t count(std::string_view hay, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

std::string repeated(std::string_view unit, std::size_t size) {
  std::string s;
  while (s.size() < size) s += unit;
  s.resize(size);
  return s;
}

std::size_t wikiWork(const std::string& text, bool marks = true) {
  std::size_t work = 0;
  vm::WikiOptions options;
  options.markLineEnds = marks;
  options.work = &work;
  (void)vm::wikiToHtml(text, options);
  return work;
}

TEST(RenderBounds, StrayContinuationByteAfterAddressPrefix) {
  const std::string text("http:\x9e\n", 7);
  const std::string html = vm::wikiToHtml(text);
  EXPECT_EQ(html, std::string("<a href=\"http:\x9e\">http:\x9e</a><br />", 33));
  EXPECT_LT(wikiWork(text), 100u);
  // Every position of the stray byte, and the other web prefixes.
  for (const char* prefix : {"http:", "https:", "http://a.b/"}) {
    for (const char* tail : {"\x9e", "\xc3", "\xe2\x82", "\xff\xfe", "\x80 x"}) {
      const std::string line = std::string("see ") + prefix + tail + "\n";
      SCOPED_TRACE(line);
      const std::string out = vm::renderMarkupBody(line, kAll);
      EXPECT_EQ(count(out, "<a "), 1u);
      EXPECT_EQ(count(out, "tn:"), 0u) << out;
    }
  }
}

TEST(RenderBounds, WebPrefixIsDecidedByItsOwnBytes) {
  std::mt19937 random(11);
  for (int i = 0; i < 2000; ++i) {
    std::string tail(static_cast<std::size_t>(random() % 6), '\0');
    for (char& c : tail) c = static_cast<char>(random() % 256);
    for (const char* prefix : {"http:", "HtTpS:", "ftp:", "MAILTO:", "www.", "???"})
      EXPECT_TRUE(vm::startsWithWebPrefix(prefix + tail)) << prefix;
    EXPECT_FALSE(vm::startsWithWebPrefix("\x9e" "http:" + tail));
  }
  EXPECT_FALSE(vm::startsWithWebPrefix("htt\x9e:"));
  EXPECT_FALSE(vm::startsWithWebPrefix("http"));
  EXPECT_FALSE(vm::startsWithWebPrefix("www"));
  EXPECT_FALSE(vm::startsWithWebPrefix(""));
}

// One-megabyte lines built to make the link and markup steps repeat as
// often as they can; the work done stays within a fixed amount per byte.
TEST(RenderBounds, MegabyteLinesOfAnyBytes) {
  constexpr std::size_t kSize = 1 << 20;
  std::vector<std::pair<std::string, std::string>> lines = {
      {"empty brackets", repeated("[]", kSize)},
      {"short links", repeated("[a] ", kSize)},
      {"nested", repeated("[a[b] ]", kSize)},
      {"page links", repeated("[[a][b]]", kSize)},
      {"italic pairs", repeated(" =a=", kSize)},
      {"stray bytes", repeated(std::string("http:\x9e ", 7), kSize)},
      {"escaped brackets", repeated("\\[ http://x ", kSize)},
      {"pictures", repeated("[$a$]", kSize)},
      {"headings and rules", repeated("+++++++* * *", kSize)},
      {"open tags", repeated("<a b=\"", kSize)},
      {"backtick runs", repeated("`` ` ```", kSize)},
      {"open destinations", repeated("[a](", kSize)},
      {"open comments", repeated("<!-- ", kSize)},
      {"image brackets", repeated("![[", kSize)},
  };
  std::mt19937 random(5);
  const std::string alphabet = "[]=_ $|+-<>{}:htp\\\x9e\xc3\xff*.";
  std::string noise(kSize, ' ');
  for (char& c : noise) c = alphabet[random() % alphabet.size()];
  lines.emplace_back("random markup", noise);
  std::string bytes(kSize, ' ');
  for (char& c : bytes) c = static_cast<char>(random() % 256 == 10 ? 'x' : random() % 256);
  lines.emplace_back("random bytes", bytes);

  for (auto& [name, line] : lines) {
    SCOPED_TRACE(name);
    line += '\n';
    EXPECT_LE(wikiWork(line), kWorkPerByte * line.size());
    const std::string html = vm::wikiToHtml(line);
    EXPECT_LE(html.size(), 40 * line.size());
    // The same line as a Markdown note's prose.
    std::size_t work = 0;
    const std::string prepared = vm::prepareMarkdownNote(line, {.work = &work});
    EXPECT_LE(work, kWorkPerByte * line.size());
    EXPECT_LE(prepared.size(), 40 * line.size());
  }
  // The whole chain on the worst of them finishes (and has a page).
  EXPECT_FALSE(vm::renderMarkupBody(lines[0].second, kAll).empty());
  EXPECT_FALSE(vm::renderMarkupBody(lines.back().second, kAll).empty());
}

// Documents of random Markdown and wiki pieces: every one is prepared
// without a fault, and a note without markup comes through byte for byte
// (apart from the hard breaks and CR LF line ends).
TEST(RenderBounds, RandomMarkdownNotes) {
  static const char* pieces[] = {"- ", "+ ", "* ", "1. ", "1.", "> ", "    ", "  ", "\t", "```", "~~~", "`", "``",
                                 "<!--", "-->", "<div>", "</div>", "<a href=\"x\">", "<http://a.b>", "[", "]", "(",
                                 ")", "[x]", "[ ]", "[!NOTE]", "[^1]", "[a]: /u", "\"t\"", "http://x.y/a_b",
                                 "_w_", "=w=", "***", "---", "___", "|", "|---|", "+T", "\\", "\n", "\n\n",
                                 "\r\n", "word ", "\x1A", "\x1B", "1", "\xc3\xa9", "\xff", "#", "!["};
  std::mt19937 random(3);
  for (int note = 0; note < 300; ++note) {
    std::string text;
    const int n = static_cast<int>(random() % 400);
    for (int i = 0; i < n; ++i) text += pieces[random() % std::size(pieces)];
    for (bool wiki : {true, false}) {
      const std::string prepared = vm::prepareMarkdownNote(text, {.wiki = wiki, .lineBreaks = true});
      EXPECT_EQ(prepared.find('\x1A') == std::string::npos, text.find('\x1A') == std::string::npos) << text;
      EXPECT_FALSE(vm::renderMarkupBody(text, kAll | vm::kRenderMarkdownNote).empty());
    }
  }
  // Without the line-break pass the wiki pass marks the prose lines only.
  EXPECT_EQ(vm::prepareMarkdownNote("a\r\n```\r\nb\r\n```\r\nc", {.wiki = true, .lineBreaks = false}),
            "a<br/>\n```\nb\n```\nc");
}

TEST(RenderBounds, LinesPeopleWriteAreConvertedWhole) {
  // 200 links on one line of seven pieces (31 bytes a link, 33 links a
  // piece of 1023 bytes): every one is linked.
  std::string line;
  for (int i = 0; i < 200; ++i) line += vm::format("see [Note %03d] and more texts. ", i);
  ASSERT_EQ(line.size(), 200u * 31);
  line += "\n";
  const std::string html = vm::wikiToHtml(line);
  EXPECT_EQ(count(html, "href=\"tn:Note%20"), 200u);
  // A piece with 60 italic words keeps all of them.
  EXPECT_EQ(count(vm::wikiToHtml(repeated(" =word=", 60 * 7) + "\n"), "<i>"), 60u);
}

}  // namespace
