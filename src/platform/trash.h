#pragma once
// The desktop's trash, as every Linux desktop keeps it: a file or folder is
// moved into "Trash/files" and described by a ".trashinfo" file in
// "Trash/info" (its original path, percent-encoded, and the deletion time),
// so the desktop's file manager can show it and put it back.
//
// - The home trash is $XDG_DATA_HOME/Trash ($HOME/.local/share/Trash when the
//   variable is unset or not absolute). It is used for everything on the
//   file system that holds it; its "Path" lines are absolute.
// - Anything on another file system goes to the trash at the top of that file
//   system: "$topdir/.Trash/$uid" when an administrator prepared a sticky,
//   non-link "$topdir/.Trash", else "$topdir/.Trash-$uid" (created with mode
//   0700). Its "Path" lines are relative to the top folder. Nothing is ever
//   copied across file systems, and nothing is deleted for good.
// - A name already in the trash gets a number: "plan.txt", "plan.txt.2",
//   "plan.txt.3", ... The info file is created first (exclusively), which
//   claims the name against other programs trashing at the same moment.
#include <cstdint>
#include <string>

namespace vm {

struct TrashResult {
  bool ok = false;
  std::string message;    // for the status line: "Moved %s to the trash" or why not
  std::string trashedAs;  // full path of the item inside the trash's "files" folder
  std::string infoFile;   // full path of its ".trashinfo" file
};

// Moves the file, folder or symbolic link at path (the link itself, not its
// target) to the trash. deletedAtNs is the deletion time (nanoseconds since
// the epoch) written as local time. On failure nothing has moved.
TrashResult moveToTrash(const std::string& path, std::int64_t deletedAtNs);

// The home trash folder: $XDG_DATA_HOME/Trash or $HOME/.local/share/Trash;
// empty when neither variable gives a place.
std::string homeTrashFolder();

// Percent-encoding of a path for the "Path" line: every byte other than
// A-Z a-z 0-9 - . _ ~ and "/" becomes %XX.
std::string trashPathEncode(const std::string& path);

}  // namespace vm
