#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/settings_catalogue.h"
#include "fakes/temp_dir.h"
#include "platform/text.h"

namespace {

using namespace vm;
using vm::test::TempDir;

// Every key, in catalogue order.
#define VM_ALL_SETTINGS(X) \
  X(UseStatBar) X(NoteShowWordCount) X(NoteShowCharCount) X(ExpertMode) \
  X(BackInsteadOfNew) X(WindowPosition) X(FirstLaunch) X(EditMode) \
  X(ListWidth) X(GutterWidth) X(TextWidthMultiple) X(LogBack) \
  X(LastRoot) X(RootAutoAddMyDocuments) X(RootAutoAddCDrive) X(RootAutoAddFernhollow) \
  X(RootAdjustForNetwork) X(DefaultExtension) X(PerpetualNote1) X(PerpetualNote2) \
  X(PerpetualNote3) X(HideHidden) X(TnHideFiles) X(MenuViewVMFiles) \
  X(LoadIndexFiles) X(IndexFile) X(TextExtraExtensions) X(WebExtraExtensions) \
  X(SSExtraExtensions) X(MarkdownExtraExtensions) X(AutoSave) X(CheckForBOM) \
  X(FormatNewLines) X(WordWrap) X(NoteFont) X(NoteFontSize) \
  X(TnFileWithOriginal) X(FileInfoDir) X(NoteDragHttpAsLink) X(NoteImageLinkType) \
  X(ImageSaveAsPng) X(HeaderBarLengthType) X(HeaderLenInt) X(NoteTemplateDate) \
  X(NoteTemplateTime) X(KeywordsAutoAdd) X(MultibarDateTemplate) X(NoteDateTemplate) \
  X(SpreadsheetDateTemplate) X(MultibarPasteTimeWithDate) X(SSEditPasteTimeWithDate) X(DirectorySearchCheckFilename) \
  X(MarkupCSS) X(ShowCSSInMenu) X(SaveCSSOnChange) X(MarkdownPreMarkdown) \
  X(MarkdownDoPreWiki) X(WikiDoMarkdown) X(ImageUseCSS) X(ImageCSSPad) \
  X(BrowserSearchString) X(PrintTitle) X(ImagePrependDate) X(PrependDateTemplate) \
  X(ImageLinksWithFiles) X(ExternalProgramExe) X(ExternalProgramArgs) X(ExternalProgramAlias) \
  X(ExternalProgramHidden) X(SSMakeChangeBackups) X(SSMaxBackup) X(SSNeverSort) \
  X(SSSaveWidths) X(SpreadsheetColumnWidth) X(SpreadsheetNumWidth) X(SpreadsheetSortBlankAtBottom) \
  X(SpreadsheetVerifyCut) X(SpreadSheetDelimiter) X(SSEditCursorToEnd) X(SpreadsheetFirstRowAsTitle) \
  X(SpreadsheetSortHeader)

TEST(SettingsCatalogue, EveryNameIsItsKeyInTableOrder) {
  std::vector<std::string> expected;
#define X(n) expected.push_back(#n); EXPECT_EQ(setting::n.key, #n);
  VM_ALL_SETTINGS(X)
#undef X
  auto all = catalogue();
  ASSERT_EQ(all.size(), expected.size());
  ASSERT_EQ(all.size(), 81u);
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i]->key, expected[i]) << i;
  EXPECT_EQ(all.front(), &setting::UseStatBar);
  EXPECT_EQ(all.back(), &setting::SpreadsheetSortHeader);
}

TEST(SettingsCatalogue, KeysAreUniqueIgnoringCase) {
  std::set<std::string> seen;
  for (const SettingDef* d : catalogue()) EXPECT_TRUE(seen.insert(foldCase(d->key)).second) << d->key;
}

TEST(SettingsCatalogue, FindSetting) {
  EXPECT_EQ(findSetting("usestatbar"), &setting::UseStatBar);
  EXPECT_EQ(findSetting("SPREADSHEETDELIMITER"), &setting::SpreadSheetDelimiter);
  EXPECT_EQ(findSetting("NoSuchKey"), nullptr);
  EXPECT_EQ(findSetting(""), nullptr);
}

