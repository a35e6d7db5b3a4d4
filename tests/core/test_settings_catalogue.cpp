#include <gtest/gtest.h>

#include <string>

#include "core/settings_catalogue.h"
#include "fakes/temp_dir.h"
#include "platform/text.h"

namespace {

using namespace vm;
using vm::test::TempDir;

class SettingsTest : public ::testing::Test {
 protected:
  void load(std::string_view text) { ASSERT_TRUE(store_.load(dir_.write("vellumark.ini", text))); }
  TempDir dir_;
  SettingsStore store_;
  Settings settings_{store_};
};

TEST_F(SettingsTest, ReadersUseTheTableDefaults) {
  load("[General]\n");
  for (const SettingDef* d : catalogue()) {
    EXPECT_EQ(findSetting(foldCase(d->key)), d) << d->key;  // also: keys unique ignoring case
    switch (d->reading) {
      case Reading::FlagNo: EXPECT_FALSE(settings_.flag(*d)) << d->key; break;
      case Reading::FlagYes: EXPECT_TRUE(settings_.flag(*d)) << d->key; break;
      case Reading::Int: EXPECT_EQ(settings_.integer(*d), readIntValue(d->def)) << d->key; break;
      case Reading::List: EXPECT_TRUE(settings_.list(*d).empty()) << d->key; break;
      case Reading::WrittenOnly: break;
      default: EXPECT_EQ(settings_.text(*d), d->def) << d->key;
    }
    // Check boxes are read with pendingGetInt: their page default must be a number.
    if (!d->page.empty() && (d->reading == Reading::FlagNo || d->reading == Reading::FlagYes)) {
      EXPECT_EQ(configureDefault(*d), d->reading == Reading::FlagYes ? "1" : "0") << d->key;
    }
  }
  EXPECT_EQ(settings_.integer(setting::AutoSave), 2);
  EXPECT_EQ(configureDefault(setting::NoteFontSize), "");
  EXPECT_EQ(configureDefault(setting::ExternalProgramArgs), "\"$fullfile\"");
  EXPECT_EQ(findSetting("SPREADSHEETDELIMITER"), &setting::SpreadSheetDelimiter);
  EXPECT_EQ(findSetting("NoSuchKey"), nullptr);
}

TEST_F(SettingsTest, StoredValuesAndWritersReadBack) {
  load("[General]\nSSNeverSort=yes\nTextWidthMultiple=0\n"
       "TextExtraExtensions=.log,,.cfg\nDefaultExtension=\nHideHidden=no\n");
  EXPECT_EQ(settings_.integer(setting::TextWidthMultiple), 0);  // raw: callers guard
  EXPECT_EQ(settings_.list(setting::TextExtraExtensions), (std::vector<std::string>{".log", ".cfg"}));
  EXPECT_EQ(settings_.text(setting::DefaultExtension), ".txt");  // empty counts as absent
  EXPECT_FALSE(settings_.flag(setting::HideHidden));
  // "yes" is true for the program but shows unticked on a Configure page.
  EXPECT_TRUE(settings_.flag(setting::SSNeverSort));
  EXPECT_EQ(store_.pendingGetInt(setting::SSNeverSort.key, configureDefault(setting::SSNeverSort)), 0);
  EXPECT_EQ(store_.pendingGetInt(setting::ShowCSSInMenu.key, configureDefault(setting::ShowCSSInMenu)), 1);

  settings_.setInt(setting::ListWidth, 260);
  settings_.set(setting::WordWrap, "0");
  settings_.setInt(setting::EditMode, 1);
  EXPECT_FALSE(settings_.flag(setting::WordWrap));  // the cache has it too
  EXPECT_NE(dir_.read("vellumark.ini").find("ListWidth=260\nWordWrap=0\nEditMode=1\n"), std::string::npos);
}

TEST_F(SettingsTest, LayeredLookupOrder) {
  load("[General]\nNoteTemplateDate=dd.MM.yyyy\nNoteDateTemplate=ini\nImagePrependDate=\n");
  EXPECT_EQ(settings_.text(setting::NoteTemplateDate), "dd.MM.yyyy");  // no folder lookup: INI, then default
  EXPECT_EQ(settings_.text(setting::ImagePrependDate), "0");
  std::vector<std::string> asked;
  settings_.setFolderLookup([&](std::string_view key) -> std::optional<std::string> {
    asked.emplace_back(key);
    if (equalsNoCase(key, "NoteDateTemplate")) return std::string();  // empty in a folder file
    if (equalsNoCase(key, "ImageLinksWithFiles")) return std::string("0");
    return std::nullopt;
  });
  EXPECT_EQ(settings_.text(setting::NoteDateTemplate), "");  // an empty folder value overrides
  EXPECT_EQ(settings_.text(setting::NoteTemplateDate), "dd.MM.yyyy");
  EXPECT_EQ(settings_.text(setting::PrependDateTemplate), "yyyy-MM-dd-");
  EXPECT_FALSE(settings_.flag(setting::ImageLinksWithFiles));
  EXPECT_EQ(settings_.integer(setting::ImageLinksWithFiles), 0);
  asked.clear();  // non-layered settings never ask the folder files
  (void)settings_.text(setting::MarkupCSS);
  (void)settings_.flag(setting::UseStatBar);
  EXPECT_TRUE(asked.empty());
}

}  // namespace
