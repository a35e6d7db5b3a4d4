#include "app/app.h"

#include <cstdio>
#include <system_error>

#include "core/commands.h"
#include "core/configure.h"
#include "core/headless_ports.h"
#include "core/program_files.h"
#include "notes/companion.h"
#include "notes/edit_commands.h"
#include "notes/folder_settings.h"
#include "notes/paste_image.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "platform/version.h"

namespace vm {

namespace {
constexpr int kStatusPeriodMs = 500;
constexpr int kFolderWatchPeriodMs = 3000;
constexpr int kAutosavePeriodMs = 60000;
}  // namespace

App::App(AppEnvironment env, AppPorts ports)
    : env_(std::move(env)),
      ports_(ports),
      settings_(store_),
      context_{env_, ports_, store_, settings_, roots_, status_, menus_, toolbar_},
      note_(context_, NoteHooks{[this](const std::string& name) { browser_.relistFiles(name); },
                                [this] { browser_.watch().forget(); }, [this] { viewerChanged(); },
                                [this] { noteLookChanged(); }, [this](int id) { command(id); }}),
      browser_(context_, BrowserHooks{[this] { rootListChanged(); }, [this] { folderLabelChanged(); }}),
      web_(context_, WebHooks{[this] { return viewer_ == Viewer::Web; }, [this] { updateToolbar(); },
                              [this](const std::string& name) { return browser_.fileList().find(name) >= 0; },
                              [this](const std::string& name) { return browser_.tables().kindOf(name) == kKindText; },
                              [this](const std::string& name) { selectAndOpen(name); },
                              [this](const std::string& name) { openLinkedNote(name); }}),
      sheet_(context_, SheetHooks{[this] { return mode_ == Mode::View; }, [this] { return expertMode_; },
                                  [this](const std::string& a) { openAddress(a); },
                                  [this](const std::string& name) { openLinkedNote(name); },
                                  [this] { browser_.watch().forget(); }, [this] { viewerChanged(); }}),
      fileOps_(context_, browser_,
               FileOpsHooks{[this] { closeDocument(); }, [this](const std::string& name) { selectAndOpen(name); },
                            [this](int list, int index) {
                              if (ports_.window) ports_.window->editLabel(list, index);
                            },
                            {}, [this] { openSelectedFile(3, true, true); }}),
      search_(SearchHooks{
          [this] { return roots_.current().filesFolder(); },
          [this] { return browser_.fileNames(); },
          [this](std::size_t index, const std::string& name) {
            if (browser_.selectEntry(index, name)) openSelectedFile(1, false, true);
          },
          [this] {
            if (viewer_ == Viewer::Sheet) return ShownViewer::Sheet;
            return viewer_ == Viewer::Text && note_.loaded() ? ShownViewer::Text : ShownViewer::Other;
          },
          [this](const std::string& term, bool fromStart) { return shownViewer().find(term, fromStart); },
          [this] { return mode_ == Mode::View; }, [this] { switchMode(); },
          [this](const std::string& path) { return keywords_.fileKeywords(path); },
          [this] { return settings_.flag(setting::DirectorySearchCheckFilename); },
          [this](const std::string& text) { say(text); }, ports_.pump}),
      keywords_(context_),
      external_(context_, ports_.lineInput),
      fetcher_(ports_.pump),
      drops_(context_, fetcher_,
             NoteDropTarget{[this] { return note_.loaded(); }, [this] { return note_.editable(); },
                            [this](const std::string& n) { note_.insertImageLink(n); },
                            [this](const std::string& t) { note_.dropText(t); }}, DropHooks{[this](const std::string& n) { browser_.relistFiles(n); },
                                                  [this](const std::string& n) { selectAndOpen(n); }}) {
  if (!ports_.editor) {
    ownEditor_ = std::make_unique<HeadlessEditor>();
    ports_.editor = ownEditor_.get();
  }
  if (!ports_.multibar) {
    ownMultibar_ = std::make_unique<HeadlessLine>();
    ports_.multibar = ownMultibar_.get();
  }
  settings_.setFolderLookup([this](std::string_view key) -> std::optional<std::string> {
    const RootLocation& r = roots_.current();
    if (!r.inUse) return std::nullopt;
    return folderSetting(r.filesFolder(), r.rootFolder, key);
  });
}

App::~App() = default;

// ---------------------------------------------------------------- start-up

void App::startUp() {
  // A legacy INI of the same program moves to the new name once.
  if (moveLegacyIni(env_.home, iniPath()))
    writeLog(format("Moved %s to %s", (env_.home / kLegacyIniName).c_str(), iniPath().c_str()));
  firstStart_ = !pathExists(iniPath());
  removeStaleTempFiles(env_.home);
  store_.load(iniPath());
  status_.configure(settings_.flag(setting::UseStatBar), settings_.flag(setting::NoteShowCharCount),
                    settings_.flag(setting::NoteShowWordCount),
                    [this] { return !ports_.window || ports_.window->isForeground(); });
  initMainWindow();
  openCommandLineFile(env_.commandLineFile);
  // A start without an INI file is a first launch too; writing the flag
  // makes the file, so the help shows once.
  if (firstStart_ || settings_.flag(setting::FirstLaunch)) {
    settings_.set(setting::FirstLaunch, "0");
    showHelp();
  }
  placeFocus();
}

void App::initMainWindow() {
  expertMode_ = settings_.flag(setting::ExpertMode);
  buildMainMenus(menus_, settings_, alwaysOnTop_);
  accelerators_ = mainAccelerators();
  for (const NoteAccelerator& a : noteAccelerators()) accelerators_.push_back({a.keys, a.id});
  browser_.tables() = ViewerTables::build(settings_.list(setting::TextExtraExtensions),
                                          settings_.list(setting::WebExtraExtensions),
                                          settings_.list(setting::SSExtraExtensions));
  web_.init();
  search_.setTextExtensions(settings_.list(setting::TextExtraExtensions));
  buildMainToolbar(toolbar_);
  rebuildFromSettings();
  ensureFileInfoFolder(fileInfoFolder(env_.home.string(), settings_.text(setting::FileInfoDir),
                                      [this](std::string& p) { expandPathVariables(p, env_.paths); }));
  if (ports_.timers) {
    ports_.timers->start(cmd::kTimerStatus, kStatusPeriodMs);
    ports_.timers->start(cmd::kTimerFolderWatch, kFolderWatchPeriodMs);
  }
  updateToolbar();
}

void App::updateToolbar() {
  updateMainToolbar(toolbar_,
                    {viewer_ == Viewer::Web, settings_.flag(setting::BackInsteadOfNew), mode_ == Mode::View, expertMode_},
                    roots_);
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
  roots_.loadFixedShortcuts(settings_, env_.paths, (env_.supportDir / "help").string());
  note_.readLook();
  if (settings_.flag(setting::LogBack))
    browser_.history().setLog([this](const std::string& line) { writeLog(line); });
  else
    browser_.history().setLog(nullptr);
  updateToolbar();
}

// Configure: on OK the changed keys are written, the settings reloaded and the window rebuilt.
void App::configure() {
  ConfigureSession session(store_, env_.paths, roots_.all());
  if (!ports_.dialogs || !ports_.dialogs->configure(session)) return;
  if (!session.commit()) say("Some settings could not be written to " + iniPath().string());
  if (!closeDocument()) return;
  store_.reload();
  rebuildFromSettings();
  updateProgramFilesItem(menus_, settings_);
}

// ---------------------------------------------------------------- inputs

void App::selectRoot(const std::string& text, bool typed) {
  if (closeDocument()) browser_.selectRoot(text, typed);
}

void App::fileChosen(int index, int how, bool focus) {
  if (index < 0 || index >= fileList().size()) return;
  fileList().setSelected(index);
  openSelectedFile(how, focus, true);
}

// A click selects a folder, a double-click enters it; its index file opens.
void App::folderChosen(int index, bool enter) {
  if (!roots_.current().inUse || index < 0 || index >= folderList().size() || !closeDocument()) return;
  enter ? browser_.enterFolder(index) : browser_.selectFolder(index);
  if (std::string file = browser_.indexFile(); !file.empty()) selectAndOpen(file);
}

void App::folderLabelClicked() {
  if (closeDocument()) browser_.listCurrentRoot(true);
}

// The message field covers the foot of the note: scrolling hides it at
// once (the half-second tick also notices a scroll it was not told of).
void App::noteScrolled() {
  if (viewer_ == Viewer::Text && note_.loaded()) status_.hideNow();
}

void App::menuAboutToOpen() {
  bool selection = viewer_ == Viewer::Text && !note_.selection().empty();
  menus_.setEnabled(cmd::kMailTo, selection);
  menus_.setEnabled(cmd::kMailBody, selection);
  menus_.setEnabled(cmd::kLaunchAssociated, selection);
  menus_.setEnabled(cmd::kLinksToNote, !roots_.current().selectedFile.empty() &&
                                           (viewer_ != Viewer::Text || note_.loaded()));
}

// ---------------------------------------------------------------- commands

void App::command(int id) {
  if (id >= cmd::kShortcutFirst && id <= cmd::kShortcutLast) {
    openShortcut(id);
    return;
  }
  if (id >= cmd::kStyleSheetFirst && id <= cmd::kStyleSheetLast) {
    web_.chooseStyleSheet(id - cmd::kStyleSheetFirst);
    if (fileList().selected() >= 0) openSelectedFile(1, false, false);
    return;
  }
  // The shown viewer's own commands first, then the lists'.
  if (shownViewer().command(id) || fileOps_.command(id)) return;
  const bool web = viewer_ == Viewer::Web;
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
      if (!web || !web_.backFromKey()) goBack();
      break;
    case cmd::kToolSaveForward:
    case cmd::kSave:
    case cmd::kCtrlS:
      if (web && id != cmd::kCtrlS) {
        web_.forward();
        break;
      }
      if (viewer_ != Viewer::Text || roots_.current().inUse) shownViewer().save();
      if (id == cmd::kCtrlS) status_.setWordCount(std::nullopt);
      break;
    case cmd::kNewTextNote: newNote(false); break;
    case cmd::kNewSpreadsheet: newSpreadsheet("", false); break;
    case cmd::kNewSheetKey: newSpreadsheet("", true); break;
    case cmd::kCtrlN: newNote(true); break;
    case cmd::kPasteDate:
      if (web && ports_.web && (!ports_.window || ports_.window->focusedControl() != cmd::kMultibar))
        ports_.web->refresh();
      else
        pasteDate();
      break;
    case cmd::kCtrlEnter: multibarEnter(true); break;
    case cmd::kLinksToNote:
      if (const std::string note = joinPath(roots_.current().filesFolder(), roots_.current().selectedFile);
          !roots_.current().selectedFile.empty() && closeDocument())
        browser_.listLinksTo(note, [this] { return !ports_.pump || !ports_.pump->step(); });
      break;
    case cmd::kFileKeywords:
      if (const std::string file = fileOps_.selectedFilePath(); !file.empty()) keywords_.showDialog(file);
      break;
    case cmd::kPasteImageFile:
      if (auto name = roots_.current().inUse ? pasteImageIntoFolder(context_, roots_.current().filesFolder())
                                             : std::nullopt) {
        browser_.relistFiles(*name);
        openSelectedFile(1, false, true);
      }
      break;
    case cmd::kSendToProgram: external_.send(); break;
    case cmd::kSearchNext: search_.next(cutUtf8(ports_.multibar->text(), limits::kText)); break;
    case cmd::kFocusMultibar:
    case cmd::kF6:
      focusControl(cmd::kMultibar);
      ports_.multibar->selectAll();
      break;
    case cmd::kFocusFileList:
      focusControl(cmd::kFileList);
      if (fileList().size() > 0 && fileList().selected() < 0) fileList().setSelected(0);
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
      if (ports_.desktop) ports_.desktop->startInstance({"--new-window", "--home", env_.home.string()});
      break;
    case cmd::kAlwaysOnTop:
      alwaysOnTop_ = !alwaysOnTop_;
      menus_.setChecked(cmd::kAlwaysOnTop, alwaysOnTop_);
      if (ports_.window) ports_.window->setStayOnTop(alwaysOnTop_);
      alwaysOnTopChanged();
      break;
    case cmd::kAbout: aboutRequested(format("%s %s", kProductName, kVersion)); break;
    case cmd::kHelp: showHelp(); break;
    case cmd::kConfigure: configure(); break;
    case cmd::kViewProgramFiles: browser_.toggleProgramFiles(); break;
    case cmd::kSortByName:
    case cmd::kSortByDate:
      if (closeDocument()) browser_.listing().sortFiles(id == cmd::kSortByName ? 0 : 1);
      break;
    case cmd::kRefresh:
      if (roots_.current().inUse && closeDocument()) browser_.listFilesOf(roots_.current(), true);
      break;
    default: break;
  }
}

