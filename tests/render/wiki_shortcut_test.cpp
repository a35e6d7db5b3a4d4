// The Markdown note shortcut of the wiki converter: a line it lets through
// must come out exactly as the full conversion writes it, with the same work
// counted, and every line a step or the table state could change must be
// refused.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "render/wiki.h"

namespace {

using vm::WikiConverter;
using vm::WikiOptions;

struct Converted {
  std::string page;
  std::size_t work = 0;
  std::vector<bool> shortcut;  // per line: whether the shortcut took it
};

// Converts the lines one after another, with or without the shortcut.
Converted convert(const std::vector<std::string>& lines, bool marks, bool useShortcut) {
  Converted run;
  WikiOptions options;
  options.markLineEnds = marks;
  options.markdownNote = true;
  options.work = &run.work;
  std::string text;
  for (const auto& line : lines) text += line;
  {
    WikiConverter wiki(options, text);
    for (const auto& line : lines) {
      const bool take = useShortcut && wiki.passesUnchanged(line);
      run.shortcut.push_back(wiki.passesUnchanged(line));
      if (take) {
        EXPECT_EQ(wiki.unchanged(line, run.page), line.size());
      } else {
        for (std::size_t i = 0; i < line.size();) i += wiki.line(std::string_view(line).substr(i), run.page);
      }
    }
  }
  return run;
}

TEST(WikiShortcut, SameOutputAndWorkAsFullConversion) {
  const std::vector<std::vector<std::string>> notes = {
      {"plain words\n", "more words", "\n", "  \n", "\t\n"},
      {"ends in a mark<br/>\n", "ends in <BR/>\n", "<br/>\n", "a <b>tag</b> and &amp;\n"},
      {"|a|b|\n", "|1|2|\n", "after the table\n", "\n", "after the blank\n"},
      {"|---|\n", "plain\n"},
      {"has [link] here\n", "a =b= c\n", "x: y\n", "+ item\n", "++ heading\n", "**bold**\n", "$] end\n"},
      {"carriage\r\n", "mid\rline\n", "two\nlines\n"},
      {std::string(1500, 'a') + "\n", std::string(1022, 'b') + "\n", std::string(1021, 'c') + "\n"},
  };
  for (const auto& lines : notes) {
    for (bool marks : {true, false}) {
      const Converted full = convert(lines, marks, false);
      const Converted fast = convert(lines, marks, true);
      EXPECT_EQ(fast.page, full.page) << lines.front() << " marks " << marks;
      EXPECT_EQ(fast.work, full.work) << lines.front() << " marks " << marks;
    }
  }
}

TEST(WikiShortcut, RefusesLinesAStepOrTheTableCouldChange) {
  const Converted run = convert({"plain words\n", "|a|b|\n", "text after a row\n", "\n", "text again\n", "[x]\n",
                           "a:b\n", "a=b\n", "a_b\n", "a*b\n", "a$b\n", "a+b\n", "a]b\n", "a\rb\n", "a\nb\n",
                           std::string(1023, 'x') + "\n", std::string(1021, 'x') + "\n"},
                          true, false);
  const std::vector<bool> expected = {true,  false, false, true,  true,  false, false, false, false,
                                      false, false, false, false, false, false, false, true};
  EXPECT_EQ(run.shortcut, expected);
  // A wiki note (not Markdown) has blocks and never takes the shortcut.
  std::size_t work = 0;
  WikiOptions options;
  options.work = &work;
  WikiConverter wiki(options, "plain\n");
  EXPECT_FALSE(wiki.passesUnchanged("plain\n"));
}

// Page links count the bytes they change from what they are made of: the
// same pages and work as counting by scans, for page links of every size
// around the limits where a target is cut, next to the other markup.
TEST(WikiShortcut, CountedPageLinksAsScanned) {
  static const char* pieces[] = {"[[a][b]] ", "[[x y][ z ]] ", "[p] ", "[ q r ] ", "[[[a]][b]]] ", "[$i$] ",
                                 " =it= ", "http://h.org/a ", "[a:b] ", "[=] ", "[[t][=_*$+:-]] ", "[x](y) ",
                                 "[!N] ", "[^1] ", "**b** ", "+", "|", "\\[e] ", "[[", "]]", "][", "[", "]"};
  unsigned seed = 3;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int note = 0; note < 300; ++note) {
    std::string text;
    for (unsigned line = next(8) + 1; line > 0; --line) {
      for (unsigned p = next(12); p > 0; --p) text += pieces[next(std::size(pieces))];
      if (next(6) == 0) {
        // A target about as long as the limits on targets and addresses.
        const std::string name(250 + next(1100), "ab =:"[next(5)]);
        text += next(2) ? "[[" + name + "][t]] " : "[" + name + "] ";
      }
      text += "\n";
    }
    for (bool marks : {true, false}) {
      for (bool markdown : {false, true}) {
        std::size_t counted = 0, scanned = 0;
        WikiOptions options{.markLineEnds = marks, .work = &counted, .markdownNote = markdown};
        const std::string a = vm::wikiToHtml(text, options);
        options.countEdits = false;
        options.work = &scanned;
        const std::string b = vm::wikiToHtml(text, options);
        ASSERT_EQ(a, b) << text;
        ASSERT_EQ(counted, scanned) << text;
      }
    }
  }
}

}  // namespace
