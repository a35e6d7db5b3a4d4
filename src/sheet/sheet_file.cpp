#include "sheet/sheet_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/ini_file.h"
#include "core/settings_catalogue.h"
#include "notes/companion.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "sheet/csv.h"

namespace vm {

namespace {

constexpr std::size_t kWriteChunk = 1u << 20;  // bytes gathered before each write
constexpr int kMaxNameTries = 100000;

// A file written piece by piece into a temporary file beside the target and
// renamed over it on commit, so the old file stays whole until the new one
// is complete. Dropped without commit, the temporary file is removed.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path target) : target_(std::move(target)) {}
  ~AtomicFile() {
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(tmp_.c_str());
    }
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool open(std::string& err) {
    std::filesystem::path dir = target_.parent_path().empty() ? std::filesystem::path(".") : target_.parent_path();
    tmp_ = (dir / ".vm-save-XXXXXX").string();
    fd_ = ::mkstemp(tmp_.data());
    if (fd_ < 0) return fail(err, errno);
    struct stat st;
    ::fchmod(fd_, ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    return true;
  }

  bool write(std::string_view data, std::string& err) {
    while (!data.empty()) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return fail(err, errno);
      }
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  bool commit(std::string& err) {
    if (::fdatasync(fd_) != 0) return fail(err, errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(tmp_.c_str(), target_.c_str()) != 0) {
      int e = errno;
      ::unlink(tmp_.c_str());
      return fail(err, e);
    }
    return true;
  }

 private:
  static bool fail(std::string& err, int e) {
    err = systemErrorText(e);
    return false;
  }
  std::filesystem::path target_;
  std::string tmp_;
  int fd_ = -1;
};

}  // namespace

// ---- Settings file of a sheet ------------------------------------------------------

std::string sheetSettingsFile(const std::string& sheetPath, const SheetOptions& o) {
  if (!o.companionBesideFile) {
    if (o.fileInfoFolder.empty() || !ensureFileInfoFolder(o.fileInfoFolder)) return {};
  }
  return companionName(sheetPath, o.companionBesideFile, o.fileInfoFolder);
}

SheetViewSettings readSheetViewSettings(const std::string& sheetPath, const SheetOptions& o, int columns) {
  SheetViewSettings s;
  std::string file = sheetSettingsFile(sheetPath, o);
  std::string title, sort, widths;
  if (!file.empty()) {
    title = ini::readKey(file, kCompanionSection, setting::SpreadsheetFirstRowAsTitle.key, "-1");
    sort = ini::readKey(file, kCompanionSection, setting::SpreadsheetSortHeader.key, "-1");
    widths = ini::readKey(file, kCompanionSection, kColumnWidthsKey, "");
  }
  const long t = title.empty() ? -1 : leadingNumber(title);
  s.firstRowAsTitle = t != 0 && t != -1;
  s.sortingOn = !o.neverSort && !sort.empty() && leadingNumber(sort) == 0;
  std::vector<std::string> items = widths.empty() ? std::vector<std::string>{} : split(widths, ',');
  s.columnWidths.reserve(static_cast<std::size_t>(std::max(columns, 0)));
  for (int k = 0; k < columns; ++k) {
    std::string_view item = static_cast<std::size_t>(k) < items.size() ? ini::trimBlanks(items[static_cast<std::size_t>(k)])
                                                                       : std::string_view{};
    s.columnWidths.push_back(item.empty() ? o.columnWidth : static_cast<int>(std::max(0L, leadingNumber(item))));
  }
  return s;
}

bool writeSheetViewSetting(const std::string& sheetPath, const SheetOptions& o, std::string_view key,
                           std::string_view value) {
  std::string file = sheetSettingsFile(sheetPath, o);
  return !file.empty() && ini::writeKey(file, kCompanionSection, key, value);
}

// ---- Backups ---------------------------------------------------------------------------

void backupSheetFile(const std::string& sheetPath, const std::string& backupFolder, int maxBackups) {
  const std::string base = joinPath(backupFolder, lastComponent(sheetPath));
  const std::string newest = ".x";
  std::error_code ec;
  for (int k = 0; k < maxBackups; ++k) {
    const std::string slot = format("%s.%d", base.c_str(), k);
    if (!pathExists(slot + newest)) continue;
    std::filesystem::remove(slot, ec);
    std::filesystem::rename(slot + newest, slot, ec);
    const int j = k == maxBackups - 1 ? 0 : k + 1;
    const std::string next = format("%s.%d", base.c_str(), j);
    if (!std::filesystem::copy_file(sheetPath, next + newest, std::filesystem::copy_options::overwrite_existing, ec))
      return;
    std::filesystem::remove(next, ec);
    return;
  }
  std::filesystem::copy_file(sheetPath, format("%s.0%s", base.c_str(), newest.c_str()),
                             std::filesystem::copy_options::overwrite_existing, ec);
}

// ---- New spreadsheets ------------------------------------------------------------------

std::string newSpreadsheetName(const std::string& folder, std::string_view typedName) {
  std::string name = typedName.empty() ? std::string(kNewSpreadsheetBase) + std::string(kSpreadsheetExtension)
                                       : std::string(typedName);
  if (!pathExists(joinPath(folder, name))) return name;
  std::string stem = name;
  if (endsWithNoCase(stem, kSpreadsheetExtension)) stem.resize(stem.size() - kSpreadsheetExtension.size());
  std::string candidate = name;
  for (int n = 1; n <= kMaxNameTries; ++n) {
    candidate = format("%s_%d%s", stem.c_str(), n, std::string(kSpreadsheetExtension).c_str());
    if (!pathExists(joinPath(folder, candidate))) break;
  }
  return candidate;
}

NewSpreadsheet createSpreadsheetFile(const std::string& folder, std::string_view name) {
  NewSpreadsheet r;
  r.path = joinPath(folder, name);
  int fd = ::open(r.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    r.message = errno == EEXIST ? format(kMsgSpreadsheetExists, r.path.c_str())
                                : format(kMsgSaveError, systemErrorText(errno).c_str());
    return r;
  }
  std::string text;
  for (int i = 0; i < kNewSpreadsheetLines; ++i) text += kNewSpreadsheetLine;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  int e = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(r.path.c_str());
    r.message = format(kMsgSaveError, systemErrorText(e ? e : EIO).c_str());
    return r;
  }
  r.created = true;
  return r;
}

