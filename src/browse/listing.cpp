#include "browse/listing.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

const ViewerTables& builtInTables() {
  static const ViewerTables tables = ViewerTables::build({}, {}, {});
  return tables;
}

const ViewerTables& tablesOf(const ListingRules& rules) { return rules.tables ? *rules.tables : builtInTables(); }

bool isHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

bool isImagesFolder(std::string_view name) { return equalsNoCase(name, kImagesFolder); }

// A name that is only ".tn" does not end in it.
bool isProgramFile(std::string_view name) {
  return name.size() > kProgramFileSuffix.size() && endsWithNoCase(name, kProgramFileSuffix);
}

bool isUpEntry(const ListItem& item) { return item.icon == 0 && item.name == kUpEntry; }

// Sort entry: the text compared first (fold key or modified text), then the
// fold key, then the exact name, so equal folds still order the same way
// every time. head holds the primary text's first eight bytes, big-endian and
// padded with zeros: names and times hold no NUL, so heads that differ order
// the way the texts do, and only equal heads need the texts.
struct SortRef {
  std::uint64_t head;
  const std::string* primary;
  const std::string* key;
  const std::string* name;
  std::uint32_t index;
};

std::uint64_t headOf(const std::string& s) {
  unsigned char b[8] = {};
  std::memcpy(b, s.data(), std::min<std::size_t>(s.size(), 8));
  std::uint64_t v = 0;
  for (unsigned char c : b) v = v << 8 | c;
  return v;
}

SortRef sortRef(const std::string* primary, const std::string* key, const std::string* name, std::size_t index) {
  return {headOf(*primary), primary, key, name, static_cast<std::uint32_t>(index)};
}

bool refLess(const SortRef& a, const SortRef& b) {
  if (a.head != b.head) return a.head < b.head;
  if (int c = a.primary->compare(*b.primary)) return c < 0;
  if (a.primary != a.key) {
    if (int c = a.key->compare(*b.key)) return c < 0;
  }
  if (int c = a.name->compare(*b.name)) return c < 0;
  return a.index < b.index;
}

void sortRefs(std::vector<SortRef>& refs, bool ascending) {
  if (ascending)
    std::sort(refs.begin(), refs.end(), refLess);
  else
    std::sort(refs.begin(), refs.end(), [](const SortRef& a, const SortRef& b) { return refLess(b, a); });
}

// Item order for sorting File List items by column (0 name, 1 modified text).
std::vector<std::uint32_t> fileOrder(const std::vector<ListItem>& items, const std::vector<const std::string*>& keys,
                                     int column, bool ascending) {
  std::vector<SortRef> refs;
  refs.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string* primary = column == 1 ? &items[i].modified : keys[i];
    refs.push_back(sortRef(primary, keys[i], &items[i].name, i));
  }
  sortRefs(refs, ascending);
  std::vector<std::uint32_t> order;
  order.reserve(refs.size());
  for (const auto& r : refs) order.push_back(r.index);
  return order;
}

// Puts items in order (order[pos] is the index of the item that goes to
// pos), in place: each cycle of the order is walked once, every item moved
// once, and no second list of the items is made.
void applyOrder(std::vector<ListItem>& items, const std::vector<std::uint32_t>& order) {
  std::vector<bool> placed(items.size());
  for (std::size_t start = 0; start < items.size(); ++start) {
    if (placed[start] || order[start] == start) continue;
    ListItem held = std::move(items[start]);
    std::size_t pos = start;
    for (;;) {
      placed[pos] = true;
      const std::size_t from = order[pos];
      if (from == start) {
        items[pos] = std::move(held);
        break;
      }
      items[pos] = std::move(items[from]);
      pos = from;
    }
  }
}

// The fold key of a name: ASCII names (most of them) are lowered here,
// byte by byte; any other goes through the full folding.
std::string foldName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return foldCase(name);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

