#pragma once
// File kinds (File List icons and filters) and the viewer table's extension
// lists: which viewer shows or edits a file, by its extension.
#include <string>
#include <string_view>
#include <vector>

namespace vm {

enum FileKind { kKindOther = 0, kKindText = 1, kKindImage = 2, kKindWeb = 3, kKindArchive = 4, kKindSheet = 5 };

// Viewer slots in lookup order.
enum ViewerSlot { kViewerText = 0, kViewerWeb = 1, kViewerSheet = 2 };

// File List filter commands: 550 all, 551 text, 552 image, 553 spreadsheet,
// 554 archive, 555 web.
inline constexpr int kFilterAll = 550;
inline constexpr int kFilterText = 551;
inline constexpr int kFilterImage = 552;
inline constexpr int kFilterSheet = 553;
inline constexpr int kFilterArchive = 554;
inline constexpr int kFilterWeb = 555;

// Extension of a name: from its last '.', or empty.
std::string extensionOf(std::string_view name);

struct ViewerTables {
  // Extensions with their dot, folded to lower case.
  std::vector<std::string> view[3];  // extensions each viewer shows in View mode
  std::vector<std::string> edit[3];  // extensions each viewer edits

  // Built-in lists plus the extra extensions from the settings (an item
  // without a leading dot gets one; duplicates are not added again).
  static ViewerTables build(const std::vector<std::string>& textExtra, const std::vector<std::string>& webExtra,
                            const std::vector<std::string>& sheetExtra);

  // Slot whose view (or edit) list holds the name's extension; -1 when none.
  int findViewViewer(std::string_view name) const;
  int findEditViewer(std::string_view name) const;

  // Icon number of a file name.
  int kindOf(std::string_view name) const;
  // True when the name passes filter command id (550..555; 0 and 550 pass all).
  bool passesFilter(std::string_view name, int filter) const;
};

}  // namespace vm
