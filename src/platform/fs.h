#pragma once
// File-system services the core needs, written on POSIX and std::filesystem.
// Nothing here throws: failures come back as false, nullopt or an error text.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

namespace fs = std::filesystem;

// One directory entry as the listings see it.
struct DirEntry {
  std::string name;        // file name, no folder
  bool isDir = false;
  std::int64_t mtimeNs = 0;  // last-write time, nanoseconds since the epoch
  bool hasTime = true;       // false: mtimeNs was not read (readDirectoryKinds)
};

// Reads every entry of folder except "." and "..", in the order the file
// system gives them. Returns false when the folder cannot be opened.
bool readDirectory(const fs::path& folder, std::vector<DirEntry>& out);

// As readDirectory, but reads no time where the directory entry itself tells
// a folder from a file: only links (their target decides) and entries of
// unknown type are looked up, and only those come back with hasTime set.
// A broken link, or an entry gone before it was looked up, lists as a file
// with the time readDirectory gives it.
bool readDirectoryKinds(const fs::path& folder, std::vector<DirEntry>& out);
// One entry of readDirectoryKinds: name in the open folder dirFd, whose
// readdir type (a DT_ value) is type.
DirEntry directoryEntryOf(int dirFd, const char* name, unsigned char type);

// A folder held open to read the last-write times of its entries as
// readDirectory reads them (a link's target's, else the link's own), one
// name at a time, without walking the folder's path again for each.
class OpenFolder {
 public:
  explicit OpenFolder(const fs::path& folder);
  ~OpenFolder();
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  bool isOpen() const { return fd_ >= 0; }
  // nullopt when the folder is not open or holds no such entry.
  std::optional<std::int64_t> entryLastWriteNs(const std::string& name) const;

 private:
  int fd_ = -1;
};

// True when folder holds at least one sub-folder for which accept(name) is
// true. Stops at the first one.
bool anySubFolder(const fs::path& folder, const std::function<bool(const std::string&)>& accept);

bool pathExists(const fs::path& p);       // exists, or exists but cannot be reached (access denied)
bool isDirectory(const fs::path& p);
bool isRegularFile(const fs::path& p);
std::optional<std::int64_t> lastWriteNs(const fs::path& p);

std::optional<std::string> readWholeFile(const fs::path& p);

// Writes data to a temporary file in the same folder and renames it over p,
// so a crash leaves the old or the new file; the folder is synced after the
// rename, so a power cut keeps the new name. On failure err gets the reason.
bool writeFileAtomic(const fs::path& p, std::string_view data, std::string* err = nullptr);

// Temporary files of writeFileAtomic are named this prefix and six characters.
inline constexpr std::string_view kSaveTempPrefix = ".vm-save-";

// Removes the save temporaries in folder that a save killed half-way left
// behind: regular files named kSaveTempPrefix + six characters, last written
// more than olderThanNs ago, that no save of this process is writing.
// Returns how many were removed.
int removeStaleTempFiles(const fs::path& folder, std::int64_t olderThanNs = 60'000'000'000LL);

// Appends to a file, creating it. False when it cannot be opened.
bool appendToFile(const fs::path& p, std::string_view data);
// Opens a regular file for reading without blocking (a FIFO cannot hold the
// open) and gives its size; -1 when it cannot be opened or is no regular file.
int openRegularFile(const std::string& path, std::int64_t* size);
// Deletes the files of folder whose names begin with prefix (the rendered
// pages in the program's private temporary folder); nothing else is touched.
void removeFilesStartingWith(const fs::path& folder, std::string_view prefix);

// The platform's message for an errno value, without a line break.
std::string systemErrorText(int err);

// Full path of the running executable.
fs::path executablePath();

// Mount point of the file system that holds p ("/" for the root file system).
fs::path mountPointOf(const fs::path& p);

// The user's documents folder: XDG_DOCUMENTS_DIR from user-dirs.dirs, else
// ~/Documents when it exists, else $HOME. nullopt when no home is known.
std::optional<fs::path> documentsFolder();

// Local time parts of a nanosecond time stamp.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0, weekday = 0;
};
LocalTime localTimeOf(std::int64_t ns);

// "/a/b/" -> "/a/b"; keeps "/" alone.
std::string withoutTrailingSlash(std::string p);
// Joins folder and name with one "/" (an empty name gives the folder).
std::string joinPath(std::string_view folder, std::string_view name);
// The folder part of a path ("/a/b/c.txt" -> "/a/b"; "/c" -> "/").
std::string parentOf(std::string_view path);
// The last component ("/a/b/c.txt" -> "c.txt").
std::string lastComponent(std::string_view path);

// Renames from -> to unless to exists (also on file systems that cannot say
// so atomically). 0 on success, else the errno value (EEXIST when taken).
int renameNoReplace(const fs::path& from, const fs::path& to);

}  // namespace vm
