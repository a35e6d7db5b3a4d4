// Settings files beside notes and companions over fuzzed files and names:
// a folder setting is the value the nearest file holding the key gives, cut
// to 259 bytes; a central companion is one file name inside the
// file-information folder, ending in ".tn", that records the file it serves.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "core/ini_file.h"
#include "fuzz_util.h"
#include "notes/companion.h"
#include "notes/folder_settings.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  FuzzedDataProvider in(data, size);
  const std::string key = in.ConsumeRandomLengthString(40);
  const std::string filePath = in.ConsumeRandomLengthString(600);
  const bool legacy = in.ConsumeBool();
  const bool withFolder = in.ConsumeBool();
  const std::string folderText = in.ConsumeRandomLengthString(4000);
  const std::string rootText = in.ConsumeRemainingBytesAsString();

  namespace sfs = std::filesystem;
  const sfs::path root = fuzz::scratchFolder() / "root";
  const sfs::path folder = root / "sub";
  std::error_code ec;
  sfs::remove_all(root, ec);
  sfs::create_directories(folder, ec);
  const sfs::path rootFile = root / std::string(legacy ? kLegacyRootSettingsName : kFolderSettingsName);
  const sfs::path folderFile = folder / std::string(kFolderSettingsName);
  fuzz::writeFile(rootFile, rootText);
  if (withFolder) fuzz::writeFile(folderFile, folderText);

  const std::optional<std::string> got = folderSetting(folder.string(), root.string(), key);
  const std::string absent(kFolderSettingAbsent);
  auto fromFile = [&](const sfs::path& f) -> std::optional<std::string> {
    if (!isRegularFile(f)) return std::nullopt;
    std::string v = ini::readKey(f, kFolderSettingsSection, key, absent);
    if (equalsNoCase(v, absent)) return std::nullopt;
    return cutUtf8(v, limits::kText);
  };
  std::optional<std::string> expected = fromFile(folderFile);
  if (!expected) expected = fromFile(rootFile);
  FUZZ_CHECK(got == expected, "folder setting " + key + " read " + got.value_or("<none>") + " not " +
                                  expected.value_or("<none>"));
  if (got) FUZZ_CHECK(got->size() <= limits::kText, format("%zu bytes", got->size()));

  // Central companion of a fuzzed path.
  const sfs::path info = fuzz::scratchFolder() / "file_info";
  sfs::remove_all(info, ec);
  sfs::create_directories(info, ec);
  const std::string beside = companionName(filePath, true, info.string());
  if (!filePath.empty() && filePath.size() + 3 < limits::kPathMax) FUZZ_CHECK(beside == filePath + ".tn", beside);
  const std::string central = companionName(filePath, false, info.string());
  if (central.empty()) return 0;
  FUZZ_CHECK(central.size() < limits::kPathMax, format("%zu bytes", central.size()));
  FUZZ_CHECK(parentOf(central) == info.string(), "companion outside the folder: " + central);
  const std::string name = lastComponent(central);
  FUZZ_CHECK(name.ends_with(".tn") && name.find('/') == std::string::npos, "companion name " + name);
  FUZZ_CHECK(name != ".tn" || filePath == "/", "empty companion name for " + filePath);
  // The companion records the file it serves (when the name can be written as one line).
  if (filePath.find_first_of("\r\n") == std::string::npos && isRegularFile(central)) {
    const std::string recorded = ini::readKey(central, kCompanionSection, kCompanionFileNameKey, "<none>");
    FUZZ_CHECK(recorded == std::string(ini::trimBlanks(filePath)), "recorded " + recorded);
  }
  return 0;
}
