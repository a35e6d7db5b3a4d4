#include <algorithm>
#include <climits>
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>

namespace vm {

namespace {

// Nanoseconds since 1970, held at the int64 range for times beyond 2262.
std::int64_t toNs(const struct timespec& t) {
  constexpr std::int64_t kMaxSec = INT64_MAX / 1000000000LL - 1;
  const std::int64_t sec = std::clamp<std::int64_t>(t.tv_sec, -kMaxSec, kMaxSec);
  return sec * 1000000000LL + t.tv_nsec;
}

// Temporary files of saves running in this process, by device and inode:
// the stale-file cleanup leaves them alone whatever their age.
using FileId = std::pair<dev_t, ino_t>;
std::mutex gLiveTempsMutex;
std::set<FileId>& liveTemps() {
  static std::set<FileId> ids;
  return ids;
}

// Creates the temporary from its mkstemp template and records it, both under
// the lock the cleanup takes before it removes anything, so the cleanup never
// sees a temporary that is made but not yet recorded.
struct LiveTemp {
  FileId id{};
  bool known = false;
  int fd = -1;
  explicit LiveTemp(char* tmpl) {
    std::lock_guard lock(gLiveTempsMutex);
    fd = ::mkstemp(tmpl);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) return;
    id = {st.st_dev, st.st_ino};
    known = true;
    liveTemps().insert(id);
  }
  ~LiveTemp() {
    if (!known) return;
    std::lock_guard lock(gLiveTempsMutex);
    liveTemps().erase(id);
  }
  LiveTemp(const LiveTemp&) = delete;
  LiveTemp& operator=(const LiveTemp&) = delete;
};

// Makes a rename in folder durable; a folder that cannot be opened or synced
// changes nothing (the rename itself already happened).
void syncFolder(const fs::path& folder) {
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

// Kind and time of entry n of the open folder dfd. Links are followed so a
// linked folder lists as a folder; a dangling link lists as a file with the
// link's own time. False (a file of time 0) when the entry is not there.
bool lookUpEntry(int dfd, const char* n, DirEntry& entry) {
  struct stat st;
  if (::fstatat(dfd, n, &st, 0) == 0) {
    entry.isDir = S_ISDIR(st.st_mode);
    entry.mtimeNs = toNs(st.st_mtim);
    return true;
  }
  if (::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    entry.mtimeNs = toNs(st.st_mtim);
    return true;
  }
  return false;
}

}  // namespace

namespace {

// Every entry of folder but "." and "..", each made by entry(dirFd, name,
// readdir type), in the order the file system gives them.
template <typename MakeEntry>
bool readEntries(const fs::path& folder, std::vector<DirEntry>& out, MakeEntry&& entry) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return false;
  const int dfd = ::dirfd(d);
  // Room for every entry at once, so a big folder is not copied over as the
  // vector grows: a folder's size in bytes is more than 16 per entry on the
  // usual file systems; room never used costs no memory.
  struct stat st;
  if (::fstat(dfd, &st) == 0 && st.st_size > 0)
    out.reserve(out.size() + static_cast<std::size_t>(std::min<off_t>(st.st_size / 16, off_t{1} << 20)));
  while (struct dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    out.push_back(entry(dfd, n, e->d_type));
  }
  ::closedir(d);
  return true;
}

}  // namespace

bool readDirectory(const fs::path& folder, std::vector<DirEntry>& out) {
  return readEntries(folder, out, [](int dfd, const char* name, unsigned char) {
    DirEntry entry;
    entry.name = name;
    lookUpEntry(dfd, name, entry);
    return entry;
  });
}

bool readDirectoryKinds(const fs::path& folder, std::vector<DirEntry>& out) {
  return readEntries(folder, out, directoryEntryOf);
}

DirEntry directoryEntryOf(int dirFd, const char* name, unsigned char type) {
  DirEntry entry;
  entry.name = name;
  if (type == DT_UNKNOWN || type == DT_LNK) {
    lookUpEntry(dirFd, name, entry);
  } else {
    entry.isDir = type == DT_DIR;
    entry.hasTime = false;
  }
  return entry;
}

