#pragma once
// In-memory port implementations: tests drive the App with these instead
// of a screen.
#include <functional>
#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <memory>
#include <string>
#include <utility>
#include <chrono>
#include <thread>
#include <vector>

#include "app/app.h"
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
  // List menus: every menu shown with its list, and the id to choose.
  std::vector<std::pair<int, std::vector<PopupItem>>> menus;
  int choose = 0;
  std::vector<std::pair<int, int>> labelEdits;  // (list, index) editing started
  int popupMenu(int control, const std::vector<PopupItem>& items) override {
    menus.emplace_back(control, items);
    return choose;
  }
  void editLabel(int control, int index) override { labelEdits.emplace_back(control, index); }
  // The last menu's item with this id (sub-menus included), or null.
  const PopupItem* item(int id) const {
    if (menus.empty()) return nullptr;
    std::vector<const std::vector<PopupItem>*> todo{&menus.back().second};
    while (!todo.empty()) {
      const auto* list = todo.back();
      todo.pop_back();
      for (const PopupItem& i : *list) {
        if (i.id == id && i.children.empty()) return &i;
        if (!i.children.empty()) todo.push_back(&i.children);
      }
    }
    return nullptr;
  }
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
    undoStack.push_back(content);
    const std::size_t a = selectionStart(), b = selectionEnd();
    content.replace(a, b - a, t);
    selStart = selEnd = a + t.size();
    if (onReplace) onReplace();
  }
  int scrollPosition() override { return scroll; }
  void setReadOnly(bool on) override { readOnly = on; }
  std::size_t characterCount() override;
  // Editing commands: an undo stack of whole texts, and a clipboard to cut
  // and copy to (none: they go nowhere).
  std::vector<std::string> undoStack;
  class FakeClipboard* clipboard = nullptr;
  int charWidth = 7;  // pixels per character of textWidth; 0: cannot measure
  int syntax = 0;
  std::vector<std::vector<PopupItem>> menus;  // every pop-up menu shown
  int choose = 0;                             // what popupMenu answers
  void undo() override {
    if (readOnly || undoStack.empty()) return;
    content = undoStack.back();
    undoStack.pop_back();
    selStart = selEnd = 0;
  }
  void cut() override;
  void copy() override;
  void selectAll() override {
    selStart = 0;
    selEnd = content.size();
  }
  void select(std::size_t start, std::size_t end) override {
    selStart = start;
    selEnd = end;
  }
  int textWidth(const std::string& t) override;
  int popupMenu(const std::vector<PopupItem>& items) override {
    menus.push_back(items);
    return choose;
  }
  void setSyntax(int s) override { syntax = s; }
  // The last menu's item with this id, or null.
  const PopupItem* item(int id) const {
    if (menus.empty()) return nullptr;
    for (const PopupItem& i : menus.back())
      if (i.id == id) return &i;
    return nullptr;
  }
};

// The clipboard: text and one encoded picture.
class FakeClipboard : public Clipboard {
 public:
  std::optional<std::string> textContent;
  // The picture as the encoded bytes of each format it can give ("png",
  // "bmp"); empty: no picture.
  std::map<std::string, std::string> picture;
  bool hasText() override { return textContent.has_value(); }
  std::string text() override { return textContent.value_or(""); }
  void setText(const std::string& t) override { textContent = t; }
  bool hasImage() override { return !picture.empty(); }
  std::string image(std::string_view format) override {
    auto it = picture.find(std::string(format));
    return it == picture.end() ? std::string() : it->second;
  }
  bool setImage(const std::string& encoded) override {
    if (encoded.empty()) return false;
    picture = {{"png", encoded}, {"bmp", "BM" + encoded}};
    return true;
  }
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
  // The entry's clipboard commands are recorded, not run.
  bool selected = false, pasteable = false;
  std::vector<std::string> done;
  std::vector<std::vector<PopupItem>> menus;  // every menu shown
  int choose = 0;
  bool hasSelection() override { return selected; }
  bool canPaste() override { return pasteable; }
  void cut() override { done.push_back("cut"); }
  void copy() override { done.push_back("copy"); }
  void paste() override { done.push_back("paste"); }
  int popupMenu(const std::vector<PopupItem>& items) override {
    menus.push_back(items);
    return choose;
  }
  const PopupItem* item(int id) const {
    if (menus.empty()) return nullptr;
    for (const PopupItem& i : menus.back())
      if (i.id == id) return &i;
    return nullptr;
  }
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
  std::vector<std::string> properties;  // paths whose Properties were shown
  void showProperties(const std::string& path) override { properties.push_back(path); }
};

class FakeDialogs : public Dialogs {
 public:
  std::vector<std::string> shown;
  bool answer = true;
  // The Keywords dialog: what the user does in it before pressing OK
  // (nothing: OK at once); the title and entries it showed when opened.
  std::function<void(KeywordsDialogModel&)> keywordsUser;
  std::string keywordsTitle;
  std::vector<std::string> keywordsShown, keywordsChoices;
  void keywords(KeywordsDialogModel& model) override {
    keywordsTitle = model.title();
    keywordsShown = model.entries();
    keywordsChoices = model.choices();
    if (keywordsUser) keywordsUser(model);
    model.ok();
  }
  // The Configure dialog: what the user does in it; its answer is OK (true)
  // or Cancel. Without a user the dialog is cancelled at once.
  std::function<bool(ConfigureSession&)> configureUser;
  int configureRuns = 0;
  bool configure(ConfigureSession& session) override {
    ++configureRuns;
    return configureUser && configureUser(session);
  }
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
  bool dark = false;
  bool darkPalette() override { return dark; }
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

// Loads run to the end unless a stop was asked for after `quitAfter` steps:
// a quit, or with `byUser` the user's cancel.
class FakePump : public Pump {
 public:
  int steps = 0;
  int quitAfter = -1;
  bool byUser = false;
  int stepMs = 0;  // how long each step takes
  std::vector<int> shown;  // progress() calls
  bool step() override {
    if (stepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    ++steps;
    return quitAfter >= 0 && steps > quitAfter;
  }
  void progress(int percent) override { shown.push_back(percent); }
  bool cancelled() const override { return byUser && quitAfter >= 0 && steps > quitAfter; }
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
  FakeClipboard clipboard;
  FakeLineInput lineInput;
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

