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
  // File List: modified and mtimeNs are not read yet; ListModel::withTime
  // has them read when they are first needed.
  bool timePending = false;
};

class ListModel {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void listReset() = 0;          // items replaced (selection may have changed too)
    virtual void selectionChanged() = 0;   // only the selection moved
  };

  // Reads the last-write times of items listed without them: sets modified
  // and mtimeNs and clears timePending.
  class TimeReader {
   public:
    virtual ~TimeReader() = default;
    virtual void readTime(ListItem& item) = 0;
    // Every pending item of items.
    virtual void readTimes(std::vector<ListItem>& items) = 0;
  };
  void setTimeReader(TimeReader* reader) { timeReader_ = reader; }
  TimeReader* timeReader() const { return timeReader_; }

  // Item i with its time read (the first time it is asked for). Items whose
  // time is still pending show modified and mtimeNs empty through items() and at().
  const ListItem& withTime(int i);
  // Has the time of every pending item read.
  void readAllTimes();

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
  TimeReader* timeReader_ = nullptr;
  std::vector<Observer*> observers_;
};

}  // namespace vm
