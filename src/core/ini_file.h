#pragma once
// Private-profile layer: the few INI file operations the settings store and
// the settings files beside notes need, with the classic semantics.
//
// - Section names and keys compare without regard to case (vm::equalsNoCase).
// - Lines end with LF or CR LF on read; files are written with LF.
// - Blank lines are ignored. A line whose first non-blank character is ';' is
//   a comment: it belongs to its section's lines but is never a key.
// - Header rule: a line whose first non-blank character is '[' is a section
//   header. Its name is the text after '[' up to the first ']', or up to the
//   end of the line when there is no ']' ("[Notes" is section "Notes"); text
//   after the ']' is ignored ("[General] x" is section "General"); the name is
//   trimmed of blanks. Every line that starts with '[' therefore ends the
//   section before it, which keeps the reader and the section deleter of the
//   settings store in agreement about where a section ends.
// - Lines before the first header belong to no section and are never read.
// - An entry line is "key=value": key and value are the texts left and right
//   of the first '=', trimmed of blanks. A line without '=' is a key with an
//   empty value. No inline-comment splitting is done here (the settings store
//   splits "value;comment" itself).
// - A section name that occurs in several headers is one section: its lines
//   are the lines of every stretch, in file order.
// - A key written on several lines of a section reads as its last line (the
//   settings store keeps the later duplicate too), and writing the key
//   replaces that last line, so a change is what the next read sees.
// - Writing a key replaces the last matching line of its section, or is
//   appended at the end of the section's first stretch (after its last
//   non-blank line); a missing section is appended at the end of the file
//   (after one blank line); a missing file is created.
// - Every rewrite goes through vm::writeFileAtomic (temporary file in the same
//   folder + rename), writing through a symbolic link to its target. A file
//   or folder that is read-only (not writable for this process, or without
//   any write permission bit, which makes it read-only for root as well) is
//   not written: writeKey returns false.
// - Nothing here throws or crashes on bad input: binary junk, NUL bytes,
//   invalid UTF-8 and very long lines are read as text lines like any other.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm::ini {

// Blank characters trimmed around names, keys and values.
inline constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view trimBlanks(std::string_view s);

// Lines of a file's text: split at LF, one trailing CR removed from each line.
// A final line without a line end counts; a final line end adds no empty line.
std::vector<std::string_view> splitLines(std::string_view data);

// The section name when line is a header (rule above), else nullopt.
std::optional<std::string_view> headerName(std::string_view line);

// One section with every non-blank line of all its stretches (trimmed of
// blanks and line ends, comment lines included), in file order.
struct Section {
  std::string name;  // as spelled in its first header
  std::vector<std::string> lines;
};
// Every section of a file in file order; nullopt when the file cannot be read.
std::optional<std::vector<Section>> readSections(const std::filesystem::path& file);

// Names of every section, in file order (a duplicate header counts once).
std::vector<std::string> sectionNames(const std::filesystem::path& file);
// Lines of a section (every non-blank line between its header and the next
// header, comment lines included, trimmed of blanks), from every stretch with
// that name.
std::vector<std::string> sectionLines(const std::filesystem::path& file, std::string_view section);
// Reads one key of a section: the value of the last matching entry line in
// file order; def when the file, section or key is missing (or section or key
// is empty). A key present with an empty value reads as "".
std::string readKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
                    std::string_view def);
// Writes one key. The key and section are trimmed; the value is written as it
// stands up to its first line break (a line break would end the line). False,
// with err set, when the section or key is empty, the key is not writableKey, the section holds ']' or a
// line break, or the file cannot be read or written (read-only file or
// folder, missing folder). Rewriting the same content again does not touch
// the file.
bool writeKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, std::string* err = nullptr);

// Whether key can be written as an entry line that reads back as that key:
// trimmed, it is not empty, holds no line break and no '=', and does not
// begin with ';' (a comment) or '[' (a header). writeKey refuses other keys.
bool writableKey(std::string_view key);

// Whether a file may be rewritten: the file itself (when it exists) and its
// folder must be writable (see the read-only rule above). err gets the reason.
bool canRewrite(const std::filesystem::path& file, std::string* err = nullptr);
// The path a rewrite replaces: the target of a symbolic link, else file.
std::filesystem::path rewriteTarget(const std::filesystem::path& file);

}  // namespace vm::ini
