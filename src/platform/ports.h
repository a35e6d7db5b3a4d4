#pragma once
// Ports: what the core expects of the screen and the desktop. The Qt shell
// implements them in ui/, the tests with in-memory fakes in tests/fakes/.
#include <cstdint>
#include <string>
#include <vector>

namespace vm {

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
};

// A one-line entry: the Multibar.
class LineEditor {
 public:
  virtual ~LineEditor() = default;
  virtual std::string text() = 0;
  virtual void setText(const std::string& text) = 0;
  virtual void insertAtCaret(const std::string& text) = 0;
  virtual void selectAll() = 0;
};

// Services of the desktop.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Starts another copy of this program with these arguments; false on failure.
  virtual bool startInstance(const std::vector<std::string>& args) = 0;
  // Opens a file or an address (mailto:, http:) with the desktop's program for it.
  virtual bool openExternally(const std::string& pathOrUrl) = 0;
};

// Modal dialogs.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void information(const std::string& title, const std::string& text) = 0;
  virtual bool confirm(const std::string& title, const std::string& text) = 0;  // Yes = true
};

}  // namespace vm
