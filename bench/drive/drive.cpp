// Times whole user operations on the core, the way the window runs them, and
// reports the median of several runs and the peak memory:
//   vellumark_drive [runs] [sheet|quote|big]
//   vellumark_drive list FOLDER [times]
// With "sheet" only the spreadsheet section runs; with "quote" only the open
// of a 200 MB file whose last field is an unclosed quote, once without and
// once with doubled quotes inside it; with "big" only the open and sort of a
// sheet of 1,000,000 rows (about 100 MB) and the peak memory they need.
// "list" lists the files of FOLDER once (or times times), sorted, and prints
// how many there are: the listing as a whole process, to set beside `ls -l`.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../app_setup.h"
#include "../sheet_data.h"
#include "browse/listing.h"
#include "core/commands.h"
#include "sheet/sheet.h"
#include "../gap_pump.h"

namespace {

double cpuMsNow() {
  struct timespec t {};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Median wall time of op over runs; cpuMs (when given) gets the median CPU time.
double medianMs(int runs, const std::function<void()>& setup, const std::function<void()>& op,
                double* cpuMs = nullptr) {
  std::vector<double> ms, cpu;
  for (int i = 0; i < runs; ++i) {
    if (setup) setup();
    const double c0 = cpuMsNow();
    auto t0 = std::chrono::steady_clock::now();
    op();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    cpu.push_back(cpuMsNow() - c0);
  }
  std::sort(ms.begin(), ms.end());
  std::sort(cpu.begin(), cpu.end());
  if (cpuMs) *cpuMs = cpu[cpu.size() / 2];
  return ms[ms.size() / 2];
}

// ---- Spreadsheet -----------------------------------------------------------
// Open, sort, group and save a generated file of 100,000 rows and 10 columns
// (about 10 MB, the same file bench_sheet.cpp measures). It runs in a child
// process started before anything else, so the peak memory reported is the
// sheet's own; the report comes back through a pipe.

using vmbench::kSheetRows;
using vmbench::writeSheetFile;


std::string driveSheet(int runs) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vmdrive-sheet-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return "sheet: could not create a temporary folder\n";
  const std::string file = tmpl + "/big.csv";
  if (!writeSheetFile(file)) return "sheet: could not write the test file\n";
  const double sizeMb = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
  vm::SheetOptions o;
  o.fileInfoFolder = tmpl + "/file_info";
  o.makeBackups = false;

  vm::Sheet sheet;
  bool ok = true;
  double open = medianMs(runs, nullptr, [&] { ok = sheet.open(file, o).ok() && ok; });
  sheet.setSortingOn(true);
  double sort = medianMs(runs, nullptr, [&] { sheet.sortBy(1, false); });
  double group = medianMs(runs, [&] { sheet.ungroup(); }, [&] {
    sheet.groupBy(5);
    (void)sheet.displayRowCount();
  });
  double save = medianMs(runs, [&] { sheet.setModified(true); }, [&] { ok = sheet.save(o).kind == vm::SheetSaveResult::Kind::Saved && ok; });
  sheet.discard();
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);

  const double peakMb = ru.ru_maxrss / 1024.0;
  std::string out;
  char label[96], line[192];
  auto row = [&](const char* text, double ms) {
    std::snprintf(line, sizeof line, "%-51s %9.2f\n", text, ms);
    out += line;
  };
  std::snprintf(label, sizeof label, "sheet: open %d rows x 10 columns, %.1f MB", kSheetRows, sizeMb);
  row(label, open);
  row("sheet: sort by the name column", sort);
  row("sheet: group by the city column", group);
  row("sheet: save", save);
  std::snprintf(line, sizeof line, "%-51s %9.1f MB (%.1fx the file)%s\n", "sheet: peak resident memory", peakMb,
                peakMb / sizeMb, ok ? "" : "  FAILED");
  out += line;
  return out;
}

// ---- A sheet of 1,000,000 rows ---------------------------------------------
// Open and sort only, in a child of its own, so that the peak memory is what
// the open and the sort needed.

constexpr int kBigSheetRows = 1000000;

