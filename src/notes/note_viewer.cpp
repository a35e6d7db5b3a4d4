#include "notes/note_viewer.h"

#include <algorithm>
#include <system_error>

#include "core/commands.h"
#include "notes/companion.h"
#include "notes/date_template.h"
#include "notes/edit_commands.h"
#include "notes/keywords.h"
#include "notes/paste_image.h"
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

const char* lockMessage(NoteLock lock) {
  switch (lock) {
    case NoteLock::NulByte: return "Read-only: the file holds a NUL byte; only the text in front of it is shown";
    case NoteLock::NotWritable: return "Read-only: the file cannot be written";
    case NoteLock::Help: return "Read-only: the program's help";
    case NoteLock::None: break;
  }
  return "";
}

}  // namespace

NoteViewer::NoteViewer(FeatureContext ctx, NoteHooks hooks) : ctx_(ctx), hooks_(std::move(hooks)) {}

bool NoteViewer::wordWrap() const { return ctx_.settings.flag(setting::WordWrap); }

// ---------------------------------------------------------------- open and close

bool NoteViewer::isHelpNote() const {
  const RootLocation& help = ctx_.roots.shortcuts()[kHelpSlot];
  if (help.rootFolder.empty()) return false;
  std::error_code ec;
  return std::filesystem::equivalent(parentOf(ctx_.selectedPath()), help.rootFolder, ec) && !ec;
}

bool NoteViewer::open(bool focus) {
  ctx_.ports.multibar->setText("");
  unload(false);
  const std::string path = ctx_.selectedPath();
  std::string err;
  LoadError why = LoadError::None;
  auto note = loadNoteFile(path, ctx_.settings.flag(setting::CheckForBOM), ctx_.settings.flag(setting::FormatNewLines),
                           &err, &why);
  if (!note) {
    if (why == LoadError::Missing) say(format("File does not exist: %s", path.c_str()));
    return false;
  }
  TextEditor& ed = editor();
  ed.setWordWrap(wordWrap());
  ed.setSyntax(static_cast<int>(syntaxFor(ctx_.roots.current().selectedFile)));
  ed.setText(note->text);
  stamp_ = note->stamp();
  mtime_ = fileMark(path);
  baseline_ = NoteBaseline{std::move(note->bytes), std::move(note->text), note->format};
  loaded_ = true;
  gone_ = false;
  modified_ = false;
  savedWords_.reset();
  switch (note->readOnly) {
    case ReadOnlyReason::NulByte: lock_ = NoteLock::NulByte; break;
    case ReadOnlyReason::NotWritable: lock_ = NoteLock::NotWritable; break;
    case ReadOnlyReason::None: lock_ = isHelpNote() ? NoteLock::Help : NoteLock::None; break;
  }
  ed.setReadOnly(lock_ != NoteLock::None);
  if (lock_ != NoteLock::None && lock_ != NoteLock::Help && !messageKept()) say(lockMessage(lock_));
  ctx_.status.setTitle(ctx_.roots.current().selectedFile);
  ed.setVisible(true);
  ed.setEnabled(true);
  if (focus) ed.focus();
  insertMenuItems();
  updateCounters(true);
  if (hooks_.changed) hooks_.changed();
  return true;
}

// Drops everything known about the note that was shown.
void NoteViewer::forget() {
  removeMenuItems();
  loaded_ = false;
  stamp_.reset();
  mtime_.reset();
  baseline_ = NoteBaseline{};
  gone_ = false;
  if (lock_ != NoteLock::None) {
    lock_ = NoteLock::None;
    editor().setReadOnly(false);
  }
}

void NoteViewer::unload(bool full) {
  forget();
  if (modified_) {
    modified_ = false;
    ctx_.status.clearModified();
  }
  ctx_.status.setCharCount(std::nullopt);
  if (full) {
    editor().setEnabled(false);
    ctx_.status.setWordCount(std::nullopt);
  }
}

void NoteViewer::close() {
  TextEditor& ed = editor();  // emptied, shown and disabled
  ed.setText("");
  ed.setVisible(true);
  ed.setEnabled(false);
  forget();
  modified_ = false;
}

