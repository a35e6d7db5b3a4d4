#pragma once
// The main window's menu bar, toolbar, keyboard accelerators and pane tips
// as the program starts with them. The viewers add and remove their own
// items while they are shown.
#include <string>
#include <vector>

#include "core/menu_model.h"
#include "core/roots.h"
#include "core/settings_catalogue.h"

namespace vm {

// A key chord (portable form, "Ctrl+Shift+N", "F5") and the command it gives.
struct Accelerator {
  std::string keys;
  int id = 0;
};

inline constexpr const char* kTextSwitchToView = " Switch to &View mode";
inline constexpr const char* kTextSwitchToEdit = " Switch to &Edit mode";

void buildMainMenus(MenuModel& menus, const Settings& settings, bool alwaysOnTop);
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

// Tool tip of a pane by control id (empty in expert mode).
std::string paneTipText(int controlId, bool expert);

}  // namespace vm
