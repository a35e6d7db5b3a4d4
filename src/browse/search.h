#pragma once
// The three searches that start from the Multibar and go on with Search next
// (F3): "?" in the open document, "?d" through the files of the current
// folder by name and content, "?k" for files that carry a keyword. The search
// state lives here; everything it needs from the window goes through
// SearchHooks.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ports.h"
#include "platform/text_search.h"

namespace vm {

// The viewer that shows the open file.
enum class ShownViewer { Text, Sheet, Other };

// What the searches ask of the rest of the program.
struct SearchHooks {
  // The current folder of the current root.
  std::function<std::string()> currentFolder;
  // The File List's file names, in list order.
  std::function<std::vector<std::string>()> fileNames;
  // Selects File List entry `index` (named `name` when the names were
  // taken; the pump may have let the list change since) and opens it, as a
  // click does.
  std::function<void(std::size_t index, const std::string& name)> openEntry;
  // The viewer now showing the open file.
  std::function<ShownViewer()> shownViewer;
  // The shown viewer's own search (the note's document search or the
  // sheet's), from the top or on from its last hit; false when not found.
  std::function<bool(const std::string& term, bool fromStart)> findInShown;
  // True in View mode; switchToEditMode changes to Edit mode (reopening the file).
  std::function<bool()> viewMode;
  std::function<void()> switchToEditMode;
  // The keywords of the file at path (empty when it has none).
  std::function<std::vector<std::string>(const std::string& path)> keywordsOf;
  // The setting DirectorySearchCheckFilename (on when absent).
  std::function<bool()> checkFileNames;
  // A status message.
  std::function<void(const std::string& text)> say;
  // Keeps the window responsive between files and chunks, shows how far a
  // long search has come, and stops it when the program quits or the user
  // cancels.
  Pump* pump = nullptr;
};

inline constexpr const char* kMsgSearchCancelled = "Search cancelled";

inline constexpr std::string_view kMsgTermNotFound = "Search term not found";
inline constexpr const char* kMsgKeywordNotFound = "Keyword '%s' not found";

class Search {
 public:
  enum Kind { kNone = 0, kDocument = 1, kDirectory = 2, kKeyword = 3 };

  explicit Search(SearchHooks hooks);

  // The text viewer's edit list (extensions with their dot): its files are
  // searched by content as well as the built-in ones.
  void setTextExtensions(std::vector<std::string> extensions);
  // True when a file of this name is searched by content.
  bool isSearchable(std::string_view name) const;

  // Multibar text that begins with "?d", "?k" or "?" (the web prefixes are
  // the caller's, before this): sets the kind and the term and runs the
  // search. False, doing nothing, for any other text.
  bool multibar(const std::string& text);
  // Search next (F3). multibarText is the Multibar's text now: when not
  // empty, its text after the prefix becomes the term.
  void next(const std::string& multibarText);
  // A file name was typed in the Multibar: F3 has nothing to repeat.
  void clearKind() { kind_ = kNone; }

  // Directory search; true when it showed a hit.
  bool directory(const std::string& term, bool restart, bool next);
  // Keyword search; true when it opened a file.
  bool keyword(const std::string& keyword, bool restart);

  Kind kind() const { return kind_; }
  const std::string& term() const { return term_; }

  // The Multibar text after "?d", "?k" or "?" (none: the whole text), leading
  // blanks removed, trailing ones kept, at most 259 bytes.
  static std::string termOf(std::string_view multibarText);

 private:
  // The next entry from dirIndex_ whose name or content holds the term, or
  // nullopt (after "Search term not found", or when quitting).
  std::optional<std::size_t> scanFolder(const std::string& folder, const TextMatcher& matcher, bool& nameHit,
                                        std::string& name);
  bool lookInShown(const std::string& term, bool fromStart, bool nameHit, bool next);
  bool quitting();
  void say(const std::string& text);

  SearchHooks hooks_;
  std::vector<std::string> textExtensions_;
  Kind kind_ = kNone;
  std::string term_;
  // Directory search: the folder it ran in and the next File List entry to examine.
  std::string dirFolder_;
  std::size_t dirIndex_ = 0;
  bool dirExhausted_ = false;  // the scan reached the end of the list
  // Keyword search: the same.
  std::string kwFolder_;
  std::size_t kwIndex_ = 0;
  bool haveDirFolder_ = false, haveKwFolder_ = false;
  FileScanner scanner_;
};

}  // namespace vm
