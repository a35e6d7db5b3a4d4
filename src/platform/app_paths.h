#pragma once
// Where the program keeps its files on this machine: the home folder (INI,
// log, file_info), the support folder and the private temporary folder.
#include <filesystem>
#include <optional>
#include <string>

namespace vm {

// The home folder: --home when given, else $VELLUMARK_HOME, else the
// executable's folder when it is writable (portable use), else
// $XDG_CONFIG_HOME/vellumark (default ~/.config/vellumark). Created when missing.
// The executable's folder of an installed tree (<exeDir>/../share/vellumark
// exists) is never the home folder, even when writable.
std::filesystem::path resolveHome(const std::optional<std::string>& homeArg, const std::filesystem::path& exeDir);

// <home>/support when it exists, else <exeDir>/support when it exists (the
// build folder), else <exeDir>/../share/vellumark/support when it exists (an
// installed tree wherever it lies), else <dataDir>/support, the data folder
// of the configured install prefix (the first form uses that one).
std::filesystem::path resolveSupport(const std::filesystem::path& home, const std::filesystem::path& exeDir);
std::filesystem::path resolveSupport(const std::filesystem::path& home, const std::filesystem::path& exeDir,
                                     const std::filesystem::path& dataDir);

// $TMPDIR/vellumark-<uid> (mode 0700), created when missing.
std::filesystem::path privateTempDir();

}  // namespace vm
