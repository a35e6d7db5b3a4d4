#include "platform/app_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/fs.h"
#include "platform/version.h"

namespace vm {

namespace {

bool ensureDir(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
  return isDirectory(p);
}

// <exeDir>/../share/vellumark: the executable is part of an installed tree
// (/usr/bin/vellumark beside /usr/share/vellumark), not a portable folder.
std::filesystem::path installedDataDir(const std::filesystem::path& exeDir) {
  return (exeDir / ".." / "share" / "vellumark").lexically_normal();
}

}  // namespace

std::filesystem::path resolveHome(const std::optional<std::string>& homeArg, const std::filesystem::path& exeDir) {
  std::error_code ec;
  if (homeArg && !homeArg->empty()) {
    std::filesystem::path p = std::filesystem::absolute(*homeArg, ec);
    ensureDir(p);
    return p;
  }
  if (const char* env = std::getenv("VELLUMARK_HOME"); env && *env) {
    std::filesystem::path p = std::filesystem::absolute(env, ec);
    ensureDir(p);
    return p;
  }
  // A writable program folder is a portable copy; an installed copy run by
  // someone who may write to its bin folder (root) must not fill that folder.
  if (!exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0 && !isDirectory(installedDataDir(exeDir))) return exeDir;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path(ec);
  }
  auto p = base / "vellumark";
  ensureDir(p);
  return p;
}

std::filesystem::path resolveSupport(const std::filesystem::path& home, const std::filesystem::path& exeDir) {
  return resolveSupport(home, exeDir, kDataDir);
}

std::filesystem::path resolveSupport(const std::filesystem::path& home, const std::filesystem::path& exeDir,
                                     const std::filesystem::path& dataDir) {
  if (isDirectory(home / "support")) return home / "support";
  if (!exeDir.empty()) {
    if (isDirectory(exeDir / "support")) return exeDir / "support";
    // An installed tree moved as a whole (a package unpacked anywhere, another
    // prefix): <prefix>/bin/vellumark finds <prefix>/share/vellumark/support.
    auto beside = installedDataDir(exeDir) / "support";
    if (isDirectory(beside)) return beside;
  }
  return dataDir / "support";
}

std::filesystem::path privateTempDir() {
  std::error_code ec;
  std::filesystem::path base;
  if (const char* t = std::getenv("TMPDIR"); t && *t) {
    base = t;
  } else {
    base = "/tmp";
  }
  auto p = base / ("vellumark-" + std::to_string(::getuid()));
  ::mkdir(p.c_str(), 0700);
  ::chmod(p.c_str(), 0700);
  return p;
}

}  // namespace vm
