#pragma once
// Folder settings files: "vellumark.tn" in a folder lets the
// folder, or a whole root, override some program settings (date templates,
// the note template's date and time formats, the picture-name prefix, the
// index file name, picture links). The program only reads these files.
#include <optional>
#include <string>
#include <string_view>

namespace vm {

inline constexpr std::string_view kFolderSettingsName = "vellumark.tn";
// Older name of a root folder's settings file; read instead of
// "vellumark.tn" in a root folder when it exists.
inline constexpr std::string_view kLegacyRootSettingsName = "tallownotes.tn";
// Section of every settings file beside notes.
inline constexpr std::string_view kFolderSettingsSection = "General";
// Default the folder files are read with; a result equal to it (ignoring
// case) means the file does not have the key.
inline constexpr std::string_view kFolderSettingAbsent = "$$123$$";

// Steps 1-2 of "Folder setting (key, default, output)": the value of key in
// section General of
//   1. "vellumark.tn" in currentFolder (skipped when currentFolder is empty),
//   2. the root settings file of rootFolder: "tallownotes.tn" when it exists
//      there, else "vellumark.tn" (skipped when rootFolder is empty),
// the first file that has the key answering, even with an empty value. The
// value is taken as it stands in the file (no ";comment" split) and cut to
// limits::kText bytes. nullopt when neither file has the key; a missing or
// unreadable file counts as one without the key. Step 3 (the program setting
// with the caller's default) is vm::Settings::text of a Layered definition.
std::optional<std::string> folderSetting(const std::string& currentFolder, const std::string& rootFolder,
                                         std::string_view key);

}  // namespace vm
