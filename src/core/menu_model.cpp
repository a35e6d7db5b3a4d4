#include "core/menu_model.h"

#include <algorithm>

namespace vm {

namespace {

template <class Items>
auto* findIn(Items& items, int id) {
  for (auto& it : items) {
    if (it.id == id && id != 0) return &it;
    if (auto* c = findIn(it.children, id)) return c;
  }
  return static_cast<decltype(&items[0])>(nullptr);
}

bool removeIn(std::vector<MenuItem>& items, int id) {
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (it->id == id) {
      items.erase(it);
      return true;
    }
    if (removeIn(it->children, id)) return true;
  }
  return false;
}

}  // namespace

MenuItem* MenuModel::find(int id) {
  for (auto& m : menus_)
    if (auto* it = findIn(m.items, id)) return it;
  return nullptr;
}

const MenuItem* MenuModel::find(int id) const { return const_cast<MenuModel*>(this)->find(id); }

void MenuModel::setChecked(int id, bool on) {
  if (auto* it = find(id); it && it->checked != on) {
    it->checked = on;
    changed();
  }
}

void MenuModel::setEnabled(int id, bool on) {
  if (auto* it = find(id); it && it->enabled != on) {
    it->enabled = on;
    changed();
  }
}

void MenuModel::setText(int id, std::string_view text) {
  if (auto* it = find(id); it && it->text != text) {
    it->text = std::string(text);
    changed();
  }
}

void MenuModel::insertBefore(int menuIndex, int before, MenuItem item) {
  if (find(item.id) || menuIndex < 0 || menuIndex >= static_cast<int>(menus_.size())) return;
  auto& items = menus_[static_cast<std::size_t>(menuIndex)].items;
  auto pos = std::find_if(items.begin(), items.end(), [&](const MenuItem& m) { return m.id == before; });
  items.insert(pos, std::move(item));
  changed();
}

void MenuModel::remove(int id) {
  for (auto& m : menus_)
    if (removeIn(m.items, id)) {
      changed();
      return;
    }
}

ToolButton* ToolbarModel::find(int id) {
  for (auto& b : buttons_)
    if (b.id == id) return &b;
  return nullptr;
}

const ToolButton* ToolbarModel::find(int id) const { return const_cast<ToolbarModel*>(this)->find(id); }

std::vector<PopupItem> toPopupItems(const std::vector<MenuItem>& items) {
  std::vector<PopupItem> out;
  out.reserve(items.size());
  for (const MenuItem& m : items) out.push_back({m.children.empty() ? m.id : 0, m.text, m.enabled, toPopupItems(m.children)});
  return out;
}

}  // namespace vm
