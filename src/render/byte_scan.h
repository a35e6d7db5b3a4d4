#pragma once
// Finding the few bytes of a line that markup can start at: a set of byte
// values, looked for 16 bytes at a time where the processor has SSE2 (a text
// of 16 bytes or more ends on its last 16, overlapping the block before),
// else a byte at a time through a table. The render passes call this once per line
// instead of testing every byte in each of their loops.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vm {

template <char... Bytes>
struct ByteSet {
  static constexpr std::array<bool, 256> kMember = [] {
    std::array<bool, 256> member{};
    ((member[static_cast<unsigned char>(Bytes)] = true), ...);
    return member;
  }();

  static bool contains(char c) { return kMember[static_cast<unsigned char>(c)]; }

  // Calls found(i) for every i where s[i] is in the set, in order.
  template <typename Found>
  static void forEach(std::string_view s, Found&& found) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (s.size() >= 16) {
      for (; i + 16 <= s.size(); i += 16)
        for (unsigned mask = hits(s.data() + i); mask != 0; mask &= mask - 1)
          found(i + static_cast<std::size_t>(__builtin_ctz(mask)));
      if (i < s.size()) {
        // The rest: the last 16 bytes, less those seen already.
        const std::size_t from = s.size() - 16;
        for (unsigned mask = hits(s.data() + from) & (0xFFFFu << (i - from)); mask != 0; mask &= mask - 1)
          found(from + static_cast<std::size_t>(__builtin_ctz(mask)));
      }
      return;
    }
#endif
    for (; i < s.size(); ++i)
      if (kMember[static_cast<unsigned char>(s[i])]) found(i);
  }

  // Whether s holds a byte of the set: stops at the first block with one.
  static bool any(std::string_view s) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (s.size() >= 16) {
      for (; i + 16 <= s.size(); i += 16)
        if (hits(s.data() + i) != 0) return true;
      return i < s.size() && hits(s.data() + s.size() - 16) != 0;
    }
#endif
    for (; i < s.size(); ++i)
      if (kMember[static_cast<unsigned char>(s[i])]) return true;
    return false;
  }

 private:
#if defined(__SSE2__)
  // Bit k set where p[k] is in the set, for the 16 bytes at p.
  static unsigned hits(const char* p) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(
        _mm_movemask_epi8((_mm_setzero_si128() | ... | _mm_cmpeq_epi8(block, _mm_set1_epi8(Bytes)))));
  }
#endif
};

// How often c occurs in s. With SSE2 16 bytes at a time: a match is -1 in
// its lane, and subtracting it counts one (255 blocks at most a round, so a
// lane cannot overflow).
inline std::size_t countByte(std::string_view s, char c) {
  std::size_t n = 0, i = 0;
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi8(c);
  while (s.size() - i >= 16) {
    __m128i lanes = _mm_setzero_si128();
    const std::size_t end = i + std::min<std::size_t>((s.size() - i) / 16, 255) * 16;
    for (; i < end; i += 16)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i)), needle));
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < s.size(); ++i) n += s[i] == c;
  return n;
}

}  // namespace vm
