#pragma once
// The browser: the Root List, the Folder List and the File List with the
// current-folder label, how they are filled (listing rules, the folder
// watch), the list width the label is shortened to, the Back list and the
// recent files in the File menu.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browse/file_kinds.h"
#include "browse/history.h"
#include "browse/list_model.h"
#include "browse/listing.h"
#include "core/context.h"

namespace vm {

// What the browser tells the rest of the program.
struct BrowserHooks {
  std::function<void()> rootListChanged;
  std::function<void()> folderLabelChanged;
};

class Browser {
 public:
  Browser(FeatureContext ctx, BrowserHooks hooks);
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  ListModel& folderList() { return folderList_; }
  ListModel& fileList() { return fileList_; }
  Listing& listing() { return listing_; }
  FolderWatch& watch() { return watch_; }
  History& history() { return history_; }
  ViewerTables& tables() { return tables_; }
  const ViewerTables& tables() const { return tables_; }

  ListingRules listingRules() const;
  // Root List: names as shown (sorted ignoring case) and the chosen one.
  const std::vector<std::string>& rootListItems() const { return rootListItems_; }
  const std::string& rootListCurrent() const { return rootListCurrent_; }
  void refillRootList();
  // Current-folder label text: two blanks and the shortened path.
  const std::string& folderLabel() const { return folderLabel_; }
  void updateFolderLabel();

  void listFoldersOf(RootLocation& loc, bool caption);
  void listFilesOf(RootLocation& loc, bool caption);
  // Lists the current root from its top (resetPath) or where it stands.
  void listCurrentRoot(bool resetPath);
  // Lists the files folder again in place, selecting `name` (empty: the
  // item selected before).
  void relistFiles(const std::string& name);

  // ListWidth, read once and cached; a new width from the splitter.
  int listWidth();
  void setListWidth(int width);
  void forgetListWidth() { listWidth_.reset(); }

  // A place left with a file shown becomes a recent file of the File menu.
  void offerRecent(const RootLocation& loc);

  // Places. Each returns true when the place's file is selected in the File
  // List and should be opened.
  // A root picked in the Root List or typed into it (a typed folder that
  // exists becomes a root); false, with "Error adding root", when it cannot.
  bool selectRoot(const std::string& text, bool typed);
  // A click on a Folder List item, and a double-click that enters it.
  void selectFolder(int index);
  void enterFolder(int index);
  // The place of a shortcut (recent file, Perpetual note, help), bringing
  // back its root when that is no root any more.
  bool goToShortcut(const RootLocation& sc);
  // A place from the Back list, in the root at rootIndex.
  bool restorePlace(int rootIndex, const RootLocation& place);
  // The folder of a file named on the command line becomes the last root;
  // the file's name, empty when the folder cannot be used.
  std::string addCommandLineRoot(const std::string& path);
  // Index of the root "Command Line" in the root table; -1 before there is one.
  int commandLineRoot() const { return commandLineRoot_; }
  // Makes root rootIndex the current one, lists it from its top and selects
  // the file of that name; true when it is listed.
  bool showRoot(int rootIndex, const std::string& name);
  // The File List's names in list order; selecting entry index when it still
  // holds name (else the entry of that name), true when one is selected.
  std::vector<std::string> fileNames() const;
  bool selectEntry(std::size_t index, const std::string& name);
  // IndexFile of the current folder when LoadIndexFiles is on and it exists.
  std::string indexFile() const;
  // The note a link names: the listed file of that name, else with the
  // root's default extension, else with DefaultExtension; else a new empty
  // note of that name in the current folder. Empty when there is none.
  std::string linkedNote(const std::string& name);
  // One listing of the current folder with a filter view (550..555); the
  // next listing shows every file again.
  void listFiltered(int filterId);
  // The View item that shows or hides the program's own files flips, and
  // the File List follows.
  void toggleProgramFiles();
  // "Links to This Note": the notes of the current root that link to the
  // note at notePath, listed in the File List the way a filter view lists
  // (names relative to the current folder); the next listing shows the
  // folder's files again.
  void listLinksTo(const std::string& notePath, const std::function<bool()>& pump);
  // The folder watch's tick: the files folder is listed again when it
  // changed; false when the selected file is gone from it.
  bool pollFiles();

 private:
  void rebuildRecentMenu();

  FeatureContext ctx_;
  BrowserHooks hooks_;
  ListModel folderList_;
  ListModel fileList_;
  Listing listing_;
  FolderWatch watch_;
  ViewerTables tables_;
  History history_;
  RootLocation lastRecent_;
  std::optional<int> listWidth_;
  std::vector<std::string> rootListItems_;
  std::string rootListCurrent_;
  std::string folderLabel_;
  int commandLineRoot_ = -1;
};

// Current-folder label: two blanks and path, shortened to maxChars as
// "head/.../tail" or ".../tail".
std::string folderLabelText(const std::string& path, const std::string& rootFolder, int maxChars);

}  // namespace vm
