#include "browse/browser.h"

#include <algorithm>

#include "platform/limits.h"
#include "platform/text.h"

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

}  // namespace vm