OpenFolder::OpenFolder(const fs::path& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

OpenFolder::~OpenFolder() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::int64_t> OpenFolder::entryLastWriteNs(const std::string& name) const {
  if (fd_ < 0 || name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  DirEntry entry;
  return lookUpEntry(fd_, name.c_str(), entry) ? std::optional<std::int64_t>(entry.mtimeNs) : std::nullopt;
}

bool anySubFolder(const fs::path& folder, const std::function<bool(const std::string&)>& accept) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return false;
  int dfd = ::dirfd(d);
  bool found = false;
  while (struct dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    bool dir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      dir = ::fstatat(dfd, n, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    if (dir && accept(std::string(n))) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

bool pathExists(const fs::path& p) {
  struct stat st;
  if (::stat(p.c_str(), &st) == 0) return true;
  return errno == EACCES;
}

bool isDirectory(const fs::path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const fs::path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::int64_t> lastWriteNs(const fs::path& p) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return std::nullopt;
  return toNs(st.st_mtim);
}

std::optional<std::string> readWholeFile(const fs::path& p) {
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Read straight into the string, sized by the file; a file that grows
  // while it is read, or says nothing of its size (a pipe, /proc), is read on
  // in steps that double the room.
  struct stat st {};
  std::size_t room = 65536;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    room = static_cast<std::size_t>(st.st_size) + 1;  // one more, so the end is met without a resize
  std::string data;
  std::size_t got = 0;
  data.resize(room);
  for (;;) {
    if (got == data.size()) data.resize(data.size() * 2);
    ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return data;
}

bool writeFileAtomic(const fs::path& p, std::string_view data, std::string* err) {
  // A short hidden name beside the target, so long file names still fit.
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  std::string tmpl = (dir / ".vm-save-XXXXXX").string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back(0);
  LiveTemp live(name.data());
  const int fd = live.fd;
  if (fd < 0) {
    if (err) *err = systemErrorText(errno);
    return false;
  }
  // Keep the old file's permissions when there is one.
  struct stat st;
  ::fchmod(fd, ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  const char* q = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, q, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      ::unlink(name.data());
      if (err) *err = systemErrorText(e);
      return false;
    }
    q += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fdatasync(fd) != 0 || ::close(fd) != 0) {
    int e = errno;
    ::unlink(name.data());
    if (err) *err = systemErrorText(e);
    return false;
  }
  if (::rename(name.data(), p.c_str()) != 0) {
    int e = errno;
    ::unlink(name.data());
    if (err) *err = systemErrorText(e);
    return false;
  }
  syncFolder(dir);
  return true;
}

int removeStaleTempFiles(const fs::path& folder, std::int64_t olderThanNs) {
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return 0;
  struct timespec nowTs {};
  ::clock_gettime(CLOCK_REALTIME, &nowTs);
  const std::int64_t now = toNs(nowTs);
  int dfd = ::dirfd(d);
  int removed = 0;
  while (struct dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (!n.starts_with(kSaveTempPrefix) || n.size() != kSaveTempPrefix.size() + 6) continue;
    struct stat st;
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - toNs(st.st_mtim) <= olderThanNs) continue;
    std::lock_guard lock(gLiveTempsMutex);
    if (liveTemps().count(FileId{st.st_dev, st.st_ino})) continue;
    if (::unlinkat(dfd, e->d_name, 0) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

bool appendToFile(const fs::path& p, std::string_view data) {
  int fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ::close(fd);
  return ok;
}

std::string systemErrorText(int err) {
  std::string s = std::strerror(err);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

fs::path executablePath() {
  std::error_code ec;
  auto p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : p;
}

fs::path mountPointOf(const fs::path& p) {
  std::error_code ec;
  fs::path cur = fs::weakly_canonical(p, ec);
  if (ec || cur.empty()) return "/";
  struct stat st;
  if (::stat(cur.c_str(), &st) != 0) return "/";
  dev_t dev = st.st_dev;
  while (cur.has_parent_path() && cur != cur.root_path()) {
    fs::path parent = cur.parent_path();
    struct stat pst;
    if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != dev) return cur;
    cur = parent;
  }
  return "/";
}

std::optional<fs::path> documentsFolder() {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return std::nullopt;
  fs::path h = home;
  const char* xdgc = std::getenv("XDG_CONFIG_HOME");
  fs::path conf = (xdgc && *xdgc) ? fs::path(xdgc) : h / ".config";
  if (auto text = readWholeFile(conf / "user-dirs.dirs")) {
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.starts_with("XDG_DOCUMENTS_DIR=")) continue;
      std::string v = line.substr(18);
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      if (v.starts_with("$HOME")) v = h.string() + v.substr(5);
      if (!v.empty() && isDirectory(v)) return fs::path(v);
    }
  }
  if (isDirectory(h / "Documents")) return h / "Documents";
  return h;
}

LocalTime localTimeOf(std::int64_t ns) {
  std::time_t secs = static_cast<std::time_t>(ns / 1000000000LL);
  struct tm tm {};
  ::localtime_r(&secs, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.millisecond = static_cast<int>((ns / 1000000LL) % 1000);
  t.weekday = tm.tm_wday;
  return t;
}

std::string withoutTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string joinPath(std::string_view folder, std::string_view name) {
  if (name.empty()) return std::string(folder);
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/' && name.front() != '/') out.push_back('/');
  out.append(name);
  return out;
}

std::string parentOf(std::string_view path) {
  std::string p = withoutTrailingSlash(std::string(path));
  auto pos = p.rfind('/');
  if (pos == std::string::npos) return std::string();
  if (pos == 0) return "/";
  return p.substr(0, pos);
}

std::string lastComponent(std::string_view path) {
  std::string p = withoutTrailingSlash(std::string(path));
  auto pos = p.rfind('/');
  return pos == std::string::npos ? p : p.substr(pos + 1);
}

void removeFilesStartingWith(const fs::path& folder, std::string_view prefix) {
  if (folder.empty()) return;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (it->path().filename().string().starts_with(prefix)) fs::remove(it->path(), ec);
  }
}

}  // namespace vm

namespace vm {

int renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: look first.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int openRegularFile(const std::string& path, std::int64_t* size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  if (size) *size = static_cast<std::int64_t>(st.st_size);
  return fd;
}

}  // namespace vm
