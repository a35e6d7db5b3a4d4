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
// Shortcuts: recent files 6001-6010, Perpetual notes 6011-6013, help 6014.
inline constexpr int kShortcutFirst = 6001;
inline constexpr int kShortcutLast = 6014;
inline constexpr int kPerpetual1 = 6011;
inline constexpr int kHelpShortcut = 6014;
// Timers.
inline constexpr int kTimerAutosave = 1;
inline constexpr int kTimerStatus = 2;
inline constexpr int kTimerSheet = 4;
inline constexpr int kTimerFolderWatch = 5;
}  // namespace vm::cmd
