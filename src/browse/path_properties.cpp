#include "browse/path_properties.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs.h"
#include "platform/text.h"

namespace vm {

std::string groupedNumber(unsigned long long n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string permissionText(unsigned mode) {
  std::string s = "---------";
  const char* letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i)
    if (mode & (0400u >> i)) s[static_cast<std::size_t>(i)] = letters[i];
  if (mode & S_ISUID) s[2] = (mode & S_IXUSR) ? 's' : 'S';
  if (mode & S_ISGID) s[5] = (mode & S_IXGRP) ? 's' : 'S';
  if (mode & S_ISVTX) s[8] = (mode & S_IXOTH) ? 't' : 'T';
  return s;
}

PathProperties describePath(const std::string& path) {
  PathProperties p;
  p.path = path;
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
    p.error = systemErrorText(path.empty() ? ENOENT : errno);
    return p;
  }
  const std::int64_t ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  LocalTime t = localTimeOf(ns);
  p.modified = format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  p.permissions = format("%s (%03o)", permissionText(st.st_mode).c_str(), st.st_mode & 07777);
  if (S_ISREG(st.st_mode)) {
    p.kind = "File";
    p.size = groupedNumber(static_cast<unsigned long long>(st.st_size)) + (st.st_size == 1 ? " byte" : " bytes");
  } else if (S_ISDIR(st.st_mode)) {
    p.kind = "Folder";
    std::vector<DirEntry> entries;
    if (readDirectory(path, entries))
      p.size = groupedNumber(entries.size()) + (entries.size() == 1 ? " item" : " items");
  } else if (S_ISLNK(st.st_mode)) {
    p.kind = "Link";
    std::string target(4096, '\0');
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n >= 0) p.size = "to " + target.substr(0, static_cast<std::size_t>(n));
  } else {
    p.kind = "Other";
  }
  return p;
}

}  // namespace vm
