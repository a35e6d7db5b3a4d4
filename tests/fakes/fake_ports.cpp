#include "fakes/fake_ports.h"

namespace vm::test {

AppHarness::AppHarness() {
  home = dir.mkdir("home").string();
  docs = dir.mkdir("docs").string();
  fileSystem = dir.mkdir("fsroot").string();
  support = dir.mkdir("home/support").string();
  dir.write("home/support/help/1_help.txt", "Help text\n");
  env.home = home;
  env.supportDir = support;
  env.tempDir = dir.mkdir("tmp");
  env.paths.appSrcDrv = "/";
  env.paths.documents = docs;
  env.paths.fernhollow = (dir.path() / "no-fernhollow").string();
  env.paths.fileSystemRoot = fileSystem;
  // As the shell does, a replaced selection counts as the user's edit.
  editor.onReplace = [this] {
    if (app_) app_->noteEdited();
  };
}

void AppHarness::ini(const std::string& text) const { dir.write("home/vellumark.ini", text); }

std::string AppHarness::iniText() const { return dir.read("home/vellumark.ini"); }

App& AppHarness::start(const std::string& commandLineFile) {
  app_.reset();
  env.commandLineFile = commandLineFile;
  app_ = std::make_unique<App>(env, AppPorts{&clock, &timers, &window, &desktop, &dialogs, &editor, &multibar, &web, &sheet, &pump});
  app_->startUp();
  return *app_;
}

}  // namespace vm::test
