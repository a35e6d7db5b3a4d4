#include "browse/browser.h"

#include <algorithm>

#include "browse/backlinks.h"
#include "core/commands.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "render/markup.h"

namespace vm {

Browser::Browser(FeatureContext ctx, BrowserHooks hooks)
    : ctx_(ctx),
      hooks_(std::move(hooks)),
      listing_(folderList_, fileList_, [this](const std::string& s) { ctx_.say(s); }) {}

ListingRules Browser::listingRules() const {
  ListingRules r;
  r.hideHidden = ctx_.settings.flag(setting::HideHidden);
  r.hideProgramFiles = ctx_.settings.flag(setting::TnHideFiles) || !ctx_.settings.flag(setting::MenuViewVMFiles);
  r.tables = &tables_;
  return r;
}

void Browser::refillRootList() {
  rootListItems_ = ctx_.roots.displayNames();
  std::stable_sort(rootListItems_.begin(), rootListItems_.end(),
                   [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
  rootListCurrent_ = ctx_.roots.count() ? ctx_.roots.current().displayName : std::string();
  if (hooks_.rootListChanged) hooks_.rootListChanged();
}

void Browser::updateFolderLabel() {
  int per = ctx_.settings.integer(setting::TextWidthMultiple);
  if (per <= 0) per = static_cast<int>(leadingNumber(setting::TextWidthMultiple.def));
  const RootLocation& r = ctx_.roots.current();
  std::string text = r.inUse ? folderLabelText(r.path, r.rootFolder, listWidth() / per) : std::string();
  if (text != folderLabel_) {
    folderLabel_ = std::move(text);
    if (hooks_.folderLabelChanged) hooks_.folderLabelChanged();
  }
}

void Browser::listFoldersOf(RootLocation& loc, bool caption) {
  if (!loc.inUse) return;
  updateFolderLabel();
  listing_.listFolders(loc.rootFolder, loc.path, listingRules(), caption);
}

void Browser::listFilesOf(RootLocation& loc, bool caption) {
  if (!loc.inUse) {
    fileList_.clear();
    return;
  }
  listing_.listFilesFull(loc.filesFolder(), listingRules(), caption);
}

void Browser::listCurrentRoot(bool resetPath) {
  RootLocation& r = ctx_.roots.current();
  if (resetPath) {
    r.path = r.rootFolder;
    r.selectedFolder.clear();
    r.currentFolder.clear();
    r.selectedFile.clear();
  }
  fileList_.clear();
  if (!r.inUse) {
    folderList_.clear();
    updateFolderLabel();
    return;
  }
  listFoldersOf(r, true);
  listFilesOf(r, true);
}

void Browser::relistFiles(const std::string& name) {
  const std::string keep = name.empty() ? fileList_.selectedName() : name;
  listing_.listFilesInPlace(ctx_.roots.current().filesFolder(), listingRules(), false);
  if (!keep.empty()) fileList_.selectName(keep);
}

int Browser::listWidth() {
  if (!listWidth_) {
    int w = ctx_.settings.integer(setting::ListWidth);
    listWidth_ = w > 0 ? w : static_cast<int>(leadingNumber(setting::ListWidth.def));
  }
  return *listWidth_;
}

void Browser::setListWidth(int width) {
  listWidth_ = width;
  ctx_.settings.setInt(setting::ListWidth, width);
  updateFolderLabel();
}

void Browser::offerRecent(const RootLocation& loc) {
  if (addRecentFile(ctx_.roots.shortcuts(), lastRecent_, loc)) rebuildRecentMenu();
}

void Browser::rebuildRecentMenu() {
  MenuModel& menus = ctx_.menus;
  for (int id = cmd::kRecentSeparator; id <= cmd::kRecentSeparator + limits::kRecentSlots; ++id) menus.remove(id);
  bool any = false;
  for (int i = 0; i < limits::kRecentSlots; ++i) {
    const RootLocation& s = ctx_.roots.shortcuts()[static_cast<std::size_t>(i)];
    if (!s.inUse) continue;
    any = true;
    menus.insertBefore(0, cmd::kExit, MenuItem{cmd::kShortcutFirst + i, s.selectedFile, "", false, false, true, {}});
  }
  if (any) menus.insertBefore(0, cmd::kExit, MenuItem{cmd::kRecentSeparator, "", "", false, false, true, {}});
}

std::string folderLabelText(const std::string& path, const std::string& rootFolder, int maxChars) {
  const std::size_t max = maxChars > 0 ? static_cast<std::size_t>(maxChars) : 0;
  const std::size_t prefix = rootFolder.size();
  if (path.size() <= max || path.size() <= prefix) return "  " + path;
  auto slash = path.find('/', prefix);
  std::string head = path.substr(0, slash);
  std::string tail = lastComponent(path);
  std::string shortForm = head + "/.../" + tail;
  if (slash != std::string::npos && shortForm.size() <= max) return "  " + shortForm;
  return "  .../" + tail;
}

// ---------------------------------------------------------------- places

bool Browser::selectRoot(const std::string& text, bool typed) {
  Roots& roots = ctx_.roots;
  if (!text.empty()) {
    int i = roots.find(text);
    if (i < 0 && typed) {
      std::string folder = text;
      bool exists = expandPathVariables(folder, ctx_.env.paths) && isDirectory(folder);
      if (exists)
        i = roots.add(folder, folder, "", "", ctx_.settings.text(setting::DefaultExtension),
                      [this](const std::string& s) { ctx_.say(s); });
      if (i < 0) {
        // Stay where we are, so the message is not replaced by a listing caption.
        ctx_.say("Error adding root");
        refillRootList();
        return false;
      }
    }
    if (i >= 0) roots.setCurrent(i);
    ctx_.settings.set(setting::LastRoot, text);
  }
  refillRootList();
  listCurrentRoot(true);
  return true;
}

void Browser::selectFolder(int index) { listing_.selectFolder(ctx_.roots.current(), index, listingRules()); }

void Browser::enterFolder(int index) {
  listing_.enterFolder(ctx_.roots.current(), index, listingRules());
  updateFolderLabel();
}

bool Browser::goToShortcut(const RootLocation& sc) {
  Roots& roots = ctx_.roots;
  int i = roots.find(sc.rootFolder);
  if (i < 0) {
    if (!isDirectory(sc.rootFolder)) {
      ctx_.say(format("Folder not found: %s", sc.rootFolder.c_str()));
      return false;
    }
    i = roots.add(sc.rootFolder, sc.rootFolder, sc.displayName, sc.defaultExtension,
                  ctx_.settings.text(setting::DefaultExtension), [this](const std::string& s) { ctx_.say(s); });
    if (i < 0) return false;
  }
  roots.setCurrent(i);
  RootLocation& r = roots.current();
  r.path = sc.path.empty() ? r.rootFolder : sc.path;
  r.selectedFolder = sc.selectedFolder;
  r.currentFolder = sc.selectedFolder.empty() ? std::string() : joinPath(r.path, sc.selectedFolder);
  r.selectedFile = sc.selectedFile;
  refillRootList();
  listFoldersOf(r, true);
  if (!r.selectedFolder.empty()) folderList_.selectName(r.selectedFolder);
  listFilesOf(r, true);
  return fileList_.selectName(sc.selectedFile);
}

bool Browser::restorePlace(int rootIndex, const RootLocation& place) {
  RootLocation& r = ctx_.roots.at(rootIndex);
  r = place;
  r.currentFolder.clear();
  r.inUse = true;
  ctx_.roots.setCurrent(rootIndex);
  refillRootList();
  listFoldersOf(r, true);
  if (!r.selectedFolder.empty()) folderList_.selectName(r.selectedFolder);
  int sel = folderList_.selected();
  r.currentFolder = (sel >= 0 && folderList_.at(sel).icon != 0) ? joinPath(r.path, folderList_.at(sel).name) : "";
  listing_.listFilesFull(r.filesFolder(), listingRules(), false);
  return fileList_.selectName(place.selectedFile);
}

std::string Browser::addCommandLineRoot(const std::string& path) {
  std::string folder = parentOf(path);
  expandPathVariables(folder, ctx_.env.paths);
  if (folder.empty() || !isDirectory(folder)) {
    ctx_.say("Error adding root");
    return {};
  }
  // A later file (handed over by another start) moves the root "Command
  // Line" to its folder: the Root List keeps one entry of that name.
  Roots& roots = ctx_.roots;
  for (int k = 0; k < roots.count(); ++k) {
    RootLocation& r = roots.at(k);
    if (r.displayName != kRootCommandLine || r.configuredRoot != r.rootFolder) continue;
    RootLocation moved;
    moved.inUse = true;
    moved.rootFolder = withoutTrailingSlash(folder);
    moved.configuredRoot = moved.rootFolder;
    moved.displayName = r.displayName;
    moved.path = moved.rootFolder;
    moved.defaultExtension = r.defaultExtension;
    r = std::move(moved);
    commandLineRoot_ = k;
    return lastComponent(path);
  }
  int i = roots.add(folder, folder, std::string(kRootCommandLine), "",
                    ctx_.settings.text(setting::DefaultExtension), [this](const std::string& s) { ctx_.say(s); });
  if (i < 0) return {};
  commandLineRoot_ = i;
  return lastComponent(path);
}

std::string Browser::indexFile() const {
  if (!ctx_.settings.flag(setting::LoadIndexFiles)) return {};
  std::string name = ctx_.settings.text(setting::IndexFile);
  if (name.empty() || !isRegularFile(joinPath(ctx_.roots.current().filesFolder(), name))) return {};
  return name;
}

std::string Browser::linkedNote(const std::string& name) {
  if (name.empty()) return {};
  RootLocation& r = ctx_.roots.current();
  for (const std::string& candidate :
       {name, name + r.defaultExtension, name + ctx_.settings.text(setting::DefaultExtension)}) {
    if (fileList_.find(candidate) >= 0) return candidate;
  }
  if (!r.inUse) return {};
  std::string file = cleanNoteName(name);
  if (!endsWithNoCase(file, r.defaultExtension)) file += r.defaultExtension;
  const std::string path = joinPath(r.filesFolder(), file);
  if (!pathExists(path) && !writeFileAtomic(path, "")) {
    ctx_.say(format("Could not create %s", file.c_str()));
    return {};
  }
  watch_.forget();
  listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
  return fileList_.find(file) >= 0 ? file : std::string();
}

bool Browser::pollFiles() {
  const std::string folder = ctx_.roots.current().filesFolder();
  if (!watch_.poll(folder)) return true;
  std::string keep = fileList_.selectedName();
  listing_.listFilesInPlace(folder, listingRules(), false);
  return keep.empty() || fileList_.selectName(keep);
}

void Browser::listFiltered(int filterId) {
  RootLocation& r = ctx_.roots.current();
  if (!r.inUse) return;
  ListingRules rules = listingRules();
  rules.filter = filterId;
  listing_.listFilesFull(r.filesFolder(), rules, true);
}

bool Browser::showRoot(int rootIndex, const std::string& name) {
  ctx_.roots.setCurrent(rootIndex);
  refillRootList();
  listCurrentRoot(true);
  return fileList_.selectName(name);
}

std::vector<std::string> Browser::fileNames() const {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(fileList_.size()));
  for (int i = 0; i < fileList_.size(); ++i) names.push_back(fileList_.at(i).name);
  return names;
}

bool Browser::selectEntry(std::size_t index, const std::string& name) {
  const int i = static_cast<int>(index);
  if (i < fileList_.size() && fileList_.at(i).name == name) {
    fileList_.setSelected(i);
    return true;
  }
  return fileList_.selectName(name);
}

void Browser::listLinksTo(const std::string& notePath, const std::function<bool()>& pump) {
  RootLocation& r = ctx_.roots.current();
  if (!r.inUse || notePath.empty()) return;
  const BacklinkResult found = linksToNote(r.rootFolder, notePath, pump);
  if (found.stopped) return;
  const std::string folder = r.filesFolder();
  const std::filesystem::path base(folder);
  fileList_.clear();
  const ListingRules rules = listingRules();
  for (const std::string& rel : found.notes) {
    const std::string name = (std::filesystem::path(r.rootFolder) / rel).lexically_relative(base).generic_string();
    listing_.addFile(fileList_.size(), folder, name, 0, rules);
  }
  const std::string note = lastComponent(notePath);
  ctx_.say(found.notes.empty() ? format("No notes link to %s", note.c_str())
                               : format("Notes linking to %s: %zu", note.c_str(), found.notes.size()));
}

void Browser::toggleProgramFiles() {
  const MenuItem* item = ctx_.menus.find(cmd::kViewProgramFiles);
  if (!item) return;
  const bool on = !item->checked;
  ctx_.menus.setChecked(cmd::kViewProgramFiles, on);
  ctx_.settings.set(setting::MenuViewVMFiles, on ? "1" : "0");
  if (ctx_.roots.current().inUse) relistFiles("");
}

}  // namespace vm