constexpr std::int64_t kDaySeconds = 86400;
constexpr long kMixedDay = 1L << 40;  // no single offset: the day holds a change of it

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Year, month and day of a count of days since 1970-01-01 (proleptic
// Gregorian calendar).
void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = floorDiv(z, 146097);
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

// What names the zone local times are made in: TZ and what tzset() makes
// of it (run here, as the first local time would run it).
std::string currentZone() {
  ::tzset();
  const char* tz = std::getenv("TZ");
  std::string zone = tz ? tz : "-";
  zone += '\n';
  zone += ::tzname[0] ? ::tzname[0] : "";
  zone += '\n';
  zone += ::tzname[1] ? ::tzname[1] : "";
  zone += '\n' + std::to_string(::timezone) + '\n' + std::to_string(::daylight);
  return zone;
}

long utcOffsetAt(std::time_t t, bool& ok) {
  struct tm tm {};
  ok = ::localtime_r(&t, &tm) != nullptr;
  return tm.tm_gmtoff;
}

}  // namespace

std::string Listing::modifiedTextOf(std::int64_t mtimeNs) {
  // The zone's offset is looked up once per day of the times listed; within
  // a day whose offset is the same at its first and last second it cannot
  // change (zones change it at most once a day).
  const std::int64_t secs = mtimeNs / 1'000'000'000;  // as modifiedText takes it
  const std::int64_t day = floorDiv(secs, kDaySeconds);
  auto [it, inserted] = dayOffsets_.try_emplace(day, kMixedDay);
  if (inserted) {
    bool ok1 = false, ok2 = false;
    const long first = utcOffsetAt(static_cast<std::time_t>(day * kDaySeconds), ok1);
    const long last = utcOffsetAt(static_cast<std::time_t>(day * kDaySeconds + kDaySeconds - 1), ok2);
    if (ok1 && ok2 && first == last) it->second = first;
  }
  if (it->second == kMixedDay) return modifiedText(mtimeNs);
  const std::int64_t local = secs + it->second;
  const std::int64_t localDay = floorDiv(local, kDaySeconds);
  const auto inDay = static_cast<unsigned>(local - localDay * kDaySeconds);
  std::int64_t year;
  unsigned month, dayOfMonth;
  civilFromDays(localDay, year, month, dayOfMonth);
  if (year < 0 || year > 9999) return modifiedText(mtimeNs);
  std::string out = "0000.00.00 00:00:00";
  auto digits = [&out](std::size_t at, unsigned v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) out[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
  };
  digits(0, static_cast<unsigned>(year), 4);
  digits(5, month, 2);
  digits(8, dayOfMonth, 2);
  digits(11, inDay / 3600, 2);
  digits(14, inDay / 60 % 60, 2);
  digits(17, inDay % 60, 2);
  return out;
}

std::string modifiedText(std::int64_t mtimeNs) {
  // "%04u.%02u.%02u %02u:%02u:%02u", written by hand: this runs once per
  // listed file.
  LocalTime t = localTimeOf(mtimeNs);
  auto digits = [](char* at, unsigned v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) at[i] = static_cast<char>('0' + v % 10);
  };
  unsigned year = static_cast<unsigned>(t.year);
  if (year > 9999) return format("%04u.%02u.%02u %02u:%02u:%02u", year, static_cast<unsigned>(t.month),
                                 static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
                                 static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
  std::string out = "0000.00.00 00:00:00";
  digits(&out[0], year, 4);
  digits(&out[5], static_cast<unsigned>(t.month) % 100, 2);
  digits(&out[8], static_cast<unsigned>(t.day) % 100, 2);
  digits(&out[11], static_cast<unsigned>(t.hour) % 100, 2);
  digits(&out[14], static_cast<unsigned>(t.minute) % 100, 2);
  digits(&out[17], static_cast<unsigned>(t.second) % 100, 2);
  return out;
}

Listing::Listing(ListModel& folders, ListModel& files, StatusSink status)
    : folders_(folders), files_(files), status_(std::move(status)) {
  files_.setTimeReader(this);
}

