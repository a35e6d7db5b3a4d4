#include "sheet/csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/ports.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr std::size_t kReadChunk = 1u << 20;  // bytes read between two pump steps
constexpr std::size_t kMaxReservedRows = 1u << 24;  // beyond this the row array grows as it fills

enum class Tok { Field, LastOfLine, LastOfInput, LineEnd, End, NeedMore };

// Splits bytes into tokens. When a token runs past the end of the bytes seen
// so far, next() answers NeedMore and remembers how far it looked, so that
// the caller can add bytes behind the unread rest and ask again without the
// token being scanned twice.
//
// With squeeze on, the bytes given are writable and a quoted field has its
// pairs of quotes reduced where it lies, as far as it has been scanned: a
// huge field is never reduced in one go, and its text stays in the bytes.
class Tokenizer {
 public:
  explicit Tokenizer(char delimiter, bool squeeze = false)
      : d_(delimiter), dMask_(0x0101010101010101ULL * static_cast<unsigned char>(delimiter)), squeeze_(squeeze) {
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
  [[gnu::always_inline]] Tok next(const char*& p, const char* end, bool eof, std::string_view& text, bool& quotes) {
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
        q = skipPlain(q, end);
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
      squeezedRaw_ = 0;
      reset();
      rawEnd_ = q;
      tookDelim_ = false;
      if (q == end || *q == '\0') {
        p = q;  // a NUL stays in front: the next token is the end
        return Tok::LastOfInput;
      }
      if (*q == '\n') {
        if (!text.empty() && text.back() == '\r') {
          text.remove_suffix(1);
          rawEnd_ = q - 1;
        }
        p = q + 1;
        return Tok::LastOfLine;
      }
      p = q + 1;  // the delimiter
      tookDelim_ = true;
      return Tok::Field;
    }

    // Quoted field.
    for (;;) {
      const char* run = q;
      while (q < end && !stopQuoted_[static_cast<unsigned char>(*q)]) ++q;
      if (gap_) std::memmove(const_cast<char*>(run - gap_), run, static_cast<std::size_t>(q - run));
      if (q == end || *q == '\0') {
        if (q == end && !eof) return needMore(s, q);
        endQuoted(field, q, text, quotes);
        p = rawEnd_ = q;
        tookDelim_ = false;
        return Tok::LastOfInput;
      }
      // A double quote: a pair is text, anything else closes the field.
      if (q + 1 == end && !eof) return needMore(s, q);
      if (q + 1 < end && q[1] == '"') {
        if (squeeze_) {
          // One quote of the pair stays, in its place behind the text so far.
          if (gap_) *const_cast<char*>(q - gap_) = '"';
          ++gap_;
        } else {
          quotes_ = true;
        }
        q += 2;
        continue;
      }
      endQuoted(field, q, text, quotes);
      ++q;
      rawEnd_ = q;
      tookDelim_ = q < end && *q == d_;
      if (tookDelim_) ++q;
      p = q;
      return Tok::Field;
    }
  }

  // Of the last complete field: where its raw bytes end (before a delimiter
  // or line end), and whether the delimiter after it was taken.
  const char* rawEnd() const { return rawEnd_; }
  bool tookDelim() const { return tookDelim_; }
  // Of the last complete field: how many bytes it took in the input when its
  // quote pairs were reduced in place (its text is shorter), else 0.
  std::size_t squeezedRaw() const { return squeezedRaw_; }
  // A quoted field scanned in part whose pairs have been reduced so far, the
  // token starting at tokenStart; nothing when there is none.
  std::optional<SqueezedField> pendingSqueeze(const char* tokenStart, const char* base) const {
    if (state_ != State::Quoted || gap_ == 0) return std::nullopt;
    SqueezedField f;
    f.at = static_cast<std::size_t>(tokenStart - base) + fieldStart_;
    f.rawSize = pos_ - fieldStart_;
    f.textSize = f.rawSize - gap_;
    return f;
  }

 private:
  enum class State { Start, Plain, Quoted };

  // Bytes with the high bit set in each byte of v that is zero; the lowest
  // one marks the first zero byte exactly.
  static std::uint64_t zeroBytes(std::uint64_t v) {
    return (v - 0x0101010101010101ULL) & ~v & 0x8080808080808080ULL;
  }

