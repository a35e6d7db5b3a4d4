#include "browse/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "browse/browser.h"
#include "core/ini_file.h"
#include "notes/companion.h"
#include "platform/text.h"
#include "platform/trash.h"

namespace vm {

namespace {

DiskResult fail(int err) { return DiskResult{false, systemErrorText(err)}; }

bool exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0 || errno == EACCES;
}

// Copies the open file in into the new file out; errno on failure.
int copyData(int in, int out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    const char* p = buf;
    while (n > 0) {
      ssize_t w = ::write(out, p, static_cast<std::size_t>(n));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      p += w;
      n -= w;
    }
  }
}

bool isSafeRelativeLink(const std::string& link) {
  if (link.empty() || link[0] == '/' || link.find("://") != std::string::npos) return false;
  for (const std::string& part : split(link, '/'))
    if (part == "..") return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- disk level

DiskResult copyFileNoReplace(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail(errno);
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    int e = errno;
    if (::fstat(in, &st) == 0) e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(in);
    return fail(e);
  }
  if (exists(to)) {
    ::close(in);
    return fail(EEXIST);
  }
  std::string tmpl = joinPath(parentOf(to), std::string(kSaveTempPrefix) + "XXXXXX");
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back(0);
  int out = ::mkstemp(tmp.data());
  if (out < 0) {
    int e = errno;
    ::close(in);
    return fail(e);
  }
  int err = copyData(in, out);
  ::close(in);
  if (err == 0) {
    ::fchmod(out, st.st_mode & 07777);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    if (::fsync(out) != 0) err = errno;
  }
  if (::close(out) != 0 && err == 0) err = errno;
  if (err == 0) {
    // A hard link claims the name only when it is free; file systems without
    // links fall back to a rename that does not replace.
    if (::link(tmp.data(), to.c_str()) == 0) {
      ::unlink(tmp.data());
      return DiskResult{true, {}};
    }
    err = errno;
    if (err != EEXIST) err = renameNoReplace(tmp.data(), to);
    if (err == 0) return DiskResult{true, {}};
  }
  ::unlink(tmp.data());
  return fail(err);
}

DiskResult moveNoReplace(const std::string& from, const std::string& to) {
  int err = renameNoReplace(from, to);
  if (err == 0) return DiskResult{true, {}};
  if (err != EXDEV) return fail(err);
  // Another file system: copy, then remove the source; if the source cannot
  // be removed the copy goes again, so the file is in one place only.
  if (!isRegularFile(from)) return fail(EXDEV);
  DiskResult copied = copyFileNoReplace(from, to);
  if (!copied.ok) return copied;
  if (::unlink(from.c_str()) != 0) {
    int e = errno;
    ::unlink(to.c_str());
    return fail(e);
  }
  return DiskResult{true, {}};
}

std::vector<std::string> linkedImages(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (out.size() < kMaxLinkedImages) {
    std::size_t bang = text.find("![", pos);
    if (bang == std::string_view::npos) break;
    std::size_t open = text.find("](", bang + 2);
    if (open == std::string_view::npos) break;
    std::size_t close = text.find(')', open + 2);
    if (close == std::string_view::npos) break;
    std::string link(text.substr(open + 2, close - open - 2));
    while (!link.empty() && (link.back() == ' ' || link.back() == '\t')) link.pop_back();
    pos = close + 1;
    if (!isSafeRelativeLink(link)) continue;
    if (std::find(out.begin(), out.end(), link) == out.end()) out.push_back(std::move(link));
  }
  return out;
}

bool mayHoldImageLinks(std::string_view name) {
  for (std::string_view ext : {".png", ".bmp", ".jpg", ".zip"})
    if (endsWithNoCase(name, ext)) return false;
  return true;
}

bool companionIsBare(const std::string& companion) {
  auto sections = ini::readSections(companion);
  if (!sections) return false;
  for (const ini::Section& s : *sections) {
    for (const std::string& line : s.lines) {
      if (!line.empty() && line[0] == ';') continue;
      std::string_view key = ini::trimBlanks(std::string_view(line).substr(0, line.find('=')));
      if (!equalsNoCase(key, kCompanionFileNameKey)) return false;
    }
  }
  return true;
}

