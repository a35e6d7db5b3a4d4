#pragma once
// Navigation history: the places the user has left, newest last, for Back;
// and the recent-files list shown at the foot of the File menu.
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/limits.h"
#include "platform/root_location.h"

namespace vm {

// Two locations are the same place when root folder, path and selected file
// are equal ignoring case; the selected folder does not count.
bool samePlace(const RootLocation& a, const RootLocation& b);

class History {
 public:
  using LogSink = std::function<void(const std::string&)>;

  // Log lines go to sink when set (the LogBack setting).
  void setLog(LogSink sink) { log_ = std::move(sink); }

  // Offers a place: ignored when it names no file or is the newest entry
  // already; the oldest entries go beyond 22.
  void push(const RootLocation& loc);
  // Removes and returns the newest place.
  std::optional<RootLocation> pop();

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const RootLocation& newest() const { return entries_.back(); }
  const std::deque<RootLocation>& entries() const { return entries_; }

 private:
  void write(const char* what, const RootLocation& loc);
  std::deque<RootLocation> entries_;
  LogSink log_;
};

// Recent files: slots 0-9 of the shortcut table, newest first. Returns true
// when the list changed (the caller then rebuilds the File menu items).
bool addRecentFile(std::array<RootLocation, limits::kShortcuts>& shortcuts, RootLocation& lastAdded,
                   const RootLocation& loc);

}  // namespace vm
