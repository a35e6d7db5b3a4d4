#pragma once
// Qt implementations of the ports the core talks to: the clock, the main
// window's timers, the window itself, the note editor, the Multibar, desktop
// services and message boxes.
#include <QObject>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <memory>
#include <vector>
#include <QWidget>
#include <functional>
#include <map>

#include "platform/ports.h"

class QLineEdit;
class QMainWindow;
class QProgressBar;
class QStatusBar;
class QTimer;

namespace vm::ui {

class QtClock : public Clock {
 public:
  std::int64_t nowNs() override;
};

// One QTimer per timer id; each timeout calls the tick function with the id.
// The tick function is set once the App exists (the App needs the timers
// when it is built).
class QtTimers : public QObject, public Timers {
  Q_OBJECT
 public:
  explicit QtTimers(QObject* parent = nullptr);
  void setTick(std::function<void(int)> tick) { tick_ = std::move(tick); }

  void start(int id, int periodMs) override;
  void stop(int id) override;

  bool isRunning(int id) const;
  int interval(int id) const;  // -1 when the timer was never started

 private:
  std::function<void(int)> tick_;
  std::map<int, QTimer*> timers_;
};

// The main window as the core sees it. The window is attached after it is
// built; until then the port answers "not in front" and ignores requests.
// A pop-up menu of the core's items (sub-menus included) at a point; the
// chosen id, 0 when none.
int execPopupMenu(QWidget* parent, const QString& name, const std::vector<PopupItem>& items, const QPoint& at);

class QtWindowPort : public WindowPort {
 public:
  void setWindow(QWidget* w) { window_ = w; }
  // What quit() does; by default leaves the application's event loop
  // (queued, so that the caller finishes first).
  void setQuitHandler(std::function<void()> f) { quit_ = std::move(f); }

  bool isForeground() override;
  void setStayOnTop(bool on) override;
  void quit() override;
  // Control ids are found by the widgets' object names (folderList,
  // fileList, noteEditor, multibar, rootList).
  int focusedControl() override;
  void focusControl(int id) override;
  // A QMenu (sub-menus included) at the mouse over the list with this id.
  int popupMenu(int control, const std::vector<PopupItem>& items) override;
  // Hands the request to the window, which owns the list views.
  void editLabel(int control, int index) override;
  std::function<void(int control, int index)> onEditLabel;

  // Sets or clears the stay-on-top hint keeping the window's geometry.
  static void applyStayOnTop(QWidget* w, bool on);

 private:
  QPointer<QWidget> window_;
  std::function<void()> quit_;
};

// The note editor's widget. Notes of any size load whole and can be typed
// in: there is no limit on the characters it takes.
class NoteEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit NoteEdit(QWidget* parent = nullptr) : QPlainTextEdit(parent) {}
  // The blank strip left of the text, in pixels.
  void setGutter(int pixels);
  int gutter() const { return viewportMargins().left(); }
  // A context-menu request at this global point; without it the editor's
  // own menu shows.
  std::function<void(const QPoint& globalPos)> onContextMenu;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};

class NoteHighlighter;

// The TextEditor port over the note editor. The widget is attached once the
// window exists; until then the editor is empty and requests are ignored.
// Changes by the user are reported through onEdited, key and mouse button
// releases in the editor through onReleased.
class QtTextEditor : public QObject, public TextEditor {
  Q_OBJECT
 public:
  explicit QtTextEditor(QObject* parent = nullptr) : QObject(parent) {}
  void attach(NoteEdit* editor);
  std::function<void()> onEdited;
  std::function<void()> onReleased;
  // The user scrolled the text up or down (not the program's own loading).
  std::function<void()> onScrolled;

  std::string text() override;
  void setText(const std::string& text) override;
  void setEnabled(bool on) override;
  bool isEnabled() override;
  void setVisible(bool on) override;
  void setWordWrap(bool on) override;
  void focus() override;
  std::size_t selectionStart() override;
  std::size_t selectionEnd() override;
  void replaceSelection(const std::string& text) override;
  int scrollPosition() override;
  void setReadOnly(bool on) override;
  std::size_t characterCount() override;
  void undo() override;
  void cut() override;
  void copy() override;
  void selectAll() override;
  void select(std::size_t start, std::size_t end) override;
  int textWidth(const std::string& text) override;
  int popupMenu(const std::vector<PopupItem>& items) override;
  void setSyntax(int syntax) override;
  // The note's context menu was asked for (the App shows it through popupMenu).
  std::function<void()> onContextMenu;
  // Highlighting is left off for texts longer than this (bytes).
  static constexpr std::size_t kMaxHighlightBytes = 4'000'000;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::size_t byteOffset(int position);
  int positionOf(std::size_t byteOffset);
  void edited();
  void applySyntax(std::size_t textBytes);

