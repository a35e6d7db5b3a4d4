// The App's open dispatch, leaving a place, Back, the Multibar and the
// routing of the note editor's inputs to the note viewer.
#include <algorithm>
#include <system_error>

#include "core/app.h"
#include "core/commands.h"
#include "notes/date_template.h"
#include "notes/word_count.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

// Headless stand-ins for the editor and the Multibar when the App runs
// without a window (benchmarks, tools): they keep text and nothing else.
class HeadlessEditor : public TextEditor {
 public:
  std::string text() override { return text_; }
  void setText(const std::string& t) override {
    text_ = t;
    chars_ = countChars(text_);
  }
  void setEnabled(bool on) override { enabled_ = on; }
  bool isEnabled() override { return enabled_; }
  void setVisible(bool) override {}
  void setWordWrap(bool) override {}
  void focus() override {}
  std::size_t selectionStart() override { return 0; }
  std::size_t selectionEnd() override { return 0; }
  void replaceSelection(const std::string& t) override {
    if (readOnly_) return;
    text_ = t + text_;
    chars_ += countChars(t);
  }
  int scrollPosition() override { return 0; }
  void setReadOnly(bool on) override { readOnly_ = on; }
  std::size_t characterCount() override { return chars_; }

 private:
  std::string text_;
  std::size_t chars_ = 0;
  bool enabled_ = false;
  bool readOnly_ = false;
};

class HeadlessLine : public LineEditor {
 public:
  std::string text() override { return text_; }
  void setText(const std::string& t) override { text_ = t; }
  void insertAtCaret(const std::string& t) override { text_ += t; }
  void selectAll() override {}

 private:
  std::string text_;
};

void App::buildAccelerators() {
  if (!ports_.editor) {
    ownEditor_ = std::make_unique<HeadlessEditor>();
    ports_.editor = ownEditor_.get();
  }
  if (!ports_.multibar) {
    ownMultibar_ = std::make_unique<HeadlessLine>();
    ports_.multibar = ownMultibar_.get();
  }
  accelerators_ = {
      {"Ctrl+Alt+D", cmd::kFocusFolderList}, {"Ctrl+Alt+F", cmd::kFocusFileList},
      {"Ctrl+Alt+N", cmd::kFocusViewer},     {"Ctrl+Alt+R", cmd::kFocusRootList},
      {"Ctrl+B", cmd::kCtrlB},               {"Ctrl+E", cmd::kCtrlE},
      {"Ctrl+Enter", cmd::kCtrlEnter},       {"Ctrl+N", cmd::kCtrlN},
      {"Ctrl+S", cmd::kCtrlS},               {"Ctrl+Shift+M", cmd::kFocusMultibar},
      {"Ctrl+Shift+N", cmd::kNewSheetKey},
      {"F5", cmd::kPasteDate},               {"F6", cmd::kF6},
  };
}

bool App::wordWrap() const { return note_.wordWrap(); }

LocalTime App::now() const { return localTimeOf(ports_.clock ? ports_.clock->nowNs() : 0); }

std::string App::notePath() const {
  const RootLocation& r = roots_.current();
  return joinPath(r.filesFolder(), r.selectedFile);
}

void App::focusControl(int id) {
  if (ports_.window) ports_.window->focusControl(id);
}

// ---------------------------------------------------------------- open dispatch

bool App::openSelectedFile(int how, bool focus, bool remember) {
  if (openRunning_) return false;
  openRunning_ = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{openRunning_};

  const std::string leaving = roots_.current().selectedFile;
  if (!leaveLocation(remember)) {
    // Neither saved nor rescued: the note stays open with its text.
    fileList_.selectName(leaving);
    return false;
  }
  // A message of the leave step (the text went to a conflict copy or to
  // rescued/) outlives the opening of the next file.
  auto hideStatus = [this] {
    if (!note_.messageKept()) status_.hideNow();
  };
  browser_.offerRecent(roots_.current());
  status_.setCharCount(std::nullopt);
  status_.setWordCount(std::nullopt);

  int index = fileList_.selected();
  if (index < 0) return false;
  if (how == 4) index = std::max(0, index - 1);
  if (how == 5) index = std::min(fileList_.size() - 1, index + 1);
  fileList_.setSelected(index);
  RootLocation& r = roots_.current();
  r.selectedFile = fileList_.at(index).name;

  if (how == 3) {
    selectViewer(Viewer::Text);
    focus = true;
  } else {
    int slot = mode_ == Mode::View ? tables_.findViewViewer(r.selectedFile) : -1;
    if (slot < 0) {
      slot = tables_.findEditViewer(r.selectedFile);
      if (slot < 0 && mode_ != Mode::View) slot = tables_.findViewViewer(r.selectedFile);
    }
    if (slot < 0 && how == 2) {
      if (ports_.desktop) ports_.desktop->openExternally(notePath());
      return true;
    }
    if (slot == kViewerWeb) {
      selectViewer(Viewer::Web);
      hideStatus();
      web_.open(focus);
      return true;
    }
    if (slot == kViewerSheet) {
      selectViewer(Viewer::Sheet);
      hideStatus();
      bool ok = openSheet(false);
      if (ok && focus && ports_.sheet) ports_.sheet->focus();
      return ok;
    }
    if (slot != kViewerText) {
      std::string keep = r.selectedFile;
      closeDocument();
      fileList_.selectName(keep);
      say("No internal viewer for this file type");
      return false;
    }
    if (!r.inUse) return false;
    selectViewer(Viewer::Text);
  }
  hideStatus();
  return note_.open(focus);
}

