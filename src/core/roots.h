#pragma once
// Roots: the table of registered folders, path variables that keep roots
// portable, and the shortcut table (recent files, Perpetual notes, help).
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/limits.h"
#include "platform/root_location.h"

namespace vm {

class Settings;

inline constexpr std::string_view kVarAppSrcDrv = "%AppSrcDrv%";
inline constexpr std::string_view kVarMyDocuments = "%MyDocuments%";
inline constexpr std::string_view kRootMyDocuments = "My Documents";
inline constexpr std::string_view kRootFernhollow = "Fernhollow";
inline constexpr std::string_view kRootFileSystem = "File System";
inline constexpr std::string_view kRootCommandLine = "Command Line";
inline constexpr std::string_view kRootHelp = "Help";
inline constexpr const char* kHelpFileName = "1_help.txt";
inline constexpr std::string_view kBasicRootsSection = "BasicRoots";

// What the path variables and the automatic roots stand for on this machine.
struct PathEnv {
  std::string appSrcDrv = "/";             // mount point of the file system holding the home folder
  std::optional<std::string> documents;    // the user's documents folder
  std::string fernhollow = "/fernhollow";  // the automatic "Fernhollow" root, when it exists
  std::string fileSystemRoot = "/";        // the automatic "File System" root
};

// Expands "%AppSrcDrv%" (at the start) and "%MyDocuments%" (anywhere, ignoring
// case) in place. True when every variable expanded and the result exists.
bool expandPathVariables(std::string& path, const PathEnv& env);
// The reverse for paths on the program's own file system: the mount point
// prefix becomes "%AppSrcDrv%". Paths elsewhere are left alone.
void contractPathForRemote(std::string& path, const PathEnv& env);

// Shortcut slots: 0-9 recent files (6001-6010), 10-12 Perpetual notes
// (6011-6013), 13 help (6014).
inline constexpr int kShortcutFirstId = 6001;
inline constexpr int kPerpetualFirstSlot = 10;
inline constexpr int kHelpSlot = 13;

class Roots {
 public:
  using StatusSink = std::function<void(const std::string&)>;

  // Appends a root; -1 and "Hit maximum number of roots" when 25 exist. An
  // empty display name shows the folder; an empty extension takes defaultExt.
  int add(const std::string& configured, const std::string& folder, const std::string& display,
          const std::string& extension, const std::string& defaultExt, const StatusSink& status);
  // First root whose folder or display name equals text, ignoring case; -1 when none.
  int find(std::string_view text) const;
  int count() const { return static_cast<int>(table_.size()); }
  RootLocation& at(int i) { return table_[static_cast<std::size_t>(i)]; }
  const RootLocation& at(int i) const { return table_[static_cast<std::size_t>(i)]; }
  void clear() { table_.clear(); current_ = 0; }
  const std::vector<RootLocation>& all() const { return table_; }

  int currentIndex() const { return current_; }
  void setCurrent(int i) { current_ = (i >= 0 && i < count()) ? i : 0; }
  // The current root; an unused placeholder when the table is empty.
  RootLocation& current();
  const RootLocation& current() const;

  // Display names in table order.
  std::vector<std::string> displayNames() const;

  // Fills the table from section BasicRoots (folders that exist), then the
  // automatic roots My Documents, Fernhollow and File System.
  void load(const Settings& settings, const PathEnv& env, const StatusSink& status);

  // Fills the Perpetual note slots from their settings and the help slot
  // with the help note in helpFolder; recent files stay as they are.
  void loadFixedShortcuts(const Settings& settings, const PathEnv& env, const std::string& helpFolder);

  std::array<RootLocation, limits::kShortcuts>& shortcuts() { return shortcuts_; }
  const std::array<RootLocation, limits::kShortcuts>& shortcuts() const { return shortcuts_; }

 private:
  std::vector<RootLocation> table_;
  int current_ = 0;
  RootLocation none_;
  std::array<RootLocation, limits::kShortcuts> shortcuts_;
};

// A Perpetual note value "root|path|folder|file" split into its four fields;
// nullopt when it is empty.
std::optional<std::array<std::string, 4>> splitPerpetualNote(std::string_view value);

}  // namespace vm