  QPointer<NoteEdit> editor_;
  bool programChange_ = false;  // true while the program itself changes the text
  QPoint menuPoint_;
  bool hasMenuPoint_ = false;
  QPointer<NoteHighlighter> highlighter_;
  int syntax_ = 0;
  int seenRevision_ = -1;  // the text's revision when a change was last reported
};

// The LineEditor port over the Multibar, attached once the window exists.
class QtLineEditor : public LineEditor {
 public:
  void attach(QLineEdit* edit);
  std::string text() override;
  void setText(const std::string& text) override;
  void insertAtCaret(const std::string& text) override;
  void selectAll() override;
  bool hasSelection() override;
  bool canPaste() override;
  void cut() override;
  void copy() override;
  void paste() override;
  int popupMenu(const std::vector<PopupItem>& items) override;

 private:
  QPointer<QLineEdit> edit_;
};

// The Pump port: long work on the window thread (loading a big sheet, a
// directory search, a download) lets the window paint and take close
// requests between chunks. Clicks and keys wait until the work is done, so
// nothing reaches the App half-way through; they are handed on afterwards
// in their order (a key that is a menu accelerator triggers its action).
// Esc during the work cancels it: step() answers "stop" and cancelled()
// says why. A close request during the work is held back: step() answers
// "stop", and the window closes once the work has returned. Progress shows
// as a bar in the window's status bar, saying that Esc cancels.
class QtPump : public QObject, public Pump {
  Q_OBJECT
 public:
  explicit QtPump(QObject* parent = nullptr) : QObject(parent) {}
  ~QtPump() override;
  // The window whose close requests are watched and whose status bar shows
  // the progress.
  void attach(QMainWindow* window);

  bool step() override;
  void progress(int percent) override;
  bool cancelled() const override { return cancel_; }

  bool quitRequested() const { return quit_; }
  // True while step() is handing out events, i.e. during long work.
  bool running() const { return depth_ > 0; }
  QProgressBar* progressBar() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QMainWindow> window_;
  QPointer<QProgressBar> bar_;
  QPointer<QStatusBar> ownStatusBar_;  // made for the progress when the window had none
  int depth_ = 0;
  bool quit_ = false;
  bool cancel_ = false;
  // User input that arrived during the work, handed on once it is over.
  struct HeldEvent {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };
  std::vector<HeldEvent> held_;
  bool holding_ = false;  // the application-wide filter is installed
  bool holdInput(QObject* watched, QEvent* event);
  void atRest();
};

class QtDesktop : public Desktop {
 public:
  // Starts this program's own executable again, detached.
  bool startInstance(const std::vector<std::string>& args) override;
  // An address with a scheme ("https:", "mailto:") opens as it is; anything
  // else is a local path.
  bool openExternally(const std::string& pathOrUrl) override;
  void showProperties(const std::string& path) override;
  void setParent(QWidget* w) { parent_ = w; }

 private:
  QPointer<QWidget> parent_;
};

class QtDialogs : public Dialogs {
 public:
  void setParent(QWidget* w) { parent_ = w; }
  void information(const std::string& title, const std::string& text) override;
  bool confirm(const std::string& title, const std::string& text) override;
  void keywords(KeywordsDialogModel& model) override;
  bool configure(ConfigureSession& session) override;  // in configure_dialog.cpp

 private:
  QPointer<QWidget> parent_;
};

// The Clipboard port over the application's clipboard.
class QtClipboard : public Clipboard {
 public:
  bool hasText() override;
  std::string text() override;
  void setText(const std::string& text) override;
  bool hasImage() override;
  std::string image(std::string_view format) override;
  bool setImage(const std::string& encoded) override;
};

}  // namespace vm::ui
