#include "ui/shell.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "core/commands.h"

namespace vm::ui {

namespace {

int gSignalPipe[2] = {-1, -1};
constexpr int kShutdownSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void onShutdownSignal(int sig) {
  // Only what is safe inside a handler: one write, errno kept.
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(sig);
  if (gSignalPipe[1] >= 0) {
    const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    (void)n;  // a full pipe already holds a request to end
  }
  errno = saved;
}

}  // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {}

ShutdownSignals::~ShutdownSignals() {
  if (!notifier_) return;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  for (int sig : kShutdownSignals) sigaction(sig, &dfl, nullptr);
  delete notifier_;
  ::close(gSignalPipe[0]);
  ::close(gSignalPipe[1]);
  gSignalPipe[0] = gSignalPipe[1] = -1;
}

bool ShutdownSignals::install() {
  if (notifier_) return true;
  if (gSignalPipe[0] >= 0) return false;  // another instance holds the pipe
  if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    gSignalPipe[0] = gSignalPipe[1] = -1;
    return false;
  }
  notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::readPipe);
  struct sigaction sa {};
  sa.sa_handler = onShutdownSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  bool ok = true;
  for (int sig : kShutdownSignals) ok = sigaction(sig, &sa, nullptr) == 0 && ok;
  return ok;
}

void ShutdownSignals::readPipe() {
  unsigned char buf[16];
  for (;;) {
    const ssize_t n = ::read(gSignalPipe[0], buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (onSignal) onSignal(buf[i]);
  }
}

void QtShell::connect(App& app, MainWindow& window) {
  timers.setTick([&app](int id) { app.timer(id); });
  windowPort.setWindow(&window);
  windowPort.onEditLabel = [&window](int control, int index) { window.editLabel(control, index); };
  dialogs.setParent(&window);
  desktop.setParent(&window);
  lineInput.setParent(&window);
  editor.attach(window.noteEditor());
  editor.onEdited = [&app] { app.noteEdited(); };
  editor.onReleased = [&app] { app.noteKeyReleased(); };
  editor.onScrolled = [&app] { app.noteScrolled(); };
  editor.onContextMenu = [&app] { app.command(cmd::kNoteContextMenu); };
  multibar.attach(window.multibar());
  web.attach(window.webHost());
  window.setWebView(&web);
  web.onPageLink = [&app](const std::string& url) { app.pageLinkClicked(url); };
  web.isNoteFile = [&app](const std::string& path) { return app.isNoteFileLink(path); };
  web.onNoteFileLink = [&app](const std::string& path) { app.noteFileLinkClicked(path); };
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
