// Opening and saving a 60,000-character note with CR LF line ends: the load
// (read, byte-order mark, line ends, stamp) and the save of an edit (the
// changed stretch encoded into the bytes as read, the changed-on-disk check,
// then the atomic write).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "notes/note_file.h"

namespace {

class NoteFolder {
 public:
  NoteFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmbench-note-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~NoteFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Prose in lines of 40 to 100 characters, CR LF ended: 60,000 characters
// unless asked for another size.
std::string generatedNote(std::size_t size = 60000) {
  static const char* words[] = {"the", "note", "of", "a", "meeting", "about", "plans", "for", "spring",
                                "garden", "and", "budget", "with", "lists", "ideas", "tomorrow"};
  std::string out = "\xEF\xBB\xBF";
  unsigned seed = 12345;
  std::size_t line = 0;
  while (out.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const char* w = words[(seed >> 16) % 16];
    out += w;
    line += std::char_traits<char>::length(w) + 1;
    if (line > 40 + (seed >> 8) % 60) {
      out += "\r\n";
      line = 0;
    } else {
      out += ' ';
    }
  }
  out.resize(size);
  return out;
}

void BM_NoteLoad60k(benchmark::State& state) {
  NoteFolder dir;
  auto p = dir.path() / "note.txt";
  std::ofstream(p, std::ios::binary) << generatedNote();
  for (auto _ : state) {
    auto note = vm::loadNoteFile(p, true, true);
    benchmark::DoNotOptimize(note->text.data());
  }
}
BENCHMARK(BM_NoteLoad60k)->Unit(benchmark::kMillisecond);

void BM_NoteSave(benchmark::State& state) {
  NoteFolder dir;
  auto p = dir.path() / "note.txt";
  std::ofstream(p, std::ios::binary) << generatedNote(static_cast<std::size_t>(state.range(0)));
  auto note = vm::loadNoteFile(p, true, true);
  std::optional<vm::DiskStamp> stamp = note->stamp();
  const vm::LocalTime now{2024, 3, 5, 9, 7, 2, 0, 2};
  vm::NoteBaseline base{note->bytes, note->text, note->format};
  // One word typed in the middle, as an edit between two saves.
  std::string text = note->text;
  text.insert(text.size() / 2, "typed ");
  for (auto _ : state) {
    auto r = vm::saveNoteFile(p, text, stamp, now, &base);
    if (r.kind != vm::SaveResult::Kind::Saved) {
      state.SkipWithError(r.error.c_str());
      break;
    }
    stamp = r.stamp;
    base = vm::NoteBaseline{std::move(r.bytes), text, r.format};
  }
}
BENCHMARK(BM_NoteSave)->Arg(60000)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
