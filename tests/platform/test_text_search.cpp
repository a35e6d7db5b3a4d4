#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "platform/text_search.h"

namespace vm {
namespace {

using test::TempDir;

std::optional<TextHit> find(std::string_view text, std::string_view term, std::size_t from = 0) {
  return TextMatcher(term).find(text, from);
}

TEST(TextMatcher, AsciiIgnoresCaseAndGivesByteOffsets) {
  EXPECT_EQ(find("Hello World", "WORLD"), (TextHit{6, 5}));
  EXPECT_EQ(find("Hello World", "o w"), (TextHit{4, 3}));
  EXPECT_EQ(find("aaa", "AA", 1), (TextHit{1, 2}));
  EXPECT_EQ(find("abcabc", "abc", 1), (TextHit{3, 3}));
  EXPECT_FALSE(find("Hello", "hellos"));
  EXPECT_FALSE(find("Hello", ""));
  EXPECT_FALSE(find("Hello", "h", 5));
  // Letters fold, the bytes next to them in the table do not: '@' is not '`'.
  EXPECT_FALSE(find("x@y", "x`y"));
  EXPECT_FALSE(find("[x]", "{X}"));
  // UTF-8 around an ASCII occurrence keeps its offsets.
  EXPECT_EQ(find("Äpfel und Birnen", "BIRNEN"), (TextHit{11, 6}));
}

TEST(TextMatcher, SimpleCaseFoldingOfOtherScripts) {
  // Sharp s has no simple folding to "ss": STRASSE is another word.
  EXPECT_FALSE(find("STRASSE", "straße"));
  EXPECT_FALSE(find("straße", "STRASSE"));
  // Capital sharp s (3 bytes) folds to ß (2 bytes): the hit covers the text's bytes.
  EXPECT_EQ(find("Die STRAẞE", "straße"), (TextHit{4, 8}));
  EXPECT_EQ(find("Die straße", "STRAẞE"), (TextHit{4, 7}));
  EXPECT_EQ(find("Ölfarbe", "ÖL"), (TextHit{0, 3}));
  // Final and medial sigma are one letter.
  EXPECT_EQ(find("ΟΔΟΣ", "οδος"), (TextHit{0, 8}));
  EXPECT_TRUE(find("οδοσ", "ΟΔΟς"));
  // Kelvin sign and long s fold into ASCII letters.
  EXPECT_EQ(find("20 \xE2\x84\xAA here", "k"), (TextHit{3, 3}));
  EXPECT_EQ(find("Mi\xC5\xBF\xC5\xBFion", "MISSION"), (TextHit{0, 9}));
  // Dotted capital I and dotless i have no simple folding.
  EXPECT_FALSE(find("İstanbul", "istanbul"));
  EXPECT_FALSE(find("ıı", "I"));
  EXPECT_EQ(find("ıiı", "I"), (TextHit{2, 1}));
}

// The ASCII path relies on this: outside ASCII only the Kelvin sign and the
// long s fold into ASCII.
TEST(TextMatcher, OnlyKelvinAndLongSFoldIntoAscii) {
  std::vector<char32_t> into;
  for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (foldCodePoint(cp) < 0x80) into.push_back(cp);
  }
  EXPECT_EQ(into, (std::vector<char32_t>{0x17F, 0x212A}));
}

TEST(TextMatcher, InvalidBytesMatchOnlyThemselves) {
  const std::string text = "caf\xE9 \xFF\xFE Caf\xC3\xA9";
  EXPECT_EQ(find(text, "café"), (TextHit{8, 5}));
  EXPECT_EQ(find(text, "CAF"), (TextHit{0, 3}));
  EXPECT_EQ(find(text, "\xFF\xFE"), (TextHit{5, 2}));
  EXPECT_FALSE(find("\xC3", "\xC3\xA9"));
  EXPECT_FALSE(find("ab\xE2\x84", "k"));  // a cut Kelvin sign is no letter
}

// Reference: fold both texts to code points, compare at every start.
std::optional<TextHit> referenceFind(const std::string& text, const std::string& term) {
  struct Cp {
    char32_t c;
    std::size_t at, len;
  };
  auto decode = [](const std::string& s) {
    std::vector<Cp> out;
    for (std::size_t i = 0; i < s.size();) {
      utf8proc_int32_t cp;
      auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                                static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
      if (n <= 0) {
        out.push_back({0x110000u + static_cast<unsigned char>(s[i]), i, 1});
        ++i;
      } else {
        out.push_back({foldCodePoint(static_cast<char32_t>(cp)), i, static_cast<std::size_t>(n)});
        i += static_cast<std::size_t>(n);
      }
    }
    return out;
  };
  const auto t = decode(text), p = decode(term);
  if (p.empty()) return std::nullopt;
  auto it = std::search(t.begin(), t.end(), p.begin(), p.end(), [](const Cp& a, const Cp& b) { return a.c == b.c; });
  if (it == t.end()) return std::nullopt;
  const Cp& lastCp = *(it + static_cast<std::ptrdiff_t>(p.size()) - 1);
  return TextHit{it->at, lastCp.at + lastCp.len - it->at};
}

TEST(TextMatcher, AgreesWithAReferenceOnRandomTexts) {
  const std::vector<std::string> pieces = {"a", "A", "b", "k", "K", "s", "S", " ", "ß", "ẞ", "\xE2\x84\xAA", "\xC5\xBF",
                                           "σ", "ς", "Σ", "ä", "Ä", "\xFF", "\xC3", "é", "İ", "i"};
  std::mt19937 rng(7);
  for (int round = 0; round < 4000; ++round) {
    // Half the terms are ASCII only, to run the fast path (blocks of 16
    // starting positions) with wide letters in the text.
    const std::size_t pool = round % 2 ? 8 : pieces.size();
    std::string text, term;
    const int m = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < m; ++i) term += pieces[rng() % pool];
    const int n = static_cast<int>(rng() % 100);
    for (int i = 0; i < n; ++i) {
      // Now and then the term itself, in its own case or upper case.
      if (rng() % 40 == 0) {
        std::string t = term;
        if (rng() % 2)
          for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        text += t;
      }
      text += pieces[rng() % pieces.size()];
    }
    EXPECT_EQ(find(text, term), referenceFind(text, term)) << "text '" << text << "' term '" << term << "'";
  }
}

