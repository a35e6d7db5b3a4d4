#pragma once
// Cell store of a sheet: every cell is an 8-byte record kept in large
// blocks, and a row is a contiguous run of records inside one block. Nothing
// is allocated per cell, and (row, column) finds its text in O(1).
//
// A table read from a file keeps the file's bytes (its source) and, per row,
// where the row's line lies in them. A cell whose text is the file's bytes
// as they stand (a quoted field reduced in place included) holds only where
// its text starts within its row's line and its size. Any other text (typed,
// decoded from Windows-1252, reduced into a copy, or out of reach of those
// 32-bit numbers) is an entry of the table's side list, which points into
// the source, the text arena or a text taken over whole; the record then
// holds the entry's index, flagged by the top bit of its size.
//
// Columns go through a map from data column to physical slot, so inserting or
// deleting a column touches the map only: an inserted column gets a fresh
// slot that no row has yet (it reads as empty), a deleted column's slot is
// dropped from the map. A row that must hold a slot beyond its run is moved
// to a new run at the end; runs left behind are counted as dead and the whole
// table is compacted once more than half of it is dead.
//
// Saving writes a row nobody touched from its source, byte for byte.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace vm {

// Large buffers (a file's bytes, blocks of cell records) are asked for in
// whole 2 MB pieces the system may back with huge pages: filling them then
// takes one page fault per 2 MB instead of one per 4 KB, which is most of the
// time a first open of a big file costs. Those under 1 MB are plain allocations.
// The big ones are mapped on their own, so that dropping one gives its
// memory back to the system at once.
void* allocateBig(std::size_t bytes);  // throws std::bad_alloc when there is no memory
struct BigFree {
  std::size_t bytes = 0;  // as asked of allocateBig
  void operator()(void* p) const noexcept;
};
template <class T>
using BigArray = std::unique_ptr<T[], BigFree>;
template <class T>
BigArray<T> makeBigArray(std::size_t n) {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
  return BigArray<T>(static_cast<T*>(allocateBig(n * sizeof(T))), BigFree{n * sizeof(T)});
}

// Asks the cache for the line holding p. (GCC drops a __builtin_prefetch
// behind some conditions; on x86 the instruction is written out.)
inline void prefetchLine(const void* p) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
  __builtin_prefetch(p);
#endif
}

// Longest text one cell can hold; a longer field is cut.
inline constexpr std::size_t kMaxCellBytes = 0xFFFFFFF0u;

// One cell. A text of the file's bytes: `at` is where it starts within its
// row's line, `size` its length. With kSideCell set in size, `at` is an
// index into the table's side list. An empty text is {0, 0}.
struct CellRec {
  std::uint32_t at;
  std::uint32_t size;
};
static_assert(sizeof(CellRec) == 8);
inline constexpr std::uint32_t kSideCell = 0x80000000u;
// Longest text a record can hold as an offset and size.
inline constexpr std::size_t kMaxLineCellBytes = kSideCell - 1;

// Byte arena for texts that are not the file's bytes: large blocks that
// never move, so a text's address stays valid until the arena is dropped.
class TextArena {
 public:
  const char* add(std::string_view s);
  // Takes a long text over without copying it; its address is returned.
  const char* adopt(std::string&& s);
  std::size_t bytesUsed() const { return used_; }

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t cap = 0;
    std::size_t used = 0;
  };
  std::vector<Block> blocks_;
  std::vector<std::string> adopted_;  // long texts taken over whole (their bytes never move)
  std::size_t current_ = 0;  // block that takes small additions
  std::size_t used_ = 0;
};