Listing::~Listing() {
  if (files_.timeReader() == this) files_.setTimeReader(nullptr);
}

void Listing::say(const std::string& text) const {
  if (status_) status_(text);
}

// ---- Folder List ----

bool Listing::hasVisibleSubFolders(const std::string& folder, bool hideProgramFiles) {
  return anySubFolder(folder, [hideProgramFiles](const std::string& name) {
    return !(hideProgramFiles && isImagesFolder(name));
  });
}

void Listing::listFolders(const std::string& rootFolder, const std::string& path, const ListingRules& rules,
                          bool caption) {
  if (caption) say(format("Folders in %s", path.c_str()));

  std::vector<DirEntry> entries;
  if (path.empty() || !readDirectoryKinds(path, entries)) {
    folders_.clear();  // empty, without the up entry either
    return;
  }

  std::vector<ListItem> items;
  std::vector<std::string> keys;
  items.reserve(entries.size() + 1);
  keys.reserve(entries.size() + 1);
  // The up entry only below the root folder. Names are exact on this file
  // system, so only trailing slashes are normalised.
  bool up = withoutTrailingSlash(path) != withoutTrailingSlash(rootFolder);

  for (auto& e : entries) {
    if (!e.isDir) continue;
    if (rules.hideHidden && isHiddenName(e.name)) continue;
    if (rules.hideProgramFiles && isImagesFolder(e.name)) continue;
    ListItem item;
    item.icon = hasVisibleSubFolders(joinPath(path, e.name), rules.hideProgramFiles) ? 2 : 1;
    keys.push_back(foldName(e.name));
    item.name = std::move(e.name);
    items.push_back(std::move(item));
  }

  std::vector<SortRef> refs;
  refs.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i)
    refs.push_back(sortRef(&keys[i], &keys[i], &items[i].name, i));
  sortRefs(refs, true);

  std::vector<ListItem> sorted;
  sorted.reserve(items.size() + 1);
  if (up) sorted.push_back(ListItem{std::string(kUpEntry), 0, {}, 0});  // always first
  for (const auto& r : refs) sorted.push_back(std::move(items[r.index]));
  folders_.assign(std::move(sorted));
}

// ---- File List ----

Listing::RecordEntry& Listing::record(const std::string& name, std::optional<std::int64_t> mtimeNs,
                                      RecordEntry* guess) {
  RecordEntry* entry = guess && guess->first == name ? guess : nullptr;
  bool inserted = false;
  if (!entry) {
    auto [it, added] = records_.try_emplace(name);
    entry = &*it;
    inserted = added;
  }
  Record& rec = entry->second;
  if (inserted) {
    rec.key = foldName(name);
  } else if (rec.generation != generation_) {
    // Known from an earlier listing: its text still holds when the entry
    // came with the very time it was made from; otherwise it is read again.
    rec.timeKnown = rec.timeKnown && mtimeNs && *mtimeNs == rec.mtimeNs;
  }
  if (mtimeNs && !rec.timeKnown) setTime(rec, *mtimeNs);
  rec.generation = generation_;
  return *entry;
}

void Listing::setTime(Record& rec, std::int64_t mtimeNs) {
  rec.modified = modifiedTextOf(mtimeNs);
  rec.mtimeNs = mtimeNs;
  rec.timeKnown = true;
}

Listing::Record* Listing::current(const std::string& name) {
  auto it = records_.find(name);
  return it != records_.end() && it->second.generation == generation_ ? &it->second : nullptr;
}

void Listing::fillTime(ListItem& item, const OpenFolder& folder) {
  item.timePending = false;
  Record* rec = current(item.name);
  if (!rec || !rec->timeKnown) {
    const std::optional<std::int64_t> t = folder.entryLastWriteNs(item.name);
    if (!t) {
      // Gone since it was listed, or unreadable: an empty modified text, and
      // nothing recorded (as for a file added singly).
      item.modified.clear();
      item.mtimeNs = 0;
      return;
    }
    if (!rec) {
      item.modified = modifiedTextOf(*t);
      item.mtimeNs = *t;
      return;
    }
    setTime(*rec, *t);
  }
  item.modified = rec->modified;
  item.mtimeNs = rec->mtimeNs;
}

