#include <gtest/gtest.h>

#include "platform/encoding.h"

namespace vm {
namespace {

TEST(Encoding, Utf8Validity) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("plain ascii, long enough to take the fast path"));
  EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("caf\xE9"));                 // a legacy é
  EXPECT_FALSE(isValidUtf8("http:\x9e\n"));             // stray continuation byte
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));                // overlong "/"
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));            // surrogate
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));        // above U+10FFFF
  EXPECT_FALSE(isValidUtf8("abcdefgh\xE2\x82"));        // cut at the end
  EXPECT_EQ(detectEncoding("caf\xE9"), TextEncoding::Windows1252);
  EXPECT_EQ(detectEncoding("caf\xC3\xA9"), TextEncoding::Utf8);
}

TEST(Encoding, EveryLegacyByteComesBackUnchanged) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string utf8 = cp1252ToUtf8(all);
  EXPECT_TRUE(isValidUtf8(utf8));
  auto back = utf8ToCp1252(utf8);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, all);
  // Known mappings: é, the euro sign, an undefined value kept as its C1 control.
  EXPECT_EQ(cp1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(cp1252ToUtf8("\x81"), "\xC2\x81");
}

TEST(Encoding, SavingFallsBackToUtf8OnlyWhenNeeded) {
  bool fell = true;
  EXPECT_EQ(encodeText("caf\xC3\xA9 \xE2\x82\xAC", TextEncoding::Windows1252, &fell), "caf\xE9 \x80");
  EXPECT_FALSE(fell);
  // A character 1252 cannot hold: the whole text goes out as UTF-8.
  std::string snowman = "caf\xC3\xA9 \xE2\x98\x83";
  EXPECT_EQ(encodeText(snowman, TextEncoding::Windows1252, &fell), snowman);
  EXPECT_TRUE(fell);
  EXPECT_EQ(encodeText(snowman, TextEncoding::Utf8, &fell), snowman);
  EXPECT_FALSE(fell);
  EXPECT_FALSE(utf8ToCp1252("\xFF"));
}

}  // namespace
}  // namespace vm
