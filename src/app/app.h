#pragma once
// The App: start-up and shutdown, the timers, the command dispatch, the
// Multibar and the leave step. It builds the features (the browser and the
// three viewers), keeps the mode and which viewer is shown, and routes every
// input to the feature that owns it. The shell only draws and forwards.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "browse/browser.h"
#include "browse/file_ops.h"
#include "browse/search.h"
#include "core/context.h"
#include "core/main_menus.h"
#include "core/program_files.h"
#include "core/window_placement.h"
#include "import/drop_import.h"
#include "import/external_program.h"
#include "notes/keywords.h"
#include "notes/note_viewer.h"
#include "platform/signal.h"
#include "render/web_viewer.h"
#include "sheet/sheet_viewer.h"

namespace vm {

// The viewer slot shown in the viewer pane.
enum class Viewer { Text = 0, Web = 1, Sheet = 2 };

enum class Mode { None = 0, View = 1, Edit = 2 };

class App {
 public:
  App(AppEnvironment env, AppPorts ports);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Start-up up to the running state: legacy INI move, settings load, the
  // window's core set-up, roots and lists, the command-line file, first launch.
  void startUp();
  // Orderly shutdown: leaves the current place, deletes temporary pages, quits.
  void shutDown();
  bool isShutDown() const { return shutDown_; }
  // True when this start found no INI file (and wrote one): a first launch.
  bool firstStart() const { return firstStart_; }
  // Puts the keyboard focus where work goes on: the shown document (note,
  // page or sheet), else the File List. Run at start and after a mode switch.
  void placeFocus();

  // State and models.
  const AppEnvironment& environment() const { return env_; }
  SettingsStore& store() { return store_; }
  Settings& settings() { return settings_; }
  Roots& roots() { return roots_; }
  const Roots& roots() const { return roots_; }
  ListModel& folderList() { return browser_.folderList(); }
  ListModel& fileList() { return browser_.fileList(); }
  StatusLine& status() { return status_; }
  MenuModel& menus() { return menus_; }
  ToolbarModel& toolbar() { return toolbar_; }
  const ViewerTables& viewerTables() const { return browser_.tables(); }
  const SortState& fileSortState() { return browser_.listing().sortState(); }
  Mode mode() const { return mode_; }
  bool expertMode() const { return expertMode_; }
  bool alwaysOnTop() const { return alwaysOnTop_; }
  const std::vector<std::string>& rootListItems() const { return browser_.rootListItems(); }
  const std::string& rootListCurrent() const { return browser_.rootListCurrent(); }
  const std::string& folderLabel() const { return browser_.folderLabel(); }
  std::string paneTip(int controlId) const { return paneTipText(controlId, expertMode_); }
  // Keyboard accelerators the shell registers for the whole window.
  const std::vector<Accelerator>& accelerators() const { return accelerators_; }
  Viewer currentViewer() const { return viewer_; }

  // The note viewer's state the shell shows.
  bool noteLoaded() const { return note_.loaded(); }
  bool noteModified() const { return note_.modified(); }
  NoteLock noteLock() const { return note_.lock(); }
  bool noteGone() const { return note_.gone(); }
  bool wordWrap() const { return note_.wordWrap(); }
  const NoteLook& noteLook() const { return note_.look(); }

  // Inputs.
  void command(int id);
  // A file named on the command line, or handed over by a later start: its folder becomes the root "Command Line".
  void openCommandLineFile(const std::string& text);
  void noteEdited() { note_.edited(); }
  void noteKeyReleased() { note_.keyReleased(); }
  void noteScrolled();
  void multibarEnter(bool skipWeb);  // Enter (false) or Ctrl+Enter (true) in the Multibar
  void multibarContextMenu();        // a right click in the Multibar
  // A right click on the Folder List or the File List (control id).
  void listContextMenu(int control);
  // Enter ended the in-place edit of a list item's label.
  void labelEdited(int control, const std::string& oldText, const std::string& newText);
  // A File List item released over the Folder List item folderIndex (-1: empty space).
  void fileDroppedOnFolder(const std::string& name, int folderIndex);
  void fileClicked(int index) { fileChosen(index, 1, false); }
  void fileActivated(int index) { fileChosen(index, 2, true); }  // double-click or Enter
  void menuAboutToOpen();            // a menu is about to show: refresh enabled states
  void dropTextOnNote(const std::string& text) { if (viewer_ == Viewer::Text) note_.dropText(text); }
  void dropOnFileList(const DropData& data) { drops_.dropOnFileList(data); }
  void dropOnNote(const DropData& data) { drops_.dropOnNote(data); }
  void timer(int id);
  void rootChosen(const std::string& text) { selectRoot(text, false); }
  void rootTyped(const std::string& text) { selectRoot(text, true); }
  void folderSelected(int index) { folderChosen(index, false); }
  void folderActivated(int index) { folderChosen(index, true); }
  void folderLabelClicked();
  void splitterReleased(int width) {
    if (width > 0) browser_.setListWidth(width);
  }
  void windowPlacementChanged(const WindowPlacement& p) { storePlacement(settings_, p); }

