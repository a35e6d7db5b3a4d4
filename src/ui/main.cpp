// vellumark: notes kept as plain files.
#include <QApplication>
#include <QIcon>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QSessionManager>
#include <QWindow>
#include <QTimer>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/app.h"
#include "core/single_instance.h"
#include "platform/app_paths.h"
#include "platform/fs.h"
#include "platform/version.h"
#include "ui/palette.h"
#include "ui/shell.h"
#include "ui/single_instance.h"

namespace {

struct Options {
  std::optional<std::string> home;
  std::optional<std::string> screenshot;
  std::optional<std::string> file;
  bool newWindow = false;
  bool help = false;
  bool version = false;
  std::string error;
};

void printUsage() {
  std::printf(
      "Usage: vellumark [OPTION]... [FILE]\n"
      "Keep notes as plain files in folders you choose; open FILE when given.\n"
      "\n"
      "  --home DIR          keep settings, log and file information in DIR\n"
      "  --new-window        open a window of its own even when one is running\n"
      "  --screenshot FILE   show the window, save a PNG picture of it to FILE once\n"
      "                      it has settled, and exit (works without a display)\n"
      "  --version           print the version and exit\n"
      "  --help              print this help and exit\n"
      "\n"
      "The window follows the desktop's light or dark palette; rendered notes take\n"
      "markup-dark.css under a dark one unless another style sheet is chosen. The\n"
      "environment variable VELLUMARK_PALETTE=dark (or light) forces a palette.\n"
      "\n"
      "Without --home the home folder is $VELLUMARK_HOME, else the program's own\n"
      "folder when it is writable, else $XDG_CONFIG_HOME/vellumark.\n"
      "\n"
      "Settings live in vellumark.ini in the home folder; the first start writes it\n"
      "and shows the help. Roots are the folders the Root List offers. Add one by\n"
      "typing its path into the Root List's field and pressing Enter (for this\n"
      "session), by naming a FILE (its folder becomes the root \"Command Line\"), or\n"
      "for good by a line in the INI's [BasicRoots] section:\n"
      "    /home/me/notes=Notes;.md\n"
      "(folder=name shown;extension of new notes).\n"
      "\n"
      "One window runs per user and home folder: a later start hands its FILE to\n"
      "the running window (which opens it and comes to the front) and exits;\n"
      "--new-window opens another window all the same.\n"
      "\n"
      "SIGTERM, SIGHUP and SIGINT end the program as File -> Exit does: unsaved\n"
      "notes and spreadsheets are saved first.\n");
}

Options parse(int argc, char** argv) {
  Options o;
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto valueOf = [&](std::string_view name, std::optional<std::string>& out) -> bool {
      if (a == name) {
        if (i + 1 >= argc) {
          o.error = "option '" + std::string(name) + "' needs a value";
        } else {
          out = argv[++i];
        }
        return true;
      }
      if (a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
        out = std::string(a.substr(name.size() + 1));
        return true;
      }
      return false;
    };
    if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
      if (o.file) {
        o.error = "more than one file given";
      } else {
        o.file = std::string(a);
      }
      continue;
    }
    if (a == "--") {
      onlyFiles = true;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--new-window") {
      o.newWindow = true;
    } else if (a == "--version" || a == "-v") {
      o.version = true;
    } else if (valueOf("--home", o.home) || valueOf("--screenshot", o.screenshot)) {
    } else {
      o.error = "unknown option '" + std::string(a) + "'";
    }
    if (!o.error.empty()) break;
  }
  return o;
}

bool hasDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// The web view's engine refuses to start as root with its sandbox on. Turn
// the sandbox off then (unless the user already chose), and say so.
void allowWebViewAsRoot() {
  if (geteuid() != 0) return;
  if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) return;
  if (qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox")) return;
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  std::fprintf(stderr, "vellumark: running as root, web view sandbox disabled\n");
}

