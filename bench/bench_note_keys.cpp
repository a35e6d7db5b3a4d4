// A key release in the note editor, through the App with the status bar's
// counters on: what it costs in a 5 KB note and in a 5 MB one. The App runs
// with its own headless editor, which keeps its character count the way the
// window's editor document does, so the figure is the App's own work per
// key. Both sizes should cost the same.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/app.h"

namespace {

class NoteHome {
 public:
  explicit NoteHome(std::size_t bytes) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-keys-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    path_ = tmpl;
    std::filesystem::create_directories(path_ / "home");
    std::filesystem::create_directories(path_ / "notes");
    std::ofstream(path_ / "home/vellumark.ini")
        << "[General]\nUseStatBar=1\nLastRoot=Notes\n[BasicRoots]\n" << (path_ / "notes").string() << "=Notes\n";
    std::string text;
    text.reserve(bytes);
    while (text.size() < bytes) text += "a line of the note with some words in it\n";
    text.resize(bytes);
    std::ofstream(path_ / "notes/note.txt", std::ios::binary) << text;
  }
  ~NoteHome() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  vm::AppEnvironment environment() const {
    vm::AppEnvironment env;
    env.home = path_ / "home";
    env.supportDir = env.home / "support";
    env.paths.documents.reset();
    env.paths.fernhollow = (path_ / "none").string();
    env.paths.fileSystemRoot = (path_ / "none").string();
    return env;
  }
  bool ok() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
};

void BM_NoteKeyRelease(benchmark::State& state) {
  NoteHome home(static_cast<std::size_t>(state.range(0)));
  if (!home.ok()) {
    state.SkipWithError("could not create the note");
    return;
  }
  vm::App app(home.environment(), vm::AppPorts{});
  app.startUp();
  app.fileClicked(app.fileList().find("note.txt"));
  if (!app.noteLoaded()) {
    state.SkipWithError("note not loaded");
    return;
  }
  app.noteEdited();  // the note has unsaved changes, as while typing
  for (auto _ : state) app.noteKeyReleased();
  state.counters["chars"] = static_cast<double>(state.range(0));
  benchmark::DoNotOptimize(app.status().charCounter().data());
}
BENCHMARK(BM_NoteKeyRelease)->Arg(5 << 10)->Arg(5 << 20)->Unit(benchmark::kNanosecond);

}  // namespace
