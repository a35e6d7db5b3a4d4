// Folder and file listing on a generated folder of 10,000 files: the full
// listing with its sort, the folder-watch poll, and the two File List sorts.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_tree.h"
#include "browse/listing.h"

namespace {

const std::string& benchFolder() {
  static vm::bench::GeneratedFolder folder;
  return folder.path();
}

void BM_ListFilesFull(benchmark::State& state) {
  const std::string& folder = benchFolder();
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;  // list every generated file
  for (auto _ : state) {
    listing.listFilesFull(folder, rules, true);
    benchmark::DoNotOptimize(files.size());
  }
  state.counters["files"] = files.size();
}
BENCHMARK(BM_ListFilesFull)->Unit(benchmark::kMillisecond);

void BM_FolderWatchPollUnchanged(benchmark::State& state) {
  const std::string& folder = benchFolder();
  vm::FolderWatch watch;
  watch.poll(folder);
  for (auto _ : state) benchmark::DoNotOptimize(watch.poll(folder));
}
BENCHMARK(BM_FolderWatchPollUnchanged)->Unit(benchmark::kMicrosecond);

// Sorting alone: each round starts from enumeration order (untimed).
void sortBench(benchmark::State& state, int column) {
  const std::string& folder = benchFolder();
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  listing.listFilesFull(folder, rules, false);
  for (auto _ : state) {
    state.PauseTiming();
    listing.listFilesInPlace(folder, rules, false);
    state.ResumeTiming();
    listing.sortFiles(column);
    benchmark::DoNotOptimize(files.at(0).name.data());
  }
  state.counters["files"] = files.size();
}

void BM_SortFilesByName(benchmark::State& state) { sortBench(state, 0); }
void BM_SortFilesByDate(benchmark::State& state) { sortBench(state, 1); }
BENCHMARK(BM_SortFilesByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFilesByDate)->Unit(benchmark::kMillisecond);

}  // namespace
