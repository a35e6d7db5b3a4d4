// The shortcuts of the Markdown note passes (lines no pass reacts to, lines
// converted in their own buffer, the one scan a line gets) against the full
// passes: the same text for md4c and the same wiki work, for real notes and
// for generated ones full of the bytes the shortcuts look for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "render/markdown_note.h"
#include "render/markup.h"

namespace {

namespace fs = std::filesystem;
using std::string;

struct Prepared {
  string text;
  std::size_t work = 0;
};

Prepared prepare(const string& note, bool wiki, bool breaks, bool fast) {
  Prepared p;
  p.text = vm::prepareMarkdownNote(note, {.wiki = wiki, .lineBreaks = breaks, .work = &p.work, .fastPaths = fast});
  return p;
}

// Expects the same result with and without the shortcuts under every
// switch; returns how many differ.
int compare(const string& name, const string& note) {
  int differ = 0;
  for (bool wiki : {false, true}) {
    for (bool breaks : {false, true}) {
      const Prepared full = prepare(note, wiki, breaks, false);
      const Prepared fast = prepare(note, wiki, breaks, true);
      if (fast.text == full.text && fast.work == full.work) continue;
      ++differ;
      ADD_FAILURE() << name << " wiki " << wiki << " breaks " << breaks << ": "
                    << (fast.text != full.text ? "text differs" : "work differs");
    }
  }
  return differ;
}

// Lines of prose made of pieces that start protection, wiki steps, both or
// neither, so consecutive lines fall on every side of each shortcut.
string mixedNote(unsigned seed, const string& eol) {
  static const char* pieces[] = {"plain ", "words ", "[Page] ", "[[t][s]] ", "[a](u) ", "`c` ", "``", "`",
                                 "**b** ", " =i= ", "x: ", "http://h.org/p ", "<b>", "</b> ", "<!-- ", "--> ",
                                 "[", "]", "(", ")", "\\", "!", "[x] ", "$", "+", "_", "*", "|", "=", "\x1A" "0\x1B",
                                 "<br/>", "  ", "\t", "é ", "\xff", "![p](imgs\\a.png) ", "<tr>"};
  static const char* starts[] = {"",   "",   "",      "- ",  "+ ",   "1. ",  "|",    "> ", "    ", "# ",
                                 "+",  "- [ ] ", "[r]: ", "[r] ", "!",  "(",   "\"", "é",  "~~~",  "```",
                                 "  [", "\\", "---",   "===",  "<div>", "* * *"};
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  string out;
  const unsigned lines = 5 + next(40);
  for (unsigned l = 0; l < lines; ++l) {
    if (next(8) == 0) {
      out += eol;  // a blank line ends a paragraph, a table, a code span
      continue;
    }
    out += starts[next(std::size(starts))];
    for (unsigned p = next(10); p > 0; --p) out += pieces[next(std::size(pieces))];
    // Now and then a line about as long as one wiki piece.
    if (next(30) == 0) out += string(1015 + next(12), "a[ `"[next(4)]);
    if (l + 1 < lines || next(2)) out += eol;
  }
  return out;
}

TEST(MarkdownFastPaths, SameTextAndWorkAsTheFullPasses) {
  int differ = 0;
  for (unsigned seed = 1; seed <= 600; ++seed) {
    const string eol = seed % 5 == 0 ? "\r\n" : "\n";
    differ += compare("mixed " + std::to_string(seed), mixedNote(seed, eol));
    if (differ > 10) break;
  }
  EXPECT_EQ(differ, 0);
}

TEST(MarkdownFastPaths, TestNotesAsTheFullPasses) {
  const fs::path data(VELLUMARK_TEST_DATA);
  std::size_t notes = 0;
  for (const char* folder : {"markdown", "markdown-real", "wiki"}) {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(data / folder, ec)) {
      if (!entry.is_regular_file()) continue;
      if (auto text = vm::readWholeFile(entry.path())) {
        compare(entry.path().filename().string(), *text);
        ++notes;
      }
    }
  }
  EXPECT_GT(notes, 10u);
}

