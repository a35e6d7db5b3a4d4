#include "platform/text_search.h"

#include "platform/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/encoding.h"

namespace vm {

namespace {

constexpr char32_t kInvalidBase = 0x110000;

// Decodes the character at s[i]: its code point and its length in bytes. A
// byte that does not start a valid sequence is one character of its own,
// kInvalidBase + the byte, which only the same byte matches.
inline char32_t decodeAt(std::string_view s, std::size_t i, std::size_t& len) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    len = 1;
    return c;
  }
  // Two and three bytes, the common cases, decoded here.
  if (c >= 0xC2 && c < 0xE0 && i + 1 < s.size()) {
    const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
    if ((c1 & 0xC0) == 0x80) {
      len = 2;
      return (char32_t{c & 0x1Fu} << 6) | (c1 & 0x3Fu);
    }
  } else if (c >= 0xE0 && c < 0xF0 && i + 2 < s.size()) {
    const unsigned char c1 = static_cast<unsigned char>(s[i + 1]), c2 = static_cast<unsigned char>(s[i + 2]);
    if ((c1 & 0xC0) == 0x80 && (c2 & 0xC0) == 0x80) {
      const char32_t cp = (char32_t{c & 0x0Fu} << 12) | (char32_t{c1 & 0x3Fu} << 6) | (c2 & 0x3Fu);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
        len = 3;
        return cp;
      }
    }
  }
  utf8proc_int32_t cp = 0;
  const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                                  static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
  if (n <= 0) {
    len = 1;
    return kInvalidBase + c;
  }
  len = static_cast<std::size_t>(n);
  return static_cast<char32_t>(cp);
}

// Folds of U+0080 to U+07FF (Latin, Greek, Cyrillic, ...), made once.
const std::array<char32_t, 0x800>& twoByteFolds() {
  static const std::array<char32_t, 0x800> table = [] {
    std::array<char32_t, 0x800> t{};
    for (char32_t cp = 0; cp < 0x800; ++cp) t[cp] = foldCodePoint(cp);
    return t;
  }();
  return table;
}

inline char32_t foldAny(char32_t cp) {
  if (cp < 0x800) return twoByteFolds()[cp];
  return cp >= kInvalidBase ? cp : foldCodePoint(cp);
}

inline unsigned char lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// A Kelvin sign (E2 84 AA) or a long s (C5 BF) starts in [a, b) of p[0, n).
bool wideFoldsToAscii(const unsigned char* p, std::size_t a, std::size_t b, std::size_t n) {
  if (b > n) b = n;
  for (std::size_t k = a; k < b; ++k) {
    if (p[k] == 0xE2 && k + 2 < n && p[k + 1] == 0x84 && p[k + 2] == 0xAA) return true;
    if (p[k] == 0xC5 && k + 1 < n && p[k + 1] == 0xBF) return true;
  }
  return false;
}

// Bytes at the end of s[0, len) that start a UTF-8 sequence the text does not
// finish yet (0 when the end is complete or the bytes are not UTF-8 anyway).
std::size_t unfinishedTail(const char* s, std::size_t len) {
  for (std::size_t back = 1; back <= 3 && back <= len; ++back) {
    const unsigned char c = static_cast<unsigned char>(s[len - back]);
    if ((c & 0xC0) == 0x80) continue;  // continuation: look further back
    std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? back : 0;
  }
  return 0;
}

// Index of the first byte of 0x80 or above at or after i (text.size() when none).
std::size_t nextHighByte(std::string_view text, std::size_t i) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i))));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

}  // namespace

char32_t foldCodePoint(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  if (cp == 0x130 || cp == 0x131) return cp;
  // Upper then lower case: the letters with several lower-case forms (final
  // sigma, long s, the Greek symbol variants) meet in one form, as simple
  // case folding has it.
  const auto upper = utf8proc_toupper(static_cast<utf8proc_int32_t>(cp));
  return static_cast<char32_t>(utf8proc_tolower(upper));
}

// ---------------------------------------------------------------- TextMatcher

