#include "notes/folder_settings.h"

#include "core/ini_file.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

std::optional<std::string> fromFile(const std::string& file, std::string_view key) {
  if (!pathExists(file)) return std::nullopt;
  std::string v = ini::readKey(file, kFolderSettingsSection, key, kFolderSettingAbsent);
  if (equalsNoCase(v, kFolderSettingAbsent)) return std::nullopt;
  return cutUtf8(v, limits::kText);
}

}  // namespace

std::optional<std::string> folderSetting(const std::string& currentFolder, const std::string& rootFolder,
                                         std::string_view key) {
  if (!currentFolder.empty())
    if (auto v = fromFile(joinPath(currentFolder, kFolderSettingsName), key)) return v;
  if (!rootFolder.empty()) {
    std::string rootFile = joinPath(rootFolder, kLegacyRootSettingsName);
    if (!pathExists(rootFile)) rootFile = joinPath(rootFolder, kFolderSettingsName);
    if (auto v = fromFile(rootFile, key)) return v;
  }
  return std::nullopt;
}

}  // namespace vm
