#include "core/app.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "core/commands.h"
#include "notes/companion.h"
#include "notes/folder_settings.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "platform/version.h"

namespace vm {

namespace {

constexpr int kStatusPeriodMs = 500;
constexpr int kFolderWatchPeriodMs = 3000;
constexpr int kAutosavePeriodMs = 60000;
constexpr int kMinWindowSide = 50;

constexpr std::size_t kMaxFontName = 31;
constexpr int kMaxFontPixels = 400;
constexpr int kMaxGutter = 200;

const char* const kTextSwitchToView = " Switch to &View mode";
const char* const kTextSwitchToEdit = " Switch to &Edit mode";

}  // namespace

App::App(AppEnvironment env, AppPorts ports)
    : env_(std::move(env)),
      ports_(ports),
      settings_(store_),
      context_{env_, ports_, store_, settings_, roots_, status_, menus_, toolbar_},
      note_(context_, NoteHooks{[this](const std::string& name) { browser_.relistFiles(name); },
                                [this] { browser_.watch().forget(); }, [this] { viewerChanged(); }}),
      browser_(context_, BrowserHooks{[this] { rootListChanged(); }, [this] { folderLabelChanged(); }}),
      web_(context_, WebHooks{[this] { return viewer_ == Viewer::Web; }, [this] { updateToolbar(); },
                              [this](const std::string& name) { return browser_.fileList().find(name) >= 0; },
                              [this](const std::string& name) { return browser_.tables().kindOf(name) == kKindText; },
                              [this](const std::string& name) {
                                browser_.fileList().selectName(name);
                                openSelectedFile(1, false, true);
                              },
                              [this](const std::string& name) { openLinkedNote(name); }}),
      folderList_(browser_.folderList()),
      fileList_(browser_.fileList()),
      listing_(browser_.listing()),
      watch_(browser_.watch()),
      tables_(browser_.tables()),
      history_(browser_.history()) {
  settings_.setFolderLookup([this](std::string_view key) -> std::optional<std::string> {
    const RootLocation& r = roots_.current();
    if (!r.inUse) return std::nullopt;
    return folderSetting(r.filesFolder(), r.rootFolder, key);
  });
  initSheetViewer();
}

App::~App() {
  // The view reads the sheet in place: let go of it before the sheet goes.
  if (ports_.sheet) ports_.sheet->showSheet(nullptr, 0);
  sheet_->removeObserver(sheetWatch_.get());
}

std::filesystem::path App::iniPath() const { return env_.home / (env_.exeName + ".ini"); }

// ---------------------------------------------------------------- start-up

void App::startUp() {
  moveLegacyIni();
  firstStart_ = !pathExists(iniPath());
  removeStaleTempFiles(env_.home);
  store_.load(iniPath());
  status_.configure(settings_.flag(setting::UseStatBar), settings_.flag(setting::NoteShowCharCount),
                    settings_.flag(setting::NoteShowWordCount),
                    [this] { return !ports_.window || ports_.window->isForeground(); });
  initMainWindow();
  openCommandLineFile(env_.commandLineFile);
  firstLaunchCheck();
  placeFocus();
}

void App::moveLegacyIni() {
  auto legacy = env_.home / kLegacyIniName;
  auto current = iniPath();
  if (pathExists(current) || !pathExists(legacy)) return;
  std::error_code ec;
  std::filesystem::rename(legacy, current, ec);
  if (!ec) writeLog(format("Moved %s to %s", legacy.c_str(), current.c_str()));
}

void App::initMainWindow() {
  expertMode_ = settings_.flag(setting::ExpertMode);
  buildMenus();
  buildAccelerators();
  tables_ = ViewerTables::build(settings_.list(setting::TextExtraExtensions),
                                settings_.list(setting::WebExtraExtensions),
                                settings_.list(setting::SSExtraExtensions));
  // Back from the keyboard, beside Ctrl+B.
  accelerators_.push_back({"Alt+Left", cmd::kCtrlB});
  web_.init();
  buildToolbar();
  rebuildFromSettings();
  ensureFileInfoFolder(fileInfoFolder(env_.home.string(), settings_.text(setting::FileInfoDir),
                                      [this](std::string& p) { expandPathVariables(p, env_.paths); }));
  if (ports_.timers) {
    ports_.timers->start(cmd::kTimerStatus, kStatusPeriodMs);
    ports_.timers->start(cmd::kTimerFolderWatch, kFolderWatchPeriodMs);
  }
  updateToolbar();
}

void App::buildMenus() {
  auto& m = menus_.menus();
  m.clear();
  Menu file{"&File", {}};
  MenuItem newMenu{0, "   &New    ", "", false, false, true, {}};
  newMenu.children.push_back({cmd::kNewTextNote, "&Text note   \tCtrl+N", "", false, false, true, {}});
  newMenu.children.push_back({cmd::kNewSpreadsheet, "S&preadsheet  \tCtrl+Shift+N", "", false, false, true, {}});
  file.items.push_back(std::move(newMenu));
  file.items.push_back({cmd::kSave, "   &Save    \tCtrl+S  ", "", false, false, true, {}});
  file.items.push_back({cmd::kNewWindow, "   &New Vellumark window", "", false, false, true, {}});
  file.items.push_back({cmd::kExit, "   E&xit   \tAlt+F4", "Alt+F4", false, false, true, {}});
  Menu tools{"&Tools", {}};
  tools.items.push_back({cmd::kLaunchAssociated, " Launch &Associated", "", false, false, false, {}});
  tools.items.push_back({cmd::kSwitchMode, kTextSwitchToView, "", false, false, true, {}});
  tools.items.push_back({cmd::kAlwaysOnTop, " Always on Top", "", true, alwaysOnTop_, true, {}});
  Menu help{"&Help", {}};
  help.items.push_back({cmd::kHelp, "   &Help", "F1", false, false, true, {}});
  help.items.push_back({cmd::kAbout, "   &About", "", false, false, true, {}});
  m.push_back(std::move(file));
  m.push_back(std::move(tools));
  m.push_back(std::move(help));
  // The item that shows the program's own files exists only while they are
  // not always hidden.
  if (!settings_.flag(setting::TnHideFiles)) {
    MenuItem vm{cmd::kViewProgramFiles, " View Vellumark files   ", "", true,
                settings_.flag(setting::MenuViewVMFiles), true, {}};
    menus_.insertBefore(1, cmd::kAlwaysOnTop, std::move(vm));
  }
  menus_.changed();
}

void App::buildToolbar() {
  auto& b = toolbar_.buttons();
  b.clear();
  b.push_back({cmd::kToolNewBack, 0, "", true, false});
  b.push_back({cmd::kToolSaveForward, 1, "", true, false});
  b.push_back({cmd::kToolViewEdit, 3, "", true, false});
  b.push_back({cmd::kToolSpacerMultibar, 6, "", false, true});
  for (int n = 0; n < 3; ++n) b.push_back({cmd::kPerpetual1 + n, 7 + n, "", false, false});
  b.push_back({cmd::kToolSpacerRoots, 6, "", false, true});
}

// Tips and pictures follow the mode, BackInsteadOfNew and the Perpetual notes.
void App::updateToolbar() {
  bool web = viewer_ == Viewer::Web;
  bool back = web || settings_.flag(setting::BackInsteadOfNew);
  bool view = mode_ == Mode::View;
  if (auto* nb = toolbar_.find(cmd::kToolNewBack)) {
    nb->picture = back ? 4 : 0;
    nb->tip = expertMode_ ? "" : (back ? "Back" : "New");
  }
  if (auto* sv = toolbar_.find(cmd::kToolSaveForward)) {
    sv->picture = web ? 5 : 1;
    sv->tip = expertMode_ ? "" : (web ? "Forward" : "Save");
    sv->enabled = web || !view;
  }
  if (auto* ve = toolbar_.find(cmd::kToolViewEdit)) {
    ve->picture = view ? 2 : 3;
    ve->tip = expertMode_ ? "" : (view ? "Edit" : "View");
  }
  // The Perpetual note buttons keep their tips even in expert mode.
  for (int n = 0; n < 3; ++n) {
    auto* pb = toolbar_.find(cmd::kPerpetual1 + n);
    const RootLocation& sc = roots_.shortcuts()[static_cast<std::size_t>(kPerpetualFirstSlot + n)];
    pb->enabled = sc.inUse;
    pb->tip = sc.inUse ? sc.selectedFile
                       : format("Perpetual note %d\nAssign note using Configure -> Perpetual Notes", n + 1);
  }
  toolbar_.changed();
}

std::string App::paneTip(int controlId) const {
  if (expertMode_) return {};
  switch (controlId) {
    case cmd::kMultibar: return "Multibar (Type new filename or ? to search current document)";
    case cmd::kFolderLabel: return "Current Folder (Click to return to root)";
    case cmd::kRootList: return "Root List";
    case cmd::kFileList: return "File List";
    case cmd::kFolderList: return "Folder List";
    default: return {};
  }
}

void App::rebuildFromSettings() {
  browser_.forgetListWidth();
  roots_.load(settings_, env_.paths, [this](const std::string& s) { say(s); });
  roots_.setCurrent(std::max(0, roots_.find(settings_.text(setting::LastRoot))));
  browser_.refillRootList();
  browser_.listCurrentRoot(true);

  if (ports_.timers) {
    ports_.timers->stop(cmd::kTimerAutosave);
    if (settings_.integer(setting::AutoSave) != 0) ports_.timers->start(cmd::kTimerAutosave, kAutosavePeriodMs);
  }

  const std::string defExt = settings_.text(setting::DefaultExtension);
  const SettingDef* perpetual[3] = {&setting::PerpetualNote1, &setting::PerpetualNote2, &setting::PerpetualNote3};
  for (int n = 0; n < 3; ++n) {
    RootLocation& sc = roots_.shortcuts()[static_cast<std::size_t>(kPerpetualFirstSlot + n)];
    sc = RootLocation{};
    auto fields = splitPerpetualNote(settings_.text(*perpetual[n]));
    if (!fields) continue;
    std::string root = (*fields)[0], path = (*fields)[1];
    expandPathVariables(root, env_.paths);
    expandPathVariables(path, env_.paths);
    sc.inUse = true;
    sc.rootFolder = withoutTrailingSlash(root);
    sc.path = withoutTrailingSlash(path);
    sc.selectedFolder = (*fields)[2];
    sc.selectedFile = (*fields)[3];
    sc.defaultExtension = defExt;
    if (int i = roots_.find(sc.rootFolder); i >= 0) {
      const RootLocation& r = roots_.at(i);
      sc.displayName = r.displayName.empty() ? r.rootFolder : r.displayName;
      sc.defaultExtension = r.defaultExtension;
    }
  }

  RootLocation& help = roots_.shortcuts()[kHelpSlot];
  help = RootLocation{};
  help.inUse = true;
  help.rootFolder = help.path = withoutTrailingSlash((env_.supportDir / "help").string());
  help.selectedFile = kHelpFileName;
  help.displayName = std::string(kRootHelp);
  help.defaultExtension = ".txt";

  readNoteLook();

  if (settings_.flag(setting::LogBack))
    history_.setLog([this](const std::string& line) { writeLog(line); });
  else
    history_.setLog(nullptr);

  updateToolbar();
}

// The note editor's font and left margin. Values the editor cannot use
// fall back to the platform's font and the default margin.
void App::readNoteLook() {
  NoteLook look;
  look.font = cutUtf8(settings_.text(setting::NoteFont), kMaxFontName);
  const int size = settings_.integer(setting::NoteFontSize);
  if (!look.font.empty() && size > 0 && size <= kMaxFontPixels) look.fontSize = size;
  const int gutter = settings_.integer(setting::GutterWidth);
  look.gutter = gutter >= 0 && gutter <= kMaxGutter ? gutter : static_cast<int>(leadingNumber(setting::GutterWidth.def));
  if (look == noteLook_) return;
  noteLook_ = std::move(look);
  noteLookChanged();
}

// ---------------------------------------------------------------- lists

// ---------------------------------------------------------------- inputs

void App::rootChosen(const std::string& text) { selectRoot(text, false); }

void App::rootTyped(const std::string& text) { selectRoot(text, true); }

void App::selectRoot(const std::string& text, bool typed) {
  if (!closeDocument()) return;
  if (!text.empty()) {
    int i = roots_.find(text);
    if (i < 0 && typed) {
      std::string folder = text;
      bool exists = expandPathVariables(folder, env_.paths) && isDirectory(folder);
      if (exists)
        i = roots_.add(folder, folder, "", "", settings_.text(setting::DefaultExtension),
                       [this](const std::string& s) { say(s); });
      if (i < 0) {
        // Stay where we are, so the message is not replaced by a listing caption.
        say("Error adding root");
        browser_.refillRootList();
        return;
      }
    }
    if (i >= 0) roots_.setCurrent(i);
    settings_.set(setting::LastRoot, text);
  }
  browser_.refillRootList();
  browser_.listCurrentRoot(true);
}

void App::folderSelected(int index) {
  RootLocation& r = roots_.current();
  if (!r.inUse || index < 0 || index >= folderList_.size()) return;
  if (!closeDocument()) return;
  listing_.selectFolder(r, index, listingRules());
  openIndexFile();
}

void App::folderActivated(int index) {
  RootLocation& r = roots_.current();
  if (!r.inUse || index < 0 || index >= folderList_.size()) return;
  if (!closeDocument()) return;
  listing_.enterFolder(r, index, listingRules());
  browser_.updateFolderLabel();
  openIndexFile();
}

void App::fileClicked(int index) {
  if (index < 0 || index >= fileList_.size()) return;
  fileList_.setSelected(index);
  openSelectedFile(1, false, true);
}

void App::fileActivated(int index) {
  if (index < 0 || index >= fileList_.size()) return;
  fileList_.setSelected(index);
  openSelectedFile(2, true, true);
}

void App::folderLabelClicked() {
  if (!closeDocument()) return;
  browser_.listCurrentRoot(true);
}

void App::splitterReleased(int width) {
  if (width <= 0) return;
  browser_.setListWidth(width);
}

void App::windowPlacementChanged(const WindowPlacement& p) {
  if (p.showState == 2 || p.showState == 6) return;  // never store a minimised window
  std::string value = formatPlacement(p);
  if (store_.getText(setting::WindowPosition.key, "") == value) return;
  settings_.set(setting::WindowPosition, value);
}

RestorePlan App::restorePlan(int screenWidth, int screenHeight, int taskbarHeight) const {
  RestorePlan plan;
  auto p = parsePlacement(store_.getText(setting::WindowPosition.key, ""));
  if (!p) return plan;
  bool maximised = p->showState == 3;
  if (!maximised && p->right <= 0 && p->bottom <= 0) return plan;
  int usableHeight = screenHeight - taskbarHeight;
  plan.left = (p->left >= 0 && p->left <= screenWidth) ? p->left : 0;
  plan.top = (p->top >= 0 && p->top <= screenHeight) ? p->top : 0;
  plan.right = (p->right < 0 || p->right > screenWidth) ? screenWidth : (p->right == 0 ? 150 : p->right);
  plan.bottom = (p->bottom < 0 || p->bottom > usableHeight) ? usableHeight : (p->bottom == 0 ? 150 : p->bottom);
  plan.maximised = maximised;
  // A rectangle too small to use (or turned inside out) falls back to the default.
  if (!maximised && (plan.right - plan.left < kMinWindowSide || plan.bottom - plan.top < kMinWindowSide))
    return RestorePlan{};
  plan.useDefault = false;
  return plan;
}

// ---------------------------------------------------------------- commands

void App::command(int id) {
  if (id >= cmd::kShortcutFirst && id <= cmd::kShortcutLast) {
    openShortcut(id);
    return;
  }
  if (id >= cmd::kStyleSheetFirst && id <= cmd::kStyleSheetLast) {
    web_.chooseStyleSheet(id - cmd::kStyleSheetFirst);
    if (fileList_.selected() >= 0) openSelectedFile(1, false, false);
    return;
  }
  if (sheetCommand(id)) return;
  // A viewer's own commands act while it is shown.
  if (DocumentViewer* shown = documentViewer(); shown && shown->command(id)) return;
  const bool web = viewer_ == Viewer::Web;
  if (web && web_.command(id)) return;
  switch (id) {
    case cmd::kToolViewEdit:
    case cmd::kSwitchMode:
    case cmd::kCtrlE: switchMode(); break;
    case cmd::kToolNewBack:
      if (web)
        web_.back();
      else if (settings_.flag(setting::BackInsteadOfNew))
        goBack();
      else
        newNote(false);
      break;
    case cmd::kCtrlB:
      // The page's own history first; then the places left.
      if (!web || !web_.backFromKey())
        goBack();
      break;
    case cmd::kToolSaveForward:
    case cmd::kSave:
      if (web)
        web_.forward();
      else
        saveNow();
      break;
    case cmd::kWebCopy:
    case cmd::kPrint: break;  // the page's own, while it is shown
    case cmd::kCtrlS:
      saveNow();
      status_.setWordCount(std::nullopt);
      break;
    case cmd::kNewTextNote: newNote(false); break;
    case cmd::kNewSpreadsheet: newSpreadsheet("", false); break;
    case cmd::kNewSheetKey: newSpreadsheet("", true); break;
    case cmd::kSheetTitleRow: toggleSheetTitleRow(); break;
    case cmd::kSheetSortable: toggleSheetSorting(); break;
    case cmd::kCtrlN: newNote(true); break;
    case cmd::kPasteDate:
      if (web && ports_.web && (!ports_.window || ports_.window->focusedControl() != cmd::kMultibar))
        ports_.web->refresh();
      else
        pasteDate();
      break;
    case cmd::kCtrlEnter: multibarEnter(true); break;
    case cmd::kFocusMultibar:
    case cmd::kF6:
      focusControl(cmd::kMultibar);
      ports_.multibar->selectAll();
      break;
    case cmd::kFocusFileList:
      focusControl(cmd::kFileList);
      if (fileList_.size() > 0 && fileList_.selected() < 0) fileList_.setSelected(0);
      break;
    case cmd::kFocusFolderList: focusControl(cmd::kFolderList); break;
    case cmd::kFocusRootList: focusControl(cmd::kRootList); break;
    case cmd::kFocusViewer:
      if (viewer_ == Viewer::Text)
        ports_.editor->focus();
      else if (viewer_ == Viewer::Sheet && ports_.sheet)
        ports_.sheet->focus();
      break;
    case cmd::kFolderLabel: folderLabelClicked(); break;
    case cmd::kExit: shutDown(); break;
    case cmd::kNewWindow:
      if (ports_.desktop) ports_.desktop->startInstance({"--home", env_.home.string()});
      break;
    case cmd::kAlwaysOnTop:
      alwaysOnTop_ = !alwaysOnTop_;
      menus_.setChecked(cmd::kAlwaysOnTop, alwaysOnTop_);
      if (ports_.window) ports_.window->setStayOnTop(alwaysOnTop_);
      alwaysOnTopChanged();
      break;
    case cmd::kAbout: aboutRequested(format("%s %s", kProductName, kVersion)); break;
    case cmd::kHelp: showHelp(); break;
    case cmd::kViewProgramFiles: toggleProgramFiles(); break;
    case cmd::kSortByName:
    case cmd::kSortByDate:
      if (!closeDocument()) break;
      listing_.sortFiles(id == cmd::kSortByName ? 0 : 1);
      break;
    case cmd::kRefresh: {
      RootLocation& r = roots_.current();
      if (!r.inUse) break;
      if (!closeDocument()) break;
      browser_.listFilesOf(r, true);
      break;
    }
    default: break;
  }
}

void App::switchMode() {
  if (!leaveLocation(false)) return;
  switchModeOnly();
  if (fileList_.selected() >= 0) openSelectedFile(1, false, true);
  placeFocus();
}

// The message field covers the foot of the note: scrolling hides it at
// once (the half-second tick also notices a scroll it was not told of).
void App::noteScrolled() {
  if (viewer_ == Viewer::Text && note_.loaded()) status_.hideNow();
}

void App::placeFocus() {
  if (shutDown_) return;
  if (viewer_ == Viewer::Web && web_.pageKind() != 0) {
    focusControl(cmd::kWebHost);
  } else if (viewer_ == Viewer::Sheet && ports_.sheet) {
    ports_.sheet->focus();
  } else if (viewer_ == Viewer::Text && note_.loaded()) {
    ports_.editor->focus();
  } else {
    focusControl(cmd::kFileList);
  }
}

void App::switchModeOnly() {
  if (mode_ == Mode::None) mode_ = Mode::Edit;
  mode_ = mode_ == Mode::Edit ? Mode::View : Mode::Edit;
  menus_.setText(cmd::kSwitchMode, mode_ == Mode::View ? kTextSwitchToEdit : kTextSwitchToView);
  updateToolbar();
  settings_.setInt(setting::EditMode, static_cast<int>(mode_));
  modeChanged();
}

void App::toggleProgramFiles() {
  auto* item = menus_.find(cmd::kViewProgramFiles);
  if (!item) return;
  bool on = !item->checked;
  menus_.setChecked(cmd::kViewProgramFiles, on);
  settings_.set(setting::MenuViewVMFiles, on ? "1" : "0");
  RootLocation& r = roots_.current();
  if (!r.inUse) return;
  std::string keep = fileList_.selectedName();
  listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
  if (!keep.empty()) fileList_.selectName(keep);
}

void App::timer(int id) {
  // While a sheet loads, the window keeps running its timers; none of them
  // may touch the documents half-way through.
  if (sheet_->loading() && id != cmd::kTimerStatus) return;
  switch (id) {
    case cmd::kTimerStatus:
      // Scrolling the shown note hides the message field.
      status_.tick(viewer_ == Viewer::Text && note_.loaded() ? std::optional<int>(ports_.editor->scrollPosition())
                                                          : std::nullopt);
      break;
    case cmd::kTimerFolderWatch: folderWatchTick(); break;
    case cmd::kTimerAutosave: autosaveTick(); break;
    case cmd::kTimerSheet: sheetCursorUpkeep(); break;
    default: break;
  }
}

void App::folderWatchTick() {
  RootLocation& r = roots_.current();
  if (!r.inUse || shutDown_) return;
  if (viewer_ == Viewer::Text) note_.checkOnDisk();
  const std::string folder = r.filesFolder();
  if (!watch_.poll(folder)) return;
  std::string keep = fileList_.selectedName();
  listing_.listFilesInPlace(folder, listingRules(), false);
  if (!keep.empty() && !fileList_.selectName(keep)) {
    // The shown file is gone: close it, unless it holds unsaved text, which
    // stays in the editor.
    if (!noteModified()) closeDocument();
  }
}

// ---------------------------------------------------------------- shortcuts

// Selects the File List item with this name and opens it; false when it is not listed.
void App::selectFileByName(const std::string& name) {
  if (fileList_.selectName(name)) openSelectedFile(1, false, true);
}

void App::openIndexFile() {
  if (!settings_.flag(setting::LoadIndexFiles)) return;
  RootLocation& r = roots_.current();
  std::string name = settings_.text(setting::IndexFile);
  if (name.empty() || !isRegularFile(joinPath(r.filesFolder(), name))) return;
  selectFileByName(name);
}

void App::openShortcut(int id) {
  int slot = id - cmd::kShortcutFirst;
  if (slot < 0 || slot >= limits::kShortcuts) return;
  RootLocation sc = roots_.shortcuts()[static_cast<std::size_t>(slot)];
  if (!sc.inUse) return;
  if (!leaveLocation(false)) return;
  int i = roots_.find(sc.rootFolder);
  if (i < 0) {
    // A shortcut into a folder that is no root (any more) brings its root back.
    if (!isDirectory(sc.rootFolder)) {
      say(format("Folder not found: %s", sc.rootFolder.c_str()));
      return;
    }
    i = roots_.add(sc.rootFolder, sc.rootFolder, sc.displayName, sc.defaultExtension,
                   settings_.text(setting::DefaultExtension), [this](const std::string& s) { say(s); });
    if (i < 0) return;
  }
  roots_.setCurrent(i);
  RootLocation& r = roots_.current();
  r.path = sc.path.empty() ? r.rootFolder : sc.path;
  r.selectedFolder = sc.selectedFolder;
  r.currentFolder = sc.selectedFolder.empty() ? std::string() : joinPath(r.path, sc.selectedFolder);
  r.selectedFile = sc.selectedFile;
  browser_.refillRootList();
  browser_.listFoldersOf(r, true);
  if (!r.selectedFolder.empty()) folderList_.selectName(r.selectedFolder);
  browser_.listFilesOf(r, true);
  if (fileList_.selectName(sc.selectedFile)) openSelectedFile(1, mode_ != Mode::View, true);
}

void App::showHelp() {
  if (mode_ != Mode::View) switchModeOnly();
  const RootLocation& help = roots_.shortcuts()[kHelpSlot];
  if (roots_.find(kRootHelp) < 0) {
    roots_.add(help.rootFolder, help.rootFolder, std::string(kRootHelp), ".txt", ".txt",
               [this](const std::string& s) { say(s); });
  }
  openShortcut(cmd::kHelpShortcut);
}

void App::openCommandLineFile(const std::string& text) {
  if (text.empty()) return;
  std::string p = cutUtf8(text, limits::kPathMax - 1);
  if (auto q = p.find('"'); q != std::string::npos) {
    auto end = p.find('"', q + 1);
    p = p.substr(q + 1, end == std::string::npos ? std::string::npos : end - q - 1);
  }
  std::string folder = parentOf(p);
  expandPathVariables(folder, env_.paths);
  if (folder.empty() || !isDirectory(folder)) {
    say("Error adding root");
    return;
  }
  int i = roots_.add(folder, folder, std::string(kRootCommandLine), "", settings_.text(setting::DefaultExtension),
                     [this](const std::string& s) { say(s); });
  if (i < 0) return;
  if (!leaveLocation(false)) return;
  roots_.setCurrent(i);
  browser_.refillRootList();
  browser_.listCurrentRoot(true);
  if (fileList_.selectName(lastComponent(p))) openSelectedFile(1, false, true);
}

void App::firstLaunchCheck() {
  // A start without an INI file is a first launch too; writing the flag
  // makes the file, so the help shows once.
  if (!firstStart_ && !settings_.flag(setting::FirstLaunch)) return;
  settings_.set(setting::FirstLaunch, "0");
  showHelp();
}

// ---------------------------------------------------------------- shutdown

void App::shutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (!leaveLocation(false)) {
    // Neither the note's file nor rescued/ took the text: one more try in
    // the system's temporary folder, and a log line either way.
    std::error_code ec;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    std::string said = ec ? std::string("Could not save the note") : note_.rescueUnsaved(tmp / "vellumark-rescued");
    std::fprintf(stderr, "vellumark: %s\n", said.c_str());
  }
  closeSheet();
  // Rendered pages live in the private temporary folder as tn*; nothing else
  // there or elsewhere is touched.
  std::error_code ec;
  if (!env_.tempDir.empty()) {
    for (auto it = std::filesystem::directory_iterator(env_.tempDir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      if (it->path().filename().string().starts_with("tn")) std::filesystem::remove(it->path(), ec);
    }
  }
  if (ports_.timers) {
    for (int id : {cmd::kTimerAutosave, cmd::kTimerStatus, cmd::kTimerSheet, cmd::kTimerFolderWatch})
      ports_.timers->stop(id);
  }
  if (ports_.window) ports_.window->quit();
}

// ---------------------------------------------------------------- log

bool App::writeLog(const std::string& message) {
  LocalTime t = localTimeOf(ports_.clock ? ports_.clock->nowNs() : 0);
  std::string line = format("%02d.%02d %02d:%02d:%02d ", t.month, t.day, t.hour, t.minute, t.second);
  line += cutUtf8(message, limits::kLogMessage);
  if (line.back() != '\n') line.push_back('\n');
  return appendToFile(env_.home / kLogFileName, line);
}

// ---------------------------------------------------------------- helpers

std::optional<WindowPlacement> parsePlacement(const std::string& value) {
  auto parts = split(value, ',');
  if (parts.size() != 10) return std::nullopt;
  int v[10];
  for (std::size_t i = 0; i < 10; ++i) {
    std::string s = parts[i];
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (s.empty() || s.size() > 9) return std::nullopt;
    std::size_t k = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (k == s.size()) return std::nullopt;
    for (std::size_t j = k; j < s.size(); ++j)
      if (s[j] < '0' || s[j] > '9') return std::nullopt;
    v[i] = static_cast<int>(leadingNumber(s));
  }
  WindowPlacement p{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]};
  return p;
}

std::string formatPlacement(const WindowPlacement& p) {
  return format("%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showState, p.minX, p.minY, p.maxX, p.maxY, p.left,
                p.top, p.right, p.bottom);
}

}  // namespace vm
