#pragma once
// The App owns the program's state: settings, roots and the current root,
// the lists, the mode, the status line, menus and toolbar. Every input
// reaches it as a method call; the shell only draws and forwards.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "browse/browser.h"
#include "browse/file_kinds.h"
#include "browse/history.h"
#include "browse/list_model.h"
#include "browse/listing.h"
#include "core/context.h"
#include "core/menu_model.h"
#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "core/settings_store.h"
#include "core/status_line.h"
#include "notes/note_file.h"
#include "notes/note_viewer.h"
#include "platform/ports.h"
#include "platform/signal.h"
#include "render/markup.h"
#include "render/web_viewer.h"
#include "sheet/sheet.h"

namespace vm {

// Keys the spreadsheet's table hands to the App.
// PageUp and PageDown move by the rows the table shows; Home and End go to
// the first and last column of the row, Ctrl+Home and Ctrl+End to the first
// and the last cell of the sheet.
enum class SheetKey { Enter, Escape, Left, Up, Right, Down, PageUp, PageDown, Home, End, CtrlHome, CtrlEnd };

// A key chord (portable form, "Ctrl+Shift+N", "F5") and the command it gives.
struct Accelerator {
  std::string keys;
  int id = 0;
};

// The viewer slot shown in the viewer pane.
enum class Viewer { Text = 0, Web = 1, Sheet = 2 };

// A link written in a spreadsheet cell: a name in brackets (a note of the
// current folder) or a web address.
struct SheetLink {
  bool web = false;
  std::string target;
  friend bool operator==(const SheetLink&, const SheetLink&) = default;
};
// The links of a cell's text, left to right: every "[name]" ("[[name]]"
// too; "$" around the name dropped), then, when no "[" is left, the first
// address starting "http:" or "https:" up to the next blank.
std::vector<SheetLink> sheetLinks(std::string_view text);

// The main window's placement as stored under WindowPosition: flags, show
// state (1 normal, 2 minimised, 3 maximised), minimised x y, maximised x y,
// normal left top right bottom.
struct WindowPlacement {
  int flags = 0;
  int showState = 1;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
};

// What the shell should do with the window at start.
struct RestorePlan {
  bool useDefault = true;  // leave the window where the platform puts it
  bool maximised = false;
  int left = 0, top = 0, right = 0, bottom = 0;
};

enum class Mode { None = 0, View = 1, Edit = 2 };

// How the note editor looks: NoteFont (empty keeps the platform's font),
// NoteFontSize in pixels (0 lets the platform choose) and the left margin
// GutterWidth in pixels.
struct NoteLook {
  std::string font;
  int fontSize = 0;
  int gutter = 10;
  friend bool operator==(const NoteLook&, const NoteLook&) = default;
};

inline constexpr const char* kLegacyIniName = "tallownotes.ini";
inline constexpr const char* kLogFileName = "LogFile.log";
inline constexpr const char* kHelpFileName = "1_help.txt";

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
  ListModel& folderList() { return folderList_; }
  ListModel& fileList() { return fileList_; }
  StatusLine& status() { return status_; }
  MenuModel& menus() { return menus_; }
  ToolbarModel& toolbar() { return toolbar_; }
  const ViewerTables& viewerTables() const { return tables_; }
  const SortState& fileSortState() const { return listing_.sortState(); }
  Mode mode() const { return mode_; }
  bool expertMode() const { return expertMode_; }
  bool alwaysOnTop() const { return alwaysOnTop_; }

  // Root List: names as shown (sorted ignoring case) and the chosen one.
  const std::vector<std::string>& rootListItems() const { return browser_.rootListItems(); }
  const std::string& rootListCurrent() const { return browser_.rootListCurrent(); }
  // Current-folder label text: two blanks and the shortened path.
  const std::string& folderLabel() const { return browser_.folderLabel(); }
  // Tool tips of the panes by control id (empty in expert mode).
  std::string paneTip(int controlId) const;