void Listing::readTime(ListItem& item) {
  if (!item.timePending) return;
  const OpenFolder folder(listedFolder_);
  fillTime(item, folder);
}

void Listing::readTimes(std::vector<ListItem>& items) {
  auto pending = [](const ListItem& item) { return item.timePending; };
  auto first = std::find_if(items.begin(), items.end(), pending);
  if (first == items.end()) return;
  const OpenFolder folder(listedFolder_);  // opened once for them all
  for (auto it = first; it != items.end(); ++it)
    if (it->timePending) fillTime(*it, folder);
}

void Listing::pruneRecords(std::size_t listed) {
  if (records_.size() <= 2 * listed + 256) return;
  std::erase_if(records_, [this](const auto& entry) { return entry.second.generation != generation_; });
}

std::vector<ListItem> Listing::readFiles(const std::string& folder, const ListingRules& rules, bool caption,
                                        std::vector<const std::string*>* keys, std::vector<Record*>* recs) {
  if (caption) say(format("Files in %s", folder.c_str()));
  listedFolder_ = folder;
  std::vector<RecordEntry*> last;
  last.swap(met_);  // only records of this listing are ever kept there
  std::vector<ListItem> items;
  std::vector<DirEntry> entries;
  if (folder.empty() || !readDirectoryKinds(folder, entries)) return items;

  const ViewerTables& tables = tablesOf(rules);
  items.reserve(entries.size());
  if (keys) keys->reserve(entries.size());
  if (records_.empty()) records_.reserve(entries.size());
  std::vector<RecordEntry*> met(entries.size(), nullptr);
  // Save temporaries left by a save that was killed half-way are cleared
  // when the listing meets one; other listings pay nothing for this.
  bool sawSaveTemp = false;
  // Icon and filter depend on the extension alone, and a folder holds few
  // of them: each is asked once per listing.
  struct ExtensionAnswer {
    std::string extension;
    int kind;
    bool passes;
  };
  std::vector<ExtensionAnswer> answers;
  auto answerFor = [&](const std::string& name) -> std::pair<int, bool> {
    const std::size_t dot = name.rfind('.');
    const std::string_view ext = dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
    for (const auto& a : answers)
      if (a.extension == ext) return {a.kind, a.passes};
    const std::pair<int, bool> got{tables.kindOf(name), tables.passesFilter(name, rules.filter)};
    if (answers.size() < 64) answers.push_back({std::string(ext), got.first, got.second});
    return got;
  };
  for (auto& e : entries) {
    if (e.isDir) continue;
    if (e.name.starts_with(kSaveTempPrefix)) {
      sawSaveTemp = true;
      if (rules.hideHidden) continue;
    }
    if (rules.hideHidden && isHiddenName(e.name)) continue;
    if (rules.hideProgramFiles && isProgramFile(e.name)) continue;
    const auto [kind, passes] = answerFor(e.name);
    if (!passes) continue;
    const std::size_t at = static_cast<std::size_t>(&e - entries.data());
    RecordEntry& entry = record(e.name, e.hasTime ? std::optional<std::int64_t>(e.mtimeNs) : std::nullopt,
                                at < last.size() ? last[at] : nullptr);
    met[at] = &entry;
    Record& rec = entry.second;
    if (recs) recs->push_back(&rec);
    ListItem item;
    item.icon = kind;
    if (rec.timeKnown) {
      item.modified = rec.modified;
      item.mtimeNs = rec.mtimeNs;
    } else {
      item.timePending = true;
    }
    item.name = std::move(e.name);
    items.push_back(std::move(item));
    if (keys) keys->push_back(&rec.key);
  }
  met_ = std::move(met);
  if (sawSaveTemp && removeStaleTempFiles(folder) > 0 && !rules.hideHidden) {
    // Shown hidden names: the removed temporaries leave the list too.
    std::size_t out = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].name.starts_with(kSaveTempPrefix) && !pathExists(joinPath(folder, items[i].name))) continue;
      if (keys) (*keys)[out] = (*keys)[i];
      if (recs) (*recs)[out] = (*recs)[i];
      if (out != i) items[out] = std::move(items[i]);
      ++out;
    }
    items.resize(out);
    if (keys) keys->resize(out);
    if (recs) recs->resize(out);
  }
  return items;
}

