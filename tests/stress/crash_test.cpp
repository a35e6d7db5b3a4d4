// Crash test: a child process saves a file in a loop, alternating two
// contents of a few hundred KB, and the parent kills it with SIGKILL at
// random moments. After every kill the file must hold exactly one of the two
// contents; the save temporaries a kill leaves behind are counted, and the
// start-up clean-up (removeStaleTempFiles) must leave none.
//
//   crash_test [--kills N] [--only TYPE] [--seed S] [--dir FOLDER]
//
// Exit status 0 when every file type passed.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/ini_file.h"
#include "notes/note_file.h"
#include "platform/fs.h"
#include "sheet/sheet.h"

namespace {

namespace sfs = std::filesystem;
using vm::fs::path;

// One kind of file the program saves: how to save one of the two contents,
// and what the file holds on disk after a save of content i.
struct FileType {
  std::string name;
  std::string fileName;
  std::function<bool(const path& file, int which)> save;
  std::function<std::string(int which)> onDisk;
  int maxDelayUs = 40000;  // kills come 200 us to this long after the child starts
};

// Two contents of a few hundred KB that differ all along, so a file made of
// pieces of both, or cut short, is told apart from either.
std::string bigText(char first, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + 64);
  for (int line = 0; s.size() < bytes; ++line) {
    s += first;
    s += " line " + std::to_string(line) + " ";
    s.append(60, static_cast<char>(first + line % 20));
    s += '\n';
  }
  return s;
}

const std::string& noteText(int which) {
  static const std::string a = bigText('A', 300 * 1024);
  static const std::string b = bigText('a', 420 * 1024);
  return which == 0 ? a : b;
}

// An INI value is one line: the note text with its line ends turned to blanks.
const std::string& iniValue(int which) {
  static const std::string a = [] {
    std::string s = noteText(0);
    for (char& c : s) if (c == '\n') c = ' ';
    return s;
  }();
  static const std::string b = [] {
    std::string s = noteText(1);
    for (char& c : s) if (c == '\n') c = ' ';
    return s;
  }();
  return which == 0 ? a : b;
}

// A sheet of 3 columns: every cell of content 0 differs from the same cell
// of content 1, so each save rewrites every row. Plain texts need no quotes:
// the file is the cells joined with "," and "\n".
constexpr int kSheetRows = 4000;
constexpr int kSheetCols = 3;

std::string sheetCell(int which, int row, int col) {
  const char mark = which == 0 ? 'S' : 's';
  std::string t(1, mark);
  t += std::to_string(row) + "x" + std::to_string(col) + " ";
  t.append(static_cast<std::size_t>(20 + (row + col) % 17 + which * 9), static_cast<char>(mark + col));
  return t;
}

const std::string& sheetBytes(int which) {
  static const std::array<std::string, 2> bytes = [] {
    std::string out[2];
    for (int w = 0; w < 2; ++w)
      for (int r = 0; r < kSheetRows; ++r)
        for (int c = 0; c < kSheetCols; ++c) out[w] += sheetCell(w, r, c) + (c + 1 < kSheetCols ? "," : "\n");
    return std::array<std::string, 2>{out[0], out[1]};
  }();
  return bytes[static_cast<std::size_t>(which)];
}

// Saves through the sheet code: open, set every cell to the other content,
// save (backups on, so the ring of backups is written on every save too).
bool saveSheet(const path& file, int which) {
  if (!vm::isRegularFile(file)) return vm::writeFileAtomic(file, sheetBytes(which));
  vm::SheetOptions o;
  o.fileInfoFolder = (file.parent_path() / "info").string();
  o.makeBackups = true;
  o.maxBackups = 3;
  o.saveWidths = false;
  vm::Sheet sheet;
  if (!sheet.open(file.string(), o).ok() || sheet.rowCount() != kSheetRows) return false;
  for (int r = 0; r < kSheetRows; ++r)
    for (int c = 0; c < kSheetCols; ++c) sheet.setText(r, c, sheetCell(which, r, c));
  const bool ok = sheet.save(o).kind != vm::SheetSaveResult::Kind::Failed;
  sheet.discard();
  return ok;
}

constexpr const char* kIniHead = "; settings\n[General]\nAutoSave=1\n";