// Types text into the widget that has the focus, as keys. Set by the
// process tests through VELLUMARK_TEST_KEYS; reports on stderr when done.
// A line break stands for Return, and {Down}, {Up}, {Left}, {Right} for the
// arrow keys. Each key goes to whatever has the focus at that moment
// (Return may open a cell editor).
void typeTestKeys(QWidget* window, const QString& text) {
  static const std::pair<const char*, Qt::Key> kNamed[] = {
      {"{Down}", Qt::Key_Down}, {"{Up}", Qt::Key_Up}, {"{Left}", Qt::Key_Left}, {"{Right}", Qt::Key_Right}};
  QStringList into;
  for (qsizetype i = 0; i < text.size(); ++i) {
    QCoreApplication::processEvents();
    QWidget* target = window->focusWidget();
    if (!target) {
      std::fprintf(stderr, "vellumark: test keys: nothing has the focus\n");
      return;
    }
    if (into.isEmpty() || into.back() != target->objectName()) into << target->objectName();
    const QChar c = text[i];
    Qt::Key key = c == u'\n' ? Qt::Key_Return : Qt::Key(c.toUpper().unicode());
    QString t = c == u'\n' ? QStringLiteral("\r") : QString(c);
    for (const auto& [name, named] : kNamed) {
      if (QStringView(text).mid(i).startsWith(QLatin1String(name))) {
        key = named;
        t.clear();
        i += qsizetype(std::strlen(name)) - 1;
        break;
      }
    }
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, t);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, t);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
  }
  QCoreApplication::processEvents();
  std::fprintf(stderr, "vellumark: test keys typed into %s\n", into.join(QLatin1Char(',')).toUtf8().constData());
}

// The picture of --screenshot is taken once the window has settled: nothing
// loading for a while and the shown page drawn; at most after kSettleLimitMs.
constexpr int kSettlePollMs = 50;
constexpr int kSettleQuietMs = 300;
constexpr int kPageDrawLimitMs = 5000;
constexpr int kSettleLimitMs = 20000;

// A file given at start from this size on opens after the window shows.
constexpr std::uintmax_t kOpenWhenShownBytes = 4u << 20;

// How long a later start waits for the running window to take its file.
constexpr int kHandOverAnswerMs = 5000;

// Brings the window to the front, out of the minimised state.
void raiseWindow(QWidget& window) {
  if (window.isMinimized()) window.showNormal();
  window.show();
  window.raise();
  window.activateWindow();
  if (QWindow* w = window.windowHandle()) w->requestActivate();
}

}  // namespace

