#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "notes/highlight.h"
#include "notes/note_rig.h"

namespace vm {
namespace {

using K = HighlightKind;

// "kind:text" for each span, to read failures easily.
std::vector<std::string> spansOf(std::string_view line, NoteSyntax syntax = NoteSyntax::Markdown, int state = 0) {
  std::vector<std::string> out;
  for (const HighlightSpan& s : highlightLine(line, state, syntax).spans) {
    const char* names[] = {"heading", "strong", "em", "strike", "code", "link", "page", "rule"};
    out.push_back(std::string(names[static_cast<int>(s.kind)]) + ":" + std::string(line.substr(s.start, s.length)));
  }
  return out;
}
using V = std::vector<std::string>;

TEST(Highlight, MarkdownInlineMarkup) {
  EXPECT_EQ(spansOf("a **bold** and *it* and ~~gone~~"), (V{"strong:**bold**", "em:*it*", "strike:~~gone~~"}));
  EXPECT_EQ(spansOf("__b__ _e_ snake_case_name"), (V{"strong:__b__", "em:_e_"}));
  EXPECT_EQ(spansOf("use `a ** b` here"), (V{"code:`a ** b`"}));
  EXPECT_EQ(spansOf("``x ` y`` and `z"), (V{"code:``x ` y``"}));
  EXPECT_EQ(spansOf("see [ Other Note ] and [site](https://x.org) ![pic](imgs/a.png)"),
            (V{"page:[ Other Note ]", "link:[site](https://x.org)", "link:![pic](imgs/a.png)"}));
  EXPECT_EQ(spansOf("go to https://example.org/a?b now"), (V{"link:https://example.org/a?b"}));
  EXPECT_EQ(spansOf("- [ ] task [x] done [^1] [!NOTE] []"), V{});
}

TEST(Highlight, UnclosedOrSpacedMarkersAreNotEmphasis) {
  EXPECT_EQ(spansOf("2 * 3 * 4"), V{});
  EXPECT_EQ(spansOf("**open only"), V{});
  EXPECT_EQ(spansOf("a * b*"), V{});
  EXPECT_EQ(spansOf("[unclosed"), V{});
}

TEST(Highlight, MarkdownLinesAsAWhole) {
  EXPECT_EQ(spansOf("## Title *x*"), V{"heading:## Title *x*"});
  EXPECT_EQ(spansOf("####### seven"), V{});
  EXPECT_EQ(spansOf("====="), V{"heading:====="});
  EXPECT_EQ(spansOf("* * *"), V{"rule:* * *"});
  EXPECT_EQ(spansOf("---"), V{"rule:---"});
  EXPECT_EQ(spansOf("#hashtag"), V{"heading:#hashtag"});  // headings need no blank after "#" here
}

TEST(Highlight, FencedCodeCarriesItsStateToTheNextLines) {
  LineHighlight a = highlightLine("```cpp", kLineNormal, NoteSyntax::Markdown);
  EXPECT_EQ(a.state, kLineInBacktickFence);
  LineHighlight b = highlightLine("int x = **y**; // [not] a link", a.state, NoteSyntax::Markdown);
  ASSERT_EQ(b.spans.size(), 1u);
  EXPECT_EQ(b.spans[0], (HighlightSpan{0, 30, K::Code}));
  EXPECT_EQ(b.state, kLineInBacktickFence);
  EXPECT_EQ(highlightLine("~~~", b.state, NoteSyntax::Markdown).state, kLineInBacktickFence);  // not its close
  EXPECT_EQ(highlightLine("```", b.state, NoteSyntax::Markdown).state, kLineNormal);
  EXPECT_EQ(highlightLine("~~~", kLineNormal, NoteSyntax::Markdown).state, kLineInTildeFence);
  EXPECT_TRUE(highlightLine("", kLineInTildeFence, NoteSyntax::Markdown).spans.empty());
}

TEST(Highlight, WikiMarkup) {
  EXPECT_EQ(spansOf("+Heading", NoteSyntax::Wiki), V{"heading:+Heading"});
  EXPECT_EQ(spansOf("a =italic= word [[target][text]] [$ imgs\\a.png $]", NoteSyntax::Wiki),
            (V{"em:=italic=", "page:[[target][text]]", "link:[$ imgs\\a.png $]"}));
  EXPECT_EQ(spansOf("x=y=z", NoteSyntax::Wiki), V{});  // "=" marks only after a blank
  EXPECT_EQ(spansOf("a=b=c", NoteSyntax::Markdown), V{});

  LineHighlight open = highlightLine("text *x* [| pre", kLineNormal, NoteSyntax::Wiki);
  EXPECT_EQ(open.state, kLineInWikiBlock);
  ASSERT_EQ(open.spans.size(), 2u);
  EXPECT_EQ(open.spans[0].kind, K::Emphasis);
  EXPECT_EQ(open.spans[1], (HighlightSpan{9, 6, K::Code}));
  EXPECT_EQ(highlightLine("still *pre*", open.state, NoteSyntax::Wiki).spans,
            (std::vector<HighlightSpan>{{0, 11, K::Code}}));
  EXPECT_EQ(highlightLine("end |]", open.state, NoteSyntax::Wiki).state, kLineNormal);
}

TEST(Highlight, PlainNotesAreNotHighlighted) {
  EXPECT_TRUE(highlightLine("# **x**", kLineNormal, NoteSyntax::None).spans.empty());
  EXPECT_EQ(noteSyntaxOf("a.md", {}), NoteSyntax::Markdown);
  EXPECT_EQ(noteSyntaxOf("A.MARKDOWN", {}), NoteSyntax::Markdown);
  EXPECT_EQ(noteSyntaxOf("a.mkd", {".mkd"}), NoteSyntax::Markdown);
  EXPECT_EQ(noteSyntaxOf("a.wiki", {}), NoteSyntax::Wiki);
  EXPECT_EQ(noteSyntaxOf("a.txt", {}), NoteSyntax::None);
}

// The note viewer tells the editor which markup the opened note has.
TEST(Highlight, EditorGetsTheNotesSyntaxUnlessTurnedOff) {
  {
    test::EditRig h("MarkdownExtraExtensions=mkd");
    ASSERT_TRUE(h.openNew("a.md", "# x"));
    EXPECT_EQ(h.editor.syntax, 1);
    ASSERT_TRUE(h.openNew("b.wiki", "+x"));
    EXPECT_EQ(h.editor.syntax, 2);
    ASSERT_TRUE(h.openNew("c.mkd", "# x"));
    EXPECT_EQ(h.editor.syntax, 1);
    ASSERT_TRUE(h.openNew("d.txt", "# x"));
    EXPECT_EQ(h.editor.syntax, 0);
  }
  test::EditRig off("NoteSyntaxHighlight=0");
  ASSERT_TRUE(off.openNew("a.md", "# x"));
  EXPECT_EQ(off.editor.syntax, 0);
}

// Any bytes: spans stay inside the line, in order and apart.
TEST(Highlight, RandomLinesGiveOrderedSpansInsideTheLine) {
  std::mt19937 rng(7);
  const std::string alphabet = "*_~`[]()!=+#$|- axh:/\xc3\xa9\n";
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    const int n = rng() % 40;
    for (int i = 0; i < n; ++i) line += alphabet[rng() % alphabet.size()];
    for (NoteSyntax syntax : {NoteSyntax::Markdown, NoteSyntax::Wiki}) {
      LineHighlight h = highlightLine(line, static_cast<int>(rng() % 4), syntax);
      std::size_t end = 0;
      for (const HighlightSpan& s : h.spans) {
        ASSERT_GE(s.start, end) << line;
        ASSERT_GT(s.length, 0u) << line;
        ASSERT_LE(s.start + s.length, line.size()) << line;
        end = s.start + s.length;
      }
      ASSERT_GE(h.state, 0);
      ASSERT_LE(h.state, 3);
    }
  }
}

}  // namespace
}  // namespace vm
