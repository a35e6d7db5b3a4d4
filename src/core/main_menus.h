#pragma once
// The main window's menu bar, toolbar, keyboard accelerators and pane tips
// as the program starts with them. The viewers add and remove their own
// items while they are shown.
#include <string>
#include <string_view>
#include <vector>

#include "core/menu_model.h"
#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "platform/ports.h"

namespace vm {

// A key chord (portable form, "Ctrl+Shift+N", "F5") and the command it gives.
struct Accelerator {
  std::string keys;
  int id = 0;
};

inline constexpr const char* kTextSwitchToView = " Switch to &View mode";
inline constexpr const char* kTextSwitchToEdit = " Switch to &Edit mode";
inline constexpr const char* kTextLinksToNote = " Links to This Note  ";

void buildMainMenus(MenuModel& menus, const Settings& settings, bool alwaysOnTop);
// Adds or removes " View Vellumark files   " as TnHideFiles says.
void updateProgramFilesItem(MenuModel& menus, const Settings& settings);
void buildMainToolbar(ToolbarModel& toolbar);
std::vector<Accelerator> mainAccelerators();

// What the toolbar's pictures and tips follow.
struct ToolbarState {
  bool web = false;   // the web viewer is shown: Back and Forward
  bool back = false;  // BackInsteadOfNew
  bool view = false;  // View mode
  bool expert = false;
};
void updateMainToolbar(ToolbarModel& toolbar, const ToolbarState& state, const Roots& roots);

// The Multibar's context menu, enabled from what the entry and the shown
// file allow.
struct MultibarMenuState {
  bool selection = false;   // the entry has a selection
  bool canPaste = false;    // the clipboard holds text
  bool searchable = false;  // the shown file is text, a sheet or a web file
  bool fileShown = false;
};
std::vector<PopupItem> multibarMenu(const MultibarMenuState& state);
// The prefix an item of that menu puts into the emptied entry ("?d ",
// "http://"); empty for the other items.
std::string_view multibarPrefix(int id);
// Shows the Multibar's menu on the entry and runs the choice there: the
// entry's own Cut, Copy and Paste, a prefix into the emptied entry, or the
// date text. True when the entry should get the focus.
bool runMultibarMenu(LineEditor& entry, const MultibarMenuState& state, const std::string& dateText);

// Tool tip of a pane by control id (empty in expert mode).
std::string paneTipText(int controlId, bool expert);

}  // namespace vm
