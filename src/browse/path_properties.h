#pragma once
// What the Properties dialog shows for one file or folder: its path, kind,
// size, last-write time and permissions, all as text.
#include <string>

namespace vm {

struct PathProperties {
  std::string path;
  std::string kind;         // "File", "Folder", "Link" or "Other"
  std::string size;         // "1,234 bytes"; a folder: "12 items"; a link: its target
  std::string modified;     // "YYYY-MM-DD hh:mm:ss", local time
  std::string permissions;  // "rw-r--r-- (644)"
  std::string error;        // set when the path cannot be read; then only path is filled too
};

PathProperties describePath(const std::string& path);

// "1234567" -> "1,234,567".
std::string groupedNumber(unsigned long long n);
// "rwxr-x---" from the permission bits (setuid, setgid and sticky as s, s, t).
std::string permissionText(unsigned mode);

}  // namespace vm
