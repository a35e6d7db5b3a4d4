#pragma once
// What every feature shares: where the program lives, the ports to the
// screen, the settings, the roots, the status line, the menus and the
// toolbar. The App builds one FeatureContext and hands it to each feature;
// a feature keeps its own state and reaches the shared parts only here.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "core/commands.h"
#include "core/menu_model.h"
#include "core/roots.h"
#include "core/settings_catalogue.h"
#include "core/settings_store.h"
#include "core/status_line.h"
#include "platform/ports.h"
#include "platform/fs.h"

namespace vm {

// Where the program lives on this machine.
struct AppEnvironment {
  std::filesystem::path home;        // INI, log, file_info
  std::filesystem::path supportDir;  // style sheets and help
  std::filesystem::path tempDir;     // private folder for rendered pages and work files
  std::string exeName = "vellumark"; // the INI is named after it
  PathEnv paths;                     // path variables and automatic roots
  std::string commandLineFile;       // file named on the command line, or empty
};

struct AppPorts {
  Clock* clock = nullptr;
  Timers* timers = nullptr;
  WindowPort* window = nullptr;
  Desktop* desktop = nullptr;
  Dialogs* dialogs = nullptr;
  TextEditor* editor = nullptr;   // the note editor
  LineEditor* multibar = nullptr;
  WebView* web = nullptr;         // the web view; none: pages are written but not shown
  SheetView* sheet = nullptr;     // the spreadsheet's table; none: sheets open without a view
  Pump* pump = nullptr;           // keeps the window alive during long loads
  Clipboard* clipboard = nullptr; // none: nothing to paste, copies go nowhere
  LineInput* lineInput = nullptr; // the one-line question; none: questions get no answer
};

struct FeatureContext {
  const AppEnvironment& env;
  AppPorts& ports;  // the App fills in headless editors before any feature runs
  SettingsStore& store;
  Settings& settings;
  Roots& roots;
  StatusLine& status;
  MenuModel& menus;
  ToolbarModel& toolbar;

  // Results and soft errors go to the status line through here.
  void say(const std::string& text) const { status.show(text); }
  std::int64_t nowNs() const { return ports.clock ? ports.clock->nowNs() : 0; }
  LocalTime now() const { return localTimeOf(nowNs()); }
  // The current root's selected file, with its folder.
  std::string selectedPath() const {
    const RootLocation& r = roots.current();
    return joinPath(r.filesFolder(), r.selectedFile);
  }
  // A viewer's own items go into the Tools menu in front of the mode switch.
  void addToolsItem(MenuItem item) const { menus.insertBefore(1, cmd::kSwitchMode, std::move(item)); }
};

}  // namespace vm