// ---------------------------------------------------------------- saving

bool NoteViewer::leave() {
  if (!loaded_ || !modified_) return true;
  // The editor is about to be emptied or refilled: text that cannot go to
  // its file goes to rescued/.
  if (saveFor(SaveCause::Leave) || !modified_) return true;
  const std::string text = editor().text();
  if (text.empty()) return true;  // an emptied note loses nothing
  rescue(text);
  return !modified_;
}

void NoteViewer::save() {
  if (lock_ != NoteLock::None) {
    saveFor(SaveCause::User);  // says why nothing is written
    return;
  }
  if (!modified_) return;
  saveFor(SaveCause::User);  // a failed save keeps the mark and the text; the next save tries again
}

void NoteViewer::autosave() {
  if (!editor().isEnabled() || !modified_) return;
  if (saveFor(SaveCause::Autosave) && !modified_ && !messageKept()) say("Note autosaved");
}

void NoteViewer::sayKept(const std::string& text) {
  say(text);
  keptMessage_ = ctx_.status.message();
}

bool NoteViewer::messageKept() const { return !keptMessage_.empty() && ctx_.status.message() == keptMessage_; }

std::string NoteViewer::rescueUnsaved(const std::filesystem::path& folder) {
  return modified_ ? rescue(editor().text(), folder) : std::string();
}

std::string NoteViewer::rescue(const std::string& text, const std::filesystem::path& where) {
  if (text.empty()) return {};
  std::error_code ec;
  auto folder = where.empty() ? ctx_.env.home / "rescued" : where;
  std::filesystem::create_directories(folder, ec);
  const RootLocation& r = ctx_.roots.current();
  std::string base = isUnsavedMarker(r.selectedFile) || r.selectedFile.empty() ? "New Note.txt" : r.selectedFile;
  std::string name = conflictName(base, ctx_.now());
  for (int n = 2; pathExists(folder / name) && n < 1000; ++n) name = conflictName(base, ctx_.now(), n);
  std::string err;
  std::string message;
  if (writeFileAtomic(folder / name, text, &err)) {
    message = format("Could not save the note; your text was kept in %s", (folder / name).c_str());
    modified_ = false;
    ctx_.status.clearModified();
  } else {
    message = format("Could not save the note: %s", err.c_str());
  }
  sayKept(message);
  return message;
}

bool NoteViewer::resolveName() {
  RootLocation& r = ctx_.roots.current();
  if (!isUnsavedMarker(r.selectedFile)) return true;
  NameResolution res = resolveNoteName(r.filesFolder(), ctx_.ports.multibar->text(), r.defaultExtension);
  switch (res.check) {
    case NameCheck::Empty: say("Please choose a note name"); return false;
    case NameCheck::Exists: say("File exists"); return false;
    case NameCheck::Invalid:
    case NameCheck::TooLong: say(format("Not a usable note name: %s", res.name.c_str())); return false;
    case NameCheck::Ok: break;
  }
  r.selectedFile = res.name;
  ctx_.status.setTitle(res.name);
  if (modified_) ctx_.status.markModified();
  ctx_.ports.multibar->setText("");
  return true;
}

