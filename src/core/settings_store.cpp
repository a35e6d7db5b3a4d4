#include "core/settings_store.h"

#include <climits>
#include <functional>

#include "core/ini_file.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

std::string cutText(std::string_view s) { return cutUtf8(s, limits::kText); }

int clampToInt(long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// Text up to its first line break.
std::string_view firstLine(std::string_view s) {
  auto p = s.find_first_of("\r\n");
  return p == std::string_view::npos ? s : s.substr(0, p);
}

// The text written to the file for an entry: value, or value;comment.
std::string fileText(const SettingEntry& e) {
  return e.comment.empty() ? e.value : e.value + ";" + e.comment;
}

}  // namespace

int readIntValue(std::string_view text) {
  long v = leadingNumber(text);
  if (v == 0 && text != "0") return -1;
  return clampToInt(v);
}

bool readFlagValue(std::string_view text) {
  return equalsNoCase(text, "yes") || equalsNoCase(text, "on") || equalsNoCase(text, "true") || text == "1";
}

std::vector<std::string> readListValue(std::string_view text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size() && items.size() < limits::kListItems) {
    auto comma = text.find(',', start);
    std::size_t end = comma == std::string_view::npos ? text.size() : comma;
    if (end > start) items.push_back(cutUtf8(text.substr(start, end - start), limits::kListItem));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

SettingEntry parseEntryLine(std::string_view line) {
  SettingEntry e;
  line = ini::trimBlanks(line);
  auto eq = line.find('=');
  if (eq == std::string_view::npos) {
    e.key = cutText(line);
    return e;
  }
  e.key = cutText(ini::trimBlanks(line.substr(0, eq)));
  std::string_view rest = ini::trimBlanks(line.substr(eq + 1));
  auto semi = rest.find(';');
  if (semi == std::string_view::npos) {
    e.value = cutText(rest);
  } else {
    e.value = cutText(ini::trimBlanks(rest.substr(0, semi)));
    e.comment = cutText(ini::trimBlanks(rest.substr(semi + 1)));
  }
  return e;
}

// ---------------------------------------------------------------------------
// Cache

std::size_t SettingsStore::PairHash::operator()(const std::pair<std::string, std::string>& p) const noexcept {
  std::size_t h = std::hash<std::string>{}(p.first);
  return h ^ (std::hash<std::string>{}(p.second) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

const SettingEntry* SettingsStore::findLocked(std::string_view key) const {
  auto it = byKey_.find(foldCase(key));
  return it == byKey_.end() ? nullptr : &cache_[it->second];
}

SettingEntry* SettingsStore::findInSectionLocked(std::string_view section, std::string_view key) {
  auto it = bySectionKey_.find({foldCase(section), foldCase(key)});
  return it == bySectionKey_.end() ? nullptr : &cache_[it->second];
}

const SettingEntry* SettingsStore::findInSectionLocked(std::string_view section, std::string_view key) const {
  auto it = bySectionKey_.find({foldCase(section), foldCase(key)});
  return it == bySectionKey_.end() ? nullptr : &cache_[it->second];
}

bool SettingsStore::mergeLocked(SettingEntry e) {
  std::pair<std::string, std::string> sk{foldCase(e.section), foldCase(e.key)};
  auto it = bySectionKey_.find(sk);
  if (it != bySectionKey_.end()) {
    SettingEntry& c = cache_[it->second];
    c.value = std::move(e.value);
    c.comment = std::move(e.comment);
    c.file = std::move(e.file);
    return true;
  }
  std::size_t index = cache_.size();
  byKey_.emplace(sk.second, index);  // keeps the first entry of a key
  bySectionKey_.emplace(std::move(sk), index);
  cache_.push_back(std::move(e));
  return false;
}

bool SettingsStore::load(const std::filesystem::path& path) {
  {
    std::lock_guard<std::mutex> g(lock_);
    iniPath_ = path;
  }
  // The file is read and parsed outside the lock; the merge takes it.
  auto sections = ini::readSections(path);
  if (!sections) return false;
  const std::string file = path.string();
  std::lock_guard<std::mutex> g(lock_);
  for (auto& s : *sections) {
    std::string section = cutText(s.name);
    for (const std::string& line : s.lines) {
      if (line.front() == ';') continue;  // lines are non-blank and trimmed
      SettingEntry e = parseEntryLine(line);
      e.section = section;
      e.file = file;
      mergeLocked(std::move(e));
    }
  }
  return true;
}

void SettingsStore::free() {
  std::lock_guard<std::mutex> g(lock_);
  cache_.clear();
  byKey_.clear();
  bySectionKey_.clear();
}

bool SettingsStore::reload() {
  free();
  return load(iniPath());
}

std::filesystem::path SettingsStore::iniPath() const {
  std::lock_guard<std::mutex> g(lock_);
  return iniPath_;
}

// ---------------------------------------------------------------------------
// Reading

int SettingsStore::get(std::string_view key, std::string_view def, std::string* out) const {
  std::string text;
  {
    std::lock_guard<std::mutex> g(lock_);
    const SettingEntry* e = findLocked(key);
    if (e && !e->value.empty()) text = e->value;
    else text = cutText(def);
  }
  int n = readIntValue(text);
  if (out) *out = std::move(text);
  return n;
}

int SettingsStore::getInt(std::string_view key, int def) const { return get(key, std::to_string(def)); }

bool SettingsStore::getFlag(std::string_view key) const {
  std::string v;
  get(key, "no", &v);
  return readFlagValue(v);
}

bool SettingsStore::getFlagDefaultYes(std::string_view key) const {
  std::string v;
  get(key, "yes", &v);
  return readFlagValue(v);
}

std::string SettingsStore::getText(std::string_view key, std::string_view def) const {
  std::lock_guard<std::mutex> g(lock_);
  const SettingEntry* e = findLocked(key);
  return e ? e->value : cutText(def);
}

std::string SettingsStore::getComment(std::string_view key) const {
  std::lock_guard<std::mutex> g(lock_);
  const SettingEntry* e = findLocked(key);
  return e ? e->comment : std::string();
}

std::string SettingsStore::getSectionComment(std::string_view section, std::string_view key) const {
  std::lock_guard<std::mutex> g(lock_);
  const SettingEntry* e = findInSectionLocked(section, key);
  return e ? e->comment : std::string();
}

std::vector<std::string> SettingsStore::getList(std::string_view key) const {
  std::string v;
  get(key, "", &v);
  return readListValue(v);
}

bool SettingsStore::has(std::string_view key) const {
  std::lock_guard<std::mutex> g(lock_);
  return findLocked(key) != nullptr;
}

std::vector<std::string> SettingsStore::sectionKeys(std::string_view section) const {
  std::vector<std::string> keys;
  std::lock_guard<std::mutex> g(lock_);
  for (const auto& e : cache_) {
    if (keys.size() >= limits::kSectionNames) break;
    if (equalsNoCase(e.section, section)) keys.push_back(e.key);
  }
  return keys;
}

std::vector<std::pair<std::string, std::string>> SettingsStore::sectionEntries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> out;
  std::lock_guard<std::mutex> g(lock_);
  for (const auto& e : cache_) {
    if (out.size() >= limits::kSectionNames) break;
    if (equalsNoCase(e.section, section)) out.emplace_back(e.key, e.value);
  }
  return out;
}

std::vector<SettingEntry> SettingsStore::snapshot() const {
  std::lock_guard<std::mutex> g(lock_);
  return cache_;
}

// ---------------------------------------------------------------------------
// Writing

bool SettingsStore::writeToFile(const SettingEntry& e) {
  if (e.file.empty()) return false;
  return ini::writeKey(e.file, e.section, e.key, fileText(e));
}

bool SettingsStore::writeEntry(const SettingEntry& given) {
  // What a reload of the written line would give: one line, split at the
  // first ';', trimmed and cut.
  std::string text(firstLine(given.value));
  std::string_view comment = firstLine(given.comment);
  if (!comment.empty()) text.append(";").append(comment);
  SettingEntry e = parseEntryLine("=" + text);
  e.key = cutText(ini::trimBlanks(firstLine(given.key)));
  e.section = cutText(ini::trimBlanks(firstLine(given.section)));
  e.file = given.file;
  if (!ini::writableKey(e.key) || e.section.empty() || e.section.find(']') != std::string::npos) {
    lastWriteFailed_ = true;
    return false;
  }
  std::lock_guard<std::mutex> g(lock_);
  bool replaced = mergeLocked(e);
  lastWriteFailed_ = !writeToFile(replaced ? *findInSectionLocked(e.section, e.key) : cache_.back());
  return replaced;
}

void SettingsStore::set(std::string_view key, std::string_view value) {
  setInSection(kGeneralSection, key, value);
}

void SettingsStore::setInt(std::string_view key, int value) { set(key, std::to_string(value)); }

void SettingsStore::setInSection(std::string_view section, std::string_view key, std::string_view value) {
  SettingEntry e;
  e.key = key;
  e.value = value;
  e.section = section;
  e.file = iniPath().string();
  writeEntry(e);
}

bool SettingsStore::deleteSection(const std::filesystem::path& file, std::string_view section) {
  if (file.empty()) return false;
  const std::filesystem::path target = ini::rewriteTarget(file);
  auto data = readWholeFile(target);
  if (!data) return false;
  if (!ini::canRewrite(target)) return false;
  std::string out;
  out.reserve(data->size());
  bool skipping = false;
  for (std::string_view line : ini::splitLines(*data)) {
    auto name = ini::headerName(line);
    if (name && equalsNoCase(*name, section)) {
      skipping = true;  // the header itself is dropped
      continue;
    }
    if (skipping) {
      if (!name) continue;  // entries and comments of the section are dropped
      skipping = false;     // the next header ends the stretch and is kept
    }
    out.append(line);
    if (!line.empty() && line.back() == '\r') out.push_back('\r');  // CR CR LF: its text keeps the CR
    out.push_back('\n');
  }
  if (out == *data) return true;
  return writeFileAtomic(target, out);
}

// ---------------------------------------------------------------------------
// Pending settings

SettingEntry* SettingsStore::findPending(const std::string_view* section, std::string_view key) {
  for (auto& p : pending_)
    if ((!section || equalsNoCase(p.section, *section)) && equalsNoCase(p.key, key)) return &p;
  return nullptr;
}

std::string SettingsStore::pendingGet(std::string_view key, std::string_view def) {
  if (SettingEntry* p = findPending(nullptr, key)) return p->value;
  SettingEntry e;
  e.key = cutText(key);
  get(key, def, &e.value);
  e.comment = getComment(key);
  e.section = std::string(kGeneralSection);
  pending_.push_back(e);
  return e.value;
}

std::string SettingsStore::pendingGetInSection(std::string_view section, std::string_view key, std::string_view def) {
  if (SettingEntry* p = findPending(nullptr, key)) return p->value;
  SettingEntry e;
  e.key = cutText(key);
  get(key, def, &e.value);
  e.comment = getSectionComment(section, key);
  e.section = cutText(section);
  pending_.push_back(e);
  return e.value;
}

int SettingsStore::pendingGetInt(std::string_view key, std::string_view def) {
  return clampToInt(leadingNumber(pendingGet(key, def)));
}

void SettingsStore::pendingSet(std::string_view key, std::string_view value) {
  pendingSetInSection(kGeneralSection, key, value, {});
}

void SettingsStore::pendingSetInSection(std::string_view section, std::string_view key, std::string_view value,
                                        std::string_view comment) {
  SettingEntry* p = findPending(&section, key);
  if (!p) {
    SettingEntry e;
    e.key = cutText(key);
    e.section = cutText(section);
    pending_.push_back(std::move(e));
    p = &pending_.back();
  }
  p->value = cutText(value);
  p->comment = cutText(comment);
}

std::vector<std::string> SettingsStore::pendingSectionKeys(std::string_view section) {
  std::vector<std::string> keys;
  for (const auto& p : pending_)
    if (equalsNoCase(p.section, section) && keys.size() < limits::kSectionNames) keys.push_back(p.key);
  if (!keys.empty()) return keys;
  std::vector<SettingEntry> fromCache;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& e : cache_) {
      if (fromCache.size() >= limits::kSectionNames) break;
      if (equalsNoCase(e.section, section)) fromCache.push_back(SettingEntry{e.key, e.value, e.section, e.comment, {}});
    }
  }
  for (auto& e : fromCache) {
    keys.push_back(e.key);
    pending_.push_back(std::move(e));
  }
  return keys;
}

void SettingsStore::pendingDropSection(std::string_view section) {
  bool queued = false;
  for (const auto& q : deleteQueue_)
    if (equalsNoCase(q, section)) queued = true;
  if (!queued) deleteQueue_.emplace_back(section);
  std::erase_if(pending_, [&](const SettingEntry& p) { return equalsNoCase(p.section, section); });
}

void SettingsStore::commitPending() {
  const std::filesystem::path path = iniPath();
  for (const auto& name : deleteQueue_) deleteSection(path, name);
  deleteQueue_.clear();
  bool failed = false;
  for (auto& p : pending_) {
    if (p.section.empty()) continue;
    p.file = path.string();
    writeEntry(p);
    failed = failed || lastWriteFailed_;
  }
  lastWriteFailed_ = failed;
}

void SettingsStore::discardPending(bool cancelled) {
  pending_.clear();
  if (cancelled) deleteQueue_.clear();
}

}  // namespace vm
