#pragma once
// The Folder List and File List as the core owns them: items, icons,
// selection. The shell draws them through an observer and never keeps a copy.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct ListItem {
  std::string name;          // shown text: a file or folder name without its folder
  int icon = 0;              // Folder List: 0 up, 1 folder, 2 folder with sub-folders; File List: file kind
  std::string modified;      // File List: "YYYY.MM.DD hh:mm:ss" local last-write time
  std::int64_t mtimeNs = 0;  // the same as a number
  bool cut = false;          // File List: cut and waiting for Paste (shown dimmed)
};

class ListModel {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void listReset() = 0;          // items replaced (selection may have changed too)
    virtual void selectionChanged() = 0;   // only the selection moved
  };

  const std::vector<ListItem>& items() const { return items_; }
  int size() const { return static_cast<int>(items_.size()); }
  const ListItem& at(int i) const { return items_[static_cast<std::size_t>(i)]; }

  int selected() const { return selected_; }
  std::string selectedName() const;  // empty when nothing is selected
  void setSelected(int index);       // -1 clears; out-of-range clears
  // Index of the item with this name, ignoring case; -1 when none.
  int find(std::string_view name) const;
  bool selectName(std::string_view name);  // true when found

  void assign(std::vector<ListItem> items);  // clears the selection
  void insert(int index, ListItem item);
  void clear();

  void addObserver(Observer* o);
  void removeObserver(Observer* o);

 private:
  void notifyReset();
  std::vector<ListItem> items_;
  int selected_ = -1;
  std::vector<Observer*> observers_;
};

}  // namespace vm
