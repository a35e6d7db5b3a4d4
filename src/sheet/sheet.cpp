#include "sheet/sheet.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/text.h"
#include "sheet/csv.h"

namespace vm {

namespace {

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// True when hay holds needle, which is already case-folded.
bool containsFolded(std::string_view hay, std::string_view needle) {
  if (!isAscii(hay)) return foldCase(hay).find(needle) != std::string::npos;
  if (needle.size() > hay.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    std::size_t j = 0;
    while (j < needle.size() && lowerAscii(hay[i + j]) == needle[j]) ++j;
    if (j == needle.size()) return true;
  }
  return false;
}

// Sort item of one row, made once per sort. hi and lo hold the first 15
// bytes of the row's text folded the way compareNoCase folds ASCII,
// big-endian; the lowest byte of lo holds the flags. At the first byte that
// is not ASCII, or a NUL, the key holds 0xFF and stops: a difference at such
// a byte says nothing. Equal keys of two exact texts mean equal texts.
// Whatever the keys leave open the texts themselves settle, so every path
// gives compareNoCase's answer. pos is the row's place before the sort: it
// breaks ties, so that rows that compare equal keep their order.
struct SortItem {
  std::uint64_t hi;
  std::uint64_t lo;
  std::uint32_t id;
  std::uint32_t pos;
};
static_assert(sizeof(SortItem) == 24);

constexpr std::size_t kKeyBytes = 15;
constexpr std::uint64_t kExact = 1;  // ASCII without NUL, at most kKeyBytes long: the key is the whole text
constexpr std::uint64_t kAscii = 2;  // every byte ASCII
constexpr std::uint64_t kEmpty = 4;

SortItem sortItem(std::string_view t, std::uint32_t id, std::uint32_t pos) {
  std::uint64_t key[2] = {0, 0};
  bool exact = t.size() <= kKeyBytes;
  std::size_t i = 0;
  for (; i < std::min(t.size(), kKeyBytes); ++i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    const int shift = 56 - 8 * static_cast<int>(i % 8);
    if (c >= 0x80 || c == 0) {
      key[i / 8] |= std::uint64_t{0xFF} << shift;
      exact = false;
      break;
    }
    key[i / 8] |= std::uint64_t(static_cast<unsigned char>(lowerAscii(static_cast<char>(c)))) << shift;
  }
  bool ascii = true;
  for (char c : t) ascii &= static_cast<unsigned char>(c) < 0x80;
  const std::uint64_t flags = (exact ? kExact : 0) | (ascii ? kAscii : 0) | (t.empty() ? kEmpty : 0);
  return SortItem{key[0], key[1] | flags, id, pos};
}

// <0 or >0 from the keys alone; 0 when they say nothing more (the texts
// are then equal when both are exact).
int compareKeys(const SortItem& a, const SortItem& b) {
  std::uint64_t x = a.hi ^ b.hi, ka = a.hi, kb = b.hi;
  if (x == 0) {
    x = (a.lo ^ b.lo) & ~std::uint64_t{0xFF};
    ka = a.lo;
    kb = b.lo;
    if (x == 0) return 0;
  }
  const int shift = 56 - (std::countl_zero(x) / 8) * 8;
  const unsigned ba = (ka >> shift) & 0xFF, bb = (kb >> shift) & 0xFF;
  if (ba == 0xFF || bb == 0xFF) return 0;
  return ba < bb ? -1 : 1;
}

// compareNoCase for two ASCII texts.
int compareAsciiNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = static_cast<unsigned char>(lowerAscii(a[i]));
    const unsigned char cb = static_cast<unsigned char>(lowerAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

Sheet::Sheet() = default;
Sheet::~Sheet() = default;

// ---- State --------------------------------------------------------------------

void Sheet::aboutToChange(const SheetChange& c) {
  for (SheetObserver* o : observers_) o->sheetAboutToChange(c);
}

void Sheet::changed(const SheetChange& c) {
  for (SheetObserver* o : observers_) o->sheetChanged(c);
}

void Sheet::addObserver(SheetObserver* o) {
  if (o && std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o);
}

void Sheet::removeObserver(SheetObserver* o) { std::erase(observers_, o); }

void Sheet::setModified(bool on) {
  if (modified_ == on) return;
  SheetChange c{SheetChange::Kind::ModifiedChanged};
  aboutToChange(c);
  modified_ = on;
  changed(c);
}

void Sheet::touch() { setModified(true); }

void Sheet::clearState() {
  table_ = CellTable();
  order_.clear();
  order_.shrink_to_fit();
  path_.clear();
  delimiter_ = ',';
  open_ = false;
  modified_ = false;
  titleOn_ = false;
  sortingOn_ = false;
  sortCol_ = -1;
  sortDesc_ = false;
  widths_.clear();
  clipboard_.clear();
  grouped_ = false;
  groupCol_ = -1;
  groupIdCounter_ = kGroupIdCounterStart;
  allCollapsed_ = false;
  groups_.clear();
  groupIndex_.clear();
  groupOf_.clear();
  utf8Out_ = false;
  displayDirty_ = viewIndexDirty_ = true;
}

void Sheet::adopt(CellTable&& table, const std::string& path, char delimiter, bool titleOn, bool sortingOn,
                  std::vector<int> widths) {
  SheetChange c{SheetChange::Kind::Reset};
  aboutToChange(c);
  clearState();
  table_ = std::move(table);
  path_ = path;
  delimiter_ = delimiter;
  titleOn_ = titleOn;
  sortingOn_ = sortingOn;
  const std::size_t first = titleOn_ ? 1 : 0;
  order_.reserve(table_.rowCount() > first ? table_.rowCount() - first : 0);
  for (std::size_t id = first; id < table_.rowCount(); ++id) order_.push_back(static_cast<std::uint32_t>(id));
  widths_ = std::move(widths);
  widths_.resize(static_cast<std::size_t>(table_.columnCount()), 0);
  open_ = true;
  changed(c);
}

void Sheet::discard() {
  if (!open_ && order_.empty()) return;
  SheetChange c{SheetChange::Kind::Reset};
  aboutToChange(c);
  clearState();
  changed(c);
}

// ---- Reading --------------------------------------------------------------------

std::string_view Sheet::text(int viewRow, int col) const {
  if (viewRow < 0 || viewRow >= rowCount()) return {};
  return table_.text(order_[static_cast<std::size_t>(viewRow)], col);
}

std::string Sheet::headerTitle(int col) const {
  if (col < 0 || col >= columnCount()) return {};
  if (titleOn_ && table_.rowCount() > 0) {
    std::string_view t = table_.text(0, col);
    if (!t.empty()) return std::string(t);
  }
  if (static_cast<std::size_t>(col) < kColumnLetters.size()) return std::string(1, kColumnLetters[static_cast<std::size_t>(col)]);
  return {};
}

void Sheet::ensureViewIndex() const {
  if (!viewIndexDirty_) return;
  viewOf_.assign(table_.rowCount(), -1);
  for (std::size_t v = 0; v < order_.size(); ++v) viewOf_[order_[v]] = static_cast<std::int32_t>(v);
  viewIndexDirty_ = false;
}

int Sheet::viewRowOfKey(std::uint32_t key) const {
  ensureViewIndex();
  return key < viewOf_.size() ? viewOf_[key] : -1;
}

int Sheet::columnWidth(int col) const {
  if (col < 0 || col >= static_cast<int>(widths_.size())) return 0;
  return widths_[static_cast<std::size_t>(col)];
}

void Sheet::setColumnWidth(int col, int px) {
  if (col >= 0 && col < static_cast<int>(widths_.size())) widths_[static_cast<std::size_t>(col)] = std::max(px, 0);
}

std::string Sheet::columnWidthsText() const {
  constexpr std::size_t kMax = 259;  // the length read back at opening
  std::string out;
  for (std::size_t i = 0; i < widths_.size(); ++i) {
    std::string item = (i ? "," : "") + std::to_string(widths_[i]);
    if (out.size() + item.size() > kMax) break;
    out += item;
  }
  return out;
}

// ---- Display rows ---------------------------------------------------------------

void Sheet::ensureDisplay() const {
  if (!displayDirty_) return;
  display_.clear();
  displayOf_.clear();
  headerAt_.assign(groups_.size(), -1);
  groupRows_.assign(groups_.size(), 0);
  if (grouped_) {
    for (std::uint32_t id : order_) {
      int g = id < groupOf_.size() ? groupOf_[id] : -1;
      if (g >= 0) ++groupRows_[static_cast<std::size_t>(g)];
    }
    std::vector<std::int32_t> next(groups_.size(), 0);
    std::int32_t n = 0;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      if (groupRows_[g] == 0) continue;  // a group without rows shows no header
      headerAt_[g] = n++;
      next[g] = n;
      if (!groups_[g].collapsed) n += groupRows_[g];
    }
    display_.resize(static_cast<std::size_t>(n));
    displayOf_.assign(order_.size(), -1);
    for (std::size_t g = 0; g < groups_.size(); ++g)
      if (headerAt_[g] >= 0) display_[static_cast<std::size_t>(headerAt_[g])] = -static_cast<std::int32_t>(g) - 1;
    for (std::size_t v = 0; v < order_.size(); ++v) {
      int g = order_[v] < groupOf_.size() ? groupOf_[order_[v]] : -1;
      if (g < 0 || groups_[static_cast<std::size_t>(g)].collapsed) continue;
      std::int32_t at = next[static_cast<std::size_t>(g)]++;
      display_[static_cast<std::size_t>(at)] = static_cast<std::int32_t>(v);
      displayOf_[v] = at;
    }
  }
  displayDirty_ = false;
}

int Sheet::displayRowCount() const {
  if (!grouped_) return rowCount();
  ensureDisplay();
  return static_cast<int>(display_.size());
}

DisplayRow Sheet::displayRow(int i) const {
  if (!grouped_) return (i >= 0 && i < rowCount()) ? DisplayRow{-1, i} : DisplayRow{};
  ensureDisplay();
  if (i < 0 || i >= static_cast<int>(display_.size())) return {};
  std::int32_t d = display_[static_cast<std::size_t>(i)];
  if (d < 0) return {-d - 1, -1};
  return {groupOf_[order_[static_cast<std::size_t>(d)]], d};
}

int Sheet::displayRowOf(int viewRow) const {
  if (viewRow < 0 || viewRow >= rowCount()) return -1;
  if (!grouped_) return viewRow;
  ensureDisplay();
  return displayOf_[static_cast<std::size_t>(viewRow)];
}

int Sheet::groupRowCount(int g) const {
  if (g < 0 || g >= groupCount()) return 0;
  ensureDisplay();
  return groupRows_[static_cast<std::size_t>(g)];
}

int Sheet::groupOfViewRow(int viewRow) const {
  if (!grouped_ || viewRow < 0 || viewRow >= rowCount()) return -1;
  std::uint32_t id = order_[static_cast<std::size_t>(viewRow)];
  return id < groupOf_.size() ? groupOf_[id] : -1;
}

// ---- Cell edits -------------------------------------------------------------------

bool Sheet::setText(int viewRow, int col, std::string_view text) {
  if (!open_ || viewRow < 0 || viewRow >= rowCount() || col < 0 || col >= columnCount()) return false;
  const std::uint32_t id = order_[static_cast<std::size_t>(viewRow)];
  if (table_.text(id, col) == text) return false;
  SheetChange c{SheetChange::Kind::CellChanged, displayRowOf(viewRow), 1, col};
  aboutToChange(c);
  table_.setText(id, col, text);
  table_.compactIfWasteful();
  changed(c);
  touch();
  return true;
}

// ---- Sorting ------------------------------------------------------------------------

bool Sheet::sortBy(int col, bool blankAtBottom) {
  if (!open_ || !sortingOn_ || col < 0 || col >= columnCount()) return false;
  const bool desc = col == sortCol_ ? !sortDesc_ : false;
  sortCol_ = col;
  sortDesc_ = desc;

  // Items are made going through the rows in storage order, which reads the
  // cells and their bytes front to back; in view order (after an earlier
  // sort) every row would be a few cache misses.
  ensureViewIndex();
  std::vector<SortItem> items;
  items.reserve(order_.size());
  for (std::size_t id = 0; id < viewOf_.size(); ++id) {
    // Records a little ahead, their texts a little less far: each row's
    // bytes are then on their way before they are read.
    table_.prefetch(id + 32, col, CellTable::Fetch::Cell);
    table_.prefetch(id + 16, col, CellTable::Fetch::Text);
    if (viewOf_[id] >= 0)
      items.push_back(sortItem(table_.text(id, col), static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(viewOf_[id])));
  }
  auto compare = [&](const SortItem& a, const SortItem& b) {
    if (int k = compareKeys(a, b)) return k;
    if (a.lo & b.lo & kExact) return 0;
    const std::string_view ta = table_.text(a.id, col), tb = table_.text(b.id, col);
    return (a.lo & b.lo & kAscii) ? compareAsciiNoCase(ta, tb) : compareNoCase(ta, tb);
  };
  std::sort(items.begin(), items.end(), [&](const SortItem& a, const SortItem& b) {
    if (blankAtBottom && ((a.lo ^ b.lo) & kEmpty)) return (b.lo & kEmpty) != 0;
    const int r = compare(a, b);
    if (r != 0) return desc ? r > 0 : r < 0;
    return a.pos < b.pos;
  });

  SheetChange c{SheetChange::Kind::Layout};
  aboutToChange(c);
  for (std::size_t i = 0; i < items.size(); ++i) order_[i] = items[i].id;
  viewIndexDirty_ = displayDirty_ = true;
  changed(c);
  return true;
}

// ---- Grouping -------------------------------------------------------------------------

int Sheet::groupNamed(std::string_view name) {
  name = cutUtf8View(name.empty() ? kNoGroupName : name, kGroupNameMax);
  if (auto it = groupIndex_.find(name); it != groupIndex_.end()) return it->second;
  SheetGroup g;
  g.name = std::string(name);
  g.id = ++groupIdCounter_;
  groups_.push_back(g);
  const int index = static_cast<int>(groups_.size()) - 1;
  groupIndex_.emplace(groups_.back().name, index);
  return index;
}

bool Sheet::groupBy(int col) {
  if (!open_ || col < 0 || col >= columnCount()) return false;
  SheetChange c{SheetChange::Kind::Reset};
  aboutToChange(c);
  groups_.clear();
  groupIndex_.clear();
  groupIdCounter_ = kGroupIdCounterStart;
  groupCol_ = col;
  groupOf_.assign(table_.rowCount(), -1);
  for (std::size_t v = 0; v < order_.size(); ++v) {
    // Rows in view order lie anywhere in the store: three steps ahead.
    if (v + 48 < order_.size()) table_.prefetch(order_[v + 48], col, CellTable::Fetch::Row);
    if (v + 32 < order_.size()) table_.prefetch(order_[v + 32], col, CellTable::Fetch::Cell);
    if (v + 16 < order_.size()) table_.prefetch(order_[v + 16], col, CellTable::Fetch::Text);
    groupOf_[order_[v]] = groupNamed(table_.text(order_[v], col));
  }
  grouped_ = true;
  allCollapsed_ = false;
  displayDirty_ = true;
  changed(c);
  return true;
}

void Sheet::ungroup() {
  if (!grouped_) return;
  SheetChange c{SheetChange::Kind::Reset};
  aboutToChange(c);
  grouped_ = false;
  groups_.clear();
  groupIndex_.clear();
  groupOf_.clear();
  groupIdCounter_ = kGroupIdCounterStart;
  groupCol_ = -1;
  allCollapsed_ = false;
  displayDirty_ = true;
  changed(c);
}

void Sheet::collapseAll() { setAllCollapsed(true); }

void Sheet::expandAll() { setAllCollapsed(false); }

void Sheet::setAllCollapsed(bool collapsed) {
  if (!grouped_) return;
  SheetChange c{SheetChange::Kind::Reset};
  aboutToChange(c);
  for (SheetGroup& g : groups_) g.collapsed = collapsed;
  allCollapsed_ = collapsed;
  displayDirty_ = true;
  changed(c);
}

bool Sheet::setGroupCollapsed(int g, bool collapsed) {
  if (!grouped_ || g < 0 || g >= groupCount()) return false;
  SheetGroup& group = groups_[static_cast<std::size_t>(g)];
  if (group.collapsed == collapsed) return false;
  ensureDisplay();
  const int header = headerAt_[static_cast<std::size_t>(g)];
  const int rows = groupRows_[static_cast<std::size_t>(g)];
  if (header < 0 || rows == 0) {
    group.collapsed = collapsed;
    displayDirty_ = true;
    return true;
  }
  SheetChange c{collapsed ? SheetChange::Kind::RowsRemoved : SheetChange::Kind::RowsInserted, header + 1, rows};
  aboutToChange(c);
  group.collapsed = collapsed;
  displayDirty_ = true;
  changed(c);
  return true;
}

// ---- Rows -----------------------------------------------------------------------------

int Sheet::insertAt(int clickedViewRow) const {
  return (clickedViewRow >= 0 && clickedViewRow < rowCount()) ? clickedViewRow + 1 : rowCount();
}

// The clicked row's text in the grouped column: it names the group a row
// inserted there joins ("No group" when empty or nothing was clicked).
std::string Sheet::clickedGroupText(int clickedViewRow) const {
  if (groupCol_ < 0 || clickedViewRow < 0 || clickedViewRow >= rowCount()) return {};
  return std::string(text(clickedViewRow, groupCol_));
}

// Puts row id at view row p; while grouped, into group g.
void Sheet::placeNewRow(std::size_t id, int p, int group) {
  // Ungrouped, the display rows are the view rows: one row comes in at p.
  SheetChange c = grouped_ ? SheetChange{SheetChange::Kind::Reset}
                           : SheetChange{SheetChange::Kind::RowsInserted, p, 1};
  aboutToChange(c);
  order_.insert(order_.begin() + p, static_cast<std::uint32_t>(id));
  if (grouped_) {
    groupOf_.resize(table_.rowCount(), -1);
    groupOf_[id] = group;
  }
  viewIndexDirty_ = displayDirty_ = true;
  changed(c);
  touch();
}

int Sheet::insertRow(int clickedViewRow) {
  if (!open_) return -1;
  const int p = insertAt(clickedViewRow);
  const std::size_t id = table_.addEmptyRow();
  int g = -1;
  if (grouped_) {
    const std::string groupText = clickedGroupText(clickedViewRow);
    if (!groupText.empty()) table_.setText(id, groupCol_, groupText);
    g = groupNamed(groupText);
  }
  placeNewRow(id, p, g);
  return p;
}

void Sheet::afterRowRemoval() {
  viewIndexDirty_ = displayDirty_ = true;
  table_.compactIfWasteful();
}

bool Sheet::deleteRow(int viewRow) {
  if (!open_ || viewRow < 0 || viewRow >= rowCount()) return false;
  SheetChange c = grouped_ ? SheetChange{SheetChange::Kind::Reset}
                           : SheetChange{SheetChange::Kind::RowsRemoved, viewRow, 1};
  aboutToChange(c);
  const std::uint32_t id = order_[static_cast<std::size_t>(viewRow)];
  order_.erase(order_.begin() + viewRow);
  table_.markDeleted(id);
  if (id < groupOf_.size()) groupOf_[id] = -1;
  afterRowRemoval();
  changed(c);
  touch();
  return true;
}

bool Sheet::cutRow(int viewRow) {
  if (!open_ || viewRow < 0 || viewRow >= rowCount()) return false;
  const int n = std::min(columnCount(), static_cast<int>(kRowClipboardTexts));
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(n));
  for (int c = 0; c < n; ++c) texts.emplace_back(text(viewRow, c));
  clipboard_ = std::move(texts);
  return deleteRow(viewRow);
}

int Sheet::pasteRow(int clickedViewRow) {
  if (!open_ || clipboard_.empty()) return -1;
  const int p = insertAt(clickedViewRow);
  std::vector<std::string> texts = std::move(clipboard_);
  clipboard_.clear();
  // A row whose first text is the blank-row marker keeps nothing else.
  if (equalsNoCase(texts.front(), kBlankCellMarker)) texts.resize(1);
  const std::size_t id = table_.addRow(texts);
  int g = -1;
  if (grouped_) {
    g = groupNamed(clickedGroupText(clickedViewRow));
  }
  placeNewRow(id, p, g);
  return p;
}

// ---- Columns ---------------------------------------------------------------------------

bool Sheet::insertColumn(int col, int width) {
  if (!open_ || col < 0 || col > columnCount()) return false;
  SheetChange c{SheetChange::Kind::ColumnsInserted, col, 1};
  aboutToChange(c);
  table_.insertColumn(col);
  widths_.insert(widths_.begin() + col, std::max(width, 0));
  if (sortCol_ >= col) ++sortCol_;
  if (groupCol_ >= col) ++groupCol_;
  changed(c);
  touch();
  return true;
}

bool Sheet::deleteColumn(int col) {
  if (!open_ || col < 0 || col >= columnCount()) return false;
  SheetChange c{SheetChange::Kind::ColumnsRemoved, col, 1};
  aboutToChange(c);
  table_.eraseColumn(col);
  table_.compactIfWasteful();
  widths_.erase(widths_.begin() + col);
  if (sortCol_ == col) {
    sortCol_ = -1;
    sortDesc_ = false;
  } else if (sortCol_ > col) {
    --sortCol_;
  }
  // The groups stay as they are; rows inserted later go to "No group".
  if (groupCol_ == col) {
    groupCol_ = -1;
  } else if (groupCol_ > col) {
    --groupCol_;
  }
  changed(c);
  touch();
  return true;
}

// ---- Find -------------------------------------------------------------------------------

std::optional<CellPos> Sheet::find(std::string_view needle, std::optional<CellPos> after) const {
  const std::uint64_t rows = static_cast<std::uint64_t>(rowCount());
  const std::uint64_t cols = static_cast<std::uint64_t>(columnCount());
  if (!open_ || needle.empty() || rows == 0 || cols == 0) return std::nullopt;
  const std::string folded = foldCase(needle);
  const std::uint64_t total = rows * cols;
  std::uint64_t start = 0;
  if (after) {
    std::uint64_t r = static_cast<std::uint64_t>(std::clamp<std::int64_t>(after->row, 0, static_cast<std::int64_t>(rows) - 1));
    std::uint64_t c = static_cast<std::uint64_t>(std::clamp<std::int64_t>(after->col, 0, static_cast<std::int64_t>(cols) - 1));
    start = (r * cols + c + 1) % total;
  }
  std::uint64_t r = start / cols, c = start % cols;
  for (std::uint64_t k = 0; k < total; ++k) {
    if (containsFolded(table_.text(order_[r], static_cast<int>(c)), folded))
      return CellPos{static_cast<int>(r), static_cast<int>(c)};
    if (++c == cols) {
      c = 0;
      if (++r == rows) r = 0;
    }
  }
  return std::nullopt;
}

}  // namespace vm
