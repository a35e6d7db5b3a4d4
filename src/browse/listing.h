#pragma once
// Folder and file listing: fills the Folder List and the File List from the
// disk, with the hide rules, the up entry, icons, sorting, the filter view,
// navigation inside a root and the folder watch.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "browse/file_kinds.h"
#include "browse/list_model.h"
#include "platform/root_location.h"

namespace vm {

class OpenFolder;

inline constexpr std::string_view kUpEntry = "[ . . ]";
inline constexpr std::string_view kImagesFolder = "imgs";
inline constexpr std::string_view kProgramFileSuffix = ".tn";

struct ListingRules {
  bool hideHidden = true;        // leave out names beginning with "."
  bool hideProgramFiles = true;  // leave out "imgs" folders and "*.tn" files
  int filter = 0;                // 0 or a filter command id (550..555), one listing only
  const ViewerTables* tables = nullptr;  // for icons and filters; built-in lists when null
};

// "YYYY.MM.DD hh:mm:ss" in local time.
std::string modifiedText(std::int64_t mtimeNs);

// Sorting state of the File List: last column (-1 none, 0 name, 1 modified).
struct SortState {
  int column = -1;
  bool ascending = true;
};

// The File List's items come without their modified time: the listing tells
// files from folders by the directory entries alone, and a time is read when
// it is first needed (a row's tool tip, sorting by modified time), then kept
// with the name's record.
class Listing : private ListModel::TimeReader {
 public:
  using StatusSink = std::function<void(const std::string&)>;

  // Reads the times of files' items from now on (and again after each of
  // its own listings, should another Listing have listed into files meanwhile).
  Listing(ListModel& folders, ListModel& files, StatusSink status);
  ~Listing() override;
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;

  // Clears the Folder List and fills it with the sub-folders of path ("[ . . ]"
  // first unless path is the root folder), sorted by name ignoring case with
  // the up entry first. A folder that cannot be read gives an empty list.
  // Shows "Folders in %s" when caption is set.
  void listFolders(const std::string& rootFolder, const std::string& path, const ListingRules& rules,
                   bool caption);

  // Full listing: resets the sort state, fills and sorts by name ascending.
  // Shows "Files in %s" when caption is set.
  void listFilesFull(const std::string& folder, const ListingRules& rules, bool caption);
  // In place: refills in the current sort order without touching the sort state.
  void listFilesInPlace(const std::string& folder, const ListingRules& rules, bool caption);
  // Inserts one File List entry (subject to the filter); the time is read from
  // the file when mtimeNs is 0.
  void addFile(int index, const std::string& folder, const std::string& name, std::int64_t mtimeNs,
               const ListingRules& rules);

  // Column 0 by name, 1 by modified time. Same column again inverts the order.
  void sortFiles(int column);
  const SortState& sortState() const { return sort_; }

  // Navigation inside the root held by loc (the caller closes the open
  // document first where that is needed). Both do nothing while the root is
  // not in use or index is not a Folder List item.
  // Select Folder List item index: a folder becomes the selected folder and
  // its files are listed; "[ . . ]" lists the files of the path.
  void selectFolder(RootLocation& loc, int index, const ListingRules& rules);
  // Activate (enter) Folder List item index: a folder becomes the new path;
  // "[ . . ]" goes to the parent. Re-lists folders (with caption) and files.
  void enterFolder(RootLocation& loc, int index, const ListingRules& rules);

  // True when folder holds a sub-folder that would be listed (hidden-attribute
  // and leading-dot rules aside; "imgs" does not count while program files are hidden).
  static bool hasVisibleSubFolders(const std::string& folder, bool hideProgramFiles);

 private:
  // What a listing remembers of a file name until the next full listing: a
  // listing in place or a file added singly reuses the modified text recorded
  // then (once it has been read). The fold key is kept so sorting never folds
  // inside the comparator. A full listing starts a new generation: records of
  // earlier generations count as not recorded, and their times as not read
  // (the file may have been written since), but the rest is taken over as it
  // stands, so listing a big folder again costs little more than reading it.
  struct Record {
    std::string modified;
    std::int64_t mtimeNs = 0;
    bool timeKnown = false;  // modified and mtimeNs were read in this generation
    std::string key;
    std::uint64_t generation = 0;  // the full listing it belongs to
    // Place of the name in the sorted File List of the full listing
    // rankGeneration, so that a listing of the same names again needs no sort.
    std::uint32_t rank = 0;
    std::uint64_t rankGeneration = 0;
  };

  // Reads the File List entries of folder; keys (when given) gets each item's fold key.
  std::vector<ListItem> readFiles(const std::string& folder, const ListingRules& rules, bool caption,
                                  std::vector<const std::string*>* keys, std::vector<Record*>* recs = nullptr);
  using RecordMap = std::unordered_map<std::string, Record>;
  using RecordEntry = RecordMap::value_type;

  // The record of name in this generation; mtimeNs is the time the listing
  // read with the entry, if it read one. guess, when it is the record of
  // name, spares the look-up.
  RecordEntry& record(const std::string& name, std::optional<std::int64_t> mtimeNs, RecordEntry* guess = nullptr);
  void setTime(Record& rec, std::int64_t mtimeNs);
  // Fills item's time from its record, else from the file in folder.
  void fillTime(ListItem& item, const OpenFolder& folder);
  void readTime(ListItem& item) override;
  void readTimes(std::vector<ListItem>& items) override;
  // The name order of the last full listing when recs are the very names it
  // listed (in any order); false otherwise.
  bool orderOfLastListing(const std::vector<Record*>& recs, std::vector<std::uint32_t>& order) const;
  // Fold keys of items: from the records, else folded into spare.
  void foldKeys(const std::vector<ListItem>& items, std::vector<const std::string*>& keys,
                std::vector<std::string>& spare) const;
  void say(const std::string& text) const;

  ListModel& folders_;
  ListModel& files_;
  StatusSink status_;
  SortState sort_;
  RecordMap records_;
  // The records of the last listing by the place of their names in what the
  // folder gave (null for entries not listed): a folder read again mostly
  // gives the same names in the same order, so the record met at the same
  // place is tried before the name is looked up.
  std::vector<RecordEntry*> met_;
  std::uint64_t generation_ = 1;
  std::string listedFolder_;  // the folder of the File List's items, for their times
  std::size_t lastListed_ = 0;  // File List items of the last full listing
  // UTC offset by day (days since the epoch) for the modified texts of one
  // full listing; a day whose offset changes holds no entry (kMixedDay).
  std::unordered_map<std::int64_t, long> dayOffsets_;
  // The time zone the records' modified texts were made in; when it is
  // another at a full listing, no record is taken over.
  std::string zone_;
  std::string modifiedTextOf(std::int64_t mtimeNs);
  // Records of the current generation are the ones a listing in place reuses.
  Record* current(const std::string& name);
  // Drops records the last full listing did not meet, once they outnumber those it did.
  void pruneRecords(std::size_t listed);
};

// Folder watch, polled every 3 s: reports a change of the shown folder's
// last-write time.
class FolderWatch {
 public:
  // True when folder is the one seen at the last poll and its time changed.
  bool poll(const std::string& folder);
  // Forget the recorded folder (after a save), so the next poll re-records it.
  void forget() { folder_.clear(); }

 private:
  std::string folder_;
  std::int64_t mtimeNs_ = 0;
};

}  // namespace vm
