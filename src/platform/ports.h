#pragma once
// Ports: what the core expects of the screen and the desktop. The Qt shell
// implements them in ui/, the tests with in-memory fakes in tests/fakes/.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

class Sheet;
struct PopupItem;

// The local clock, so that time-dependent behaviour is testable.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t nowNs() = 0;  // wall-clock time, nanoseconds since the epoch
};

// Timers of the main window, by id: 1 autosave, 2 status expiry, 4 sheet
// cursor, 5 folder watch. A running timer calls App::timer(id) each period.
class Timers {
 public:
  virtual ~Timers() = default;
  virtual void start(int id, int periodMs) = 0;
  virtual void stop(int id) = 0;
};

// One item of a pop-up menu; id 0 is a separator.
struct PopupItem {
  int id = 0;
  std::string text;
  bool enabled = true;
  std::vector<PopupItem> children{};  // a sub-menu when not empty
};

// The main window as the core needs to know it.
class WindowPort {
 public:
  virtual ~WindowPort() = default;
  virtual bool isForeground() = 0;
  virtual void setStayOnTop(bool on) = 0;
  virtual void quit() = 0;  // leave the event loop after shutdown
  // Keyboard focus by control id (200 Folder List, 201 File List, 202 note
  // editor, 204 Multibar, 205 Root List, 210 spreadsheet); 0 for anything else.
  virtual int focusedControl() = 0;
  virtual void focusControl(int id) = 0;
  // Shows a pop-up menu at the mouse over a list (control id); the chosen
  // id, 0 when none.
  virtual int popupMenu(int control, const std::vector<PopupItem>& items) = 0;
  // Starts in-place editing of the label of a list's item; Enter ends it
  // with App::labelEdited, Escape ends it without a word.
  virtual void editLabel(int control, int index) = 0;
};

// The note editor. Its text is UTF-8 with LF line ends; offsets are bytes.
// setText never counts as a change by the user; the shell reports the
// user's edits with App::noteEdited().
class TextEditor {
 public:
  virtual ~TextEditor() = default;
  virtual std::string text() = 0;
  virtual void setText(const std::string& text) = 0;
  virtual void setEnabled(bool on) = 0;
  virtual bool isEnabled() = 0;
  virtual void setVisible(bool on) = 0;
  virtual void setWordWrap(bool on) = 0;
  virtual void focus() = 0;
  virtual std::size_t selectionStart() = 0;
  virtual std::size_t selectionEnd() = 0;
  // Replaces the selection (undoable) and reports it as a user edit.
  virtual void replaceSelection(const std::string& text) = 0;
  virtual int scrollPosition() = 0;
  // A read-only editor shows its text and refuses typing.
  virtual void setReadOnly(bool on) = 0;
  // Characters of the text (a line break counts 1), from the editor's own
  // bookkeeping: called on every key release, it must not copy the text.
  virtual std::size_t characterCount() = 0;
  // The editor's own editing commands. Undo and cut are the user's edits
  // and are reported like typing; copy and cut go to the clipboard.
  virtual void undo() {}
  virtual void cut() {}
  virtual void copy() {}
  virtual void selectAll() {}
  // Selects the bytes [start, end) of the text.
  virtual void select(std::size_t start, std::size_t end) { (void)start, (void)end; }
  // Width in pixels of text in the editor's current font; -1 when it cannot
  // be measured.
  virtual int textWidth(const std::string& text) { return (void)text, -1; }
  // Shows a pop-up menu at the point of the last context-menu request; the
  // chosen id, 0 when the menu was dismissed.
  virtual int popupMenu(const std::vector<PopupItem>& items) { return (void)items, 0; }
  // Light highlighting of the note's markup: 0 none, 1 Markdown, 2 wiki.
  virtual void setSyntax(int syntax) { (void)syntax; }
};

