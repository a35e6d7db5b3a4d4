#pragma once
// The shared parts a feature gets from the App, for testing one feature
// without an App: a home folder with an INI file, the settings, the roots,
// the status line and the menus.
#include <string>

#include "core/context.h"
#include "fakes/temp_dir.h"

namespace vm::test {

struct FeatureParts {
  TempDir dir;
  AppEnvironment env;
  AppPorts ports;
  SettingsStore store;
  Settings settings{store};
  Roots roots;
  StatusLine status;
  MenuModel menus;
  ToolbarModel toolbar;

  // Writes home/vellumark.ini with these [General] lines and loads it.
  explicit FeatureParts(const std::string& general = "") {
    env.home = dir.mkdir("home");
    dir.write("home/vellumark.ini", "[General]\n" + general + "\n");
    store.load(env.home / "vellumark.ini");
  }
  FeatureContext context() { return FeatureContext{env, ports, store, settings, roots, status, menus, toolbar}; }
};

}  // namespace vm::test
