#pragma once
// Documented length and count limits, in one place.
#include <cstddef>

namespace vm::limits {
inline constexpr std::size_t kText = 259;            // a settings value, name or message, in bytes
inline constexpr std::size_t kListItem = 258;        // one item of a comma list
inline constexpr std::size_t kListItems = 259;       // items of one list
inline constexpr std::size_t kSectionNames = 259;    // names returned by a section listing
inline constexpr int kMaxRoots = 25;
inline constexpr int kShortcuts = 14;                // 10 recent, 3 Perpetual notes, help
inline constexpr int kRecentSlots = 10;
inline constexpr std::size_t kExtension = 9;         // default extension of a root, with its dot
inline constexpr std::size_t kLogMessage = 1020;     // bytes of one log message
inline constexpr std::size_t kIniLine = 519;         // line length read when deleting a section
inline constexpr std::size_t kStatusMessage = 259;
inline constexpr std::size_t kNoteFontName = 31;
inline constexpr std::size_t kPathMax = 4096;
inline constexpr std::size_t kNameMax = 255;
}  // namespace vm::limits

namespace vm::limits {
inline constexpr std::size_t kHistoryEntries = 22;  // places kept for Back
// Wiki conversion.
inline constexpr std::size_t kWikiPiece = 1023;       // bytes of one read piece; longer lines are split
inline constexpr std::size_t kWikiLinkTarget = 1023;  // bytes of a link target
inline constexpr std::size_t kWikiLinkAddress = 259;  // bytes of a link address before "%20" and "tn:"
inline constexpr std::size_t kWikiCell = 258;         // bytes of one table cell
inline constexpr std::size_t kWikiCells = 259;        // cells of one table row
}  // namespace vm::limits
