// Folder and file listing on a generated folder of 10,000 files: the full
// listing with its sort, the first sort by date after it (which reads the
// files' times), one row's time as its tool tip asks for it, the folder-watch
// poll, and the two File List sorts;
// the full listing again at 10,000, 20,000 and 40,000 files (cost per file),
// and `ls -l` of the same folder as a whole process beside this program's
// own listing run as a whole process (vellumark_drive list).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bench_tree.h"
#include "browse/listing.h"

namespace {

const std::string& benchFolder() {
  static vm::bench::GeneratedFolder folder;
  return folder.path();
}

// Generated folders by file count, made the first time they are asked for.
const std::string& folderOf(int files) {
  static std::map<int, std::unique_ptr<vm::bench::GeneratedFolder>> folders;
  if (files == vm::bench::kFileCount) return benchFolder();
  auto& f = folders[files];
  if (!f) f = std::make_unique<vm::bench::GeneratedFolder>(files, 20);
  return f->path();
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
BENCHMARK(BM_ListFilesFull)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The first listing of a folder this Listing has never seen: nothing of an
// earlier listing can be reused.
void BM_ListFilesFirst(benchmark::State& state) {
  const std::string& folder = benchFolder();
  vm::ListModel folders, files;
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  for (auto _ : state) {
    vm::Listing listing(folders, files, nullptr);
    listing.listFilesFull(folder, rules, true);
    benchmark::DoNotOptimize(files.size());
  }
  state.counters["files"] = files.size();
}
BENCHMARK(BM_ListFilesFirst)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Repeated full listings as the folder grows: the per-file cost should not.
void BM_ListFilesFullPerFile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& folder = folderOf(count);
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  listing.listFilesFull(folder, rules, false);
  for (auto _ : state) {
    listing.listFilesFull(folder, rules, false);
    benchmark::DoNotOptimize(files.size());
  }
  state.counters["files"] = files.size();
  // Seconds per listed file (shown with its unit prefix, "u" for microseconds).
  state.counters["per_file"] = benchmark::Counter(static_cast<double>(files.size()) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ListFilesFullPerFile)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// A full listing reads no file's time; the first sort by modified time
// after it reads them all (folder opened once) and sorts.
void BM_ListFilesThenSortByDate(benchmark::State& state) {
  const std::string& folder = benchFolder();
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  for (auto _ : state) {
    listing.listFilesFull(folder, rules, false);
    listing.sortFiles(1);
    benchmark::DoNotOptimize(files.at(0).modified.data());
  }
  state.counters["files"] = files.size();
}
BENCHMARK(BM_ListFilesThenSortByDate)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The tool tip of one row after a full listing: its time read alone.
void BM_FileToolTipTime(benchmark::State& state) {
  const std::string& folder = benchFolder();
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  int row = 0;
  for (auto _ : state) {
    if (row == 0) {  // all pending again
      state.PauseTiming();
      listing.listFilesFull(folder, rules, false);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(files.withTime(row).modified.data());
    row = (row + 1) % files.size();
  }
}
BENCHMARK(BM_FileToolTipTime)->Unit(benchmark::kMicrosecond);

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

// ---- Whole processes on the 10,000-file folder ----------------------------
// Wall time of the shell command, and the CPU time its children used.

void runCommand(benchmark::State& state, const std::string& cmd) {
  struct rusage before {};
  ::getrusage(RUSAGE_CHILDREN, &before);
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError(("failed: " + cmd).c_str());
      break;
    }
  }
  struct rusage after {};
  ::getrusage(RUSAGE_CHILDREN, &after);
  auto ms = [](const struct timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  const double cpu = ms(after.ru_utime) + ms(after.ru_stime) - ms(before.ru_utime) - ms(before.ru_stime);
  state.counters["child_cpu_ms"] = state.iterations() ? cpu / static_cast<double>(state.iterations()) : 0;
}

void BM_LsLongProcess(benchmark::State& state) {
  runCommand(state, "ls -l '" + benchFolder() + "' >/dev/null");
}
BENCHMARK(BM_LsLongProcess)->Unit(benchmark::kMillisecond);

// A program beside this one, listing the folder once and exiting.
void listProcess(benchmark::State& state, const char* program, const char* args) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const auto exe = self.parent_path() / program;
  if (ec || !std::filesystem::exists(exe)) {
    state.SkipWithError((std::string(program) + " is not built").c_str());
    return;
  }
  runCommand(state, "'" + exe.string() + "' " + args + "'" + benchFolder() + "' >/dev/null");
}

// The drive program loads every library the program links.
void BM_ListFilesProcess(benchmark::State& state) { listProcess(state, "vellumark_drive", "list "); }
void BM_ListFilesLeanProcess(benchmark::State& state) { listProcess(state, "vellumark_list", ""); }
BENCHMARK(BM_ListFilesProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFilesLeanProcess)->Unit(benchmark::kMillisecond);

}  // namespace
