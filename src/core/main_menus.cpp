#include "core/main_menus.h"

#include "core/commands.h"
#include "platform/text.h"

namespace vm {

void buildMainMenus(MenuModel& menus, const Settings& settings, bool alwaysOnTop) {
  auto& m = menus.menus();
  m.clear();
  Menu file{"&File", {}};
  MenuItem newMenu{0, "   &New    ", "", false, false, true, {}};
  newMenu.children.push_back({cmd::kNewTextNote, "&Text note   \tCtrl+N", "", false, false, true, {}});
  newMenu.children.push_back({cmd::kNewSpreadsheet, "S&preadsheet  \tCtrl+Shift+N", "", false, false, true, {}});
  file.items.push_back(std::move(newMenu));
  file.items.push_back({cmd::kSave, "   &Save    \tCtrl+S  ", "", false, false, true, {}});
  file.items.push_back({cmd::kNewWindow, "   &New Vellumark window", "", false, false, true, {}});
  file.items.push_back({cmd::kConfigure, "   &Configure", "", false, false, true, {}});
  file.items.push_back({cmd::kExit, "   E&xit   \tAlt+F4", "Alt+F4", false, false, true, {}});
  Menu tools{"&Tools", {}};
  tools.items.push_back({cmd::kLaunchAssociated, " Launch &Associated", "", false, false, false, {}});
  tools.items.push_back({cmd::kLinksToNote, kTextLinksToNote, "", false, false, false, {}});
  tools.items.push_back({cmd::kSwitchMode, kTextSwitchToView, "", false, false, true, {}});
  tools.items.push_back({cmd::kAlwaysOnTop, " Always on Top", "", true, alwaysOnTop, true, {}});
  Menu help{"&Help", {}};
  help.items.push_back({cmd::kHelp, "   &Help", "F1", false, false, true, {}});
  help.items.push_back({cmd::kAbout, "   &About", "", false, false, true, {}});
  m.push_back(std::move(file));
  m.push_back(std::move(tools));
  m.push_back(std::move(help));
  updateProgramFilesItem(menus, settings);
}

// The item that shows the program's own files exists only while they are
// not always hidden.
void updateProgramFilesItem(MenuModel& menus, const Settings& settings) {
  menus.remove(cmd::kViewProgramFiles);
  if (!settings.flag(setting::TnHideFiles)) {
    MenuItem vm{cmd::kViewProgramFiles, " View Vellumark files   ", "", true,
                settings.flag(setting::MenuViewVMFiles), true, {}};
    menus.insertBefore(1, cmd::kAlwaysOnTop, std::move(vm));
  }
  menus.changed();
}

void buildMainToolbar(ToolbarModel& toolbar) {
  auto& b = toolbar.buttons();
  b.clear();
  b.push_back({cmd::kToolNewBack, 0, "", true, false});
  b.push_back({cmd::kToolSaveForward, 1, "", true, false});
  b.push_back({cmd::kToolViewEdit, 3, "", true, false});
  b.push_back({cmd::kToolSpacerMultibar, 6, "", false, true});
  for (int n = 0; n < 3; ++n) b.push_back({cmd::kPerpetual1 + n, 7 + n, "", false, false});
  b.push_back({cmd::kToolSpacerRoots, 6, "", false, true});
}

std::vector<Accelerator> mainAccelerators() {
  return {
      {"Ctrl+Alt+D", cmd::kFocusFolderList}, {"Ctrl+Alt+F", cmd::kFocusFileList},
      {"Ctrl+Alt+N", cmd::kFocusViewer},     {"Ctrl+Alt+R", cmd::kFocusRootList},
      {"Ctrl+B", cmd::kCtrlB},               {"Ctrl+E", cmd::kCtrlE},
      {"Ctrl+Enter", cmd::kCtrlEnter},       {"Ctrl+N", cmd::kCtrlN},
      {"Ctrl+S", cmd::kCtrlS},               {"Ctrl+Shift+M", cmd::kFocusMultibar},
      {"Ctrl+Shift+N", cmd::kNewSheetKey},   {"F5", cmd::kPasteDate},
      {"F6", cmd::kF6},                      {"F3", cmd::kSearchNext},
      // Back from the keyboard, beside Ctrl+B.
      {"Alt+Left", cmd::kCtrlB},
  };
}

// Tips and pictures follow the mode, BackInsteadOfNew and the Perpetual notes.
void updateMainToolbar(ToolbarModel& toolbar, const ToolbarState& s, const Roots& roots) {
  const bool back = s.web || s.back;
  if (auto* nb = toolbar.find(cmd::kToolNewBack)) {
    nb->picture = back ? 4 : 0;
    nb->tip = s.expert ? "" : (back ? "Back" : "New");
  }
  if (auto* sv = toolbar.find(cmd::kToolSaveForward)) {
    sv->picture = s.web ? 5 : 1;
    sv->tip = s.expert ? "" : (s.web ? "Forward" : "Save");
    sv->enabled = s.web || !s.view;
  }
  if (auto* ve = toolbar.find(cmd::kToolViewEdit)) {
    ve->picture = s.view ? 2 : 3;
    ve->tip = s.expert ? "" : (s.view ? "Edit" : "View");
  }
  // The Perpetual note buttons keep their tips even in expert mode.
  for (int n = 0; n < 3; ++n) {
    auto* pb = toolbar.find(cmd::kPerpetual1 + n);
    if (!pb) continue;
    const RootLocation& sc = roots.shortcuts()[static_cast<std::size_t>(kPerpetualFirstSlot + n)];
    pb->enabled = sc.inUse;
    pb->tip = sc.inUse ? sc.selectedFile
                       : format("Perpetual note %d\nAssign note using Configure -> Perpetual Notes", n + 1);
  }
  toolbar.changed();
}

std::vector<PopupItem> multibarMenu(const MultibarMenuState& s) {
  return {
      {cmd::kMultibarCut, "    Cut   ", s.selection},
      {cmd::kMultibarCopy, "    Copy   ", s.selection},
      {cmd::kMultibarPaste, "    Paste   ", s.canPaste},
      {0, "", true},
      {cmd::kMultibarSearchDocument, "    Search document\t   ?   ", s.searchable},
      {cmd::kMultibarSearchDirectory, "    Search directory\t   ?d   ", true},
      {0, "", true},
      {cmd::kMultibarSearchKeyword, "    Search for keyword\t   ?k   ", true},
      {cmd::kMultibarAddKeyword, "    Add keyword\t   kw   ", s.fileShown},
      {0, "", true},
      {cmd::kMultibarSearchWeb, "    Search Google\t   ???   ", true},
      {cmd::kMultibarBrowseUrl, "    Browse URL\t   http://   ", true},
      {0, "", true},
      {cmd::kMultibarPasteDate, "    Paste current date\t   [F5]   ", true},
  };
}

std::string_view multibarPrefix(int id) {
  switch (id) {
    case cmd::kMultibarSearchDocument: return "? ";
    case cmd::kMultibarSearchDirectory: return "?d ";
    case cmd::kMultibarSearchKeyword: return "?k ";
    case cmd::kMultibarAddKeyword: return "kw ";
    case cmd::kMultibarSearchWeb: return "??? ";
    case cmd::kMultibarBrowseUrl: return "http://";
    default: return {};
  }
}

bool runMultibarMenu(LineEditor& bar, const MultibarMenuState& state, const std::string& dateText) {
  const int chosen = bar.popupMenu(multibarMenu(state));
  switch (chosen) {
    case 0: return false;
    case cmd::kMultibarCut: bar.cut(); return false;
    case cmd::kMultibarCopy: bar.copy(); return false;
    case cmd::kMultibarPaste: bar.paste(); return false;
    case cmd::kMultibarPasteDate: bar.insertAtCaret(dateText); return true;
    default:
      bar.setText("");
      bar.insertAtCaret(std::string(multibarPrefix(chosen)));
      return true;
  }
}

std::string paneTipText(int controlId, bool expert) {
  if (expert) return {};
  switch (controlId) {
    case cmd::kMultibar: return "Multibar (Type new filename or ? to search current document)";
    case cmd::kFolderLabel: return "Current Folder (Click to return to root)";
    case cmd::kRootList: return "Root List";
    case cmd::kFileList: return "File List";
    case cmd::kFolderList: return "Folder List";
    default: return {};
  }
}

}  // namespace vm
