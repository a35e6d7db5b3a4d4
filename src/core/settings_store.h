#pragma once
// Settings cache over the program's INI file.
//
// The whole file is read into an in-memory cache at start-up; every read is
// answered from the cache (key compared ignoring case, across all sections,
// first match in load order wins); every write goes straight through to the
// file. A second list, the pending settings, holds the Configure dialog's
// edits until OK.
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vm {

// Section of the program settings.
inline constexpr std::string_view kGeneralSection = "General";

struct SettingEntry {
  std::string key;
  std::string value;    // up to the first ';'
  std::string section;
  std::string comment;  // after the first ';'
  std::string file;     // INI file the entry belongs to (not cut: a path keeps the platform's length)
};
// key, value, comment and section are cut to limits::kText bytes (UTF-8 safe).

// Value forms.
// Integer reading: leading decimal number; a text that converts to 0 but is
// not exactly "0" reads as -1. Numbers beyond the int range are clamped.
int readIntValue(std::string_view text);
// Flag reading: "yes", "on", "true" or "1", ignoring case.
bool readFlagValue(std::string_view text);
// List reading: split at ','; empty items skipped; items not trimmed; each
// item cut to limits::kListItem (258) bytes; at most limits::kListItems (259)
// items: items beyond the 259th are dropped.
std::vector<std::string> readListValue(std::string_view text);
// Splits one INI line into key, value and comment (value ends at the first ';').
// Key, value and comment are trimmed of blanks (so "UseStatBar = yes ; x"
// reads as key UseStatBar, value yes, comment x) and cut to limits::kText.
// A line without '=' is a key with empty value and comment.
SettingEntry parseEntryLine(std::string_view line);

class SettingsStore {
 public:
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Loading. load() records path as the current INI path and fills the cache
  // (merging into what it holds: free() first for a fresh load); false when
  // the file does not exist or cannot be read (the cache is left as it was).
  // Any readable file loads what it can: lines without '=' become keys with
  // empty values, junk becomes junk keys, nothing fails.
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
  // written to its file. lastWriteFailed() tells whether the last write missed
  // the file (read-only file or folder, no current INI path...); the cache is
  // updated all the same. The cached value and comment are what a reload of
  // the written line gives: the text is cut at its first line break, split at
  // its first ';' and trimmed. An entry with an empty key or section, a key
  // that vm::ini::writableKey refuses, or a section holding ']', is refused (false, cache untouched, lastWriteFailed).
  bool writeEntry(const SettingEntry& e);
  void set(std::string_view key, std::string_view value);  // section General, current file
  void setInt(std::string_view key, int value);
  void setInSection(std::string_view section, std::string_view key, std::string_view value);
  bool lastWriteFailed() const { return lastWriteFailed_; }
  // Removes a whole section from file by rewriting it; the cache is untouched. False when the file name is
  // empty, the file cannot be read or rewritten (read-only); true after the
  // rewrite. The stretch starts at a header whose name (vm::ini::headerName)
  // equals section ignoring case -- "[basicroots]" and "[BasicRoots] x" do,
  // "[BasicRootsX]" does not -- and ends at the next line starting with '['.
  // Comment lines inside the stretch are dropped, all lines outside it kept.
  // Lines are handled whole: reading in fixed-size pieces would cut a long
  // line into pieces that could pass for headers. The rewrite goes through
  // vm::writeFileAtomic (a temporary file beside the INI and a rename).
  static bool deleteSection(const std::filesystem::path& file, std::string_view section);

  // Pending settings (Configure dialog). Used from the UI thread only; not locked.
  // pendingGetInSection finds a pending entry by key in any section, takes the
  // value from get() and the comment from getSectionComment(section, key).
  // The deletion queue keeps every dropped name (no limit).
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
  struct PairHash {
    std::size_t operator()(const std::pair<std::string, std::string>& p) const noexcept;
  };

  const SettingEntry* findLocked(std::string_view key) const;
  SettingEntry* findInSectionLocked(std::string_view section, std::string_view key);
  const SettingEntry* findInSectionLocked(std::string_view section, std::string_view key) const;
  // Replaces the entry with e's section and key, or appends e; true when replaced.
  bool mergeLocked(SettingEntry e);
  bool writeToFile(const SettingEntry& e);
  SettingEntry* findPending(const std::string_view* section, std::string_view key);  // null: any section

  mutable std::mutex lock_;
  std::vector<SettingEntry> cache_;
  // Indexes into cache_: folded key -> first entry with that key; folded
  // (section, key) -> its entry. Entries are only appended or changed in
  // place between frees, so the indexes stay valid.
  std::unordered_map<std::string, std::size_t> byKey_;
  std::unordered_map<std::pair<std::string, std::string>, std::size_t, PairHash> bySectionKey_;
  std::filesystem::path iniPath_;
  std::vector<SettingEntry> pending_;
  std::vector<std::string> deleteQueue_;
  std::atomic<bool> lastWriteFailed_ = false;
};

}  // namespace vm
