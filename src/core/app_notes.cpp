// The App's open dispatch, note files, leaving a place, Back, the Multibar
// and the note's own commands.
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

namespace {

constexpr std::int64_t kWordCountPeriodNs = 1'000'000'000;  // at most one word count a second
constexpr std::size_t kMaxMailSelection = 259;

// Last-write time and size of a file: what the folder watch tick compares
// before it reads a note again.
std::optional<std::pair<std::int64_t, std::uint64_t>> fileMark(const std::string& path) {
  auto t = lastWriteNs(path);
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (!t || ec) return std::nullopt;
  return std::make_pair(*t, static_cast<std::uint64_t>(size));
}


}  // namespace

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

bool App::wordWrap() const { return settings_.flag(setting::WordWrap); }

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
    if (!messageKept()) status_.hideNow();
  };
  offerRecent(roots_.current());
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
      openInWebViewer();
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
  return loadNote(focus);
}

void App::selectViewer(Viewer v) {
  if (v == viewer_) return;
  if (viewer_ == Viewer::Text) {
    ports_.editor->setVisible(false);
    unloadNote(true);
  } else if (viewer_ == Viewer::Web) {
    viewer_ = v;  // the menus and toolbar drop their page state
    closeWebViewer();
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
  if (!r.inUse || viewer_ != Viewer::Text || !noteLoaded_ || !modified_) return remembered(true);
  // The editor is about to be emptied or refilled: text that cannot go to
  // its file goes to rescued/.
  if (saveNoteFor(SaveCause::Leave) || !modified_) return remembered(true);
  const std::string text = ports_.editor->text();
  if (text.empty()) return remembered(true);  // an emptied note loses nothing
  rescueText(text);
  return remembered(!modified_);
}

void App::saveNow() {
  RootLocation& r = roots_.current();
  if (viewer_ == Viewer::Sheet) {
    saveSheet();
    return;
  }
  if (!r.inUse || viewer_ != Viewer::Text) return;
  if (noteLock_ != NoteLock::None) {
    saveNoteFor(SaveCause::User);  // says why nothing is written
    return;
  }
  if (!modified_) return;
  saveNoteFor(SaveCause::User);  // a failed save keeps the mark and the text; the next save tries again
}

void App::sayKept(const std::string& text) {
  say(text);
  keptMessage_ = status_.message();
}

bool App::messageKept() const { return !keptMessage_.empty() && status_.message() == keptMessage_; }

std::string App::rescueText(const std::string& text, const std::filesystem::path& where) {
  if (text.empty()) return {};
  std::error_code ec;
  auto folder = where.empty() ? env_.home / "rescued" : where;
  std::filesystem::create_directories(folder, ec);
  const RootLocation& r = roots_.current();
  std::string base = isUnsavedMarker(r.selectedFile) || r.selectedFile.empty() ? "New Note.txt" : r.selectedFile;
  std::string name = conflictName(base, now());
  for (int n = 2; pathExists(folder / name) && n < 1000; ++n) name = conflictName(base, now(), n);
  std::string err;
  std::string message;
  if (writeFileAtomic(folder / name, text, &err)) {
    message = format("Could not save the note; your text was kept in %s", (folder / name).c_str());
    modified_ = false;
    status_.clearModified();
  } else {
    message = format("Could not save the note: %s", err.c_str());
  }
  sayKept(message);
  return message;
}

// ---------------------------------------------------------------- note files

namespace {

const char* lockMessage(App::NoteLock lock) {
  switch (lock) {
    case App::NoteLock::NulByte:
      return "Read-only: the file holds a NUL byte; only the text in front of it is shown";
    case App::NoteLock::NotWritable: return "Read-only: the file cannot be written";
    case App::NoteLock::Help: return "Read-only: the program's help";
    case App::NoteLock::None: break;
  }
  return "";
}

}  // namespace

bool App::isHelpNote() const {
  const RootLocation& help = roots_.shortcuts()[kHelpSlot];
  if (help.rootFolder.empty()) return false;
  std::error_code ec;
  return std::filesystem::equivalent(parentOf(notePath()), help.rootFolder, ec) && !ec;
}

bool App::loadNote(bool focus) {
  ports_.multibar->setText("");
  unloadNote(false);
  const std::string path = notePath();
  std::string err;
  LoadError why = LoadError::None;
  auto note = loadNoteFile(path, settings_.flag(setting::CheckForBOM), settings_.flag(setting::FormatNewLines), &err,
                           &why);
  if (!note) {
    if (why == LoadError::Missing) say(format("File does not exist: %s", path.c_str()));
    return false;
  }
  TextEditor& ed = *ports_.editor;
  ed.setWordWrap(wordWrap());
  ed.setText(note->text);
  noteStamp_ = note->stamp();
  noteMtime_ = fileMark(path);
  noteBaseline_ = NoteBaseline{std::move(note->bytes), std::move(note->text), note->format};
  noteLoaded_ = true;
  noteGone_ = false;
  modified_ = false;
  savedWords_.reset();
  switch (note->readOnly) {
    case ReadOnlyReason::NulByte: noteLock_ = NoteLock::NulByte; break;
    case ReadOnlyReason::NotWritable: noteLock_ = NoteLock::NotWritable; break;
    case ReadOnlyReason::None: noteLock_ = isHelpNote() ? NoteLock::Help : NoteLock::None; break;
  }
  ed.setReadOnly(noteLock_ != NoteLock::None);
  if (noteLock_ != NoteLock::None && noteLock_ != NoteLock::Help && !messageKept()) say(lockMessage(noteLock_));
  status_.setTitle(roots_.current().selectedFile);
  ed.setVisible(true);
  ed.setEnabled(true);
  if (focus) ed.focus();
  insertNoteMenuItems();
  updateCounters(true);
  viewerChanged();
  return true;
}

void App::unloadNote(bool full) {
  removeNoteMenuItems();
  noteLoaded_ = false;
  noteStamp_.reset();
  noteMtime_.reset();
  noteBaseline_ = NoteBaseline{};
  noteGone_ = false;
  if (noteLock_ != NoteLock::None) {
    noteLock_ = NoteLock::None;
    ports_.editor->setReadOnly(false);
  }
  if (modified_) {
    modified_ = false;
    status_.clearModified();
  }
  status_.setCharCount(std::nullopt);
  if (full) {
    ports_.editor->setEnabled(false);
    status_.setWordCount(std::nullopt);
  }
}

bool App::resolveNoteName() {
  RootLocation& r = roots_.current();
  if (!isUnsavedMarker(r.selectedFile)) return true;
  NameResolution res = vm::resolveNoteName(r.filesFolder(), ports_.multibar->text(), r.defaultExtension);
  switch (res.check) {
    case NameCheck::Empty: say("Please choose a note name"); return false;
    case NameCheck::Exists: say("File exists"); return false;
    case NameCheck::Invalid:
    case NameCheck::TooLong: say(format("Not a usable note name: %s", res.name.c_str())); return false;
    case NameCheck::Ok: break;
  }
  r.selectedFile = res.name;
  status_.setTitle(res.name);
  if (modified_) status_.markModified();
  ports_.multibar->setText("");
  return true;
}

bool App::saveNote() { return saveNoteFor(SaveCause::User); }

bool App::saveNoteFor(SaveCause cause) {
  if (noteLock_ != NoteLock::None) {
    // Nothing is ever written to a read-only note.
    if (cause == SaveCause::User) say(lockMessage(noteLock_));
    return false;
  }
  const std::string path = notePath();
  if (noteGone_ && cause != SaveCause::User) {
    // Deleted by another program: only the user's own Save writes it back.
    if (cause == SaveCause::Autosave) sayKept(format("The note's file is gone: %s", path.c_str()));
    return false;
  }
  if (!resolveNoteName()) return false;
  watch_.forget();  // our own write is no change from outside
  const std::string text = ports_.editor->text();
  if (text.empty()) {
    // An empty note is never written.
    if (cause == SaveCause::User) say("An empty note is not saved");
    return true;
  }
  const bool hadBaseline = noteLoaded_ && !noteBaseline_.bytes.empty();
  const bool wasGone = noteGone_;
  SaveResult res = saveNoteFile(notePath(), text, wasGone ? std::nullopt : noteStamp_, now(),
                                hadBaseline ? &noteBaseline_ : nullptr);
  RootLocation& r = roots_.current();
  switch (res.kind) {
    case SaveResult::Kind::Empty: return true;
    case SaveResult::Kind::Failed:
      say(format("Note not saved: %s", res.error.c_str()));
      return false;
    case SaveResult::Kind::Conflict: {
      // Someone else changed the file: theirs stays, ours goes beside it.
      const std::string copy = lastComponent(res.path);
      const std::string keep = fileList_.selectedName();
      listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
      if (cause == SaveCause::Leave) {
        // The user is on the way to another file: that one opens, the copy
        // is only named.
        if (!keep.empty()) fileList_.selectName(keep);
      } else {
        // The copy becomes the open note.
        r.selectedFile = copy;
        fileList_.selectName(copy);
        status_.setTitle(copy);
      }
      sayKept(format("Note changed on disk; your text was saved as %s", copy.c_str()));
      break;
    }
    case SaveResult::Kind::Saved:
      if (res.becameUtf8)
        sayKept("Note saved as UTF-8: Windows-1252 cannot hold all of its characters");
      else
        say("Note saved");
      if (wasGone) {
        listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
        fileList_.selectName(r.selectedFile);
      }
      break;
  }
  noteStamp_ = res.stamp;
  noteGone_ = false;
  if (res.kind == SaveResult::Kind::Saved || cause != SaveCause::Leave) {
    noteBaseline_ = NoteBaseline{std::move(res.bytes), text, res.format};
    noteMtime_ = fileMark(res.path);
  }
  savedWords_.reset();
  if (modified_) {
    modified_ = false;
    status_.clearModified();
  }
  updateCounters(true);
  return true;
}

void App::checkNoteOnDisk() {
  if (viewer_ != Viewer::Text || !noteLoaded_ || !noteStamp_) return;
  const std::string path = notePath();
  const auto mtime = fileMark(path);
  if (!mtime) {
    if (!pathExists(path) && modified_ && !noteGone_) {
      // The text stays in the editor, unsaved; nothing writes it back unasked.
      noteGone_ = true;
      sayKept(format("The note's file is gone: %s", path.c_str()));
    }
    return;
  }
  noteGone_ = false;
  if (mtime == noteMtime_) return;
  noteMtime_ = mtime;
  auto bytes = readWholeFile(path);
  if (!bytes || stampOf(*bytes) == *noteStamp_) return;
  // With unsaved changes the next save writes the conflict copy; without,
  // the editor shows what the other program wrote.
  if (modified_ || noteLock_ == NoteLock::NulByte) return;
  NoteFormat format;
  bool nul = false;
  std::string text = noteTextForEditor(*bytes, settings_.flag(setting::CheckForBOM),
                                       settings_.flag(setting::FormatNewLines), &nul, &format);
  if (nul) return;  // shown as it was; the next open makes it read-only
  ports_.editor->setText(text);
  noteStamp_ = stampOf(*bytes);
  noteBaseline_ = NoteBaseline{std::move(*bytes), std::move(text), format};
  savedWords_.reset();
  updateCounters(true);
  say("Note reloaded: another program changed it");
}

bool App::closeDocument() {
  RootLocation& r = roots_.current();
  // The note is saved, or its text kept in rescued/, before the editor is
  // emptied; when neither works the note stays open with its text.
  if (viewer_ == Viewer::Text && !leaveLocation(false)) return false;
  // Any way of leaving a shown file (another folder or root, a sort, a new
  // note) keeps the place for Back; Back itself does not.
  if (!goingBack_) history_.push(r);
  if (viewer_ == Viewer::Text && r.inUse && ports_.editor->isEnabled()) unloadNote(true);
  if (folderList_.selected() < 0) r.selectedFolder.clear();
  offerRecent(r);
  r.selectedFile.clear();
  TextEditor& ed = *ports_.editor;
  ed.setText("");
  ed.setVisible(true);
  ed.setEnabled(false);
  removeNoteMenuItems();
  noteLoaded_ = false;
  noteStamp_.reset();
  noteMtime_.reset();
  noteBaseline_ = NoteBaseline{};
  noteGone_ = false;
  if (noteLock_ != NoteLock::None) {
    noteLock_ = NoteLock::None;
    ed.setReadOnly(false);
  }
  modified_ = false;
  status_.setTitle("");
  if (status_.useStatBar() && !messageKept()) status_.show("");
  status_.setCharCount(std::nullopt);
  status_.setWordCount(std::nullopt);
  const Viewer was = viewer_;
  if (was == Viewer::Sheet) closeSheet();
  viewer_ = Viewer::Text;
  if (was != Viewer::Text) {
    if (was == Viewer::Web) closeWebViewer();
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
  loadNote(true);
  if (fromTemplate) {
    openSelectedFile(1, true, true);
    return;
  }
  if (mode_ == Mode::View) switchModeOnly();
  ports_.multibar->setText("");
  ports_.editor->setEnabled(true);
  ports_.editor->focus();
}

void App::noteEdited() {
  if (!noteLoaded_ && !isUnsavedMarker(roots_.current().selectedFile)) return;
  if (noteLock_ != NoteLock::None) return;  // the editor refuses typing; nothing to save
  status_.hideNow();
  if (!modified_) {
    modified_ = true;
    status_.markModified();
    status_.setWordCount(std::nullopt);  // it counts the saved file, which no longer matches
  }
}

void App::noteKeyReleased() { updateCounters(false); }

void App::updateCounters(bool force) {
  if (!noteLoaded_ || !status_.useStatBar()) return;
  // Per key release: the editor's own count, never a copy of the text.
  if (status_.charCounterOn()) status_.setCharCount(static_cast<long>(ports_.editor->characterCount()));
  std::int64_t t = ports_.clock ? ports_.clock->nowNs() : 0;
  if (!force && t - lastWordCountNs_ < kWordCountPeriodNs) return;
  lastWordCountNs_ = t;
  // The word counter speaks of the file as saved; while the note has
  // changes it stays empty. The count is taken once per load or save.
  if (modified_ || !status_.wordCounterOn()) {
    status_.setWordCount(std::nullopt);
    return;
  }
  if (!savedWords_) savedWords_ = countWords(noteBaseline_.text);
  status_.setWordCount(static_cast<long>(*savedWords_));
}

void App::autosaveTick() {
  int period = settings_.integer(setting::AutoSave);
  if (++autosaveCount_ < period) return;
  autosaveCount_ = 0;
  if (ports_.editor->isEnabled() && roots_.current().inUse && viewer_ == Viewer::Text && modified_) {
    if (saveNoteFor(SaveCause::Autosave) && !modified_ && !messageKept()) say("Note autosaved");
  } else if (viewer_ == Viewer::Sheet && sheet_->modified()) {
    saveSheet(true);
  }
}

// ---------------------------------------------------------------- note menu

// The viewers' own items go into the Tools menu in front of the mode switch.
void App::addToolsItem(MenuItem item) { menus_.insertBefore(1, cmd::kSwitchMode, std::move(item)); }

void App::insertNoteMenuItems() {
  if (menus_.find(cmd::kWordWrap)) return;
  auto add = [this](int id, const char* text, bool checkable = false, bool checked = false) {
    addToolsItem(MenuItem{id, text, "", checkable, checked, true, {}});
  };
  add(cmd::kNoteSep1, "");
  add(cmd::kWordWrap, "  Wordwrap   ", true, wordWrap());
  add(cmd::kFormatNewLines, "  Format Newlines   ", true, settings_.flag(setting::FormatNewLines));
  add(cmd::kNoteSep2, "");
  add(cmd::kMailTo, "  Mail to selected  ");
  add(cmd::kMailBody, "  Mail selected as body     ");
  add(cmd::kNoteSep3, "");
  add(cmd::kWordCount, "  Word count  ");
  add(cmd::kCharCount, "  Character count  ");
  add(cmd::kNoteSep4, "");
  menus_.setEnabled(cmd::kLaunchAssociated, true);
}

void App::removeNoteMenuItems() {
  for (int id : {cmd::kNoteSep1, cmd::kWordWrap, cmd::kFormatNewLines, cmd::kNoteSep2, cmd::kMailTo, cmd::kMailBody,
                 cmd::kNoteSep3, cmd::kWordCount, cmd::kCharCount, cmd::kNoteSep4})
    menus_.remove(id);
  menus_.setEnabled(cmd::kLaunchAssociated, false);
}

void App::toggleNoteSetting(int id) {
  if (viewer_ != Viewer::Text || !noteLoaded_) return;
  const MenuItem* item = menus_.find(id);
  if (!item) return;
  if (modified_ && !saveNote()) return;  // never reload over text that is not saved
  bool on = !item->checked;
  removeNoteMenuItems();
  settings_.set(id == cmd::kWordWrap ? setting::WordWrap : setting::FormatNewLines, on ? "1" : "0");
  loadNote(false);
}

std::string App::editorSelection() {
  if (viewer_ != Viewer::Text || !noteLoaded_) return {};
  std::string text = ports_.editor->text();
  std::size_t a = std::min(ports_.editor->selectionStart(), text.size());
  std::size_t b = std::min(ports_.editor->selectionEnd(), text.size());
  if (b < a) std::swap(a, b);
  return text.substr(a, b - a);
}

void App::mailSelection(bool asBody) {
  std::string sel = editorSelection();
  std::size_t n = countChars(sel);
  if (n == 0 || n > kMaxMailSelection) {
    say(format("Please select less than %d characters (You have selected %zu)", 200, n));
    return;
  }
  std::string raw = format(asBody ? "mailto: body=%s" : "mailto: To=%s", sel.c_str());
  std::string url;
  for (char c : raw) {
    if (c == '\n')
      url += "%0D%0A";  // a line break of the note
    else if (c == '\r')
      continue;
    else if (c == '%')
      url += "%25";
    else if (c == '?')
      url += "%3F";
    else
      url.push_back(c);
  }
  url[7] = '?';  // "mailto:?To=..." / "mailto:?body=..."
  if (ports_.desktop) ports_.desktop->openExternally(url);
}

void App::launchAssociated() {
  std::string sel = editorSelection();
  std::size_t n = countChars(sel);
  if (n == 0 || n > limits::kText || !ports_.desktop) return;
  ports_.desktop->openExternally(sel);
}

void App::showCount(bool words) {
  if (viewer_ != Viewer::Text || !noteLoaded_ || !ports_.dialogs) return;
  std::string sel = editorSelection();
  if (words) {
    std::size_t n;
    const char* label;
    if (!sel.empty()) {
      n = countWords(sel);
      label = "Selected word count:";
    } else {
      auto text = readWholeFile(notePath());
      n = text ? countWords(*text) : 0;
      label = "Word count:";
    }
    ports_.dialogs->information(kProductName, format("%s %s", label, withThousands(n).c_str()));
    return;
  }
  std::size_t n = sel.empty() ? countChars(ports_.editor->text()) : countChars(sel);
  if (n == 0) return;
  ports_.dialogs->information(
      kProductName,
      format("%s %s", sel.empty() ? "Character count:" : "Selected text character count:", withThousands(n).c_str()));
}

void App::pasteDate() {
  int focused = ports_.window ? ports_.window->focusedControl() : 0;
  if (focused == cmd::kMultibar) {
    ports_.multibar->insertAtCaret(pasteDateText(DateTarget::Multibar, settings_.text(setting::MultibarDateTemplate),
                                                 settings_.flag(setting::MultibarPasteTimeWithDate), now()));
  } else if (focused == cmd::kCellEditor && viewer_ == Viewer::Sheet) {
    pasteDateInCell();
  } else if (focused == cmd::kNoteEditor && viewer_ == Viewer::Text && noteLoaded_) {
    ports_.editor->replaceSelection(
        pasteDateText(DateTarget::Note, settings_.text(setting::NoteDateTemplate), true, now()));
  }
}

void App::menuAboutToOpen() {
  bool selection = !editorSelection().empty();
  menus_.setEnabled(cmd::kMailTo, selection);
  menus_.setEnabled(cmd::kMailBody, selection);
  menus_.setEnabled(cmd::kLaunchAssociated, selection);
}

void App::dropTextOnNote(const std::string& text) {
  if (viewer_ != Viewer::Text || !noteLoaded_ || text.empty()) return;
  std::string insert = text;
  bool http = text.starts_with("http:");
  bool https = text.starts_with("https:") && settings_.flag(setting::NoteDragHttpAsLink);
  if (http || https) {
    std::size_t skip = std::min(text.size(), std::size_t(http ? 7 : 8));  // "http://" or "https://"
    insert = format("[ %s ]( %s )", text.substr(skip).c_str(), text.c_str());
  }
  ports_.editor->replaceSelection(insert);
  noteEdited();
}

// ---------------------------------------------------------------- recent files and Back

void App::offerRecent(const RootLocation& loc) {
  if (addRecentFile(roots_.shortcuts(), lastRecent_, loc)) rebuildRecentMenu();
}

void App::rebuildRecentMenu() {
  for (int id = cmd::kRecentSeparator; id <= cmd::kRecentSeparator + limits::kRecentSlots; ++id) menus_.remove(id);
  bool any = false;
  for (int i = 0; i < limits::kRecentSlots; ++i) {
    const RootLocation& s = roots_.shortcuts()[static_cast<std::size_t>(i)];
    if (!s.inUse) continue;
    any = true;
    menus_.insertBefore(0, cmd::kExit, MenuItem{cmd::kShortcutFirst + i, s.selectedFile, "", false, false, true, {}});
  }
  if (any) menus_.insertBefore(0, cmd::kExit, MenuItem{cmd::kRecentSeparator, "", "", false, false, true, {}});
}

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
  refillRootList();
  listFoldersOf(r, true);
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
  if (resolveNoteName()) openNewFile();
}

}  // namespace vm