// s cut to at most n bytes without splitting a UTF-8 sequence (cutUtf8
// without the copy).
inline std::string_view cutUtf8View(std::string_view s, std::size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Where a row's line lies in the source: lead bytes of empty lines before
// it, then its content, then its line end (0 none, 1 LF, 2 CR LF).
struct RowSource {
  std::uint64_t begin = 0;  // start of the lead
  std::uint64_t lead = 0;
  std::uint64_t size = 0;   // content bytes
  std::uint8_t eol = 0;
  bool present = false;     // the row came from the file
  bool dirty = false;       // a cell of it was set since: it is written cell by cell
};

// A quoted field whose pairs of double quotes were reduced where they lay:
// its text now fills [at, at + textSize) of the bytes, and the bytes read
// there were rawSize long, the text with every double quote doubled.
struct SqueezedField {
  std::size_t at = 0;
  std::size_t rawSize = 0;
  std::size_t textSize = 0;
};

// The bytes of the file a table was read from.
struct TableSource {
  BigArray<char> bytes;
  std::size_t size = 0;
  std::size_t tailBegin = 0;  // bytes after the last row (empty lines, text after a NUL)
  bool bom = false;           // the file began with EF BB BF, which is not part of any cell
  bool lastRowEol = true;     // the last row read ended with a line end
  std::uint8_t eol = 1;       // line end of the first line that has one: 1 LF, 2 CR LF
  bool legacy = false;        // read as Windows-1252; cell texts are its UTF-8 decoding
  bool blankFirstLine = false;  // the first line was empty: row 0 holds the blank-cell marker
  std::vector<SqueezedField> squeezed;  // in the order of the bytes, none overlapping
  std::string_view view() const { return {bytes.get(), size}; }

  // Calls put with the bytes [begin, begin + n) as they were read, piece by
  // piece in order (squeezed fields come back doubled).
  template <class Put>
  void original(std::size_t begin, std::size_t n, Put&& put) const {
    if (squeezed.empty()) {
      put(view().substr(begin, n));
      return;
    }
    originalPieces(begin, n, std::function<void(std::string_view)>(std::forward<Put>(put)));
  }
  // The bytes [begin, begin + n) as they were read, as one text.
  std::string originalText(std::size_t begin, std::size_t n) const;
  // True when a squeezed field lies in [begin, begin + n).
  bool squeezedWithin(std::size_t begin, std::size_t n) const;
  // Puts a squeezed field's bytes back as they were read; the text it held
  // there is gone. Works in place, from the end backwards.
  static void expand(char* bytes, const SqueezedField& f);

 private:
  void originalPieces(std::size_t begin, std::size_t n, const std::function<void(std::string_view)>& put) const;
};

// One row: where its run of cells is, how many cells it stores, and where
// its line lies in the source. The start of the line's content, the lead and
// the flags share one word; a row whose lead or content does not fit (over
// 255 lead bytes, 4 GB of content) keeps its whole RowSource aside.
struct RowRec {
  static constexpr std::uint64_t kStartMask = (std::uint64_t{1} << 48) - 1;
  static constexpr int kLeadShift = 48;
  static constexpr int kEolShift = 56;            // 2 bits
  static constexpr std::uint64_t kPresent = std::uint64_t{1} << 58;
  static constexpr std::uint64_t kDirty = std::uint64_t{1} << 59;
  static constexpr std::uint64_t kDeleted = std::uint64_t{1} << 60;
  static constexpr std::uint64_t kAside = std::uint64_t{1} << 61;  // the RowSource is kept aside

  std::uint32_t block = 0;
  std::uint32_t offset = 0;
  std::uint32_t count = 0;     // physical slots stored; slots beyond read as empty
  std::uint32_t lineSize = 0;  // content bytes of its line (when not aside)
  std::uint64_t word = 0;

  std::uint64_t start() const { return word & kStartMask; }  // content start in the source
  bool has(std::uint64_t flag) const { return (word & flag) != 0; }
};
static_assert(sizeof(RowRec) == 24);

class CellTable {
 public:
  CellTable() = default;
  CellTable(CellTable&&) noexcept = default;
  CellTable& operator=(CellTable&&) noexcept = default;

  // ---- shape
  int columnCount() const { return static_cast<int>(colMap_.size()); }
  std::size_t rowCount() const { return rows_.size(); }  // every row ever made, deleted ones too
  const RowRec& row(std::size_t id) const { return rows_[id]; }
  bool isDeleted(std::size_t id) const { return rows_[id].has(RowRec::kDeleted); }

  // Text of (row id, data column); "" for a missing cell or an out-of-range column.
  std::string_view text(std::size_t id, int col) const {
    if (col < 0 || col >= columnCount()) return {};
    const RowRec& r = rows_[id];
    const std::uint32_t slot = colMap_[static_cast<std::size_t>(col)];
    if (slot >= r.count) return {};
    return cellText(r, blocks_[r.block].cells[r.offset + slot]);
  }
  // Asks the cache for what reading (row id, data column) will need, one
  // step of three: the row's record, the cell's record (the row's record
  // should be there by then), the start of its text (the cell's record should
  // be there). For passes over many rows, each step some rows ahead.
  enum class Fetch { Row, Cell, Text };
  void prefetch(std::size_t id, int col, Fetch what) const {
    if (id >= rows_.size() || col < 0 || col >= columnCount()) return;
    const RowRec& r = rows_[id];
    if (what == Fetch::Row) {
      prefetchLine(&r);
      return;
    }
    const std::uint32_t slot = colMap_[static_cast<std::size_t>(col)];
    if (slot >= r.count) return;
    const CellRec* c = &blocks_[r.block].cells[r.offset + slot];
    if (what == Fetch::Cell)
      prefetchLine(c);
    else if (!(c->size & kSideCell) && c->size)
      prefetchLine(source_.bytes.get() + r.start() + c->at);
  }
  // Text of one record of row r.
  std::string_view cellText(const RowRec& r, CellRec c) const {
    if (c.size & kSideCell) return side_[c.at];
    if (c.size == 0) return {};
    return {source_.bytes.get() + r.start() + c.at, c.size};
  }

  // ---- building (used by the reader, rows in file order)
  // Starts a new row at the end whose line's content begins at lineStart in
  // the source; returns its id.
  std::size_t beginRow(std::uint64_t lineStart = 0);
  // Appends one cell to the last row, relocating its run when the block is full.
  // A text inside the source is referred to, not copied.
  void appendToLastRow(std::string_view text) {
    // The common case inline: file bytes of the row's line, room behind the run.
    RowRec& r = rows_.back();
    if (!blocks_.empty()) {
      Block& b = blocks_.back();
      const char* line = source_.bytes.get() + r.start();
      if (r.block + 1 == blocks_.size() && b.used < b.cap && r.offset + r.count == b.used && !text.empty() &&
          text.data() >= line && text.data() + text.size() <= source_.bytes.get() + source_.size &&
          text.size() <= kMaxLineCellBytes && static_cast<std::size_t>(text.data() - line) <= UINT32_MAX) {
        b.cells[b.used++] = CellRec{static_cast<std::uint32_t>(text.data() - line), static_cast<std::uint32_t>(text.size())};
        ++r.count;
        ++storedCells_;
        return;
      }
    }
    appendAnyToLastRow(text);
  }
  // While reading: a long text stored from *s (the reader's scratch text) is
  // taken over rather than copied, so that a huge field is held once. Null
  // when the reading ends.
  void lendScratch(std::string* s) { lent_ = s; }
  // The bytes the table is read from; texts may point into them from then on.
  void adoptSource(TableSource&& src) { source_ = std::move(src); }
  const TableSource& source() const { return source_; }
  TableSource& source() { return source_; }
  // Where row id lies in the source (present false for rows made later).
  RowSource rowSource(std::size_t id) const;
  // Notes where row id (0 <= id < rowCount()) lies in the source.
  void setRowSource(std::size_t id, const RowSource& s);
  // Data column col -> the field of the row's line it was read from, or -1
  // for a column inserted since.
  std::int64_t sourceField(int col) const {
    if (col < 0 || col >= static_cast<int>(colField_.size())) return -1;
    return colField_[static_cast<std::size_t>(col)];
  }
  // True when the data columns are the fields read, in order: no column was
  // inserted or deleted since.
  bool columnsAsRead() const { return columnsAsRead_; }
  // Room for n rows in all, so a long load does not regrow the row array.
  void reserveRows(std::size_t n) { rows_.reserve(n); }
  // Fixes the column count after the first line: slots 0..n-1 in order.
  void setColumnCount(int n);

  // ---- editing
  // Sets a cell's text, giving the row room for the slot when it has none.
  void setText(std::size_t id, int col, std::string_view text);
  // A new row holding these texts for data columns 0, 1, ...; returns its id.
  std::size_t addRow(const std::vector<std::string>& texts);
  std::size_t addEmptyRow();
  void markDeleted(std::size_t id);
  void insertColumn(int col);  // 0 <= col <= columnCount()
  void eraseColumn(int col);   // 0 <= col < columnCount()

  // Rebuilds the blocks, side list and arena with only live cells, in column order.
  void compact();
  // Compacts when more than half of the stored cells or arena bytes are dead.
  void compactIfWasteful();

  std::size_t memoryBytes() const;
  // Entries of the side list in use (texts not held as offsets into their line).
  std::size_t sideTexts() const { return side_.size() - freeSide_.size(); }

 private:
  struct Block {
    BigArray<CellRec> cells;
    std::uint32_t cap = 0;
    std::uint32_t used = 0;
  };
  void appendAnyToLastRow(std::string_view text);
  // Room for n contiguous cells; sets block and offset. The cells are not initialised.
  CellRec* allocRun(std::uint32_t n, std::uint32_t& block, std::uint32_t& offset);
  // Stores text in c, a record of row r.
  void store(const RowRec& r, CellRec& c, std::string_view text);
  CellRec toSide(std::string_view text);
  bool inSource(std::string_view text) const {
    return source_.bytes && text.data() >= source_.bytes.get() &&
           text.data() + text.size() <= source_.bytes.get() + source_.size;
  }
  void markDirty(std::size_t id) { rows_[id].word |= RowRec::kDirty; }
  void forget(const CellRec& c);  // a cell's text is dropped: its side entry is freed

  std::vector<Block> blocks_;
  TextArena arena_;
  std::vector<std::string_view> side_;      // texts of side cells
  std::vector<std::uint32_t> freeSide_;     // side entries free for reuse
  std::vector<RowRec> rows_;
  std::unordered_map<std::size_t, RowSource> aside_;  // rows whose line does not fit their record
  std::vector<std::uint32_t> colMap_;  // data column -> physical slot
  std::uint32_t slots_ = 0;            // physical slots handed out so far
  std::size_t storedCells_ = 0;        // cells in runs, live or dead
  std::size_t deadCells_ = 0;
  std::size_t deadArena_ = 0;
  TableSource source_;
  std::string* lent_ = nullptr;
  std::vector<std::int32_t> colField_;  // data column -> field of the file's lines, -1 none
  bool columnsAsRead_ = true;
};

}  // namespace vm
