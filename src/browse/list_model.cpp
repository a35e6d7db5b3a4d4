#include "browse/list_model.h"

#include <algorithm>

#include "platform/text.h"

namespace vm {

std::string ListModel::selectedName() const {
  return selected_ >= 0 && selected_ < size() ? at(selected_).name : std::string();
}

void ListModel::setSelected(int index) {
  if (index < 0 || index >= size()) index = -1;
  if (index == selected_) return;
  selected_ = index;
  for (auto* o : observers_) o->selectionChanged();
}

int ListModel::find(std::string_view name) const {
  for (int i = 0; i < size(); ++i)
    if (equalsNoCase(at(i).name, name)) return i;
  return -1;
}

bool ListModel::selectName(std::string_view name) {
  int i = find(name);
  setSelected(i);
  return i >= 0;
}

const ListItem& ListModel::withTime(int i) {
  ListItem& item = items_[static_cast<std::size_t>(i)];
  if (item.timePending && timeReader_) timeReader_->readTime(item);
  return item;
}

void ListModel::readAllTimes() {
  if (timeReader_) timeReader_->readTimes(items_);
}

void ListModel::assign(std::vector<ListItem> items) {
  items_ = std::move(items);
  selected_ = -1;
  notifyReset();
}

void ListModel::insert(int index, ListItem item) {
  index = std::clamp(index, 0, size());
  items_.insert(items_.begin() + index, std::move(item));
  if (selected_ >= index) ++selected_;
  notifyReset();
}

void ListModel::clear() {
  if (items_.empty() && selected_ == -1) return;
  items_.clear();
  selected_ = -1;
  notifyReset();
}

void ListModel::addObserver(Observer* o) { observers_.push_back(o); }

void ListModel::removeObserver(Observer* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void ListModel::notifyReset() {
  for (auto* o : observers_) o->listReset();
}

}  // namespace vm
