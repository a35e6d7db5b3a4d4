#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "browse/listing.h"
#include "fakes/temp_dir.h"
#include "platform/fs.h"

namespace vm {
namespace {

namespace sfs = std::filesystem;
using Names = std::vector<std::string>;
constexpr std::int64_t kNs = 1'000'000'000;

Names names(const ListModel& m) {
  Names out;
  for (const auto& i : m.items()) out.push_back(i.name);
  return out;
}

int iconOf(const ListModel& m, const std::string& name) {
  for (const auto& i : m.items())
    if (i.name == name) return i.icon;
  return -99;
}

// Sets a file's last-write time to whole seconds since the epoch.
void setTime(const sfs::path& p, std::int64_t secs) {
  struct timespec times[2] = {{static_cast<time_t>(secs), 0}, {static_cast<time_t>(secs), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0) << p;
}

struct ListingTest : ::testing::Test {
  test::TempDir dir;
  ListModel folders, files;
  std::vector<std::string> status;
  Listing listing{folders, files, [this](const std::string& s) { status.push_back(s); }};
  ListingRules rules;
  void listRoot() {
    listing.listFolders(dir.str(), dir.str(), rules, false);
    listing.listFilesFull(dir.str(), rules, false);
  }
};

TEST_F(ListingTest, HideRulesAndSubFolderIcon) {
  for (const char* d : {".git", "IMGS", "docs", "withImgs/imgs", "withDot/.hidden"}) dir.mkdir(d);
  for (const char* f : {".profile", "a.tn", "B.TN", "mytn", "note.txt"}) dir.write(f, "x");
  std::string root = dir.str();

  listing.listFolders(root, root, rules, false);
  listing.listFilesFull(root, rules, true);
  EXPECT_EQ(names(folders), (Names{"docs", "withDot", "withImgs"}));
  EXPECT_EQ(names(files), (Names{"mytn", "note.txt"}));
  EXPECT_EQ(status.back(), "Files in " + root);
  // A hidden imgs folder does not count as a sub-folder; a dot folder does.
  EXPECT_EQ(iconOf(folders, "withImgs"), 1);
  EXPECT_EQ(iconOf(folders, "withDot"), 2);
  EXPECT_FALSE(Listing::hasVisibleSubFolders(root + "/missing", false));

  rules.hideHidden = false;
  listRoot();
  EXPECT_EQ(names(folders), (Names{".git", "docs", "withDot", "withImgs"}));
  EXPECT_EQ(names(files), (Names{".profile", "mytn", "note.txt"}));

  rules.hideHidden = true;
  rules.hideProgramFiles = false;
  listRoot();
  EXPECT_EQ(names(folders), (Names{"docs", "IMGS", "withDot", "withImgs"}));
  EXPECT_EQ(names(files), (Names{"a.tn", "B.TN", "mytn", "note.txt"}));
  EXPECT_EQ(iconOf(files, "a.tn"), kKindText);
  EXPECT_EQ(iconOf(folders, "withImgs"), 2);
}

TEST_F(ListingTest, NamesSortIgnoringCaseByFoldedCodePoint) {
  for (const char* n : {"Zebra", "Äpfel", "apfel.txt", "äb", "Mango"}) {
    dir.write(n, "x");
    dir.mkdir(std::string("d") + n);
  }
  std::string root = dir.str();
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"apfel.txt", "Mango", "Zebra", "äb", "Äpfel"}));
  listing.listFolders("/elsewhere", root, rules, false);
  EXPECT_EQ(names(folders), (Names{"[ . . ]", "dapfel.txt", "dMango", "dZebra", "däb", "dÄpfel"}));
}

