// The App's open dispatch, the leave step, closing, new notes and sheets,
// Back, the Multibar, and the routes by which one feature opens another's
// documents (page and cell links, addresses).
#include <algorithm>

#include "app/app.h"
#include "browse/list_menus.h"
#include "core/commands.h"
#include "notes/date_template.h"
#include "notes/note_file.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "render/markup.h"
#include "sheet/sheet_file.h"

namespace vm {

DocumentViewer& App::viewerOf(Viewer v) {
  switch (v) {
    case Viewer::Web: return web_;
    case Viewer::Sheet: return sheet_;
    case Viewer::Text: break;
  }
  return note_;
}

void App::selectAndOpen(const std::string& name, bool focus) {
  if (fileList().selectName(name)) openSelectedFile(1, focus, true);
}

// ---------------------------------------------------------------- open dispatch

bool App::openSelectedFile(int how, bool focus, bool remember) {
  if (openRunning_) return false;
  openRunning_ = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{openRunning_};

  ListModel& files = fileList();
  const std::string leaving = roots_.current().selectedFile;
  if (!leaveLocation(remember)) {
    // Neither saved nor rescued: the note stays open with its text.
    files.selectName(leaving);
    return false;
  }
  browser_.offerRecent(roots_.current());
  status_.setCharCount(std::nullopt);
  status_.setWordCount(std::nullopt);

  int index = files.selected();
  if (index < 0) return false;
  if (how == 4) index = std::max(0, index - 1);
  if (how == 5) index = std::min(files.size() - 1, index + 1);
  files.setSelected(index);
  RootLocation& r = roots_.current();
  r.selectedFile = files.at(index).name;

  Viewer v = Viewer::Text;
  if (how == 3) {
    focus = true;
  } else {
    const ViewerTables& tables = browser_.tables();
    int slot = mode_ == Mode::View ? tables.findViewViewer(r.selectedFile) : -1;
    if (slot < 0) {
      slot = tables.findEditViewer(r.selectedFile);
      if (slot < 0 && mode_ != Mode::View) slot = tables.findViewViewer(r.selectedFile);
    }
    if (slot < 0 && how == 2) {
      if (ports_.desktop) ports_.desktop->openExternally(joinPath(r.filesFolder(), r.selectedFile));
      return true;
    }
    if (slot != kViewerText && slot != kViewerWeb && slot != kViewerSheet) {
      std::string keep = r.selectedFile;
      closeDocument();
      files.selectName(keep);
      say("No internal viewer for this file type");
      return false;
    }
    if (slot == kViewerText && !r.inUse) return false;
    v = slot == kViewerWeb ? Viewer::Web : slot == kViewerSheet ? Viewer::Sheet : Viewer::Text;
  }
  selectViewer(v);
  // A message of the leave step (the text went to a conflict copy or to
  // rescued/) outlives the opening of the next file.
  if (!note_.messageKept()) status_.hideNow();
  const bool ok = shownViewer().open(focus);
  return ok || v == Viewer::Web;
}

void App::selectViewer(Viewer v) {
  if (v == viewer_) return;
  const Viewer was = viewer_;
  if (was == Viewer::Text) {
    ports_.editor->setVisible(false);
    note_.unload(true);
  }
  viewer_ = v;  // the menus and toolbar drop the page's state
  if (was != Viewer::Text) viewerOf(was).close();
  if (v == Viewer::Text) ports_.editor->setVisible(true);
  updateToolbar();
  viewerChanged();
}

// Every change of place begins here: the place may go on the Back list, and
// unsaved work in the shown viewer is saved (or kept elsewhere).
bool App::leaveLocation(bool remember) {
  const RootLocation place = roots_.current();
  const bool left = (viewer_ == Viewer::Text && !place.inUse) || shownViewer().leave();
  // The place goes on the Back list once it is really left.
  if (left && remember && !place.selectedFile.empty()) browser_.history().push(place);
  return left;
}

bool App::closeDocument() {
  RootLocation& r = roots_.current();
  // The note is saved, or its text kept in rescued/, before the editor is
  // emptied; when neither works the note stays open with its text.
  if (viewer_ == Viewer::Text && !leaveLocation(false)) return false;
  // Any way of leaving a shown file (another folder or root, a sort, a new
  // note) keeps the place for Back; Back itself does not.
  if (!goingBack_) browser_.history().push(r);
  if (viewer_ == Viewer::Text && r.inUse && ports_.editor->isEnabled()) note_.unload(true);
  if (folderList().selected() < 0) r.selectedFolder.clear();
  browser_.offerRecent(r);
  r.selectedFile.clear();
  note_.close();
  status_.setTitle("");
  if (status_.useStatBar() && !note_.messageKept()) status_.show("");
  status_.setCharCount(std::nullopt);
  status_.setWordCount(std::nullopt);
  const Viewer was = viewer_;
  viewer_ = Viewer::Text;
  if (was != Viewer::Text) {
    viewerOf(was).close();
    updateToolbar();
    viewerChanged();
  }
  return true;
}

// ---------------------------------------------------------------- new files

void App::newNote(bool switchToEdit) {
  RootLocation& r = roots_.current();
  if (!r.inUse) return;
  if (switchToEdit && mode_ == Mode::View) switchModeOnly();
  if (!closeDocument()) return;
  r.selectedFile = vm::newNoteName(r.filesFolder(), r.defaultExtension);
  status_.setTitle(r.selectedFile);
  openNewFile();
}

void App::openNewFile() {
  RootLocation& r = roots_.current();
  const std::string path = joinPath(r.filesFolder(), r.selectedFile);
  bool fromTemplate = false;
  if (!pathExists(path)) {
    auto lookup = [this](std::string_view key, std::string_view def) {
      const SettingDef* d = findSetting(key);
      return d ? settings_.text(*d) : std::string(def);
    };
    createNoteFile(path, r.rootFolder, lookup, context_.now(), &fromTemplate);
  }
  if (!pathExists(path)) {
    say("Could not open");
    return;
  }
  selectViewer(Viewer::Text);
  browser_.watch().forget();
  browser_.relistFiles(r.selectedFile);
  note_.open(true);
  if (fromTemplate) {
    openSelectedFile(1, true, true);
    return;
  }
  if (mode_ == Mode::View) switchModeOnly();
  ports_.multibar->setText("");
  ports_.editor->setEnabled(true);
  ports_.editor->focus();
}

void App::newSpreadsheet(const std::string& typedName, bool focus) {
  RootLocation& r = roots_.current();
  if (!r.inUse) return;
  leaveLocation(true);
  if (!closeDocument()) return;
  selectViewer(Viewer::Sheet);
  if (mode_ == Mode::View) switchModeOnly();
  const std::string folder = r.filesFolder();
  const std::string name = newSpreadsheetName(folder, typedName);
  r.selectedFile = name;
  NewSpreadsheet made = createSpreadsheetFile(folder, name);
  if (!made.created) {
    say(made.message);
    return;
  }
  browser_.watch().forget();
  browser_.relistFiles(name);
  status_.hideNow();
  if (sheet_.openNew() && focus) focusControl(cmd::kSheetTable);
}

// ---------------------------------------------------------------- Back, F5, links

void App::goBack() {
  std::optional<RootLocation> e;
  int index = -1;
  // A place whose root is gone is passed over.
  while ((e = browser_.history().pop())) {
    index = roots_.find(e->rootFolder);
    if (index >= 0) break;
  }
  if (!e || index < 0) return;
  goingBack_ = true;
  if (!closeDocument()) {
    // The note stays open; the place stays on the Back list.
    browser_.history().push(*e);
  } else if (browser_.restorePlace(index, *e)) {
    openSelectedFile(1, false, false);
  }
  goingBack_ = false;
}

void App::pasteDate() {
  int focused = ports_.window ? ports_.window->focusedControl() : 0;
  if (focused == cmd::kMultibar)
    ports_.multibar->insertAtCaret(pasteDateText(DateTarget::Multibar, settings_.text(setting::MultibarDateTemplate),
                                                 settings_.flag(setting::MultibarPasteTimeWithDate), context_.now()));
  else if (focused == cmd::kCellEditor && viewer_ == Viewer::Sheet)
    sheet_.pasteDate();
  else if (focused == cmd::kNoteEditor && viewer_ == Viewer::Text)
    note_.pasteDate();
}

void App::openAddress(const std::string& text) {
  if (!closeDocument()) return;
  fileList().setSelected(-1);
  selectViewer(Viewer::Web);
  web_.showAddress(text);
}

void App::openLinkedNote(const std::string& name) {
  if (std::string file = browser_.linkedNote(name); !file.empty()) selectAndOpen(file, true);
}

// ---------------------------------------------------------------- the lists' menus

void App::listContextMenu(int control) {
  if (!ports_.window) return;
  std::vector<MenuItem> items;
  if (control == cmd::kFolderList) items = folderListMenu();
  if (control == cmd::kFileList)
    items = fileListMenu(fileOps_.menuState(ports_.clipboard && ports_.clipboard->hasImage()));
  if (items.empty()) return;
  if (int chosen = ports_.window->popupMenu(control, toPopupItems(items)); chosen != 0) command(chosen);
}

void App::labelEdited(int control, const std::string& oldText, const std::string& newText) {
  if (control == cmd::kFileList) fileOps_.fileLabelEdited(oldText, newText);
  if (control == cmd::kFolderList) fileOps_.folderLabelEdited(oldText, newText);
}

void App::fileDroppedOnFolder(const std::string& name, int folderIndex) {
  const int keep = folderList().selected();
  fileOps_.dropOnFolderList(name, folderIndex);
  folderList().setSelected(keep);
}

// ---------------------------------------------------------------- Multibar

void App::multibarContextMenu() {
  LineEditor& bar = *ports_.multibar;
  const std::string shown = viewer_ == Viewer::Text && !note_.loaded() ? std::string() : roots_.current().selectedFile;
  const int kind = shown.empty() ? kKindOther : browser_.tables().kindOf(shown);
  const std::string date = pasteDateText(DateTarget::Multibar, settings_.text(setting::MultibarDateTemplate),
                                         settings_.flag(setting::MultibarPasteTimeWithDate), context_.now());
  if (runMultibarMenu(bar, {bar.hasSelection(), bar.canPaste(), kind == kKindText || kind == kKindSheet || kind == kKindWeb, !shown.empty()}, date))
    focusControl(cmd::kMultibar);
}

void App::multibarEnter(bool skipWeb) {
  const std::string text = cutUtf8(ports_.multibar->text(), limits::kText);
  if (text.empty()) return;
  if (!skipWeb && startsWithWebPrefix(text)) {
    ports_.multibar->setText("");
    openAddress(text);
    return;
  }
  if (search_.multibar(text)) return;
  if (startsWithNoCase(text, "kw")) {
    const RootLocation& r = roots_.current();
    if (!r.selectedFile.empty() && !isUnsavedMarker(r.selectedFile))
      keywords_.multibarCommand(text, joinPath(r.filesFolder(), r.selectedFile));
    return;
  }

  search_.clearKind();
  RootLocation& r = roots_.current();
  for (const std::string& name : {text, text + r.defaultExtension}) {
    if (fileList().find(name) >= 0) {
      fileList().selectName(name);
      ports_.multibar->setText("");
      openSelectedFile(1, false, true);
      return;
    }
  }
  if (!r.inUse || !leaveLocation(true)) return;  // a note that could not be kept anywhere stays open
  if (text.size() > 4 && endsWithNoCase(text, ".csv")) {
    newSpreadsheet(text, false);
    return;
  }
  if (!isUnsavedMarker(r.selectedFile)) {
    if (!closeDocument()) return;
    r.selectedFile = std::string(kUnsavedMarker);
  }
  if (note_.resolveName()) openNewFile();
}

}  // namespace vm
