#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/list_menus.h"
#include "core/commands.h"

namespace vm {
namespace {

// Texts in menu order, "-" for a separator, "> text" for a sub-menu.
std::vector<std::string> texts(const std::vector<MenuItem>& items) {
  std::vector<std::string> out;
  for (const MenuItem& m : items) out.push_back(m.separator() ? "-" : m.children.empty() ? m.text : "> " + m.text);
  return out;
}

TEST(ListMenus, FolderListMenuHasItsThreeItemsBetweenSeparators) {
  auto menu = folderListMenu();
  EXPECT_EQ(texts(menu), (std::vector<std::string>{"   New   ", "-", " Open in File Manager  ", "-", "  Properties  "}));
  EXPECT_EQ(menu[0].id, cmd::kNewFolder);
  EXPECT_EQ(menu[2].id, 402);
  EXPECT_EQ(menu[4].id, 403);
  for (const MenuItem& m : menu) EXPECT_TRUE(m.enabled);
}

TEST(ListMenus, FileListMenuOrderTextsAndIds) {
  auto menu = fileListMenu(ListMenuState{});
  EXPECT_EQ(texts(menu), (std::vector<std::string>{
                             "   Refresh", "-", "   Copy      ", "   Cut", "   Paste", "   Paste Image  ", "-",
                             "   Delete", "   Rename", "-", ">    Filter view", ">    Sort", "-", "   Open as text  ",
                             "   Launch", "   Send to external program", "-", "   Keywords  ", "   Properties  "}));
  const std::vector<std::pair<int, const char*>> ids = {
      {508, "   Refresh"}, {504, "   Copy      "}, {503, "   Cut"},    {505, "   Paste"},
      {501, "   Delete"},  {502, "   Rename"},      {507, "   Open as text  "}, {506, "   Launch"},
      {512, "   Keywords  "}, {500, "   Properties  "}, {550, "  All files"}, {551, " Text files"},
      {552, " Image files"}, {553, " Spreadsheet files"}, {554, " Compressed files"}, {555, " Internet files"},
      {511, "   Sort by Name"}, {510, "   Sort by Date"}};
  for (const auto& [id, text] : ids) {
    const MenuItem* m = findMenuItem(menu, id);
    ASSERT_NE(m, nullptr) << id;
    EXPECT_EQ(m->text, text);
  }
  const MenuItem& filter = menu[10];
  ASSERT_EQ(filter.children.size(), 7u);
  EXPECT_TRUE(filter.children[1].separator());
  EXPECT_EQ(menu[11].children.size(), 2u);
  EXPECT_EQ(findMenuItem(menu, 0), nullptr);
}

TEST(ListMenus, PasteAndPasteImageFollowTheState) {
  ListMenuState s;
  auto menu = fileListMenu(s);
  EXPECT_FALSE(findMenuItem(menu, cmd::kPasteFile)->enabled);
  EXPECT_FALSE(findMenuItem(menu, cmd::kPasteImageFile)->enabled);
  EXPECT_EQ(findMenuItem(menu, cmd::kPasteImageFile)->text, "   Paste Image  ");
  s.transferPending = true;
  s.clipboardHasImage = true;
  menu = fileListMenu(s);
  EXPECT_TRUE(findMenuItem(menu, cmd::kPasteFile)->enabled);
  EXPECT_TRUE(findMenuItem(menu, cmd::kPasteImageFile)->enabled);
  EXPECT_EQ(findMenuItem(menu, cmd::kPasteImageFile)->text, "   Paste Image ");
  // Everything else stays enabled whatever the state.
  for (const MenuItem& m : fileListMenu(ListMenuState{})) {
    if (m.id && m.id != cmd::kPasteFile && m.id != cmd::kPasteImageFile && m.id != cmd::kSendToProgram) {
      EXPECT_TRUE(m.enabled) << m.text;
    }
  }
}

TEST(ListMenus, SendToNamesTheConfiguredProgram) {
  ListMenuState s;
  s.externalProgramAlias = "Editor";  // an alias alone does not make a program
  auto menu = fileListMenu(s);
  const MenuItem* m = findMenuItem(menu, cmd::kSendToProgram);
  EXPECT_EQ(m->text, "   Send to external program");
  EXPECT_FALSE(m->enabled);
  s.externalProgramExe = "/usr/bin/editor";
  menu = fileListMenu(s);
  m = findMenuItem(menu, cmd::kSendToProgram);
  EXPECT_EQ(m->text, "   Send to Editor");
  EXPECT_TRUE(m->enabled);
  s.externalProgramAlias.clear();
  menu = fileListMenu(s);
  m = findMenuItem(menu, cmd::kSendToProgram);
  EXPECT_EQ(m->text, "   Send to external program");
  EXPECT_TRUE(m->enabled);
}

}  // namespace
}  // namespace vm
