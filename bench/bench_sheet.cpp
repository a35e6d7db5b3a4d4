// The spreadsheet on a generated file of 100,000 rows and 10 columns (about
// 10 MB): parsing bytes in memory, opening the file until the model is ready
// for the view, sorting by a text column, grouping by a column of ten
// values, and saving.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/fs.h"
#include "platform/ports.h"
#include "sheet_data.h"
#include "sheet/csv.h"
#include "sheet/sheet.h"
#include "gap_pump.h"

namespace {

constexpr int kRows = vmbench::kSheetRows;
using vmbench::writeSheetFile;


class SheetFolder {
 public:
  SheetFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-sheet-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) dir_ = tmpl;
    file_ = dir_ + "/big.csv";
    writeSheetFile(file_);
    options_.fileInfoFolder = dir_ + "/file_info";
    options_.makeBackups = false;
  }
  ~SheetFolder() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  const std::string& file() const { return file_; }
  const vm::SheetOptions& options() const { return options_; }

 private:
  std::string dir_, file_;
  vm::SheetOptions options_;
};

SheetFolder& folder() {
  static SheetFolder f;
  return f;
}

// The allocator behaves the same whatever ran before: glibc otherwise moves
// its mmap and trim thresholds as large blocks are freed, so that a
// benchmark running after another one (which freed big blocks) found its
// memory already mapped, and the same benchmark run alone paid for mapping
// and zeroing every page on every iteration (4 to 7 times slower).
const bool kFixedAllocator = [] {
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return true;
}();

// Every benchmark starts the same way, whatever ran before it: the file is
// written (once per run), read once so that it is in the page cache, and the
// benchmark's own operation runs once untimed, so that the allocator holds
// what that operation needs.
const SheetFolder& prepared() {
  SheetFolder& f = folder();
  benchmark::DoNotOptimize(vm::readWholeFile(f.file()).value_or("").size());
  return f;
}

void BM_SheetParse(benchmark::State& state) {
  const std::string bytes = vm::readWholeFile(prepared().file()).value_or("");
  benchmark::DoNotOptimize(vm::readCsv(bytes, ',', true).table.rowCount());
  for (auto _ : state) {
    vm::CsvLoad load = vm::readCsv(bytes, ',', true);
    benchmark::DoNotOptimize(load.table.rowCount());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_SheetParse)->Unit(benchmark::kMillisecond);

void BM_SheetOpen(benchmark::State& state) {
  const SheetFolder& f = prepared();
  vm::Sheet sheet;
  benchmark::DoNotOptimize(sheet.open(f.file(), f.options()).ok());
  for (auto _ : state) {
    bool ok = sheet.open(f.file(), f.options()).ok();
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(sheet.text(kRows - 1, 9).size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(folder().file())));
}
BENCHMARK(BM_SheetOpen)->Unit(benchmark::kMillisecond);

// The same open with the memory given back to the system before each one, as
// for the first sheet a fresh program opens: every page is mapped and zeroed
// again.
void BM_SheetOpenCold(benchmark::State& state) {
  const SheetFolder& f = prepared();
  vm::Sheet sheet;
  for (auto _ : state) {
    state.PauseTiming();
    sheet.discard();
    malloc_trim(0);
    state.ResumeTiming();
    bool ok = sheet.open(f.file(), f.options()).ok();
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(f.file())));
}
BENCHMARK(BM_SheetOpenCold)->Unit(benchmark::kMillisecond);

// Column 1 (names, many equal) and column 4 (amounts, nearly all distinct).
void BM_SheetSort(benchmark::State& state) {
  vm::Sheet sheet;
  sheet.open(prepared().file(), folder().options());
  sheet.setSortingOn(true);
  const int col = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(sheet.sortBy(col, false));
}
BENCHMARK(BM_SheetSort)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// Grouping by city, with the display rows built as the view asks for them.
void BM_SheetGroup(benchmark::State& state) {
  vm::Sheet sheet;
  sheet.open(prepared().file(), folder().options());
  for (auto _ : state) {
    sheet.groupBy(5);
    benchmark::DoNotOptimize(sheet.displayRowCount());
  }
}
BENCHMARK(BM_SheetGroup)->Unit(benchmark::kMillisecond);

void BM_SheetSave(benchmark::State& state) {
  vm::Sheet sheet;
  sheet.open(prepared().file(), folder().options());
  sheet.setModified(true);
  benchmark::DoNotOptimize(sheet.save(folder().options()).kind);
  for (auto _ : state) {
    sheet.setModified(true);
    benchmark::DoNotOptimize(sheet.save(folder().options()).kind);
  }
}
BENCHMARK(BM_SheetSave)->Unit(benchmark::kMillisecond);

// A pump that notes the longest time between two steps: how long the
// window would go without handling events during a load.

// Bad input at size: 200 MB of rows (the test file repeated), and a quote
// opened in the first field that never closes, running 200 MB to the end.
void BM_SheetOpen200MB(benchmark::State& state) {
  const bool unclosed = state.range(0) == 1;
  const std::string path = folder().file() + (unclosed ? ".quote.csv" : ".huge.csv");
  {
    // The unclosed quote's text must hold no quote that could close it.
    std::string one = vm::readWholeFile(folder().file()).value_or("");
    if (unclosed) std::erase(one, '"');
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
      state.SkipWithError("cannot write the file");
      return;
    }
    if (unclosed) std::fputs("a,b\n\"", f);
    for (std::size_t written = 0; written < (200u << 20); written += one.size()) std::fwrite(one.data(), 1, one.size(), f);
    std::fclose(f);
  }
  vm::Sheet sheet;
  GapPump pump;
  for (auto _ : state) {
    pump.start();
    bool ok = sheet.open(path, folder().options(), &pump).ok();
    pump.step();  // the stretch after the last step counts too
    if (!ok) state.SkipWithError("did not open");
    benchmark::DoNotOptimize(sheet.rowCount());
  }
  state.counters["rows"] = sheet.rowCount();
  state.counters["max_ms_between_pump_steps"] = pump.maxGapMs();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
  sheet.discard();
  std::filesystem::remove(path);
}
BENCHMARK(BM_SheetOpen200MB)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