  // The web view: a "tn:" page link was clicked; the page's title changed;
  // a link to a local file that is a note of the File List.
  void pageLinkClicked(const std::string& url) { web_.pageLinkClicked(url); }
  void pageTitleChanged(const std::string& title) { web_.pageTitleChanged(title); }
  bool isNoteFileLink(const std::string& path) const { return web_.isNoteFileLink(path); }
  void noteFileLinkClicked(const std::string& path) { web_.noteFileLinkClicked(path); }
  // Kind of the page last shown: 0 none, 1 image page, 2 rendered note, 3 a file or address.
  int pageKind() const { return web_.pageKind(); }
  const std::vector<std::string>& styleSheets() const { return web_.styleSheets(); }
  std::string currentStyleSheet() const { return web_.currentStyleSheet(); }
  void paletteChanged() { web_.paletteChanged(); }  // the window turned light or dark

  // The spreadsheet's table (columns as in SheetView: 0 is "tn").
  void sheetCellClicked(int viewRow, int column) { sheet_.cellClicked(viewRow, column); }
  void sheetCellDoubleClicked(int viewRow, int column) { sheet_.cellDoubleClicked(viewRow, column); }
  void sheetKey(SheetKey key, int pageRows = 1) { sheet_.key(key, pageRows); }
  void sheetEditorEnter() { sheet_.editorEnter(); }
  void sheetEditorEscape() { sheet_.editorEscape(); }
  void sheetContextMenu(int viewRow, int column) { sheet_.contextMenu(viewRow, column); }
  void sheetHeaderClicked(int column) { sheet_.headerClicked(column); }
  void sheetGroupToggled(int group) { sheet_.groupToggled(group); }
  void sheetScrolled() { sheet_.scrolled(); }
  void sheetColumnResized(int column, int width) { sheet_.columnResized(column, width); }
  Sheet& sheet() { return sheet_.sheet(); }
  int sheetCursorRow() const { return sheet_.cursorRow(); }
  int sheetCursorColumn() const { return sheet_.cursorColumn(); }

  // Layout support.
  int listWidth() { return browser_.listWidth(); }  // ListWidth, read once and cached
  RestorePlan restorePlan(int screenWidth, int screenHeight, int taskbarHeight) const {
    return restorePlanFor(store_.getText(setting::WindowPosition.key, ""), screenWidth, screenHeight, taskbarHeight);
  }

  // Diagnostics: "MM.DD hh:mm:ss message" appended to LogFile.log.
  bool writeLog(const std::string& message) {
    return appendLogLine(env_.home, ports_.clock ? ports_.clock->nowNs() : 0, message);
  }
  std::filesystem::path iniPath() const { return env_.home / (env_.exeName + ".ini"); }

  // Notifications for the shell.
  Signal<> rootListChanged;
  Signal<> folderLabelChanged;
  Signal<> modeChanged;
  Signal<> alwaysOnTopChanged;
  Signal<> viewerChanged;  // the shown viewer or the editor's wrap changed
  Signal<std::string> aboutRequested;  // the About text
  Signal<> noteLookChanged;            // font or gutter of the note editor changed

 private:
  void initMainWindow();
  void rebuildFromSettings();
  void configure();
  void updateToolbar();
  void selectRoot(const std::string& text, bool typed);
  void showHelp();
  void openShortcut(int id);
  void selectAndOpen(const std::string& name, bool focus = false);
  void switchMode();
  void switchModeOnly();
  void folderChosen(int index, bool enter);
  void fileChosen(int index, int how, bool focus);
  void folderWatchTick();
  void focusControl(int id);
  void say(const std::string& text) { status_.show(text); }

  // Open dispatch, the leave step, Back and new files.
  bool openSelectedFile(int how, bool focus, bool remember);
  void selectViewer(Viewer v);
  // False when a modified note could be neither saved nor rescued: its
  // text is then still only in the editor.
  bool leaveLocation(bool remember);
  DocumentViewer& viewerOf(Viewer v);
  DocumentViewer& shownViewer() { return viewerOf(viewer_); }
  // False, and nothing closed, when the open note could be neither saved nor rescued.
  bool closeDocument();
  void newNote(bool switchToEdit);
  void openNewFile();
  void newSpreadsheet(const std::string& typedName, bool focus);
  void autosaveTick();
  void goBack();
  void pasteDate();
  void openAddress(const std::string& text);
  void openLinkedNote(const std::string& name);

  AppEnvironment env_;
  AppPorts ports_;
  SettingsStore store_;
  Settings settings_;
  Roots roots_;
  StatusLine status_;
  MenuModel menus_;
  ToolbarModel toolbar_;
  Mode mode_ = Mode::None;
  bool expertMode_ = false;
  bool alwaysOnTop_ = false;
  bool shutDown_ = false;
  bool firstStart_ = false;
  bool goingBack_ = false;
  bool openRunning_ = false;
  int autosaveCount_ = 0;
  std::vector<Accelerator> accelerators_;
  Viewer viewer_ = Viewer::Text;
  std::unique_ptr<TextEditor> ownEditor_;
  std::unique_ptr<LineEditor> ownMultibar_;
  FeatureContext context_;
  NoteViewer note_;
  Browser browser_;
  WebViewer web_;
  SheetViewer sheet_;
  FileOps fileOps_;
  Search search_;
  Keywords keywords_;
  ExternalProgram external_;
  HttpFetcher fetcher_;  // one download at a time
  DropImport drops_;
};

}  // namespace vm