void App::switchMode() {
  if (!leaveLocation(false)) return;
  switchModeOnly();
  if (fileList().selected() >= 0) openSelectedFile(1, false, true);
  placeFocus();
}

void App::switchModeOnly() {
  if (mode_ == Mode::None) mode_ = Mode::Edit;
  mode_ = mode_ == Mode::Edit ? Mode::View : Mode::Edit;
  menus_.setText(cmd::kSwitchMode, mode_ == Mode::View ? kTextSwitchToEdit : kTextSwitchToView);
  updateToolbar();
  settings_.setInt(setting::EditMode, static_cast<int>(mode_));
  modeChanged();
}

void App::placeFocus() {
  if (shutDown_) return;
  if (viewer_ == Viewer::Web && web_.pageKind() != 0)
    focusControl(cmd::kWebHost);
  else if (viewer_ == Viewer::Sheet && ports_.sheet)
    ports_.sheet->focus();
  else if (viewer_ == Viewer::Text && note_.loaded())
    ports_.editor->focus();
  else
    focusControl(cmd::kFileList);
}

void App::focusControl(int id) {
  if (ports_.window) ports_.window->focusControl(id);
}

// ---------------------------------------------------------------- timers

void App::timer(int id) {
  // While a sheet loads, the window keeps running its timers; none of them
  // may touch the documents half-way through.
  if (sheet_.loading() && id != cmd::kTimerStatus) return;
  switch (id) {
    case cmd::kTimerStatus:
      // Scrolling the shown note hides the message field.
      status_.tick(viewer_ == Viewer::Text && note_.loaded() ? std::optional<int>(ports_.editor->scrollPosition())
                                                             : std::nullopt);
      break;
    case cmd::kTimerFolderWatch: folderWatchTick(); break;
    case cmd::kTimerAutosave: autosaveTick(); break;
    case cmd::kTimerSheet: sheet_.cursorUpkeep(); break;
    default: break;
  }
}

