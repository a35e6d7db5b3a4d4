#pragma once
// Status line, counters and window title.
//
// Every result and soft error is one message of at most 259 characters that
// clears itself after about three seconds (six ticks of the 500 ms timer).
// With a status bar the message stands in its first part; without one it
// shows in a small message field, only while the main window is in front.
#include <functional>
#include <optional>
#include <string>

#include "platform/signal.h"

namespace vm {

inline constexpr const char* kProductName = "Vellumark";

class StatusLine {
 public:
  StatusLine() = default;
  // useStatBar is fixed for the run; isForeground tells whether the main window is in front.
  void configure(bool useStatBar, bool showCharCount, bool showWordCount, std::function<bool()> isForeground);

  void show(const std::string& text);
  void hideNow();
  // Timer 2 (every 500 ms). editorScroll is the note editor's vertical scroll
  // position when a note editor is shown.
  void tick(std::optional<int> editorScroll = std::nullopt);

  bool useStatBar() const { return useStatBar_; }
  const std::string& message() const { return message_; }
  bool fieldVisible() const { return fieldVisible_; }  // message field (no status bar)
  int countdown() const { return countdown_; }

  // Counters ("Ch %d", "Wd %d"); an empty text empties the part.
  bool charCounterOn() const { return charOn_; }
  bool wordCounterOn() const { return wordOn_; }
  const std::string& charCounter() const { return charCounter_; }
  const std::string& wordCounter() const { return wordCounter_; }
  void setCharCount(std::optional<long> n);
  void setWordCount(std::optional<long> n);

  // Title: the shown file's name, or "Vellumark"; "*" while it has unsaved changes.
  void setTitle(const std::string& fileName);
  void markModified();
  void clearModified();
  const std::string& title() const { return title_; }

  Signal<> changed;

 private:
  bool useStatBar_ = false;
  bool charOn_ = true, wordOn_ = true;
  std::function<bool()> isForeground_;
  std::string message_;
  bool fieldVisible_ = false;
  int countdown_ = -1;
  std::optional<int> lastScroll_;
  std::string charCounter_, wordCounter_;
  std::string title_ = kProductName;
};

}  // namespace vm
