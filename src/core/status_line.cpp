#include "core/status_line.h"

#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {
constexpr int kMessageTicks = 6;  // six half-second ticks: about three seconds
}

void StatusLine::configure(bool useStatBar, bool showCharCount, bool showWordCount,
                           std::function<bool()> isForeground) {
  useStatBar_ = useStatBar;
  charOn_ = useStatBar && showCharCount;
  wordOn_ = useStatBar && showWordCount;
  isForeground_ = std::move(isForeground);
  changed();
}

void StatusLine::show(const std::string& text) {
  std::string t = cutUtf8(text, limits::kStatusMessage);
  if (useStatBar_) {
    message_ = std::move(t);
    countdown_ = kMessageTicks;
  } else {
    if (t.empty() || (isForeground_ && !isForeground_())) return;
    message_ = std::move(t);
    fieldVisible_ = true;
    countdown_ = kMessageTicks;
  }
  changed();
}

void StatusLine::hideNow() {
  countdown_ = 0;
  lastScroll_.reset();
  if (!useStatBar_ && fieldVisible_) {
    fieldVisible_ = false;
    changed();
  }
}

void StatusLine::tick(std::optional<int> editorScroll) {
  if (useStatBar_) {
    if (countdown_ == 0) {
      bool any = !message_.empty() || (!charOn_ && !charCounter_.empty()) || (!wordOn_ && !wordCounter_.empty());
      message_.clear();
      if (!charOn_) charCounter_.clear();
      if (!wordOn_) wordCounter_.clear();
      if (any) changed();
    }
    if (countdown_ >= 0) --countdown_;
    return;
  }
  if (lastScroll_ && editorScroll && *lastScroll_ != *editorScroll) countdown_ = 0;
  lastScroll_ = editorScroll;
  if (countdown_ > 0) --countdown_;
  if (countdown_ <= 0 && fieldVisible_) {
    countdown_ = 0;
    fieldVisible_ = false;
    changed();
  }
}

void StatusLine::setCharCount(std::optional<long> n) {
  if (!charOn_) return;
  charCounter_ = n ? format("Ch %ld", *n) : std::string();
  changed();
}

void StatusLine::setWordCount(std::optional<long> n) {
  if (!wordOn_) return;
  wordCounter_ = n ? format("Wd %ld", *n) : std::string();
  changed();
}

void StatusLine::setTitle(const std::string& fileName) {
  title_ = fileName.empty() ? std::string(kProductName) : fileName;
  changed();
}

void StatusLine::markModified() {
  if (!title_.ends_with('*')) {
    title_ += '*';
    changed();
  }
}

void StatusLine::clearModified() {
  if (title_.ends_with('*')) {
    title_.pop_back();
    changed();
  }
}

}  // namespace vm