// ---- Sheet: open, save, close ----------------------------------------------------------

SheetOpenResult Sheet::open(const std::string& pathIn, const SheetOptions& o, Pump* pump, bool asNew) {
  const std::string path = pathIn;  // may be path_ itself, which closing clears
  SheetOpenResult r;
  if (loading_) {
    r.status = SheetOpenResult::Status::Busy;
    return r;
  }
  loading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{loading_};

  if (open_) r.previousSaveMessage = close(o).message;
  const char delimiter = asNew ? ',' : delimiterFrom(o.delimiter);
  CsvLoad load = readCsvFile(path, delimiter, o.checkForBom, pump);
  switch (load.status) {
    case CsvLoad::Status::Loaded:
      break;
    case CsvLoad::Status::Unreadable:
      r.status = SheetOpenResult::Status::Unreadable;
      r.error = load.error;
      return r;
    case CsvLoad::Status::NoLineEnd:
      r.status = SheetOpenResult::Status::NoLineEnd;
      return r;
    case CsvLoad::Status::Cancelled:
      r.status = SheetOpenResult::Status::Cancelled;
      return r;
  }

  const int columns = load.table.columnCount();
  bool titleOn = false, sorting = !o.neverSort;
  std::vector<int> widths(static_cast<std::size_t>(columns), o.columnWidth);
  if (!asNew) {
    SheetViewSettings s = readSheetViewSettings(path, o, columns);
    titleOn = s.firstRowAsTitle;
    sorting = s.sortingOn;
    widths = std::move(s.columnWidths);
  }
  adopt(std::move(load.table), path, delimiter, titleOn, sorting, std::move(widths));
  r.status = SheetOpenResult::Status::Opened;
  return r;
}