bool NoteViewer::saveFor(SaveCause cause) {
  if (lock_ != NoteLock::None) {
    // Nothing is ever written to a read-only note.
    if (cause == SaveCause::User) say(lockMessage(lock_));
    return false;
  }
  const std::string path = ctx_.selectedPath();
  if (gone_ && cause != SaveCause::User) {
    // Deleted by another program: only the user's own Save writes it back.
    if (cause == SaveCause::Autosave) sayKept(format("The note's file is gone: %s", path.c_str()));
    return false;
  }
  if (!resolveName()) return false;
  if (hooks_.forgetWatch) hooks_.forgetWatch();
  const std::string text = editor().text();
  if (text.empty()) {
    // An empty note is never written.
    if (cause == SaveCause::User) say("An empty note is not saved");
    return true;
  }
  const bool hadBaseline = loaded_ && !baseline_.bytes.empty();
  const bool wasGone = gone_;
  SaveResult res = saveNoteFile(ctx_.selectedPath(), text, wasGone ? std::nullopt : stamp_, ctx_.now(),
                                hadBaseline ? &baseline_ : nullptr);
  RootLocation& r = ctx_.roots.current();
  switch (res.kind) {
    case SaveResult::Kind::Empty: return true;
    case SaveResult::Kind::Failed:
      say(format("Note not saved: %s", res.error.c_str()));
      return false;
    case SaveResult::Kind::Conflict: {
      // Someone else changed the file: theirs stays, ours goes beside it.
      const std::string copy = lastComponent(res.path);
      if (cause == SaveCause::Leave) {
        // The user is on the way to another file: that one opens, the copy
        // is only named.
        if (hooks_.relistFiles) hooks_.relistFiles("");
      } else {
        // The copy becomes the open note.
        if (hooks_.relistFiles) hooks_.relistFiles(copy);
        r.selectedFile = copy;
        ctx_.status.setTitle(copy);
      }
      sayKept(format("Note changed on disk; your text was saved as %s", copy.c_str()));
      break;
    }
    case SaveResult::Kind::Saved:
      if (res.becameUtf8)
        sayKept("Note saved as UTF-8: Windows-1252 cannot hold all of its characters");
      else
        say("Note saved");
      if (wasGone && hooks_.relistFiles) hooks_.relistFiles(r.selectedFile);
      break;
  }
  stamp_ = res.stamp;
  gone_ = false;
  if (res.kind == SaveResult::Kind::Saved || cause != SaveCause::Leave) {
    baseline_ = NoteBaseline{std::move(res.bytes), text, res.format};
    mtime_ = fileMark(res.path);
  }
  savedWords_.reset();
  if (modified_) {
    modified_ = false;
    ctx_.status.clearModified();
  }
  updateCounters(true);
  return true;
}

void NoteViewer::checkOnDisk() {
  if (!loaded_ || !stamp_) return;
  const std::string path = ctx_.selectedPath();
  const auto mtime = fileMark(path);
  if (!mtime) {
    if (!pathExists(path) && modified_ && !gone_) {
      // The text stays in the editor, unsaved; nothing writes it back unasked.
      gone_ = true;
      sayKept(format("The note's file is gone: %s", path.c_str()));
    }
    return;
  }
  gone_ = false;
  if (mtime == mtime_) return;
  mtime_ = mtime;
  auto bytes = readWholeFile(path);
  if (!bytes || stampOf(*bytes) == *stamp_) return;
  // With unsaved changes the next save writes the conflict copy; without,
  // the editor shows what the other program wrote.
  if (modified_ || lock_ == NoteLock::NulByte) return;
  NoteFormat format;
  bool nul = false;
  std::string text = noteTextForEditor(*bytes, ctx_.settings.flag(setting::CheckForBOM),
                                       ctx_.settings.flag(setting::FormatNewLines), &nul, &format);
  if (nul) return;  // shown as it was; the next open makes it read-only
  editor().setText(text);
  stamp_ = stampOf(*bytes);
  baseline_ = NoteBaseline{std::move(*bytes), std::move(text), format};
  savedWords_.reset();
  updateCounters(true);
  say("Note reloaded: another program changed it");
}

// ---------------------------------------------------------------- editing

void NoteViewer::edited() {
  if (!loaded_ && !isUnsavedMarker(ctx_.roots.current().selectedFile)) return;
  if (lock_ != NoteLock::None) return;  // the editor refuses typing; nothing to save
  ctx_.status.hideNow();
  if (!modified_) {
    modified_ = true;
    ctx_.status.markModified();
    ctx_.status.setWordCount(std::nullopt);  // it counts the saved file, which no longer matches
  }
}

