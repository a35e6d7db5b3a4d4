#pragma once
// Keywords: short words attached to a file, kept under the key "keywords"
// of its companion (joined by ","), and the global list of every keyword
// used, the section "keywords" of the program's INI file, which only grows.
// Keywords compare ignoring case; blanks are part of a keyword.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"

namespace vm {

inline constexpr std::string_view kKeywordsKey = "keywords";
inline constexpr std::string_view kKeywordsSection = "keywords";
// Bytes of a companion's keywords value that are read.
inline constexpr std::size_t kKeywordsValueMax = 519;
// Bytes of one keyword, and keywords of one file.
inline constexpr std::size_t kKeywordMax = 258;
inline constexpr std::size_t kFileKeywordsMax = 259;
// Bytes of a keyword typed in the Multibar or the dialog.
inline constexpr std::size_t kKeywordTypedMax = 259;
// Entries the dialog's list box holds.
inline constexpr std::size_t kKeywordsListMax = 260;

// A companion value read as keywords: cut to kKeywordsValueMax bytes (at a
// character boundary), split at ","; runs of "," count as one; each keyword
// cut to kKeywordMax bytes; at most kFileKeywordsMax keywords, a keyword
// already taken (ignoring case) not again.
std::vector<std::string> splitKeywords(std::string_view value);
std::string joinKeywords(const std::vector<std::string>& keywords);
bool containsKeyword(const std::vector<std::string>& keywords, std::string_view keyword);
// Where keyword goes in a list kept sorted ignoring case (after equal ones).
std::size_t sortedPosition(const std::vector<std::string>& list, std::string_view keyword);

// The keywords of files and the global list, over the settings and the
// companions of a feature context.
class Keywords {
 public:
  explicit Keywords(FeatureContext ctx) : ctx_(ctx) {}

  // The companion of filePath (may create a central companion with only
  // FileName in it); empty when there is none.
  std::string companionOf(const std::string& filePath) const;
  // The file's keywords; empty when it has no companion or no keywords.
  std::vector<std::string> fileKeywords(const std::string& filePath) const;
  bool fileHasKeyword(const std::string& filePath, std::string_view keyword) const;
  // Writes the joined list to the file's companion; false when it cannot.
  bool writeFileKeywords(const std::string& filePath, const std::vector<std::string>& keywords) const;

  // The global list (at most limits::kSectionNames entries) in file order.
  std::vector<std::string> globalList() const;
  // Adds a keyword to the global list (once, ignoring case).
  void addGlobal(const std::string& keyword) const;
  bool autoAdd() const;

  // The Multibar's "kw" command: text is the whole Multibar text (starting
  // "kw"), shownPath the open file's path. The keyword is the text after
  // its third character; an empty keyword clears the file's keywords.
  void multibarCommand(const std::string& text, const std::string& shownPath) const;
  // The Keywords dialog for filePath, through the Dialogs port.
  void showDialog(const std::string& filePath) const;

 private:
  FeatureContext ctx_;
};

// The Keywords dialog's logic: the list box's entries kept sorted, Add and
// Delete, and OK writing the entries to the file's companion.
class KeywordsDialogState : public KeywordsDialogModel {
 public:
  KeywordsDialogState(const Keywords& keywords, std::string filePath);
  std::string title() const override;
  std::vector<std::string> choices() const override;
  const std::vector<std::string>& entries() const override { return entries_; }
  int add(const std::string& text) override;
  void remove(int index) override;
  void ok() override;
  bool written() const { return written_; }

 private:
  const Keywords& keywords_;
  std::string path_;
  std::vector<std::string> entries_;
  bool written_ = false;
};

}  // namespace vm
