#include "sheet/csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <vector>

#include "platform/fs.h"
#include "platform/ports.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr std::size_t kReadChunk = 1u << 20;  // bytes read between two pump steps
constexpr auto kProgressDelay = std::chrono::milliseconds(300);
constexpr std::size_t kMaxReservedRows = 1u << 24;  // beyond this the row array grows as it fills

enum class Tok { Field, LastOfLine, LastOfInput, LineEnd, End, NeedMore };

// Splits bytes into tokens. When a token runs past the end of the bytes seen
// so far, next() answers NeedMore and remembers how far it looked, so that
// the caller can add bytes behind the unread rest and ask again without the
// token being scanned twice.
class Tokenizer {
 public:
  explicit Tokenizer(char delimiter) : d_(delimiter) {
    stopPlain_.fill(0);
    stopPlain_[static_cast<unsigned char>(delimiter)] = 1;
    stopPlain_['\n'] = 1;
    stopPlain_[0] = 1;
    stopPlain_['"'] = 1;
    stopQuoted_.fill(0);
    stopQuoted_['"'] = 1;
    stopQuoted_[0] = 1;
  }

  // p is the start of the next token; on a complete token it moves past it.
  Tok next(const char*& p, const char* end, bool eof, std::string_view& text, bool& quotes) {
    const char* s = p;
    if (state_ == State::Start) {
      if (s == end) return eof ? Tok::End : Tok::NeedMore;
      const char c = *s;
      if (c == '\0') return Tok::End;
      if (c == '\n') {
        p = s + 1;
        return Tok::LineEnd;
      }
      if (c == '\r') {
        if (s + 1 == end && !eof) return Tok::NeedMore;
        if (s + 1 < end && s[1] == '\n') {
          p = s + 2;
          return Tok::LineEnd;
        }
      }
      const char* q = s + pos_;
      while (q < end && *q == ' ') ++q;
      if (q == end && !eof) {
        pos_ = static_cast<std::size_t>(q - s);
        return Tok::NeedMore;
      }
      quotes_ = false;
      if (q < end && *q == '"') {
        state_ = State::Quoted;
        ++q;
      } else {
        state_ = State::Plain;
      }
      fieldStart_ = pos_ = static_cast<std::size_t>(q - s);
    }

    const char* q = s + pos_;
    const char* field = s + fieldStart_;
    if (state_ == State::Plain) {
      for (;;) {
        while (q < end && !stopPlain_[static_cast<unsigned char>(*q)]) ++q;
        if (q < end && *q == '"') {
          quotes_ = true;
          ++q;
          continue;
        }
        break;
      }
      if (q == end && !eof) return needMore(s, q);
      text = {field, static_cast<std::size_t>(q - field)};
      quotes = quotes_;
      reset();
      if (q == end || *q == '\0') {
        p = q;  // a NUL stays in front: the next token is the end
        return Tok::LastOfInput;
      }
      if (*q == '\n') {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        p = q + 1;
        return Tok::LastOfLine;
      }
      p = q + 1;  // the delimiter
      return Tok::Field;
    }

    // Quoted field.
    for (;;) {
      while (q < end && !stopQuoted_[static_cast<unsigned char>(*q)]) ++q;
      if (q == end || *q == '\0') {
        if (q == end && !eof) return needMore(s, q);
        text = {field, static_cast<std::size_t>(q - field)};
        quotes = quotes_;
        reset();
        p = q;
        return Tok::LastOfInput;
      }
      // A double quote: a pair is text, anything else closes the field.
      if (q + 1 == end && !eof) return needMore(s, q);
      if (q + 1 < end && q[1] == '"') {
        quotes_ = true;
        q += 2;
        continue;
      }
      text = {field, static_cast<std::size_t>(q - field)};
      quotes = quotes_;
      reset();
      ++q;
      if (q < end && *q == d_) ++q;
      p = q;
      return Tok::Field;
    }
  }

 private:
  enum class State { Start, Plain, Quoted };
  Tok needMore(const char* s, const char* q) {
    pos_ = static_cast<std::size_t>(q - s);
    return Tok::NeedMore;
  }
  void reset() {
    state_ = State::Start;
    pos_ = 0;
  }

  char d_;
  std::array<unsigned char, 256> stopPlain_;
  std::array<unsigned char, 256> stopQuoted_;
  State state_ = State::Start;
  std::size_t pos_ = 0;         // offset from the token start where scanning goes on
  std::size_t fieldStart_ = 0;  // offset of the field's text from the token start
  bool quotes_ = false;         // the field holds a double quote
};