// ---------------------------------------------------------------- files

struct ScanFolder {
  TempDir dir;
  std::string path(const std::string& name) const { return (dir.path() / name).string(); }
};

TEST(FileScanner, FindsOccurrencesAcrossEverySeam) {
  ScanFolder f;
  FileScanner small(64);
  for (const std::string term : {"needle", "Äpfelstraße", "\xE2\x84\xAA" "elvin"}) {
    for (std::size_t at = 40; at < 140; ++at) {
      std::string body(at, 'x');
      // Multi-byte characters before the hit move the seam inside them too.
      for (std::size_t i = 0; i + 1 < at; i += 7) body.replace(i, 2, "ö");
      body.resize(at, 'x');
      const std::string content = body + term + std::string(50, 'y');
      auto p = f.dir.write("seam.txt", content);
      std::string search = term == "needle" ? "NEEDLE" : term == "Äpfelstraße" ? "äPFELSTRAẞE" : "KELVIN";
      EXPECT_TRUE(small.contains(p, TextMatcher(search))) << term << " at " << at;
    }
  }
  auto p = f.dir.write("none.txt", std::string(1000, 'n'));
  EXPECT_FALSE(small.contains(p, TextMatcher("nnnm")));
}

TEST(FileScanner, StopsAtTheFirstNulByte) {
  ScanFolder f;
  auto p = f.dir.write("nul.txt", std::string("before the nul\0after the nul", 28));
  EXPECT_TRUE(fileContains(p, "BEFORE"));
  EXPECT_FALSE(fileContains(p, "after"));
  // The same across chunks: the NUL in a later chunk ends the file there.
  FileScanner small(64);
  std::string content(200, 'a');
  content[150] = '\0';
  content.replace(100, 4, "find");
  content.replace(160, 4, "miss");
  p = f.dir.write("nul2.txt", content);
  EXPECT_TRUE(small.contains(p, TextMatcher("FIND")));
  EXPECT_FALSE(small.contains(p, TextMatcher("miss")));
}

TEST(FileScanner, LegacyTextIsReadAsWindows1252) {
  ScanFolder f;
  auto p = f.dir.write("legacy.txt", "Caf\xE9 cr\xE8me \x80 5");
  EXPECT_TRUE(fileContains(p, "CAFÉ"));
  EXPECT_TRUE(fileContains(p, "crème"));
  EXPECT_TRUE(fileContains(p, "€ 5"));
  EXPECT_TRUE(fileContains(p, "caf"));
  EXPECT_FALSE(fileContains(p, "cafe"));
  // Valid UTF-8 is not decoded twice.
  p = f.dir.write("utf8.txt", "Caf\xC3\xA9");
  EXPECT_TRUE(fileContains(p, "CAFÉ"));
  EXPECT_FALSE(fileContains(p, "CAFÃ"));
}

