// The pages of a fixed set of notes under every render switch, held against
// a record of their digests (page_record.txt beside this file): a change to
// the chain's speed must not change one byte of any page. The notes are the
// test documents, the fuzz seeds, the CommonMark examples and generated notes
// full of wiki and Markdown markup with every kind of line end.
//
// After a change that is meant to change pages, write the record again with
//   VELLUMARK_WRITE_PAGE_RECORD=1 test_render --gtest_filter='PageRecord.*'
// and VELLUMARK_PAGE_DUMP=<folder> writes every page there, for a diff
// between two builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "render/markdown_note.h"
#include "render/markup.h"
#include "render/wiki.h"

namespace {

namespace fs = std::filesystem;
using std::string;
using std::string_view;

const fs::path kRecord = fs::path(VELLUMARK_TEST_DATA).parent_path() / "render" / "page_record.txt";

std::uint64_t digest(string_view s) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

struct Note {
  string name;
  string text;
};

void addFolder(std::vector<Note>& notes, const fs::path& dir, const string& prefix) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& p : files) {
    const string ext = p.extension().string();
    if (ext == ".html" || ext == ".htm") continue;  // expected pages, not notes
    if (auto text = vm::readWholeFile(p)) notes.push_back({prefix + fs::relative(p, dir).generic_string(), *text});
  }
}

// The "markdown" values of the CommonMark examples file.
void addCommonMark(std::vector<Note>& notes) {
  const auto json = vm::readWholeFile(fs::path(VELLUMARK_TEST_DATA) / "commonmark" / "examples.json");
  if (!json) return;
  constexpr string_view kKey = "\"markdown\": \"";
  int n = 0;
  for (std::size_t at = json->find(kKey); at != string::npos; at = json->find(kKey, at)) {
    at += kKey.size();
    string text;
    while (at < json->size() && (*json)[at] != '"') {
      char c = (*json)[at++];
      if (c == '\\' && at < json->size()) {
        const char e = (*json)[at++];
        if (e == 'n') c = '\n';
        else if (e == 't') c = '\t';
        else if (e == 'r') c = '\r';
        else if (e == 'u') {
          const unsigned cp = static_cast<unsigned>(std::stoul(json->substr(at, 4), nullptr, 16));
          at += 4;
          if (cp < 0x80) {
            text += static_cast<char>(cp);
          } else if (cp < 0x800) {
            text += static_cast<char>(0xC0 | (cp >> 6));
            text += static_cast<char>(0x80 | (cp & 0x3F));
          } else {
            text += static_cast<char>(0xE0 | (cp >> 12));
            text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (cp & 0x3F));
          }
          continue;
        } else {
          c = e;
        }
      }
      text += c;
    }
    notes.push_back({"commonmark/" + std::to_string(++n), std::move(text)});
  }
}

// Notes made of pieces of every markup the chain knows, in random order,
// with LF, CR LF or (rarely) lone CR line ends, now and then a line longer
// than a converter piece.
string generatedNote(unsigned seed) {
  static const char* pieces[] = {
      "word ", "other words ", "[Page] ", "[[target][shown text]] ", "[two words] ", "[a](http://x.org/a) ",
      "![pic](imgs\\p.png) ", "http://example.com/path ", "https://x.org/q?a=1. ", " =italic= ", " _under_ ",
      "**bold** ", "~~gone~~ ", "`code` ", "``two ` ticks`` ", "<b>tag</b> ", "<br/>", "<!-- note --> ",
      "<http://auto.link> ", "<me@mail.org> ", "[$pic.png$] ", "[!NOTE] ", "[^1] ", "[ref] ", "\\[esc\\] ",
      "a\\ ", "trailing  ", "[< a <b> >] ", "[{ curly }] ", "[| pre <x> |] ", "--> centred <-- ", "-->",
      "<--", "[<", ">]", "[|", "|]", "é ü 日本 ", "\xff\xfe bad ", "\x1A" "0\x1B ", "[x] ", "*star* ", "_em_ ",
      "[[a][b]] [[c][d]] ", "[label]: http://def.org ", "`open ", "close` ", "[text\n", "](http://y)", "|", "+",
      "=", "_", "*", "$", "[", "]", ":", "-", "<", ">"};
  static const char* starts[] = {"", "", "", "", "", "", "# ", "## ", "+", "++", "+++ ", "+ ", "- ", "* ", "1. ",
                                 "2) ", "> ", "> > ", "    ", "\t", "|", "|a|b|", "|---|:-:|", "- [ ] ", "- [x] ",
                                 "[ref]: ", "   ", "10. ", "=", "-"};
  static const char* whole[] = {"```", "```sh", "~~~", "    code line", "___", "***", "* * *", "---", "===",
                                "Title\n=====", "<div>", "</div>", "<pre>", "</pre>", "<!--", "-->",
                                "<?php x ?>", "<![CDATA[ x ]]>", "<!DOCTYPE html>", "<custom attr=\"1\">",
                                "", "", "", "", "|x|y|z|", "|1|2|3|", "1.", "[def]:", "  http://dest.org",
                                "  \"title\""};
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const string eol = next(6) == 0 ? "\r\n" : "\n";
  string out;
  const unsigned lines = 10 + next(60);
  for (unsigned l = 0; l < lines; ++l) {
    if (next(4) == 0) {
      out += whole[next(std::size(whole))];
    } else {
      out += starts[next(std::size(starts))];
      const unsigned count = next(12);
      for (unsigned p = 0; p < count; ++p) out += pieces[next(std::size(pieces))];
      if (next(40) == 0) out += string(1000 + next(3000), "ab[]= _"[next(7)]);
    }
    out += next(50) == 0 ? string("\r") : next(15) == 0 ? string() : eol;
  }
  return out;
}