// Puts fields into rows and columns (the assembly rules in csv.h).
class Assembler {
 public:
  explicit Assembler(CellTable& t) : t_(t) {
    t_.beginRow();
    t_.appendToLastRow(kBlankCellMarker);
  }

  void field(std::string_view raw, bool quotes, Tok kind) {
    store(quotes ? withoutPairs(raw) : raw);
    if (kind == Tok::LastOfLine) {
      if (row_ == 0) count_ = col_ + 1;
      nextRow();
    } else {
      ++col_;
    }
  }

  void lineEnd() {
    if (row_ == 0) count_ = col_ + 1;
    nextRow();
  }

  // Fixes the column count; false when no line end was read.
  bool finish() {
    t_.setColumnCount(static_cast<int>(std::clamp<std::int64_t>(count_, 0, kMaxColumns)));
    return row_ > 0;
  }

 private:
  void nextRow() {
    ++row_;
    col_ = 0;
  }

  void store(std::string_view text) {
    if (col_ == 0) {
      if (row_ == lastRow_) {
        t_.replaceFirstOfLastRow(text);
      } else {
        t_.beginRow();
        t_.appendToLastRow(text);
        lastRow_ = row_;
      }
      dropRest_ = text.size() == kBlankCellMarker.size() && equalsNoCase(text, kBlankCellMarker);
      pendingEmpty_ = 0;
      return;
    }
    if (dropRest_ || col_ >= kMaxColumns || (count_ >= 0 && col_ >= count_)) return;
    // Empty fields are stored only once a field with text follows them.
    if (text.empty()) {
      ++pendingEmpty_;
      return;
    }
    for (; pendingEmpty_ > 0; --pendingEmpty_) t_.appendToLastRow({});
    t_.appendToLastRow(text);
  }

  std::string_view withoutPairs(std::string_view raw) {
    scratch_.clear();
    scratch_.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
      scratch_ += raw[i];
      if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"') ++i;
    }
    return scratch_;
  }

  CellTable& t_;
  std::uint64_t row_ = 0;
  std::uint64_t lastRow_ = 0;  // row number of the table's last row
  std::int64_t col_ = 0;
  std::int64_t count_ = -1;  // column count, fixed at the end of the first line
  std::int64_t pendingEmpty_ = 0;  // empty fields not stored yet
  bool dropRest_ = false;
  std::string scratch_;
};

// Feeds tokens from [p, end) to the assembler; true when the input ended.
bool consume(Tokenizer& tok, Assembler& as, const char*& p, const char* end, bool eof) {
  std::string_view text;
  bool quotes = false;
  for (;;) {
    switch (tok.next(p, end, eof, text, quotes)) {
      case Tok::NeedMore:
        return false;
      case Tok::End:
        return true;
      case Tok::LineEnd:
        as.lineEnd();
        break;
      case Tok::Field:
        as.field(text, quotes, Tok::Field);
        break;
      case Tok::LastOfLine:
        as.field(text, quotes, Tok::LastOfLine);
        break;
      case Tok::LastOfInput:
        as.field(text, quotes, Tok::LastOfInput);
        return true;
    }
  }
}

