#pragma once
// A home folder with ten roots for start-up measurements: the last root
// holds a generated folder of 10,000 files.
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_tree.h"
#include "app/app.h"

namespace vm::bench {

class StartupTree {
 public:
  StartupTree() : roots_(0, 0) {
    if (roots_.path().empty()) return;
    const std::string base = roots_.path();
    std::filesystem::create_directories(base + "/home");
    std::ofstream ini(base + "/home/vellumark.ini");
    ini << "[General]\nLastRoot=Root9\nUseStatBar=1\nListWidth=240\n[BasicRoots]\n";
    for (int r = 0; r < 10; ++r) {
      std::string root = base + "/root" + std::to_string(r);
      GeneratedFolder::fill(root, r == 9 ? kFileCount : 200, 30);
      ini << root << "=Root" << r << ";.md\n";
    }
  }
  bool ok() const { return !roots_.path().empty(); }
  std::string lastRoot() const { return roots_.path() + "/root9"; }

  AppEnvironment environment() const {
    AppEnvironment env;
    env.home = roots_.path() + "/home";
    env.supportDir = env.home / "support";
    env.paths.documents.reset();
    env.paths.fernhollow = roots_.path() + "/none";
    env.paths.fileSystemRoot = roots_.path();
    return env;
  }

 private:
  GeneratedFolder roots_;
};

}  // namespace vm::bench