void NoteViewer::updateCounters(bool force) {
  StatusLine& status = ctx_.status;
  if (!loaded_ || !status.useStatBar()) return;
  // Per key release: the editor's own count, never a copy of the text.
  if (status.charCounterOn()) status.setCharCount(static_cast<long>(editor().characterCount()));
  std::int64_t t = ctx_.nowNs();
  if (!force && t - lastWordCountNs_ < kWordCountPeriodNs) return;
  lastWordCountNs_ = t;
  // The word counter speaks of the file as saved; while the note has
  // changes it stays empty. The count is taken once per load or save.
  if (modified_ || !status.wordCounterOn()) {
    status.setWordCount(std::nullopt);
    return;
  }
  if (!savedWords_) savedWords_ = countWords(baseline_.text);
  status.setWordCount(static_cast<long>(*savedWords_));
}

void NoteViewer::dropText(const std::string& text) {
  if (!loaded_ || text.empty()) return;
  std::string insert = text;
  bool http = text.starts_with("http:");
  bool https = text.starts_with("https:") && ctx_.settings.flag(setting::NoteDragHttpAsLink);
  if (http || https) {
    std::size_t skip = std::min(text.size(), std::size_t(http ? 7 : 8));  // "http://" or "https://"
    insert = format("[ %s ]( %s )", text.substr(skip).c_str(), text.c_str());
  }
  editor().replaceSelection(insert);
  edited();
}

void NoteViewer::pasteDate() {
  if (!loaded_) return;
  editor().replaceSelection(
      pasteDateText(DateTarget::Note, ctx_.settings.text(setting::NoteDateTemplate), true, ctx_.now()));
}

std::string NoteViewer::selection() {
  if (!loaded_) return {};
  std::string text = editor().text();
  std::size_t a = std::min(editor().selectionStart(), text.size());
  std::size_t b = std::min(editor().selectionEnd(), text.size());
  if (b < a) std::swap(a, b);
  return text.substr(a, b - a);
}

// The document search: unsaved changes are saved first and the search then
// starts from the top; a hit is selected and scrolled into view.
bool NoteViewer::find(const std::string& term, bool fromStart) {
  if (!loaded_) return false;  // also a new note without a name yet
  if (modified_) {
    saveFor(SaveCause::Autosave);
    find_.restart();
  }
  const std::string text = editor().text();
  const auto hit = find_.find(text, term, fromStart);
  if (!hit) return false;
  editor().focus();
  editor().select(hit->offset, hit->offset + hit->length);
  return true;
}

// ---------------------------------------------------------------- the note's menu items

void NoteViewer::insertMenuItems() {
  MenuModel& menus = ctx_.menus;
  if (menus.find(cmd::kWordWrap)) return;
  auto add = [this](int id, const char* text, bool checkable = false, bool checked = false) {
    ctx_.addToolsItem(MenuItem{id, text, "", checkable, checked, true, {}});
  };
  add(cmd::kNoteSep1, "");
  add(cmd::kWordWrap, "  Wordwrap   ", true, wordWrap());
  add(cmd::kFormatNewLines, "  Format Newlines   ", true, ctx_.settings.flag(setting::FormatNewLines));
  add(cmd::kNoteSep2, "");
  add(cmd::kMailTo, "  Mail to selected  ");
  add(cmd::kMailBody, "  Mail selected as body     ");
  add(cmd::kNoteSep3, "");
  add(cmd::kWordCount, "  Word count  ");
  add(cmd::kCharCount, "  Character count  ");
  add(cmd::kKeywords, "  Keywords  ");
  add(cmd::kNoteSep4, "");
  menus.setEnabled(cmd::kLaunchAssociated, true);
}

void NoteViewer::removeMenuItems() {
  for (int id : {cmd::kNoteSep1, cmd::kWordWrap, cmd::kFormatNewLines, cmd::kNoteSep2, cmd::kMailTo, cmd::kMailBody,
                 cmd::kNoteSep3, cmd::kWordCount, cmd::kCharCount, cmd::kKeywords, cmd::kNoteSep4})
    ctx_.menus.remove(id);
  ctx_.menus.setEnabled(cmd::kLaunchAssociated, false);
}

