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

TEST_F(FolderSettingsTest, NoFilesNoValue) {
  EXPECT_FALSE(folderSetting(sub(), root(), "NoteDateTemplate").has_value());
  EXPECT_FALSE(folderSetting("", "", "NoteDateTemplate").has_value());
  EXPECT_FALSE(folderSetting(dir_.str() + "/missing", dir_.str() + "/gone", "IndexFile").has_value());
}

TEST_F(FolderSettingsTest, CurrentFolderThenRoot) {
  dir_.write("root/sub/vellumark.tn", "[General]\nNoteDateTemplate=dd.MM.yyyy\n");
  dir_.write("root/vellumark.tn", "[General]\nNoteDateTemplate=root\nIndexFile=index.md\n");
  EXPECT_EQ(folderSetting(sub(), root(), "notedatetemplate"), "dd.MM.yyyy");
  EXPECT_EQ(folderSetting(other(), root(), "NoteDateTemplate"), "root");  // other folders use the root's file
  EXPECT_EQ(folderSetting(sub(), root(), "IndexFile"), "index.md");      // key missing in the folder's file
  EXPECT_FALSE(folderSetting(sub(), root(), "NoteTemplateTime").has_value());
  EXPECT_EQ(folderSetting(sub(), "", "NoteDateTemplate"), "dd.MM.yyyy");
  EXPECT_EQ(folderSetting("", root(), "NoteDateTemplate"), "root");
}

TEST_F(FolderSettingsTest, EmptyValueEndsTheLookup) {
  dir_.write("root/sub/vellumark.tn", "[General]\nNoteDateTemplate=\n");
  dir_.write("root/vellumark.tn", "[General]\nNoteDateTemplate=root\n");
  EXPECT_EQ(folderSetting(sub(), root(), "NoteDateTemplate"), "");
}

TEST_F(FolderSettingsTest, SentinelMeansAbsent) {
  dir_.write("root/sub/vellumark.tn", "[General]\nNoteDateTemplate=$$123$$\nIndexFile=$$ABC$$\n");
  dir_.write("root/vellumark.tn", "[General]\nNoteDateTemplate=root\n");
  EXPECT_EQ(folderSetting(sub(), root(), "NoteDateTemplate"), "root");
  EXPECT_EQ(folderSetting(sub(), root(), "IndexFile"), "$$ABC$$");
}

TEST_F(FolderSettingsTest, LegacyRootFileWins) {
  dir_.write("root/tallownotes.tn", "[General]\nImagePrependDate=1\n");
  dir_.write("root/vellumark.tn", "[General]\nImagePrependDate=0\nPrependDateTemplate=x-\n");
  // In a sub-folder only tallownotes.tn is the root settings file.
  EXPECT_EQ(folderSetting(sub(), root(), "ImagePrependDate"), "1");
  EXPECT_FALSE(folderSetting(sub(), root(), "PrependDateTemplate").has_value());
  // With the root folder current, vellumark.tn is its folder settings file.
  EXPECT_EQ(folderSetting(root(), root(), "ImagePrependDate"), "0");
  EXPECT_EQ(folderSetting(root(), root(), "PrependDateTemplate"), "x-");
}

TEST_F(FolderSettingsTest, OnlySectionGeneral) {
  dir_.write("root/sub/vellumark.tn", "[Other]\nIndexFile=no\n[general]\nindexfile = yes.txt \n");
  EXPECT_EQ(folderSetting(sub(), root(), "IndexFile"), "yes.txt");
  dir_.write("root/other/vellumark.tn", "IndexFile=orphan\n[Other]\nIndexFile=no\n");
  EXPECT_FALSE(folderSetting(other(), root(), "IndexFile").has_value());
}

TEST_F(FolderSettingsTest, JunkAndLongValues) {
  dir_.write("root/sub/vellumark.tn", std::string("\x00\xff\n[General\n", 12) + "IndexFile=" + std::string(1000, 'i'));
  auto v = folderSetting(sub(), root(), "IndexFile");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->size(), 259u);
  // A folder named vellumark.tn is not a readable file: no value.
  dir_.mkdir("root/other/vellumark.tn");
  EXPECT_FALSE(folderSetting(other(), "", "IndexFile").has_value());
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
