#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "notes/date_template.h"

namespace {

using vm::DateTarget;
using vm::formatDate;
using vm::LocalTime;
using vm::pasteDateText;

LocalTime at(int y, int mo, int d, int h, int mi, int s = 0, int weekday = 0) {
  LocalTime t;
  std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.weekday) = std::tie(y, mo, d, h, mi, s, weekday);
  return t;
}

TEST(FormatDate, EveryTokenAndPadding) {
  const LocalTime wed = at(2025, 3, 5, 9, 7, 8, 3);
  EXPECT_EQ(formatDate("yyyy|yy|MMMM|MMM|MM|M|dddd|ddd|dd|d|HH|H|hh|h|mm|m|ss|s|tt|t", wed),
            "2025|25|March|Mar|03|3|Wednesday|Wed|05|5|09|9|09|9|07|7|08|8|AM|A");
  EXPECT_EQ(formatDate("yyyy-MM-dd", at(2026, 12, 4, 7, 14, 0, 5)), "2026-12-04");
  EXPECT_EQ(formatDate("dddd, d MMMM yyyy", at(2026, 12, 4, 7, 14, 0, 5)), "Friday, 4 December 2026");
  // Every occurrence; case matters; a lone "y" is no token.
  EXPECT_EQ(formatDate("d-d-dd y D Y S T", wed), "5-5-05 y D Y S T");
  // A broken time stamp gives empty names, never a crash.
  EXPECT_EQ(formatDate("[MMMM|MMM|dddd|ddd]", at(2025, 13, 1, 0, 0, 0, 9)), "[|||]");
  EXPECT_EQ(formatDate("[MMM|ddd]", at(99, 0, 1, 0, 0, 0, -1)), "[|]");
  // The extremes of int: no overflow on the way to the name tables.
  const int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  EXPECT_EQ(formatDate("[MMMM|MMM|dddd|ddd|hh]", at(lo, lo, lo, lo, lo, lo, lo)), "[||||-2147483648]");
  EXPECT_EQ(formatDate("[MMMM|MMM|dddd|ddd|h]", at(hi, hi, hi, hi, hi, hi, hi)), "[||||2147483635]");
}

TEST(FormatDate, TwelveHourClock) {
  // The midnight hour stays 0.
  for (auto [hour, want] : {std::pair{16, "04 4 PM 1604 P"}, {0, "00 0 AM 0000 A"}, {11, "11 11 AM 1111 A"},
                            {12, "12 12 PM 1212 P"}, {13, "01 1 PM 1301 P"}, {21, "09 9 PM 2109 P"}})
    EXPECT_EQ(formatDate("hh h tt HHhh t", at(2026, 1, 1, hour, 5)), want) << hour;
}

TEST(FormatDate, OverlappingTokensAndWords) {
  const LocalTime wed = at(2025, 3, 5, 9, 7, 8, 3);
  EXPECT_EQ(formatDate("MMMMM", wed), "March3");
  EXPECT_EQ(formatDate("ddddd", wed), "Wednesday5");
  EXPECT_EQ(formatDate("yyyyy yyy", wed), "2025y 25y");
  // Names are safe from later tokens; ordinary words are not.
  EXPECT_EQ(formatDate("MMMM dddd", at(2025, 3, 3, 9, 0, 0, 1)), "March Monday");
  EXPECT_EQ(formatDate("Date d", wed), "DaAe 5");
  EXPECT_EQ(formatDate("status Monday", wed), "8AaAu8 3on5ay");
  // Neighbouring tokens stay apart.
  const LocalTime sepPm = at(2026, 9, 4, 16, 0, 0, 5);
  EXPECT_EQ(formatDate("tttt", sepPm), "PMPM");
  EXPECT_EQ(formatDate("MMMtt", sepPm), "SepPM");
  EXPECT_EQ(formatDate("MMMMtt ddddt", sepPm), "SeptemberPM FridayP");
  EXPECT_EQ(formatDate("MMMMMMM", sepPm), "SeptemberSep");
  // What a token puts in is never read again ("March" keeps its "M", "Tuesday" its "d", "s" and "a").
  EXPECT_EQ(formatDate("MMMM dddd", at(2025, 3, 4, 9, 0, 0, 2)), "March Tuesday");
  // Characters of the template are only text.
  EXPECT_EQ(formatDate("^^^^ $$$ ^^ $$$$", wed), "^^^^ $$$ ^^ $$$$");
}

TEST(FormatDate, LengthCap) {
  const LocalTime sep = at(2025, 9, 5, 9, 7, 8, 5);
  EXPECT_EQ(formatDate(std::string(300, 'x'), sep), std::string(259, 'x'));
  // The cut never splits a UTF-8 sequence.
  EXPECT_EQ(formatDate(std::string(258, 'x') + "\xc3\xa9", sep), std::string(258, 'x'));
  // A growing replacement is made only while the text stays within 259 bytes.
  EXPECT_EQ(formatDate(std::string(250, 'x') + "MMMM", sep), std::string(250, 'x') + "September");
  // "September" does not fit: the token stays whole, never half replaced.
  EXPECT_EQ(formatDate(std::string(251, 'x') + "MMMM", sep), std::string(251, 'x') + "MMMM");
  EXPECT_EQ(formatDate(std::string(251, 'x') + "MMMMtt", at(2025, 9, 5, 16, 0)), std::string(251, 'x') + "MMMMPM");
  EXPECT_EQ(formatDate(std::string(254, 'x') + "dddd", sep), std::string(254, 'x') + "dddd");
  // Occurrence by occurrence, left to right.
  const LocalTime dec = at(2025, 12, 5, 9, 7, 8, 5);
  EXPECT_EQ(formatDate(std::string(255, 'x') + "M M", dec), std::string(255, 'x') + "12 M");
  EXPECT_EQ(formatDate(std::string(256, 'x') + "MMM", dec), std::string(256, 'x') + "Dec");
}

TEST(PasteDateText, FixedFormatsAndTemplates) {
  const LocalTime t = at(2026, 12, 4, 7, 14, 0, 5);
  EXPECT_EQ(pasteDateText(DateTarget::Multibar, "", false, t), "2026Dec04");
  EXPECT_EQ(pasteDateText(DateTarget::Multibar, "", true, t), "2026Dec04.0714");
  EXPECT_EQ(pasteDateText(DateTarget::SpreadsheetCell, "", false, t), "2026 12 04");
  EXPECT_EQ(pasteDateText(DateTarget::SpreadsheetCell, "", true, t), "2026 Dec 04 07:14");
  EXPECT_EQ(pasteDateText(DateTarget::Note, "", false, t), "7:14 AM 12/4/2026 ");
  EXPECT_EQ(pasteDateText(DateTarget::Note, "", true, t), "7:14 AM 12/4/2026 ");
  // The note's clock shows midnight as 12, noon as 12 PM.
  EXPECT_EQ(pasteDateText(DateTarget::Note, "", false, at(2027, 3, 1, 0, 5, 0, 1)), "12:05 AM 3/1/2027 ");
  EXPECT_EQ(pasteDateText(DateTarget::Note, "", false, at(2027, 3, 1, 12, 0)), "12:00 PM 3/1/2027 ");
  // A configured template wins, whatever the time flag says.
  EXPECT_EQ(pasteDateText(DateTarget::Note, "dd.MM.yyyy", false, t), "04.12.2026");
  EXPECT_EQ(pasteDateText(DateTarget::Multibar, "HH:mm", false, t), "07:14");
}

}  // namespace
