#pragma once
// Note files on disk: loading a note for the editor, saving the editor's text
// back (with a check that nobody else changed the file in between), naming
// new notes and creating them from a folder's template.
//
// Nothing here touches the editor or the status line: the App calls these
// pieces and words the messages. Nothing throws.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/encoding.h"
#include "platform/fs.h"

namespace vm {

// The selected file holds this while a new note started from the Multibar has
// no accepted name yet. Compared ignoring case.
inline constexpr std::string_view kUnsavedMarker = "$NEW$UNSAVED$";
bool isUnsavedMarker(std::string_view selectedFile);

// Name of the template a new note is made from, looked for in the note's
// folder and then in the root folder.
inline constexpr std::string_view kNoteTemplateName = "template.tn";

// Hash of file content for the changed-on-disk check: 64 bits, four lanes of
// eight bytes at a time. Not for security.
std::uint64_t contentHash(std::string_view data);

// What a file held when the editor last loaded or saved it.
struct DiskStamp {
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  friend bool operator==(const DiskStamp&, const DiskStamp&) = default;
};
DiskStamp stampOf(std::string_view data);

// ---- Loading -------------------------------------------------------------

// How a note's bytes became the editor's text, so that a save can put back
// everything the user did not edit: the encoding, a byte-order mark, the
// line ends.
struct NoteFormat {
  TextEncoding encoding = TextEncoding::Utf8;
  std::size_t bomBytes = 0;        // a leading UTF-8 byte-order mark kept out of the editor (0 or 3)
  bool lineEndsConverted = false;  // CR LF and lone CR became LF for the editor
  bool crlf = false;               // new line breaks are written as CR LF (the file's first line end was)
};

// Why a note opens read-only; None: it may be edited.
enum class ReadOnlyReason { None, NulByte, NotWritable };

struct LoadedNote {
  std::string text;             // what the editor shows
  std::string bytes;            // the file as on disk
  NoteFormat format;
  std::uint64_t size = 0;       // the file as on disk (before any treatment)
  std::uint64_t hash = 0;       //   "
  bool truncatedAtNul = false;  // the file holds a NUL byte; text stops in front of it
  ReadOnlyReason readOnly = ReadOnlyReason::None;
  DiskStamp stamp() const { return {size, hash}; }
};

enum class LoadError {
  None,
  Missing,     // no file at the path: "File does not exist: %s"
  Unreadable,  // there, but cannot be opened or read: the load says nothing
};

// Reads the note at path for the editor:
//  - the text ends in front of the first NUL byte (truncatedAtNul is set and
//    the note is read-only: a save would lose what follows);
//  - checkForBom drops a leading UTF-8 byte-order mark (EF BB BF);
//  - bytes that are valid UTF-8 are read as UTF-8, any others as Windows-1252;
//  - formatNewLines turns CR LF and a lone CR into LF, the editor's line end;
//    off, the line ends reach the editor unchanged;
//  - a file (or folder) this process may not write is read-only too.
// On failure returns nullopt; *why tells which failure, *error gets the
// message ("File does not exist: <path>" or the system's reason).
std::optional<LoadedNote> loadNoteFile(const std::filesystem::path& path, bool checkForBom, bool formatNewLines,
                                       std::string* error = nullptr, LoadError* why = nullptr);

// The text treatment of loadNoteFile on bytes already in memory.
std::string noteTextForEditor(std::string_view fileBytes, bool checkForBom, bool formatNewLines,
                              bool* truncatedAtNul = nullptr, NoteFormat* format = nullptr);

// True when this process may replace the note at path: the file (when it
// exists) and its folder are writable. Permission bits that give nobody write
// access count as read-only even for root. err gets the reason.
bool noteWritable(const std::filesystem::path& path, std::string* err = nullptr);

// ---- Saving --------------------------------------------------------------

// The note as it was last read or written: the file's bytes, the editor
// text they gave and how.
struct NoteBaseline {
  std::string bytes;
  std::string text;
  NoteFormat format;
};

// The bytes to write for the editor's text newText. Everything in front of
// the first and after the last changed character is copied from the
// baseline's bytes as it stood; only the changed stretch is encoded, in the
// baseline's encoding and with its line end. When Windows-1252 cannot hold a
// typed character the whole file becomes UTF-8 (the untouched stretches are
// transcoded, their line ends kept), *format says so and *becameUtf8 is set.
// Without a baseline the text is written as UTF-8 with LF line ends.
std::string noteBytesFor(const NoteBaseline* baseline, std::string_view newText, NoteFormat* format,
                         bool* becameUtf8 = nullptr);

struct SaveResult {
  enum class Kind {
    Saved,     // written to the note's path
    Empty,     // an empty note is never written: nothing changed on disk, not an error
    Conflict,  // the file changed on disk since `expected`; the text went to `path` instead
    Failed,    // nothing written; `error` holds the reason, the note stays modified
  };
  Kind kind = Kind::Failed;
  std::string path;   // the file written (the note or its conflict copy)
  DiskStamp stamp;    // what was written (Saved, Conflict)
  std::string error;  // system error text (Failed)
  std::string bytes;  // what was written (Saved, Conflict)
  NoteFormat format;  // how it was written
  bool becameUtf8 = false;  // a Windows-1252 note had to be written as UTF-8
};

// Writes the editor's text to path, as noteBytesFor makes it from baseline.
// When expected is set and the file on disk no longer matches it, the note is
// left alone and the text is written beside it as
// "<base> (conflict yyyy-MM-dd hhmmss)<ext>" (" 2", " 3"... added after the
// closing bracket while that name is taken); the caller says
// "Note changed on disk; your text was saved as %s". A note that has vanished
// from disk is not a conflict: it is written again.
// The note itself is replaced atomically (temporary file + rename, its
// permissions kept); stale save temporaries in its folder are cleared first.
// A read-only file or folder fails without changing anything, even for root.
SaveResult saveNoteFile(const std::filesystem::path& path, std::string_view editorText,
                        const std::optional<DiskStamp>& expected, const LocalTime& now,
                        const NoteBaseline* baseline = nullptr);

// The conflict copy's name for a note file name and a time, with n > 1 giving
// the n-th try ("a (conflict 2024-03-05 090702) 2.txt").
std::string conflictName(std::string_view noteName, const LocalTime& now, int n = 1);

// ---- Naming --------------------------------------------------------------

// A free name for a new note in folder: "New Note<ext>", else
// "New Note_1<ext>", "New Note_2<ext>"...
std::string newNoteName(const std::filesystem::path& folder, std::string_view defaultExtension);

enum class NameCheck {
  Ok,
  Empty,    // empty or only blanks: "Please choose a note name"
  Exists,   // a file of that name is in the folder: "File exists"
  Invalid,  // holds "/" or a NUL byte, or is made of dots only ("." and ".." included)
  TooLong,  // longer than a file name may be (NAME_MAX bytes)
};

struct NameResolution {
  NameCheck check = NameCheck::Empty;
  std::string name;  // the cleaned name with its extension (set for every check but Empty)
};

// Turns a name typed in the Multibar into a note file name in folder: the
// default extension is appended unless the name ends in it or in ".tn";
// "%20" becomes a blank and each of % : ? [ \ ] becomes "_".
NameResolution resolveNoteName(const std::filesystem::path& folder, std::string_view typedName,
                               std::string_view defaultExtension);

// ---- Creating ------------------------------------------------------------

// Reads a folder or program setting: (key, default) -> value.
using SettingLookup = std::function<std::string(std::string_view key, std::string_view def)>;

// Creates the missing note at path from "template.tn" in the note's folder,
// else in rootFolder, with the first "$notetemplatedate" and the first
// "$notetemplatetime" replaced by the time now in the formats of the
// settings NoteTemplateDate (default "yyyy-MM-dd") and NoteTemplateTime
// (default "hh:mmtt"); the template's CR LF become LF. Without a template the
// note is created empty. An existing file is never touched. Returns whether
// the file exists afterwards; *fromTemplate tells whether this call made it
// from a template.
bool createNoteFile(const std::filesystem::path& path, const std::filesystem::path& rootFolder,
                    const SettingLookup& setting, const LocalTime& now, bool* fromTemplate = nullptr);

}  // namespace vm
