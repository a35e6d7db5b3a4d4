// Start-up of the App (core only, no window) to a listed root: settings
// loaded from an INI with ten roots, the root table built, the last root's
// folders and files listed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "core/app.h"

namespace {

class StartupTree {
 public:
  StartupTree() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-app-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    base_ = tmpl;
    std::filesystem::create_directories(base_ + "/home");
    std::ofstream ini(base_ + "/home/vellumark.ini");
    ini << "[General]\nLastRoot=Root9\nUseStatBar=1\nListWidth=240\n[BasicRoots]\n";
    for (int r = 0; r < 10; ++r) {
      std::string root = base_ + "/root" + std::to_string(r);
      std::filesystem::create_directories(root);
      ini << root << "=Root" << r << ";.md\n";
      for (int d = 0; d < 30; ++d) std::filesystem::create_directories(root + "/folder" + std::to_string(d) + "/inner");
      for (int f = 0; f < 1000; ++f) {
        std::string name = root + "/note " + std::to_string(f) + ".md";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
      }
    }
  }
  ~StartupTree() {
    std::error_code ec;
    if (!base_.empty()) std::filesystem::remove_all(base_, ec);
  }
  const std::string& base() const { return base_; }

 private:
  std::string base_;
};

void BM_AppStartUpToListedRoot(benchmark::State& state) {
  static StartupTree tree;
  if (tree.base().empty()) {
    state.SkipWithError("could not create the test tree");
    return;
  }
  vm::AppEnvironment env;
  env.home = tree.base() + "/home";
  env.supportDir = env.home / "support";
  env.paths.documents.reset();
  env.paths.fernhollow = tree.base() + "/none";
  env.paths.fileSystemRoot = tree.base();
  for (auto _ : state) {
    vm::App app(env, vm::AppPorts{});
    app.startUp();
    benchmark::DoNotOptimize(app.fileList().size());
    if (app.fileList().size() != 1000) state.SkipWithError("root not listed");
  }
}
BENCHMARK(BM_AppStartUpToListedRoot)->Unit(benchmark::kMillisecond);

}  // namespace