TEST(SettingsCatalogue, DefaultsMatchTheirReading) {
  const std::set<std::string_view> pages = {"General Settings", "Text Viewer",     "Web Browser", "Roots",
                                            "Perpetual Notes",  "External Program", "Spreadsheet", "Date Strings"};
  for (const SettingDef* d : catalogue()) {
    switch (d->reading) {
      case Reading::FlagNo:
        EXPECT_EQ(d->def, "no") << d->key;
        break;
      case Reading::FlagYes:
        EXPECT_EQ(d->def, "yes") << d->key;
        break;
      case Reading::Int:
        EXPECT_NE(readIntValue(d->def), -1) << d->key;
        break;
      case Reading::List:
        EXPECT_EQ(d->def, "") << d->key;
        break;
      default:
        break;
    }
    if (d->page.empty()) {
      EXPECT_TRUE(d->control.empty()) << d->key;
      EXPECT_TRUE(d->pageDefault.empty()) << d->key;
    } else {
      EXPECT_TRUE(pages.count(d->page)) << d->key;
      EXPECT_FALSE(d->control.empty()) << d->key;
    }
    // Check boxes read with pendingGetInt: their page default must be a number.
    if (!d->page.empty() && (d->reading == Reading::FlagNo || d->reading == Reading::FlagYes)) {
      EXPECT_EQ(d->pageDefault, d->reading == Reading::FlagYes ? "1" : "0") << d->key;
      EXPECT_EQ(configureDefault(*d), d->pageDefault) << d->key;
    }
  }
}

TEST(SettingsCatalogue, DesignedDefaults) {
  EXPECT_EQ(setting::ListWidth.def, "200");
  EXPECT_EQ(setting::TextWidthMultiple.def, "7");
  EXPECT_EQ(setting::DefaultExtension.def, ".txt");
  EXPECT_EQ(setting::IndexFile.reading, Reading::Layered);
  EXPECT_EQ(setting::IndexFile.def, "_index.txt");
  EXPECT_EQ(setting::NoteTemplateTime.def, "hh:mmtt");
  EXPECT_EQ(setting::PrependDateTemplate.def, "yyyy-MM-dd-");
  EXPECT_EQ(setting::ImageLinksWithFiles.def, "1");
  EXPECT_EQ(setting::ExternalProgramArgs.def, "\"$fullfile\"");
  EXPECT_EQ(setting::TnFileWithOriginal.reading, Reading::FlagNo);
  EXPECT_TRUE(setting::BrowserSearchString.def.ends_with("search?q="));
  EXPECT_TRUE(setting::BrowserSearchString.def.starts_with("https://"));
  EXPECT_EQ(setting::AutoSave.page, "General Settings");
  EXPECT_EQ(setting::AutoSave.pageDefault, "2");
  EXPECT_EQ(setting::EditMode.reading, Reading::WrittenOnly);
  EXPECT_EQ(configureDefault(setting::NoteFontSize), "");
  EXPECT_EQ(configureDefault(setting::DefaultExtension), ".txt");
  EXPECT_EQ(configureDefault(setting::ExternalProgramArgs), "\"$fullfile\"");
  EXPECT_EQ(configureDefault(setting::NoteDateTemplate), "");
}

class SettingsTest : public ::testing::Test {
 protected:
  void load(std::string_view text) {
    ini_ = dir_.write("vellumark.ini", text);
    ASSERT_TRUE(store_.load(ini_));
  }
  TempDir dir_;
  std::filesystem::path ini_;
  SettingsStore store_;
  Settings settings_{store_};
};

