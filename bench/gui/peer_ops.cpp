// One operation of the program per process, so that it can be timed as a
// whole beside other programs doing the same work (scripts/compare-peers.sh):
//
//   vellumark_peer_ops data DIR            make the data sets in DIR
//   vellumark_peer_ops csv FILE            open a spreadsheet and save it
//   vellumark_peer_ops list FOLDER         the File List of a folder (read, sort)
//   vellumark_peer_ops render FILE.md      a Markdown note to its page
//   vellumark_peer_ops md4c FILE.md        the same note through md4c alone
//   vellumark_peer_ops search FOLDER TERM  the Multibar's "?d TERM" in a folder
//
// Each operation runs the code the window runs for it. The exit status is 0
// when the operation did what it should (a search exits 1 when the term was
// found, like grep's opposite, since the anchors look for a missing word).
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "browse/listing.h"
#include "../gap_pump.h"
#include "browse/search.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "render/markup.h"
#include "sheet/sheet.h"
#include "../sheet_data.h"

namespace {

namespace fs = std::filesystem;

bool writeFile(const fs::path& p, const std::string& text) {
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

// Pseudo-random numbers, the same on every run.
struct Lcg {
  unsigned seed;
  unsigned operator()() { return (seed = seed * 1103515245u + 12345u) >> 8; }
};

const char* const kWords[] = {"meeting", "garden",  "invoice", "river",  "lantern", "project", "budget",
                              "station", "harbour", "letter",  "winter", "summary", "kitchen", "orchard",
                              "ticket",  "bridge",  "pattern", "signal", "doctor",  "holiday"};

std::string prose(Lcg& next, std::size_t bytes) {
  std::string out;
  while (out.size() < bytes) {
    for (int w = 0; w < 12; ++w) {
      out += kWords[next() % 20];
      out += ' ';
    }
    out += '\n';
  }
  return out;
}

// A Markdown note of about `bytes`: headings, paragraphs with emphasis,
// code spans and links, lists, tables and fenced code.
std::string markdown(std::size_t bytes) {
  Lcg next{7};
  std::string out = "# A long note\n\n";
  for (int s = 1; out.size() < bytes; ++s) {
    out += "## Section " + std::to_string(s) + "\n\n";
    for (int p = 0; p < 3; ++p) {
      for (int w = 0; w < 40; ++w) {
        const std::string word = kWords[next() % 20];
        switch (next() % 9) {
          case 0: out += "*" + word + "* "; break;
          case 1: out += "**" + word + "** "; break;
          case 2: out += "`" + word + "()` "; break;
          case 3: out += "[" + word + "](https://example.org/" + word + ") "; break;
          default: out += word + " ";
        }
      }
      out += "\n\n";
    }
    out += "- " + std::string(kWords[next() % 20]) + "\n- " + kWords[next() % 20] + "\n\n";
    out += "| a | b |\n|---|---|\n| " + std::to_string(next() % 100) + " | " + kWords[next() % 20] + " |\n\n";
    out += "```\nint x = " + std::to_string(s) + ";\n```\n\n";
  }
  return out;
}

// The data sets: folder10k/ (10,000 small files), roots/notes1..3 (1,000
// notes each), big.md (1 MB of Markdown), rows100k.csv (about 10 MB) and
// rows1m.csv (about 100 MB).
int makeData(const fs::path& dir) {
  Lcg next{99};
  for (int i = 0; i < 10000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file %05d.%s", i, i % 5 == 0 ? "txt" : "md");
    if (!writeFile(dir / "folder10k" / name, "a small file\n")) return 1;
  }
  for (int r = 1; r <= 3; ++r) {
    const fs::path root = dir / "roots" / ("notes" + std::to_string(r));
    for (int i = 0; i < 1000; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "note %04d.md", i);
      if (!writeFile(root / name, "# Note " + std::to_string(i) + "\n\n" + prose(next, 1500))) return 1;
    }
  }
  if (!writeFile(dir / "big.md", markdown(1 << 20))) return 1;
  if (!vmbench::writeSheetFile(dir / "rows100k.csv", 100000) ||
      !vmbench::writeSheetFile(dir / "rows1m.csv", 1000000)) return 1;
  return 0;
}

int csvOpenSave(const std::string& file) {
  vm::SheetOptions o;
  o.makeBackups = false;
  o.saveWidths = false;
  o.fileInfoFolder = (fs::path(file).parent_path() / "file_info").string();
  vm::Sheet sheet;
  if (!sheet.open(file, o).ok()) {
    std::fprintf(stderr, "vellumark_peer_ops: cannot open %s\n", file.c_str());
    return 1;
  }
  sheet.setModified(true);
  const vm::SheetSaveResult saved = sheet.save(o);
  if (saved.kind != vm::SheetSaveResult::Kind::Saved) {
    std::fprintf(stderr, "vellumark_peer_ops: cannot save %s\n", file.c_str());
    return 1;
  }
  return 0;
}

int listFolder(const std::string& folder) {
  vm::ListModel folders, files;
  vm::Listing listing(folders, files, nullptr);
  vm::ListingRules rules;
  rules.hideProgramFiles = false;
  listing.listFilesFull(folder, rules, true);
  return files.size() > 0 ? 0 : 1;
}

int render(const std::string& file, bool md4cAlone) {
  if (md4cAlone) {
    const auto text = vm::readWholeFile(file);
    if (!text) return 1;
    const std::string html = vm::markdownToHtml(*text);
    return std::fwrite(html.data(), 1, html.size(), stdout) == html.size() ? 0 : 1;
  }
  const std::string dir = fs::path(file).parent_path().string();
  const std::string page = vm::newPagePath(dir);
  const bool ok = vm::renderMarkupFile(
      file, page, vm::kRenderMarkdown | vm::kRenderWiki | vm::kRenderLineBreaks | vm::kRenderMarkdownNote,
      vm::PageContext{dir, ""});
  std::error_code ec;
  fs::remove(page, ec);
  return ok ? 0 : 1;
}

int search(const std::string& folder, const std::string& term) {
  std::vector<vm::DirEntry> entries;
  if (!vm::readDirectory(folder, entries)) return 2;
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return vm::compareNoCase(a, b) < 0; });
  bool opened = false;
  vm::SearchHooks h;
  h.currentFolder = [&] { return folder; };
  h.fileNames = [&] { return names; };
  h.openEntry = [&](std::size_t, const std::string&) { opened = true; };
  h.shownViewer = [] { return vm::ShownViewer::Other; };
  h.findInShown = [](const std::string&, bool) { return false; };
  h.viewMode = [] { return false; };
  h.switchToEditMode = [] {};
  h.keywordsOf = [](const std::string&) { return std::vector<std::string>{}; };
  h.checkFileNames = [] { return true; };
  h.say = [](const std::string&) {};
  GapPump pump;  // steps as the window does, never stopping
  h.pump = &pump;
  vm::Search s(h);
  s.multibar("?d " + term);
  return opened ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string op = argc > 1 ? argv[1] : "";
  if (op == "data" && argc == 3) return makeData(argv[2]);
  if (op == "csv" && argc == 3) return csvOpenSave(argv[2]);
  if (op == "list" && argc == 3) return listFolder(argv[2]);
  if (op == "render" && argc == 3) return render(argv[2], false);
  if (op == "md4c" && argc == 3) return render(argv[2], true);
  if (op == "search" && argc == 4) return search(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: vellumark_peer_ops data DIR | csv FILE | list FOLDER | render FILE.md | md4c FILE.md |\n"
               "       search FOLDER TERM\n");
  return 2;
}