void App::folderWatchTick() {
  if (!roots_.current().inUse || shutDown_) return;
  if (viewer_ == Viewer::Text) note_.checkOnDisk();
  // The shown file is gone: close it, unless it holds unsaved text, which
  // stays in the editor.
  if (!browser_.pollFiles() && !noteModified()) closeDocument();
}

void App::autosaveTick() {
  if (++autosaveCount_ < settings_.integer(setting::AutoSave)) return;
  autosaveCount_ = 0;
  if (viewer_ != Viewer::Text || roots_.current().inUse) shownViewer().autosave();
}

// ---------------------------------------------------------------- shortcuts and the command line

void App::openShortcut(int id) {
  int slot = id - cmd::kShortcutFirst;
  if (slot < 0 || slot >= limits::kShortcuts) return;
  RootLocation sc = roots_.shortcuts()[static_cast<std::size_t>(slot)];
  if (!sc.inUse || !leaveLocation(false)) return;
  if (browser_.goToShortcut(sc)) openSelectedFile(1, mode_ != Mode::View, true);
}

void App::showHelp() {
  if (mode_ != Mode::View) switchModeOnly();
  const RootLocation& help = roots_.shortcuts()[kHelpSlot];
  if (roots_.find(kRootHelp) < 0)
    roots_.add(help.rootFolder, help.rootFolder, std::string(kRootHelp), ".txt", ".txt",
               [this](const std::string& s) { say(s); });
  openShortcut(cmd::kHelpShortcut);
}

void App::openCommandLineFile(const std::string& text) {
  if (text.empty() || !leaveLocation(false)) return;  // the open note is saved before its root may change
  std::string p = cutUtf8(text, limits::kPathMax - 1);
  if (auto q = p.find('"'); q != std::string::npos) {
    auto end = p.find('"', q + 1);
    p = p.substr(q + 1, end == std::string::npos ? std::string::npos : end - q - 1);
  }
  const std::string name = browser_.addCommandLineRoot(p);
  if (name.empty()) return;
  if (browser_.showRoot(browser_.commandLineRoot(), name)) openSelectedFile(1, false, true);
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
  sheet_.close();
  // Rendered pages live in the private temporary folder as tn*.
  removeFilesStartingWith(env_.tempDir, "tn");
  if (ports_.timers) {
    for (int id : {cmd::kTimerAutosave, cmd::kTimerStatus, cmd::kTimerSheet, cmd::kTimerFolderWatch})
      ports_.timers->stop(id);
  }
  if (ports_.window) ports_.window->quit();
}

}  // namespace vm
