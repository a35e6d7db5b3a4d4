#include "ui/shell.h"

#include "core/commands.h"

namespace vm::ui {

void QtShell::connect(App& app, MainWindow& window) {
  timers.setTick([&app](int id) { app.timer(id); });
  windowPort.setWindow(&window);
  dialogs.setParent(&window);
  editor.attach(window.noteEditor());
  editor.onEdited = [&app] { app.noteEdited(); };
  editor.onReleased = [&app] { app.noteKeyReleased(); };
  multibar.attach(window.multibar());
  web.attach(window.webHost());
  web.onPageLink = [&app](const std::string& url) { app.pageLinkClicked(url); };
  web.onTitleChanged = [&app](const std::string& title) { app.pageTitleChanged(title); };
  web.onCopyCommand = [&app] { app.command(cmd::kWebCopy); };
}

}  // namespace vm::ui
