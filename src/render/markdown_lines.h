#pragma once
// The block structure of a Markdown note, as far as its wiki and line-break
// passes need it: which lines are prose and which reach md4c as written
// (code blocks, HTML blocks, reference definitions...), the reference labels
// the note defines, and the small recognisers the prose pass shares.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vm::markdown {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiPunct(char c);
// Only blanks (or nothing). Most lines start with something else.
inline bool isBlankLine(std::string_view line) {
  for (char c : line)
    if (!isBlank(c)) return false;
  return true;
}

// Longest HTML tag or autolink looked for on a line; longer ones are text.
inline constexpr std::size_t kMaxTag = 1024;
// The end (one past ">") of an HTML open or closing tag starting at s[i]
// == '<', or npos. At most kMaxTag bytes are looked at.
std::size_t tagEnd(std::string_view s, std::size_t i);

// The line after its block-quote markers ("> ", up to three blanks before
// each).
std::string_view afterQuotes(std::string_view s);
// Where a list item's content starts after its marker ("- ", "+ ", "* ",
// "1. ", "1) "), or npos.
std::size_t listContentStart(std::string_view s);

enum class Kind { Prose, Verbatim };

struct Line {
  std::size_t begin, end, next;  // content [begin, end) without line end; next line
  Kind kind = Kind::Prose;
};

// Splits the text into lines (LF, CR LF) and sorts them into prose and
// lines that reach md4c as written; collects the reference labels defined.
// Without `shortcuts` only a letter first makes a line plain text at once
// (the lines come out the same).
std::vector<Line> classify(std::string_view text, std::unordered_set<std::string>& labels, bool shortcuts = true);

}  // namespace vm::markdown