bool NoteViewer::command(int id) {
  switch (id) {
    case cmd::kLaunchAssociated: launchAssociated(); return true;
    case cmd::kWordWrap:
    case cmd::kFormatNewLines: toggleSetting(id); return true;
    case cmd::kMailTo: mailSelection(false); return true;
    case cmd::kMailBody: mailSelection(true); return true;
    case cmd::kWordCount: showCount(true); return true;
    case cmd::kCharCount: showCount(false); return true;
    case cmd::kNoteContextMenu: showContextMenu(); return true;
    case cmd::kFormatBold:
    case cmd::kFormatPageLink:
    case cmd::kFormatHeader:
    case cmd::kFormatSubheader:
    case cmd::kFormatWebLink:
    case cmd::kFormatItalics:
    case cmd::kFormatStrike:
    case cmd::kFormatRule: formatSelection(id); return true;
    case cmd::kCtrlH: formatSelection(cmd::kFormatHeader); return true;
    case cmd::kCtrlU: formatSelection(cmd::kFormatSubheader); return true;
    case cmd::kCtrlL: formatSelection(cmd::kFormatRule); return true;
    case cmd::kNotePasteText: pasteText(); return true;
    case cmd::kNotePasteImage: pasteImage(); return true;
    case cmd::kNoteLaunch: launchAssociated(); return true;
    case cmd::kKeywords: showKeywords(); return true;
    default: return false;
  }
}

// ---------------------------------------------------------------- editing commands

NoteSyntax NoteViewer::syntaxFor(const std::string& fileName) const {
  if (!ctx_.settings.flag(setting::NoteSyntaxHighlight)) return NoteSyntax::None;
  return noteSyntaxOf(fileName, ctx_.settings.list(setting::MarkdownExtraExtensions));
}

// Commands that change the text act on a note that can be edited.
bool NoteViewer::editable() {
  if (!loaded_) return false;
  if (lock_ != NoteLock::None) {
    say(lockMessage(lock_));
    return false;
  }
  return true;
}

void NoteViewer::showContextMenu() {
  if (!loaded_) return;
  TextEditor& ed = editor();
  Clipboard* clip = ctx_.ports.clipboard;
  NoteMenuState state;
  state.hasSelection = ed.selectionStart() != ed.selectionEnd();
  state.clipboardText = clip && clip->hasText();
  state.clipboardImage = clip && clip->hasImage();
  const std::string text = ed.text();
  state.firstLineNotEmpty = !text.empty() && text.front() != '\n';
  const int chosen = ed.popupMenu(noteMenuItems(state));
  if (chosen != 0) runMenuChoice(chosen);
}

void NoteViewer::runMenuChoice(int id) {
  TextEditor& ed = editor();
  switch (id) {
    case cmd::kNoteUndo:
      if (!editable()) return;
      ed.undo();
      edited();
      return;
    case cmd::kNoteCut:
      if (!editable() || ed.selectionStart() == ed.selectionEnd()) return;
      ed.cut();
      edited();
      return;
    case cmd::kNoteCopy: ed.copy(); return;
    case cmd::kNoteSelectAll: ed.selectAll(); return;
    default:
      if (!command(id) && hooks_.command) hooks_.command(id);
      return;
  }
}

void NoteViewer::formatSelection(int id) {
  if (!editable()) return;
  // The note is saved before and after, so the formatted text is on disk.
  if (modified_ && !saveFor(SaveCause::User)) return;
  const BarOptions bar{ctx_.settings.text(setting::HeaderBarLengthType),
                       ctx_.settings.integer(setting::HeaderLenInt)};
  std::string message;
  const bool changed = runFormat(id, editor(), ctx_.ports.clipboard, bar, &message);
  if (!message.empty()) say(message);
  if (!changed) return;
  edited();
  saveFor(SaveCause::User);
  if (!message.empty()) say(message);
}

void NoteViewer::pasteText() {
  if (!editable()) return;
  const std::string text = clipboardTextForNote(ctx_.ports.clipboard);
  if (text.empty()) {
    say("No text on clipboard");
    return;
  }
  editor().replaceSelection(text);
  edited();
  saveFor(SaveCause::User);
}

