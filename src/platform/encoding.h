#pragma once
// Text encodings of note and sheet files. Inside the program all text is
// UTF-8. A file whose bytes are valid UTF-8 is read as UTF-8; any other file
// is a legacy file in Windows-1252, where every byte value maps to exactly one
// character (the five values 1252 leaves undefined map to the C1 control of
// the same value), so decoding and encoding back give the same bytes.
#include <optional>
#include <string>
#include <string_view>

namespace vm {

enum class TextEncoding { Utf8, Windows1252 };

// True when s is well-formed UTF-8 (no overlongs, no surrogates, nothing
// above U+10FFFF).
bool isValidUtf8(std::string_view s);

// The encoding a file's bytes are read in: UTF-8 when valid, else Windows-1252.
TextEncoding detectEncoding(std::string_view bytes);

// Windows-1252 bytes to UTF-8. Every input byte gives one character.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. nullopt when the text holds a character 1252
// cannot hold (or is not valid UTF-8).
std::optional<std::string> utf8ToCp1252(std::string_view utf8);

// File bytes to the program's UTF-8 text, in the given encoding.
std::string decodeText(std::string_view bytes, TextEncoding enc);

// The program's UTF-8 text to file bytes in enc. When enc is Windows-1252 and
// the text holds a character it cannot hold, the text is returned as UTF-8
// and *fellBackToUtf8 is set: the caller says so and remembers UTF-8.
std::string encodeText(std::string_view utf8, TextEncoding enc, bool* fellBackToUtf8 = nullptr);

}  // namespace vm