bool transferCompanion(const std::string& from, const std::string& to, bool move, const std::string& newFilePath) {
  if (from.empty() || to.empty() || from == to || !isRegularFile(from)) return false;
  if (exists(to)) {
    if (!companionIsBare(to) || ::unlink(to.c_str()) != 0) return false;
  }
  DiskResult r = move ? moveNoReplace(from, to) : copyFileNoReplace(from, to);
  if (!r.ok) return false;
  const std::string none = "\x01";
  if (ini::readKey(to, kCompanionSection, kCompanionFileNameKey, none) != none)
    ini::writeKey(to, kCompanionSection, kCompanionFileNameKey, newFilePath);
  return true;
}

// ---------------------------------------------------------------- the lists

FileOps::FileOps(FeatureContext ctx, Browser& browser, FileOpsHooks hooks)
    : ctx_(ctx), browser_(browser), hooks_(std::move(hooks)) {}

std::string FileOps::companionOf(const std::string& filePath) const {
  if (hooks_.companionOf) return hooks_.companionOf(filePath);
  PathExpander expand = [this](std::string& p) { expandPathVariables(p, ctx_.env.paths); };
  const bool beside = ctx_.settings.flag(setting::TnFileWithOriginal);
  std::string folder;
  if (!beside) {
    folder = fileInfoFolder(ctx_.env.home.string(), ctx_.settings.text(setting::FileInfoDir), expand);
    if (!ensureFileInfoFolder(folder)) return {};
  }
  return companionName(filePath, beside, folder, expand);
}

void FileOps::setItemText(ListModel& list, int index, const std::string& text) {
  if (index < 0 || index >= list.size()) return;
  std::vector<ListItem> items = list.items();
  items[static_cast<std::size_t>(index)].name = text;
  list.assign(std::move(items));
  list.setSelected(index);
}

void FileOps::clearCutMarks() { markCut(-1); }

void FileOps::remember(const char* op) {
  const RootLocation& r = ctx_.roots.current();
  ListModel& files = browser_.fileList();
  if (!r.inUse || files.selected() < 0) return;
  pending_ = PendingTransfer{op, r.filesFolder(), files.selectedName()};
  // Only the item waiting for a move is dimmed.
  markCut(pending_.op == "move" ? files.selected() : -1);
}

void FileOps::markCut(int index) {
  ListModel& files = browser_.fileList();
  const int selected = files.selected();
  std::vector<ListItem> items = files.items();
  bool changed = false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    bool cut = static_cast<int>(i) == index;
    changed = changed || items[i].cut != cut;
    items[i].cut = cut;
  }
  if (changed) {
    files.assign(std::move(items));
    files.setSelected(selected);
  }
}

void FileOps::copy() { remember("copy"); }
void FileOps::cut() { remember("move"); }

void FileOps::paste() {
  const RootLocation& r = ctx_.roots.current();
  if (!r.inUse || pending_.empty()) return;
  const PendingTransfer t = pending_;
  pending_ = {};
  clearCutMarks();
  const bool move = t.op == "move";
  const std::string folder = r.filesFolder();
  const std::string from = joinPath(t.folder, t.name);
  const std::string to = joinPath(folder, t.name);

  std::vector<std::string> images;
  if (ctx_.settings.text(setting::ImageLinksWithFiles) == "1" && mayHoldImageLinks(t.name)) {
    if (auto text = readWholeFile(from)) images = linkedImages(*text);
  }
  if (exists(to)) {
    ctx_.say("File exists");
    return;
  }
  const std::string fromCompanion = companionOf(from);
  DiskResult result = move ? moveNoReplace(from, to) : copyFileNoReplace(from, to);
  if (!result.ok) {
    // The pictures stay with the note they belong to.
    ctx_.say(format("%s operation failed: %s", t.op.c_str(), result.error.c_str()));
    return;
  }
  transferCompanion(fromCompanion, companionOf(to), move, to);
  for (const std::string& image : images) {
    const std::string a = joinPath(t.folder, image), b = joinPath(folder, image);
    if (move) moveNoReplace(a, b);
    else copyFileNoReplace(a, b);
  }
  ctx_.say(format("%s operation for %s succeeded", t.op.c_str(), t.name.c_str()));
  browser_.listing().addFile(0, folder, t.name, 0, browser_.listingRules());
}