std::string driveBigSheet(int runs) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vmdrive-big-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return "big sheet: could not create a temporary folder\n";
  const std::string file = tmpl + "/big.csv";
  if (!writeSheetFile(file, kBigSheetRows)) return "big sheet: could not write the test file\n";
  const double sizeMb = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
  vm::SheetOptions o;
  o.fileInfoFolder = tmpl + "/file_info";
  o.makeBackups = false;
  bool ok = true;
  double open = 0, sort = 0, sortNumbers = 0, openCpu = 0, sortCpu = 0, sortNumbersCpu = 0, openPeakMb = 0;
  {
    vm::Sheet sheet;
    open = medianMs(runs, [&] { sheet.discard(); }, [&] { ok = sheet.open(file, o).ok() && ok; }, &openCpu);
    ok = ok && sheet.rowCount() >= kBigSheetRows;
    struct rusage opened {};
    ::getrusage(RUSAGE_SELF, &opened);
    openPeakMb = opened.ru_maxrss / 1024.0;
    sheet.setSortingOn(true);
    sort = medianMs(runs, nullptr, [&] { sheet.sortBy(1, false); }, &sortCpu);
    sortNumbers = medianMs(runs, nullptr, [&] { sheet.sortBy(4, false); }, &sortNumbersCpu);
  }
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  const double peakMb = ru.ru_maxrss / 1024.0;
  char line[256];
  std::string out;
  std::snprintf(line, sizeof line, "big sheet: open %d rows x 10 columns, %.1f MB    %9.2f  (CPU %.2f)\n",
                kBigSheetRows, sizeMb, open, openCpu);
  out += line;
  std::snprintf(line, sizeof line, "%-51s %9.2f  (CPU %.2f)\n", "big sheet: sort by the name column", sort, sortCpu);
  out += line;
  std::snprintf(line, sizeof line, "%-51s %9.2f  (CPU %.2f)\n", "big sheet: sort by the amount column", sortNumbers,
                sortNumbersCpu);
  out += line;
  std::snprintf(line, sizeof line, "%-51s %9.1f MB (%.2fx the file)\n", "big sheet: peak resident memory after the opens",
                openPeakMb, openPeakMb / sizeMb);
  out += line;
  std::snprintf(line, sizeof line, "%-51s %9.1f MB (%.2fx the file)%s\n", "big sheet: peak resident memory", peakMb,
                peakMb / sizeMb, ok ? "" : "  FAILED");
  out += line;
  return out;
}

// ---- An unclosed quote running 200 MB to the end of a file ----------------
// The longest time the window would go without handling events (between two
// pump steps, and from the last step to the end of the open), and the peak
// memory of the child that opens it.


std::string driveUnclosedQuote(const std::string& file, bool pairs) {
  vm::SheetOptions o;
  o.makeBackups = false;
  o.fileInfoFolder = std::filesystem::path(file).parent_path().string() + "/file_info";
  vm::Sheet sheet;
  GapPump pump;
  const auto t0 = std::chrono::steady_clock::now();
  pump.start();
  const bool ok = sheet.open(file, o, &pump).ok();
  pump.step();
  const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const std::size_t cellBytes = ok && sheet.rowCount() > 1 ? sheet.text(1, 0).size() : 0;
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  char out[512];
  std::snprintf(out, sizeof out,
                "unclosed quote%s, %.0f MB file: open %.0f ms, longest gap between pump steps %.1f ms,\n"
                "  peak resident memory %.1f MB, the open cell holds %.1f MB%s\n",
                pairs ? " with doubled quotes" : "", static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0), total, pump.maxGapMs(),
                ru.ru_maxrss / 1024.0, static_cast<double>(cellBytes) / (1024.0 * 1024.0), ok ? "" : "  FAILED");
  return out;
}

std::string& quoteFile() {
  static std::string f;
  return f;
}

bool& quotePairs() {
  static bool on = false;
  return on;
}

// Writes a.csv with a header line, then a quote that never closes and 200 MB of
// rows behind it: without a quote, or (pairs) with a pair of quotes in each row.
bool writeUnclosedQuoteFile(const std::string& folder, bool pairs) {
  quoteFile() = folder + (pairs ? "/pairs.csv" : "/quote.csv");
  std::FILE* f = std::fopen(quoteFile().c_str(), "wb");
  if (!f) return false;
  std::string block;
  for (int r = 0; block.size() < (1u << 20); ++r)
    block += "row " + std::to_string(r) + (pairs ? ",some \"\"text\"\",12.50,x\n" : ",some text,12.50,x\n");
  std::fputs("a,b\n\"", f);
  for (std::size_t written = 0; written < (200u << 20); written += block.size()) std::fwrite(block.data(), 1, block.size(), f);
  return std::fclose(f) == 0;
}

