// The Multibar, driven through a whole App built on in-memory ports over a
// temporary tree: any lines typed and entered never crash, never write
// outside the tree, and never change a note whose name the lines did not
// hold.
//
// Input: the first byte holds switches (bit 0: start in View mode, bit 1:
// open alpha.txt first, bits 2..7: Ctrl+Enter per line), the rest is up to 8
// lines, each typed into the Multibar and entered.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fakes/fake_ports.h"
#include "fuzz_util.h"
#include "platform/fs.h"
#include "platform/text.h"

using namespace vm;
namespace sfs = std::filesystem;

namespace {

// Notes every run starts with: name -> content.
const std::map<std::string, std::string>& seededNotes() {
  static const std::map<std::string, std::string> notes = {
      {"alpha.txt", "alpha note\nsecond line\n"},
      {"beta.md", "# beta\n\n[[alpha]] and *words*\n"},
      {"gamma.txt", "gamma: kw one, two\n"},
      {"sub/delta.txt", "delta in a folder\n"},
      {"table.csv", "a,b,c\n1,2,3\n"},
  };
  return notes;
}

// Everything the run may write goes under the tree of its harness, itself
// under guard/: the working folder and $HOME point at folders of their own
// that must stay empty, and guard/ must hold nothing else.
struct Guard {
  sfs::path root, cwd, home, tmp;
  Guard() {
    root = fuzz::scratchFolder() / "guard";
    cwd = root / "cwd";
    home = root / "home";
    tmp = root / "tmp";
    for (const auto& p : {cwd, home, tmp}) sfs::create_directories(p);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    if (::chdir(cwd.c_str()) != 0) fuzz::fail("chdir", cwd.string());
  }
};

std::vector<std::string> entriesOf(const sfs::path& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = sfs::recursive_directory_iterator(folder, ec); !ec && it != sfs::recursive_directory_iterator();
       it.increment(ec))
    out.push_back(sfs::relative(it->path(), folder).string());
  return out;
}

std::vector<std::string> topEntries(const sfs::path& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = sfs::directory_iterator(folder, ec); !ec && it != sfs::directory_iterator(); it.increment(ec))
    out.push_back(it->path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& e : v) s += " " + e;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  static Guard guard;
  static const std::vector<std::string> rootAtStart = topEntries("/");
  const unsigned flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> lines;
  for (std::size_t b = 0; b <= text.size() && lines.size() < 8;) {
    std::size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(b, e - b));
    b = e + 1;
  }
  const std::string lower = lowered(text);
  {
    test::RootHarness h;
    for (const auto& [name, content] : seededNotes()) h.dir.write("notes/" + name, content);
    h.viewMode = flags & 1;
    h.start();
    if (flags & 2) h.open("alpha.txt");
    for (std::size_t i = 0; i < lines.size(); ++i) h.enter(lines[i], (flags >> (2 + i % 6)) & 1);
    h.app().shutDown();

    for (const auto& [name, content] : seededNotes()) {
      const std::string leaf = sfs::path(name).filename().string();
      const std::string stem = lowered(sfs::path(name).stem().string());
      if (lower.find(stem) != std::string::npos) continue;
      if (name == "alpha.txt" && (flags & 2)) {
        // Opened before the lines were entered: a command on "the open
        // note" may touch it, but never cut what it held.
        const std::string now = h.file(name);
        FUZZ_CHECK(now == "<missing>" || now.find("alpha note") != std::string::npos,
                   "the open note lost its text: " + now.substr(0, 200));
        continue;
      }
      FUZZ_CHECK(h.file(name) == content, name + " changed without being named: " + h.file(name).substr(0, 200) +
                                               " (" + leaf + ")");
    }
  }
  FUZZ_CHECK(entriesOf(guard.cwd).empty(), "written in the working folder:" + joined(entriesOf(guard.cwd)));
  FUZZ_CHECK(entriesOf(guard.home).empty(), "written in $HOME:" + joined(entriesOf(guard.home)));
  FUZZ_CHECK(entriesOf(guard.tmp).empty(), "left in the temporary folder:" + joined(entriesOf(guard.tmp)));
  std::vector<std::string> top;
  for (const auto& e : sfs::directory_iterator(guard.root)) top.push_back(e.path().filename().string());
  FUZZ_CHECK(top.size() == 3, "written beside the tree:" + joined(top));
  // The harness names "/" as the program's own drive: nothing may appear there.
  FUZZ_CHECK(topEntries("/") == rootAtStart, "written in /:" + joined(topEntries("/")));
  return 0;
}
