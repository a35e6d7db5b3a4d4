#pragma once
// The Configure dialog's pending settings: what its pages show and what the
// user entered, kept apart from the INI file until OK.
//
// A page reads its values through the session when it is shown and writes
// them back when it is left, so returning to a page shows what was entered
// last. OK (commit) writes only the keys whose value changed, each through
// the store's one-key atomic write, so every other line of the INI file
// (comments, unknown keys and sections) stays as it was; Cancel writes
// nothing. Flags show what the program reads ("yes" shows ticked) and are
// written as "1" or "0" only when the user changed them or the key was absent.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "platform/root_location.h"

namespace vm {

// The page list in its order; the index is the page number. The note picker
// (page 8) is not listed.
inline constexpr std::array<std::string_view, 8> kConfigurePages = {
    "General Settings", "Text Viewer",      "Web Browser", "Roots",
    "Perpetual Notes",  "External Program", "Spreadsheet", "Date Strings"};
inline constexpr int kNotePickerPage = 8;

// A message box: title and text, and the page that should be shown with it.
struct ConfigureMessage {
  std::string title;
  std::string text;
  int page = -1;
};

// One row of the roots page: the folder as written, its alias and its
// default extension.
struct RootRow {
  std::string path;
  std::string alias;
  std::string extension;
  bool operator==(const RootRow&) const = default;
};

// What the note picker lists in one folder: sub-folders ("[ . . ]" first
// when the folder is below the root) and files, names only, sorted ignoring
// case; hidden names (starting with '.') are left out.
struct PickerListing {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};
PickerListing listPickerFolder(const std::string& folder, bool belowRoot);
inline constexpr std::string_view kUpFolder = "[ . . ]";

class ConfigureSession {
 public:
  // rootTable: the roots as the main window has them (configured and
  // expanded folders), used to split a Perpetual note's path.
  ConfigureSession(SettingsStore& store, PathEnv env, std::vector<RootLocation> rootTable);

  // Keys shown on a page, in page order (flags and text fields).
  static std::vector<const SettingDef*> pageKeys(int page);
  // True for keys shown as check boxes.
  static bool isFlag(const SettingDef& d);

  // Text fields: the pending value, else the stored value (an empty or
  // absent key shows the page default).
  std::string text(const SettingDef& d);
  void setText(const SettingDef& d, std::string_view value);
  // Check boxes.
  bool flag(const SettingDef& d);
  void setFlag(const SettingDef& d, bool on);

  // Roots page.
  const std::vector<RootRow>& roots();
  // Add New Root: refused with "Error" when the path is already in the list
  // (ignoring case) or cannot be a settings key, "Required" when a field is
  // empty; an extension without its leading dot gets one.
  std::optional<ConfigureMessage> addRoot(RootRow row);
  // Edit: every field required; the row is replaced as typed.
  std::optional<ConfigureMessage> editRoot(int index, RootRow row);
  void removeRoot(int index);
  // "Set path for remote use": contracts path in place, or says why not.
  std::optional<ConfigureMessage> contractForRemote(std::string& path) const;

  // Perpetual Notes page, n = 0..2. The field shows the note's full path;
  // setting a text that names no root or has fewer than two '/' leaves the
  // note as it was.
  std::string perpetualText(int n);
  void setPerpetualText(int n, std::string_view text);
  // Note picker: the roots it offers (the roots page's folders as written,
  // then the automatic roots), each expanded for listing.
  std::vector<std::string> pickerRoots();
  std::string expand(const std::string& configured) const;
  // The picked note as the field will hold it: contracted with "%AppSrcDrv%"
  // when the chosen root is written with that variable.
  std::string pickedPath(const std::string& chosenRoot, const std::string& fullPath) const;

  // OK: the first value that cannot be stored (a number field that holds no
  // number, a ';' that the INI file would read as a comment), or nullopt.
  std::optional<ConfigureMessage> validate();
  // Keys that OK writes (General keys, then "BasicRoots" when the roots changed).
  std::vector<std::string> changedKeys() const;
  // Writes the changed keys; false when a write failed. Cancel: just drop the session.
  bool commit();

 private:
  struct Pending {
    const SettingDef* def;
    std::string shown;  // what the page showed first
    std::string value;  // what it holds now
    bool absent = false;
  };
  Pending& pending(const SettingDef& d);
  bool splitPerpetual(std::string_view text, std::string& out) const;

  SettingsStore& store_;
  PathEnv env_;
  std::vector<RootLocation> rootTable_;
  std::vector<Pending> pending_;
  bool rootsRead_ = false;
  std::vector<RootRow> roots_;
  std::vector<RootRow> storedRoots_;
};

}  // namespace vm
