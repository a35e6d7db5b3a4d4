#include "browse/file_kinds.h"

#include <array>

#include "platform/text.h"

namespace vm {

namespace {

// Built-in extension lists. All lower case, so a folded extension can be
// compared with them byte for byte.
constexpr std::array kFixedText = {".txt", ".log", ".md",  ".wgi", ".ini", ".old", ".wki", ".c",
                                   ".cpp", ".h",   ".rc",  ".hpp", ".reg", ".bat", ".tn"};
constexpr std::array kFixedImage = {".jpg", ".gif", ".tga", ".png", ".bmp"};
constexpr std::array kFixedWeb = {".html", ".htm", ".xml", ".svg", ".js", ".css"};
constexpr std::array kFixedArchive = {".zip", ".crx", ".7z"};
constexpr std::string_view kSheetExtension = ".csv";

// The viewers' own lists, in the order they are built.
constexpr std::array kTextEditBuiltIn = {".txt", ".ini", ".bat", ".wgi", ".html", ".xml", ".log",
                                         ".old", ".wki", ".h",   ".c",   ".rc",   ".hpp", ".cpp",
                                         ".htm", ".reg", ".md",  ".js",  ".css",  ".tn"};
constexpr std::array kWebViewBuiltIn = {".jpg", ".png", ".gif", ".html", ".htm", ".xml", ".md", ".wki", ".bmp"};

// A viewer list holds at most this many extensions.
constexpr std::size_t kMaxViewerExtensions = 260;

template <std::size_t N>
bool inFixed(const std::array<const char*, N>& list, std::string_view folded) {
  for (const char* e : list)
    if (folded == e) return true;
  return false;
}

// The viewer lists are kept folded, so a folded extension compares byte for byte.
bool inList(const std::vector<std::string>& list, std::string_view folded) {
  for (const auto& e : list)
    if (e == folded) return true;
  return false;
}

void addExtension(std::vector<std::string>& list, std::string_view item) {
  if (item.empty() || list.size() >= kMaxViewerExtensions) return;
  std::string ext = foldCase(item.front() == '.' ? std::string(item) : "." + std::string(item));
  if (!inList(list, ext)) list.push_back(std::move(ext));
}

template <std::size_t N>
void addBuiltIn(std::vector<std::string>& list, const std::array<const char*, N>& items) {
  for (const char* e : items) addExtension(list, e);
}

void addExtras(std::vector<std::string>& list, const std::vector<std::string>& extras) {
  for (const auto& e : extras) addExtension(list, e);
}

int findIn(const std::vector<std::string> (&lists)[3], std::string_view name) {
  std::string ext = foldCase(extensionOf(name));
  if (ext.empty()) return -1;
  for (int slot = 0; slot < 3; ++slot)
    if (inList(lists[slot], ext)) return slot;
  return -1;
}

}  // namespace

std::string extensionOf(std::string_view name) {
  auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

ViewerTables ViewerTables::build(const std::vector<std::string>& textExtra, const std::vector<std::string>& webExtra,
                                 const std::vector<std::string>& sheetExtra) {
  ViewerTables t;
  addBuiltIn(t.edit[kViewerText], kTextEditBuiltIn);
  addExtras(t.edit[kViewerText], textExtra);
  addBuiltIn(t.view[kViewerWeb], kWebViewBuiltIn);
  addExtras(t.view[kViewerWeb], webExtra);
  addExtension(t.view[kViewerSheet], kSheetExtension);
  addExtras(t.view[kViewerSheet], sheetExtra);
  return t;
}

int ViewerTables::findViewViewer(std::string_view name) const { return findIn(view, name); }

int ViewerTables::findEditViewer(std::string_view name) const { return findIn(edit, name); }

int ViewerTables::kindOf(std::string_view name) const {
  std::string ext = extensionOf(name);
  if (ext.empty()) return kKindOther;
  // One fold for the fixed lists; the configured lists may hold any case.
  std::string folded = foldCase(ext);
  if (inFixed(kFixedText, folded)) return kKindText;
  if (inFixed(kFixedImage, folded)) return kKindImage;
  if (inFixed(kFixedWeb, folded)) return kKindWeb;
  if (inFixed(kFixedArchive, folded)) return kKindArchive;
  if (folded == kSheetExtension) return kKindSheet;
  if (inList(edit[kViewerText], folded)) return kKindText;
  if (inList(view[kViewerWeb], folded)) return kKindWeb;
  return kKindOther;
}

bool ViewerTables::passesFilter(std::string_view name, int filter) const {
  if (filter < kFilterText || filter > kFilterWeb) return true;  // 0, 550 and unknown ids show all
  std::string ext = extensionOf(name);
  if (ext.empty()) return false;
  std::string folded = foldCase(ext);
  switch (filter) {
    case kFilterText:
      return inFixed(kFixedText, folded) || inList(edit[kViewerText], folded);
    case kFilterImage:
      return inFixed(kFixedImage, folded);
    case kFilterSheet:
      return folded == kSheetExtension;
    case kFilterArchive:
      return inFixed(kFixedArchive, folded);
    case kFilterWeb:
      return inFixed(kFixedWeb, folded) || inList(view[kViewerWeb], folded);
    default:
      return true;
  }
}

}  // namespace vm
