// The byte finder the render passes use per line: the 16-byte blocks and the
// byte-at-a-time tail must together report every member byte once, in order,
// at any length and alignment, for every byte value (high bytes included).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/byte_scan.h"

namespace {

using Brackets = vm::ByteSet<'[', ']', '\\', '\x1A', '\xff', '\0'>;

std::vector<std::size_t> found(std::string_view s) {
  std::vector<std::size_t> at;
  Brackets::forEach(s, [&](std::size_t i) { at.push_back(i); });
  return at;
}

std::vector<std::size_t> expected(std::string_view s) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '[' || c == ']' || c == '\\' || c == '\x1A' || c == '\xff' || c == '\0') at.push_back(i);
  }
  return at;
}

TEST(ByteSet, FindsEveryMemberInOrderAtAnyLengthAndOffset) {
  unsigned seed = 7;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  std::string buffer(200, 'x');
  for (int round = 0; round < 2000; ++round) {
    for (char& c : buffer) c = next() % 4 == 0 ? static_cast<char>(next() % 256) : 'a';
    const std::size_t from = next() % 17, length = next() % 150;
    const std::string_view s = std::string_view(buffer).substr(from, length);
    ASSERT_EQ(found(s), expected(s)) << "round " << round << ", " << length << " bytes from " << from;
    ASSERT_EQ(Brackets::any(s), !expected(s).empty()) << "round " << round << ", " << length << " bytes from " << from;
  }
}

TEST(ByteSet, EveryByteValueIsTestedRightInBlockAndTail) {
  // Each value at each place of a 16-byte block and in the tail after it.
  for (int value = 0; value < 256; ++value) {
    for (std::size_t at = 0; at < 20; ++at) {
      std::string s(20, 'a');
      s[at] = static_cast<char>(value);
      ASSERT_EQ(found(s), expected(s)) << "byte " << value << " at " << at;
      ASSERT_EQ(Brackets::any(s), !expected(s).empty()) << "byte " << value << " at " << at;
    }
  }
  EXPECT_TRUE(Brackets::contains('['));
  EXPECT_TRUE(Brackets::contains('\0'));
  EXPECT_FALSE(Brackets::contains('a'));
  EXPECT_TRUE(found("").empty());
  EXPECT_FALSE(Brackets::any(""));
}

TEST(CountByte, EveryLengthAndAlignmentAndTheLaneLimit) {
  unsigned seed = 3;
  std::string buffer(300, 'x');
  for (int round = 0; round < 500; ++round) {
    for (char& c : buffer) {
      seed = seed * 1103515245u + 12345u;
      c = (seed >> 16) % 3 == 0 ? '[' : static_cast<char>((seed >> 8) & 0xff);
    }
    const std::string_view s = std::string_view(buffer).substr(round % 17, round % 280);
    EXPECT_EQ(vm::countByte(s, '['), static_cast<std::size_t>(std::count(s.begin(), s.end(), '['))) << round;
  }
  // More than 255 blocks of matches: the lanes are summed before they wrap.
  EXPECT_EQ(vm::countByte(std::string(16 * 600 + 7, '['), '['), 16u * 600 + 7);
  EXPECT_EQ(vm::countByte(std::string(5000, '\xff'), '\xff'), 5000u);
  EXPECT_EQ(vm::countByte("", '['), 0u);
}

}  // namespace
