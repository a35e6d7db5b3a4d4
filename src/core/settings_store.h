#pragma once
// Settings cache over the program's INI file.
//
// The whole file is read into an in-memory cache at start-up; every read is
// answered from the cache (key compared ignoring case, across all sections,
// first match in load order wins); every write goes straight through to the
// file. A second list, the pending settings, holds the Configure dialog's
// edits until OK.
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct SettingEntry {
  std::string key;
  std::string value;    // up to the first ';'
  std::string section;
  std::string comment;  // after the first ';'
  std::string file;     // INI file the entry belongs to
};

// Value forms.
// Integer reading: leading decimal number; a text that converts to 0 but is
// not exactly "0" reads as -1.
int readIntValue(std::string_view text);
// Flag reading: "yes", "on", "true" or "1", ignoring case.
bool readFlagValue(std::string_view text);
// List reading: split at ','; empty items skipped; items not trimmed; each
// item cut to 258 bytes; at most 259 items.
std::vector<std::string> readListValue(std::string_view text);
// Splits one INI line into key, value and comment (value ends at the first ';').
SettingEntry parseEntryLine(std::string_view line);

class SettingsStore {
 public:
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Loading. load() records path as the current INI path and fills the cache;
  // false when the file does not exist (the cache is left as it was).
  bool load(const std::filesystem::path& path);
  void free();
  bool reload();  // free + load of the current path
  std::filesystem::path iniPath() const;

  // Reading.
  // Value (or def when absent or empty) into out; returns its integer reading.
  int get(std::string_view key, std::string_view def, std::string* out = nullptr) const;
  int getInt(std::string_view key, int def) const;
  bool getFlag(std::string_view key) const;            // default "no"
  bool getFlagDefaultYes(std::string_view key) const;  // default "yes"
  // Value, or def when absent; an empty value stays empty.
  std::string getText(std::string_view key, std::string_view def) const;
  std::string getComment(std::string_view key) const;
  std::string getSectionComment(std::string_view section, std::string_view key) const;
  std::vector<std::string> getList(std::string_view key) const;
  bool has(std::string_view key) const;
  std::vector<std::string> sectionKeys(std::string_view section) const;
  std::vector<std::pair<std::string, std::string>> sectionEntries(std::string_view section) const;

  // Writing. writeEntry replaces the cached entry with the same section and
  // key (true), or adds the entry to the cache (false); either way it is
  // written to its file. writeFailed() tells whether the last write reached
  // the file.
  bool writeEntry(const SettingEntry& e);
  void set(std::string_view key, std::string_view value);  // section General, current file
  void setInt(std::string_view key, int value);
  void setInSection(std::string_view section, std::string_view key, std::string_view value);
  bool lastWriteFailed() const { return lastWriteFailed_; }
  // Removes a whole section from file by rewriting it; the cache is untouched.
  static bool deleteSection(const std::filesystem::path& file, std::string_view section);

  // Pending settings (Configure dialog).
  std::string pendingGet(std::string_view key, std::string_view def);
  std::string pendingGetInSection(std::string_view section, std::string_view key, std::string_view def);
  int pendingGetInt(std::string_view key, std::string_view def);
  void pendingSet(std::string_view key, std::string_view value);
  void pendingSetInSection(std::string_view section, std::string_view key, std::string_view value,
                           std::string_view comment);
  std::vector<std::string> pendingSectionKeys(std::string_view section);
  void pendingDropSection(std::string_view section);
  void commitPending();
  void discardPending(bool cancelled);
  const std::vector<SettingEntry>& pending() const { return pending_; }

  // The cache in load order (for tests and diagnostics).
  std::vector<SettingEntry> snapshot() const;

 private:
  const SettingEntry* findLocked(std::string_view key) const;
  bool writeToFile(const SettingEntry& e);

  mutable std::mutex lock_;
  std::vector<SettingEntry> cache_;
  std::filesystem::path iniPath_;
  std::vector<SettingEntry> pending_;
  std::vector<std::string> deleteQueue_;
  bool lastWriteFailed_ = false;
};

}  // namespace vm
