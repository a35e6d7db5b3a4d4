#pragma once
// The generated spreadsheet the benchmarks open: 100,000 rows of 10 columns,
// about 10 MB (or as many rows as asked for), the same bytes on every run.
#include <cstdio>
#include <string>

namespace vmbench {

inline constexpr int kSheetRows = 100000;

// Writes the test file row by row: ids, names, e-mail addresses, dates,
// amounts, cities, a status that is sometimes empty, comments of which every
// fourth is quoted with delimiters and doubled quotes inside, codes, and
// notes of which every third is long. False when the file cannot be written.
inline bool writeSheetFile(const std::string& path, int rows = kSheetRows) {
  static const char* first[] = {"Anna", "Ben", "Clara", "David", "Eva", "Felix", "Greta", "Hugo", "Ida", "Jonas"};
  static const char* last[] = {"Meyer", "Schmidt", "Fischer", "Weber", "Wagner", "Becker", "Hoffmann", "Koch"};
  static const char* city[] = {"Berlin", "Hamburg", "Munich", "Cologne", "Frankfurt",
                               "Stuttgart", "Leipzig", "Dresden", "Bremen", "Hanover"};
  static const char* status[] = {"open", "closed", "pending", "", "review"};
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fputs("id,name,email,date,amount,city,status,comment,code,notes\n", f);
  unsigned seed = 2024;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int i = 0; i < rows; ++i) {
    const char* fn = first[next() % 10];
    const char* ln = last[next() % 8];
    std::fprintf(f, "%d,%s %s,%s.%s@mail.de,2023-%02u-%02u,%u.%02u,%s,%s,", i + 1, fn, ln, fn, ln,
                 1 + next() % 12, 1 + next() % 28, next() % 100000, next() % 100,
                 city[next() % 10], status[next() % 5]);
    if (i % 4 == 0)
      std::fprintf(f, "\"Call back, then \"\"confirm\"\" order %u\",", next() % 1000);
    else
      std::fprintf(f, "note %u,", next() % 1000);
    std::fprintf(f, "X-%06u,", next() % 1000000);
    if (i % 3 == 0)
      std::fprintf(f, "Side door; invoice copy %u\n", next() % 100);
    else
      std::fprintf(f, "ok %u\n", next() % 10);
  }
  const bool written = std::ferror(f) == 0;
  return std::fclose(f) == 0 && written;
}

}  // namespace vmbench
