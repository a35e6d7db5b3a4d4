#pragma once
// Command identifiers shared by menus, accelerators, toolbar buttons and
// list notifications.

namespace vm::cmd {
// Toolbar.
inline constexpr int kToolNewBack = 300;
inline constexpr int kToolSaveForward = 301;
inline constexpr int kToolSpacerMultibar = 303;
inline constexpr int kToolSpacerRoots = 304;
inline constexpr int kToolViewEdit = 305;
// Controls.
inline constexpr int kFolderList = 200;
inline constexpr int kFileList = 201;
inline constexpr int kMultibar = 204;
inline constexpr int kRootList = 205;
inline constexpr int kFolderLabel = 207;
inline constexpr int kSheetTable = 210;
inline constexpr int kCellEditor = 1020;
inline constexpr int kWebHost = 208;
// The Multibar's context menu: the entry's own Cut, Copy and Paste, then
// the prefixes it puts into the entry and the date.
inline constexpr int kMultibarCut = 768;
inline constexpr int kMultibarCopy = 769;
inline constexpr int kMultibarPaste = 770;
inline constexpr int kMultibarSearchDocument = 37889;
inline constexpr int kMultibarSearchDirectory = 37890;
inline constexpr int kMultibarSearchKeyword = 37891;
inline constexpr int kMultibarAddKeyword = 37892;
inline constexpr int kMultibarSearchWeb = 37893;
inline constexpr int kMultibarBrowseUrl = 37894;
inline constexpr int kMultibarPasteDate = 37895;
// Menus.
inline constexpr int kNewTextNote = 40003;
inline constexpr int kSave = 40006;
inline constexpr int kSwitchMode = 40012;
inline constexpr int kExit = 40013;
inline constexpr int kNewSpreadsheet = 40015;
inline constexpr int kConfigure = 40018;
inline constexpr int kCtrlE = 40034;
inline constexpr int kAbout = 40039;
inline constexpr int kHelp = 40040;
inline constexpr int kNewWindow = 40045;
inline constexpr int kAlwaysOnTop = 40052;
inline constexpr int kViewProgramFiles = 960;
inline constexpr int kRefresh = 508;
inline constexpr int kSortByDate = 510;
inline constexpr int kSortByName = 511;
inline constexpr int kLaunchAssociated = 40009;
inline constexpr int kPasteDate = 40010;
inline constexpr int kCtrlS = 40019;
inline constexpr int kCtrlN = 40020;
inline constexpr int kNewSheetKey = 40021;
inline constexpr int kFocusMultibar = 40022;
inline constexpr int kSelectAll = 40023;
inline constexpr int kFocusFileList = 40024;
inline constexpr int kFocusFolderList = 40025;
inline constexpr int kFocusRootList = 40026;
inline constexpr int kF6 = 40027;
inline constexpr int kFocusViewer = 40029;
inline constexpr int kCtrlEnter = 40032;
inline constexpr int kSearchNext = 40042;
// Tools menu: the notes of the root that link to the shown note.
inline constexpr int kLinksToNote = 40300;
inline constexpr int kCtrlB = 40048;
// Note menu items (Tools menu while a text note is shown).
inline constexpr int kNoteSep1 = 900;
inline constexpr int kNoteSep4 = 901;
inline constexpr int kNoteSep2 = 902;
inline constexpr int kWordWrap = 903;
inline constexpr int kMailTo = 904;
inline constexpr int kMailBody = 905;
inline constexpr int kFormatNewLines = 906;
inline constexpr int kWordCount = 907;
inline constexpr int kCharCount = 908;
inline constexpr int kNoteSep3 = 910;
inline constexpr int kWebCopy = 702;        // the web view's context menu
inline constexpr int kPrint = 911;
// Web viewer items in the Tools menu; style sheets 980 to 999, one per sheet.
inline constexpr int kWebSep1 = 912;
inline constexpr int kWebSep2 = 913;
inline constexpr int kStyleSheetMenu = 914;
inline constexpr int kStyleSheetFirst = 980;
inline constexpr int kStyleSheetLast = 999;
// The spreadsheet's View-menu items (Tools menu while a sheet is shown).
inline constexpr int kSheetSep1 = 900;
inline constexpr int kSheetSep2 = 901;
inline constexpr int kSheetTitleRow = 950;
inline constexpr int kSheetSortable = 951;
// The spreadsheet's context menu; 618 to 622 follow the links of the cell.
inline constexpr int kSheetInsertRow = 607;
inline constexpr int kSheetCutRow = 608;
inline constexpr int kSheetInsertColumn = 609;
inline constexpr int kSheetDeleteColumn = 610;
inline constexpr int kSheetPasteRow = 611;
inline constexpr int kSheetDeleteRow = 613;
inline constexpr int kSheetGroupBy = 614;
inline constexpr int kSheetUngroup = 615;
inline constexpr int kSheetExpandAll = 616;
inline constexpr int kSheetCollapseAll = 617;
inline constexpr int kSheetLinkFirst = 618;
inline constexpr int kSheetLinkLast = 622;
inline constexpr int kRecentSeparator = 6000;
inline constexpr int kNoteEditor = 202;
// Shortcuts: recent files 6001-6010, Perpetual notes 6011-6013, help 6014.
inline constexpr int kShortcutFirst = 6001;
inline constexpr int kShortcutLast = 6014;
inline constexpr int kPerpetual1 = 6011;
inline constexpr int kHelpShortcut = 6014;
// Folder List and File List context menus, and the ends of their label edits.
inline constexpr int kNewFolder = 400;
inline constexpr int kOpenFolderExternally = 402;
inline constexpr int kFolderProperties = 403;
inline constexpr int kFileProperties = 500;
inline constexpr int kDeleteFile = 501;
inline constexpr int kRenameFile = 502;
inline constexpr int kCutFile = 503;
inline constexpr int kCopyFile = 504;
inline constexpr int kPasteFile = 505;
inline constexpr int kLaunchFile = 506;
inline constexpr int kOpenAsText = 507;
inline constexpr int kSendToProgram = 509;
inline constexpr int kFileKeywords = 512;
inline constexpr int kPasteImageFile = 513;
inline constexpr int kFileLabelEdited = 5001;
inline constexpr int kFolderLabelEdited = 5002;
// Timers.
inline constexpr int kTimerAutosave = 1;
inline constexpr int kTimerStatus = 2;
inline constexpr int kTimerSheet = 4;
inline constexpr int kTimerFolderWatch = 5;
// The note editor's context menu and editing commands.
inline constexpr int kNoteContextMenu = 920;  // the shell asks for the note's menu
inline constexpr int kKeywords = 909;         // "  Keywords  " of the open note
inline constexpr int kSheetKeywords = 952;    // the same from the sheet's items
inline constexpr int kNoteUndo = 199;
inline constexpr int kNoteCut = 768;
inline constexpr int kNoteCopy = 769;
inline constexpr int kNoteSelectAll = 177;
inline constexpr int kNotePasteText = 33794;
inline constexpr int kNotePasteImage = 33795;
inline constexpr int kNoteLaunch = 33796;
inline constexpr int kFormatBold = 29697;
inline constexpr int kFormatPageLink = 29698;
inline constexpr int kFormatHeader = 29699;
inline constexpr int kFormatSubheader = 29700;
inline constexpr int kFormatWebLink = 29701;
inline constexpr int kFormatItalics = 29702;
inline constexpr int kFormatStrike = 29703;
inline constexpr int kFormatRule = 29704;
inline constexpr int kCtrlL = 40031;  // rule in a note (a column command in a sheet)
inline constexpr int kCtrlH = 40055;  // header in a note
inline constexpr int kCtrlU = 40056;  // subheader in a note
inline constexpr int kNoteSep5 = 921;  // before "  Keywords  " in the Tools menu
}  // namespace vm::cmd
