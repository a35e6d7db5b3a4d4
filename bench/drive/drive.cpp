// Times whole user operations on the core, the way the window runs them, and
// reports the median of several runs and the peak memory:
//   vellumark_drive [runs]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../app_setup.h"
#include "core/commands.h"

namespace {

double medianMs(int runs, const std::function<void()>& setup, const std::function<void()>& op) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    if (setup) setup();
    auto t0 = std::chrono::steady_clock::now();
    op();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
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
  return 0;
}