TEST_F(ListingTest, SortToggling) {
  setTime(dir.write("b.txt", "x"), 1'600'000'000);
  setTime(dir.write("A.txt", "x"), 1'700'000'000);
  setTime(dir.write("c.txt", "x"), 1'500'000'000);
  const Names byName{"A.txt", "b.txt", "c.txt"}, reversed{"c.txt", "b.txt", "A.txt"};
  listing.listFilesFull(dir.str(), rules, false);
  EXPECT_EQ(names(files), byName);
  EXPECT_EQ(files.withTime(0).mtimeNs, 1'700'000'000 * kNs);

  files.setSelected(1);  // b.txt keeps its selection through a sort
  listing.sortFiles(0);
  EXPECT_EQ(names(files), reversed);
  EXPECT_EQ(files.selectedName(), "b.txt");
  // Then name ascending, oldest first, newest first; 7 is not a column: nothing changes.
  for (auto [column, want] : {std::pair{0, byName}, {1, reversed}, {1, byName}, {7, byName}}) {
    listing.sortFiles(column);
    EXPECT_EQ(names(files), want) << column;
  }

  // A new full listing starts over: the next "Sort by Name" is descending.
  listing.listFilesFull(dir.str(), rules, false);
  listing.sortFiles(0);
  EXPECT_EQ(names(files), reversed);

  // Equal dates sort by name.
  for (const char* n : {"b.txt", "A.txt", "c.txt"}) setTime(dir.path() / n, 1'600'000'000);
  listing.listFilesFull(dir.str(), rules, false);
  listing.sortFiles(1);
  EXPECT_EQ(names(files), byName);
}

TEST_F(ListingTest, FilterAndIcons) {
  for (const char* n : {"a.csv", "b.tsv", "c.txt", "d.PNG", "e.zip", "f.html", "g"}) dir.write(n, "x");
  auto tables = ViewerTables::build({}, {}, {"tsv"});
  rules.tables = &tables;
  rules.filter = kFilterSheet;
  listing.listFilesFull(dir.str(), rules, false);
  EXPECT_EQ(names(files), (Names{"a.csv"}));

  rules.filter = 0;
  listing.listFilesFull(dir.str(), rules, false);
  std::vector<int> icons;
  for (const auto& i : files.items()) icons.push_back(i.icon);
  EXPECT_EQ(icons, (std::vector<int>{5, 0, 1, 2, 4, 3, 0}));  // sheet, none, text, image, archive, web, none

  rules.filter = kFilterImage;
  listing.addFile(0, dir.str(), "c.txt", 0, rules);  // filtered out
  listing.addFile(0, dir.str(), "d.PNG", 0, rules);
  EXPECT_EQ(files.size(), 8);
  EXPECT_EQ(files.at(0).name, "d.PNG");
}

TEST_F(ListingTest, InPlaceListingKeepsRecordedTimesUntilFullListing) {
  auto p = dir.write("n.txt", "x");
  setTime(p, 1'500'000'000);
  const std::string root = dir.str();
  listing.listFilesFull(root, rules, false);
  files.setSelected(0);
  const std::string before = files.withTime(0).modified;  // recorded when listed

  setTime(p, 1'600'000'000);
  setTime(dir.write("m.txt", "x"), 1'600'000'000);
  listing.listFilesInPlace(root, rules, false);
  EXPECT_EQ(files.selected(), -1);
  EXPECT_EQ(files.withTime(files.find("n.txt")).modified, before);
  EXPECT_EQ(files.withTime(files.find("m.txt")).modified, modifiedText(1'600'000'000 * kNs));
  EXPECT_EQ(listing.sortState().column, 0);  // untouched
  EXPECT_EQ(names(files), (Names{"m.txt", "n.txt"}));  // ...and its order kept
  listing.sortFiles(0);                       // name descending
  for (const char* name : {"b.txt", "z.txt", "k.txt"}) dir.write(name, "x");
  listing.listFilesInPlace(root, rules, false);
  EXPECT_EQ(names(files), (Names{"z.txt", "n.txt", "m.txt", "k.txt", "b.txt"}));

  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(files.withTime(files.find("n.txt")).modified, modifiedText(1'600'000'000 * kNs));

  // Added singly: time given, or from the file; unreadable gives empty text.
  listing.addFile(0, root, "unknown.txt", 0, rules);
  EXPECT_EQ(files.withTime(0).modified, "");
  listing.addFile(9, root, "given.txt", 1'400'000'000 * kNs, rules);
  EXPECT_EQ(files.withTime(files.find("given.txt")).modified, modifiedText(1'400'000'000 * kNs));

  listing.listFilesFull(root + "/gone", rules, false);
  EXPECT_EQ(files.size(), 0);
}

// Full listings reuse what they know of a name only while its time is the
// one the folder shows; a name met in another folder or gone for a listing
// is not taken for the file now there.
TEST_F(ListingTest, RelistingReadsTimesAgainAcrossFoldersAndReturns) {
  const std::string a = dir.str() + "/a", b = dir.str() + "/b";
  dir.mkdir("a");
  dir.mkdir("b");
  setTime(dir.write("a/same.txt", "x"), 1'500'000'000);
  setTime(dir.write("b/same.txt", "x"), 1'600'000'000);
  setTime(dir.write("a/other.txt", "x"), 1'500'000'000);

  listing.listFilesFull(a, rules, false);
  EXPECT_EQ(files.withTime(files.find("same.txt")).modified, modifiedText(1'500'000'000 * kNs));
  listing.listFilesFull(b, rules, false);
  EXPECT_EQ(files.withTime(files.find("same.txt")).modified, modifiedText(1'600'000'000 * kNs));
  listing.listFilesFull(a, rules, false);
  EXPECT_EQ(files.withTime(files.find("same.txt")).modified, modifiedText(1'500'000'000 * kNs));

  // Gone for one full listing, then back with another time: a listing in
  // place and a single add both show the new time.
  sfs::remove(dir.path() / "a/other.txt");
  listing.listFilesFull(a, rules, false);
  EXPECT_EQ(files.find("other.txt"), -1);
  setTime(dir.write("a/other.txt", "y"), 1'700'000'000);
  listing.listFilesInPlace(a, rules, false);
  EXPECT_EQ(files.withTime(files.find("other.txt")).modified, modifiedText(1'700'000'000 * kNs));

  sfs::remove(dir.path() / "a/other.txt");
  listing.listFilesFull(a, rules, false);
  setTime(dir.write("a/other.txt", "z"), 1'400'000'000);
  listing.addFile(0, a, "other.txt", 0, rules);
  EXPECT_EQ(files.withTime(0).modified, modifiedText(1'400'000'000 * kNs));

  // Many listings of many folders: names stay right after the old ones are dropped.
  for (int i = 0; i < 3; ++i) {
    const std::string many = dir.str() + "/many" + std::to_string(i);
    dir.mkdir("many" + std::to_string(i));
    for (int k = 0; k < 200; ++k) setTime(dir.write("many" + std::to_string(i) + "/f" + std::to_string(k), "x"), 1'300'000'000 + i);
    listing.listFilesFull(many, rules, false);
    ASSERT_EQ(files.size(), 200);
    EXPECT_EQ(files.withTime(0).modified, modifiedText((1'300'000'000 + i) * kNs));
  }
  listing.listFilesFull(b, rules, false);
  EXPECT_EQ(names(files), (Names{"same.txt"}));
  EXPECT_EQ(files.withTime(0).modified, modifiedText(1'600'000'000 * kNs));

  // A folder that cannot be read between two listings of a folder (every
  // record is dropped meanwhile): the second listing is whole and right.
  for (int k = 0; k < 300; ++k) dir.write("wide/w" + std::to_string(k), "x");
  listing.listFilesFull(dir.str() + "/wide", rules, false);
  listing.listFilesFull(dir.str() + "/many1", rules, false);
  listing.listFilesFull(dir.str() + "/gone", rules, false);
  setTime(dir.path() / "many1/f7", 1'200'000'000);
  listing.listFilesFull(dir.str() + "/many1", rules, false);
  ASSERT_EQ(files.size(), 200);
  EXPECT_EQ(files.withTime(files.find("f7")).modified, modifiedText(1'200'000'000 * kNs));
}

// The listing works out local times by the day; every time it shows must be
// the one modifiedText gives, also around changes of the zone's offset, in
// zones with half-hour offsets and half-hour changes, and before 1970.
// A full listing of the very names of the last one keeps their order; any
// other set of names (as many, one swapped; a filter; another folder) is sorted.
TEST_F(ListingTest, RelistingSortsWhenTheNamesChange) {
  for (const char* f : {"b.txt", "D.txt", "c.md", "a.txt"}) dir.write(f, "x");
  const std::string root = dir.str();
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"a.txt", "b.txt", "c.md", "D.txt"}));
  listing.sortFiles(1);  // by date; a full listing is by name again
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"a.txt", "b.txt", "c.md", "D.txt"}));

  sfs::remove(dir.path() / "c.md");
  dir.write("0.txt", "x");  // as many names as before
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"0.txt", "a.txt", "b.txt", "D.txt"}));

  sfs::rename(dir.path() / "a.txt", dir.path() / "e.txt");
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"0.txt", "b.txt", "D.txt", "e.txt"}));

  rules.filter = kFilterText;
  dir.write("p.png", "x");
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"0.txt", "b.txt", "D.txt", "e.txt"}));
  rules.filter = 0;
  listing.listFilesFull(root, rules, false);
  EXPECT_EQ(names(files), (Names{"0.txt", "b.txt", "D.txt", "e.txt", "p.png"}));

  dir.mkdir("other");
  for (const char* f : {"z", "y", "x", "w", "v"}) dir.write(std::string("other/") + f, "x");
  listing.listFilesFull(root + "/other", rules, false);
  EXPECT_EQ(names(files), (Names{"v", "w", "x", "y", "z"}));
}

TEST_F(ListingTest, ListedTimesMatchLocalTimeAcrossOffsetChanges) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  const std::int64_t times[] = {
      1616893199, 1616893200, 1616893201, 1635641999, 1635642000, 1635645600,  // Berlin, March and October 2021
      1617451199, 1617451200, 1617453000, 1633190399, 1633190400,              // Lord Howe, April and October 2021
      1616889600, 1616975999, 1700000000, 86399, 86400, -1, -86401, -2'000'000'000, 253402300799};
  for (const char* zone : {"Europe/Berlin", "Australia/Lord_Howe", "Asia/Kolkata", "UTC0"}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    test::TempDir folder;
    int n = 0;
    for (std::int64_t t : times) setTime(folder.write("t" + std::to_string(n++), "x"), t);
    listing.listFilesFull(folder.str(), rules, false);
    ASSERT_EQ(files.size(), n);
    files.readAllTimes();
    for (const auto& item : files.items()) EXPECT_EQ(item.modified, modifiedText(item.mtimeNs)) << zone << " " << item.name;
  }
  old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

TEST(ModifiedText, FixedWidthLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  EXPECT_EQ(modifiedText(0), "1970.01.01 00:00:00");
  EXPECT_EQ(modifiedText(1'700'000'000'123'456'789LL), "2023.11.14 22:13:20");
  old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

TEST(FolderWatch, ReportsChangesOfTheSameFolderOnly) {
  test::TempDir dir;
  auto a = dir.mkdir("a"), b = dir.mkdir("b");
  FolderWatch watch;
  EXPECT_FALSE(watch.poll(a.string()));  // first poll records
  setTime(a, 1'500'000'100);
  EXPECT_TRUE(watch.poll(a.string()));
  EXPECT_FALSE(watch.poll(a.string()));  // the new time is recorded

  setTime(b, 1'500'000'200);
  EXPECT_FALSE(watch.poll(b.string()));  // a switch only records
  setTime(b, 1'500'000'300);
  EXPECT_TRUE(watch.poll(b.string()));

  watch.forget();
  setTime(b, 1'500'000'400);
  EXPECT_FALSE(watch.poll(b.string()) || watch.poll("") || watch.poll(""));

  EXPECT_FALSE(watch.poll(a.string()));
  sfs::remove_all(a);
  EXPECT_TRUE(watch.poll(a.string()));  // vanished: changed once
  EXPECT_FALSE(watch.poll(a.string()));
}

TEST_F(ListingTest, UpEntrySelectAndEnterNavigation) {
  dir.mkdir("notes/2024/jan");
  for (const char* f : {"notes/top.txt", "notes/2024/y.txt", "notes/2024/jan/j.txt", "root.txt"}) dir.write(f, "x");
  const std::string root = dir.str();
  RootLocation loc;
  loc.inUse = true;
  loc.rootFolder = loc.path = root;
  listing.listFolders(root + "/", root, rules, true);  // a trailing slash is still the root: no up entry
  EXPECT_EQ(names(folders), Names{"notes"});
  EXPECT_EQ(status.back(), "Folders in " + root);

  listing.selectFolder(loc, 0, rules);
  EXPECT_EQ(std::make_pair(loc.selectedFolder, loc.currentFolder), std::make_pair(std::string("notes"), root + "/notes"));
  EXPECT_EQ(names(files), Names{"top.txt"});
  EXPECT_EQ(status.back(), "Files in " + root + "/notes");

  listing.enterFolder(loc, 0, rules);
  EXPECT_EQ(loc.path, root + "/notes");
  EXPECT_TRUE(loc.currentFolder == loc.path && loc.selectedFolder.empty());
  EXPECT_EQ(names(folders), (Names{"[ . . ]", "2024"}));
  EXPECT_EQ(folders.at(0).icon, 0);

  listing.enterFolder(loc, 1, rules);   // into 2024
  listing.selectFolder(loc, 1, rules);  // select jan
  EXPECT_EQ(names(files), Names{"j.txt"});
  listing.selectFolder(loc, 0, rules);  // the up entry shows the path's files
  EXPECT_EQ(std::make_pair(loc.selectedFolder, loc.currentFolder), std::make_pair(std::string("jan"), root + "/notes/2024"));
  EXPECT_EQ(names(files), Names{"y.txt"});

  listing.enterFolder(loc, 0, rules);  // up
  listing.enterFolder(loc, 0, rules);  // up to the root folder
  EXPECT_EQ(names(folders), Names{"notes"});
  EXPECT_EQ(names(files), Names{"root.txt"});

  // Out of range, or a root not in use: nothing happens.
  const auto saved = loc;
  listing.enterFolder(loc, 5, rules);
  listing.selectFolder(loc, -1, rules);
  loc.inUse = false;
  listing.enterFolder(loc, 0, rules);
  EXPECT_EQ(std::make_pair(loc.path, loc.currentFolder), std::make_pair(saved.path, saved.currentFolder));

  listing.listFolders(root, root + "/gone", rules, false);  // vanished: not even the up entry
  EXPECT_EQ(folders.size(), 0);
  loc.inUse = true;
  loc.path = "/";  // the up entry never climbs above "/"
  listing.listFolders(loc.rootFolder, loc.path, rules, false);
  ASSERT_TRUE(folders.size() > 0 && folders.at(0).name == "[ . . ]");
  listing.enterFolder(loc, 0, rules);
  EXPECT_EQ(loc.path, "/");
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// A save killed half-way leaves ".vm-save-XXXXXX" beside the note; the next
// listing of that folder clears it once it is old, and never touches a fresh
// one (a save may be writing it) or a name that only looks similar.
TEST_F(ListingTest, ListingClearsStaleSaveTemporaries) {
  dir.write("note.txt", "x");
  auto stale = dir.write(".vm-save-AbC123", "half a save");
  auto fresh = dir.write(".vm-save-XyZ789", "a save now");
  auto longer = dir.write(".vm-save-AbC1234", "not ours");
  auto folder = dir.write(".vm-save-Folder/inside", "kept");
  const std::int64_t now = std::time(nullptr);
  setTime(stale, now - 3600);
  setTime(longer, now - 3600);

  listing.listFilesFull(dir.str(), rules, false);
  EXPECT_EQ(names(files), (Names{"note.txt"}));
  EXPECT_FALSE(sfs::exists(stale));
  EXPECT_TRUE(sfs::exists(fresh));
  EXPECT_TRUE(sfs::exists(longer));
  EXPECT_TRUE(sfs::exists(folder));

  // With hidden names shown, a removed temporary is not listed; the others are.
  auto stale2 = dir.write(".vm-save-qqqqqq", "half a save");
  setTime(stale2, now - 3600);
  rules.hideHidden = false;
  listing.listFilesInPlace(dir.str(), rules, false);
  EXPECT_EQ(names(files), (Names{".vm-save-AbC1234", ".vm-save-XyZ789", "note.txt"}));
  EXPECT_FALSE(sfs::exists(stale2));
  EXPECT_EQ(dir.read(".vm-save-XyZ789"), "a save now");
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// A full listing reads no file's time: each row's modified text is read when
// it is first asked for, and is the one a listing that read them all would show.
TEST_F(ListingTest, TimesAreReadWhenFirstAskedFor) {
  setTime(dir.write("a.txt", "x"), 1'500'000'000);
  setTime(dir.write("b.txt", "x"), 1'600'000'000);
  setTime(dir.write("c.txt", "x"), 1'700'000'000);
  listing.listFilesFull(dir.str(), rules, false);
  ASSERT_EQ(names(files), (Names{"a.txt", "b.txt", "c.txt"}));
  for (const auto& item : files.items()) EXPECT_TRUE(item.timePending && item.modified.empty()) << item.name;

  // The file is written after the listing but before its time is asked for: the new time.
  setTime(dir.path() / "b.txt", 1'650'000'000);
  EXPECT_EQ(files.withTime(1).modified, modifiedText(1'650'000'000 * kNs));
  EXPECT_EQ(files.at(1).mtimeNs, 1'650'000'000 * kNs);
  EXPECT_TRUE(files.at(0).timePending && files.at(2).timePending);  // one asked, one read

  // A file gone before its time is read shows none, and sorts first by date.
  sfs::remove(dir.path() / "c.txt");
  EXPECT_EQ(files.withTime(2).modified, "");
  listing.sortFiles(1);
  EXPECT_EQ(names(files), (Names{"c.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(files.at(1).modified, modifiedText(1'500'000'000 * kNs));

  // Without a listing behind it, a pending item has no time to show.
  ListModel alone;
  alone.assign({ListItem{"x.txt", kKindText, "", 0, false, true}});
  EXPECT_EQ(alone.withTime(0).modified, "");
}

// Sorting by modified time orders by the shown text (times within one second
// are equal), then by name ignoring case, then by the exact name; a listing in
// place in that order reads the times of new names too.
TEST_F(ListingTest, SortByModifiedTiesAndCase) {
  setTime(dir.write("b.txt", "x"), 1'600'000'000);
  setTime(dir.write("B.txt", "x"), 1'600'000'000);
  setTime(dir.write("a.txt", "x"), 1'700'000'000);
  setTime(dir.write("A.txt", "x"), 1'600'000'000);
  setTime(dir.write("c.txt", "x"), 1'500'000'000);
  struct timespec half[2] = {{1'600'000'000, 500'000'000}, {1'600'000'000, 500'000'000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.write("d.txt", "x").c_str(), half, 0), 0);
  const Names oldestFirst{"c.txt", "A.txt", "B.txt", "b.txt", "d.txt", "a.txt"};
  const Names newestFirst(oldestFirst.rbegin(), oldestFirst.rend());

  listing.listFilesFull(dir.str(), rules, false);
  listing.sortFiles(1);
  EXPECT_EQ(names(files), oldestFirst);
  listing.sortFiles(1);
  EXPECT_EQ(names(files), newestFirst);

  setTime(dir.write("e.txt", "x"), 1'400'000'000);
  listing.listFilesInPlace(dir.str(), rules, false);
  Names want = newestFirst;
  want.push_back("e.txt");
  EXPECT_EQ(names(files), want);
  for (const auto& item : files.items()) EXPECT_FALSE(item.timePending) << item.name;
}

// A full listing of the same folder again shows a time read before only
// while the file has not been written since.
TEST_F(ListingTest, TimeChangedBetweenFullListingsShowsTheNewTime) {
  auto p = dir.write("n.txt", "x");
  setTime(p, 1'500'000'000);
  setTime(dir.write("m.txt", "x"), 1'500'000'000);
  listing.listFilesFull(dir.str(), rules, false);
  files.readAllTimes();
  EXPECT_EQ(files.at(1).modified, modifiedText(1'500'000'000 * kNs));
  setTime(p, 1'600'000'000);
  listing.listFilesFull(dir.str(), rules, false);
  EXPECT_EQ(files.withTime(1).modified, modifiedText(1'600'000'000 * kNs));
  EXPECT_EQ(files.withTime(0).modified, modifiedText(1'500'000'000 * kNs));
  // Added singly over a name listed but not yet read: the file's time.
  setTime(dir.write("o.txt", "x"), 1'300'000'000);
  listing.listFilesInPlace(dir.str(), rules, false);
  listing.addFile(0, dir.str(), "o.txt", 0, rules);
  EXPECT_EQ(files.at(0).modified, modifiedText(1'300'000'000 * kNs));
}

// Links list as what they point at: a link to a folder is a folder, a link
// to a file a file with the file's time, a broken link a file with its own time.
TEST_F(ListingTest, SymbolicLinksListAsTheirTargets) {
  dir.mkdir("folder");
  setTime(dir.write("file.txt", "x"), 1'500'000'000);
  sfs::create_directory_symlink("folder", dir.path() / "toFolder");
  sfs::create_symlink("file.txt", dir.path() / "toFile.txt");
  sfs::create_symlink("missing.txt", dir.path() / "broken.txt");
  struct timespec own[2] = {{1'400'000'000, 0}, {1'400'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() / "broken.txt").c_str(), own, AT_SYMLINK_NOFOLLOW), 0);

  listing.listFilesFull(dir.str(), rules, false);
  EXPECT_EQ(names(files), (Names{"broken.txt", "file.txt", "toFile.txt"}));
  EXPECT_EQ(files.withTime(0).modified, modifiedText(1'400'000'000 * kNs));
  EXPECT_EQ(files.withTime(2).modified, modifiedText(1'500'000'000 * kNs));
  listing.listFolders(dir.str(), dir.str(), rules, false);
  EXPECT_EQ(names(folders), (Names{"folder", "toFolder"}));
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// File systems that give no entry type (DT_UNKNOWN) have each entry looked
// up: the kind and time come from the entry itself, links followed.
TEST(DirectoryEntryOf, LooksUpOnlyWhatTheTypeDoesNotTell) {
  test::TempDir dir;
  dir.mkdir("folder");
  setTime(dir.write("file.txt", "x"), 1'500'000'000);
  sfs::create_directory_symlink("folder", dir.path() / "toFolder");
  sfs::create_symlink("missing", dir.path() / "broken");
  const int fd = ::open(dir.str().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);

  DirEntry file = directoryEntryOf(fd, "file.txt", DT_UNKNOWN);
  EXPECT_TRUE(!file.isDir && file.hasTime && file.mtimeNs == 1'500'000'000 * kNs);
  EXPECT_TRUE(directoryEntryOf(fd, "folder", DT_UNKNOWN).isDir);
  EXPECT_TRUE(directoryEntryOf(fd, "toFolder", DT_UNKNOWN).isDir);
  EXPECT_TRUE(directoryEntryOf(fd, "toFolder", DT_LNK).isDir);
  DirEntry broken = directoryEntryOf(fd, "broken", DT_LNK);
  EXPECT_TRUE(!broken.isDir && broken.hasTime && broken.mtimeNs != 0);
  DirEntry gone = directoryEntryOf(fd, "gone", DT_UNKNOWN);  // vanished since readdir
  EXPECT_TRUE(!gone.isDir && gone.hasTime && gone.mtimeNs == 0);

  // A known type is taken as it is: no time read.
  DirEntry typed = directoryEntryOf(fd, "file.txt", DT_REG);
  EXPECT_TRUE(!typed.isDir && !typed.hasTime && typed.name == "file.txt");
  EXPECT_TRUE(directoryEntryOf(fd, "folder", DT_DIR).isDir);
  ::close(fd);

  OpenFolder open(dir.path());
  EXPECT_EQ(open.entryLastWriteNs("file.txt"), 1'500'000'000 * kNs);
  EXPECT_EQ(open.entryLastWriteNs("gone"), std::nullopt);
  EXPECT_EQ(open.entryLastWriteNs("folder/../file.txt"), std::nullopt);  // names only
  EXPECT_FALSE(OpenFolder(dir.path() / "gone").entryLastWriteNs("file.txt"));
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// Two listings over one File List: the times are read by the one that
// listed last, in its folder, also after the other is gone.
TEST(ListingTimes, TheLastListingIntoAListReadsItsTimes) {
  test::TempDir x, y;
  setTime(x.write("a.txt", "x"), 1'500'000'000);
  setTime(y.write("a.txt", "y"), 1'600'000'000);
  ListModel folders, files;
  Listing first(folders, files, nullptr);
  {
    Listing second(folders, files, nullptr);
    second.listFilesFull(y.str(), ListingRules{}, false);
    first.listFilesFull(x.str(), ListingRules{}, false);
    EXPECT_EQ(files.withTime(0).modified, modifiedText(1'500'000'000 * kNs));
  }
  setTime(x.path() / "a.txt", 1'700'000'000);
  first.listFilesFull(x.str(), ListingRules{}, false);
  EXPECT_EQ(files.withTime(0).modified, modifiedText(1'700'000'000 * kNs));
}

}  // namespace
}  // namespace vm
