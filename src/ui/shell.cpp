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

  sheet.attach(window.sheetHost());
  sheet.onCellClicked = [&app](int row, int column) { app.sheetCellClicked(row, column); };
  sheet.onCellDoubleClicked = [&app](int row, int column) { app.sheetCellDoubleClicked(row, column); };
  sheet.onContextMenu = [&app](int row, int column) { app.sheetContextMenu(row, column); };
  sheet.onKey = [&app](SheetKey key, int pageRows) { app.sheetKey(key, pageRows); };
  sheet.onEditorEnter = [&app] { app.sheetEditorEnter(); };
  sheet.onEditorEscape = [&app] { app.sheetEditorEscape(); };
  sheet.onHeaderClicked = [&app](int column) { app.sheetHeaderClicked(column); };
  sheet.onGroupToggled = [&app](int group) { app.sheetGroupToggled(group); };
  sheet.onScrolled = [&app] { app.sheetScrolled(); };
  sheet.onColumnResized = [&app](int column, int width) { app.sheetColumnResized(column, width); };
  pump.attach(&window);
}

}  // namespace vm::ui