// Runs driveSheet (runs > 0), driveBigSheet (runs < 0, -runs times) or
// driveUnclosedQuote (0) in a child process; its report, or a note why there is none.
std::string driveSheetInChild(int runs) {
  std::fflush(stdout);
  int fds[2];
  if (::pipe(fds) != 0) return "sheet: no pipe\n";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string report = runs < 0  ? driveBigSheet(-runs)
                         : runs > 0 ? driveSheet(runs)
                                    : driveUnclosedQuote(quoteFile(), quotePairs());
    ssize_t n = ::write(fds[1], report.data(), report.size());
    ::_exit(n == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string report;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  if (pid > 0) ::waitpid(pid, &status, 0);
  if (pid < 0 || report.empty()) return "sheet: the measurement did not run\n";
  return report;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "list") {
    vm::ListModel folders, files;
    vm::Listing listing(folders, files, nullptr);
    vm::ListingRules rules;
    rules.hideProgramFiles = false;
    const int times = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
    for (int i = 0; i < times; ++i) listing.listFilesFull(argv[2], rules, false);
    std::printf("%d files\n", files.size());
    return 0;
  }
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const bool sheetOnly = argc > 2 && std::string(argv[2]) == "sheet";
  if (argc > 2 && std::string(argv[2]) == "big") {
    std::printf("operation                                         median ms\n%s", driveSheetInChild(-runs).c_str());
    return 0;
  }
  if (argc > 2 && std::string(argv[2]) == "quote") {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmdrive-quote-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
      std::fprintf(stderr, "vellumark_drive: could not create a temporary folder\n");
      return 1;
    }
    int rc = 0;
    for (bool pairs : {false, true}) {
      // One file at a time, each opened in its own child.
      if (!writeUnclosedQuoteFile(tmpl, pairs)) {
        std::fprintf(stderr, "vellumark_drive: could not write the file\n");
        rc = 1;
        break;
      }
      quotePairs() = pairs;
      std::printf("%s", driveSheetInChild(0).c_str());
      std::fflush(stdout);
      std::error_code ec;
      std::filesystem::remove(quoteFile(), ec);
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return rc;
  }
  // First, while this process is still small (see driveSheet).
  const std::string sheetReport = driveSheetInChild(runs);
  if (sheetOnly) {
    std::printf("operation                                         median ms\n%s", sheetReport.c_str());
    return 0;
  }
  vm::bench::StartupTree tree;
  if (!tree.ok()) {
    std::fprintf(stderr, "vellumark_drive: could not create the test tree\n");
    return 1;
  }
  const vm::AppEnvironment env = tree.environment();

  std::printf("operation                                         median ms\n");
  double start = medianMs(runs, nullptr, [&] {
    vm::App app(env, vm::AppPorts{});
    app.startUp();
  });
  std::printf("start-up to a listed root of %5d files           %9.2f\n", vm::bench::kFileCount, start);

  vm::App app(env, vm::AppPorts{});
  app.startUp();
  double chooseRoot = medianMs(runs, [&] { app.rootChosen("Root0"); }, [&] { app.rootChosen("Root9"); });
  std::printf("choose the root of %5d files in the Root List     %9.2f\n", vm::bench::kFileCount, chooseRoot);

  double sortDate = medianMs(runs, nullptr, [&] { app.command(vm::cmd::kSortByDate); });
  std::printf("sort the File List by date                          %9.2f\n", sortDate);

  int n = 0;
  double watch = medianMs(
      runs,
      [&] {
        app.timer(vm::cmd::kTimerFolderWatch);  // records the folder
        std::string f = tree.lastRoot() + "/new note " + std::to_string(n++) + ".txt";
        std::FILE* fp = std::fopen(f.c_str(), "w");
        if (fp) std::fclose(fp);
        auto dir = std::filesystem::path(tree.lastRoot());
        std::filesystem::last_write_time(dir, std::filesystem::last_write_time(dir) + std::chrono::seconds(1));
      },
      [&] { app.timer(vm::cmd::kTimerFolderWatch); });
  std::printf("folder watch: notice a new file and re-list         %9.2f\n", watch);

  double enter = medianMs(runs, [&] { app.folderLabelClicked(); }, [&] { app.folderActivated(0); });
  std::printf("enter a folder                                      %9.2f\n", enter);

  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  std::printf("peak resident memory                                %9.1f MB\n", ru.ru_maxrss / 1024.0);
  std::printf("%s", sheetReport.c_str());
  return 0;
}
