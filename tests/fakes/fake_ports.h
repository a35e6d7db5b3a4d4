#pragma once
// In-memory port implementations: tests drive the App with these instead
// of a screen.
#include <functional>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/app.h"
#include "fakes/temp_dir.h"
#include "platform/ports.h"

namespace vm::test {

class FakeClock : public Clock {
 public:
  std::int64_t now = 1700000000LL * 1000000000LL;
  std::int64_t nowNs() override { return now; }
};

class FakeTimers : public Timers {
 public:
  std::map<int, int> running;  // id -> period
  void start(int id, int periodMs) override { running[id] = periodMs; }
  void stop(int id) override { running.erase(id); }
  bool isRunning(int id) const { return running.count(id) != 0; }
};

class FakeWindow : public WindowPort {
 public:
  bool foreground = true;
  bool onTop = false;
  int quits = 0;
  int focused = 0;  // control id with the keyboard focus
  bool isForeground() override { return foreground; }
  void setStayOnTop(bool on) override { onTop = on; }
  void quit() override { ++quits; }
  int focusedControl() override { return focused; }
  void focusControl(int id) override { focused = id; }
};

// The note editor: selection offsets are bytes of `content`. A read-only
// editor refuses replaceSelection, as the real one refuses typing.
class FakeTextEditor : public TextEditor {
 public:
  std::string content;
  bool enabled = false, visible = true, wrap = false, readOnly = false;
  int textCopies = 0;  // calls of text(): the key-release path must make none
  std::size_t selStart = 0, selEnd = 0;
  int focusCount = 0;
  int scroll = 0;
  std::function<void()> onReplace;  // called after replaceSelection, as the shell reports an edit
  std::string text() override {
    ++textCopies;
    return content;
  }
  void setText(const std::string& t) override {
    content = t;
    selStart = selEnd = 0;
  }
  void setEnabled(bool on) override { enabled = on; }
  bool isEnabled() override { return enabled; }
  void setVisible(bool on) override { visible = on; }
  void setWordWrap(bool on) override { wrap = on; }
  void focus() override { ++focusCount; }
  std::size_t selectionStart() override { return std::min(selStart, content.size()); }
  std::size_t selectionEnd() override { return std::min(std::max(selStart, selEnd), content.size()); }
  void replaceSelection(const std::string& t) override {
    if (readOnly) return;
    const std::size_t a = selectionStart(), b = selectionEnd();
    content.replace(a, b - a, t);
    selStart = selEnd = a + t.size();
    if (onReplace) onReplace();
  }
  int scrollPosition() override { return scroll; }
  void setReadOnly(bool on) override { readOnly = on; }
  std::size_t characterCount() override;
};

// The Multibar; the caret is taken to be at the end.
class FakeLineEditor : public LineEditor {
 public:
  std::string content;
  int selectAlls = 0;
  std::string text() override { return content; }
  void setText(const std::string& t) override { content = t; }
  void insertAtCaret(const std::string& t) override { content += t; }
  void selectAll() override { ++selectAlls; }
};

class FakeDesktop : public Desktop {
 public:
  std::vector<std::vector<std::string>> started;
  std::vector<std::string> opened;
  bool openResult = true;
  bool startInstance(const std::vector<std::string>& args) override {
    started.push_back(args);
    return true;
  }
  bool openExternally(const std::string& pathOrUrl) override {
    opened.push_back(pathOrUrl);
    return openResult;
  }
};

class FakeDialogs : public Dialogs {
 public:
  std::vector<std::string> shown;
  bool answer = true;
  void information(const std::string& title, const std::string& text) override { shown.push_back(title + ": " + text); }
  bool confirm(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
    return answer;
  }
};

// The web view: records where it was sent and what it was asked to do.
class FakeWebView : public WebView {
 public:
  std::vector<std::string> visited;  // every navigate() target in order
  std::vector<std::string> printed;  // print headers
  std::string pageTitle;
  bool visible = false;
  int backs = 0, forwards = 0, refreshes = 0, stops = 0, copies = 0;
  bool canGoBack = true, canGoForward = true;
  int width = 0, height = 0;
  void navigate(const std::string& target) override { visited.push_back(target); }
  bool back() override { return canGoBack && ++backs; }
  bool forward() override { return canGoForward && ++forwards; }
  bool refresh() override { return ++refreshes; }
  void stop() override { ++stops; }
  bool print(const std::string& header) override {
    printed.push_back(header);
    return true;
  }
  std::string title() override { return pageTitle; }
  void copySelection() override { ++copies; }
  void setVisible(bool on) override { visible = on; }
  int paneWidth() override { return width; }
  int paneHeight() override { return height; }
  int scrollBarWidth() override { return 17; }
  std::string last() const { return visited.empty() ? std::string() : visited.back(); }
};

// The spreadsheet's table: remembers the sheet it shows, the cursor, the
// editor and the menus it was asked to show; popupMenu answers `choose`.
class FakeSheetView : public SheetView {
 public:
  Sheet* sheet = nullptr;
  int numberWidth = 0;
  bool visible = false;
  bool sortable = false;
  int cursorRow = -1, cursorColumn = 0;
  bool cursorVisible = false;
  int focusCount = 0;
  bool editing = false;
  int editRow = -1, editColumn = 0;
  std::string editText, editTip;
  bool caretToEnd = false;
  std::vector<std::vector<PopupItem>> menus;  // every menu shown
  int choose = 0;