// A one-line entry: the Multibar.
class LineEditor {
 public:
  virtual ~LineEditor() = default;
  virtual std::string text() = 0;
  virtual void setText(const std::string& text) = 0;
  virtual void insertAtCaret(const std::string& text) = 0;
  virtual void selectAll() = 0;
  // The entry's own clipboard commands, and what they can do now.
  virtual bool hasSelection() { return false; }
  virtual bool canPaste() { return false; }
  virtual void cut() {}
  virtual void copy() {}
  virtual void paste() {}
  // Shows a pop-up menu at the mouse; the chosen id, 0 when none.
  virtual int popupMenu(const std::vector<PopupItem>&) { return 0; }
};

// Services of the desktop.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Starts another copy of this program with these arguments; false on failure.
  virtual bool startInstance(const std::vector<std::string>& args) = 0;
  // Opens a file or an address (mailto:, http:) with the desktop's program for it.
  virtual bool openExternally(const std::string& pathOrUrl) = 0;
  // The program's own small Properties dialog for a file or folder.
  virtual void showProperties(const std::string& path) = 0;
};

// The embedded web view of the viewer pane. The shell creates the real view
// the first time a page is shown, so start-up does not wait for it. Page
// links ("tn:...") never navigate: the view hands them to App::pageLinkClicked.
class WebView {
 public:
  virtual ~WebView() = default;
  // A local file path or a web address.
  virtual void navigate(const std::string& pathOrUrl) = 0;
  // The view's own history and page commands; false when there is no page
  // or nothing to go to.
  virtual bool back() = 0;
  virtual bool forward() = 0;
  virtual bool refresh() = 0;
  virtual void stop() = 0;
  // Prints the page with this header on each page (three blanks for none).
  virtual bool print(const std::string& header) = 0;
  virtual std::string title() = 0;   // the shown page's title, empty when none
  virtual void copySelection() = 0;  // selected text to the clipboard; nothing selected: no change
  virtual void setVisible(bool on) = 0;
  // Client size of the pane in pixels (0 before the view was laid out) and
  // the width of a vertical scroll bar.
  virtual int paneWidth() = 0;
  virtual int paneHeight() = 0;
  virtual int scrollBarWidth() = 0;
  // True when the window is drawn in a dark palette: rendered notes then
  // take the dark style sheet, unless the user picked one.
  virtual bool darkPalette() { return false; }
};

// Long work on the window thread (loading a big sheet, a directory search,
// a download) calls step() between chunks so the window stays responsive;
// step() answers true when the work should stop: the program is quitting,
// or the user cancelled (Esc), which cancelled() then tells. progress()
// shows how far the work is (0..100) once it takes longer than a moment;
// -1 hides it.
class Pump {
 public:
  virtual ~Pump() = default;
  virtual bool step() = 0;
  virtual void progress(int percent) = 0;
  // True after step() answered true because the user cancelled the work,
  // until the window is idle again.
  virtual bool cancelled() const { return false; }
};

// Progress of one piece of long work: shown once the work has run longer
// than a moment, updated when the percentage changes, hidden at the end.
class PumpProgress {
 public:
  static constexpr auto kDelay = std::chrono::milliseconds(300);
  PumpProgress(Pump* pump, std::uint64_t total) : pump_(pump), total_(total), start_(std::chrono::steady_clock::now()) {}
  PumpProgress(const PumpProgress&) = delete;
  PumpProgress& operator=(const PumpProgress&) = delete;
  ~PumpProgress() {
    if (shown_ >= 0 && pump_) pump_->progress(-1);
  }
  void at(std::uint64_t done) {
    if (!pump_ || total_ == 0 || std::chrono::steady_clock::now() - start_ < kDelay) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total_));
    if (percent != shown_) {
      pump_->progress(percent);
      shown_ = percent;
    }
  }

 private:
  Pump* pump_;
  std::uint64_t total_;
  std::chrono::steady_clock::time_point start_;
  int shown_ = -1;
};