std::vector<FileType> fileTypes() {
  std::vector<FileType> types;
  types.push_back(FileType{
      "note", "note.txt",
      [](const path& file, int which) {
        vm::SaveResult r = vm::saveNoteFile(file, noteText(which), std::nullopt, vm::LocalTime{});
        return r.kind == vm::SaveResult::Kind::Saved;
      },
      [](int which) { return noteText(which); }});
  types.push_back(FileType{
      "ini", "vellumark.ini",
      [](const path& file, int which) {
        if (!vm::isRegularFile(file) && !vm::writeFileAtomic(file, kIniHead)) return false;
        return vm::ini::writeKey(file, "General", "Big", iniValue(which));
      },
      [](int which) { return std::string(kIniHead) + "Big=" + iniValue(which) + "\n"; }});
  // A sheet save (open, 12,000 cells set, backup, write) takes some
  // 100 ms: kills come later, so that saves finish as well as break.
  types.push_back(FileType{"sheet", "sheet.csv", saveSheet, [](int which) { return sheetBytes(which); }, 400000});
  return types;
}

int countTemps(const path& folder) {
  int n = 0;
  std::error_code ec;
  for (auto it = sfs::directory_iterator(folder, ec); !ec && it != sfs::directory_iterator(); it.increment(ec))
    if (it->path().filename().string().starts_with(vm::kSaveTempPrefix)) ++n;
  return n;
}

struct Result {
  int kills = 0;
  int wrong = 0;          // the file held neither content
  int leftovers = 0;      // temporaries found after kills, before the clean-up
  int afterCleanup = 0;   // temporaries the clean-up left
  long saves = 0;         // saves the children finished
};

Result run(const FileType& type, const path& folder, int kills, std::mt19937& rng) {
  Result res;
  sfs::create_directories(folder);
  const path file = folder / type.fileName;
  if (!type.save(file, 0)) {
    std::fprintf(stderr, "%s: the first save failed\n", type.name.c_str());
    res.wrong = kills;
    return res;
  }
  // Saves finished by the child, seen by the parent through shared memory.
  auto* done = static_cast<std::atomic<long>*>(
      ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  std::uniform_int_distribution<int> delayUs(200, type.maxDelayUs);
  for (int k = 0; k < kills; ++k) {
    done->store(0);
    pid_t child = ::fork();
    if (child < 0) {
      std::fprintf(stderr, "%s: fork failed\n", type.name.c_str());
      break;
    }
    if (child == 0) {
      // The saver never outlives the test, whatever stops the parent.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() == 1) ::_exit(4);
      for (int which = 1;; which ^= 1) {
        if (!type.save(file, which)) ::_exit(3);
        done->fetch_add(1);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFSIGNALED(status)) std::fprintf(stderr, "%s: the child stopped by itself\n", type.name.c_str());
    ++res.kills;
    res.saves += done->load();
    const std::string now = vm::readWholeFile(file).value_or("<unreadable>");
    if (now != type.onDisk(0) && now != type.onDisk(1)) {
      ++res.wrong;
      std::fprintf(stderr, "%s: after kill %d the file holds %zu bytes, neither content\n", type.name.c_str(), k,
                   now.size());
    }
    // The sheet's backups go to a folder of their own beside it.
    const path info = folder / "info";
    res.leftovers += countTemps(folder) + countTemps(info);
    // The next start's clean-up: nothing of this process is saving now.
    vm::removeStaleTempFiles(folder, 0);
    if (vm::isDirectory(info)) vm::removeStaleTempFiles(info, 0);
    res.afterCleanup += countTemps(folder) + countTemps(info);
  }
  ::munmap(done, sizeof(std::atomic<long>));
  return res;
}

}  // namespace

int main(int argc, char** argv) {
  int kills = 50;
  std::string only;
  unsigned seed = std::random_device{}();
  path dir;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--kills") kills = std::atoi(next().c_str());
    else if (a == "--only") only = next();
    else if (a == "--seed") seed = static_cast<unsigned>(std::strtoul(next().c_str(), nullptr, 10));
    else if (a == "--dir") dir = next();
    else {
      std::fprintf(stderr, "usage: crash_test [--kills N] [--only TYPE] [--seed S] [--dir FOLDER]\n");
      return 2;
    }
  }
  bool own = dir.empty();
  if (own) {
    std::string tmpl = (sfs::temp_directory_path() / "vm-crash-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 2;
    dir = tmpl;
  }
  std::mt19937 rng(seed);
  std::printf("crash test: %d kills per file type, seed %u\n", kills, seed);
  bool ok = true;
  for (const FileType& type : fileTypes()) {
    if (!only.empty() && only != type.name) continue;
    Result r = run(type, dir / type.name, kills, rng);
    std::printf("%-5s kills %d, saves finished %ld, wrong contents %d, temporaries left by kills %d, after clean-up %d\n",
                type.name.c_str(), r.kills, r.saves, r.wrong, r.leftovers, r.afterCleanup);
    ok = ok && r.wrong == 0 && r.afterCleanup == 0 && r.kills == kills;
  }
  if (own) {
    std::error_code ec;
    sfs::remove_all(dir, ec);
  }
  std::printf(ok ? "PASS\n" : "FAIL\n");
  return ok ? 0 : 1;
}