  // The first byte at or after q that ends or interrupts an unquoted field
  // (the delimiter, LF, NUL, a double quote), eight bytes at a time.
  const char* skipPlain(const char* q, const char* end) const {
    while (std::endian::native == std::endian::little && end - q >= 8) {
      std::uint64_t w;
      std::memcpy(&w, q, 8);
      const std::uint64_t hit = zeroBytes(w ^ dMask_) | zeroBytes(w ^ 0x0A0A0A0A0A0A0A0AULL) | zeroBytes(w) |
                                zeroBytes(w ^ 0x2222222222222222ULL);
      if (hit) return q + std::countr_zero(hit) / 8;
      q += 8;
    }
    while (q < end && !stopPlain_[static_cast<unsigned char>(*q)]) ++q;
    return q;
  }
  Tok needMore(const char* s, const char* q) {
    pos_ = static_cast<std::size_t>(q - s);
    return Tok::NeedMore;
  }
  void reset() {
    state_ = State::Start;
    pos_ = 0;
    gap_ = 0;
  }
  // A quoted field ends at q (its closing quote or the end of the input).
  void endQuoted(const char* field, const char* q, std::string_view& text, bool& quotes) {
    const std::size_t raw = static_cast<std::size_t>(q - field);
    text = {field, raw - gap_};
    squeezedRaw_ = gap_ ? raw : 0;
    quotes = quotes_;
    reset();
  }

  char d_;
  std::uint64_t dMask_;  // the delimiter in every byte
  std::array<unsigned char, 256> stopPlain_;
  std::array<unsigned char, 256> stopQuoted_;
  bool squeeze_;
  State state_ = State::Start;
  std::size_t pos_ = 0;         // offset from the token start where scanning goes on
  std::size_t fieldStart_ = 0;  // offset of the field's text from the token start
  bool quotes_ = false;         // the field holds a double quote
  const char* rawEnd_ = nullptr;
  bool tookDelim_ = false;
  std::size_t gap_ = 0;          // quotes dropped from the quoted field being scanned
  std::size_t squeezedRaw_ = 0;  // see squeezedRaw()
};

bool isAsciiText(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Turns a field's raw text into its cell text: pairs of quotes become one,
// and a legacy file's bytes are decoded. The result is either raw itself
// (pointing into the source) or held in scratch.
std::string_view fieldText(std::string_view raw, bool quotes, bool legacy, std::string& scratch) {
  if (quotes) {
    // Runs between quotes are copied whole; of a pair of quotes one is kept.
    scratch.clear();
    scratch.reserve(raw.size());
    std::size_t at = 0;
    while (at < raw.size()) {
      const void* hit = std::memchr(raw.data() + at, '"', raw.size() - at);
      const std::size_t q = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - raw.data()) : raw.size();
      scratch.append(raw.data() + at, std::min(q + 1, raw.size()) - at);
      at = q + 1;
      if (hit && at < raw.size() && raw[at] == '"') ++at;
    }
    raw = scratch;
  }
  if (legacy && !isAsciiText(raw)) {
    std::string decoded = cp1252ToUtf8(raw);
    scratch = std::move(decoded);
    return scratch;
  }
  return raw;
}

// Puts fields into rows and columns (the assembly rules in csv.h) and notes
// where each row's line lies in the source.
class Assembler {
 public:
  Assembler(CellTable& t, const char* base, std::size_t bodyBegin, bool legacy)
      : t_(t), base_(base), legacy_(legacy), lineStart_(bodyBegin), rowBegin_(bodyBegin) {
    t_.beginRow(bodyBegin);
    t_.lendScratch(&scratch_);
  }
  ~Assembler() { t_.lendScratch(nullptr); }
  Assembler(const Assembler&) = delete;
  Assembler& operator=(const Assembler&) = delete;

  void field(const Tokenizer& tok, std::string_view raw, bool quotes, Tok kind, const char* after) {
    if (tok.squeezedRaw())
      t_.source().squeezed.push_back({static_cast<std::size_t>(raw.data() - base_), tok.squeezedRaw(), raw.size()});
    if (col_ < kMaxColumns) store(quotes || legacy_ ? fieldText(raw, quotes, legacy_, scratch_) : raw);
    ++lineFields_;
    lastTookDelim_ = tok.tookDelim();
    if (kind == Tok::LastOfLine) {
      const char* lf = after - 1;
      const bool crlf = tok.rawEnd() < lf;  // the CR of CR LF lies between
      endLine(static_cast<std::size_t>(tok.rawEnd() - base_), static_cast<std::size_t>(after - base_), crlf ? 2 : 1);
    } else if (kind == Tok::LastOfInput) {
      lastTookDelim_ = false;
      endLine(static_cast<std::size_t>(after - base_), static_cast<std::size_t>(after - base_), 0);
    } else {
      ++col_;
    }
  }

