#include "platform/text.h"

#include <utf8proc.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace vm {

namespace {

// Decodes one code point at s[i]; returns its length, or -1 for an invalid sequence.
int decode(std::string_view s, std::size_t i, utf8proc_int32_t& cp) {
  auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                            static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
  return n > 0 ? static_cast<int>(n) : -1;
}

utf8proc_int32_t foldOne(utf8proc_int32_t cp) {
  if (cp < 128) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  // Simple folding: lower-case mapping, which is what simple case folding
  // gives for every letter outside a handful of special cases.
  return utf8proc_tolower(cp);
}

}  // namespace

std::string foldCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 128) {
      out.push_back(static_cast<char>(std::tolower(c)));
      ++i;
      continue;
    }
    utf8proc_int32_t cp;
    int n = decode(s, i, cp);
    if (n < 0) {
      out.push_back(s[i]);
      ++i;
      continue;
    }
    utf8proc_uint8_t buf[4];
    auto len = utf8proc_encode_char(foldOne(cp), buf);
    out.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(len));
    i += static_cast<std::size_t>(n);
  }
  return out;
}

int compareNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[j]);
    utf8proc_int32_t pa, pb;
    int na = 1, nb = 1;
    if (ca < 128) {
      pa = std::tolower(ca);
    } else if ((na = decode(a, i, pa)) < 0) {
      na = 1;
      pa = 0x110000 + ca;  // invalid bytes sort after every code point
    } else {
      pa = foldOne(pa);
    }
    if (cb < 128) {
      pb = std::tolower(cb);
    } else if ((nb = decode(b, j, pb)) < 0) {
      nb = 1;
      pb = 0x110000 + cb;
    } else {
      pb = foldOne(pb);
    }
    if (pa != pb) return pa < pb ? -1 : 1;
    i += static_cast<std::size_t>(na);
    j += static_cast<std::size_t>(nb);
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool equalsNoCase(std::string_view a, std::string_view b) { return compareNoCase(a, b) == 0; }

namespace {

std::size_t codePoints(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

// Simple case folding maps one code point to one code point, so a prefix or
// suffix of n code points can only match the first or last n code points.
bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  std::size_t want = codePoints(prefix), i = 0, seen = 0;
  while (i < s.size() && seen < want) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    ++seen;
  }
  return seen == want && compareNoCase(s.substr(0, i), prefix) == 0;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  std::size_t want = codePoints(suffix), i = s.size(), seen = 0;
  while (i > 0 && seen < want) {
    --i;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    ++seen;
  }
  return seen == want && compareNoCase(s.substr(i), suffix) == 0;
}

std::size_t findNoCase(std::string_view hay, std::string_view needle) {
  // Positions refer to the folded text; for the ASCII-dominated texts this is
  // used on (paths, variables) folding keeps lengths.
  return foldCase(hay).find(foldCase(needle));
}

std::string cutUtf8(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return std::string(s);
  std::size_t end = maxBytes;
  // Step back over continuation bytes so a sequence is not split.
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return std::string(s.substr(0, end));
}

long leadingNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' ||
                          s[i] == '\f'))
    ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v > 100000000000L) break;  // large enough; keeps the arithmetic defined
    v = v * 10 + (s[i] - '0');
  }
  return neg ? -v : v;
}

std::string displayUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 128) {
      out.push_back(s[i++]);
      continue;
    }
    utf8proc_int32_t cp;
    int n = decode(s, i, cp);
    if (n < 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, static_cast<std::size_t>(n)));
      i += static_cast<std::size_t>(n);
    }
  }
  return out;
}

// Byte by byte, ASCII letters folded: every prefix is ASCII, so whatever
// follows it (a stray continuation byte, a half sequence) cannot change the
// answer, and a scan that found "http:" or "https:" in the bytes always
// agrees that the text starting there is a web address.
bool startsWithWebPrefix(std::string_view s) {
  static constexpr std::string_view kPrefixes[] = {"http:", "ftp:", "https:", "mailto:", "www.", "???"};
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (auto p : kPrefixes) {
    if (s.size() < p.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < p.size() && same; ++i) same = lower(s[i]) == p[i];
    if (same) return true;
  }
  return false;
}

std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap2);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(ap2);
  return out;
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    auto p = s.find(sep, start);
    if (p == std::string_view::npos) {
      out.emplace_back(s.substr(start));
      return out;
    }
    out.emplace_back(s.substr(start, p - start));
    start = p + 1;
  }
}

std::size_t countChars(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace vm
