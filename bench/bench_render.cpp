// Rendering a 1 MB Markdown note: md4c alone against the whole chain (read,
// wiki pass, line-break pass, md4c, page write) that the browser pane runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>

#include "platform/fs.h"
#include "render/markdown_lines.h"
#include "render/markdown_note.h"
#include "render/markup.h"

namespace {

class RenderFolder {
 public:
  RenderFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-render-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~RenderFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A note as people write them: titled sections of prose with bold words, web
// and page links, bullet and numbered lists, "|" tables and code blocks.
std::string generatedNote(std::size_t size) {
  static const char* words[] = {"the",    "note",  "of",   "a",     "meeting", "about", "plans",    "for",
                                "spring", "garden", "and", "budget", "with",   "lists", "ideas",    "tomorrow",
                                "review", "draft",  "call", "order", "seeds",  "fence", "schedule", "notes"};
  constexpr std::size_t kWords = std::size(words);
  unsigned seed = 12345;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  auto word = [&] { return std::string(words[next(kWords)]); };
  std::string out;
  int section = 0;
  while (out.size() < size) {
    ++section;
    if (section % 3 == 0)
      out += "Section " + std::to_string(section) + "\n===========\n";
    else
      out += "## " + word() + " " + word() + " " + std::to_string(section) + "\n";
    for (int para = 0; para < 3; ++para) {
      const unsigned lines = 2 + next(5);
      for (unsigned l = 0; l < lines; ++l) {
        std::string line;
        while (line.size() < 60 + next(30)) {
          switch (next(20)) {
            case 0: line += "**" + word() + "** "; break;
            case 1: line += "[" + word() + "](http://example.com/" + word() + ") "; break;
            case 2: line += "[" + word() + " " + word() + "] "; break;
            case 3: line += "[[" + word() + "][" + word() + "]] "; break;
            case 4: line += "`" + word() + "()` "; break;
            case 5: line += "~~" + word() + "~~ "; break;
            default: line += word() + " ";
          }
        }
        out += line + "\n";
      }
      out += "\n";
    }
    switch (section % 4) {
      case 0:
        for (unsigned i = 0; i < 3 + next(4); ++i) out += "- " + word() + " " + word() + "\n";
        break;
      case 1:
        for (unsigned i = 1; i < 4 + next(4); ++i) out += std::to_string(i) + ". " + word() + " " + word() + "\n";
        break;
      case 2:
        for (unsigned i = 0; i < 4; ++i) out += "|" + word() + "|" + std::to_string(next(100)) + "|" + word() + "|\n";
        break;
      default:
        out += "```\nint " + word() + " = " + std::to_string(next(100)) + ";\nreturn " + word() + "[0];\n```\n";
    }
    out += "\n";
  }
  return out;
}

const std::string& note() {
  static const std::string text = generatedNote(1 << 20);
  return text;
}

// The note written to "note.md" in dir; empty, with the benchmark marked
// failed, when there is no temporary folder.
std::string noteFileIn(const RenderFolder& dir, benchmark::State& state) {
  if (dir.path().empty()) {
    state.SkipWithError("no temporary folder");
    return {};
  }
  const std::string source = dir.path() + "/note.md";
  std::ofstream(source, std::ios::binary) << note();
  return source;
}

// The switches a Markdown note renders with by default.
constexpr unsigned kNoteSwitches =
    vm::kRenderMarkdown | vm::kRenderWiki | vm::kRenderLineBreaks | vm::kRenderMarkdownNote;

// Times `work` on the note's text in memory; what it returns is kept alive.
template <typename Work>
void timeOnNote(benchmark::State& state, Work work) {
  const std::string& text = note();
  for (auto _ : state) {
    const auto result = work(text);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Md4cAlone(benchmark::State& state) {
  timeOnNote(state, [](const std::string& text) { return vm::markdownToHtml(text); });
}
BENCHMARK(BM_Md4cAlone)->Unit(benchmark::kMillisecond);

// md4c alone with the same file work as the chain: the note read from its
// file, converted, and the page written to a file. The CPU anchor for
// BM_RenderWhole, whose reading and writing the kernel does in both.
void BM_Md4cFileToFile(benchmark::State& state) {
  RenderFolder dir;
  const std::string source = noteFileIn(dir, state);
  if (source.empty()) return;
  const std::string page = dir.path() + "/page.html";
  for (auto _ : state) {
    const auto text = vm::readWholeFile(source);
    if (!text) {
      state.SkipWithError("read failed");
      break;
    }
    const std::string html = vm::markdownToHtml(*text);
    std::ofstream out(page, std::ios::binary | std::ios::trunc);
    out.write(html.data(), static_cast<std::streamsize>(html.size()));
    if (!out.flush()) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * note().size()));
}
BENCHMARK(BM_Md4cFileToFile)->Unit(benchmark::kMillisecond);

void BM_RenderWhole(benchmark::State& state) {
  RenderFolder dir;
  const std::string source = noteFileIn(dir, state);
  if (source.empty()) return;
  const std::string page = vm::newPagePath(dir.path());
  const vm::PageContext context{dir.path(), ""};
  for (auto _ : state) {
    if (!vm::renderMarkupFile(source, page, kNoteSwitches, context)) {
      state.SkipWithError("render failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * note().size()));
}
BENCHMARK(BM_RenderWhole)->Unit(benchmark::kMillisecond);

// The whole chain in memory, the note's text to the page's body: the
// like-for-like twin of BM_Md4cAlone, with no file read or written.
void BM_RenderInMemory(benchmark::State& state) {
  timeOnNote(state, [](const std::string& text) { return vm::renderMarkupBody(text, kNoteSwitches); });
}
BENCHMARK(BM_RenderInMemory)->Unit(benchmark::kMillisecond);

// The chain's own share, in parts: the note's lines sorted, and the whole
// preparation (sorting, protection, wiki and line-break passes) that md4c's
// input comes from.
void BM_ClassifyLines(benchmark::State& state) {
  timeOnNote(state, [](const std::string& text) {
    std::unordered_set<std::string> labels;
    return vm::markdown::classify(text, labels);
  });
}
BENCHMARK(BM_ClassifyLines)->Unit(benchmark::kMillisecond);

void BM_PrepareMarkdownNote(benchmark::State& state) {
  timeOnNote(state, [](const std::string& text) { return vm::prepareMarkdownNote(text, {}); });
}
BENCHMARK(BM_PrepareMarkdownNote)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// One line of 1 MB built to make the passes repeat as much as they can: the
// whole chain must stay well under a second on each.
std::string adversarialLine(int kind) {
  static const char* units[] = {"[]", "[a] ", "[a[b] ]", "[[a][b]]", " =a=", "http:\x9e ", "[$a$]", "|a",
                                "<a b=\"", "`` ` ```", "[a](", "<!-- ", "<x:", "![[", "\\`"};
  std::string line;
  if (kind < static_cast<int>(std::size(units))) {
    while (line.size() < (1 << 20)) line += units[kind];
  } else {
    unsigned seed = 99;
    const std::string alphabet("[]=_ $|+-<>{}:htp\\\x9e\xc3\xff*.", 25);
    line.resize(1 << 20);
    for (char& c : line) {
      seed = seed * 1103515245u + 12345u;
      c = alphabet[(seed >> 16) % alphabet.size()];
    }
  }
  return line + "\n";
}

void BM_RenderAdversarialLine(benchmark::State& state) {
  const std::string line = adversarialLine(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::string html = vm::renderMarkupBody(line, kNoteSwitches);
    benchmark::DoNotOptimize(html.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_RenderAdversarialLine)->DenseRange(0, 15)->Unit(benchmark::kMillisecond);

}  // namespace
