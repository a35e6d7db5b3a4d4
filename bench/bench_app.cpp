// Start-up of the App (core only, no window) to a listed root: settings
// loaded from an INI with ten roots, the root table built, the last root's
// 10,000 files listed and sorted.
#include <benchmark/benchmark.h>

#include "app_setup.h"

namespace {

void BM_AppStartUpToListedRoot(benchmark::State& state) {
  static vm::bench::StartupTree tree;
  if (!tree.ok()) {
    state.SkipWithError("could not create the test tree");
    return;
  }
  const vm::AppEnvironment env = tree.environment();
  for (auto _ : state) {
    vm::App app(env, vm::AppPorts{});
    app.startUp();
    benchmark::DoNotOptimize(app.fileList().size());
    if (app.fileList().size() == 0) state.SkipWithError("root not listed");
  }
}
BENCHMARK(BM_AppStartUpToListedRoot)->Unit(benchmark::kMillisecond);

}  // namespace
