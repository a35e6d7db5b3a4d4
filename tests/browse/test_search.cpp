#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "browse/file_kinds.h"
#include "browse/search.h"
#include "fakes/fake_ports.h"
#include "fakes/temp_dir.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace vm {
namespace {

using test::FakePump;
using test::TempDir;

// A window without a window: a folder of files listed in a fixed order; an
// opened entry is shown by the viewer its extension and the mode choose; the
// text viewer and the sheet search the file's text as the real ones do (a
// remembered position, not found once after the last hit).
struct FakeWindow {
  TempDir dir;
  std::string folder = dir.str();
  std::vector<std::string> names;
  bool viewMode = false;
  bool checkNames = true;
  int modeSwitches = 0;
  std::vector<std::string> opened;    // names in the order they were opened
  std::vector<std::string> messages;  // status messages
  std::map<std::string, std::vector<std::string>> keywords;  // by full path
  std::vector<std::string> keywordReads;
  std::string shown;  // name of the open file
  DocumentFind textFind;
  std::optional<TextHit> selection;
  FakePump pump;  // quitAfter >= 0: the work stops after that many steps

  Search search{hooks()};

  SearchHooks hooks() {
    SearchHooks h;
    h.currentFolder = [this] { return folder; };
    h.fileNames = [this] { return names; };
    h.openEntry = [this](std::size_t i, const std::string& name) {
      EXPECT_EQ(names.at(i), name);
      shown = name;
      opened.push_back(shown);
      selection.reset();
    };
    h.shownViewer = [this] { return viewer(); };
    h.findInShown = [this](const std::string& term, bool fromStart) {
      if (shown.empty() || viewer() == ShownViewer::Other) return false;
      const std::string text = readWholeFile(joinPath(folder, shown)).value_or("");
      selection = textFind.find(text, term, fromStart);
      return selection.has_value();
    };
    h.viewMode = [this] { return viewMode; };
    h.switchToEditMode = [this] {
      viewMode = false;
      ++modeSwitches;
    };
    h.keywordsOf = [this](const std::string& path) {
      keywordReads.push_back(lastComponent(path));
      auto it = keywords.find(path);
      return it == keywords.end() ? std::vector<std::string>{} : it->second;
    };
    h.checkFileNames = [this] { return checkNames; };
    h.say = [this](const std::string& text) { messages.push_back(text); };
    h.pump = &pump;
    return h;
  }
  ShownViewer viewer() const {
    if (shown.empty()) return ShownViewer::Other;
    const std::string ext = extensionOf(shown);
    if (equalsNoCase(ext, ".csv")) return ShownViewer::Sheet;
    if (equalsNoCase(ext, ".txt") || (!viewMode && equalsNoCase(ext, ".md"))) return ShownViewer::Text;
    return ShownViewer::Other;
  }
  void add(const std::string& name, const std::string& content) {
    dir.write(name, content);
    names.push_back(name);
  }
  std::string path(const std::string& name) const { return joinPath(folder, name); }
  std::string lastMessage() const { return messages.empty() ? std::string() : messages.back(); }
  // The selected occurrence as "name@offset+length".
  std::string hit() const {
    if (!selection) return shown + "@none";
    return shown + "@" + std::to_string(selection->offset) + "+" + std::to_string(selection->length);
  }
};

TEST(Search, TermIsTheTextAfterThePrefixWithoutLeadingBlanks) {
  EXPECT_EQ(Search::termOf("?d  two words  "), "two words  ");
  EXPECT_EQ(Search::termOf("?D x"), "x");
  EXPECT_EQ(Search::termOf("?K urgent"), "urgent");
  EXPECT_EQ(Search::termOf("? find me"), "find me");
  EXPECT_EQ(Search::termOf("??"), "?");
  EXPECT_EQ(Search::termOf("   plain"), "plain");
  EXPECT_EQ(Search::termOf("?d" + std::string(300, 'a')).size(), 259u);
  EXPECT_EQ(Search::termOf("?d" + std::string(258, 'a') + "é").size(), 258u);  // no half character
}

TEST(Search, OnlySearchPrefixesAreTaken) {
  FakeWindow w;
  EXPECT_FALSE(w.search.multibar("notes.txt"));
  EXPECT_FALSE(w.search.multibar("kw urgent"));
  EXPECT_EQ(w.search.kind(), Search::kNone);
  EXPECT_TRUE(w.search.multibar("?dx"));
  EXPECT_EQ(w.search.kind(), Search::kDirectory);
  EXPECT_TRUE(w.search.multibar("?kx"));
  EXPECT_EQ(w.search.kind(), Search::kKeyword);
  EXPECT_TRUE(w.search.multibar("?x"));
  EXPECT_EQ(w.search.kind(), Search::kDocument);
  w.search.clearKind();
  w.messages.clear();
  w.search.next("");
  EXPECT_TRUE(w.messages.empty());
}

TEST(Search, SearchableFilesAreTheBuiltInListAndTheTextViewersExtensions) {
  FakeWindow w;
  for (const char* n : {"a.txt", "b.LOG", "c.md", "d.svg", "e.css", "f.tn", "g.csv", "h.Cpp"})
    EXPECT_TRUE(w.search.isSearchable(n)) << n;
  for (const char* n : {"a.png", "b.zip", "c.org", "noext", "txt", "d.txt.bak"}) EXPECT_FALSE(w.search.isSearchable(n)) << n;
  w.search.setTextExtensions({".org", ".TEX"});
  EXPECT_TRUE(w.search.isSearchable("c.org"));
  EXPECT_TRUE(w.search.isSearchable("paper.tex"));
}

// "?d" with a term twice in one note and once in another.
TEST(Search, DirectorySearchWalksOccurrencesThenFilesThenStops) {
  FakeWindow w;
  w.add("a.txt", "nothing here");
  w.add("b.txt", "one Apple, two apples");
  w.add("c.png", "apple");  // a picture: its content is not read, its name does not match
  w.add("d.txt", "an APPLE");
  w.add("e.txt", "pears");
  ASSERT_TRUE(w.search.multibar("?d apple"));
  EXPECT_EQ(w.opened, (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(w.hit(), "b.txt@4+5");
  w.search.next("?d apple");
  EXPECT_EQ(w.hit(), "b.txt@15+5");
  w.search.next("?d apple");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"b.txt", "d.txt"}));
  EXPECT_EQ(w.hit(), "d.txt@3+5");
  EXPECT_TRUE(w.messages.empty());
  w.search.next("");
  EXPECT_EQ(w.lastMessage(), "Search term not found");
  // No wrapping: the shown note's occurrence is not found again either.
  w.search.next("");
  EXPECT_EQ(w.messages.size(), 2u);
  EXPECT_EQ(w.lastMessage(), "Search term not found");
  EXPECT_EQ(w.opened.size(), 2u);
  // A new "?d" starts over.
  w.search.multibar("?d apple");
  EXPECT_EQ(w.opened.back(), "b.txt");
  EXPECT_EQ(w.hit(), "b.txt@4+5");
}