  void showSheet(Sheet* s, int width) override {
    sheet = s;
    numberWidth = width;
  }
  void setVisible(bool on) override { visible = on; }
  void setSortable(bool on) override { sortable = on; }
  void setCursor(int row, int column, bool shown) override {
    cursorRow = row;
    cursorColumn = column;
    cursorVisible = shown;
  }
  void focus() override { ++focusCount; }
  void openEditor(int row, int column, const std::string& text, bool toEnd, const std::string& tip) override {
    editing = true;
    editRow = row;
    editColumn = column;
    editText = text;
    caretToEnd = toEnd;
    editTip = tip;
  }
  void closeEditor() override { editing = false; }
  bool editorOpen() override { return editing; }
  std::string editorText() override { return editText; }
  void editorInsert(const std::string& text) override { editText += text; }
  int popupMenu(const std::vector<PopupItem>& items) override {
    menus.push_back(items);
    return choose;
  }
  std::pair<int, int> cursor() const { return {cursorRow, cursorColumn}; }
  // The last menu's item with this id, or null.
  const PopupItem* item(int id) const {
    if (menus.empty()) return nullptr;
    for (const PopupItem& i : menus.back())
      if (i.id == id) return &i;
    return nullptr;
  }
};

// Loads run to the end unless a quit was asked for after `quitAfter` steps.
class FakePump : public Pump {
 public:
  int steps = 0;
  int quitAfter = -1;
  std::vector<int> shown;  // progress() calls
  bool step() override { return quitAfter >= 0 && ++steps > quitAfter; }
  void progress(int percent) override { shown.push_back(percent); }
};

// A home folder, a documents folder and a stand-in for "/" in one temporary
// tree, plus the fakes, ready to build an App.
class AppHarness {
 public:
  AppHarness();
  // Writes the INI file (vellumark.ini in the home folder).
  void ini(const std::string& text) const;
  std::string iniText() const;
  // Builds (or rebuilds) the App and runs its start-up.
  App& start(const std::string& commandLineFile = {});
  App& app() { return *app_; }

  TempDir dir;
  std::string home, docs, fileSystem, support;
  FakeClock clock;
  FakeTimers timers;
  FakeWindow window;
  FakeDesktop desktop;
  FakeDialogs dialogs;
  FakeTextEditor editor;
  FakeLineEditor multibar;
  FakeWebView web;
  FakeSheetView sheet;
  FakePump pump;
  AppEnvironment env;

 private:
  std::unique_ptr<App> app_;
};

// A harness with one root "Notes" (the folder notes of the tree) and the
// given [General] lines, with short hands for what the App tests do.
struct RootHarness : AppHarness {
  std::string root;
  bool viewMode = false;  // start() switches to View mode (the App starts in Edit mode)
  explicit RootHarness(const std::string& general = "");
  // Rewrites the INI with other [General] lines, for the next start().
  void settings(const std::string& general) const;
  App& start();
  // Clicks a listed file.
  App& open(const std::string& name);
  // Writes notes/<name>, starts the App and opens the file.
  App& startWith(const std::string& name, const std::string& content);
  // A file of the root, or "<missing>".
  std::string file(const std::string& name) const;
  std::string title() { return app().status().title(); }
  std::string message() { return app().status().message(); }
  const MenuItem* menu(int id) { return app().menus().find(id); }
  std::string menuText(int id) { return menu(id) ? menu(id)->text : "<no item>"; }
  // Adds text at the end of the note, as the user's edit (a read-only
  // editor refuses it).
  void type(const std::string& text);
  // Types a line in the Multibar and presses Enter (Ctrl+Enter with skipWeb).
  void enter(const std::string& text, bool skipWeb = false);
  // Right click on a sheet cell, then the menu item id (0: just look).
  void sheetMenu(int viewRow, int column, int id);
  // Double-click on a sheet cell, type the text, Enter.
  void editCell(int viewRow, int column, const std::string& text);
};

}  // namespace vm::test

namespace vm::test {

// The one-line text dialog: answers from `answers` in order (nullopt is
// Cancel; none left is Cancel too) and records each prompt.
class FakeLineInput : public LineInput {
 public:
  std::vector<std::optional<std::string>> answers;
  std::vector<std::string> prompts;
  std::optional<std::string> ask(const std::string& prompt, const std::string&) override {
    prompts.push_back(prompt);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

}  // namespace vm::test