void App::selectViewer(Viewer v) {
  if (v == viewer_) return;
  if (viewer_ == Viewer::Text) {
    ports_.editor->setVisible(false);
    note_.unload(true);
  } else if (viewer_ == Viewer::Web) {
    viewer_ = v;  // the menus and toolbar drop their page state
    web_.close();
  } else if (viewer_ == Viewer::Sheet) {
    closeSheet();
  }
  viewer_ = v;
  if (v == Viewer::Text) ports_.editor->setVisible(true);
  updateToolbar();
  viewerChanged();
}

// Every change of place begins here: the place may go on the Back list, and
// a note with unsaved changes is saved.
bool App::leaveLocation(bool remember) {
  RootLocation& r = roots_.current();
  const RootLocation place = r;
  // The place goes on the Back list once it is really left.
  auto remembered = [&](bool left) {
    if (left && remember && !place.selectedFile.empty()) history_.push(place);
    return left;
  };
  if (viewer_ == Viewer::Sheet) {
    saveSheet();  // a failed save keeps the sheet modified; closing it keeps a copy
    return remembered(true);
  }
  DocumentViewer* shown = documentViewer();
  return remembered(!r.inUse || !shown || shown->leave());
}

void App::saveNow() {
  RootLocation& r = roots_.current();
  if (viewer_ == Viewer::Sheet) {
    saveSheet();
    return;
  }
  if (DocumentViewer* shown = documentViewer(); r.inUse && shown) shown->save();
}

DocumentViewer* App::documentViewer() { return viewer_ == Viewer::Text ? &note_ : nullptr; }

bool App::closeDocument() {
  RootLocation& r = roots_.current();
  // The note is saved, or its text kept in rescued/, before the editor is
  // emptied; when neither works the note stays open with its text.
  if (viewer_ == Viewer::Text && !leaveLocation(false)) return false;
  // Any way of leaving a shown file (another folder or root, a sort, a new
  // note) keeps the place for Back; Back itself does not.
  if (!goingBack_) history_.push(r);
  if (viewer_ == Viewer::Text && r.inUse && ports_.editor->isEnabled()) note_.unload(true);
  if (folderList_.selected() < 0) r.selectedFolder.clear();
  browser_.offerRecent(r);
  r.selectedFile.clear();
  note_.close();
  status_.setTitle("");
  if (status_.useStatBar() && !note_.messageKept()) status_.show("");
  status_.setCharCount(std::nullopt);
  status_.setWordCount(std::nullopt);
  const Viewer was = viewer_;
  if (was == Viewer::Sheet) closeSheet();
  viewer_ = Viewer::Text;
  if (was != Viewer::Text) {
    if (was == Viewer::Web) web_.close();
    updateToolbar();
    viewerChanged();
  }
  return true;
}

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
  const std::string path = notePath();
  bool fromTemplate = false;
  if (!pathExists(path)) {
    auto lookup = [this](std::string_view key, std::string_view def) {
      const SettingDef* d = findSetting(key);
      return d ? settings_.text(*d) : std::string(def);
    };
    createNoteFile(path, r.rootFolder, lookup, now(), &fromTemplate);
  }
  if (!pathExists(path)) {
    say("Could not open");
    return;
  }
  selectViewer(Viewer::Text);
  watch_.forget();
  listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
  fileList_.selectName(r.selectedFile);
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

