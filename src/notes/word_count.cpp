#include "notes/word_count.h"

#include <cctype>

namespace vm {

namespace {
bool isGap(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

std::size_t countWords(std::string_view text) {
  std::size_t words = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isGap(text[i])) ++i;
    if (i >= text.size()) break;
    std::size_t start = i;
    bool onlyPunct = true;
    for (; i < text.size() && !isGap(text[i]); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= 128 || !std::ispunct(c)) onlyPunct = false;
    }
    if (!onlyPunct || start < 2) ++words;
  }
  return words;
}

std::string withThousands(std::size_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

}  // namespace vm
