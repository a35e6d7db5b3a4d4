#include "fakes/fake_ports.h"

#include "core/commands.h"
#include "platform/fs.h"

namespace vm::test {

std::size_t FakeTextEditor::characterCount() {
  std::size_t n = 0;
  for (char c : content) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void FakeTextEditor::cut() {
  if (readOnly || selectionStart() == selectionEnd()) return;
  copy();
  undoStack.push_back(content);
  content.erase(selectionStart(), selectionEnd() - selectionStart());
  selEnd = selStart;
}

void FakeTextEditor::copy() {
  if (clipboard && selectionStart() != selectionEnd())
    clipboard->setText(content.substr(selectionStart(), selectionEnd() - selectionStart()));
}

int FakeTextEditor::textWidth(const std::string& t) {
  if (charWidth <= 0) return -1;
  std::size_t n = 0;
  for (char c : t) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return static_cast<int>(n) * charWidth;
}

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
  editor.clipboard = &clipboard;
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
  app_ = std::make_unique<App>(env, AppPorts{&clock, &timers, &window, &desktop, &dialogs, &editor, &multibar, &web, &sheet, &pump, &clipboard, &lineInput});
  app_->startUp();
  return *app_;
}

RootHarness::RootHarness(const std::string& general) : root(dir.str() + "/notes") {
  dir.mkdir("notes");
  settings(general);
}

void RootHarness::settings(const std::string& general) const {
  ini("[General]\n" + general + "\n[BasicRoots]\n" + root + "=Notes\n");
}

App& RootHarness::start() {
  App& a = AppHarness::start();
  if (viewMode) a.command(cmd::kCtrlE);
  return a;
}

App& RootHarness::open(const std::string& name) {
  app().fileClicked(app().fileList().find(name));
  return app();
}

App& RootHarness::startWith(const std::string& name, const std::string& content) {
  dir.write("notes/" + name, content);
  start();
  return open(name);
}

std::string RootHarness::file(const std::string& name) const {
  return readWholeFile(root + "/" + name).value_or("<missing>");
}

void RootHarness::type(const std::string& text) {
  if (editor.readOnly) return;
  editor.content += text;
  app().noteEdited();
}

void RootHarness::enter(const std::string& text, bool skipWeb) {
  multibar.content = text;
  app().multibarEnter(skipWeb);
}

void RootHarness::sheetMenu(int viewRow, int column, int id) {
  sheet.choose = id;
  app().sheetContextMenu(viewRow, column);
  sheet.choose = 0;
}

void RootHarness::editCell(int viewRow, int column, const std::string& text) {
  app().sheetCellDoubleClicked(viewRow, column);
  sheet.editText = text;
  app().sheetEditorEnter();
}

}  // namespace vm::test
