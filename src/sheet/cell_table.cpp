#include "sheet/cell_table.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace vm {

namespace {

constexpr std::size_t kHugePage = 2u << 20;
// Records per block: one huge page, less a little room, so that a table of
// one block and its row arrays stays within 2 MB.
constexpr std::uint32_t kBlockCells = (kHugePage - 4096) / sizeof(CellRec);
constexpr std::size_t kArenaBlock = 1u << 20;          // bytes per arena block
constexpr std::size_t kArenaOwnBlock = kArenaBlock / 4;  // texts this long get a block of their own

}  // namespace

namespace {

bool mappedOnItsOwn(std::size_t bytes) { return bytes >= kHugePage / 2; }
std::size_t wholePages(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* allocateBig(std::size_t bytes) {
  if (!mappedOnItsOwn(bytes)) {
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
  }
  const std::size_t size = wholePages(bytes);
  if (size < bytes || size + kHugePage < size) throw std::bad_alloc();
  // Mapped with room to spare, then cut to a run that starts on a 2 MB boundary.
  void* m = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(m);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) ::munmap(m, aligned - start);
  const std::size_t tail = start + size + kHugePage - (aligned + size);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* p = reinterpret_cast<void*>(aligned);
  ::madvise(p, size, MADV_HUGEPAGE);  // a hint: without huge pages it is plain memory
  return p;
}

void BigFree::operator()(void* p) const noexcept {
  if (!p) return;
  if (mappedOnItsOwn(bytes))
    ::munmap(p, wholePages(bytes));
  else
    std::free(p);
}

void TableSource::originalPieces(std::size_t begin, std::size_t n,
                                 const std::function<void(std::string_view)>& put) const {
  const std::size_t end = begin + n;
  // The first squeezed field that ends after begin.
  auto it = std::partition_point(squeezed.begin(), squeezed.end(),
                                 [&](const SqueezedField& f) { return f.at + f.rawSize <= begin; });
  std::size_t at = begin;
  char buf[1 << 16];
  for (; it != squeezed.end() && it->at < end; ++it) {
    if (at < it->at) put(view().substr(at, it->at - at));
    // The field's bytes as read, each quote of its text twice; only the part
    // inside [begin, end) is given.
    std::size_t raw = it->at;  // offset of the next byte made
    std::size_t used = 0;
    auto emit = [&](char c) {
      if (raw >= begin && raw < end) {
        buf[used++] = c;
        if (used == sizeof buf) {
          put({buf, used});
          used = 0;
        }
      }
      ++raw;
    };
    const char* text = bytes.get() + it->at;
    for (std::size_t k = 0; k < it->textSize && raw < end; ++k) {
      emit(text[k]);
      if (text[k] == '"') emit('"');
    }
    if (used) put({buf, used});
    at = std::min(end, it->at + it->rawSize);
  }
  if (at < end) put(view().substr(at, end - at));
}

std::string TableSource::originalText(std::size_t begin, std::size_t n) const {
  std::string out;
  out.reserve(n);
  original(begin, n, [&](std::string_view piece) { out += piece; });
  return out;
}

bool TableSource::squeezedWithin(std::size_t begin, std::size_t n) const {
  auto it = std::partition_point(squeezed.begin(), squeezed.end(),
                                 [&](const SqueezedField& f) { return f.at + f.rawSize <= begin; });
  return it != squeezed.end() && it->at < begin + n;
}

void TableSource::expand(char* bytes, const SqueezedField& f) {
  // Writing never overtakes reading: what is left to write is never shorter
  // than what is left to read.
  std::size_t w = f.at + f.rawSize;
  for (std::size_t r = f.at + f.textSize; r > f.at;) {
    const char c = bytes[--r];
    bytes[--w] = c;
    if (c == '"') bytes[--w] = '"';
  }
}

const char* TextArena::add(std::string_view s) {
  if (s.size() > kArenaOwnBlock) {
    Block b;
    b.data = std::make_unique_for_overwrite<char[]>(s.size());
    b.cap = b.used = s.size();
    std::memcpy(b.data.get(), s.data(), s.size());
    blocks_.push_back(std::move(b));
    if (blocks_.size() == 1) current_ = 0;
    used_ += s.size();
    return blocks_.back().data.get();
  }
  if (blocks_.empty() || blocks_[current_].cap - blocks_[current_].used < s.size()) {
    Block b;
    b.data = std::make_unique_for_overwrite<char[]>(kArenaBlock);
    b.cap = kArenaBlock;
    blocks_.push_back(std::move(b));
    current_ = blocks_.size() - 1;
  }
  Block& b = blocks_[current_];
  char* p = b.data.get() + b.used;
  std::memcpy(p, s.data(), s.size());
  b.used += s.size();
  used_ += s.size();
  return p;
}

const char* TextArena::adopt(std::string&& s) {
  used_ += s.size();
  adopted_.push_back(std::move(s));
  return adopted_.back().data();
}

CellRec* CellTable::allocRun(std::uint32_t n, std::uint32_t& block, std::uint32_t& offset) {
  if (n == 0) {
    block = offset = 0;
    return nullptr;
  }
  if (blocks_.empty() || blocks_.back().cap - blocks_.back().used < n) {
    Block b;
    b.cap = std::max(kBlockCells, n);
    b.cells = makeBigArray<CellRec>(b.cap);
    blocks_.push_back(std::move(b));
  }
  Block& b = blocks_.back();
  block = static_cast<std::uint32_t>(blocks_.size() - 1);
  offset = b.used;
  b.used += n;
  storedCells_ += n;
  return b.cells.get() + offset;
}

CellRec CellTable::toSide(std::string_view text) {
  std::uint32_t index;
  if (!freeSide_.empty()) {
    index = freeSide_.back();
    freeSide_.pop_back();
    side_[index] = text;
  } else {
    if (side_.size() >= kSideCell) throw std::bad_alloc();  // no index left for it
    index = static_cast<std::uint32_t>(side_.size());
    side_.push_back(text);
  }
  return CellRec{index, kSideCell};  // the entry holds the size
}

void CellTable::store(const RowRec& r, CellRec& c, std::string_view text) {
  const std::size_t n = std::min(text.size(), kMaxCellBytes);
  if (n == 0) {
    c = CellRec{0, 0};
    return;
  }
  if (inSource(text)) {
    const std::size_t at = static_cast<std::size_t>(text.data() - source_.bytes.get());
    if (at >= r.start() && at - r.start() <= UINT32_MAX && n <= kMaxLineCellBytes) {
      c = CellRec{static_cast<std::uint32_t>(at - r.start()), static_cast<std::uint32_t>(n)};
      return;
    }
    c = toSide(text.substr(0, n));  // still the file's bytes: no copy
    return;
  }
  if (lent_ && text.size() > kArenaOwnBlock && text.data() == lent_->data() && text.size() == lent_->size()) {
    const char* p = arena_.adopt(std::move(*lent_));
    lent_->clear();
    c = toSide({p, n});
    return;
  }
  c = toSide({arena_.add(text.substr(0, n)), n});
}

void CellTable::forget(const CellRec& c) {
  if (!(c.size & kSideCell)) return;
  const std::string_view t = side_[c.at];
  if (!inSource(t)) deadArena_ += t.size();
  side_[c.at] = {};
  freeSide_.push_back(c.at);
}

std::size_t CellTable::beginRow(std::uint64_t lineStart) {
  RowRec r;
  if (!blocks_.empty()) {
    r.block = static_cast<std::uint32_t>(blocks_.size() - 1);
    r.offset = blocks_.back().used;
  }
  r.word = lineStart & RowRec::kStartMask;
  rows_.push_back(r);
  return rows_.size() - 1;
}

void CellTable::appendAnyToLastRow(std::string_view text) {
  RowRec& r = rows_.back();
  if (blocks_.empty() || r.block != blocks_.size() - 1 || blocks_.back().used == blocks_.back().cap ||
      r.offset + r.count != blocks_.back().used) [[unlikely]] {
    // No room behind the run: move it into a fresh block with room to grow.
    const std::uint32_t n = r.count;
    Block b;
    b.cap = std::max(kBlockCells, 2 * (n + 1));
    b.cells = makeBigArray<CellRec>(b.cap);
    if (n > 0) {
      Block& old = blocks_[r.block];
      std::memcpy(b.cells.get(), old.cells.get() + r.offset, n * sizeof(CellRec));
      if (r.offset + n == old.used) {
        old.used -= n;  // the run was the block's tail: give the room back
        storedCells_ -= n;
      } else {
        deadCells_ += n;
      }
    }
    b.used = n;
    storedCells_ += n;
    blocks_.push_back(std::move(b));
    r.block = static_cast<std::uint32_t>(blocks_.size() - 1);
    r.offset = 0;
  }
  Block& b = blocks_.back();
  store(r, b.cells[b.used], text);
  ++b.used;
  ++r.count;
  ++storedCells_;
}

RowSource CellTable::rowSource(std::size_t id) const {
  RowSource s;
  if (id >= rows_.size()) return s;
  const RowRec& r = rows_[id];
  if (!r.has(RowRec::kPresent)) return s;
  if (r.has(RowRec::kAside)) {
    s = aside_.at(id);
  } else {
    s.lead = (r.word >> RowRec::kLeadShift) & 0xFF;
    s.begin = r.start() - s.lead;
    s.size = r.lineSize;
    s.eol = static_cast<std::uint8_t>((r.word >> RowRec::kEolShift) & 3);
  }
  s.present = true;
  s.dirty = r.has(RowRec::kDirty);
  return s;
}

void CellTable::setRowSource(std::size_t id, const RowSource& s) {
  if (id >= rows_.size()) return;
  RowRec& r = rows_[id];
  const std::uint64_t start = (s.begin + s.lead) & RowRec::kStartMask;
  if (start != r.start() && r.count > 0) {
    // The row's texts were placed against another start: placed again.
    std::vector<std::string_view> texts(r.count);
    CellRec* run = blocks_[r.block].cells.get() + r.offset;
    for (std::uint32_t i = 0; i < r.count; ++i) {
      texts[i] = cellText(r, run[i]);
      forget(run[i]);
    }
    r.word = (r.word & ~RowRec::kStartMask) | start;
    for (std::uint32_t i = 0; i < r.count; ++i) store(r, run[i], texts[i]);
  }
  std::uint64_t word = start | RowRec::kPresent | (r.word & RowRec::kDeleted);
  if (s.dirty) word |= RowRec::kDirty;
  if (s.lead <= 0xFF && s.size < UINT32_MAX && s.begin + s.lead <= RowRec::kStartMask) {
    word |= s.lead << RowRec::kLeadShift;
    word |= static_cast<std::uint64_t>(s.eol & 3) << RowRec::kEolShift;
    r.lineSize = static_cast<std::uint32_t>(s.size);
    if (r.has(RowRec::kAside)) aside_.erase(id);
  } else {
    word |= RowRec::kAside;
    RowSource kept = s;
    kept.present = true;
    aside_[id] = kept;
  }
  r.word = word;
}

void CellTable::setColumnCount(int n) {
  colMap_.resize(static_cast<std::size_t>(std::max(n, 0)));
  for (std::size_t i = 0; i < colMap_.size(); ++i) colMap_[i] = static_cast<std::uint32_t>(i);
  slots_ = static_cast<std::uint32_t>(colMap_.size());
  colField_.resize(colMap_.size());
  for (std::size_t i = 0; i < colField_.size(); ++i) colField_[i] = static_cast<std::int32_t>(i);
  columnsAsRead_ = true;
}

void CellTable::setText(std::size_t id, int col, std::string_view text) {
  if (col < 0 || col >= columnCount() || id >= rows_.size()) return;
  RowRec& r = rows_[id];
  const std::uint32_t slot = colMap_[static_cast<std::size_t>(col)];
  if (slot >= r.count) {
    const std::uint32_t n = slots_;
    Block* tail = r.count > 0 ? &blocks_[r.block] : nullptr;
    if (tail && r.block == blocks_.size() - 1 && r.offset + r.count == tail->used && r.offset + n <= tail->cap) {
      // The run is the last one of the last block: grow it in place.
      for (std::uint32_t i = r.count; i < n; ++i) tail->cells[r.offset + i] = CellRec{0, 0};
      storedCells_ += n - r.count;
      tail->used = r.offset + n;
    } else {
      std::uint32_t block, offset;
      CellRec* run = allocRun(n, block, offset);
      if (r.count > 0) {
        std::memcpy(run, blocks_[r.block].cells.get() + r.offset, r.count * sizeof(CellRec));
        deadCells_ += r.count;
      }
      for (std::uint32_t i = r.count; i < n; ++i) run[i] = CellRec{0, 0};
      r.block = block;
      r.offset = offset;
    }
    r.count = n;
  }
  CellRec& c = blocks_[r.block].cells[r.offset + slot];
  // The old text may be the new one's storage (a side entry reused): stored first.
  const CellRec old = c;
  store(r, c, text);
  forget(old);
  markDirty(id);
}

std::size_t CellTable::addEmptyRow() {
  rows_.push_back(RowRec{});
  return rows_.size() - 1;
}

std::size_t CellTable::addRow(const std::vector<std::string>& texts) {
  const std::size_t id = addEmptyRow();
  const std::size_t n = std::min(texts.size(), colMap_.size());
  for (std::size_t c = 0; c < n; ++c)
    if (!texts[c].empty()) setText(id, static_cast<int>(c), texts[c]);
  return id;
}

void CellTable::markDeleted(std::size_t id) {
  RowRec& r = rows_[id];
  if (r.has(RowRec::kDeleted)) return;
  r.word |= RowRec::kDeleted;
  for (std::uint32_t i = 0; i < r.count; ++i) forget(blocks_[r.block].cells[r.offset + i]);
  deadCells_ += r.count;
  r.count = 0;
}

void CellTable::insertColumn(int col) {
  col = std::clamp(col, 0, columnCount());
  colMap_.insert(colMap_.begin() + col, slots_++);
  colField_.insert(colField_.begin() + col, -1);
  columnsAsRead_ = false;
}

void CellTable::eraseColumn(int col) {
  if (col < 0 || col >= columnCount()) return;
  const std::uint32_t slot = colMap_[static_cast<std::size_t>(col)];
  for (RowRec& r : rows_) {
    if (slot < r.count) {
      CellRec& c = blocks_[r.block].cells[r.offset + slot];
      forget(c);
      c = CellRec{0, 0};
      ++deadCells_;
    }
  }
  colMap_.erase(colMap_.begin() + col);
  colField_.erase(colField_.begin() + col);
  columnsAsRead_ = false;
}

void CellTable::compact() {
  CellTable fresh;
  fresh.setColumnCount(columnCount());
  // The source moves first: texts that point into it stay pointers.
  fresh.source_ = std::move(source_);
  fresh.aside_ = std::move(aside_);
  fresh.colField_ = colField_;
  fresh.columnsAsRead_ = columnsAsRead_;
  fresh.rows_.resize(rows_.size());
  for (std::size_t id = 0; id < rows_.size(); ++id) {
    const RowRec& r = rows_[id];
    RowRec& nr = fresh.rows_[id];
    nr.word = r.word;
    nr.lineSize = r.lineSize;
    if (r.has(RowRec::kDeleted)) continue;
    std::uint32_t n = 0;
    for (std::size_t c = 0; c < colMap_.size(); ++c)
      if (colMap_[c] < r.count) n = static_cast<std::uint32_t>(c + 1);
    CellRec* run = fresh.allocRun(n, nr.block, nr.offset);
    nr.count = n;
    for (std::uint32_t c = 0; c < n; ++c) {
      const std::uint32_t slot = colMap_[c];
      const CellRec old = slot < r.count ? blocks_[r.block].cells[r.offset + slot] : CellRec{0, 0};
      if (old.size & kSideCell)
        fresh.store(nr, run[c], side_[old.at]);  // file bytes stay where they are, others are copied
      else
        run[c] = old;  // an offset into the row's line holds as it is
    }
  }
  *this = std::move(fresh);
}
void CellTable::compactIfWasteful() {
  const bool cells = deadCells_ > 4096 && deadCells_ * 2 > storedCells_;
  const bool bytes = deadArena_ > (1u << 20) && deadArena_ * 2 > arena_.bytesUsed();
  if (cells || bytes) compact();
}

std::size_t CellTable::memoryBytes() const {
  std::size_t n = rows_.capacity() * sizeof(RowRec) + colMap_.capacity() * sizeof(std::uint32_t) +
                  colField_.capacity() * sizeof(std::int32_t) + side_.capacity() * sizeof(std::string_view) +
                  freeSide_.capacity() * sizeof(std::uint32_t) + aside_.size() * (sizeof(RowSource) + 32);
  for (const Block& b : blocks_) n += b.cap * sizeof(CellRec);
  return n + arena_.bytesUsed();
}

}  // namespace vm
