#pragma once
// Where the user is inside one root. Also kept by the shortcut table, the
// Back list and the recent-files list.
#include <string>

namespace vm {

struct RootLocation {
  bool inUse = false;
  std::string rootFolder;      // after path-variable expansion
  std::string configuredRoot;  // as written in the settings (may hold variables)
  std::string displayName;
  std::string currentFolder;   // folder the File List shows; empty means the path
  std::string path;            // folder whose sub-folders the Folder List shows
  std::string selectedFolder;  // Folder List item (a name, not a path)
  std::string selectedFile;    // file open in the viewer, as named in the File List
  std::string defaultExtension;

  const std::string& filesFolder() const { return currentFolder.empty() ? path : currentFolder; }
};

}  // namespace vm