TEST(Search, NameHitOpensAPictureWhoseContentIsNotSearched) {
  FakeWindow w;
  w.add("holiday.png", std::string("\x89PNG\0\0", 6));
  w.add("notes.txt", "the holiday plans");
  w.search.multibar("?d HOLIDAY");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"holiday.png"}));
  EXPECT_TRUE(w.messages.empty());
  // Search next leaves the picture for the next match.
  w.search.next("");
  EXPECT_EQ(w.opened.back(), "notes.txt");
  EXPECT_EQ(w.hit(), "notes.txt@4+7");

  // Without file names, only content counts.
  FakeWindow off;
  off.checkNames = false;
  off.add("holiday.png", "holiday");
  off.add("notes.txt", "holiday");
  off.search.multibar("?d holiday");
  EXPECT_EQ(off.opened, (std::vector<std::string>{"notes.txt"}));
}

TEST(Search, NameHitOnANoteWithoutTheTermStopsThere) {
  FakeWindow w;
  w.add("budget.txt", "figures only");
  w.add("plan.txt", "the budget");
  w.search.multibar("?d budget");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"budget.txt"}));
  EXPECT_EQ(w.hit(), "budget.txt@none");
  w.search.next("");
  EXPECT_EQ(w.opened.back(), "plan.txt");
  EXPECT_EQ(w.hit(), "plan.txt@4+6");
}