void Listing::foldKeys(const std::vector<ListItem>& items, std::vector<const std::string*>& keys,
                       std::vector<std::string>& spare) const {
  // An item that never went through a listing (inserted into the model by
  // someone else) has no record and is folded here, once.
  keys.assign(items.size(), nullptr);
  std::vector<std::size_t> missing;
  for (std::size_t i = 0; i < items.size(); ++i) {
    auto it = records_.find(items[i].name);
    if (it != records_.end())
      keys[i] = &it->second.key;
    else
      missing.push_back(i);
  }
  spare.clear();
  spare.reserve(missing.size());  // no reallocation: pointers into it stay valid
  for (std::size_t i : missing) {
    spare.push_back(foldName(items[i].name));
    keys[i] = &spare.back();
  }
}

void Listing::listFilesFull(const std::string& folder, const ListingRules& rules, bool caption) {
  ++generation_;  // what was recorded so far no longer counts as recorded
  dayOffsets_.clear();  // the zone is read afresh
  if (std::string zone = currentZone(); zone != zone_) {
    records_.clear();
    met_.clear();
    zone_ = std::move(zone);
  }
  sort_ = SortState{};
  std::vector<const std::string*> keys;
  std::vector<Record*> recs;
  std::vector<ListItem> items = readFiles(folder, rules, caption, &keys, &recs);
  pruneRecords(items.size());
  // Sorted by name as "Sort by Name" would after the reset: column 0,
  // ascending. The order depends on the names alone: the same names as the
  // last full listing take the order found then.
  sort_.column = 0;
  sort_.ascending = true;
  std::vector<std::uint32_t> order;
  if (!orderOfLastListing(recs, order)) order = fileOrder(items, keys, 0, true);
  for (std::size_t pos = 0; pos < order.size(); ++pos) {
    recs[order[pos]]->rank = static_cast<std::uint32_t>(pos);
    recs[order[pos]]->rankGeneration = generation_;
  }
  applyOrder(items, order);
  lastListed_ = items.size();
  files_.setTimeReader(this);  // the items' folder is known here
  files_.assign(std::move(items));
}

bool Listing::orderOfLastListing(const std::vector<Record*>& recs, std::vector<std::uint32_t>& order) const {
  if (recs.empty() || recs.size() != lastListed_ || recs.size() > UINT32_MAX) return false;
  constexpr std::uint32_t kFree = UINT32_MAX;
  order.assign(recs.size(), kFree);
  for (std::size_t i = 0; i < recs.size(); ++i) {
    const Record& r = *recs[i];
    if (r.rankGeneration + 1 != generation_ || r.rank >= order.size() || order[r.rank] != kFree) return false;
    order[r.rank] = static_cast<std::uint32_t>(i);
  }
  return true;  // as many names, each one of the last listing's, each at its own place
}

void Listing::listFilesInPlace(const std::string& folder, const ListingRules& rules, bool caption) {
  // Linux file systems hand entries back in no useful order (hash order on
  // ext4), so the refill keeps the list's current sort, name ascending when
  // none was chosen.
  std::vector<const std::string*> keys;
  std::vector<ListItem> items = readFiles(folder, rules, caption, &keys);
  const int column = sort_.column == 1 ? 1 : 0;
  const bool ascending = sort_.column < 0 ? true : sort_.ascending;
  if (column == 1) readTimes(items);
  applyOrder(items, fileOrder(items, keys, column, ascending));
  files_.setTimeReader(this);
  files_.assign(std::move(items));
}

