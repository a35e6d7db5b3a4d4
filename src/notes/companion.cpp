#include "notes/companion.h"

#include <system_error>

#include "core/ini_file.h"
#include "notes/date_template.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr int kMaxPictureNumber = 99;
// Companions are rewritten through a temporary file named "<name>.XXXXXX";
// that name must fit the platform's name limit too.
constexpr std::size_t kCentralNameMax = limits::kNameMax - 7;
constexpr std::string_view kImagePrependDate = "ImagePrependDate";
constexpr std::string_view kPrependDateTemplate = "PrependDateTemplate";
constexpr std::string_view kPrependDateDefault = "yyyy-MM-dd-";

// Runs of "/" become one "/".
std::string collapseSlashes(std::string_view p) {
  std::string out;
  out.reserve(p.size());
  for (char c : p)
    if (c != '/' || out.empty() || out.back() != '/') out += c;
  return out;
}

}  // namespace

std::string fileInfoFolder(const std::string& home, std::string_view fileInfoDirSetting,
                           const PathExpander& expand) {
  std::string dir(fileInfoDirSetting);
  if (dir.empty()) return joinPath(home, kFileInfoFolderName);
  if (expand) expand(dir);
  if (!dir.starts_with('/')) dir = joinPath(home, dir);
  return withoutTrailingSlash(dir);
}

bool ensureFileInfoFolder(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  return isDirectory(folder);
}

std::string companionName(std::string_view filePath, bool besideFile, const std::string& fileInfoFolder,
                          const PathExpander& expand) {
  if (filePath.empty()) return {};
  std::string result;
  if (besideFile) {
    result = std::string(filePath) + std::string(kCompanionExtension);
  } else {
    std::string name(filePath.starts_with('/') ? filePath.substr(1) : filePath);
    for (char& c : name)
      if (c == '/') c = '_';
    name = cutUtf8(name, kCentralNameMax - kCompanionExtension.size()) + std::string(kCompanionExtension);
    result = joinPath(fileInfoFolder, name);
  }
  if (expand) expand(result);
  // Cutting a too long path could name some other file; give no companion.
  if (result.size() >= limits::kPathMax) return {};
  if (!besideFile) ini::writeKey(result, kCompanionSection, kCompanionFileNameKey, filePath);
  return result;
}

PicturePlace datePrefixPicture(const std::string& picturePath, std::string_view fileName,
                               const SettingLookup& lookup, const LocalTime& t) {
  PicturePlace unchanged{picturePath, std::string(fileName)};
  if (!lookup || !equalsNoCase(lookup(kImagePrependDate, "0"), "1")) return unchanged;

  const std::string folder = parentOf(picturePath);
  const std::string newName = formatDate(lookup(kPrependDateTemplate, kPrependDateDefault), t) + std::string(fileName);
  std::string target = collapseSlashes(joinPath(folder, newName));

  if (pathExists(target)) {
    // Split the wanted path into folder (with its "/"), base name and extension.
    std::size_t slash = target.rfind('/');
    std::string dir = target.substr(0, slash + 1);  // npos + 1 == 0: no folder
    std::string base = target.substr(dir.size());
    std::string ext;
    if (std::size_t dot = base.rfind('.'); dot != std::string::npos) {
      ext = base.substr(dot);
      base.resize(dot);
    }
    long n = 1;
    if (std::size_t us = base.find('_'); us != std::string::npos) {
      n = leadingNumber(std::string_view(base).substr(us + 1));
      base.resize(us);
      if (n < 1) n = 1;
    }
    for (;;) {
      target = format("%s%s_%03ld%s", dir.c_str(), base.c_str(), n, ext.c_str());
      if (!pathExists(target) || n >= kMaxPictureNumber) break;
      ++n;
    }
  }

  // Never replace a file that is there already: that rename just fails.
  if (!pathExists(target)) {
    std::error_code ec;
    fs::rename(picturePath, target, ec);
  }
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  std::string name = target.starts_with(prefix) ? target.substr(prefix.size()) : lastComponent(target);
  return {target, name};
}

}  // namespace vm
