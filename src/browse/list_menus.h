#pragma once
// The pop-up menus of the Folder List and the File List, built anew for each
// right click from the state of the moment. The shell shows the items and
// sends the chosen id to the App as a command.
#include <string>
#include <vector>

#include "core/menu_model.h"

namespace vm {

// What the File List menu's enabled states and texts depend on.
struct ListMenuState {
  bool transferPending = false;       // a Copy or Cut waits for Paste
  bool clipboardHasImage = false;     // the clipboard holds a bitmap
  std::string externalProgramExe;     // ExternalProgramExe
  std::string externalProgramAlias;   // ExternalProgramAlias
};

// New, Open in File Manager, Properties, with separators between them.
std::vector<MenuItem> folderListMenu();
// Refresh; Copy, Cut, Paste, Paste Image; Delete, Rename; the "Filter view"
// and "Sort" sub-menus; Open as text, Launch, Send to; Keywords, Properties.
std::vector<MenuItem> fileListMenu(const ListMenuState& state);

// The item with this id anywhere in items (sub-menus included); null when none.
const MenuItem* findMenuItem(const std::vector<MenuItem>& items, int id);

}  // namespace vm
