#pragma once
// The menu bar and the toolbar as the core owns them: ids, texts (with their
// blanks and '&' marks), checks and enabled states. The shell builds its
// actions from these and sends every choice back as App::command(id).
#include <string>
#include <string_view>
#include <vector>

#include "platform/ports.h"
#include "platform/signal.h"

namespace vm {

struct MenuItem {
  int id = 0;                // 0 for a separator or a submenu
  std::string text;          // "   E&xit   \tAlt+F4": the text after '\t' is the shortcut shown
  std::string shortcut;      // key sequence in portable form ("Ctrl+S"), empty when none
  bool checkable = false;
  bool checked = false;
  bool enabled = true;
  std::vector<MenuItem> children;  // a submenu when not empty
  bool separator() const { return text.empty() && children.empty(); }
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

class MenuModel {
 public:
  std::vector<Menu>& menus() { return menus_; }
  const std::vector<Menu>& menus() const { return menus_; }
  MenuItem* find(int id);
  const MenuItem* find(int id) const;
  void setChecked(int id, bool on);
  void setEnabled(int id, bool on);
  void setText(int id, std::string_view text);
  // Inserts item in front of the item with id `before` (appended to menu
  // `menuIndex` when not found). Does nothing when id already exists.
  void insertBefore(int menuIndex, int before, MenuItem item);
  void remove(int id);

  Signal<> changed;

 private:
  std::vector<Menu> menus_;
};

// Menu items as the shell's pop-up menus take them.
std::vector<PopupItem> toPopupItems(const std::vector<MenuItem>& items);

struct ToolButton {
  int id = 0;
  int picture = 0;
  std::string tip;
  bool enabled = true;
  bool spacer = false;
};

class ToolbarModel {
 public:
  std::vector<ToolButton>& buttons() { return buttons_; }
  const std::vector<ToolButton>& buttons() const { return buttons_; }
  ToolButton* find(int id);
  const ToolButton* find(int id) const;
  Signal<> changed;

 private:
  std::vector<ToolButton> buttons_;
};

}  // namespace vm