void Listing::addFile(int index, const std::string& folder, const std::string& name, std::int64_t mtimeNs,
                      const ListingRules& rules) {
  if (name.empty()) return;
  const ViewerTables& tables = tablesOf(rules);
  if (!tables.passesFilter(name, rules.filter)) return;
  ListItem item;
  item.name = name;
  item.icon = tables.kindOf(name);
  if (const Record* known = current(name); known && known->timeKnown) {
    item.modified = known->modified;
    item.mtimeNs = known->mtimeNs;
  } else {
    std::optional<std::int64_t> t = mtimeNs != 0 ? std::optional<std::int64_t>(mtimeNs)
                                                 : lastWriteNs(joinPath(folder, name));
    if (t) {
      const Record& rec = record(name, *t).second;
      item.modified = rec.modified;
      item.mtimeNs = rec.mtimeNs;
    }
    // Unreadable attributes: an empty modified text, and nothing recorded.
  }
  files_.insert(index, std::move(item));
}

void Listing::sortFiles(int column) {
  if (column != 0 && column != 1) return;
  if (sort_.column == column) {
    sort_.ascending = !sort_.ascending;
  } else {
    sort_.column = column;
    sort_.ascending = true;
  }
  if (column == 1) files_.readAllTimes();
  const auto& items = files_.items();
  std::vector<const std::string*> keys;
  std::vector<std::string> spare;
  foldKeys(items, keys, spare);
  std::vector<std::uint32_t> order = fileOrder(items, keys, column, sort_.ascending);
  // The selected item keeps its selection at its new place.
  int selected = files_.selected();
  int newSelected = -1;
  std::vector<ListItem> sorted;
  sorted.reserve(items.size());
  for (std::size_t pos = 0; pos < order.size(); ++pos) {
    if (static_cast<int>(order[pos]) == selected) newSelected = static_cast<int>(pos);
    sorted.push_back(items[order[pos]]);
  }
  files_.assign(std::move(sorted));
  files_.setSelected(newSelected);
}

// ---- Navigation ----

void Listing::selectFolder(RootLocation& loc, int index, const ListingRules& rules) {
  if (!loc.inUse || index < 0 || index >= folders_.size()) return;
  const ListItem& item = folders_.at(index);
  if (isUpEntry(item)) {
    // The selected folder stays as it was; the path itself is shown.
    loc.currentFolder = loc.path;
  } else {
    std::string current = joinPath(loc.path, item.name);
    if (current.size() >= limits::kPathMax) return;
    loc.selectedFolder = item.name;
    loc.currentFolder = std::move(current);
  }
  folders_.setSelected(index);
  listFilesFull(loc.filesFolder(), rules, true);
}

void Listing::enterFolder(RootLocation& loc, int index, const ListingRules& rules) {
  if (!loc.inUse || index < 0 || index >= folders_.size()) return;
  const ListItem& item = folders_.at(index);
  std::string path;
  if (isUpEntry(item)) {
    path = parentOf(loc.path);
    if (path.empty()) return;  // a relative path without a parent: stay
  } else {
    path = joinPath(loc.path, item.name);
    if (path.size() >= limits::kPathMax) return;
  }
  loc.path = std::move(path);
  listFolders(loc.rootFolder, loc.path, rules, true);
  // A new path has no selected sub-folder yet: its own files are shown.
  loc.selectedFolder.clear();
  loc.currentFolder = loc.path;
  listFilesFull(loc.filesFolder(), rules, true);
}

// ---- Folder watch ----

bool FolderWatch::poll(const std::string& folder) {
  if (folder.empty()) {
    folder_.clear();
    return false;
  }
  std::int64_t now = lastWriteNs(folder).value_or(0);
  if (folder != folder_) {
    folder_ = folder;
    mtimeNs_ = now;
    return false;
  }
  if (now == mtimeNs_) return false;
  mtimeNs_ = now;
  return true;
}

}  // namespace vm
