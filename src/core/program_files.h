#pragma once
// The program's own files in its home folder beside the INI file: the log
// and the INI file of the same program under its earlier name.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vm {

inline constexpr const char* kLegacyIniName = "tallownotes.ini";
inline constexpr const char* kLogFileName = "LogFile.log";

// Moves home/tallownotes.ini to iniPath when only the old one exists; true
// when it moved.
bool moveLegacyIni(const std::filesystem::path& home, const std::filesystem::path& iniPath);
// Appends "MM.DD hh:mm:ss message" (the message cut to its limit) as one
// line to LogFile.log in home.
bool appendLogLine(const std::filesystem::path& home, std::int64_t nowNs, const std::string& message);

}  // namespace vm
