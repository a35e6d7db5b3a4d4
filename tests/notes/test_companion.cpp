#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "core/ini_file.h"
#include "fakes/temp_dir.h"
#include "notes/companion.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

using vm::companionName;
using vm::datePrefixPicture;
using vm::test::TempDir;
namespace fs = std::filesystem;

std::string fileNameKey(const std::string& companion) {
  return vm::ini::readKey(companion, "General", "FileName", "<none>");
}

TEST(Companion, BesideTheFileOrCentral) {
  TempDir dir;
  const std::string info = dir.str() + "/file_info";
  ASSERT_TRUE(vm::ensureFileInfoFolder(info));
  dir.write("notes/a.txt", "text");
  const std::string file = dir.str() + "/notes/a.txt";

  // Beside the file: nothing is written.
  EXPECT_EQ(companionName(file, true, info), file + ".tn");
  EXPECT_FALSE(fs::exists(file + ".tn"));

  // Central: the flattened path, created holding FileName.
  EXPECT_EQ(companionName("/home/a/notes/x.txt", false, info), info + "/home_a_notes_x.txt.tn");
  EXPECT_EQ(fileNameKey(info + "/home_a_notes_x.txt.tn"), "/home/a/notes/x.txt");
  const std::string central = companionName(file, false, info);
  EXPECT_EQ(fileNameKey(central), file);
  // Asking again keeps what the companion already holds.
  ASSERT_TRUE(vm::ini::writeKey(central, "General", "keywords", "k1,k2"));
  EXPECT_EQ(companionName(file, false, info), central);
  EXPECT_EQ(vm::ini::readKey(central, "General", "keywords", ""), "k1,k2");
  EXPECT_EQ(fileNameKey(central), file);

  EXPECT_EQ(companionName("", false, info), "");
}

TEST(Companion, LongNamesAndPathVariables) {
  TempDir dir;
  const std::string info = dir.str() + "/fi";
  ASSERT_TRUE(vm::ensureFileInfoFolder(info));
  std::string deep;
  for (int i = 0; i < 30; ++i) deep += "/folder" + std::to_string(i) + "_\xc3\xa9\xc3\xa9";
  const std::string c = companionName(deep + "/note.txt", false, info);
  const std::string name = vm::lastComponent(c);
  EXPECT_TRUE(name.size() >= 246 && name.size() <= 248 && name.ends_with(".tn")) << name;
  EXPECT_EQ(vm::displayUtf8(name), name);  // no split UTF-8 sequence
  EXPECT_EQ(fileNameKey(c), deep + "/note.txt");
  // A path too long for the platform gives no companion rather than a cut one.
  EXPECT_EQ(companionName("/" + std::string(4093, 'a'), true, info), "");

  vm::PathExpander expand = [&](std::string& p) {
    if (p.starts_with("%AppSrcDrv%")) p = dir.str() + p.substr(11);
  };
  EXPECT_EQ(companionName("%AppSrcDrv%/n/b.txt", true, info, expand), dir.str() + "/n/b.txt.tn");
  EXPECT_EQ(vm::fileInfoFolder("/home/u", "%AppSrcDrv%/central/", expand), dir.str() + "/central");
  for (auto [setting, folder] : {std::pair{"", "/home/u/file_info"}, {"/srv/info", "/srv/info"}, {"info", "/home/u/info"}})
    EXPECT_EQ(vm::fileInfoFolder("/home/u", setting), folder);

  EXPECT_TRUE(vm::ensureFileInfoFolder(dir.str() + "/a/b/c"));
  dir.write("blocked", "x");
  EXPECT_FALSE(vm::ensureFileInfoFolder(dir.str() + "/blocked/sub") || vm::ensureFileInfoFolder(""));
}

class PicturePrefix : public ::testing::Test {
 protected:
  vm::PicturePlace save(const std::string& name) {
    dir_.write("imgs/" + name, "picture " + std::to_string(++count_));
    return datePrefixPicture(dir_.str() + "/imgs/" + name, name, lookup_, time_);
  }
  bool exists(const std::string& name) const { return fs::exists(dir_.path() / "imgs" / name); }

  TempDir dir_;
  int count_ = 0;
  std::map<std::string, std::string, std::less<>> settings_;
  vm::SettingLookup lookup_ = [this](std::string_view key, std::string_view def) {
    auto it = settings_.find(key);
    return it == settings_.end() ? std::string(def) : it->second;
  };
  vm::LocalTime time_{2026, 12, 4, 7, 14, 0, 0, 5};
};

TEST_F(PicturePrefix, OnlyOneSwitchesItOn) {
  for (const char* off : {"", "yes", " 1"}) {
    if (*off) settings_["ImagePrependDate"] = off;
    auto p = save("pic.png");
    EXPECT_EQ(p.path, dir_.str() + "/imgs/pic.png") << off;
    EXPECT_EQ(p.name, "pic.png");
  }
  settings_["ImagePrependDate"] = "1";
  EXPECT_EQ(save("pic.png").path, dir_.str() + "/imgs/2026-12-04-pic.png");
  EXPECT_FALSE(exists("pic.png"));
  EXPECT_EQ(dir_.read("imgs/2026-12-04-pic.png"), "picture 4");

  // The same name again on the same day is numbered.
  EXPECT_EQ(save("pic.png").name, "2026-12-04-pic_001.png");
  EXPECT_EQ(save("pic.png").name, "2026-12-04-pic_002.png");
  EXPECT_EQ(dir_.read("imgs/2026-12-04-pic_002.png"), "picture 6");

  settings_["PrependDateTemplate"] = "dd.MM.yy ";
  EXPECT_EQ(save("shot").name, "04.12.26 shot");
  // The extension is whatever follows the last ".", here part of the prefix.
  EXPECT_EQ(save("shot").name, "04.12_001.26 shot");
}

TEST_F(PicturePrefix, NumberingFromAnUnderscore) {
  settings_["ImagePrependDate"] = "1";
  settings_["PrependDateTemplate"] = "";
  // A taken name "clip_5" carries on from its own number, cut at the first "_".
  EXPECT_EQ(save("clip_5.png").name, "clip_005.png");
  EXPECT_EQ(save("clip_5.png").name, "clip_006.png");
  EXPECT_EQ(save("my_pic_0.png").name, "my_001.png");

  // All numbers up to 99 taken: the last is returned and nothing is replaced.
  settings_["PrependDateTemplate"] = "yyyy-";
  dir_.write("imgs/2026-full.png", "old");
  for (int n = 1; n <= 99; ++n) dir_.write(vm::format("imgs/2026-full_%03d.png", n), "old");
  auto p = save("full.png");
  EXPECT_EQ(p.name, "2026-full_099.png");
  EXPECT_EQ(dir_.read("imgs/2026-full_099.png"), "old");
  EXPECT_TRUE(exists("full.png"));  // the rename failed, silently
  // A missing picture gives the name it would have had.
  EXPECT_EQ(datePrefixPicture(dir_.str() + "/imgs/none.png", "none.png", lookup_, time_).name, "2026-none.png");
  EXPECT_EQ(datePrefixPicture(dir_.str() + "/imgs/x.png", "x.png", {}, time_).name, "x.png");
}

}  // namespace
