#pragma once
// The settings catalogue: every key the program reads or writes,
// its reading kind, its default and its Configure page, as ONE table. Every
// reader goes through vm::Settings with a vm::setting::X definition, so no
// key or default is written twice.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings_store.h"

namespace vm {

// How a setting is read when the key is absent (or empty):
// FlagNo / FlagYes: flag with default no / yes (getFlag / getFlagDefaultYes);
// Int: getInt with def as the number; Text: get with def; List: getList;
// Layered: folder settings files first, then the INI, then def;
// WrittenOnly: written by the program, not read from the INI.
enum class Reading { FlagNo, FlagYes, Int, Text, List, Layered, WrittenOnly };

struct SettingDef {
  std::string_view key;       // INI key (e.g. "UseStatBar")
  Reading reading;
  std::string_view def;       // default as the reading code gives it ("no"/"yes" for flags, "200", ".txt", ...)
  std::string_view page = {};        // Configure page name, e.g. "General Settings", empty when none
  std::string_view control = {};     // control text on that page
  // The Configure page's default. Set for every check box of a page ("1" or
  // "0": a page reads flags with pendingGetInt, so "yes" would show unticked)
  // and for the text fields whose page default differs; empty otherwise. Use
  // configureDefault() rather than this field.
  std::string_view pageDefault = {};
};

namespace setting {

// Program, window and status bar
inline constexpr SettingDef UseStatBar{"UseStatBar", Reading::FlagNo, "no", "General Settings", "Use Status bar", "0"};
inline constexpr SettingDef NoteShowWordCount{"NoteShowWordCount", Reading::FlagYes, "yes", "General Settings", "Display Word Count (text note)", "1"};
inline constexpr SettingDef NoteShowCharCount{"NoteShowCharCount", Reading::FlagYes, "yes", "General Settings", "Display Character Count (text note)", "1"};
inline constexpr SettingDef ExpertMode{"ExpertMode", Reading::FlagNo, "no", "General Settings", "Expert mode", "0"};
inline constexpr SettingDef BackInsteadOfNew{"BackInsteadOfNew", Reading::FlagNo, "no", "General Settings", "Display Back button instead of New", "0"};
inline constexpr SettingDef WindowPosition{"WindowPosition", Reading::List, ""};
inline constexpr SettingDef FirstLaunch{"FirstLaunch", Reading::FlagNo, "no"};
// Written on every mode switch, never read (the program starts in Edit mode).
inline constexpr SettingDef EditMode{"EditMode", Reading::WrittenOnly, ""};
inline constexpr SettingDef ListWidth{"ListWidth", Reading::Int, "200"};
inline constexpr SettingDef GutterWidth{"GutterWidth", Reading::Int, "10"};
// Divisor of ListWidth: integer() returns the raw value, which may be 0 or
// negative; callers must fall back to the default (7) when it is below 1.
inline constexpr SettingDef TextWidthMultiple{"TextWidthMultiple", Reading::Int, "7"};
inline constexpr SettingDef LogBack{"LogBack", Reading::FlagNo, "no"};

// Roots and shortcuts (the roots themselves are section BasicRoots)
inline constexpr SettingDef LastRoot{"LastRoot", Reading::Text, ""};
inline constexpr SettingDef RootAutoAddMyDocuments{"RootAutoAddMyDocuments", Reading::FlagYes, "yes", "Roots", "Auto add My Documents", "1"};
inline constexpr SettingDef RootAutoAddCDrive{"RootAutoAddCDrive", Reading::FlagYes, "yes", "Roots", "Auto add C: Drive", "1"};
inline constexpr SettingDef RootAutoAddFernhollow{"RootAutoAddFernhollow", Reading::FlagYes, "yes"};
inline constexpr SettingDef RootAdjustForNetwork{"RootAdjustForNetwork", Reading::FlagYes, "yes", "Roots", "Auto adjust path for network", "1"};
inline constexpr SettingDef DefaultExtension{"DefaultExtension", Reading::Text, ".txt", "Text Viewer", "Default file extension", ".txt"};
inline constexpr SettingDef PerpetualNote1{"PerpetualNote1", Reading::Text, "", "Perpetual Notes", "Perpetual 1"};
inline constexpr SettingDef PerpetualNote2{"PerpetualNote2", Reading::Text, "", "Perpetual Notes", "Perpetual 2"};
inline constexpr SettingDef PerpetualNote3{"PerpetualNote3", Reading::Text, "", "Perpetual Notes", "Perpetual 3"};

// Listing and file types
inline constexpr SettingDef HideHidden{"HideHidden", Reading::FlagYes, "yes", "Roots", "Hide hidden files and directories", "1"};
inline constexpr SettingDef TnHideFiles{"TnHideFiles", Reading::FlagYes, "yes", "General Settings", "Always hide Vellumark files and folders", "1"};
inline constexpr SettingDef MenuViewVMFiles{"MenuViewVMFiles", Reading::FlagYes, "yes"};
inline constexpr SettingDef LoadIndexFiles{"LoadIndexFiles", Reading::FlagYes, "yes"};
inline constexpr SettingDef IndexFile{"IndexFile", Reading::Layered, "_index.txt"};
inline constexpr SettingDef TextExtraExtensions{"TextExtraExtensions", Reading::List, "", "Text Viewer", "Other text files"};
inline constexpr SettingDef WebExtraExtensions{"WebExtraExtensions", Reading::List, "", "Web Browser", "Other web files"};
inline constexpr SettingDef SSExtraExtensions{"SSExtraExtensions", Reading::List, ""};
inline constexpr SettingDef MarkdownExtraExtensions{"MarkdownExtraExtensions", Reading::List, "", "Web Browser", "Other markdown files"};

// Notes and editing (the keywords are section "keywords")
inline constexpr SettingDef AutoSave{"AutoSave", Reading::Int, "2", "General Settings", "Autosave every", "2"};
inline constexpr SettingDef CheckForBOM{"CheckForBOM", Reading::FlagYes, "yes"};
inline constexpr SettingDef FormatNewLines{"FormatNewLines", Reading::FlagYes, "yes"};
inline constexpr SettingDef WordWrap{"WordWrap", Reading::FlagYes, "yes"};
inline constexpr SettingDef NoteFont{"NoteFont", Reading::Text, "", "Text Viewer", "Note font"};
// The page reads this field with "" (not "0") and writes it only when not empty.
inline constexpr SettingDef NoteFontSize{"NoteFontSize", Reading::Int, "0", "Text Viewer", "Font size"};
// Default "no": companions go to the central folder unless asked otherwise.
inline constexpr SettingDef TnFileWithOriginal{"TnFileWithOriginal", Reading::FlagNo, "no", "General Settings", "Store Vellumark setting files with source file", "0"};
inline constexpr SettingDef FileInfoDir{"FileInfoDir", Reading::Text, ""};
inline constexpr SettingDef NoteDragHttpAsLink{"NoteDragHttpAsLink", Reading::FlagYes, "yes"};
inline constexpr SettingDef NoteImageLinkType{"NoteImageLinkType", Reading::Text, "Markdown"};
inline constexpr SettingDef ImageSaveAsPng{"ImageSaveAsPng", Reading::FlagYes, "yes"};
inline constexpr SettingDef HeaderBarLengthType{"HeaderBarLengthType", Reading::Text, "TextExtent"};
inline constexpr SettingDef HeaderLenInt{"HeaderLenInt", Reading::Int, "40"};
inline constexpr SettingDef NoteTemplateDate{"NoteTemplateDate", Reading::Layered, "yyyy-MM-dd"};
inline constexpr SettingDef NoteTemplateTime{"NoteTemplateTime", Reading::Layered, "hh:mmtt"};
inline constexpr SettingDef KeywordsAutoAdd{"KeywordsAutoAdd", Reading::FlagYes, "yes"};
// Light highlighting of Markdown and wiki markup in the note editor.
inline constexpr SettingDef NoteSyntaxHighlight{"NoteSyntaxHighlight", Reading::FlagYes, "yes"};

// Dates
inline constexpr SettingDef MultibarDateTemplate{"MultibarDateTemplate", Reading::Layered, "", "Date Strings", "Multibar"};
inline constexpr SettingDef NoteDateTemplate{"NoteDateTemplate", Reading::Layered, "", "Date Strings", "Note"};
inline constexpr SettingDef SpreadsheetDateTemplate{"SpreadsheetDateTemplate", Reading::Layered, "", "Date Strings", "Spreadsheet"};
inline constexpr SettingDef MultibarPasteTimeWithDate{"MultibarPasteTimeWithDate", Reading::FlagNo, "no"};
inline constexpr SettingDef SSEditPasteTimeWithDate{"SSEditPasteTimeWithDate", Reading::FlagNo, "no"};

// Search
inline constexpr SettingDef DirectorySearchCheckFilename{"DirectorySearchCheckFilename", Reading::FlagYes, "yes"};

// Rendering and web
inline constexpr SettingDef MarkupCSS{"MarkupCSS", Reading::Text, "markup.css"};
inline constexpr SettingDef ShowCSSInMenu{"ShowCSSInMenu", Reading::FlagYes, "yes", "Web Browser", "Show CSS in menu", "1"};
inline constexpr SettingDef SaveCSSOnChange{"SaveCSSOnChange", Reading::FlagNo, "no", "Web Browser", "Make CSS changes permanent", "0"};
inline constexpr SettingDef MarkdownPreMarkdown{"MarkdownPreMarkdown", Reading::FlagYes, "yes"};
inline constexpr SettingDef MarkdownDoPreWiki{"MarkdownDoPreWiki", Reading::FlagYes, "yes"};
inline constexpr SettingDef WikiDoMarkdown{"WikiDoMarkdown", Reading::FlagNo, "no"};
inline constexpr SettingDef ImageUseCSS{"ImageUseCSS", Reading::FlagYes, "yes"};
inline constexpr SettingDef ImageCSSPad{"ImageCSSPad", Reading::Int, "5"};
inline constexpr SettingDef BrowserSearchString{"BrowserSearchString", Reading::Text, "https://www.bing.com/search?q="};
inline constexpr SettingDef PrintTitle{"PrintTitle", Reading::FlagYes, "yes"};

// Import and external programs
inline constexpr SettingDef ImagePrependDate{"ImagePrependDate", Reading::Layered, "0"};
inline constexpr SettingDef PrependDateTemplate{"PrependDateTemplate", Reading::Layered, "yyyy-MM-dd-"};
inline constexpr SettingDef ImageLinksWithFiles{"ImageLinksWithFiles", Reading::Layered, "1"};
inline constexpr SettingDef ExternalProgramExe{"ExternalProgramExe", Reading::Text, "", "External Program", "Program"};
inline constexpr SettingDef ExternalProgramArgs{"ExternalProgramArgs", Reading::Text, "\"$fullfile\"", "External Program", "Arguments", "\"$fullfile\""};
// Empty by default; the menu shows "external program" when it is empty.
inline constexpr SettingDef ExternalProgramAlias{"ExternalProgramAlias", Reading::Text, "", "External Program", "Alias"};
inline constexpr SettingDef ExternalProgramHidden{"ExternalProgramHidden", Reading::FlagNo, "no"};

// Spreadsheet
inline constexpr SettingDef SSMakeChangeBackups{"SSMakeChangeBackups", Reading::FlagYes, "yes", "Spreadsheet", "Keep backups of csv files on save", "1"};
inline constexpr SettingDef SSMaxBackup{"SSMaxBackup", Reading::Int, "5"};
inline constexpr SettingDef SSNeverSort{"SSNeverSort", Reading::FlagNo, "no", "Spreadsheet", "Never sort columns", "0"};
inline constexpr SettingDef SSSaveWidths{"SSSaveWidths", Reading::FlagYes, "yes"};
inline constexpr SettingDef SpreadsheetColumnWidth{"SpreadsheetColumnWidth", Reading::Int, "100"};
inline constexpr SettingDef SpreadsheetNumWidth{"SpreadsheetNumWidth", Reading::Int, "30"};
inline constexpr SettingDef SpreadsheetSortBlankAtBottom{"SpreadsheetSortBlankAtBottom", Reading::FlagNo, "no"};
inline constexpr SettingDef SpreadsheetVerifyCut{"SpreadsheetVerifyCut", Reading::FlagYes, "yes"};
inline constexpr SettingDef SpreadSheetDelimiter{"SpreadSheetDelimiter", Reading::Text, ","};
inline constexpr SettingDef SSEditCursorToEnd{"SSEditCursorToEnd", Reading::FlagYes, "yes"};
// Written here and in the sheet's settings file; read from the settings file
// with "-1" meaning not set.
inline constexpr SettingDef SpreadsheetFirstRowAsTitle{"SpreadsheetFirstRowAsTitle", Reading::WrittenOnly, "-1"};
inline constexpr SettingDef SpreadsheetSortHeader{"SpreadsheetSortHeader", Reading::WrittenOnly, "-1"};

}  // namespace setting

// Every definition, grouped as the Configure pages and the manual list them.
std::span<const SettingDef* const> catalogue();
// The definition of a key, ignoring case; nullptr when unknown.
const SettingDef* findSetting(std::string_view key);

// Default a Configure page passes to the pending reads: pageDefault when set,
// "1"/"0" for other flags, "" for NoteFontSize, else def.
std::string_view configureDefault(const SettingDef& d);

// Typed reader over the store: the ONE place that turns a SettingDef into a value.
class Settings {
 public:
  explicit Settings(SettingsStore& store);
  SettingsStore& store() const;

  // FlagNo -> getFlag, FlagYes -> getFlagDefaultYes; any other kind reads
  // text(d) as a flag.
  bool flag(const SettingDef& d) const;
  // getInt(key, def as a number); Layered reads text(d) as an integer. The raw
  // value is returned (see TextWidthMultiple).
  int integer(const SettingDef& d) const;
  // Text and the others: store.get(key, def, &out) (empty counts as absent);
  // Layered: the folder lookup first, then the same.
  std::string text(const SettingDef& d) const;
  // List: getList; other kinds split text(d).
  std::vector<std::string> list(const SettingDef& d) const;

  // Layered lookup: the caller installs a function that answers from the folder
  // settings files ("vellumark.tn" of the current folder, then of the root) and
  // returns nullopt when no file has the key; then the INI, then the default.
  using FolderLookup = std::function<std::optional<std::string>(std::string_view key)>;
  void setFolderLookup(FolderLookup f);

  // Writers that keep the INI form, section General of the current INI file:
  // set(d, "1"), setInt(d, 200).
  void set(const SettingDef& d, std::string_view value);
  void setInt(const SettingDef& d, int value);

 private:
  SettingsStore* store_;
  FolderLookup folderLookup_;
};

}  // namespace vm