TextMatcher::TextMatcher(std::string_view term) : term_(term) {
  for (std::size_t i = 0; i < term.size();) {
    std::size_t len = 1;
    const char32_t cp = decodeAt(term, i, len);
    folded_.push_back(foldAny(cp));
    if (cp >= 0x80) ascii_ = false;
    i += len;
  }
  if (ascii_) {
    lowerAscii_.reserve(term.size());
    for (char c : term) lowerAscii_.push_back(static_cast<char>(lowerAscii(static_cast<unsigned char>(c))));
    foldsFromWide_ = lowerAscii_.find_first_of("ks") != std::string::npos;
  }
}

std::optional<TextHit> TextMatcher::find(std::string_view text, std::size_t from) const {
  if (folded_.empty() || from >= text.size()) return std::nullopt;
  return ascii_ ? findAscii(text, from) : findGeneral(text, from);
}

// Bytes of text matched by the term at `at`, or 0.
std::size_t TextMatcher::matchAt(std::string_view text, std::size_t at) const {
  std::size_t i = at;
  for (char32_t want : folded_) {
    if (i >= text.size()) return 0;
    std::size_t len = 1;
    if (foldAny(decodeAt(text, i, len)) != want) return 0;
    i += len;
  }
  return i - at;
}

std::optional<TextHit> TextMatcher::findGeneral(std::string_view text, std::size_t from) const {
  const char32_t first = folded_.front();
  const unsigned char firstByte = first < 0x80 ? static_cast<unsigned char>(first) : 0;
  for (std::size_t i = from; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (firstByte == 0) {
        // The occurrence starts outside ASCII: skip the ASCII run.
        i = nextHighByte(text, i);
        continue;
      }
      // ASCII needs no decoding; most of a text usually is.
      if (lowerAscii(c) == firstByte) {
        if (std::size_t n = matchAt(text, i)) return TextHit{i, n};
      }
      ++i;
      continue;
    }
    std::size_t len = 1;
    if (foldAny(decodeAt(text, i, len)) == first) {
      if (std::size_t n = matchAt(text, i)) return TextHit{i, n};
    }
    i += len;
  }
  return std::nullopt;
}

// ASCII term: compare bytes, letters without regard to case. Blocks of 16
// start positions are filtered on the first and last byte of the term; bytes
// of 0x80 and above never equal an ASCII byte, so UTF-8 and Windows-1252 text
// are searched alike.
std::optional<TextHit> TextMatcher::findAscii(std::string_view text, std::size_t from) const {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  const std::size_t m = lowerAscii_.size();
  if (m > n - from) {
    if (foldsFromWide_ && wideFoldsToAscii(p, from, n, n)) return findGeneral(text, from);
    return std::nullopt;
  }
  const auto* t = reinterpret_cast<const unsigned char*>(lowerAscii_.data());
  auto rest = [&](std::size_t at) {
    for (std::size_t k = 0; k < m; ++k)
      if (lowerAscii(p[at + k]) != t[k]) return false;
    return true;
  };
  std::size_t i = from;
#if defined(__SSE2__)
  auto isLetter = [](unsigned char c) { return c >= 'a' && c <= 'z'; };
  const __m128i first = _mm_set1_epi8(static_cast<char>(t[0]));
  const __m128i last = _mm_set1_epi8(static_cast<char>(t[m - 1]));
  const __m128i firstCase = _mm_set1_epi8(isLetter(t[0]) ? 0x20 : 0);
  const __m128i lastCase = _mm_set1_epi8(isLetter(t[m - 1]) ? 0x20 : 0);
  // For a letter, byte | 0x20 equals its lower case exactly when the byte is
  // that letter in either case.
  while (i + 15 + m <= n) {
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i a = _mm_or_si128(raw, firstCase);
    const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1)), lastCase);
    if (foldsFromWide_ && _mm_movemask_epi8(raw) != 0 && wideFoldsToAscii(p, i, i + 16, n))
      return findGeneral(text, from);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      // No wide character starts before i + 16, so no occurrence through one
      // can start before this one: its ASCII part would overlap it.
      if (rest(at)) return TextHit{at, m};
      mask &= mask - 1;
    }
    i += 16;
  }