int main(int argc, char** argv) {
  const Options opt = parse(argc, argv);
  if (opt.help) {
    printUsage();
    return 0;
  }
  if (opt.version) {
    std::printf("vellumark %s\n", vm::kVersion);
    return 0;
  }
  if (!opt.error.empty()) {
    std::fprintf(stderr, "vellumark: %s\nTry 'vellumark --help' for more information.\n", opt.error.c_str());
    return 2;
  }
  if (!hasDisplay()) {
    if (!opt.screenshot) {
      std::fprintf(stderr,
                   "vellumark: no display found; for a picture of the window run: "
                   "QT_QPA_PLATFORM=offscreen vellumark --screenshot window.png\n");
      return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }

  allowWebViewAsRoot();
  // No OpenGL set-up here: the web view prepares it when it first starts.
  QApplication qapp(argc, argv);
  // The web engine's library switches its start-up report on for itself;
  // keep it off unless the user asks for logging.
  if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  QApplication::setApplicationName(QStringLiteral("Vellumark"));
  QApplication::setApplicationVersion(QString::fromUtf8(vm::kVersion));
  // The desktop entry and the icon theme's picture name this program.
  QGuiApplication::setDesktopFileName(QStringLiteral("vellumark"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vellumark")));

  namespace fs = std::filesystem;
  const fs::path exe = vm::executablePath();
  const fs::path exeDir = exe.parent_path();

  vm::AppEnvironment env;
  std::optional<std::string> homeArg;
  if (opt.home) {
    std::error_code ec;
    fs::path h = fs::absolute(*opt.home, ec);
    homeArg = ec ? *opt.home : h.lexically_normal().string();
  }
  env.home = vm::resolveHome(homeArg, exeDir);
  env.supportDir = vm::resolveSupport(env.home, exeDir);
  env.tempDir = vm::privateTempDir();
  if (!exe.empty() && exe.has_stem()) env.exeName = exe.stem().string();
  env.paths.appSrcDrv = vm::mountPointOf(env.home).string();
  if (auto docs = vm::documentsFolder()) env.paths.documents = docs->string();
  if (opt.file) {
    std::error_code ec;
    fs::path f = fs::absolute(*opt.file, ec);
    env.commandLineFile = ec ? *opt.file : f.lexically_normal().string();
  }

  // One window per user and home folder: a later start hands its file over
  // and ends. A picture run and --new-window never hand over and never take
  // the socket.
  const std::filesystem::path socketPath =
      opt.screenshot || opt.newWindow ? fs::path()
                                      : vm::instanceSocketPath(env.tempDir, vm::instanceKey(::getuid(), env.home), ::getuid());
  vm::ui::InstanceServer instance;
  bool listening = false;
  for (int attempt = 0; attempt < 2 && !socketPath.empty() && !listening; ++attempt) {
    const QString where = QString::fromStdString(socketPath.string());
    const vm::ui::HandOver handed = vm::ui::handOverTo(where, env.commandLineFile, kHandOverAnswerMs);
    if (handed == vm::ui::HandOver::Taken) return 0;
    if (handed == vm::ui::HandOver::NoAnswer) {
      std::fprintf(stderr, "vellumark: the running window does not answer; opening a window of its own\n");
      break;
    }
    // Nobody there: take the socket. Losing it to a start at the same
    // moment means that one runs now: hand over to it instead.
    listening = instance.listen(where);
  }

  // The desktop's light or dark palette, unless one is forced.
  if (!vm::ui::forcePalette(qEnvironmentVariable("VELLUMARK_PALETTE")))
    std::fprintf(stderr, "vellumark: VELLUMARK_PALETTE takes dark or light; the desktop's palette is kept\n");

  // A big file given at start opens once the window is up: its loading shows
  // in the window (progress, Esc) instead of keeping the window from showing.
  std::string openWhenShown;
  if (!env.commandLineFile.empty()) {
    std::error_code ec;
    const std::uintmax_t bytes = fs::file_size(env.commandLineFile, ec);
    if (!ec && bytes >= kOpenWhenShownBytes) openWhenShown = std::exchange(env.commandLineFile, {});
  }

  vm::ui::QtShell shell;
  vm::App app(std::move(env), shell.ports());
  vm::ui::MainWindow window(app);
  shell.connect(app, window);

  // A signal or the end of the desktop session runs the same orderly
  // shutdown as Exit: closing the window saves (or rescues) what is open.
  // During long work the close waits until the work has stopped.
  auto endOrderly = [&app, &window] {
    if (app.isShutDown()) {
      QCoreApplication::exit(0);  // asked again while ending: do not wait
      return;
    }
    window.close();
  };
  vm::ui::ShutdownSignals termination;
  termination.onSignal = [&](int) { endOrderly(); };
  if (!termination.install()) std::fprintf(stderr, "vellumark: cannot watch for termination signals\n");
#ifndef QT_NO_SESSIONMANAGER
  QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &window, [&](QSessionManager&) { endOrderly(); });
#endif
  QObject::connect(&qapp, &QCoreApplication::aboutToQuit, &window, [&app] {
    if (!app.isShutDown()) app.shutDown();
  });

  bool started = false;
  instance.ready = [&app, &shell, &started] {
    return started && !app.isShutDown() && !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
           !shell.pump.running();
  };
  instance.onRequest = [&app, &window](const std::string& file) {
    if (!file.empty()) {
      app.openCommandLineFile(file);
      std::fprintf(stderr, "vellumark: another start handed over %s; the window shows %s\n", file.c_str(),
                   window.windowTitle().toUtf8().constData());
    }
    raiseWindow(window);
  };

  app.startUp();
  if (app.isShutDown()) return 1;
  started = true;
  if (opt.screenshot) window.setStorePlacement(false);
  window.showAtStart();
  if (!openWhenShown.empty())
    QTimer::singleShot(0, &window, [&app, openWhenShown] {
      if (!app.isShutDown()) app.openCommandLineFile(openWhenShown);
    });

  const QString testKeys = qEnvironmentVariable("VELLUMARK_TEST_KEYS");
  if (!testKeys.isEmpty()) QTimer::singleShot(0, &window, [&window, testKeys] { typeTestKeys(&window, testKeys); });

  int exitCode = 0;
  QTimer settle;
  QElapsedTimer sinceStart, quiet;
  if (opt.screenshot) {
    const QString file = QString::fromLocal8Bit(opt.screenshot->c_str());
    sinceStart.start();
    quiet.start();
    settle.setInterval(kSettlePollMs);
    QObject::connect(&settle, &QTimer::timeout, &window, [&, file] {
      if (window.loading()) quiet.restart();
      const bool settled = window.isVisible() && quiet.elapsed() >= kSettleQuietMs &&
                           (window.pageDrawn() || quiet.elapsed() >= kPageDrawLimitMs);
      if (!settled && sinceStart.elapsed() < kSettleLimitMs) return;
      settle.stop();
      if (!window.saveScreenshot(file)) {
        std::fprintf(stderr, "vellumark: cannot write the picture to '%s'\n", opt.screenshot->c_str());
        exitCode = 2;
      }
      app.shutDown();
      QCoreApplication::exit(exitCode);
    });
    settle.start();
  }
  const int loopCode = qapp.exec();
  return exitCode != 0 ? exitCode : loopCode;
}
