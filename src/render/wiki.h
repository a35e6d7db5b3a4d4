#pragma once
// The wiki markup of notes (".wiki", ".wki", and Markdown notes before the
// Markdown renderer) converted to HTML, line by line.
//
// Markup: page links "[[target][text]]" and "[target]", bare web addresses,
// blocks "[| |]" (preformatted), "--> <--" (centred), "[< >]" and "[{ }]"
// (markers removed, contents escaped), tables of "|" rows, " =italic=",
// " _underlined_", rules "___" "***" "* * *", pictures "[$src$]", and
// "+" heading marks that become "#" for the Markdown renderer.
#include <cstddef>
#include <string>
#include <string_view>

namespace vm {

struct WikiOptions {
  // Put the "<br/>" line-end mark on lines that no step changed. The render
  // chain turns it off when the Markdown renderer and its own line-break pass
  // follow. Lines that a step changed get the mark either way (except table
  // rows and "+" heading lines).
  bool markLineEnds = true;
  // When set, receives the bytes the repeated link and markup steps scanned
  // or rebuilt: at most a fixed amount per input piece, whatever the input.
  std::size_t* work = nullptr;
};

// Converts a whole text (LF or CR LF line ends) and returns the page body with
// LF line ends. Pure: no state survives between calls. Any byte sequence is
// accepted; invalid UTF-8 and NUL bytes pass through as bytes.
std::string wikiToHtml(std::string_view text, const WikiOptions& options = {});

}  // namespace vm