namespace {

constexpr std::string_view kEolBytes[] = {"", "\n", "\r\n"};

// Writes rows of a table: a row nobody touched as the bytes it was read
// from, any other row cell by cell, where a cell whose text is still the
// one read keeps its bytes (quotes, blanks and all) and any other text is
// written with the quoting rules. Texts are encoded for the output; a
// legacy source written as UTF-8 has its bytes decoded.
// True when raw is a quoted field whose closing quote never came.
bool quotedFieldOpen(std::string_view raw) {
  std::size_t i = raw.find_first_not_of(' ');
  if (i == std::string_view::npos || raw[i] != '"') return false;
  for (++i; i < raw.size(); ++i) {
    if (raw[i] != '"') continue;
    if (i + 1 < raw.size() && raw[i + 1] == '"') {
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

class RowWriter {
 public:
  RowWriter(const CellTable& t, char d, bool legacyOut, std::string& out)
      : t_(t), src_(t.source()), d_(d), legacyOut_(legacyOut), out_(out) {}

  bool failed() const { return needsUtf8_; }

  void bytes(std::string_view raw) {
    if (src_.legacy && !legacyOut_)
      out_ += cp1252ToUtf8(raw);
    else
      out_ += raw;
  }

  void encoded(std::string_view utf8, bool quote) {
    if (!legacyOut_) {
      appendCsvField(out_, utf8, d_, false, quote);
      return;
    }
    std::optional<std::string> enc = utf8ToCp1252(utf8);
    if (!enc) {
      needsUtf8_ = true;
      return;
    }
    appendCsvField(out_, *enc, d_, false, quote);
  }

  void row(std::size_t id, int cols, bool last, bool finalEol) {
    const RowSource& rs = t_.rowSource(id);
    const std::string_view all = src_.view();
    const std::uint8_t eol = rs.present && rs.eol ? rs.eol : src_.eol;
    const bool endLine = !last || finalEol;
    if (rs.present && !rs.dirty && t_.columnsAsRead()) {
      src_.original(rs.begin, rs.lead + rs.size, [&](std::string_view piece) { bytes(piece); });
      if (endLine) out_ += kEolBytes[eol];
      return;
    }
    std::vector<CsvField> fields;
    std::string_view line;
    std::string lineRead;  // the line as read, when a field of it was reduced in place
    if (rs.present) {
      src_.original(rs.begin, rs.lead, [&](std::string_view piece) { bytes(piece); });
      if (src_.squeezedWithin(rs.begin + rs.lead, rs.size)) {
        lineRead = src_.originalText(rs.begin + rs.lead, rs.size);
        line = lineRead;
      } else {
        line = all.substr(rs.begin + rs.lead, rs.size);
      }
      fields = splitCsvLine(line, d_, src_.legacy);
    }
    // How many columns the line gets: every column that was a field of it,
    // and every column with text; a new row gets them all.
    int count = rs.present ? 0 : cols;
    for (int c = 0; c < cols; ++c) {
      const std::int64_t f = t_.sourceField(c);
      if ((f >= 0 && f < static_cast<std::int64_t>(fields.size())) || !t_.text(id, c).empty()) count = std::max(count, c + 1);
    }
    const bool markerRow = id == 0 && src_.blankFirstLine;
    const std::size_t lineStart = out_.size();
    // Fields may follow a closing quote with nothing between ("a"b is two
    // fields). Such a pair stays joined when it can: an edited first field
    // is quoted so that it still ends with a quote, and the delimiter goes
    // in only where the second would otherwise run into the first.
    auto fieldOf = [&](int c) -> std::int64_t {
      const std::int64_t f = t_.sourceField(c);
      return f >= 0 && f < static_cast<std::int64_t>(fields.size()) ? f : -1;
    };
    auto joinedToNext = [&](int c) {
      const std::int64_t f = fieldOf(c);
      return f >= 0 && c + 1 < count && fieldOf(c + 1) == f + 1 &&
             fields[static_cast<std::size_t>(f + 1)].begin == fields[static_cast<std::size_t>(f)].end;
    };
    bool prevEndsQuoted = false;  // the field written before ends with a closing quote
    for (int c = 0; c < count; ++c) {
      const std::string_view text = t_.text(id, c);
      const std::int64_t f = fieldOf(c);
      const CsvField* field = f >= 0 && fields[static_cast<std::size_t>(f)].text == text ? &fields[static_cast<std::size_t>(f)] : nullptr;
      // A quoted field the file left open ran to the end of its line: with a
      // cell after it now, its bytes as read would swallow that cell.
      if (field && c + 1 < count && quotedFieldOpen(line.substr(field->begin, field->end - field->begin))) field = nullptr;
      std::string piece;
      if (!field && !(c == 0 && markerRow && equalsNoCase(text, kBlankCellMarker))) {
        // (The blank-cell marker is shown, never written.)
        const std::size_t at = out_.size();
        encoded(text, joinedToNext(c));
        piece = out_.substr(at);
        out_.resize(at);
      }
      const bool joined = c > 0 && prevEndsQuoted && joinedToNext(c - 1) &&
                          (field || (!piece.empty() && piece.front() != '"' && piece.front() != ' '));
      if (c && !joined) out_ += d_;
      if (field)
        bytes(line.substr(field->begin, field->end - field->begin));
      else
        out_ += piece;
      prevEndsQuoted = field ? joinedToNext(c) : (!piece.empty() && piece.front() == '"');
    }
    // A line with nothing on it would read back as no row.
    if (out_.size() == lineStart && !markerRow) out_ += "\"\"";
    if (endLine) out_ += kEolBytes[eol];
  }

 private:
  const CellTable& t_;
  const TableSource& src_;
  char d_;
  bool legacyOut_;
  std::string& out_;
  bool needsUtf8_ = false;
};

}  // namespace

Sheet::WriteResult Sheet::writeTo(const std::filesystem::path& target, bool legacyOut, std::string& err) const {
  AtomicFile file(target);
  if (!file.open(err)) return WriteResult::Failed;
  std::string out;
  out.reserve(kWriteChunk + 4096);
  const TableSource& src = table_.source();
  const int cols = columnCount();
  RowWriter w(table_, delimiter_, legacyOut, out);
  if (src.bom) out += kUtf8Bom;
  const bool finalEol = src.bytes ? src.lastRowEol : true;
  const std::size_t rows = order_.size() + (titleOn_ ? 1 : 0);
  for (std::size_t k = 0; k < rows; ++k) {
    const std::size_t id = titleOn_ ? (k == 0 ? 0 : order_[k - 1]) : order_[k];
    w.row(id, cols, k + 1 == rows, finalEol);
    if (w.failed()) return WriteResult::NeedsUtf8;
    if (out.size() >= kWriteChunk) {
      if (!file.write(out, err)) return WriteResult::Failed;
      out.clear();
    }
  }
  if (src.bytes && src.tailBegin < src.size)
    src.original(src.tailBegin, src.size - src.tailBegin, [&](std::string_view piece) { w.bytes(piece); });
  if (!file.write(out, err) || !file.commit(err)) return WriteResult::Failed;
  return WriteResult::Written;
}

bool Sheet::saveCopy(const std::filesystem::path& target, std::string* err) const {
  std::string e;
  bool ok = false;
  if (open_) {
    WriteResult r = writeTo(target, legacyEncoding(), e);
    if (r == WriteResult::NeedsUtf8) r = writeTo(target, false, e);
    ok = r == WriteResult::Written;
  }
  if (err) *err = e;
  return ok;
}

SheetSaveResult Sheet::save(const SheetOptions& o) {
  SheetSaveResult r;
  // The title row counts as a row: it is written as the header line.
  if (!open_ || !modified_ || columnCount() < 1 || (order_.empty() && !titleOn_)) return r;

  if (o.saveWidths) {
    const std::string widths = columnWidthsText();
    if (!widths.empty()) writeSheetViewSetting(path_, o, kColumnWidthsKey, widths);
  }
  const std::filesystem::path target = ini::rewriteTarget(path_);
  if (o.makeBackups && !o.fileInfoFolder.empty() && isRegularFile(target) && ensureFileInfoFolder(o.fileInfoFolder))
    backupSheetFile(target.string(), o.fileInfoFolder, o.maxBackups);

  std::string err;
  bool ok = ini::canRewrite(target, &err);
  if (ok) {
    WriteResult w = writeTo(target, legacyEncoding(), err);
    if (w == WriteResult::NeedsUtf8) {
      // Typed text Windows-1252 cannot hold: from now on the sheet is UTF-8.
      w = writeTo(target, false, err);
      r.nowUtf8 = w == WriteResult::Written;
    }
    ok = w == WriteResult::Written;
  }
  if (!ok) {
    r.kind = SheetSaveResult::Kind::Failed;
    r.error = err;
    r.message = format(kMsgSaveError, err.c_str());
    return r;
  }
  if (r.nowUtf8) utf8Out_ = true;
  r.kind = SheetSaveResult::Kind::Saved;
  r.message = std::string(r.nowUtf8 ? kMsgSavedAsUtf8 : kMsgSaved);
  setModified(false);
  return r;
}

SheetSaveResult Sheet::close(const SheetOptions& o) {
  SheetSaveResult r;
  if (!open_) return r;
  ungroup();
  r = save(o);
  discard();
  return r;
}

}  // namespace vm
