#include "render/md4c_input.h"

#include <algorithm>
#include <string>

#include "render/byte_scan.h"

namespace vm::md4c_input {

namespace {

using std::string_view;
constexpr std::size_t npos = std::string::npos;
constexpr std::size_t kMaxListNumberDigits = 9;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the container marker at s[i] (">", "-", "+", "*" or "1." / "1)"
// followed by a blank), 0 when there is none.
std::size_t containerMarkerAt(string_view s, std::size_t i) {
  const char c = s[i];
  if (c == '>') return 1;
  if (c == '-' || c == '+' || c == '*') return i + 1 < s.size() && isBlank(s[i + 1]) ? 1 : 0;
  std::size_t j = i;
  while (j < s.size() && j - i < kMaxListNumberDigits && isDigit(s[j])) ++j;
  if (j == i || j + 1 >= s.size() || (s[j] != '.' && s[j] != ')') || !isBlank(s[j + 1])) return 0;
  return j + 1 - i;
}

}  // namespace

std::pair<std::size_t, std::size_t> excessMarkers(string_view s, std::size_t start) {
  std::size_t i = start, count = 0, keepEnd = npos, lastEnd = npos;
  while (true) {
    while (i < s.size() && isBlank(s[i])) ++i;
    if (i >= s.size()) break;
    const std::size_t n = containerMarkerAt(s, i);
    if (n == 0) break;
    i += n;
    ++count;
    if (count == kMaxNesting) keepEnd = i;
    if (count > kMaxNesting) lastEnd = i;
  }
  if (lastEnd == npos) return {npos, npos};
  return {keepEnd, lastEnd};
}

void ReadyCheck::line(string_view text, std::size_t start, std::size_t end) {
  std::size_t first = start;
  while (first < end && isBlank(text[first])) ++first;
  if (first == end) {  // a blank line ends the block
    blockLines_ = 0;
    return;
  }
  maxBlockLines_ = std::max(maxBlockLines_, ++blockLines_);
  // Most lines start with a letter: no marker there.
  const char c = text[first];
  if ((c == '>' || c == '-' || c == '+' || c == '*' || isDigit(c)) && excessMarkers(text, start).first != npos)
    tooDeep_ = true;
}

void ReadyCheck::lines(string_view text, std::size_t start) {
  while (start < text.size()) {
    const std::size_t lf = std::min(text.find('\n', start), text.size());
    line(text, start, lf);
    start = lf + 1;
  }
}

bool ReadyCheck::ready(string_view text) const {
  if (tooDeep_) return false;
  return static_cast<unsigned long long>(countByte(text, '[')) * maxBlockLines_ <= kMaxLinkWork;
}

}  // namespace vm::md4c_input