  // A line end token at tokenStart, ending at after.
  void lineEnd(const char* tokenStart, const char* after) {
    const std::size_t eol = static_cast<std::size_t>(after - tokenStart);
    endLine(static_cast<std::size_t>(tokenStart - base_), static_cast<std::size_t>(after - base_),
            static_cast<std::uint8_t>(eol));
  }

  // The input ended at stop (its end or a NUL). False when no line end was read.
  bool finish(const char* stop) {
    t_.lendScratch(nullptr);
    if (lineFields_ > 0) {
      const std::size_t at = static_cast<std::size_t>(stop - base_);
      endLine(at, at, 0);
    }
    TableSource& src = t_.source();
    src.tailBegin = rowBegin_;
    src.lastRowEol = lastEol_ != 0;
    src.eol = styleEol_ ? styleEol_ : 1;
    src.blankFirstLine = blankFirstLine_;
    t_.setColumnCount(static_cast<int>(std::clamp<std::int64_t>(std::max<std::int64_t>(widest_, 1), 1, kMaxColumns)));
    return lines_ > 0;
  }

  std::uint64_t lines() const { return lines_; }

 private:
  void endLine(std::size_t contentEnd, std::size_t after, std::uint8_t eol) {
    const std::int64_t fields = lineFields_ + (lastTookDelim_ ? 1 : 0);
    widest_ = std::max(widest_, fields);
    if (lines_ == 0 && fields == 0) {
      // Row 0 shows the blank-cell marker in its first cell.
      blankFirstLine_ = true;
      t_.appendToLastRow(kBlankCellMarker);
    }
    if (fields > 0 || lines_ == 0) {
      RowSource rs;
      rs.begin = rowBegin_;
      rs.lead = lineStart_ - rowBegin_;
      rs.size = contentEnd - lineStart_;
      rs.eol = eol;
      rs.present = true;
      t_.setRowSource(t_.rowCount() - 1, rs);
      rowBegin_ = after;
      lastEol_ = eol;
    }
    if (eol && !styleEol_) styleEol_ = eol;
    if (eol) ++lines_;
    lineStart_ = after;
    lineFields_ = 0;
    lastTookDelim_ = false;
    col_ = 0;
    ++row_;
  }

  void store(std::string_view text) {
    if (col_ == 0) {
      if (row_ > 0) t_.beginRow(lineStart_);  // row 0 was begun at the start
      t_.appendToLastRow(text);
      pendingEmpty_ = 0;
      return;
    }
    // Empty fields are stored only once a field with text follows them.
    if (text.empty()) {
      ++pendingEmpty_;
      return;
    }
    for (; pendingEmpty_ > 0; --pendingEmpty_) t_.appendToLastRow({});
    t_.appendToLastRow(text);
  }

  CellTable& t_;
  const char* base_;
  bool legacy_;
  std::size_t lineStart_;  // offset where the current line began
  std::size_t rowBegin_;   // offset where the next row's lead begins
  std::uint64_t row_ = 0;  // line number
  std::uint64_t lines_ = 0;  // line ends read
  std::int64_t col_ = 0;
  std::int64_t lineFields_ = 0;
  std::int64_t widest_ = 0;
  std::int64_t pendingEmpty_ = 0;  // empty fields not stored yet
  bool lastTookDelim_ = false;
  bool blankFirstLine_ = false;
  std::uint8_t lastEol_ = 1;
  std::uint8_t styleEol_ = 0;
  std::string scratch_;
};

