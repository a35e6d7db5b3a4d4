#pragma once
// Case-insensitive search in UTF-8 text by Unicode simple case folding (one
// code point folds to one code point, so "straße" does not match "STRASSE"
// but does match "STRAẞE"). Hits are byte offsets and byte lengths in the
// text searched, so an editor can select them. Also: the chunked scan of a
// file for a term (directory search) and the position-keeping search of one
// open document.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// Simple case folding of one code point. Dotted capital I (U+0130) and dotless
// small i (U+0131) have no simple folding and stay themselves.
char32_t foldCodePoint(char32_t cp);

struct TextHit {
  std::size_t offset = 0;  // bytes from the start of the text
  std::size_t length = 0;  // bytes of the occurrence in the text
  bool operator==(const TextHit&) const = default;
};

// One search term, prepared for repeated searches.
class TextMatcher {
 public:
  explicit TextMatcher(std::string_view term = {});

  const std::string& term() const { return term_; }
  bool empty() const { return folded_.empty(); }
  // The term is pure ASCII: it matches the same bytes in UTF-8 and in
  // Windows-1252 text.
  bool ascii() const { return ascii_; }
  // Most bytes one occurrence can take in UTF-8 text.
  std::size_t maxHitBytes() const { return folded_.size() * 4; }

  // First occurrence starting at or after byte `from`; nullopt when none (an
  // empty term is never found). Occurrences start on a character boundary.
  // Bytes that are not valid UTF-8 match only the same bytes.
  std::optional<TextHit> find(std::string_view text, std::size_t from = 0) const;
  bool contains(std::string_view text) const { return find(text).has_value(); }

 private:
  std::optional<TextHit> findAscii(std::string_view text, std::size_t from) const;
  std::optional<TextHit> findGeneral(std::string_view text, std::size_t from) const;
  std::size_t matchAt(std::string_view text, std::size_t at) const;

  std::string term_;
  std::u32string folded_;  // folded code points; an invalid byte b is 0x110000 + b
  std::string lowerAscii_;  // the ASCII term in lower case
  bool ascii_ = true;
  // An ASCII term with a 'k' or an 's' can also match the Kelvin sign and the
  // long s, the only characters outside ASCII that fold into it.
  bool foldsFromWide_ = false;
};

// Called between chunks and files of a long search; false when the program
// is quitting and the search must stop.
using SearchPump = std::function<bool()>;

// Reads files in chunks to test them for a term, keeping its buffer between
// files. A file is read up to its first NUL byte; a chunk that is not valid
// UTF-8 is read as Windows-1252. A file that cannot be opened or read, or
// that is not a regular file (a FIFO, a device, a folder), holds nothing.
class FileScanner {
 public:
  explicit FileScanner(std::size_t chunkBytes = std::size_t{1} << 20);

  bool contains(const std::filesystem::path& path, const TextMatcher& term, const SearchPump& pump = {});
  // The last contains() ended because the pump said stop.
  bool stopped() const { return stopped_; }

 private:
  bool regionContains(std::string_view region, const TextMatcher& term);

  std::size_t chunk_;
  std::string buf_;
  std::string decoded_;
  bool stopped_ = false;
};

// One-off form of FileScanner::contains.
bool fileContains(const std::filesystem::path& path, std::string_view term, const SearchPump& pump = {});

// Search in the one open document: the remembered term and the position the
// next search starts from. The position stays when another document is
// loaded; every search that is not a Search next starts again from the top.
class DocumentFind {
 public:
  // fromStart puts the position back to 0 first. An empty term searches for
  // the remembered one; a term that is not empty becomes the remembered one.
  // Not found (also at or past the end): the position goes back to 0, so the
  // next search starts from the top again. Found: the position moves just
  // past the occurrence.
  std::optional<TextHit> find(std::string_view text, const std::string& term, bool fromStart);
  // The document was written and read again: the next search starts at its top.
  void restart() { position_ = 0; }
  std::size_t position() const { return position_; }
  const std::string& remembered() const { return remembered_; }

 private:
  std::size_t position_ = 0;
  std::string remembered_;
};

}  // namespace vm