void App::autosaveTick() {
  int period = settings_.integer(setting::AutoSave);
  if (++autosaveCount_ < period) return;
  autosaveCount_ = 0;
  if (DocumentViewer* shown = documentViewer()) {
    if (roots_.current().inUse) shown->autosave();
  } else if (viewer_ == Viewer::Sheet && sheet_->modified()) {
    saveSheet(true);
  }
}

// ---------------------------------------------------------------- the note editor's inputs

void App::pasteDate() {
  int focused = ports_.window ? ports_.window->focusedControl() : 0;
  if (focused == cmd::kMultibar) {
    ports_.multibar->insertAtCaret(pasteDateText(DateTarget::Multibar, settings_.text(setting::MultibarDateTemplate),
                                                 settings_.flag(setting::MultibarPasteTimeWithDate), now()));
  } else if (focused == cmd::kCellEditor && viewer_ == Viewer::Sheet) {
    pasteDateInCell();
  } else if (focused == cmd::kNoteEditor && viewer_ == Viewer::Text) {
    note_.pasteDate();
  }
}

void App::menuAboutToOpen() {
  bool selection = viewer_ == Viewer::Text && !note_.selection().empty();
  menus_.setEnabled(cmd::kMailTo, selection);
  menus_.setEnabled(cmd::kMailBody, selection);
  menus_.setEnabled(cmd::kLaunchAssociated, selection);
}

void App::dropTextOnNote(const std::string& text) {
  if (viewer_ == Viewer::Text) note_.dropText(text);
}

void App::noteEdited() { note_.edited(); }

void App::noteKeyReleased() { note_.keyReleased(); }

// The viewers' own items go into the Tools menu in front of the mode switch.
void App::addToolsItem(MenuItem item) { context_.addToolsItem(std::move(item)); }

// ---------------------------------------------------------------- recent files and Back

void App::goBack() {
  std::optional<RootLocation> e;
  int index = -1;
  // A place whose root is gone is passed over.
  while ((e = history_.pop())) {
    index = roots_.find(e->rootFolder);
    if (index >= 0) break;
  }
  if (!e || index < 0) return;
  goingBack_ = true;
  if (!closeDocument()) {
    // The note stays open; the place stays on the Back list.
    goingBack_ = false;
    history_.push(*e);
    return;
  }
  RootLocation& r = roots_.at(index);
  RootLocation entry = *e;
  entry.currentFolder.clear();
  entry.inUse = true;
  r = entry;
  roots_.setCurrent(index);
  browser_.refillRootList();
  browser_.listFoldersOf(r, true);
  if (!r.selectedFolder.empty()) folderList_.selectName(r.selectedFolder);
  int sel = folderList_.selected();
  r.currentFolder = (sel >= 0 && folderList_.at(sel).icon != 0) ? joinPath(r.path, folderList_.at(sel).name) : "";
  listing_.listFilesFull(r.filesFolder(), listingRules(), false);
  if (fileList_.selectName(entry.selectedFile)) openSelectedFile(1, false, false);
  goingBack_ = false;
}

// ---------------------------------------------------------------- Multibar

void App::multibarEnter(bool skipWeb) {
  const std::string text = cutUtf8(ports_.multibar->text(), limits::kText);
  if (text.empty()) return;
  if (!skipWeb) {
    if (startsWithWebPrefix(text)) {
      openAddressFromMultibar(text);
      return;
    }
  }
  auto term = [&](std::size_t prefix) {
    std::string t = text.substr(prefix);
    t.erase(0, t.find_first_not_of(' ') == std::string::npos ? t.size() : t.find_first_not_of(' '));
    return t;
  };
  if (startsWithNoCase(text, "?d")) {
    lastSearch_ = {term(2), 2};
    return;
  }
  if (startsWithNoCase(text, "?k")) {
    lastSearch_ = {term(2), 3};
    return;
  }
  if (text.starts_with('?')) {
    lastSearch_ = {term(1), 1};
    if (viewer_ == Viewer::Sheet && !lastSearch_.term.empty() && !findInSheet(lastSearch_.term, true))
      say(std::string(kMsgSearchNotFound));
    return;
  }
  if (startsWithNoCase(text, "kw")) return;  // keywords

  lastSearch_.kind = 0;
  RootLocation& r = roots_.current();
  if (fileList_.find(text) >= 0 || (!r.defaultExtension.empty() && fileList_.find(text + r.defaultExtension) >= 0)) {
    fileList_.selectName(fileList_.find(text) >= 0 ? text : text + r.defaultExtension);
    ports_.multibar->setText("");
    openSelectedFile(1, false, true);
    return;
  }
  if (!r.inUse) return;
  if (!leaveLocation(true)) return;  // the note could not be kept anywhere: it stays open
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
