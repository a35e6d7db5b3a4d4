#include "notes/date_template.h"

#include <array>

#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                                      "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> kShortMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kShortWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// A name by 1-based month or 0-based weekday; empty when the index is out of
// range, so a broken time stamp cannot read past the table.
template <std::size_t N>
std::string_view nameAt(const std::array<std::string_view, N>& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? table[static_cast<std::size_t>(index)]
                                                           : std::string_view();
}
std::string_view monthName(int month) { return nameAt(kMonths, month - 1); }
std::string_view shortMonthName(int month) { return nameAt(kShortMonths, month - 1); }

// The template's 12-hour hour: hours up to 12 stay, 13-23 lose 12 (so the
// hour after midnight is 0).
int templateHour12(int hour) { return hour <= 12 ? hour : hour - 12; }
bool isMorning(int hour) { return hour < 12; }

// Replaces every occurrence of token in text, left to right, never scanning
// replaced text again. An occurrence whose replacement would make the text
// longer than limits::kText is left as it is.
void replaceAll(std::string& text, std::string_view token, std::string_view by) {
  std::size_t pos = 0;
  while ((pos = text.find(token, pos)) != std::string::npos) {
    if (text.size() - token.size() + by.size() > limits::kText) {
      pos += token.size();
      continue;
    }
    text.replace(pos, token.size(), by);
    pos += by.size();
  }
}

std::string num(int v) { return std::to_string(v); }
std::string num2(int v) { return format("%02d", v); }

}  // namespace

std::string formatDate(std::string_view tmpl, const LocalTime& t) {
  std::string s = cutUtf8(tmpl, limits::kText);
  const std::string year = num(t.year);
  const int h12 = templateHour12(t.hour);
  const bool am = isMorning(t.hour);

  // The names go in through placeholders last, so that later tokens cannot
  // eat their letters ("March" would lose its "M", "Monday" its "d").
  replaceAll(s, "yyyy", year);
  replaceAll(s, "yy", year.size() > 2 ? year.substr(2, 2) : std::string());
  replaceAll(s, "MMMM", "^^^^");
  replaceAll(s, "MMM", "^^^");
  replaceAll(s, "MM", num2(t.month));
  replaceAll(s, "M", num(t.month));
  replaceAll(s, "dddd", "$$$$");
  replaceAll(s, "ddd", "$$$");
  replaceAll(s, "dd", num2(t.day));
  replaceAll(s, "d", num(t.day));
  replaceAll(s, "HH", num2(t.hour));
  replaceAll(s, "H", num(t.hour));
  replaceAll(s, "hh", num2(h12));
  replaceAll(s, "h", num(h12));
  replaceAll(s, "mm", num2(t.minute));
  replaceAll(s, "m", num(t.minute));
  replaceAll(s, "ss", num2(t.second));
  replaceAll(s, "s", num(t.second));
  replaceAll(s, "tt", "^^");
  replaceAll(s, "t", am ? "A" : "P");
  replaceAll(s, "^^^^", monthName(t.month));
  replaceAll(s, "^^^", shortMonthName(t.month));
  replaceAll(s, "$$$$", nameAt(kWeekdays, t.weekday));
  replaceAll(s, "$$$", nameAt(kShortWeekdays, t.weekday));
  replaceAll(s, "^^", am ? "AM" : "PM");
  return s;
}

std::string pasteDateText(DateTarget target, std::string_view configuredTemplate, bool withTime,
                          const LocalTime& t) {
  if (!configuredTemplate.empty()) return formatDate(configuredTemplate, t);
  const std::string mon(shortMonthName(t.month));
  switch (target) {
    case DateTarget::Multibar:
      return withTime ? format("%d%s%02d.%02d%02d", t.year, mon.c_str(), t.day, t.hour, t.minute)
                      : format("%d%s%02d", t.year, mon.c_str(), t.day);
    case DateTarget::SpreadsheetCell:
      return withTime ? format("%d %s %02d %02d:%02d", t.year, mon.c_str(), t.day, t.hour, t.minute)
                      : format("%d %02d %02d", t.year, t.month, t.day);
    case DateTarget::Note: {
      // Unlike the template's "h", the note's clock shows midnight as 12.
      int h = t.hour == 0 ? 12 : templateHour12(t.hour);
      return format("%d:%02d %cM %d/%d/%d ", h, t.minute, isMorning(t.hour) ? 'A' : 'P', t.month, t.day,
                    t.year);
    }
  }
  return {};
}

}  // namespace vm
