#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "render/wiki.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string around(const std::string& s, std::size_t at) {
  const std::size_t from = at > 40 ? at - 40 : 0;
  std::string shown;
  for (char c : s.substr(from, 80)) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
  return "\"" + shown + "\"";
}

std::string repeated(std::string_view unit, std::size_t times) {
  std::string s;
  for (std::size_t i = 0; i < times; ++i) s += unit;
  return s;
}

// Each NAME.wiki converts to NAME.html; names starting with "nomarks" are
// converted without line-end marks on unchanged lines.
TEST(WikiToHtml, GoldenFiles) {
  const fs::path dir = fs::path(VELLUMARK_TEST_DATA) / "wiki";
  int pairs = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".wiki") continue;
    ++pairs;
    const std::string name = entry.path().stem().string();
    vm::WikiOptions options;
    options.markLineEnds = !name.starts_with("nomarks");
    const std::string got = vm::wikiToHtml(readAll(entry.path()), options);
    fs::path expected = entry.path();
    expected.replace_extension(".html");
    ASSERT_TRUE(fs::exists(expected)) << name;
    const std::string want = readAll(expected);
    if (got == want) continue;
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    const std::size_t at = static_cast<std::size_t>(diff.first - got.begin());
    ADD_FAILURE() << name << ": first difference at byte " << at << "\n   got " << around(got, at)
                  << "\n  want " << around(want, at);
  }
  EXPECT_GE(pairs, 12);
}

TEST(WikiToHtml, PathologicalInputsFinishQuickly) {
  std::mt19937 random(7);
  std::string noise;
  static const char kAlphabet[] = "[[]]|=_ +-<>${}:h\\ttp:\n\r\x00\xff\xc3";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int i = 0; i < (1 << 20); ++i) noise += alphabet[random() % alphabet.size()];
  static const char kBytes[] = "a\0b \xff\xfe =\xc3= [\xe2\x82]\n";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"10000 [", std::string(10000, '[') + "\n"},
      {"1 MB line", repeated("[a b] =c= http://d.e _f_ [[g][h]] |i| ", 30000).substr(0, 1 << 20) + "\n"},
      {"100000 =", std::string(100000, '=')},
      {"50000 = pairs", repeated(" =a=", 25000) + "\n"},
      {"nested brackets", repeated(repeated("[a", 340) + std::string(340, ']') + "\n", 20)},
      {"nested page links", repeated(repeated("[[a", 120) + repeated("][b]]", 120) + "\n", 20)},
      {"random markup", noise},
      {"bad bytes", repeated(bytes, 20000)},
  };
  for (const auto& [name, text] : inputs) {
    const auto start = std::chrono::steady_clock::now();
    const std::string html = vm::wikiToHtml(text);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(ms.count(), 2000) << name;
    EXPECT_FALSE(html.empty()) << name;
    std::cout << "[ time     ] " << name << ": " << ms.count() << " ms, " << html.size() << " bytes out\n";
  }
  // Unchanged lines keep every byte, NUL and invalid UTF-8 included.
  EXPECT_EQ(vm::wikiToHtml(std::string("x\0\xff\n", 4), {false}), std::string("x\0\xff\n", 4));
  EXPECT_EQ(vm::wikiToHtml(std::string(10000, '[')), std::string(10000, '['));
}

}  // namespace
