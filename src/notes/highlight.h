#pragma once
// Light highlighting of a note's markup in the note editor: headings,
// emphasis, links and page links, code. A line at a time: each line gets
// the state the line before it ended in (inside a fenced code block or a
// preformatted wiki block) and gives its own, so an editor re-runs only the
// lines whose text or incoming state changed.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

enum class NoteSyntax { None = 0, Markdown = 1, Wiki = 2 };

// The syntax of a note by its file name: Markdown for the Markdown
// extensions (".md", ".markdown" and markdownExtensions), wiki for ".wiki"
// and ".wki", None for anything else.
NoteSyntax noteSyntaxOf(std::string_view fileName, const std::vector<std::string>& markdownExtraExtensions);

enum class HighlightKind { Heading, Strong, Emphasis, Strike, Code, Link, PageLink, Rule };

struct HighlightSpan {
  std::size_t start = 0;   // bytes into the line
  std::size_t length = 0;
  HighlightKind kind = HighlightKind::Code;
  friend bool operator==(const HighlightSpan&, const HighlightSpan&) = default;
};

// Line states: kNormal, or inside a block that the next line continues.
inline constexpr int kLineNormal = 0;
inline constexpr int kLineInBacktickFence = 1;  // Markdown "```"
inline constexpr int kLineInTildeFence = 2;     // Markdown "~~~"
inline constexpr int kLineInWikiBlock = 3;      // wiki "[|" ... "|]"

struct LineHighlight {
  std::vector<HighlightSpan> spans;  // ordered by start, not overlapping
  int state = kLineNormal;           // the state the next line starts in
};

// Spans of one line (without its line end) after a line that ended in
// state. Any bytes are accepted; the work is linear in the line's length.
LineHighlight highlightLine(std::string_view line, int state, NoteSyntax syntax);

}  // namespace vm