void finishLoad(CsvLoad& load, Assembler& as) {
  if (as.finish()) {
    load.status = CsvLoad::Status::Loaded;
  } else {
    load.status = CsvLoad::Status::NoLineEnd;
    load.table = CellTable();
  }
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

char delimiterFrom(std::string_view setting) {
  if (setting.empty()) return ',';
  const char c = setting.front();
  return (c == '"' || c == '\r' || c == '\n' || c == '\0') ? ',' : c;
}

namespace {

CsvLoad readCsvFromMemory(std::string_view bytes, char delimiter, bool checkForBom) {
  CsvLoad load;
  load.bytes = bytes.size();
  if (checkForBom && bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
  Tokenizer tok(delimiter);
  Assembler as(load.table);
  const char* p = bytes.data();
  consume(tok, as, p, bytes.data() + bytes.size(), true);
  finishLoad(load, as);
  return load;
}

CsvLoad readCsvFromFile(const std::string& path, char delimiter, bool checkForBom, Pump* pump,
                        std::size_t chunkBytes) {
  const std::size_t chunk = chunkBytes ? chunkBytes : kReadChunk;
  CsvLoad load;
  // O_NONBLOCK: a FIFO must not block the open; it is refused below anyway.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    load.error = systemErrorText(errno);
    return load;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    load.error = systemErrorText(errno);
    return load;
  }
  if (!S_ISREG(st.st_mode)) {
    load.error = systemErrorText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return load;
  }
  const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);

  Tokenizer tok(delimiter);
  Assembler as(load.table);
  // The read buffer; grown without filling, so its pages are touched only as reads fill them.
  std::size_t cap = chunk;
  std::unique_ptr<char[]> buf = std::make_unique_for_overwrite<char[]>(cap);
  std::size_t begin = 0, end = 0;
  bool eof = false, bomChecked = !checkForBom, done = false, reserved = false;
  const auto start = std::chrono::steady_clock::now();
  int shownPercent = -1;

  while (!done) {
    if (begin > 0) {
      std::memmove(buf.get(), buf.get() + begin, end - begin);
      end -= begin;
      begin = 0;
    }
    if (end == cap) {
      // One token fills the buffer: make room for the rest of the file at once.
      const std::uint64_t rest = size > load.bytes ? size - load.bytes : 0;
      cap = std::max<std::size_t>(cap * 2, end + static_cast<std::size_t>(rest) + chunk);
      auto bigger = std::make_unique_for_overwrite<char[]>(cap);
      std::memcpy(bigger.get(), buf.get(), end);
      buf = std::move(bigger);
    }
    const std::size_t want = std::min(cap - end, chunk);
    ssize_t n = ::read(fd.get(), buf.get() + end, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      load.error = systemErrorText(errno);
      load.table = CellTable();
      if (shownPercent >= 0 && pump) pump->progress(-1);
      return load;
    }
    eof = n == 0;
    end += static_cast<std::size_t>(n);
    load.bytes += static_cast<std::uint64_t>(n);
    if (!bomChecked) {
      if (end < kUtf8Bom.size() && !eof) continue;
      if (std::string_view(buf.get(), end).starts_with(kUtf8Bom)) begin = kUtf8Bom.size();
      bomChecked = true;
    }
    const char* p = buf.get() + begin;
    done = consume(tok, as, p, buf.get() + end, eof) || eof;
    begin = static_cast<std::size_t>(p - buf.get());
    if (!reserved && load.bytes >= chunk && load.table.rowCount() > 1) {
      // Rows so far tell how many the whole file holds.
      reserved = true;
      const double perRow = static_cast<double>(load.bytes) / static_cast<double>(load.table.rowCount());
      const double rows = static_cast<double>(size) / perRow * 1.05 + 16;
      load.table.reserveRows(static_cast<std::size_t>(std::min(rows, static_cast<double>(kMaxReservedRows))));
    }
    if (done || !pump) continue;

    if (pump->step()) {
      load.status = CsvLoad::Status::Cancelled;
      load.table = CellTable();
      if (shownPercent >= 0) pump->progress(-1);
      return load;
    }
    if (std::chrono::steady_clock::now() - start >= kProgressDelay && size > 0) {
      int percent = static_cast<int>(std::min<std::uint64_t>(100, load.bytes * 100 / size));
      if (percent != shownPercent) {
        pump->progress(percent);
        shownPercent = percent;
      }
    }
  }
  finishLoad(load, as);
  if (shownPercent >= 0 && pump) pump->progress(-1);
  return load;
}

// Runs a read; memory running out makes it a failed read, not a crash.
template <class Read>
CsvLoad guarded(Read read) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
    CsvLoad load;
    load.error = systemErrorText(ENOMEM);
    return load;
  }
}

}  // namespace

CsvLoad readCsv(std::string_view bytes, char delimiter, bool checkForBom) {
  return guarded([&] { return readCsvFromMemory(bytes, delimiter, checkForBom); });
}

CsvLoad readCsvFile(const std::string& path, char delimiter, bool checkForBom, Pump* pump, std::size_t chunkBytes) {
  return guarded([&] { return readCsvFromFile(path, delimiter, checkForBom, pump, chunkBytes); });
}

void appendCsvField(std::string& out, std::string_view text, char delimiter, bool headerLine) {
  if (text.empty()) return;
  bool quote = false, delim = false, lineBreak = false;
  for (char c : text) {
    quote |= c == '"';
    delim |= c == delimiter;
    lineBreak |= c == '\r' || c == '\n';
  }
  if (quote) {
    out += '"';
    for (char c : text) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  } else if (delim || (!headerLine && lineBreak)) {
    out += '"';
    out += text;
    out += '"';
  } else {
    out += text;
  }
}

}  // namespace vm
