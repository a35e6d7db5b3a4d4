#include "core/program_files.h"

#include <system_error>

#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

bool moveLegacyIni(const std::filesystem::path& home, const std::filesystem::path& iniPath) {
  const auto legacy = home / kLegacyIniName;
  if (pathExists(iniPath) || !pathExists(legacy)) return false;
  std::error_code ec;
  std::filesystem::rename(legacy, iniPath, ec);
  return !ec;
}

bool appendLogLine(const std::filesystem::path& home, std::int64_t nowNs, const std::string& message) {
  LocalTime t = localTimeOf(nowNs);
  std::string line = format("%02d.%02d %02d:%02d:%02d ", t.month, t.day, t.hour, t.minute, t.second);
  line += cutUtf8(message, limits::kLogMessage);
  if (line.back() != '\n') line.push_back('\n');
  return appendToFile(home / kLogFileName, line);
}

}  // namespace vm
