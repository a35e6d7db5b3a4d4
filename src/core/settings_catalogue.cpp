#include "core/settings_catalogue.h"

#include <array>

#include "platform/text.h"

namespace vm {

namespace {

constexpr std::array kCatalogue = {
    &setting::UseStatBar,
    &setting::NoteShowWordCount,
    &setting::NoteShowCharCount,
    &setting::ExpertMode,
    &setting::BackInsteadOfNew,
    &setting::WindowPosition,
    &setting::FirstLaunch,
    &setting::EditMode,
    &setting::ListWidth,
    &setting::GutterWidth,
    &setting::TextWidthMultiple,
    &setting::LogBack,
    &setting::LastRoot,
    &setting::RootAutoAddMyDocuments,
    &setting::RootAutoAddCDrive,
    &setting::RootAutoAddFernhollow,
    &setting::RootAdjustForNetwork,
    &setting::DefaultExtension,
    &setting::PerpetualNote1,
    &setting::PerpetualNote2,
    &setting::PerpetualNote3,
    &setting::HideHidden,
    &setting::TnHideFiles,
    &setting::MenuViewVMFiles,
    &setting::LoadIndexFiles,
    &setting::IndexFile,
    &setting::TextExtraExtensions,
    &setting::WebExtraExtensions,
    &setting::SSExtraExtensions,
    &setting::MarkdownExtraExtensions,
    &setting::AutoSave,
    &setting::CheckForBOM,
    &setting::FormatNewLines,
    &setting::WordWrap,
    &setting::NoteFont,
    &setting::NoteFontSize,
    &setting::TnFileWithOriginal,
    &setting::FileInfoDir,
    &setting::NoteDragHttpAsLink,
    &setting::NoteImageLinkType,
    &setting::ImageSaveAsPng,
    &setting::HeaderBarLengthType,
    &setting::HeaderLenInt,
    &setting::NoteTemplateDate,
    &setting::NoteTemplateTime,
    &setting::KeywordsAutoAdd,
    &setting::MultibarDateTemplate,
    &setting::NoteDateTemplate,
    &setting::SpreadsheetDateTemplate,
    &setting::MultibarPasteTimeWithDate,
    &setting::SSEditPasteTimeWithDate,
    &setting::DirectorySearchCheckFilename,
    &setting::MarkupCSS,
    &setting::ShowCSSInMenu,
    &setting::SaveCSSOnChange,
    &setting::MarkdownPreMarkdown,
    &setting::MarkdownDoPreWiki,
    &setting::WikiDoMarkdown,
    &setting::ImageUseCSS,
    &setting::ImageCSSPad,
    &setting::BrowserSearchString,
    &setting::PrintTitle,
    &setting::ImagePrependDate,
    &setting::PrependDateTemplate,
    &setting::ImageLinksWithFiles,
    &setting::ExternalProgramExe,
    &setting::ExternalProgramArgs,
    &setting::ExternalProgramAlias,
    &setting::ExternalProgramHidden,
    &setting::SSMakeChangeBackups,
    &setting::SSMaxBackup,
    &setting::SSNeverSort,
    &setting::SSSaveWidths,
    &setting::SpreadsheetColumnWidth,
    &setting::SpreadsheetNumWidth,
    &setting::SpreadsheetSortBlankAtBottom,
    &setting::SpreadsheetVerifyCut,
    &setting::SpreadSheetDelimiter,
    &setting::SSEditCursorToEnd,
    &setting::SpreadsheetFirstRowAsTitle,
    &setting::SpreadsheetSortHeader,
    &setting::NoteSyntaxHighlight
};

}  // namespace

std::span<const SettingDef* const> catalogue() { return kCatalogue; }

const SettingDef* findSetting(std::string_view key) {
  for (const SettingDef* d : kCatalogue)
    if (equalsNoCase(d->key, key)) return d;
  return nullptr;
}

std::string_view configureDefault(const SettingDef& d) {
  if (!d.pageDefault.empty()) return d.pageDefault;
  if (d.reading == Reading::FlagNo) return "0";
  if (d.reading == Reading::FlagYes) return "1";
  if (&d == &setting::NoteFontSize) return "";
  return d.def;
}

Settings::Settings(SettingsStore& store) : store_(&store) {}

SettingsStore& Settings::store() const { return *store_; }

bool Settings::flag(const SettingDef& d) const {
  switch (d.reading) {
    case Reading::FlagNo:
      return store_->getFlag(d.key);
    case Reading::FlagYes:
      return store_->getFlagDefaultYes(d.key);
    default:
      return readFlagValue(text(d));
  }
}

int Settings::integer(const SettingDef& d) const {
  if (d.reading == Reading::Layered) return readIntValue(text(d));
  long def = leadingNumber(d.def);
  return store_->getInt(d.key, static_cast<int>(def));
}

std::string Settings::text(const SettingDef& d) const {
  if (d.reading == Reading::Layered && folderLookup_) {
    if (auto v = folderLookup_(d.key)) return std::move(*v);
  }
  std::string out;
  store_->get(d.key, d.def, &out);
  return out;
}

std::vector<std::string> Settings::list(const SettingDef& d) const {
  if (d.reading == Reading::List) return store_->getList(d.key);
  return readListValue(text(d));
}

void Settings::setFolderLookup(FolderLookup f) { folderLookup_ = std::move(f); }

void Settings::set(const SettingDef& d, std::string_view value) { store_->set(d.key, value); }

void Settings::setInt(const SettingDef& d, int value) { store_->setInt(d.key, value); }

}  // namespace vm
