#pragma once
// Word and character counts of a note, as the status bar and the Tools menu show them.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"  // countChars

namespace vm {

// A word ends at a blank, tab, LF or CR after another character, and at the
// end of the text. Words made only of punctuation are not counted, unless
// they begin within the first two characters of the text.
std::size_t countWords(std::string_view text);
// 1234567 -> "1,234,567".
std::string withThousands(std::size_t n);

}  // namespace vm
