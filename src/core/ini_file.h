#pragma once
// Private-profile layer: the few INI file operations the settings store and
// the settings files beside notes need, with the classic semantics.
//
// - Section names and keys compare without regard to case.
// - Lines are "key=value"; a line without '=' is a key with no value.
// - Writing a key replaces the first matching line of its section, or is
//   appended at the end of the section; a missing section is appended at the
//   end of the file; a missing file is created.
// - Every rewrite goes through a temporary file in the same folder and a rename.
// - LF and CR LF line ends are both read; files are written with LF.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vm::ini {

// Names of every section, in file order (a duplicate header counts once).
std::vector<std::string> sectionNames(const std::filesystem::path& file);
// Raw lines of a section (every non-blank line between its header and the
// next header, comment lines included), from every stretch with that name.
std::vector<std::string> sectionLines(const std::filesystem::path& file, std::string_view section);
// Reads one key of a section; def when the file, section or key is missing.
std::string readKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
                    std::string_view def);
// Writes one key (value is written as it stands). False when the file cannot be written.
bool writeKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, std::string* err = nullptr);

}  // namespace vm::ini