TEST(Search, DirectorySearchSwitchesToEditModeAndReachesSheets) {
  FakeWindow w;
  w.viewMode = true;
  w.add("list.md", "# Groceries\nmilk");
  w.add("table.csv", "item,count\nMilk,2\n");
  w.search.multibar("?d milk");
  EXPECT_EQ(w.modeSwitches, 1);
  EXPECT_EQ(w.hit(), "list.md@12+4");
  w.search.next("");
  EXPECT_EQ(w.hit(), "table.csv@11+4");
  // F3 in View mode switches again.
  w.viewMode = true;
  w.search.next("");
  EXPECT_EQ(w.modeSwitches, 2);
  EXPECT_EQ(w.lastMessage(), "Search term not found");
}

TEST(Search, ChangingFolderStartsTheDirectorySearchOver) {
  FakeWindow w;
  w.add("a.txt", "term");
  w.add("b.txt", "term");
  w.search.multibar("?d term");
  w.search.next("");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"a.txt", "b.txt"}));
  std::filesystem::path moved = w.dir.mkdir("sub");
  w.dir.write("sub/a.txt", "term");
  w.folder = moved.string();
  w.search.next("");
  EXPECT_EQ(w.opened.back(), "a.txt");
  EXPECT_EQ(w.opened.size(), 3u);
  EXPECT_TRUE(w.messages.empty());
}

TEST(Search, AwkwardFilesAreSkipped) {
  FakeWindow w;
  w.add("binary.txt", std::string("head\0needle after the NUL", 25));
  w.add("latin.txt", "Caf\xE9");  // Windows-1252
  ASSERT_EQ(::mkfifo(w.path("pipe.txt").c_str(), 0600), 0);
  w.names.push_back("pipe.txt");
  std::filesystem::create_symlink(w.path("gone.txt"), w.path("dangling.txt"));
  w.names.push_back("dangling.txt");
  w.names.push_back("vanished.txt");  // listed, then deleted
  w.add("found.txt", "a needle");
  w.search.multibar("?d needle");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"found.txt"}));
  w.search.multibar("?d CAFÉ");
  EXPECT_EQ(w.opened.back(), "latin.txt");
}

TEST(Search, QuittingStopsTheDirectorySearchSilently) {
  FakeWindow w;
  for (int i = 0; i < 20; ++i) w.add("n" + std::to_string(i) + ".txt", "plain");
  w.add("z.txt", "target");
  w.pump.quitAfter = 5;
  w.search.multibar("?d target");
  EXPECT_TRUE(w.opened.empty());
  EXPECT_TRUE(w.messages.empty());

  // Cancelled by the user (Esc): it says so, and F3 takes up where it stopped.
  FakeWindow c;
  for (int i = 0; i < 20; ++i) c.add("n" + std::to_string(i) + ".txt", "plain");
  c.add("z.txt", "target");
  c.pump.quitAfter = 5;
  c.pump.byUser = true;
  c.search.multibar("?d target");
  EXPECT_TRUE(c.opened.empty());
  EXPECT_EQ(c.messages, std::vector<std::string>{"Search cancelled"});
  c.pump.quitAfter = -1;
  c.search.next("");
  EXPECT_EQ(c.opened, std::vector<std::string>{"z.txt"});
}