void NoteViewer::pasteImage() {
  if (!editable()) return;
  const std::string folder = joinPath(ctx_.roots.current().filesFolder(), kNoteImagesFolder);
  SavedImage saved = saveClipboardImage(ctx_.ports.clipboard, folder, ctx_.settings.flag(setting::ImageSaveAsPng));
  if (saved.path.empty()) {
    if (!saved.error.empty()) say(saved.error);
    return;
  }
  auto lookup = [this](std::string_view key, std::string_view def) {
    const SettingDef* d = findSetting(key);
    return d ? ctx_.settings.text(*d) : std::string(def);
  };
  PicturePlace place = datePrefixPicture(saved.path, saved.name, lookup, ctx_.now());
  insertImageLink(place.name);
}

void NoteViewer::insertImageLink(const std::string& name) {
  if (!loaded_) return;
  // Unsaved text goes to the file first; the link itself stays unsaved.
  if (modified_ && !saveFor(SaveCause::User)) return;
  editor().replaceSelection(imageLink(name, ctx_.settings.text(setting::NoteImageLinkType)));
  edited();
}

void NoteViewer::showKeywords() {
  if (!loaded_) return;
  Keywords(ctx_).showDialog(ctx_.selectedPath());
}

void NoteViewer::toggleSetting(int id) {
  if (!loaded_) return;
  const MenuItem* item = ctx_.menus.find(id);
  if (!item) return;
  if (modified_ && !saveFor(SaveCause::User)) return;  // never reload over text that is not saved
  bool on = !item->checked;
  removeMenuItems();
  ctx_.settings.set(id == cmd::kWordWrap ? setting::WordWrap : setting::FormatNewLines, on ? "1" : "0");
  open(false);
}

void NoteViewer::mailSelection(bool asBody) {
  std::string sel = selection();
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
  if (ctx_.ports.desktop) ctx_.ports.desktop->openExternally(url);
}

void NoteViewer::launchAssociated() {
  std::string sel = selection();
  std::size_t n = countChars(sel);
  if (n == 0 || n > limits::kText || !ctx_.ports.desktop) return;
  ctx_.ports.desktop->openExternally(sel);
}

void NoteViewer::showCount(bool words) {
  if (!loaded_ || !ctx_.ports.dialogs) return;
  std::string sel = selection();
  if (words) {
    std::size_t n;
    const char* label;
    if (!sel.empty()) {
      n = countWords(sel);
      label = "Selected word count:";
    } else {
      auto text = readWholeFile(ctx_.selectedPath());
      n = text ? countWords(*text) : 0;
      label = "Word count:";
    }
    ctx_.ports.dialogs->information(kProductName, format("%s %s", label, withThousands(n).c_str()));
    return;
  }
  std::size_t n = sel.empty() ? countChars(editor().text()) : countChars(sel);
  if (n == 0) return;
  ctx_.ports.dialogs->information(
      kProductName,
      format("%s %s", sel.empty() ? "Character count:" : "Selected text character count:", withThousands(n).c_str()));
}

namespace {
constexpr std::size_t kMaxFontName = 31;
constexpr int kMaxFontPixels = 400;
constexpr int kMaxGutter = 200;
}  // namespace

void NoteViewer::readLook() {
  NoteLook look;
  look.font = cutUtf8(ctx_.settings.text(setting::NoteFont), kMaxFontName);
  const int size = ctx_.settings.integer(setting::NoteFontSize);
  if (!look.font.empty() && size > 0 && size <= kMaxFontPixels) look.fontSize = size;
  const int gutter = ctx_.settings.integer(setting::GutterWidth);
  look.gutter = gutter >= 0 && gutter <= kMaxGutter ? gutter : static_cast<int>(leadingNumber(setting::GutterWidth.def));
  if (look == look_) return;
  look_ = std::move(look);
  if (hooks_.lookChanged) hooks_.lookChanged();
}

}  // namespace vm
