#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr int kMaxNumber = 100000;  // names tried before giving up

bool isAbsolute(const char* s) { return s && s[0] == '/'; }

// Creates folder (mode 0700) unless it is there; true when it is a real
// folder afterwards (not a link to one).
bool ensurePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ensureTrashFolders(const std::string& trash) {
  return ensurePrivateFolder(trash) && ensurePrivateFolder(trash + "/files") && ensurePrivateFolder(trash + "/info");
}

// The folder's device; false when it cannot be read.
bool deviceOf(const std::string& p, dev_t& dev) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return false;
  dev = st.st_dev;
  return true;
}

// A trash at the top of another file system: the prepared "$topdir/.Trash"
// (a sticky folder, not a link) with a folder per user, else "$topdir/.Trash-$uid".
std::string topTrashFolder(const std::string& top) {
  const std::string uid = std::to_string(static_cast<unsigned long>(::getuid()));
  const std::string shared = joinPath(top, ".Trash");
  struct stat st;
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string mine = joinPath(shared, uid);
    if (ensureTrashFolders(mine)) return mine;
  }
  const std::string own = joinPath(top, ".Trash-" + uid);
  if (!ensureTrashFolders(own)) return {};
  // Another user's folder of that name is not ours to fill.
  if (::lstat(own.c_str(), &st) != 0 || st.st_uid != ::getuid()) return {};
  return own;
}

std::string deletionDate(std::int64_t ns) {
  LocalTime t = localTimeOf(ns);
  return format("%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Writes the whole text to a new file; false (and the file removed) when it
// exists already or cannot be written. err gets errno.
bool createExclusive(const std::string& file, const std::string& text, int& err) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    err = errno;
    return false;
  }
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      ::close(fd);
      ::unlink(file.c_str());
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    err = errno;
    ::unlink(file.c_str());
    return false;
  }
  return true;
}

// A trash name of at most NAME_MAX bytes with room for ".trashinfo".
std::string trashName(const std::string& base, int number) {
  std::string tail = number > 1 ? "." + std::to_string(number) : std::string();
  std::size_t room = limits::kNameMax - kInfoSuffix.size() - tail.size();
  return cutUtf8(base, room) + tail;
}

TrashResult failed(const std::string& name, const std::string& why) {
  TrashResult r;
  r.message = format("Could not move %s to the trash: %s", name.c_str(), why.c_str());
  return r;
}

}  // namespace

std::string homeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (isAbsolute(data)) return joinPath(withoutTrailingSlash(data), "Trash");
  const char* home = std::getenv("HOME");
  if (isAbsolute(home)) return joinPath(withoutTrailingSlash(home), ".local/share/Trash");
  return {};
}

std::string trashPathEncode(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (unsigned char c : path) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

TrashResult moveToTrash(const std::string& given, std::int64_t deletedAtNs) {
  std::string path = withoutTrailingSlash(given);
  const std::string name = lastComponent(path);
  if (path.empty() || name.empty() || name == "." || name == ".." || path == "/") return failed(path, "not a file");
  if (path[0] != '/') {
    std::error_code ec;
    path = std::filesystem::absolute(path, ec).string();
    if (ec) return failed(name, ec.message());
  }
  // The item's own folder in its real place, so a top folder found through
  // links still holds it.
  std::error_code ec;
  std::string folder = std::filesystem::weakly_canonical(parentOf(path), ec).string();
  if (ec || folder.empty()) folder = parentOf(path);
  path = joinPath(folder, name);

  struct stat item;
  if (::lstat(path.c_str(), &item) != 0) return failed(name, systemErrorText(errno));

  // Choose the trash: the home trash on its own file system, else the top one.
  std::string trash = homeTrashFolder();
  dev_t trashDev{};
  // The home trash's file system: that of its nearest existing folder.
  bool home = false;
  for (std::string p = trash; !p.empty(); p = p == "/" ? std::string() : parentOf(p)) {
    if (deviceOf(p, trashDev)) {
      home = trashDev == item.st_dev;
      break;
    }
  }
  std::string recorded = path;
  if (home) {
    std::error_code mk;
    std::filesystem::create_directories(parentOf(trash), mk);
    if (!ensureTrashFolders(trash) || !deviceOf(trash, trashDev) || trashDev != item.st_dev)
      return failed(name, "the trash folder " + trash + " cannot be made");
  } else {
    const std::string top = mountPointOf(folder).string();
    trash = topTrashFolder(top);
    if (trash.empty() || !deviceOf(trash, trashDev) || trashDev != item.st_dev)
      return failed(name, "there is no trash folder on its file system");
    recorded = path.substr(top == "/" ? 1 : top.size() + 1);
  }

  const std::string info = "[Trash Info]\nPath=" + trashPathEncode(recorded) +
                           "\nDeletionDate=" + deletionDate(deletedAtNs) + "\n";
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string as = trashName(name, number);
    const std::string infoFile = trash + "/info/" + as + std::string(kInfoSuffix);
    int err = 0;
    if (!createExclusive(infoFile, info, err)) {
      if (err == EEXIST) continue;
      return failed(name, systemErrorText(err));
    }
    const std::string target = trash + "/files/" + as;
    err = renameNoReplace(path, target);
    if (err == 0) {
      TrashResult r;
      r.ok = true;
      r.message = format("Moved %s to the trash", name.c_str());
      r.trashedAs = target;
      r.infoFile = infoFile;
      return r;
    }
    ::unlink(infoFile.c_str());
    if (err != EEXIST && err != ENOTEMPTY) return failed(name, systemErrorText(err));
  }
  return failed(name, "the trash holds too many items of that name");
}

}  // namespace vm
