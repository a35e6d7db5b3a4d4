// Times in the real window, offscreen, printed as tables:
// - how long a rendered note takes to appear: from selecting a Markdown note
//   in the File List (the App's fileClicked, as a click does) until the web
//   view reports its page loaded; once cold (the first page starts the web
//   engine), then warm, alternating two notes;
// - how long the generated 100,000-row and 1,000,000-row spreadsheets take
//   to open, from selecting them until their table has been painted with
//   their rows, and to sort by a header click until painted again;
// - what a typed key costs in the note editor, in a 5 KB and a 5 MB note,
//   with the status bar's counters on: the key press (the editor inserts,
//   the App marks the note changed) and the key release (the counters).
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/commands.h"
#include "sheet_data.h"
#include "ui/shell.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWarmRuns = 10;  // per note
constexpr int kSheetRows = 100000;
constexpr int kBigSheetRows = 1000000;
constexpr int kBigRuns = 5;
constexpr int kLoadLimitMs = 30000;

// A Markdown note of about `bytes` bytes: headings, paragraphs, lists, a
// table, code and wiki-style page links.
std::string markdownNote(std::size_t bytes) {
  std::string out = "# A note\n\n";
  for (int section = 1; out.size() < bytes; ++section) {
    out += "## Section " + std::to_string(section) + "\n\n";
    out += "Some *emphasis*, some **strong** text, `code`, a [link](https://example.org/" + std::to_string(section) +
           ") and a page link [Note " + std::to_string(section) + "].\n";
    out += "Another line of the paragraph with ~~struck~~ words in it.\n\n";
    out += "- first item\n- second item\n  - nested item\n\n";
    out += "| a | b | c |\n|---|---|---|\n| 1 | 2 | 3 |\n| 4 | 5 | 6 |\n\n";
    out += "```\nint x = " + std::to_string(section) + ";\n```\n\n";
  }
  return out;
}

void write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// Runs the event loop until the condition holds or the limit passes.
// (QTest::qWaitFor's polling slows every step of the engine down.)
bool waitFor(const std::function<bool()>& done, int ms) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll, limit;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(1);
  limit.setSingleShot(true);
  limit.start(ms);
  loop.exec();
  return done();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(o, e);
  }
};

struct Row {
  std::string what;
  std::vector<double> appMs, totalMs;
};

void printRows(const std::vector<const Row*>& rows) {
  std::printf("%-46s %5s %10s %12s %10s %10s\n", "", "runs", "median ms", "in call ms", "min ms", "max ms");
  for (const Row* r : rows) {
    std::printf("%-46s %5zu %10.1f %12.1f %10.1f %10.1f\n", r->what.c_str(), r->totalMs.size(), median(r->totalMs),
                median(r->appMs), *std::min_element(r->totalMs.begin(), r->totalMs.end()),
                *std::max_element(r->totalMs.begin(), r->totalMs.end()));
  }
}

