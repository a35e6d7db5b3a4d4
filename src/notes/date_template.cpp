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
// month - 1 is not taken before the check: the lowest int has no predecessor.
std::string_view monthName(int month) { return month >= 1 ? nameAt(kMonths, month - 1) : std::string_view(); }
std::string_view shortMonthName(int month) {
  return month >= 1 ? nameAt(kShortMonths, month - 1) : std::string_view();
}

// The template's 12-hour hour: hours up to 12 stay, 13-23 lose 12 (so the
// hour after midnight is 0).
int templateHour12(int hour) { return hour <= 12 ? hour : hour - 12; }
bool isMorning(int hour) { return hour < 12; }

std::string num(int v) { return std::to_string(v); }
std::string num2(int v) { return format("%02d", v); }

// Every token, longest first: at each place of the template the longest
// token that stands there is taken ("MMMM" before "MMM" before "MM" before "M").
constexpr std::array<std::string_view, 20> kTokens = {"yyyy", "MMMM", "dddd", "MMM", "ddd", "yy", "MM",
                                                      "dd",   "HH",   "hh",   "mm",  "ss",  "tt", "M",
                                                      "d",    "H",    "h",    "m",   "s",   "t"};

}  // namespace

std::string formatDate(std::string_view tmpl, const LocalTime& t) {
  const std::string s = cutUtf8(tmpl, limits::kText);
  const std::string year = num(t.year);
  const int h12 = templateHour12(t.hour);
  const bool am = isMorning(t.hour);
  auto expand = [&](std::string_view token) -> std::string {
    switch (token.size() * 256 + static_cast<unsigned char>(token[0])) {
      case 4 * 256 + 'y': return year;
      case 2 * 256 + 'y': return year.size() > 2 ? year.substr(2, 2) : std::string();
      case 4 * 256 + 'M': return std::string(monthName(t.month));
      case 3 * 256 + 'M': return std::string(shortMonthName(t.month));
      case 2 * 256 + 'M': return num2(t.month);
      case 1 * 256 + 'M': return num(t.month);
      case 4 * 256 + 'd': return std::string(nameAt(kWeekdays, t.weekday));
      case 3 * 256 + 'd': return std::string(nameAt(kShortWeekdays, t.weekday));
      case 2 * 256 + 'd': return num2(t.day);
      case 1 * 256 + 'd': return num(t.day);
      case 2 * 256 + 'H': return num2(t.hour);
      case 1 * 256 + 'H': return num(t.hour);
      case 2 * 256 + 'h': return num2(h12);
      case 1 * 256 + 'h': return num(h12);
      case 2 * 256 + 'm': return num2(t.minute);
      case 1 * 256 + 'm': return num(t.minute);
      case 2 * 256 + 's': return num2(t.second);
      case 1 * 256 + 's': return num(t.second);
      case 2 * 256 + 't': return am ? "AM" : "PM";
      case 1 * 256 + 't': return am ? "A" : "P";
      default: return std::string(token);
    }
  };

  // One pass, left to right; replaced text is never scanned again, so names
  // keep their letters and neighbouring tokens cannot run together. A token
  // whose value would make the text longer than limits::kText stays as
  // typed, whole.
  std::string out;
  out.reserve(limits::kText);
  std::size_t i = 0;
  while (i < s.size()) {
    std::string_view token;
    for (std::string_view k : kTokens)
      if (std::string_view(s).substr(i, k.size()) == k) {
        token = k;
        break;
      }
    if (token.empty()) {
      out.push_back(s[i++]);
      continue;
    }
    i += token.size();
    std::string value = expand(token);
    if (out.size() + value.size() + (s.size() - i) <= limits::kText)
      out += value;
    else
      out += token;
  }
  return out;
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
