#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/settings_catalogue.h"
#include "fakes/temp_dir.h"
#include "notes/folder_settings.h"

namespace {

using vm::folderSetting;
using vm::test::TempDir;

class FolderSettingsTest : public ::testing::Test {
 protected:
  std::string root() const { return dir_.str() + "/root"; }
  std::string sub() const { return dir_.str() + "/root/sub"; }
  std::string other() const { return dir_.str() + "/root/other"; }
  void SetUp() override {
    dir_.mkdir("root/sub");
    dir_.mkdir("root/other");
  }
  TempDir dir_;
};

TEST_F(FolderSettingsTest, CurrentFolderThenRoot) {
  EXPECT_FALSE(folderSetting(sub(), root(), "NoteDateTemplate").has_value());
  EXPECT_FALSE(folderSetting("", "", "NoteDateTemplate").has_value());
  EXPECT_FALSE(folderSetting(dir_.str() + "/missing", dir_.str() + "/gone", "IndexFile").has_value());
  dir_.write("root/sub/vellumark.tn", "[General]\nNoteDateTemplate=dd.MM.yyyy\nNoteTemplateTime=\n"
                                      "MultibarDateTemplate=$$123$$\nSpreadsheetDateTemplate=$$ABC$$\n");
  dir_.write("root/vellumark.tn", "[General]\nNoteDateTemplate=root\nIndexFile=index.md\nNoteTemplateTime=t\n"
                                  "MultibarDateTemplate=m\n");
  EXPECT_EQ(folderSetting(sub(), root(), "notedatetemplate"), "dd.MM.yyyy");
  EXPECT_EQ(folderSetting(other(), root(), "NoteDateTemplate"), "root");  // other folders use the root's file
  EXPECT_EQ(folderSetting(sub(), root(), "IndexFile"), "index.md");      // key missing in the folder's file
  EXPECT_EQ(folderSetting(sub(), root(), "NoteTemplateTime"), "");       // an empty value ends the lookup
  EXPECT_EQ(folderSetting(sub(), root(), "MultibarDateTemplate"), "m");  // the sentinel means absent
  EXPECT_EQ(folderSetting(sub(), root(), "SpreadsheetDateTemplate"), "$$ABC$$");
  EXPECT_FALSE(folderSetting(sub(), root(), "PrependDateTemplate").has_value());
  EXPECT_EQ(folderSetting(sub(), "", "NoteDateTemplate"), "dd.MM.yyyy");
  EXPECT_EQ(folderSetting("", root(), "NoteDateTemplate"), "root");
}

TEST_F(FolderSettingsTest, LegacyRootFileSectionAndJunk) {
  dir_.write("root/tallownotes.tn", "[General]\nImagePrependDate=1\n");
  dir_.write("root/vellumark.tn", "[General]\nImagePrependDate=0\nPrependDateTemplate=x-\n");
  // In a sub-folder only tallownotes.tn is the root settings file.
  EXPECT_EQ(folderSetting(sub(), root(), "ImagePrependDate"), "1");
  EXPECT_FALSE(folderSetting(sub(), root(), "PrependDateTemplate").has_value());
  // With the root folder current, vellumark.tn is its folder settings file.
  EXPECT_EQ(folderSetting(root(), root(), "ImagePrependDate"), "0");
  EXPECT_EQ(folderSetting(root(), root(), "PrependDateTemplate"), "x-");

  // Only section General counts, named and keyed ignoring case.
  dir_.write("root/sub/vellumark.tn", "[Other]\nIndexFile=no\n[general]\nindexfile = yes.txt \n");
  EXPECT_EQ(folderSetting(sub(), root(), "IndexFile"), "yes.txt");
  dir_.write("root/other/vellumark.tn", "IndexFile=orphan\n[Other]\nIndexFile=no\n");
  EXPECT_FALSE(folderSetting(other(), root(), "IndexFile").has_value());

  dir_.write("root/sub/vellumark.tn", std::string("\x00\xff\n[General\n", 12) + "IndexFile=" + std::string(1000, 'i'));
  auto v = folderSetting(sub(), root(), "IndexFile");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->size(), 259u);
  dir_.mkdir("root/x/vellumark.tn");  // a folder of that name is not a readable file
  EXPECT_FALSE(folderSetting(dir_.str() + "/root/x", "", "IndexFile").has_value());
}

TEST_F(FolderSettingsTest, PlugsIntoSettings) {
  dir_.write("root/sub/vellumark.tn", "[General]\nNoteTemplateTime=HH:mm\n");
  dir_.write("home/vellumark.ini", "[General]\nNoteTemplateDate=ini-date\nNoteTemplateTime=ini-time\n");
  vm::SettingsStore store;
  ASSERT_TRUE(store.load(dir_.path() / "home/vellumark.ini"));
  vm::Settings settings(store);
  settings.setFolderLookup([this](std::string_view key) { return folderSetting(sub(), root(), key); });
  EXPECT_EQ(settings.text(vm::setting::NoteTemplateTime), "HH:mm");
  EXPECT_EQ(settings.text(vm::setting::NoteTemplateDate), "ini-date");
  EXPECT_EQ(settings.text(vm::setting::PrependDateTemplate), "yyyy-MM-dd-");
}

}  // namespace