// Types into a 5 KB and a 5 MB note in the real editor, one key at a time,
// timing the press and the release apart. Returns the exit status.
int timeTyping(vm::App& app, QWidget& window, const std::vector<std::pair<std::string, std::string>>& notes) {
  if (app.mode() == vm::Mode::View) app.command(vm::cmd::kToolViewEdit);
  auto* editor = window.findChild<QPlainTextEdit*>(QStringLiteral("noteEditor"));
  if (!editor) {
    std::fprintf(stderr, "vellumark_window_timing: the window has no note editor\n");
    return 1;
  }
  std::vector<Row> rows;
  for (const auto& [name, label] : notes) {
    app.fileClicked(app.fileList().find(name));
    if (!app.noteLoaded()) {
      std::fprintf(stderr, "vellumark_window_timing: %s did not open in the note editor\n", name.c_str());
      return 1;
    }
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    Row press{"key press: " + label, {}, {}}, release{"key release: " + label, {}, {}};
    for (int i = 0; i < 200; ++i) {
      QKeyEvent down(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
      QKeyEvent up(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
      QElapsedTimer t;
      t.start();
      QApplication::sendEvent(editor, &down);
      press.totalMs.push_back(t.nsecsElapsed() / 1e6);
      press.appMs.push_back(press.totalMs.back());
      t.restart();
      QApplication::sendEvent(editor, &up);
      release.totalMs.push_back(t.nsecsElapsed() / 1e6);
      release.appMs.push_back(release.totalMs.back());
    }
    rows.push_back(std::move(press));
    rows.push_back(std::move(release));
  }
  std::printf("\nOne typed key in the note editor, status bar counters on (offscreen)\n\n");
  std::vector<const Row*> shown;
  for (const Row& r : rows) shown.push_back(&r);
  printRows(shown);
  std::fflush(stdout);
  return 0;
}

// Opens the sheet from the File List again and again (a text note in
// between closes it), each time until the table has painted all its rows'
// worth of model; then sorts it by a header click, alternating two columns,
// each time until the sorted table has painted. Returns the exit status.
int timeSheet(vm::App& app, QWidget& window, const std::string& name, const std::string& path, int rows, int runs) {
  auto* table = window.findChild<QAbstractItemView*>(QStringLiteral("sheetView"));
  if (!table) {
    std::fprintf(stderr, "vellumark_window_timing: the window has no sheet table\n");
    return 1;
  }
  PaintCounter counter;
  table->viewport()->installEventFilter(&counter);
  const std::string size = std::to_string(fs::file_size(path) / 1024 / 1024) + " MB, " + std::to_string(rows) + " rows";
  Row open{"open " + name + " (" + size + ")", {}, {}};
  Row sort{"sort " + name + " by a header click", {}, {}};
  auto painted = [&] {
    return waitFor(
        [&] {
          return counter.paints > 0 && table->model() && table->model()->rowCount() >= rows && table->isVisible();
        },
        kLoadLimitMs);
  };
  for (int i = 0; i < runs; ++i) {
    const int other = app.fileList().find("Plain.txt");
    if (other >= 0) app.fileClicked(other);
    const int index = app.fileList().find(name);
    if (index < 0) break;
    QElapsedTimer t;
    t.start();
    app.fileClicked(index);
    const double appMs = t.nsecsElapsed() / 1e6;
    counter.paints = 0;  // paints during the load were of the empty table
    if (!painted()) break;
    open.appMs.push_back(appMs);
    open.totalMs.push_back(t.nsecsElapsed() / 1e6);
  }
  if (open.totalMs.size() != static_cast<std::size_t>(runs)) {
    std::fprintf(stderr, "vellumark_window_timing: the sheet's table was not shown (viewer %d)\n",
                 static_cast<int>(app.currentViewer()));
    return 1;
  }
  if (!app.sheet().sortingOn()) app.command(vm::cmd::kSheetSortable);
  for (int i = 0; i < runs && app.sheet().sortingOn(); ++i) {
    const int column = i % 2 ? 2 : 5;  // table columns: names, then amounts
    QElapsedTimer t;
    t.start();
    app.sheetHeaderClicked(column);
    const double appMs = t.nsecsElapsed() / 1e6;
    counter.paints = 0;
    if (!painted() || app.sheet().sortColumn() != column - 1) break;
    sort.appMs.push_back(appMs);
    sort.totalMs.push_back(t.nsecsElapsed() / 1e6);
  }
  if (sort.totalMs.size() != static_cast<std::size_t>(runs)) {
    std::fprintf(stderr, "vellumark_window_timing: the sheet was not sorted by a header click\n");
    return 1;
  }
  std::printf("\nSelecting the generated spreadsheet until its table has painted, then sorting it (offscreen)\n\n");
  printRows({&open, &sort});
  std::printf("\nin call: inside fileClicked (reading the file into the sheet, building the view) or the\n"
              "header click (the sort); the rest is the table's layout and first paint.\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  qputenv("QT_QUICK_BACKEND", "software");
  qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
  qputenv("VELLUMARK_WEB_MODULE", VELLUMARK_WEB_MODULE_FILE);
  char tmpl[] = "/tmp/vellumark-window-timing-XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::fprintf(stderr, "vellumark_window_timing: cannot make a temporary folder\n");
    return 1;
  }
  const fs::path base = tmpl;
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
    fs::create_directories(base / "runtime");
    fs::permissions(base / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", (base / "runtime").c_str());
  }
  QApplication qapp(argc, argv);
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));

  const fs::path notes = base / "notes";
  const std::string small = "Small.md", big = "Big.md";
  write(notes / small, markdownNote(2 * 1024));
  write(notes / big, markdownNote(100 * 1024));
  write(notes / "Plain.txt", "plain text\n");
  auto prose = [](std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += "a line of a long note with a few words in it\n";
    text.resize(bytes);
    return text;
  };
  write(notes / "Type5k.txt", prose(5 << 10));
  write(notes / "Type5m.txt", prose(5 << 20));
  const std::string sheetName = "Big.csv", bigSheetName = "Huge.csv";
  // The sheet of a million rows takes a few seconds to write; --no-huge leaves it out.
  const bool bigSheet = !(argc > 1 && std::string(argv[1]) == "--no-huge");
  if (!vmbench::writeSheetFile((notes / sheetName).string(), kSheetRows) ||
      (bigSheet && !vmbench::writeSheetFile((notes / bigSheetName).string(), kBigSheetRows))) {
    std::fprintf(stderr, "vellumark_window_timing: cannot write the test sheets in %s\n", notes.string().c_str());
    return 1;
  }

  vm::AppEnvironment env;
  env.home = base / "home";
  fs::create_directories(env.home);
  write(env.home / "vellumark.ini", "[General]\nUseStatBar=1\n");  // the counters run on every key
  env.supportDir = VELLUMARK_SUPPORT_DIR;
  env.tempDir = base / "pages";
  env.paths.appSrcDrv = "/";
  env.paths.documents = notes.string();
  env.paths.fernhollow = (base / "none").string();
  env.paths.fileSystemRoot = base.string();

  vm::ui::QtShell shell;
  int status = 0;
  {
    vm::App app(env, shell.ports());
    vm::ui::MainWindow window(app);
    shell.connect(app, window);
    shell.windowPort.setQuitHandler([] {});
    const std::string pagePrefix = QUrl::fromLocalFile(QString::fromStdString(env.tempDir.string() + "/"))
                                       .toString(QUrl::FullyEncoded)
                                       .toStdString();
    bool pageLoaded = false;
    shell.web.onLoadFinished = [&](bool ok, const std::string& url) {
      if (ok && url.rfind(pagePrefix, 0) == 0) pageLoaded = true;
    };
    app.startUp();
    window.showAtStart();
    waitFor([&] { return window.isVisible(); }, 2000);
    if (app.mode() != vm::Mode::View) app.command(vm::cmd::kToolViewEdit);

    // One selection: true when the note's page arrived.
    auto select = [&](const std::string& name, Row& row) {
      const int index = app.fileList().find(name);
      if (index < 0) return false;
      pageLoaded = false;
      QElapsedTimer t;
      t.start();
      app.fileClicked(index);
      const double appMs = t.nsecsElapsed() / 1e6;
      if (!waitFor([&] { return pageLoaded; }, kLoadLimitMs)) return false;
      row.appMs.push_back(appMs);
      row.totalMs.push_back(t.nsecsElapsed() / 1e6);
      return true;
    };

    Row cold{"cold: first page, engine start (" + small + ")", {}, {}};
    Row warmSmall{"warm: " + small + " (2 KB)", {}, {}};
    Row warmBig{"warm: " + big + " (100 KB)", {}, {}};
    bool ok = select(small, cold);
    for (int i = 0; ok && i < kWarmRuns; ++i) ok = select(big, warmBig) && select(small, warmSmall);
    if (!ok || app.currentViewer() != vm::Viewer::Web) {
      std::fprintf(stderr,
                   "vellumark_window_timing: a note's page was not shown (viewer %d, page kind %d); "
                   "does the App render Markdown notes in View mode?\n",
                   static_cast<int>(app.currentViewer()), app.pageKind());
      status = 1;
    } else {
      std::printf("Selecting a Markdown note until its page has loaded (offscreen)\n\n");
      printRows({&cold, &warmSmall, &warmBig});
      std::printf(
          "\nin call: inside fileClicked (the App renders and writes the page; on the first page\n"
          "also the view's creation); the rest is the web engine loading and laying it out.\n");
      std::fflush(stdout);
    }
    if (status == 0) status = timeSheet(app, window, sheetName, (notes / sheetName).string(), kSheetRows, kWarmRuns);
    if (status == 0 && bigSheet)
      status = timeSheet(app, window, bigSheetName, (notes / bigSheetName).string(), kBigSheetRows, kBigRuns);
    if (status == 0) status = timeTyping(app, window, {{"Type5k.txt", "5 KB note"}, {"Type5m.txt", "5 MB note"}});
    app.shutDown();
  }
  std::error_code ec;
  fs::remove_all(base, ec);
  return status;
}
