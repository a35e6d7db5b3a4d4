// Search on generated notes: the directory search ("?d") through 1,000 notes
// of about 12 KB each with no hit, beside `grep -ril` on the same folder, and
// Links to This Note over 10,000 notes in nested folders.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gap_pump.h"
#include "browse/backlinks.h"
#include "browse/search.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

const char* const kWords[] = {"meeting", "Budget", "the",    "and",   "Kaffee", "größer", "Ölfarbe", "notes",
                              "Straße",  "plan",   "review", "draft", "Æble",   "naïve",  "Kunde",   "Sonntag",
                              "deadline", "of",    "to",     "with",  "–",      "“quoted”", "result", "Zürich"};

// Note text of about `bytes` bytes: lines of words, a few non-ASCII.
std::string noteText(unsigned& seed, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + 80);
  std::size_t line = 0;
  while (s.size() < bytes) {
    seed = seed * 1103515245u + 12345u;
    const char* w = kWords[(seed >> 8) % (sizeof kWords / sizeof *kWords)];
    s += w;
    line += std::char_traits<char>::length(w) + 1;
    if (line > 70) {
      s += '\n';
      line = 0;
    } else {
      s += ' ';
    }
  }
  return s;
}

std::string makeTemp(const char* stem) {
  std::string tmpl = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  return ::mkdtemp(tmpl.data()) ? tmpl : std::string();
}

// 1,000 notes of 12 KB in one folder, with a few pictures and sheets.
class NoteFolder {
 public:
  NoteFolder() : path_(makeTemp("vmbench-search")) {
    unsigned seed = 99;
    for (int i = 0; i < 1000; ++i) {
      const char* ext = i % 50 == 7 ? ".csv" : i % 3 == 0 ? ".md" : ".txt";
      std::ofstream(path_ + "/note " + std::to_string(i) + ext, std::ios::binary) << noteText(seed, 12 * 1024);
    }
    for (int i = 0; i < 20; ++i)
      std::ofstream(path_ + "/picture " + std::to_string(i) + ".png", std::ios::binary) << std::string(50000, '\x89');
    std::vector<vm::DirEntry> entries;
    vm::readDirectory(path_, entries);
    for (const auto& e : entries) names_.push_back(e.name);
    std::sort(names_.begin(), names_.end(), [](const std::string& a, const std::string& b) { return vm::compareNoCase(a, b) < 0; });
  }
  ~NoteFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::string path_;
  std::vector<std::string> names_;
};

const NoteFolder& noteFolder() {
  static NoteFolder folder;
  return folder;
}

// A Search wired to nothing but the folder: the window's hooks do no work.
void directorySearch(benchmark::State& state, const std::string& term) {
  const NoteFolder& f = noteFolder();
  int notFound = 0;
  vm::SearchHooks h;
  h.currentFolder = [&] { return f.path(); };
  h.fileNames = [&] { return f.names(); };
  h.openEntry = [](std::size_t, const std::string&) {};
  h.shownViewer = [] { return vm::ShownViewer::Other; };
  h.findInShown = [](const std::string&, bool) { return false; };
  h.viewMode = [] { return false; };
  h.switchToEditMode = [] {};
  h.keywordsOf = [](const std::string&) { return std::vector<std::string>{}; };
  h.checkFileNames = [] { return true; };
  h.say = [&](const std::string&) { ++notFound; };
  GapPump pump;  // steps as the window does, never stopping
  h.pump = &pump;
  vm::Search search(h);
  for (auto _ : state) search.multibar("?d " + term);
  if (notFound != static_cast<int>(state.iterations())) state.SkipWithError("the term was found");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1000 * 12 * 1024);
}

void BM_DirectorySearchNoHit(benchmark::State& state) { directorySearch(state, "quokka"); }
void BM_DirectorySearchNoHitUnicode(benchmark::State& state) { directorySearch(state, "Ölwechsel"); }
BENCHMARK(BM_DirectorySearchNoHit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectorySearchNoHitUnicode)->Unit(benchmark::kMillisecond);

// The same folder through grep, process start included.
void BM_GrepRilNoHit(benchmark::State& state) {
  const std::string cmd = "grep -ril quokka '" + noteFolder().path() + "' >/dev/null";
  struct rusage before {};
  ::getrusage(RUSAGE_CHILDREN, &before);
  for (auto _ : state) {
    const int rc = std::system(cmd.c_str());
    if (rc == -1) state.SkipWithError("grep did not start");
  }
  // The CPU time grep (and its shell) used, beside the search's own CPU time.
  struct rusage after {};
  ::getrusage(RUSAGE_CHILDREN, &after);
  auto ms = [](const struct timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  const double cpu = ms(after.ru_utime) + ms(after.ru_stime) - ms(before.ru_utime) - ms(before.ru_stime);
  state.counters["child_cpu_ms"] = state.iterations() ? cpu / static_cast<double>(state.iterations()) : 0;
}
BENCHMARK(BM_GrepRilNoHit)->Unit(benchmark::kMillisecond);

// 10,000 notes of about 1.5 KB in 100 folders of a root; 25 of them link to
// the target in one of the link forms.
class LinkedRoot {
 public:
  LinkedRoot() : path_(makeTemp("vmbench-links")) {
    unsigned seed = 7;
    const char* const links[] = {"[Project Plan]", "[[Project Plan][the plan]]", "tn:Project%20Plan",
                                 "[plan](../f1/Project%20Plan.txt)", "[Project Plan.txt]"};
    for (int d = 0; d < 100; ++d) {
      const std::string dir = path_ + "/f" + std::to_string(d);
      fs::create_directories(dir);
      for (int i = 0; i < 100; ++i) {
        std::string text = noteText(seed, 1500);
        // Near misses: the name without brackets, another note's link.
        if (i % 10 == 3) text += "\nProject Plan draft and [Project Planning]\n";
        if ((d * 100 + i) % 400 == 11) text += std::string("\n") + links[(d + i) % 5] + "\n";
        const char* ext = i % 4 == 0 ? ".md" : ".txt";
        std::ofstream(dir + "/note " + std::to_string(i) + ext, std::ios::binary) << text;
      }
    }
    std::ofstream(path_ + "/f1/Project Plan.txt") << "the plan";
  }
  ~LinkedRoot() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void BM_LinksToThisNote10000(benchmark::State& state) {
  static LinkedRoot root;
  std::size_t found = 0;
  for (auto _ : state) {
    auto r = vm::linksToNote(root.path(), root.path() + "/f1/Project Plan.txt", [] { return true; });
    found = r.notes.size();
  }
  state.counters["links"] = static_cast<double>(found);
  if (found != 25) state.SkipWithError("expected 25 linking notes");
}
BENCHMARK(BM_LinksToThisNote10000)->Unit(benchmark::kMillisecond);

}  // namespace