std::vector<Note> allNotes() {
  std::vector<Note> notes;
  const fs::path data(VELLUMARK_TEST_DATA);
  for (const char* folder : {"markdown", "markdown-real", "wiki"}) addFolder(notes, data / folder, string(folder) + "/");
  const fs::path corpus = data.parent_path().parent_path() / "fuzz" / "corpus";
  for (const char* target : {"wiki", "render_chain", "note_highlight"})
    addFolder(notes, corpus / target, string("fuzz/") + target + "/");
  addCommonMark(notes);
  for (unsigned seed = 1; seed <= 400; ++seed) notes.push_back({"generated/" + std::to_string(seed), generatedNote(seed)});
  return notes;
}

// Every page of one note, by a name for the function and its switches.
std::vector<std::pair<string, string>> pagesOf(const string& text) {
  std::vector<std::pair<string, string>> pages;
  for (unsigned bits = 0; bits < 16; ++bits) {
    const unsigned switches = ((bits & 1) ? vm::kRenderMarkdown : 0) | ((bits & 2) ? vm::kRenderWiki : 0) |
                              ((bits & 4) ? vm::kRenderLineBreaks : 0) | ((bits & 8) ? vm::kRenderMarkdownNote : 0);
    pages.emplace_back("body" + std::to_string(switches), vm::renderMarkupBody(text, switches));
  }
  for (bool marks : {true, false})
    for (bool note : {false, true})
      pages.emplace_back(string("wiki") + (marks ? "M" : "") + (note ? "N" : ""),
                         vm::wikiToHtml(text, {.markLineEnds = marks, .markdownNote = note}));
  for (bool wiki : {false, true})
    for (bool breaks : {false, true})
      pages.emplace_back(string("note") + (wiki ? "W" : "") + (breaks ? "B" : ""),
                         vm::prepareMarkdownNote(text, {.wiki = wiki, .lineBreaks = breaks}));
  pages.emplace_back("breaks", vm::lineBreakPass(text));
  return pages;
}

std::map<string, string> readRecord() {
  std::map<string, string> record;
  std::ifstream in(kRecord);
  string key, value;
  while (in >> key >> value) record[key] = value;
  return record;
}

string hex(std::uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// The record holds one digest per note (over all its pages) and one per
// page kind (over all notes), so a change shows which notes and which
// functions and switches it touched, in a record of a few thousand lines.
TEST(PageRecord, EveryPageIsAsRecorded) {
  const std::vector<Note> notes = allNotes();
  ASSERT_GT(notes.size(), 1000u);
  const bool write = std::getenv("VELLUMARK_WRITE_PAGE_RECORD") != nullptr;
  const char* dump = std::getenv("VELLUMARK_PAGE_DUMP");
  std::vector<std::pair<string, std::uint64_t>> order;  // the record's lines, notes first
  std::map<string, std::uint64_t> perKind;
  std::vector<string> kinds;
  std::size_t pages = 0;
  for (const Note& note : notes) {
    std::uint64_t all = digest({});
    for (const auto& [what, page] : pagesOf(note.text)) {
      const std::uint64_t d = digest(page);
      all = all * 31 + d;
      if (!perKind.count(what)) kinds.push_back(what);
      perKind[what] = perKind[what] * 31 + d;
      ++pages;
      if (dump) {
        string file = note.name + ":" + what;
        std::replace(file.begin(), file.end(), '/', '_');
        std::ofstream(fs::path(dump) / file, std::ios::binary) << page;
      }
    }
    string key = note.name;
    std::replace(key.begin(), key.end(), ' ', '_');
    order.emplace_back(key, all);
  }
  for (const string& kind : kinds) order.emplace_back("kind:" + kind, perKind[kind]);
  if (write) {
    std::ofstream out(kRecord, std::ios::binary);
    for (const auto& [key, d] : order) out << key << ' ' << hex(d) << '\n';
    GTEST_SKIP() << "record written to " << kRecord;
  }
  std::map<string, string> record = readRecord();
  ASSERT_FALSE(record.empty()) << "no record at " << kRecord;
  int mismatches = 0;
  for (const auto& [key, d] : order) {
    const auto it = record.find(key);
    if (it == record.end()) {
      ADD_FAILURE() << key << ": not in the record";
      continue;
    }
    if (it->second != hex(d) && ++mismatches <= 20) ADD_FAILURE() << key << ": pages differ from the record";
    record.erase(it);
  }
  EXPECT_EQ(mismatches, 0) << "of " << order.size() << " records, " << pages << " pages";
  EXPECT_TRUE(record.empty()) << record.size() << " recorded notes were not rendered, first " << record.begin()->first;
}

}  // namespace
