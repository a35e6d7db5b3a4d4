#pragma once
// Companions: the per-file settings files (".tn") the program writes for a
// file (its keywords, a sheet's layout), kept either beside the file or in the
// central file-information folder; and the date prefix given to pictures
// saved among the notes.
//
// The App hands in what these need (setting values, a folder-setting lookup,
// a path-variable expander, the local time); nothing here reads settings.
#include <functional>
#include <string>
#include <string_view>

#include "platform/fs.h"

namespace vm {

inline constexpr std::string_view kCompanionExtension = ".tn";
inline constexpr std::string_view kCompanionSection = "General";
// Key of a central companion that names the file it belongs to.
inline constexpr std::string_view kCompanionFileNameKey = "FileName";
// The file-information folder's name in the home folder when FileInfoDir is empty.
inline constexpr std::string_view kFileInfoFolderName = "file_info";

// Expands path variables ("%AppSrcDrv%", "%MyDocuments%") in place; an empty
// function expands nothing.
using PathExpander = std::function<void(std::string&)>;

// A folder setting with the reader's default: the folder settings files, then
// the program setting, then def.
using SettingLookup = std::function<std::string(std::string_view key, std::string_view def)>;

// The file-information folder: fileInfoDirSetting (FileInfoDir) with path
// variables expanded, a relative value taken under home; "<home>/file_info"
// when the setting is empty.
std::string fileInfoFolder(const std::string& home, std::string_view fileInfoDirSetting,
                           const PathExpander& expand = {});
// Creates the folder (and its parents) when missing. False when it cannot.
bool ensureFileInfoFolder(const std::string& folder);

// The companion of the file at filePath (a full path).
// besideFile (TnFileWithOriginal): "<filePath>.tn".
// Otherwise: in fileInfoFolder, named after the full path without its leading
// "/" and with every "/" turned into "_", plus ".tn"
// (/home/a/notes/x.txt -> home_a_notes_x.txt.tn; a name too long for the
// platform to rewrite is cut, keeping ".tn"); key FileName of section General
// in that file is then set to filePath, which creates it when missing (a
// failed write is not reported).
// Path variables in the result are expanded. Empty when filePath is empty or
// the result would be longer than a path may be.
std::string companionName(std::string_view filePath, bool besideFile, const std::string& fileInfoFolder,
                          const PathExpander& expand = {});

// Where a picture ended up after datePrefixPicture.
struct PicturePlace {
  std::string path;  // full path
  std::string name;  // path relative to the picture's folder (a plain file name
                     // unless the prefix holds "/"), for the link the caller writes
};

// When the folder setting ImagePrependDate is "1", renames the picture at
// picturePath (its file name is fileName) to PrependDateTemplate (default
// "yyyy-MM-dd-") expanded for t, followed by fileName. A taken name gets a
// number: "<base>_001<ext>" counting up to 99; a base name holding "_" is cut
// at its first "_" and the number after it (1 when none or 0) is tried first.
// When all are taken the last one is returned and the rename does not happen.
// A failed rename is not reported. Any other ImagePrependDate value leaves the
// picture alone and returns it unchanged.
PicturePlace datePrefixPicture(const std::string& picturePath, std::string_view fileName,
                               const SettingLookup& lookup, const LocalTime& t);

}  // namespace vm