#endif
  if (foldsFromWide_ && wideFoldsToAscii(p, i, n, n)) return findGeneral(text, from);
  for (; i + m <= n; ++i)
    if (lowerAscii(p[i]) == t[0] && rest(i)) return TextHit{i, m};
  return std::nullopt;
}

// ---------------------------------------------------------------- FileScanner

FileScanner::FileScanner(std::size_t chunkBytes) : chunk_(chunkBytes < 64 ? 64 : chunkBytes) {}

bool FileScanner::regionContains(std::string_view region, const TextMatcher& term) {
  if (term.ascii() || isValidUtf8(region)) return term.contains(region);
  decoded_ = cp1252ToUtf8(region);
  return term.contains(decoded_);
}

bool FileScanner::contains(const std::filesystem::path& path, const TextMatcher& term, const SearchPump& pump) {
  stopped_ = false;
  if (term.empty()) return false;
  // Non-blocking, so a FIFO cannot hold the open; only regular files are read.
  std::int64_t fileSize = 0;
  const int fd = openRegularFile(path.string(), &fileSize);
  if (fd < 0) return false;
#ifdef POSIX_FADV_SEQUENTIAL
  if (fileSize > static_cast<std::int64_t>(chunk_)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  // Small files are read in one piece with a buffer no bigger than they are.
  const std::size_t want =
      fileSize >= 0 && static_cast<std::size_t>(fileSize) < chunk_ ? static_cast<std::size_t>(fileSize) + 1 : chunk_;
  const std::size_t overlap = term.maxHitBytes();
  std::size_t keep = 0;  // bytes carried over from the previous chunk
  std::uint64_t total = 0;
  bool found = false;
  for (;;) {
    if (buf_.size() < keep + want) buf_.resize(keep + want);
    ssize_t got;
    do got = ::read(fd, buf_.data() + keep, want);
    while (got < 0 && errno == EINTR);
    if (got < 0) break;  // a read error: what was not read holds nothing
    std::size_t len = keep + static_cast<std::size_t>(got);
    total += static_cast<std::uint64_t>(got);
    // The size seen at the open ends the file: no extra read to meet its end.
    bool last = got == 0 || total >= static_cast<std::uint64_t>(fileSize);
    if (got > 0) {
      if (const void* nul = std::memchr(buf_.data() + keep, 0, static_cast<std::size_t>(got))) {
        len = static_cast<std::size_t>(static_cast<const char*>(nul) - buf_.data());
        last = true;
      }
    }
    const std::size_t cut = last ? len : len - unfinishedTail(buf_.data(), len);
    if (regionContains(std::string_view(buf_.data(), cut), term)) {
      found = true;
      break;
    }
    if (last) break;
    // The next chunk starts with the end of this one, so an occurrence across
    // the seam is found; it starts on a character, not inside one.
    std::size_t start = cut > overlap ? cut - overlap : 0;
    for (int k = 0; k < 3 && start < cut && (static_cast<unsigned char>(buf_[start]) & 0xC0) == 0x80; ++k) ++start;
    std::memmove(buf_.data(), buf_.data() + start, len - start);
    keep = len - start;
    if (pump && !pump()) {
      stopped_ = true;
      break;
    }
  }
  ::close(fd);
  return found;
}

bool fileContains(const std::filesystem::path& path, std::string_view term, const SearchPump& pump) {
  FileScanner scanner;
  return scanner.contains(path, TextMatcher(term), pump);
}

// ---------------------------------------------------------------- DocumentFind

std::optional<TextHit> DocumentFind::find(std::string_view text, const std::string& term, bool fromStart) {
  if (fromStart) position_ = 0;
  std::string_view use = term;
  if (term.empty()) {
    use = remembered_;
  } else {
    remembered_ = term;
  }
  std::optional<TextHit> hit;
  if (position_ < text.size()) hit = TextMatcher(use).find(text, position_);
  if (!hit) {
    position_ = 0;
    return std::nullopt;
  }
  position_ = hit->offset + hit->length;
  return hit;
}

}  // namespace vm