TEST(FileScanner, FilesThatCannotBeReadHoldNothing) {
  ScanFolder f;
  EXPECT_FALSE(fileContains(f.path("missing.txt"), "a"));
  std::filesystem::create_symlink(f.path("gone.txt"), f.path("dangling.txt"));
  EXPECT_FALSE(fileContains(f.path("dangling.txt"), "a"));
  f.dir.mkdir("folder.txt");
  EXPECT_FALSE(fileContains(f.path("folder.txt"), "a"));
  // A FIFO without a writer must not hold the search.
  ASSERT_EQ(::mkfifo(f.path("pipe.txt").c_str(), 0600), 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(fileContains(f.path("pipe.txt"), "a"));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(FileScanner, FileWithoutReadPermissionHoldsNothing) {
  ScanFolder f;
  auto p = f.dir.write("locked.txt", "secret");
  ::chmod(p.c_str(), 0);
  if (std::ifstream(p).good()) GTEST_SKIP() << "running with the power to read any file";
  EXPECT_FALSE(fileContains(p, "secret"));
}

TEST(FileScanner, PumpRunsBetweenChunksAndCanStopTheScan) {
  ScanFolder f;
  std::string content(10000, 'z');
  content += "end";
  auto p = f.dir.write("long.txt", content);
  FileScanner small(1000);
  int pumps = 0;
  EXPECT_TRUE(small.contains(p, TextMatcher("END"), [&] { return ++pumps, true; }));
  EXPECT_GE(pumps, 9);
  EXPECT_FALSE(small.stopped());
  pumps = 0;
  EXPECT_FALSE(small.contains(p, TextMatcher("END"), [&] { return ++pumps < 3; }));
  EXPECT_TRUE(small.stopped());
  EXPECT_EQ(pumps, 3);
}

// 200 MB are streamed through the default 1 MB chunks without being held
// whole. Runs only with VELLUMARK_LARGE_TESTS=1 (ctest -L large).
TEST(FileScannerLarge, TwoHundredMegabytesStreamInChunks) {
  if (!std::getenv("VELLUMARK_LARGE_TESTS")) GTEST_SKIP() << "set VELLUMARK_LARGE_TESTS=1";
  ScanFolder f;
  const std::string path = f.path("big.log");
  {
    std::ofstream out(path, std::ios::binary);
    std::string line = "2026-01-01 12:00:00 INFO request served in 12 ms from cache node seven\n";
    std::string block;
    while (block.size() < (1u << 20)) block += line;
    for (int i = 0; i < 200; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    out << "FATAL: disk gone\n";
  }
  struct rusage before {};
  ::getrusage(RUSAGE_SELF, &before);
  int pumps = 0;
  FileScanner scanner;
  EXPECT_TRUE(scanner.contains(path, TextMatcher("fatal: DISK"), [&] { return ++pumps, true; }));
  EXPECT_FALSE(scanner.contains(path, TextMatcher("not in the log"), {}));
  struct rusage after {};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_GE(pumps, 190);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 40 * 1024) << "peak memory grew by kB";
}

// ---------------------------------------------------------------- one document

TEST(DocumentFind, WalksTheOccurrencesThenReportsNotFoundOnceAndStartsOver) {
  DocumentFind d;
  const std::string text = "one Two three two";
  EXPECT_EQ(d.find(text, "two", true), (TextHit{4, 3}));
  EXPECT_EQ(d.position(), 7u);
  EXPECT_EQ(d.find(text, "two", false), (TextHit{14, 3}));
  EXPECT_FALSE(d.find(text, "two", false));
  EXPECT_EQ(d.position(), 0u);
  EXPECT_EQ(d.find(text, "two", false), (TextHit{4, 3}));
  // A new search (not Search next) starts from the top.
  EXPECT_EQ(d.find(text, "two", true), (TextHit{4, 3}));
}

TEST(DocumentFind, EmptyTermSearchesTheRememberedOne) {
  DocumentFind d;
  EXPECT_FALSE(d.find("abc", "", true));  // nothing remembered yet
  EXPECT_EQ(d.find("abc abc", "ABC", true), (TextHit{0, 3}));
  EXPECT_EQ(d.find("abc abc", "", false), (TextHit{4, 3}));
  EXPECT_EQ(d.remembered(), "ABC");
  EXPECT_EQ(d.find("xbc", "bc", true), (TextHit{1, 2}));
  EXPECT_EQ(d.remembered(), "bc");
}

TEST(DocumentFind, PositionBeyondAShorterTextStartsOver) {
  DocumentFind d;
  EXPECT_EQ(d.find("a long text with a word at its end", "END", true), (TextHit{31, 3}));
  // Another document was loaded; the position stays and lies past its end.
  EXPECT_FALSE(d.find("end", "end", false));
  EXPECT_EQ(d.find("end", "end", false), (TextHit{0, 3}));
  // restart(): the document was saved and read again.
  d.restart();
  EXPECT_EQ(d.find("end end", "end", false), (TextHit{0, 3}));
}

}  // namespace
}  // namespace vm
