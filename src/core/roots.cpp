#include "core/roots.h"

#include "core/settings_catalogue.h"
#include "core/settings_store.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace vm {

namespace {

// Mount point without its trailing slash: "/" becomes "", so that
// "%AppSrcDrv%/notes" expands to "/notes".
std::string driveText(const PathEnv& env) { return env.appSrcDrv == "/" ? std::string() : withoutTrailingSlash(env.appSrcDrv); }

bool replaceFirstNoCase(std::string& path, std::string_view var, std::string_view by) {
  auto pos = findNoCase(path, var);
  if (pos == std::string::npos) return false;
  std::string out = path.substr(0, pos) + std::string(by) + path.substr(pos + var.size());
  if (out.size() >= limits::kPathMax) return false;  // too long: leave the path as it was
  path = std::move(out);
  return true;
}

}  // namespace

bool expandPathVariables(std::string& path, const PathEnv& env) {
  bool ok = true;
  if (startsWithNoCase(path, kVarAppSrcDrv)) {
    std::string rest = path.substr(kVarAppSrcDrv.size());
    std::string drive = driveText(env);
    std::string out = drive + rest;
    if (out.empty()) out = "/";
    if (out.size() < limits::kPathMax) path = std::move(out);
  }
  if (findNoCase(path, kVarMyDocuments) != std::string::npos) {
    if (env.documents && !env.documents->empty()) {
      std::string docs = withoutTrailingSlash(*env.documents);
      ok = replaceFirstNoCase(path, kVarMyDocuments, docs) && ok;
    } else {
      ok = false;
    }
  }
  // No drive letters or network shares here, so there is no network adjustment.
  return ok && pathExists(path);
}

void contractPathForRemote(std::string& path, const PathEnv& env) {
  if (startsWithNoCase(path, kVarAppSrcDrv)) return;
  std::string drive = driveText(env);
  if (drive.empty()) {
    // The program sits on the root file system: every absolute path is on it.
    if (path.starts_with('/')) path = std::string(kVarAppSrcDrv) + path;
    return;
  }
  if (path == drive || path.starts_with(drive + "/")) path = std::string(kVarAppSrcDrv) + path.substr(drive.size());
}

int Roots::add(const std::string& configured, const std::string& folder, const std::string& display,
               const std::string& extension, const std::string& defaultExt, const StatusSink& status) {
  if (count() >= limits::kMaxRoots) {
    if (status) status("Hit maximum number of roots");
    return -1;
  }
  RootLocation r;
  r.inUse = true;
  r.rootFolder = withoutTrailingSlash(folder);
  r.configuredRoot = configured;
  r.displayName = display.empty() ? r.rootFolder : display;
  r.path = r.rootFolder;
  r.defaultExtension = cutUtf8(extension.empty() ? defaultExt : extension, limits::kExtension);
  table_.push_back(std::move(r));
  return count() - 1;
}

int Roots::find(std::string_view text) const {
  std::string t = withoutTrailingSlash(std::string(text));
  for (int i = 0; i < count(); ++i) {
    const auto& r = at(i);
    if (equalsNoCase(r.rootFolder, t) || equalsNoCase(r.displayName, text)) return i;
  }
  return -1;
}

RootLocation& Roots::current() { return table_.empty() ? none_ : table_[static_cast<std::size_t>(current_)]; }

const RootLocation& Roots::current() const {
  return table_.empty() ? none_ : table_[static_cast<std::size_t>(current_)];
}

std::vector<std::string> Roots::displayNames() const {
  std::vector<std::string> out;
  for (const auto& r : table_) out.push_back(r.displayName);
  return out;
}

void Roots::load(const Settings& settings, const PathEnv& env, const StatusSink& status) {
  clear();
  const SettingsStore& store = settings.store();
  const std::string defExt = settings.text(setting::DefaultExtension);
  auto entries = store.sectionEntries(kBasicRootsSection);
  if (entries.size() > static_cast<std::size_t>(limits::kMaxRoots)) entries.resize(limits::kMaxRoots);
  for (const auto& [key, alias] : entries) {
    std::string ext = store.getSectionComment(kBasicRootsSection, key);
    std::string folder = key;
    if (expandPathVariables(folder, env) && isDirectory(folder)) add(key, folder, alias, ext, defExt, status);
  }
  if (settings.flag(setting::RootAutoAddMyDocuments) && env.documents) {
    std::string docs = *env.documents;
    expandPathVariables(docs, env);
    if (isDirectory(docs)) add(docs, docs, std::string(kRootMyDocuments), "", defExt, status);
  }
  if (settings.flag(setting::RootAutoAddFernhollow)) {
    std::string f = env.fernhollow;
    if (expandPathVariables(f, env) && isDirectory(f)) add(f, f, std::string(kRootFernhollow), "", defExt, status);
  }
  if (settings.flag(setting::RootAutoAddCDrive)) {
    std::string f = env.fileSystemRoot;
    expandPathVariables(f, env);
    add(f, f, std::string(kRootFileSystem), "", defExt, status);
  }
}

std::optional<std::array<std::string, 4>> splitPerpetualNote(std::string_view value) {
  if (value.empty()) return std::nullopt;
  auto parts = split(value, '|');
  std::array<std::string, 4> out;
  for (std::size_t i = 0; i < 4 && i < parts.size(); ++i) out[i] = parts[i];
  return out;
}

void Roots::loadFixedShortcuts(const Settings& settings, const PathEnv& env, const std::string& helpFolder) {
  const std::string defExt = settings.text(setting::DefaultExtension);
  const SettingDef* perpetual[3] = {&setting::PerpetualNote1, &setting::PerpetualNote2, &setting::PerpetualNote3};
  for (int n = 0; n < 3; ++n) {
    RootLocation& sc = shortcuts_[static_cast<std::size_t>(kPerpetualFirstSlot + n)];
    sc = RootLocation{};
    auto fields = splitPerpetualNote(settings.text(*perpetual[n]));
    if (!fields) continue;
    std::string root = (*fields)[0], path = (*fields)[1];
    expandPathVariables(root, env);
    expandPathVariables(path, env);
    sc.inUse = true;
    sc.rootFolder = withoutTrailingSlash(root);
    sc.path = withoutTrailingSlash(path);
    sc.selectedFolder = (*fields)[2];
    sc.selectedFile = (*fields)[3];
    sc.defaultExtension = defExt;
    if (int i = find(sc.rootFolder); i >= 0) {
      const RootLocation& r = at(i);
      sc.displayName = r.displayName.empty() ? r.rootFolder : r.displayName;
      sc.defaultExtension = r.defaultExtension;
    }
  }
  RootLocation& help = shortcuts_[kHelpSlot];
  help = RootLocation{};
  help.inUse = true;
  help.rootFolder = help.path = withoutTrailingSlash(helpFolder);
  help.selectedFile = kHelpFileName;
  help.displayName = std::string(kRootHelp);
  help.defaultExtension = ".txt";
}

}  // namespace vm
