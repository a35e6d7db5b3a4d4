#include "browse/list_menus.h"

#include "browse/file_kinds.h"
#include "core/commands.h"

namespace vm {

namespace {

MenuItem item(int id, std::string text, bool enabled = true) {
  MenuItem m;
  m.id = id;
  m.text = std::move(text);
  m.enabled = enabled;
  return m;
}

MenuItem separator() { return MenuItem{}; }

MenuItem subMenu(std::string text, std::vector<MenuItem> children) {
  MenuItem m;
  m.text = std::move(text);
  m.children = std::move(children);
  return m;
}

}  // namespace

std::vector<MenuItem> folderListMenu() {
  return {item(cmd::kNewFolder, "   New   "), separator(), item(cmd::kOpenFolderExternally, " Open in File Manager  "),
          separator(), item(cmd::kFolderProperties, "  Properties  ")};
}

std::vector<MenuItem> fileListMenu(const ListMenuState& s) {
  const bool program = !s.externalProgramExe.empty();
  const std::string alias = s.externalProgramAlias.empty() ? "external program" : s.externalProgramAlias;
  return {
      item(cmd::kRefresh, "   Refresh"),
      separator(),
      item(cmd::kCopyFile, "   Copy      "),
      item(cmd::kCutFile, "   Cut"),
      item(cmd::kPasteFile, "   Paste", s.transferPending),
      s.clipboardHasImage ? item(cmd::kPasteImageFile, "   Paste Image ") : item(cmd::kPasteImageFile, "   Paste Image  ", false),
      separator(),
      item(cmd::kDeleteFile, "   Delete"),
      item(cmd::kRenameFile, "   Rename"),
      separator(),
      subMenu("   Filter view", {item(kFilterAll, "  All files"), separator(), item(kFilterText, " Text files"),
                                 item(kFilterImage, " Image files"), item(kFilterSheet, " Spreadsheet files"),
                                 item(kFilterArchive, " Compressed files"), item(kFilterWeb, " Internet files")}),
      subMenu("   Sort", {item(cmd::kSortByName, "   Sort by Name"), item(cmd::kSortByDate, "   Sort by Date")}),
      separator(),
      item(cmd::kOpenAsText, "   Open as text  "),
      item(cmd::kLaunchFile, "   Launch"),
      program ? item(cmd::kSendToProgram, "   Send to " + alias) : item(cmd::kSendToProgram, "   Send to external program", false),
      separator(),
      item(cmd::kFileKeywords, "   Keywords  "),
      item(cmd::kFileProperties, "   Properties  "),
  };
}

const MenuItem* findMenuItem(const std::vector<MenuItem>& items, int id) {
  for (const MenuItem& m : items) {
    if (m.id == id && id != 0) return &m;
    if (const MenuItem* c = findMenuItem(m.children, id)) return c;
  }
  return nullptr;
}

}  // namespace vm