void FileOps::dropOnFolderList(const std::string& name, int folderIndex) {
  if (hooks_.closeDocument) hooks_.closeDocument();
  RootLocation& r = ctx_.roots.current();
  ListModel& folders = browser_.folderList();
  if (folderIndex < 0 || folderIndex >= folders.size()) return;
  const std::string target = folders.at(folderIndex).name;
  if (!r.inUse || target.empty() || name.empty()) return;
  const std::string from = joinPath(r.filesFolder(), name);
  const std::string folder = target == kUpEntry ? parentOf(r.filesFolder()) : joinPath(r.path, target);
  const std::string to = joinPath(folder, name);
  if (exists(to)) {
    ctx_.say("File exists");
    return;
  }
  const std::string fromCompanion = companionOf(from);
  DiskResult result = moveNoReplace(from, to);
  if (!result.ok) {
    ctx_.say(format("Moving of %s failed: %s", name.c_str(), result.error.c_str()));
    return;
  }
  transferCompanion(fromCompanion, companionOf(to), true, to);
  browser_.listing().listFilesInPlace(r.filesFolder(), browser_.listingRules(), false);
  ctx_.say(format("Moving %s succeeded", name.c_str()));
}

void FileOps::startRename() {
  ListModel& files = browser_.fileList();
  if (!ctx_.roots.current().inUse || files.selected() < 0) return;
  if (hooks_.beginLabelEdit) hooks_.beginLabelEdit(cmd::kFileList, files.selected());
}

void FileOps::fileLabelEdited(const std::string& oldText, const std::string& newText) {
  RootLocation& r = ctx_.roots.current();
  if (!r.inUse) return;
  if (newText.empty() || newText == kCancelledEditText) {
    ctx_.say("Error getting new name");
    return;
  }
  ListModel& files = browser_.fileList();
  int index = files.selected();
  if (index < 0 || files.at(index).name != oldText) index = files.find(oldText);
  const std::string folder = r.filesFolder();
  const std::string from = joinPath(folder, oldText), to = joinPath(folder, newText);
  const bool shown = !r.selectedFile.empty() && equalsNoCase(r.selectedFile, oldText);
  if (shown && hooks_.closeDocument) hooks_.closeDocument();
  // A name is one path component: "/" would move the file elsewhere.
  const bool plainName = newText.find('/') == std::string::npos && newText != "." && newText != "..";
  const std::string fromCompanion = plainName ? companionOf(from) : std::string();
  DiskResult result = plainName ? moveNoReplace(from, to) : DiskResult{};
  if (!result.ok) {
    setItemText(files, index, oldText);
    ctx_.say(format("Error renaming %s", oldText.c_str()));
  } else {
    setItemText(files, index, newText);
    ctx_.say(format("%s renamed %s", oldText.c_str(), newText.c_str()));
    transferCompanion(fromCompanion, companionOf(to), true, to);
  }
  if (shown) {
    if (hooks_.openFile) hooks_.openFile(result.ok ? newText : oldText);
  } else if (!r.selectedFile.empty()) {
    files.selectName(r.selectedFile);
  }
}

void FileOps::deleteSelected() {
  RootLocation& r = ctx_.roots.current();
  ListModel& files = browser_.fileList();
  if (!r.inUse || files.selected() < 0) return;
  const std::string name = files.selectedName();
  const std::string path = joinPath(r.filesFolder(), name);
  if (hooks_.closeDocument) hooks_.closeDocument();
  if (ctx_.ports.dialogs && !ctx_.ports.dialogs->confirm("Delete", path)) return;
  const std::string companion = companionOf(path);
  std::int64_t now = ctx_.nowNs();
  if (now == 0)
    now = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  TrashResult trashed = moveToTrash(path, now);
  ctx_.say(trashed.message);
  if (!trashed.ok) return;
  if (!companion.empty() && isRegularFile(companion)) {
    if (companionIsBare(companion)) ::unlink(companion.c_str());
    else moveToTrash(companion, now);
  }
  int index = files.find(name);
  if (index >= 0) {
    std::vector<ListItem> items = files.items();
    items.erase(items.begin() + index);
    files.assign(std::move(items));
  }
}

void FileOps::newFolder() {
  if (!ctx_.roots.current().inUse) return;
  ListModel& folders = browser_.folderList();
  folders.insert(0, ListItem{std::string(kNewFolderText), 1, {}, 0});
  folders.setSelected(0);
  if (hooks_.beginLabelEdit) hooks_.beginLabelEdit(cmd::kFolderList, 0);
}

