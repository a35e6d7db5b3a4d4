#pragma once
// A Markdown note before md4c: the wiki pass and the line-break pass touch
// its prose only. Code blocks and spans, HTML blocks and comments, autolinks,
// Markdown links and images, references with a definition in the note and
// the definitions themselves, task boxes, list markers, hard breaks and
// thematic breaks reach md4c as they were written; page links "[Name]",
// "[[Name][text]]", "+Title" headings, "|" tables, =italic= and bare
// addresses still work in the prose around them.
#include <cstddef>
#include <string>
#include <string_view>

namespace vm {

struct MarkdownNoteOptions {
  bool wiki = true;        // MarkdownDoPreWiki
  bool lineBreaks = true;  // MarkdownPreMarkdown
  // When set, receives the bytes the wiki steps scanned or rebuilt.
  std::size_t* work = nullptr;
  // Off: every prose line takes the whole protection and wiki conversion,
  // with no shortcut; the page is the same (the shortcuts are checked
  // against it).
  bool fastPaths = true;
  // When set, told whether md4c may take the text as it is: no line with
  // too many container markers, no block too full of links (see
  // md4c_input.h). The note's own rewriting is then all it needs.
  bool* md4cReady = nullptr;
};

// The text md4c gets, with LF line ends. Linear in the text's size.
std::string prepareMarkdownNote(std::string_view text, const MarkdownNoteOptions& options);

// A reference label as Markdown compares them: blanks and line ends
// collapsed to one blank, trimmed, case folded.
std::string normalizeLabel(std::string_view label);

// Lines the line-break pass leaves without a hard break: rule lines ("===",
// "---") and list lines ("- ", "+ ", "* " but not "**").
bool isRuleLine(std::string_view content);
bool isListLine(std::string_view content);

}  // namespace vm
