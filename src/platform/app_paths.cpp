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
  if (!exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0) return exeDir;
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
  if (isDirectory(home / "support")) return home / "support";
  if (!exeDir.empty() && isDirectory(exeDir / "support")) return exeDir / "support";
  return std::filesystem::path(kDataDir) / "support";
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
