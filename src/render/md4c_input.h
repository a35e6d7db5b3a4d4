#pragma once
// What md4c is given. Two kinds of text make md4c slow, so the Markdown
// chain rewrites them before md4c sees them: many container markers at the
// start of one line, and blocks of many lines full of links. The limits, and
// a check, line by line, that a text needs none of it.
#include <cstddef>
#include <string_view>
#include <utility>

namespace vm::md4c_input {

// Container markers (">" or a list marker) honoured at the start of one line.
// md4c keeps every open container on a stack and walks it for each following
// line, so a line of thousands of markers followed by many blank lines costs
// depth times lines. Markers past this count are removed before md4c sees the
// line; the contents after them are kept.
inline constexpr std::size_t kMaxNesting = 16;
// Bracket pairs times the lines before them in one block: a few
// milliseconds of md4c's time. md4c finds the line of each pair by walking
// the block's lines from its first, so past this a block is cut in two.
inline constexpr unsigned long long kMaxLinkWork = 4'000'000;

// For the line of s starting at `start`: where the kept markers end and where
// the dropped ones end, or {npos, npos} when the line has few enough markers.
std::pair<std::size_t, std::size_t> excessMarkers(std::string_view s, std::size_t start);

// Whether a text written line by line needs no such rewriting: no line too
// deep, and no block with brackets times lines past kMaxLinkWork (counted
// with every "[" of the text in each block, which is more than the pairs
// md4c looks for). The text's lines end in LF only.
class ReadyCheck {
 public:
  // One line of `text` that starts at `start` and ends before `end` (its
  // LF, or the end of the text).
  void line(std::string_view text, std::size_t start, std::size_t end);
  // Every line of text from `start` on, where a line starts (what was written
  // since the last call).
  void lines(std::string_view text, std::size_t start);
  // The verdict for the whole text, once its last line is in.
  bool ready(std::string_view text) const;

 private:
  std::size_t blockLines_ = 0, maxBlockLines_ = 0;
  bool tooDeep_ = false;
};

}  // namespace vm::md4c_input
