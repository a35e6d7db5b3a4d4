#include "browse/history.h"

#include "platform/text.h"

namespace vm {

namespace {
constexpr std::string_view kUnsaved = "$NEW$UNSAVED$";  // a new note that has no name yet
}

bool samePlace(const RootLocation& a, const RootLocation& b) {
  return equalsNoCase(a.rootFolder, b.rootFolder) && equalsNoCase(a.path, b.path) &&
         equalsNoCase(a.selectedFile, b.selectedFile);
}

void History::write(const char* what, const RootLocation& loc) {
  if (!log_) return;
  log_(format("%s'%s' path:'%s' folder:'%s' file:'%s'\n", what, loc.rootFolder.c_str(), loc.path.c_str(),
              loc.selectedFolder.c_str(), loc.selectedFile.c_str()));
}

void History::push(const RootLocation& loc) {
  if (loc.selectedFile.empty()) return;
  if (!entries_.empty() && samePlace(entries_.back(), loc)) {
    write("PUSH root LAST ROOT (not added again):", loc);
    return;
  }
  write("PUSH root:", loc);
  RootLocation e = loc;
  e.currentFolder.clear();  // Back recomputes it
  entries_.push_back(std::move(e));
  while (entries_.size() > limits::kHistoryEntries) entries_.pop_front();
}

std::optional<RootLocation> History::pop() {
  if (entries_.empty()) return std::nullopt;
  RootLocation e = std::move(entries_.back());
  entries_.pop_back();
  write("POP root:", e);
  return e;
}

bool addRecentFile(std::array<RootLocation, limits::kShortcuts>& shortcuts, RootLocation& lastAdded,
                   const RootLocation& loc) {
  if (loc.selectedFile.empty()) return false;
  if (lastAdded.inUse && samePlace(lastAdded, loc) && equalsNoCase(lastAdded.selectedFolder, loc.selectedFolder))
    return false;
  if (equalsNoCase(loc.selectedFile, kUnsaved)) return false;
  for (const auto& s : shortcuts)
    if (s.inUse && equalsNoCase(s.selectedFile, loc.selectedFile)) return false;
  lastAdded = loc;
  lastAdded.inUse = true;
  for (int i = limits::kRecentSlots - 1; i > 0; --i) shortcuts[static_cast<std::size_t>(i)] = shortcuts[static_cast<std::size_t>(i - 1)];
  shortcuts[0] = loc;
  shortcuts[0].inUse = true;
  return true;
}

}  // namespace vm
