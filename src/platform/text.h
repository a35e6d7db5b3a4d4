#pragma once
// Text helpers shared by every subsystem: case-insensitive comparison by
// Unicode simple case folding, UTF-8-safe cutting, the integer reading rule.
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Simple case folding of UTF-8 text. Bytes that are not valid UTF-8 are kept.
std::string foldCase(std::string_view s);

// Three-way comparison ignoring case (<0, 0, >0).
int compareNoCase(std::string_view a, std::string_view b);
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);
bool endsWithNoCase(std::string_view s, std::string_view suffix);
// Position of needle in hay ignoring case, or npos.
std::size_t findNoCase(std::string_view hay, std::string_view needle);

// Cuts s to at most maxBytes without splitting a UTF-8 sequence.
std::string cutUtf8(std::string_view s, std::size_t maxBytes);

// Leading decimal number (optional blanks and sign, then digits); 0 when none.
long leadingNumber(std::string_view s);

// Replaces invalid UTF-8 by U+FFFD, for display.
std::string displayUtf8(std::string_view s);

// True when s begins with a web address prefix ("http:", "ftp:", "https:",
// "mailto:", "www.") or the web-search prefix "???", ignoring the case of
// ASCII letters; compared byte by byte, so any bytes may follow.
bool startsWithWebPrefix(std::string_view s);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Splits at every occurrence of sep (empty parts kept).
std::vector<std::string> split(std::string_view s, char sep);

// Characters (code points) of UTF-8 text; a line break (LF) counts one.
std::size_t countChars(std::string_view text);

}  // namespace vm
