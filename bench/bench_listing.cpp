// Folder and file listing on a generated folder of 10,000 files: the full
// listing with its sort, the folder-watch poll, and the two File List sorts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "browse/listing.h"

namespace {

constexpr int kFileCount = 10000;

// The generated folder: made on first use, removed at exit.
class BenchFolder {
 public:
  BenchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
    if (path_.empty()) return;
    static const char* const kExtensions[] = {".txt", ".md", ".csv", ".png", ".html", ".zip", ".tn", ".dat", ""};
    static const char* const kStems[] = {"Notes", "report", "Äpfel", "zebra", "Budget", "draft", "Ölfarbe", "todo"};
    unsigned seed = 12345;
    for (int i = 0; i < kFileCount; ++i) {
      seed = seed * 1103515245u + 12345u;
      char name[96];
      std::snprintf(name, sizeof name, "%s %05u-%d%s", kStems[(seed >> 8) % 8], (seed >> 12) % 100000, i,
                    kExtensions[(seed >> 4) % 9]);
      std::string full = path_ + "/" + name;
      int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) continue;
      // Spread the times over about three years so the date sort has work to do.
      struct timespec times[2] = {{1'600'000'000 + static_cast<time_t>(seed % 100'000'000), 0},
                                  {1'600'000'000 + static_cast<time_t>((seed >> 3) % 100'000'000), 0}};
      ::futimens(fd, times);
      ::close(fd);
    }
    for (int i = 0; i < 20; ++i) std::filesystem::create_directory(path_ + "/folder" + std::to_string(i));
  }
  ~BenchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& benchFolder() {
  static BenchFolder folder;
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
