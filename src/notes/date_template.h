#pragma once
// Date templates: the one formatter that writes the local date and time into
// text (Paste current date, note templates, picture-name prefixes), and the
// fixed formats the paste command falls back to when no template is set.
//
// Tokens, case-sensitive, every occurrence replaced, letters inside ordinary
// words included:
//   yyyy year            yy  3rd and 4th digits of the year
//   MMMM January         MMM Jan       MM 01     M 1
//   dddd Monday          ddd Mon       dd 01     d 1
//   HH   16              H   16        (24-hour)
//   hh   04              h   4         (12-hour: 0-12 as they are, 13-23 minus 12)
//   mm   01  m 1         ss  01        s  1
//   tt   AM/PM           t   A/P
// Names are English whatever the locale. The template is read once, left to
// right, taking the longest token at each place; what a token puts in is
// never read again. The result is at most limits::kText bytes: a token whose
// value would not fit stays as typed.
#include <string>
#include <string_view>

#include "platform/fs.h"

namespace vm {

// Expands tmpl (cut to limits::kText bytes first) for the time t.
std::string formatDate(std::string_view tmpl, const LocalTime& t);

// Where Paste current date puts its text.
enum class DateTarget { Multibar, Note, SpreadsheetCell };

// The text Paste current date inserts into target: configuredTemplate
// expanded when it is not empty, else the target's fixed format:
//   Multibar          "2026Dec04", with time "2026Dec04.0714"
//   SpreadsheetCell   "2026 12 04", with time "2026 Dec 04 07:14"
//   Note              "7:14 AM 12/4/2026 " (always with time; 0 h shows as 12)
// withTime is MultibarPasteTimeWithDate for the Multibar and
// SSEditPasteTimeWithDate for the cell editor; the note ignores it.
std::string pasteDateText(DateTarget target, std::string_view configuredTemplate, bool withTime,
                          const LocalTime& t);

}  // namespace vm