  // Keyboard accelerators the shell registers for the whole window.
  const std::vector<Accelerator>& accelerators() const { return accelerators_; }
  Viewer currentViewer() const { return viewer_; }
  bool noteLoaded() const { return note_.loaded(); }
  bool noteModified() const { return note_.modified(); }
  // Why the open note cannot be edited; None while it can.
  using NoteLock = vm::NoteLock;
  NoteLock noteLock() const { return note_.lock(); }
  // The open note's file went away while it had unsaved changes.
  bool noteGone() const { return note_.gone(); }
  bool wordWrap() const;
  const NoteLook& noteLook() const { return noteLook_; }

  // Inputs.
  void command(int id);
  void noteEdited();        // the user changed the note's text
  void noteKeyReleased();   // a key or mouse button was released in the note editor
  void noteScrolled();      // the user scrolled the note up or down
  void multibarEnter(bool skipWeb);  // Enter (false) or Ctrl+Enter (true) in the Multibar
  void fileActivated(int index);     // double-click or Enter on a File List item
  void menuAboutToOpen();            // a menu is about to show: refresh enabled states
  // Text dropped on the note: a web address becomes a Markdown link.
  void dropTextOnNote(const std::string& text);
  void timer(int id);
  // The web view: a "tn:" page link was clicked (the view stays on a blank
  // page); the shown page's title changed.
  void pageLinkClicked(const std::string& url);
  void pageTitleChanged(const std::string& title);
  // A link in a shown page to a local file: true when the file is a note of
  // the File List (text, Markdown or wiki), which noteFileLinkClicked then
  // opens by its kind, as a page link would.
  bool isNoteFileLink(const std::string& path) const;
  void noteFileLinkClicked(const std::string& path);
  // Kind of the page last shown: 0 none, 1 image page, 2 rendered note,
  // 3 a file or address shown directly.
  int pageKind() const { return web_.pageKind(); }
  // The spreadsheet's table (columns as in SheetView: 0 is "tn"; viewRow
  // -1 when the point hit no row, a group header included).
  void sheetCellClicked(int viewRow, int column);
  void sheetCellDoubleClicked(int viewRow, int column);
  void sheetKey(SheetKey key, int pageRows = 1);
  void sheetEditorEnter();   // Enter in the cell editor: assign
  void sheetEditorEscape();  // Esc in the cell editor: discard
  void sheetContextMenu(int viewRow, int column);
  void sheetHeaderClicked(int column);
  void sheetGroupToggled(int group);  // the sign of a group header was clicked
  void sheetScrolled();
  void sheetColumnResized(int column, int width);
  Sheet& sheet() { return *sheet_; }
  // The cell cursor: view row (-1 none) and table column (>= 1).
  int sheetCursorRow() const { return cursorRow_; }
  int sheetCursorColumn() const { return cursorCol_; }
  void rootChosen(const std::string& text);  // picked in the Root List
  void rootTyped(const std::string& text);   // typed into its edit field + Enter
  void folderSelected(int index);
  void folderActivated(int index);
  void fileClicked(int index);
  void folderLabelClicked();
  void splitterReleased(int listWidth);
  void windowPlacementChanged(const WindowPlacement& p);

  // Style sheets offered for rendered pages, and the one in use.
  const std::vector<std::string>& styleSheets() const { return web_.styleSheets(); }
  std::string currentStyleSheet() const { return web_.currentStyleSheet(); }

  // Layout support.
  int listWidth() { return browser_.listWidth(); }  // ListWidth, read once and cached
  RestorePlan restorePlan(int screenWidth, int screenHeight, int taskbarHeight) const;

  // Diagnostics: "MM.DD hh:mm:ss message" appended to LogFile.log.
  bool writeLog(const std::string& message);

  std::filesystem::path iniPath() const;

  // Notifications for the shell.
  Signal<> rootListChanged;
  Signal<> folderLabelChanged;
  Signal<> modeChanged;
  Signal<> alwaysOnTopChanged;
  Signal<> viewerChanged;  // the shown viewer or the editor's wrap changed
  Signal<std::string> aboutRequested;  // the About text
  Signal<> noteLookChanged;            // font or gutter of the note editor changed

