#pragma once
// File operations from the two lists: Copy, Cut and Paste with the pending
// transfer, moving a file by dragging it onto a folder, renaming a file or a
// folder in place, deleting a file (to the desktop's trash), new folders and
// the path a Properties dialog shows. A file's companion settings file always
// travels with it, and a note's linked pictures travel with it on Paste while
// ImageLinksWithFiles is "1". Every result is one status message.
//
// Copies never overwrite: the data goes to a temporary file in the target
// folder, which is then linked to its name only when that name is free.
// Moves never overwrite either, and a move that fails leaves the source where
// it was.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/list_model.h"
#include "browse/list_menus.h"
#include "core/context.h"

namespace vm {

class Browser;

// Text of the Folder List item that New inserts and starts editing.
inline constexpr std::string_view kNewFolderText = "New Folder";
// Text a cancelled label edit ends with.
inline constexpr std::string_view kCancelledEditText = "null";
// Most picture links one note carries along; later links are ignored.
inline constexpr std::size_t kMaxLinkedImages = 260;

// ---------------------------------------------------------------- disk level

// The result of one disk operation: the system's text for what went wrong.
struct DiskResult {
  bool ok = false;
  std::string error;
};

// Copies the file from -> to through a temporary file in to's folder; fails
// (EEXIST text) when to exists. Keeps the permission bits and the modified time.
DiskResult copyFileNoReplace(const std::string& from, const std::string& to);
// Renames from -> to, or (another file system) copies and then removes the
// source; fails when to exists. On failure the source is untouched.
DiskResult moveNoReplace(const std::string& from, const std::string& to);

// Picture links of a note: for each "![", the text between the next "](" and
// the ")" after it, trailing blanks removed. At most kMaxLinkedImages, each
// once, in the order of the note. Links that leave the note's folder tree
// (absolute paths, "..", addresses with "://") are not collected, so carrying
// them along could never touch a file outside it.
std::vector<std::string> linkedImages(std::string_view noteText);
// Pictures and archives are not read for links (".png", ".bmp", ".jpg", ".zip").
bool mayHoldImageLinks(std::string_view name);

// Moves or copies a companion settings file. A destination companion that
// holds nothing but its FileName key (what asking for a central companion's
// name leaves behind) is replaced; any other existing one is kept and the
// transfer does not happen. A companion with a FileName key is pointed at
// newFilePath afterwards. Silent: false when nothing was transferred.
bool transferCompanion(const std::string& from, const std::string& to, bool move, const std::string& newFilePath);
// True when the companion file holds no key other than FileName.
bool companionIsBare(const std::string& companion);

// ---------------------------------------------------------------- the lists

// The one pending Copy or Cut.
struct PendingTransfer {
  std::string op;      // "copy" or "move"
  std::string folder;  // the current folder at the time of Copy or Cut
  std::string name;
  bool empty() const { return name.empty(); }
};

// What the file operations need from the rest of the program.
struct FileOpsHooks {
  // Closes the shown document (saving it first), as leaving it would.
  std::function<void()> closeDocument{};
  // Shows the file of the current folder with this name (after renaming it).
  std::function<void(const std::string& name)> openFile{};
  // Starts in-place editing of item index of the Folder List (cmd::kFolderList)
  // or the File List (cmd::kFileList); the shell reports the end of the edit
  // with fileLabelEdited / folderLabelEdited.
  std::function<void(int list, int index)> beginLabelEdit{};
  // The companion settings file of a file (full path); empty when none.
  // Unset: the companion is found from TnFileWithOriginal and FileInfoDir.
  std::function<std::string(const std::string& filePath)> companionOf{};
  // Opens the selected File List entry in the note editor, whatever its kind.
  std::function<void()> openAsText{};
};

class FileOps {
 public:
  FileOps(FeatureContext ctx, Browser& browser, FileOpsHooks hooks);

  // 504 Copy and 503 Cut: the selected file of the File List becomes the
  // pending transfer; Cut also marks its item as cut.
  void copy();
  void cut();
  // 505 Paste: the pending transfer into the current folder.
  void paste();
  bool transferPending() const { return !pending_.empty(); }
  const PendingTransfer& pending() const { return pending_; }

  // A File List item (name) released over the Folder List: closes the shown
  // document, then moves the file into the folder of item folderIndex ("[ . . ]":
  // the parent of the current folder); folderIndex -1 (empty space) moves nothing.
  void dropOnFolderList(const std::string& name, int folderIndex);

  // 502 Rename: starts editing the selected File List item.
  void startRename();
  // 5001: a File List label edit ended; oldText is the item's text when the
  // edit began, newText what was typed ("null" when cancelled).
  void fileLabelEdited(const std::string& oldText, const std::string& newText);

  // 501 and the Delete key: asks, then moves the selected file and its
  // companion to the trash.
  void deleteSelected();

  // 400 New: inserts "New Folder" at the top of the Folder List and starts editing it.
  void newFolder();
  // 5002: a Folder List label edit ended (a new folder or a renamed one).
  void folderLabelEdited(const std::string& oldText, const std::string& newText);

  // 500 and 403: the file or folder a Properties dialog shows; empty when
  // nothing (or "[ . . ]") is selected.
  std::string selectedFilePath() const;
  std::string selectedFolderPath() const;
  // 402: the folder the desktop's file manager opens (the listed files' folder);
  // empty while the root is not in use.
  std::string folderToOpen() const;

  // Runs the lists' commands: 400, 501 to 505, the filter views 550 to 555,
  // Open as text 507, Launch 506, Open in File Manager 402 and Properties
  // 500 and 403; false for any other id.
  bool command(int id);
  // The File List menu's state: the pending transfer and the external program settings.
  ListMenuState menuState(bool clipboardHasImage) const;

 private:
  std::string companionOf(const std::string& filePath) const;
  void remember(const char* op);
  void markCut(int index);  // -1: no item
  void clearCutMarks();
  void setItemText(ListModel& list, int index, const std::string& text);

  FeatureContext ctx_;
  Browser& browser_;
  FileOpsHooks hooks_;
  PendingTransfer pending_;
};

}  // namespace vm
