#pragma once
// The wiki markup of notes (".wiki", ".wki", and Markdown notes before the
// Markdown renderer) converted to HTML, line by line.
//
// Markup: page links "[[target][text]]" and "[target]", bare web addresses,
// blocks "[| |]" (preformatted), "--> <--" (centred), "[< >]" and "[{ }]"
// (markers removed, contents escaped), tables of "|" rows, " =italic=",
// " _underlined_", rules "___" "***" "* * *", pictures "[$src$]", and
// "+" heading marks that become "#" for the Markdown renderer. A "-->"
// opens a centring block only when a "<--" follows somewhere after it, and a
// table's delimiter row ("|---|:--:|") is dropped.
#include <cstddef>
#include <memory>
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
  // The text is a Markdown note, given a line of prose at a time: no wiki
  // blocks (Markdown has its own code), "_" stays Markdown's emphasis, a
  // "+" followed by a blank is a list marker, "[!NOTE]" and "[^1]" are no
  // page links, a bare address keeps its line end, and a blank line after
  // a table ends its HTML block. Lines are marked only when markLineEnds.
  bool markdownNote = false;
  // Page links count the bytes they change from what they are made of,
  // and the steps after them skip looking for an address or an italic a
  // line cannot hold; off, every change is counted by a scan of the bytes
  // it removes and writes and every step looks (the same pages and counts:
  // the shortcuts are checked against it).
  bool countEdits = true;
};

// The converter, a line at a time, for callers that hand it only some of a
// text's lines.
class WikiConverter {
 public:
  // `text` is the whole text the lines come from.
  WikiConverter(const WikiOptions& options, std::string_view text);
  ~WikiConverter();
  WikiConverter(const WikiConverter&) = delete;
  WikiConverter& operator=(const WikiConverter&) = delete;

  // Converts the first piece of `text` (through its LF, at most 1023 bytes)
  // onto out; returns the bytes of text it used.
  std::size_t line(std::string_view text, std::string& out);
  // A line that takes no part in the markup: written as it is, after the
  // end of a table it ends. `text` is its bytes in the text.
  void passThrough(std::string_view text, std::string& out);
  // Bytes of the text that were handled elsewhere.
  void skip(std::size_t bytes);
  // Whether line() would give back this line (one piece, through its LF if
  // any) as it is, line-end mark aside: a Markdown note's line with no byte
  // any step reacts to, no CR, not a table row and no table open before it.
  bool passesUnchanged(std::string_view text) const;
  // Such a line onto out, as line() would write it, and the bytes it used.
  std::size_t unchanged(std::string_view text, std::string& out);
  // The conversion of a line that is one piece of its own (at most 1023
  // bytes, no CR, no LF but its last byte) done in the line's own buffer:
  // afterwards `line` holds what line() writes after `before`, which gets
  // the end of a table the line closes. Spares line()'s copies. Returns
  // whether the line is still as it was given.
  bool convertInPlace(std::string& line, std::string& before);

 private:
  class Converter;
  std::unique_ptr<Converter> converter_;
  std::size_t* work_;
};

// Converts a whole text (LF or CR LF line ends) and returns the page body with
// LF line ends. Pure: no state survives between calls. Any byte sequence is
// accepted; invalid UTF-8 and NUL bytes pass through as bytes.
std::string wikiToHtml(std::string_view text, const WikiOptions& options = {});

}  // namespace vm
