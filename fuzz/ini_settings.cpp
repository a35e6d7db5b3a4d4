// The INI file layer and the settings store over a fuzzed file: every key
// reads without trouble; a key written reads back as written, in the file and
// in a reloaded cache; every other key and every other line stays as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/ini_file.h"
#include "core/settings_store.h"
#include "fuzz_util.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

using namespace vm;

namespace {

// A key's value is one line, so no stored value can hold a line end.
constexpr const char* kAbsent = "<absent>\n";

std::string_view firstLineOf(std::string_view s) {
  auto p = s.find_first_of("\r\n");
  return p == std::string_view::npos ? s : s.substr(0, p);
}

// Every (section, key) the file has, folded, with its value as read.
std::map<std::pair<std::string, std::string>, std::string> allKeys(const std::filesystem::path& file) {
  std::map<std::pair<std::string, std::string>, std::string> out;
  auto sections = ini::readSections(file);
  if (!sections) return out;
  for (const auto& s : *sections) {
    if (ini::trimBlanks(s.name).empty()) continue;  // "[]" and "[": a section that is never read
    for (const auto& line : s.lines) {
      if (line.empty() || line.front() == ';') continue;
      std::string key(ini::trimBlanks(line.substr(0, line.find('='))));
      if (key.empty()) continue;
      out[{foldCase(s.name), foldCase(key)}] = ini::readKey(file, s.name, key, kAbsent);
    }
  }
  return out;
}

std::string show(std::string_view s) {
  std::string o;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127) o.push_back(static_cast<char>(c));
    else o += format("\\x%02x", c);
  }
  return o;
}

void checkIniLayer(const std::filesystem::path& file, const std::string& before, std::string_view section,
                   std::string_view key, std::string_view value) {
  auto keysBefore = allKeys(file);
  for (const auto& [sk, v] : keysBefore) FUZZ_CHECK(v != kAbsent, "listed key unread: " + show(sk.second));
  std::string err;
  if (!ini::writeKey(file, section, key, value, &err)) {
    FUZZ_CHECK(readWholeFile(file).value_or("") == before, "a refused write changed the file");
    return;
  }
  const std::string expected(ini::trimBlanks(firstLineOf(value)));
  const std::string got = ini::readKey(file, section, key, kAbsent);
  FUZZ_CHECK(got == expected, "section " + show(section) + " key " + show(key) + " wrote " + show(expected) +
                                  " read " + show(got));
  // Every other key reads as before.
  const auto keysAfter = allKeys(file);
  const std::pair<std::string, std::string> mine{foldCase(ini::trimBlanks(section)), foldCase(ini::trimBlanks(key))};
  for (const auto& [sk, v] : keysBefore) {
    if (sk == mine) continue;
    auto it = keysAfter.find(sk);
    FUZZ_CHECK(it != keysAfter.end() && it->second == v,
               "key " + show(sk.second) + " of " + show(sk.first) + " was " + show(v));
  }
  // Lines: the old and new files differ in one stretch: at most one old line
  // (the replaced entry) against at most three new ones (blank, header, entry).
  const std::string after = readWholeFile(file).value_or("");
  auto a = ini::splitLines(before);
  auto b = ini::splitLines(after);
  std::size_t p = 0;
  while (p < a.size() && p < b.size() && a[p] == b[p]) ++p;
  std::size_t q = 0;
  while (q < a.size() - p && q < b.size() - p && a[a.size() - 1 - q] == b[b.size() - 1 - q]) ++q;
  FUZZ_CHECK(a.size() - p - q <= 1 && b.size() - p - q <= 3,
             format("lines changed: %zu old, %zu new at line %zu", a.size() - p - q, b.size() - p - q, p));
}

void checkStore(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value) {
  SettingsStore store;
  if (!store.load(file)) return;
  (void)store.getText(key, "");
  (void)store.getList(key);
  (void)store.getInt(key, 7);
  store.setInSection(section, key, value);
  if (store.lastWriteFailed()) return;
  auto find = [&](const SettingsStore& s) -> std::optional<std::string> {
    for (const auto& e : s.snapshot())
      if (equalsNoCase(e.section, ini::trimBlanks(firstLineOf(section))) &&
          equalsNoCase(e.key, ini::trimBlanks(firstLineOf(key))))
        return e.value;
    return std::nullopt;
  };
  auto cached = find(store);
  FUZZ_CHECK(cached.has_value(), "written entry not cached: " + show(key));
  SettingsStore again;
  FUZZ_CHECK(again.load(file), "reload failed");
  auto reloaded = find(again);
  FUZZ_CHECK(reloaded == cached, "cache " + show(*cached) + " but file gives " + show(reloaded.value_or("<none>")) +
                                     " for key " + show(key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  FuzzedDataProvider in(data, size);
  std::string section = in.ConsumeRandomLengthString(40);
  std::string key = in.ConsumeRandomLengthString(40);
  std::string value = in.ConsumeRandomLengthString(300);
  const bool reuse = in.ConsumeBool();
  std::string text = in.ConsumeRemainingBytesAsString();

  const auto file = fuzz::scratchFolder() / "settings.ini";
  fuzz::writeFile(file, text);
  if (reuse) {
    // Often write a section and key the file already has.
    auto sections = ini::readSections(file);
    if (sections && !sections->empty()) {
      const auto& s = (*sections)[section.size() % sections->size()];
      section = s.name;
      if (!s.lines.empty()) {
        const std::string& line = s.lines[key.size() % s.lines.size()];
        key = std::string(ini::trimBlanks(line.substr(0, line.find('='))));
      }
    }
  }
  checkIniLayer(file, text, section, key, value);
  fuzz::writeFile(file, text);
  checkStore(file, section, key, value);
  return 0;
}