 private:
  void moveLegacyIni();
  void initMainWindow();
  void rebuildFromSettings();
  void readNoteLook();
  void buildMenus();
  void buildToolbar();
  void updateToolbar();
  ListingRules listingRules() const { return browser_.listingRules(); }
  void selectRoot(const std::string& text, bool typed);
  void openCommandLineFile(const std::string& text);
  void firstLaunchCheck();
  void showHelp();
  void openShortcut(int id);
  void selectFileByName(const std::string& name);
  void openIndexFile();
  void switchMode();
  void toggleProgramFiles();
  void folderWatchTick();
  void say(const std::string& text) { status_.show(text); }

  // Open dispatch, notes and history.
  bool openSelectedFile(int how, bool focus, bool remember);
  void selectViewer(Viewer v);
  // False when a modified note could be neither saved nor rescued: its
  // text is then still only in the editor.
  bool leaveLocation(bool remember);
  void saveNow();            // Ctrl+S and the Save command
  // The shown viewer behind the viewer interface; none for the viewers that
  // still live in the App (web page and sheet).
  DocumentViewer* documentViewer();
  // False, and nothing closed, when the open note could be neither saved nor rescued.
  bool closeDocument();
  void newNote(bool switchToEdit);
  void openNewFile();
  void autosaveTick();
  void goBack();
  void pasteDate();
  void addToolsItem(MenuItem item);
  void buildAccelerators();
  std::string notePath() const;
  LocalTime now() const;
  void switchModeOnly();
  void focusControl(int id);

  // Spreadsheet viewer.
  class SheetWatch;
  void initSheetViewer();
  SheetOptions sheetOptions() const;
  bool sheetShown() const;
  bool openSheet(bool asNew);
  SheetSaveResult saveSheet(bool quiet = false);
  void rescueSheet();
  void closeSheet();
  void newSpreadsheet(const std::string& typedName, bool focus);
  void insertSheetMenuItems();
  void removeSheetMenuItems();
  void toggleSheetTitleRow();
  void toggleSheetSorting();
  void drawCursor();
  void sheetCursorUpkeep();
  int shownRowFrom(int viewRow, int steps) const;
  void editCell(int viewRow, int column);
  void discardEdit();
  bool sheetCommand(int id);
  void followSheetLink(int n);
  bool findInSheet(const std::string& term, bool fromStart);
  void pasteDateInCell();
  void openAddress(const std::string& text);
  void openLinkedNote(const std::string& name);

  // Web viewer routing.
  void openAddressFromMultibar(const std::string& text);

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
  NoteLook noteLook_;
  std::vector<Accelerator> accelerators_;
  Viewer viewer_ = Viewer::Text;
  FeatureContext context_;
  NoteViewer note_;
  Browser browser_;
  WebViewer web_;
  // The browser's parts the sheet and web code of the App still reach directly.
  ListModel& folderList_;
  ListModel& fileList_;
  Listing& listing_;
  FolderWatch& watch_;
  ViewerTables& tables_;
  History& history_;
  bool goingBack_ = false;
  bool openRunning_ = false;
  int autosaveCount_ = 0;
  std::unique_ptr<Sheet> sheet_;
  std::unique_ptr<SheetObserver> sheetWatch_;
  int cursorRow_ = -1;  // view row of the cell cursor, -1 none
  int cursorCol_ = 1;   // table column (1 = first data column)
  std::pair<int, int> cursorDrawn_{-2, -2};  // where the view last drew it; -2 not drawn
  int menuRow_ = -1;    // the point the context menu was opened at
  int menuCol_ = -1;
  std::uint32_t editKey_ = 0;  // the edited cell: its row's identity and table column
  int editCol_ = 0;
  std::unique_ptr<TextEditor> ownEditor_;
  std::unique_ptr<LineEditor> ownMultibar_;
  struct LastSearch {
    std::string term;
    int kind = 0;  // 0 none, 1 document, 2 folder, 3 keywords
  } lastSearch_;
};

// Parses a WindowPosition value; nullopt when it is not ten numbers.
std::optional<WindowPlacement> parsePlacement(const std::string& value);
std::string formatPlacement(const WindowPlacement& p);

}  // namespace vm