TEST_F(SettingsTest, EmptyGeneralSectionGivesDefaults) {
  load("[General]\n");
  EXPECT_FALSE(settings_.flag(setting::UseStatBar));
  EXPECT_FALSE(settings_.flag(setting::ExpertMode));  // tooltips on
  EXPECT_EQ(settings_.integer(setting::AutoSave), 2);
  EXPECT_TRUE(settings_.flag(setting::RootAutoAddMyDocuments));
  EXPECT_TRUE(settings_.flag(setting::RootAutoAddCDrive));
  EXPECT_TRUE(settings_.flag(setting::RootAutoAddFernhollow));
  EXPECT_EQ(settings_.text(setting::DefaultExtension), ".txt");
  EXPECT_FALSE(settings_.flag(setting::TnFileWithOriginal));
  EXPECT_EQ(settings_.integer(setting::ListWidth), 200);
  EXPECT_EQ(settings_.integer(setting::TextWidthMultiple), 7);
  EXPECT_EQ(settings_.text(setting::ExternalProgramArgs), "\"$fullfile\"");
  EXPECT_EQ(settings_.text(setting::MarkupCSS), "markup.css");
  EXPECT_EQ(settings_.text(setting::SpreadSheetDelimiter), ",");
  EXPECT_EQ(settings_.text(setting::IndexFile), "_index.txt");
  EXPECT_TRUE(settings_.list(setting::TextExtraExtensions).empty());
  EXPECT_TRUE(settings_.list(setting::WindowPosition).empty());
  EXPECT_EQ(&settings_.store(), &store_);
}

TEST_F(SettingsTest, StoredValuesWin) {
  load("[General]\nUseStatBar=yes\nAutoSave=0\nTextWidthMultiple=0\nTextExtraExtensions=.log,,.cfg\n"
       "DefaultExtension=\nMarkupCSS=dark.css\nHideHidden=no\n");
  EXPECT_TRUE(settings_.flag(setting::UseStatBar));
  EXPECT_EQ(settings_.integer(setting::AutoSave), 0);
  EXPECT_EQ(settings_.integer(setting::TextWidthMultiple), 0);  // raw: callers guard
  auto l = settings_.list(setting::TextExtraExtensions);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[1], ".cfg");
  EXPECT_EQ(settings_.text(setting::DefaultExtension), ".txt");  // empty counts as absent
  EXPECT_EQ(settings_.text(setting::MarkupCSS), "dark.css");
  EXPECT_FALSE(settings_.flag(setting::HideHidden));
}

TEST_F(SettingsTest, YesIsTrueButShowsUnticked) {
  load("[General]\nSSNeverSort=yes\n");
  EXPECT_TRUE(settings_.flag(setting::SSNeverSort));
  EXPECT_EQ(store_.pendingGetInt(setting::SSNeverSort.key, configureDefault(setting::SSNeverSort)), 0);
  EXPECT_EQ(store_.pendingGetInt(setting::ShowCSSInMenu.key, configureDefault(setting::ShowCSSInMenu)), 1);
}

TEST_F(SettingsTest, WritersReadBackInTheSameRun) {
  load("[General]\n");
  settings_.setInt(setting::ListWidth, 260);
  settings_.set(setting::WordWrap, "0");
  settings_.setInt(setting::EditMode, 1);
  EXPECT_EQ(settings_.integer(setting::ListWidth), 260);
  EXPECT_FALSE(settings_.flag(setting::WordWrap));
  EXPECT_EQ(settings_.integer(setting::EditMode), 1);
  EXPECT_EQ(dir_.read("vellumark.ini"), "[General]\nListWidth=260\nWordWrap=0\nEditMode=1\n");
}

TEST_F(SettingsTest, LayeredLookupOrder) {
  load("[General]\nNoteTemplateDate=dd.MM.yyyy\nNoteDateTemplate=ini\nImagePrependDate=\n");
  // Without a folder lookup: the INI, then the default.
  EXPECT_EQ(settings_.text(setting::NoteTemplateDate), "dd.MM.yyyy");
  EXPECT_EQ(settings_.text(setting::NoteTemplateTime), "hh:mmtt");
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
  // Non-layered settings never ask the folder files.
  asked.clear();
  (void)settings_.text(setting::MarkupCSS);
  (void)settings_.flag(setting::UseStatBar);
  EXPECT_TRUE(asked.empty());
}

}  // namespace
