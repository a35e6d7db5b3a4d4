#include "browse/search.h"

#include <utility>

#include "browse/file_kinds.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

// Files the directory search reads, besides the text viewer's edit list.
constexpr std::string_view kSearchable[] = {".txt", ".log", ".md", ".wgi", ".ini", ".old", ".wki", ".c",
                                            ".cpp", ".h",   ".rc", ".hpp", ".reg", ".bat", ".tn",  ".csv",
                                            ".html", ".htm", ".xml", ".svg", ".js", ".css"};

}  // namespace

Search::Search(SearchHooks hooks) : hooks_(std::move(hooks)) {}

void Search::setTextExtensions(std::vector<std::string> extensions) { textExtensions_ = std::move(extensions); }

bool Search::isSearchable(std::string_view name) const {
  const std::string ext = extensionOf(name);
  if (ext.empty()) return false;
  for (std::string_view e : kSearchable)
    if (equalsNoCase(ext, e)) return true;
  for (const std::string& e : textExtensions_)
    if (equalsNoCase(ext, e)) return true;
  return false;
}

std::string Search::termOf(std::string_view text) {
  if (startsWithNoCase(text, "?d") || startsWithNoCase(text, "?k"))
    text.remove_prefix(2);
  else if (text.starts_with('?'))
    text.remove_prefix(1);
  const std::size_t lead = text.find_first_not_of(' ');
  text.remove_prefix(lead == std::string_view::npos ? text.size() : lead);
  return cutUtf8(text, limits::kText);
}

void Search::say(const std::string& text) {
  if (hooks_.say) hooks_.say(text);
}

bool Search::quitting() {
  if (!hooks_.pump || !hooks_.pump->step()) return false;
  if (hooks_.pump->cancelled()) say(kMsgSearchCancelled);
  return true;
}

bool Search::multibar(const std::string& text) {
  if (startsWithNoCase(text, "?d")) {
    kind_ = kDirectory;
    term_ = termOf(text);
    if (hooks_.viewMode && hooks_.viewMode() && hooks_.switchToEditMode) hooks_.switchToEditMode();
    directory(term_, true, false);
    return true;
  }
  if (startsWithNoCase(text, "?k")) {
    kind_ = kKeyword;
    term_ = termOf(text);
    keyword(term_, true);
    return true;
  }
  if (text.starts_with('?')) {
    kind_ = kDocument;
    term_ = termOf(text);
    switch (hooks_.shownViewer()) {
      case ShownViewer::Text:
        hooks_.findInShown(term_, true);  // a note shows nothing when the term is not there
        break;
      case ShownViewer::Sheet:
        if (!hooks_.findInShown(term_, true)) say(std::string(kMsgTermNotFound));
        break;
      case ShownViewer::Other: break;
    }
    return true;
  }
  return false;
}

void Search::next(const std::string& multibarText) {
  if (!multibarText.empty()) term_ = termOf(multibarText);
  switch (kind_) {
    case kNone: return;
    case kDirectory:
      if (hooks_.viewMode && hooks_.viewMode() && hooks_.switchToEditMode) hooks_.switchToEditMode();
      directory(term_, false, true);
      return;
    case kKeyword: keyword(term_, false); return;
    case kDocument: {
      const ShownViewer shown = hooks_.shownViewer();
      if (shown == ShownViewer::Other) return;
      if (!hooks_.findInShown(term_, false)) say(std::string(kMsgTermNotFound));
      return;
    }
  }
}

// ---------------------------------------------------------------- directory

bool Search::directory(const std::string& term, bool restart, bool next) {
  const std::string folder = hooks_.currentFolder();
  if (restart || !haveDirFolder_ || !equalsNoCase(folder, dirFolder_)) {
    dirFolder_ = folder;
    haveDirFolder_ = true;
    dirIndex_ = 0;
    dirExhausted_ = false;
    next = false;
  } else if (next) {
    // The list was searched to its end: no wrapping until a new "?d".
    if (dirExhausted_) {
      say(std::string(kMsgTermNotFound));
      return false;
    }
    // Look further in the file already shown first.
    if (lookInShown(term, false, false, true)) return true;
  }
  const TextMatcher matcher(term);
  for (;;) {
    bool nameHit = false;
    std::string name;
    const auto index = scanFolder(folder, matcher, nameHit, name);
    if (!index) return false;
    hooks_.openEntry(*index, name);
    if (lookInShown(term, true, nameHit, false)) return true;
  }
}

std::optional<std::size_t> Search::scanFolder(const std::string& folder, const TextMatcher& matcher, bool& nameHit,
                                              std::string& name) {
  const std::vector<std::string> names = hooks_.fileNames();
  const bool checkNames = !hooks_.checkFileNames || hooks_.checkFileNames();
  Pump* const port = hooks_.pump;
  bool cancelled = false;
  const SearchPump pump = port ? SearchPump([port, &cancelled] {
    if (!port->step()) return true;
    cancelled = port->cancelled();
    return false;
  })
                               : SearchPump();
  PumpProgress progress(port, names.size() - std::min(dirIndex_, names.size()));
  for (std::size_t i = dirIndex_; i < names.size(); ++i) {
    if (i > dirIndex_ && quitting()) return std::nullopt;
    progress.at(i - dirIndex_);
    nameHit = checkNames && matcher.contains(names[i]);
    bool contentHit = false;
    if (isSearchable(names[i])) {
      contentHit = scanner_.contains(joinPath(folder, names[i]), matcher, pump);
      if (scanner_.stopped()) {
        if (cancelled) say(kMsgSearchCancelled);
        return std::nullopt;
      }
    }
    if (contentHit || nameHit) {
      dirIndex_ = i + 1;
      name = names[i];
      return i;
    }
  }
  dirIndex_ = names.size();
  dirExhausted_ = true;
  say(std::string(kMsgTermNotFound));
  return std::nullopt;
}

// Step 4: the file now shown. True when the search stops here.
bool Search::lookInShown(const std::string& term, bool fromStart, bool nameHit, bool next) {
  const ShownViewer shown = hooks_.shownViewer();
  bool found = false;
  if (shown != ShownViewer::Other) found = hooks_.findInShown(term, fromStart);
  if (found || nameHit) return true;
  // A picture or page found by its name (or a file no viewer took) ends a
  // new search; Search next goes on to the next entry.
  return shown == ShownViewer::Other && !next;
}

// ---------------------------------------------------------------- keyword

bool Search::keyword(const std::string& keyword, bool restart) {
  const std::string folder = hooks_.currentFolder();
  if (restart || !haveKwFolder_ || !equalsNoCase(folder, kwFolder_)) {
    kwFolder_ = folder;
    haveKwFolder_ = true;
    kwIndex_ = 0;
  }
  const std::vector<std::string> names = hooks_.fileNames();
  PumpProgress progress(hooks_.pump, names.size() - std::min(kwIndex_, names.size()));
  for (std::size_t i = kwIndex_; i < names.size(); ++i) {
    if (i > kwIndex_ && quitting()) return false;
    progress.at(i - kwIndex_);
    for (const std::string& k : hooks_.keywordsOf(joinPath(folder, names[i]))) {
      if (!equalsNoCase(k, keyword)) continue;
      kwIndex_ = i + 1;
      hooks_.openEntry(i, names[i]);
      return true;
    }
  }
  kwIndex_ = names.size();
  say(format(kMsgKeywordNotFound, keyword.c_str()));
  return false;
}

}  // namespace vm
