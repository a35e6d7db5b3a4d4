// The date formatter: any template and any time parts give at most 259
// bytes, never bytes the template and the values could not have put there;
// a template of tokens between plain separators gives exactly each token's
// value (whole tokens, never half of one), or the token as typed when the
// value would not fit.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "notes/date_template.h"
#include "platform/limits.h"
#include "platform/text.h"

using namespace vm;

namespace {

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDays = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 22> kTokenList = {"yyyy", "yy", "MMMM", "MMM", "MM", "M", "dddd", "ddd",
                                                    "dd",   "d",  "HH",   "H",   "hh", "h", "mm",   "m",
                                                    "ss",   "s",  "tt",   "t",   "",   ""};

std::string two(int v) { return format("%02d", v); }

// What each token stands for at a valid time t.
std::string valueOf(std::string_view tok, const LocalTime& t) {
  const int h12 = t.hour <= 12 ? t.hour : t.hour - 12;
  const bool am = t.hour < 12;
  const std::string year = std::to_string(t.year);
  if (tok == "yyyy") return year;
  if (tok == "yy") return year.substr(2, 2);
  if (tok == "MMMM") return kMonths[t.month - 1];
  if (tok == "MMM") return std::string(kMonths[t.month - 1]).substr(0, 3);
  if (tok == "MM") return two(t.month);
  if (tok == "M") return std::to_string(t.month);
  if (tok == "dddd") return kDays[t.weekday];
  if (tok == "ddd") return std::string(kDays[t.weekday]).substr(0, 3);
  if (tok == "dd") return two(t.day);
  if (tok == "d") return std::to_string(t.day);
  if (tok == "HH") return two(t.hour);
  if (tok == "H") return std::to_string(t.hour);
  if (tok == "hh") return two(h12);
  if (tok == "h") return std::to_string(h12);
  if (tok == "mm") return two(t.minute);
  if (tok == "m") return std::to_string(t.minute);
  if (tok == "ss") return two(t.second);
  if (tok == "s") return std::to_string(t.second);
  if (tok == "tt") return am ? "AM" : "PM";
  if (tok == "t") return am ? "A" : "P";
  return std::string(tok);
}

bool isTokenLetter(char c) { return std::string_view("yMdHhmst").find(c) != std::string_view::npos; }

std::string show(std::string_view s) {
  std::string o;
  for (unsigned char c : s) o += (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : format("\\x%02x", c);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  FuzzedDataProvider in(data, size);
  // Any time parts at all: the formatter must not trust them.
  LocalTime wild;
  wild.year = in.ConsumeIntegral<int>();
  wild.month = in.ConsumeIntegral<int>();
  wild.day = in.ConsumeIntegral<int>();
  wild.hour = in.ConsumeIntegral<int>();
  wild.minute = in.ConsumeIntegral<int>();
  wild.second = in.ConsumeIntegral<int>();
  wild.weekday = in.ConsumeIntegral<int>();
  // A valid time.
  LocalTime t;
  t.year = in.ConsumeIntegralInRange(1000, 9999);
  t.month = in.ConsumeIntegralInRange(1, 12);
  t.day = in.ConsumeIntegralInRange(1, 31);
  t.hour = in.ConsumeIntegralInRange(0, 23);
  t.minute = in.ConsumeIntegralInRange(0, 59);
  t.second = in.ConsumeIntegralInRange(0, 59);
  t.weekday = in.ConsumeIntegralInRange(0, 6);

  // Tokens between separators that hold no token letter. Each token gives
  // its value, or stays as typed when its value would not fit; nothing else.
  struct Piece {
    std::string sep, token, value;
  };
  std::vector<Piece> pieces;
  std::string tmpl, expected;
  std::size_t roomiest = 0;  // the text if every token took its longer form
  const int count = in.ConsumeIntegralInRange(0, 40);
  for (int i = 0; i < count; ++i) {
    std::string sep = in.ConsumeRandomLengthString(6);
    std::erase_if(sep, isTokenLetter);
    if (sep.empty()) sep = "-";
    const std::string tok = kTokenList[in.ConsumeIntegralInRange<std::size_t>(0, kTokenList.size() - 1)];
    Piece p{sep, tok, valueOf(tok, t)};
    tmpl += sep + tok;
    expected += sep + p.value;
    roomiest += sep.size() + std::max(tok.size(), p.value.size());
    pieces.push_back(std::move(p));
  }
  if (tmpl.size() <= limits::kText) {
    const std::string got = formatDate(tmpl, t);
    if (roomiest <= limits::kText)
      FUZZ_CHECK(got == expected, "template " + show(tmpl) + " gave " + show(got) + " not " + show(expected));
    // Whole tokens only: the output reads as the pieces, each token either
    // replaced by its value or kept as typed.
    std::set<std::size_t> at{0};
    for (const Piece& p : pieces) {
      std::set<std::size_t> next;
      for (std::size_t pos : at) {
        if (got.compare(pos, p.sep.size(), p.sep) != 0) continue;
        const std::size_t after = pos + p.sep.size();
        for (const std::string& form : {p.value, p.token})
          if (got.compare(after, form.size(), form) == 0) next.insert(after + form.size());
      }
      at = std::move(next);
    }
    FUZZ_CHECK(at.count(got.size()), "template " + show(tmpl) + " gave " + show(got) + ", not whole tokens");
  }

  const std::string raw = in.ConsumeRemainingBytesAsString();
  for (const LocalTime& when : {t, wild}) {
    const std::string out = formatDate(raw, when);
    FUZZ_CHECK(out.size() <= limits::kText, format("%zu bytes", out.size()));
    FUZZ_CHECK(formatDate(raw, when) == out, "not the same twice");
    // No control byte the template did not hold: the values are digits,
    // names and signs.
    for (unsigned char c : out)
      FUZZ_CHECK(c >= 0x20 || raw.find(static_cast<char>(c)) != std::string::npos,
                 format("byte 0x%02x leaked into ", c) + show(out));
    // A template without token letters comes back as it is (cut at 259).
    if (std::none_of(raw.begin(), raw.end(), isTokenLetter))
      FUZZ_CHECK(out == cutUtf8(raw, limits::kText), "plain text changed: " + show(out));
  }
  for (DateTarget target : {DateTarget::Multibar, DateTarget::Note, DateTarget::SpreadsheetCell}) {
    const std::string out = pasteDateText(target, raw, (size & 1) != 0, wild);
    FUZZ_CHECK(out.size() <= limits::kText, format("paste text of %zu bytes", out.size()));
  }
  return 0;
}