// The cases at the edges of the shortcuts, one by one.
TEST(MarkdownFastPaths, EdgeLines) {
  const std::vector<string> notes = {
      "a `span\ngoes on` here\nplain\n",          // a code span over two lines
      "|a|b|\nplain after a row\n\nplain\n",      // a table ends before a plain line
      "|a|b|\n[x](y) after a row\n",               // ... and before a line with a piece
      "|a|b|\n|---|:-:|\n|c `d`|[e](f)|\n|g\n[h] i\n",  // a delimiter row; cells with pieces
      // A last cell cut at the cell limit, with the row's LF and stand-ins
      // of many pieces in what is cut.
      "|a|" + string(250, 'x') + string(30, '\x1B') + " `c`\nnext\n|b|" + string(300, '`') + "\n",
      string(1023, 'a') + "\n" + string(1022, 'b') + "[\n" + string(1023, '[') + "\n",
      "no end of line [x](y)",                     // the last line without LF
      "lone\rcr [x](y)\nnext\n",                   // a CR inside a line
      "[a]\n\n[a]: http://x\n",                    // a label defined later
      "\x1A" "0\x1B and [x](y) \x1A" "1\x1B\n",    // the stand-in bytes in the note
      "ends in a tag <a\nhref=\"x\">\n",
      "- item\n* star\n1.\n===\n---\nend  \nend\\\nend<BR/>\n",
      // Lines that start no block, inside and outside a paragraph.
      "text\n[a]: http://x\n[a]\n\n[b]: http://y\n[b]\n",
      // A line no wiki step changes, whose picture's backslash is turned.
      "see ![p](imgs\\a.png) and `c`\n",
      "<tr class=x>`a`\n<tr> [b](c)\n",
      "!img\n(paren\n|pipe\n\xc3\xa9t\xc3\xa9\n\"q\n\n!x [y]\n",
      "- item\n  continued\n!x\n\n   !y\n\n[c]:\n  http://z\n(t)\n",
  };
  for (std::size_t i = 0; i < notes.size(); ++i) compare("edge " + std::to_string(i), notes[i]);
  EXPECT_EQ(vm::prepareMarkdownNote("see ![p](imgs\\a.png) and `c`\n", {}), "see ![p](imgs/a.png) and `c`  \n");
}

// A prepared note said ready goes to md4c without md4c's own preparation:
// the page must be the one the preparation gives, and the notes it would
// change (a line too deep, a block too full of links, a CR) are not ready.
TEST(MarkdownFastPaths, ReadyForMd4cOnlyWhenThePreparationWouldChangeNothing) {
  constexpr unsigned kNote = vm::kRenderMarkdown | vm::kRenderMarkdownNote | vm::kRenderWiki | vm::kRenderLineBreaks;
  auto repeated = [](const string& s, int n) {
    string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  auto ready = [](const string& note) {
    bool is = false;
    vm::prepareMarkdownNote(note, {.md4cReady = &is});
    return is;
  };
  auto samePage = [](const string& name, const string& note) {
    EXPECT_EQ(vm::renderMarkupBody(note, kNote), vm::markdownToHtml(vm::prepareMarkdownNote(note, {}))) << name;
  };
  int readyNotes = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    const string note = mixedNote(seed, seed % 5 == 0 ? "\r\n" : "\n");
    readyNotes += ready(note);
    samePage("mixed " + std::to_string(seed), note);
  }
  EXPECT_GT(readyNotes, 100);
  const std::vector<std::pair<string, string>> notReady = {
      {"17 quote markers", repeated("> ", 17) + "x\n"},
      {"17 list markers after a blank", "a\n\n" + repeated("1. ", 17) + "x\n"},
      {"17 markers on a converted line", "- " + repeated("> ", 16) + "[Page] [[a][b]] `c`\n"},
      {"a block of link lines", repeated("[a](b) [c] d\n", 3000)},
      {"a CR", "a\r\nb\n"},
  };
  for (const auto& [name, note] : notReady) {
    EXPECT_FALSE(ready(note)) << name;
    samePage(name, note);
  }
  EXPECT_TRUE(ready(repeated("> ", 16) + "x\n" + repeated("[a](b) [c] d\n", 1000)));
  EXPECT_TRUE(ready(repeated("[a](b) [c] d\n\n", 50000)));  // many links, short blocks
}

}  // namespace
