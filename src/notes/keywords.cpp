#include "notes/keywords.h"

#include <algorithm>

#include "core/ini_file.h"
#include "notes/companion.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

// A keyword that could not be stored as one: a "," would split it, a line
// break would end the companion's line.
bool storable(std::string_view keyword) {
  return keyword.find_first_of(",\r\n") == std::string_view::npos;
}

// The bytes after the first n characters of UTF-8 text.
std::string_view afterChars(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  while (n > 0 && i < s.size()) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --n;
  }
  return s.substr(i);
}

}  // namespace

std::vector<std::string> splitKeywords(std::string_view value) {
  std::vector<std::string> out;
  const std::string cut = cutUtf8(value, kKeywordsValueMax);
  for (const std::string& item : split(cut, ',')) {
    if (item.empty()) continue;
    if (out.size() >= kFileKeywordsMax) break;
    std::string k = cutUtf8(item, kKeywordMax);
    if (!containsKeyword(out, k)) out.push_back(std::move(k));
  }
  return out;
}

std::string joinKeywords(const std::vector<std::string>& keywords) {
  std::string out;
  for (const std::string& k : keywords) {
    if (!out.empty()) out += ',';
    out += k;
  }
  return out;
}

bool containsKeyword(const std::vector<std::string>& keywords, std::string_view keyword) {
  return std::any_of(keywords.begin(), keywords.end(), [&](const std::string& k) { return equalsNoCase(k, keyword); });
}

std::size_t sortedPosition(const std::vector<std::string>& list, std::string_view keyword) {
  std::size_t i = 0;
  while (i < list.size() && compareNoCase(list[i], keyword) <= 0) ++i;
  return i;
}

// ---------------------------------------------------------------- Keywords

std::string Keywords::companionOf(const std::string& filePath) const {
  auto expand = [this](std::string& p) { expandPathVariables(p, ctx_.env.paths); };
  const std::string infoFolder =
      fileInfoFolder(ctx_.env.home.string(), ctx_.settings.text(setting::FileInfoDir), expand);
  if (!ctx_.settings.flag(setting::TnFileWithOriginal)) ensureFileInfoFolder(infoFolder);
  return companionName(filePath, ctx_.settings.flag(setting::TnFileWithOriginal), infoFolder, expand);
}

std::vector<std::string> Keywords::fileKeywords(const std::string& filePath) const {
  const std::string companion = companionOf(filePath);
  if (companion.empty() || !pathExists(companion)) return {};
  return splitKeywords(ini::readKey(companion, kCompanionSection, kKeywordsKey, ""));
}

bool Keywords::fileHasKeyword(const std::string& filePath, std::string_view keyword) const {
  return containsKeyword(fileKeywords(filePath), keyword);
}

bool Keywords::writeFileKeywords(const std::string& filePath, const std::vector<std::string>& keywords) const {
  const std::string companion = companionOf(filePath);
  if (companion.empty()) return false;
  return ini::writeKey(companion, kCompanionSection, kKeywordsKey, joinKeywords(keywords));
}

std::vector<std::string> Keywords::globalList() const { return ctx_.store.sectionKeys(kKeywordsSection); }

void Keywords::addGlobal(const std::string& keyword) const {
  if (keyword.empty() || !ini::writableKey(keyword)) return;
  for (const std::string& k : ctx_.store.sectionKeys(kKeywordsSection))
    if (equalsNoCase(k, keyword)) return;
  ctx_.store.setInSection(kKeywordsSection, keyword, "");
}

bool Keywords::autoAdd() const { return ctx_.settings.flag(setting::KeywordsAutoAdd); }

void Keywords::multibarCommand(const std::string& text, const std::string& shownPath) const {
  // "kw" and the character after it (normally a blank) are dropped.
  const std::string keyword = cutUtf8(afterChars(text, 3), kKeywordTypedMax);
  if (shownPath.empty()) return;
  if (keyword.empty()) {
    writeFileKeywords(shownPath, {});
  } else if (!storable(keyword)) {
    ctx_.say("A keyword cannot hold a comma");
    return;  // the Multibar keeps the text to be corrected
  } else {
    std::vector<std::string> list = fileKeywords(shownPath);
    if (containsKeyword(list, keyword)) {
      ctx_.say(format("Keyword '%s' already in list", keyword.c_str()));
    } else {
      list.push_back(cutUtf8(keyword, kKeywordMax));
      if (autoAdd()) addGlobal(list.back());
      if (writeFileKeywords(shownPath, list)) ctx_.say(format("Added keyword '%s' to list", keyword.c_str()));
    }
  }
  if (ctx_.ports.multibar) ctx_.ports.multibar->setText("");
}

void Keywords::showDialog(const std::string& filePath) const {
  if (filePath.empty() || !ctx_.ports.dialogs) return;
  KeywordsDialogState state(*this, filePath);
  ctx_.ports.dialogs->keywords(state);
}

// ---------------------------------------------------------------- the dialog

KeywordsDialogState::KeywordsDialogState(const Keywords& keywords, std::string filePath)
    : keywords_(keywords), path_(std::move(filePath)) {
  for (std::string& k : keywords_.fileKeywords(path_)) entries_.insert(entries_.begin() + sortedPosition(entries_, k), k);
}

std::string KeywordsDialogState::title() const { return format("Keywords for %s", lastComponent(path_).c_str()); }

std::vector<std::string> KeywordsDialogState::choices() const {
  std::vector<std::string> list = keywords_.globalList();
  std::stable_sort(list.begin(), list.end(),
                   [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
  return list;
}

int KeywordsDialogState::add(const std::string& text) {
  const std::string keyword = cutUtf8(text, kKeywordTypedMax);
  if (keyword.empty() || !storable(keyword)) return -1;
  // Compared with the keywords as saved, not with the list box.
  if (keywords_.fileHasKeyword(path_, keyword)) return -1;
  while (entries_.size() >= kKeywordsListMax) entries_.erase(entries_.begin());
  const std::size_t at = sortedPosition(entries_, keyword);
  entries_.insert(entries_.begin() + at, keyword);
  if (keywords_.autoAdd()) keywords_.addGlobal(keyword);
  return static_cast<int>(at);
}

void KeywordsDialogState::remove(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
  entries_.erase(entries_.begin() + index);
}

void KeywordsDialogState::ok() { written_ = keywords_.writeFileKeywords(path_, entries_); }

}  // namespace vm