// The spreadsheet's table in the viewer pane. The view reads the open sheet
// in place and follows its change notifications; what the user does goes
// to the App (App::sheetCellClicked and the others). Rows here are the
// sheet's view rows; columns are the table's columns, 0 being the
// row-number column "tn" and c >= 1 data column c - 1.
class SheetView {
 public:
  virtual ~SheetView() = default;
  // Shows the sheet (null: shows nothing) with the row-number column this wide.
  virtual void showSheet(Sheet* sheet, int numberColumnWidth) = 0;
  virtual void setVisible(bool on) = 0;
  // Header clicks sort only while this is on.
  virtual void setSortable(bool on) = 0;
  // The cell cursor: a focus rectangle around one cell, scrolled into view
  // when it moves. viewRow -1 or visible false: no rectangle.
  virtual void setCursor(int viewRow, int column, bool visible) = 0;
  virtual void focus() = 0;
  // The floating cell editor over a cell, holding text (at most 1023 bytes);
  // tip empty for none; caretToEnd: the caret after the last character, else
  // all selected. The view reports Enter with App::sheetEditorEnter and Esc
  // with App::sheetEditorEscape.
  virtual void openEditor(int viewRow, int column, const std::string& text, bool caretToEnd,
                          const std::string& tip) = 0;
  virtual void closeEditor() = 0;
  virtual bool editorOpen() = 0;
  virtual std::string editorText() = 0;
  // Replaces the editor's selection (F5's date).
  virtual void editorInsert(const std::string& text) = 0;
  // Shows a pop-up menu at the point of the last right click; the chosen
  // id, 0 when the menu was dismissed.
  virtual int popupMenu(const std::vector<PopupItem>& items) = 0;
};

// What the Keywords dialog shows and does; the dialog only draws it and
// hands the buttons over.
class KeywordsDialogModel {
 public:
  virtual ~KeywordsDialogModel() = default;
  virtual std::string title() const = 0;
  // The drop-down's list (sorted) and the list box's entries (sorted).
  virtual std::vector<std::string> choices() const = 0;
  virtual const std::vector<std::string>& entries() const = 0;
  // Add with the drop-down's text: the index of the entry to select, -1
  // when nothing was added. Delete removes an entry. OK stores the entries.
  virtual int add(const std::string& text) = 0;
  virtual void remove(int index) = 0;
  virtual void ok() = 0;
};

// Modal dialogs.
class ConfigureSession;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void information(const std::string& title, const std::string& text) = 0;
  virtual bool confirm(const std::string& title, const std::string& text) = 0;  // Yes = true
  // The Keywords dialog: runs until the user presses OK (which calls
  // model.ok()); it has no Cancel.
  virtual void keywords(KeywordsDialogModel& model) { (void)model; }
  // The Configure dialog over its pending settings: true for OK, false for
  // Cancel. The caller commits the session on OK.
  virtual bool configure(ConfigureSession& session) {
    (void)session;
    return false;
  }
};

// The system clipboard: text, and pictures as encoded image files.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool hasText() = 0;
  // Empty when the clipboard holds no text.
  virtual std::string text() = 0;
  virtual void setText(const std::string& text) = 0;
  virtual bool hasImage() = 0;
  // The clipboard's picture encoded as format ("png" or "bmp"); empty when
  // there is none or it cannot be encoded.
  virtual std::string image(std::string_view format) = 0;
  // Puts a picture given as encoded image bytes (PNG, BMP...) on the
  // clipboard; false when the bytes are no picture.
  virtual bool setImage(const std::string& encoded) = 0;
};

}  // namespace vm

#include <optional>

namespace vm {

// The one-line text dialog: title "Vellumark", a prompt, one edit field
// filled with `initial`, OK and Cancel. OK gives the typed text (at most
// 259 bytes), Cancel nullopt.
class LineInput {
 public:
  virtual ~LineInput() = default;
  virtual std::optional<std::string> ask(const std::string& prompt, const std::string& initial) = 0;
};

}  // namespace vm