// Feeds tokens from [p, end) to the assembler; true when the input ended
// (p then points at the end or at a NUL).
bool consume(Tokenizer& tok, Assembler& as, const char*& p, const char* end, bool eof) {
  std::string_view text;
  bool quotes = false;
  for (;;) {
    const char* start = p;
    switch (const Tok kind = tok.next(p, end, eof, text, quotes)) {
      case Tok::NeedMore:
        return false;
      case Tok::End:
        return true;
      case Tok::LineEnd:
        as.lineEnd(start, p);
        break;
      case Tok::Field:
      case Tok::LastOfLine:
        as.field(tok, text, quotes, kind, p);
        break;
      case Tok::LastOfInput:
        as.field(tok, text, quotes, kind, p);
        return true;
    }
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

// How far [from, end) can be checked as UTF-8 now: up to the last sequence
// that may still be cut off by the end of what was read.
std::size_t utf8SafeEnd(const char* buf, std::size_t from, std::size_t end) {
  std::size_t k = end;
  int back = 0;
  while (k > from && back < 3 && (static_cast<unsigned char>(buf[k - 1]) & 0xC0) == 0x80) {
    --k;
    ++back;
  }
  if (k > from && static_cast<unsigned char>(buf[k - 1]) >= 0xC0) --k;
  return k;
}


// Reads input into a table in one pass: each chunk is checked as UTF-8 and
// parsed while it is still in the cache. Only when a byte turns out not to
// be UTF-8 is the input read to its end and parsed again from the start as
// Windows-1252 (legacy files are seldom big).
class Loader {
 public:
  Loader(CsvLoad& load, char delimiter, bool checkForBom, Pump* pump, std::size_t chunk, std::uint64_t total)
      : load_(load), d_(delimiter), checkForBom_(checkForBom), pump_(pump), chunk_(chunk), progress_(pump, total) {}

  // fill(dest, max) puts up to max bytes at dest and returns how many (0 at
  // the end, -1 on an error with errno set).
  template <class Fill>
  void run(std::size_t size, Fill fill) {
    size_ = size;
    TableSource src;
    // Pages of the buffer are touched only as they are filled.
    src.bytes = makeBigArray<char>(size + 1);
    buf_ = src.bytes.get();
    src.size = size;  // texts point into it as it fills; cut to what arrived at the end
    load_.table.adoptSource(std::move(src));
    std::size_t got = 0;
    while (got < size) {
      const long n = fill(buf_ + got, std::min(chunk_, size - got));
      if (n < 0) {
        load_.error = systemErrorText(errno);
        load_.table = CellTable();
        return;
      }
      if (n == 0) break;  // the input is shorter than it said
      got += static_cast<std::size_t>(n);
      load_.bytes = got;
      if (utf8_) {
        const std::size_t upTo = got == size ? got : utf8SafeEnd(buf_, checked_, got);
        utf8_ = isValidUtf8(std::string_view(buf_ + checked_, upTo - checked_));
        checked_ = upTo;
        if (utf8_ && !parse(got, false)) return;
      }
      if (got < size && !step(got)) return;
    }
    buf_[got] = '\0';
    load_.table.source().size = got;
    if (utf8_ && checked_ < got) utf8_ = isValidUtf8(std::string_view(buf_ + checked_, got - checked_));
    if (utf8_) {
      if (!parse(got, true)) return;
      finish();
      return;
    }
    // Windows-1252: parse again from the start, the bytes as they were read.
    if (started_) {
      for (const SqueezedField& f : load_.table.source().squeezed) TableSource::expand(buf_, f);
      if (auto f = tok_->pendingSqueeze(p_, buf_)) TableSource::expand(buf_, *f);
    }
    TableSource legacy = std::move(load_.table.source());
    legacy.squeezed.clear();
    legacy.legacy = true;
    legacy.bom = false;
    load_.table = CellTable();
    load_.table.adoptSource(std::move(legacy));
    as_.reset();
    tok_.reset();
    started_ = false;
    done_ = false;
    for (std::size_t upTo = std::min(got, chunk_);; upTo = std::min(got, upTo + chunk_)) {
      if (!parse(upTo, upTo == got)) return;
      if (upTo == got) break;
      if (!step(0)) return;
    }
    finish();
  }

 private:
  // Parses what has arrived up to `end`; false when the load was stopped.
  bool parse(std::size_t end, bool eof) {
    if (!started_) {
      if (end < kUtf8Bom.size() && !eof) return true;
      const TableSource& src = load_.table.source();
      const bool bom = checkForBom_ && std::string_view(buf_, end).starts_with(kUtf8Bom);
      load_.table.source().bom = bom;
      p_ = buf_ + (bom ? kUtf8Bom.size() : 0);
      tok_.emplace(d_, true);
      as_.emplace(load_.table, buf_, static_cast<std::size_t>(p_ - buf_), src.legacy);
      started_ = true;
    }
    if (done_) return true;
    done_ = consume(*tok_, *as_, p_, buf_ + end, eof);
    if (!reserved_ && load_.table.rowCount() > 16 && !eof) {
      // Rows so far tell how many the whole input holds.
      reserved_ = true;
      const double perRow = static_cast<double>(p_ - buf_ + 1) / static_cast<double>(load_.table.rowCount());
      const double rows = std::min(static_cast<double>(size_) / perRow * 1.05 + 16, static_cast<double>(kMaxReservedRows));
      load_.table.reserveRows(static_cast<std::size_t>(rows));
    }
    return true;
  }

  // A pump step; done > 0 is how far the read has come, for the progress shown.
  bool step(std::uint64_t done) {
    if (!pump_) return true;
    if (pump_->step()) {
      load_.status = CsvLoad::Status::Cancelled;
      load_.table = CellTable();
      return false;
    }
    if (done > 0) progress_.at(done);
    return true;
  }

  void finish() {
    if (!started_) parse(load_.table.source().size, true);
    if (as_->finish(p_)) {
      load_.status = CsvLoad::Status::Loaded;
    } else {
      load_.status = CsvLoad::Status::NoLineEnd;
      load_.table = CellTable();
    }
  }

  CsvLoad& load_;
  char d_;
  bool checkForBom_;
  Pump* pump_;
  std::size_t chunk_;
  PumpProgress progress_;
  char* buf_ = nullptr;
  std::size_t size_ = 0;
  std::size_t checked_ = 0;  // bytes known to be UTF-8
  bool utf8_ = true;
  bool started_ = false;
  bool done_ = false;
  bool reserved_ = false;
  const char* p_ = nullptr;  // where parsing goes on
  std::optional<Tokenizer> tok_;
  std::optional<Assembler> as_;
};

CsvLoad readCsvFromMemory(std::string_view bytes, char delimiter, bool checkForBom) {
  CsvLoad load;
  Loader loader(load, delimiter, checkForBom, nullptr, kReadChunk, 0);
  std::size_t at = 0;
  loader.run(bytes.size(), [&](char* dest, std::size_t max) -> long {
    const std::size_t n = std::min(max, bytes.size() - at);
    if (n) std::memcpy(dest, bytes.data() + at, n);
    at += n;
    return static_cast<long>(n);
  });
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
  // The file as it is when the read begins: what grows later is not read.
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  Loader loader(load, delimiter, checkForBom, pump, chunk, size);
  loader.run(size, [&](char* dest, std::size_t max) -> long {
    for (;;) {
      const ssize_t n = ::read(fd.get(), dest, max);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  });
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

void appendCsvField(std::string& out, std::string_view text, char delimiter, bool headerLine, bool alwaysQuote) {
  if (text.empty()) {
    // With a blank as the delimiter the reader's skip of leading blanks
    // would swallow an empty field: it is written as "" instead.
    if (alwaysQuote || delimiter == ' ') out += "\"\"";
    return;
  }
  bool quote = false, delim = false, lineBreak = false;
  // The reader skips leading blanks: a text with any at either end is quoted.
  const bool blankEnds = text.front() == ' ' || text.back() == ' ';
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
  } else if (alwaysQuote || delim || blankEnds || (!headerLine && lineBreak)) {
    out += '"';
    out += text;
    out += '"';
  } else {
    out += text;
  }
}

}  // namespace vm

namespace vm {

std::vector<CsvField> splitCsvLine(std::string_view line, char delimiter, bool legacy) {
  std::vector<CsvField> fields;
  Tokenizer tok(delimiter);
  std::string scratch;
  const char* p = line.data();
  const char* const end = line.data() + line.size();
  bool tookDelim = false;
  for (;;) {
    const char* start = p;
    std::string_view text;
    bool quotes = false;
    const Tok kind = tok.next(p, end, true, text, quotes);
    if (kind == Tok::End || kind == Tok::NeedMore) break;
    if (kind == Tok::LineEnd) {  // not expected inside one line's content; keep it as an empty field
      tookDelim = false;
      continue;
    }
    CsvField f;
    f.begin = static_cast<std::size_t>(start - line.data());
    f.end = static_cast<std::size_t>(tok.rawEnd() - line.data());
    f.text = std::string(fieldText(text, quotes, legacy, scratch));
    fields.push_back(std::move(f));
    tookDelim = kind == Tok::Field && tok.tookDelim();
    if (kind != Tok::Field) break;
  }
  if (tookDelim) fields.push_back(CsvField{line.size(), line.size(), {}});
  return fields;
}

}  // namespace vm
