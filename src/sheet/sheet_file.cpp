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

bool Sheet::writeTo(const std::filesystem::path& target, std::string& err) const {
  AtomicFile file(target);
  bool ok = file.open(err);
  std::string out;
  out.reserve(kWriteChunk + 4 * kCellTextMax);
  const int cols = columnCount();
  if (ok && titleOn_) {
    for (int c = 0; c < cols; ++c) {
      if (c) out += delimiter_;
      appendCsvField(out, cutUtf8View(headerTitle(c), kCellTextMax), delimiter_, true);
    }
    out += '\n';
  }
  for (std::size_t v = 0; ok && v < order_.size(); ++v) {
    for (int c = 0; c < cols; ++c) {
      if (c) out += delimiter_;
      appendCsvField(out, cutUtf8View(table_.text(order_[v], c), kCellTextMax), delimiter_);
    }
    out += '\n';
    if (out.size() >= kWriteChunk) {
      ok = file.write(out, err);
      out.clear();
    }
  }
  return ok && file.write(out, err) && file.commit(err);
}

bool Sheet::saveCopy(const std::filesystem::path& target, std::string* err) const {
  std::string e;
  bool ok = open_ && writeTo(target, e);
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
  bool ok = ini::canRewrite(target, &err) && writeTo(target, err);
  if (!ok) {
    r.kind = SheetSaveResult::Kind::Failed;
    r.error = err;
    r.message = format(kMsgSaveError, err.c_str());
    return r;
  }
  r.kind = SheetSaveResult::Kind::Saved;
  r.message = std::string(kMsgSaved);
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