void FileOps::folderLabelEdited(const std::string& oldText, const std::string& newText) {
  RootLocation& r = ctx_.roots.current();
  if (!r.inUse || newText.empty() || newText == kCancelledEditText) return;
  ListModel& folders = browser_.folderList();
  int index = folders.selected();
  if (index < 0 || folders.at(index).name != oldText) index = folders.find(oldText);
  const std::string newPath = joinPath(r.path, newText), oldPath = joinPath(r.path, oldText);
  if (oldText == kUpEntry) {
    setItemText(folders, index, std::string(kUpEntry));
    return;
  }
  if (isDirectory(newPath)) {
    ctx_.say(format("Directory %s already exists", newText.c_str()));
    setItemText(folders, index, oldText);
    return;
  }
  if (equalsNoCase(oldText, kNewFolderText) && !isDirectory(joinPath(r.path, kNewFolderText))) {
    std::error_code ec;
    std::filesystem::create_directories(newPath, ec);
    ctx_.say(format(ec ? "Could not create %s" : "Created %s", newText.c_str()));
    setItemText(folders, index, newText);
    return;
  }
  if (!isDirectory(oldPath)) return;
  // The folder whose files are listed moves with its name; a document shown
  // from it is closed first so it is never saved under the old path.
  const bool listed = !r.selectedFolder.empty() && r.selectedFolder == oldText && r.filesFolder() == oldPath;
  if (listed && hooks_.closeDocument) hooks_.closeDocument();
  // A rename keeps the folder where it is: a "/" in the new name would move it.
  const int err = newText.find('/') == std::string::npos ? renameNoReplace(oldPath, newPath) : EINVAL;
  ctx_.say(err == 0 ? format("Directory renamed to %s", newText.c_str()) : std::string("Directory not renamed"));
  setItemText(folders, index, newText);
  if (err == 0 && listed) {
    r.selectedFolder = newText;
    r.currentFolder = newPath;
  }
}

std::string FileOps::selectedFilePath() const {
  const RootLocation& r = ctx_.roots.current();
  const std::string name = browser_.fileList().selectedName();
  if (!r.inUse || name.empty()) return {};
  return joinPath(r.filesFolder(), name);
}

std::string FileOps::selectedFolderPath() const {
  const RootLocation& r = ctx_.roots.current();
  const std::string name = browser_.folderList().selectedName();
  if (!r.inUse || name.empty() || name == kUpEntry) return {};
  return joinPath(r.path, name);
}

std::string FileOps::folderToOpen() const {
  const RootLocation& r = ctx_.roots.current();
  return r.inUse ? r.filesFolder() : std::string();
}

bool FileOps::command(int id) {
  switch (id) {
    case cmd::kNewFolder: newFolder(); return true;
    case cmd::kDeleteFile: deleteSelected(); return true;
    case cmd::kRenameFile: startRename(); return true;
    case cmd::kCutFile: cut(); return true;
    case cmd::kCopyFile: copy(); return true;
    case cmd::kPasteFile: paste(); return true;
    default: break;
  }
  Desktop* desktop = ctx_.ports.desktop;
  if (id >= kFilterAll && id <= kFilterWeb) {
    // One listing with the filter; the next one shows every file again.
    if (hooks_.closeDocument) hooks_.closeDocument();
    browser_.listFiltered(id);
  } else if (id == cmd::kOpenAsText) {
    if (browser_.fileList().selected() >= 0 && hooks_.openAsText) hooks_.openAsText();
  } else if (id == cmd::kLaunchFile || id == cmd::kOpenFolderExternally) {
    const std::string target = id == cmd::kLaunchFile ? selectedFilePath() : folderToOpen();
    if (desktop && !target.empty()) desktop->openExternally(target);
  } else if (id == cmd::kFileProperties || id == cmd::kFolderProperties) {
    const std::string target = id == cmd::kFileProperties ? selectedFilePath() : selectedFolderPath();
    if (desktop && !target.empty()) desktop->showProperties(target);
  } else {
    return false;
  }
  return true;
}

ListMenuState FileOps::menuState(bool clipboardHasImage) const {
  ListMenuState s;
  s.transferPending = transferPending();
  s.clipboardHasImage = clipboardHasImage;
  s.externalProgramExe = ctx_.settings.text(setting::ExternalProgramExe);
  s.externalProgramAlias = ctx_.settings.text(setting::ExternalProgramAlias);
  return s;
}

}  // namespace vm