TEST(Search, LongSearchesShowTheirProgressAndHideIt) {
  FakeWindow w;
  for (int i = 0; i < 40; ++i) w.add("n" + std::to_string(i) + ".txt", "plain");
  w.add("z.txt", "target");
  w.pump.stepMs = 20;  // the progress shows after the first moment
  w.search.multibar("?d target");
  EXPECT_EQ(w.opened, std::vector<std::string>{"z.txt"});
  ASSERT_GE(w.pump.shown.size(), 2u);
  EXPECT_EQ(w.pump.shown.back(), -1);
  EXPECT_TRUE(std::is_sorted(w.pump.shown.begin(), w.pump.shown.end() - 1));
  EXPECT_GT(w.pump.shown.end()[-2], 50);
}

TEST(Search, EmptyDirectoryTermFindsNothing) {
  FakeWindow w;
  w.add("a.txt", "text");
  w.search.multibar("?d   ");
  EXPECT_TRUE(w.opened.empty());
  EXPECT_EQ(w.lastMessage(), "Search term not found");
}

// "?" for a term that is not in the note: no message; F3 then says so.
TEST(Search, DocumentSearchIsSilentButSearchNextReportsNotFound) {
  FakeWindow w;
  w.add("note.txt", "alpha beta alpha");
  w.shown = "note.txt";
  w.search.multibar("?gamma");
  EXPECT_TRUE(w.messages.empty());
  w.search.next("");
  EXPECT_EQ(w.lastMessage(), "Search term not found");
  // After the last occurrence: not found once, then from the top again.
  w.messages.clear();
  w.search.multibar("? ALPHA");
  EXPECT_EQ(w.hit(), "note.txt@0+5");
  w.search.next("");
  EXPECT_EQ(w.hit(), "note.txt@11+5");
  w.search.next("");
  EXPECT_EQ(w.hit(), "note.txt@none");
  EXPECT_EQ(w.messages, (std::vector<std::string>{"Search term not found"}));
  w.search.next("");
  EXPECT_EQ(w.hit(), "note.txt@0+5");
  // The Multibar's text, when there is one, is the term of Search next.
  w.search.next("?beta");
  EXPECT_EQ(w.hit(), "note.txt@6+4");
}

TEST(Search, DocumentSearchInSheetsAndElsewhere) {
  FakeWindow w;
  w.add("t.csv", "a,b\nc,d\n");
  w.add("p.png", "png");
  w.shown = "t.csv";
  w.search.multibar("?zz");
  EXPECT_EQ(w.lastMessage(), "Search term not found");
  w.messages.clear();
  w.shown = "p.png";
  w.search.multibar("?png");
  w.search.next("");
  EXPECT_TRUE(w.messages.empty());
}

// "?k" with a keyword two files carry.
TEST(Search, KeywordSearchOpensEachFileThenReportsNotFound) {
  FakeWindow w;
  w.add("a.txt", "");
  w.add("b.txt", "");
  w.add("c.txt", "");
  w.add("d.txt", "");
  w.keywords[w.path("b.txt")] = {"home", "Urgent"};
  w.keywords[w.path("c.txt")] = {"urgent stuff"};  // a whole keyword only
  w.keywords[w.path("d.txt")] = {"URGENT"};
  w.search.multibar("?k urgent");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"b.txt"}));
  w.search.next("");
  EXPECT_EQ(w.opened, (std::vector<std::string>{"b.txt", "d.txt"}));
  w.search.next("");
  EXPECT_EQ(w.lastMessage(), "Keyword 'urgent' not found");
  EXPECT_EQ(w.opened.size(), 2u);
  // No wrapping; the Multibar restarts.
  w.search.next("");
  EXPECT_EQ(w.opened.size(), 2u);
  w.search.multibar("?k urgent");
  EXPECT_EQ(w.opened.back(), "b.txt");
  // Every file examined had its keywords read, in list order.
  EXPECT_EQ(w.keywordReads, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "a.txt", "b.txt"}));
  // Search next in another folder starts at its first entry.
  w.folder = w.dir.mkdir("other").string();
  w.keywords[joinPath(w.folder, "a.txt")] = {"Urgent"};
  w.search.next("");
  EXPECT_EQ(w.opened.back(), "a.txt");
}

}  // namespace
}  // namespace vm
