// Soak test: the real window, offscreen, driven through a long random run of
// what a user does (clicks on the lists, typing in the note editor, mode
// switches, Multibar lines, sheet edits, Back) from a fixed seed. Every note
// on disk must always be its first content followed by part of what was typed
// into it, no step may hang, and the resident memory must stay under a bound.
//
// Under CTest it runs for VELLUMARK_SOAK_SECONDS (default 40) seconds; the
// long run is
//   VELLUMARK_SOAK_SECONDS=600 build-test/tests/test_gui --gtest_filter=Soak.*
// and prints its steps and peak memory. VELLUMARK_SOAK_SEED picks the seed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "core/commands.h"
#include "gui_test_util.h"
#include "platform/fs.h"

namespace vm::ui {
namespace {

// Resident memory of this process in MB.
long residentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

long envNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atol(v) : fallback;
}

constexpr long kMemoryBoundMb = 1500;
constexpr qint64 kStepLimitMs = 15000;

class Soak : public test::ShellTest {
 protected:
  std::mt19937 rng;
  // Per note path: its first content plus everything typed into it, in order.
  std::map<std::string, std::string> typed;
  std::string failure;

  int pick(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng); }

  std::string currentNote() {
    if (app->currentViewer() != Viewer::Text || !app->noteLoaded()) return {};
    const RootLocation& r = app->roots().current();
    if (r.selectedFile.empty()) return {};
    return (std::filesystem::path(r.filesFolder()) / r.selectedFile).lexically_normal().string();
  }

  void clickRow(const char* name) {
    auto* v = win->findChild<QListView*>(name);
    if (!v || !v->model() || v->model()->rowCount() == 0) return;
    const QModelIndex i = v->model()->index(pick(v->model()->rowCount()), 0);
    v->scrollTo(i);
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(i).center());
  }

  void typeInNote() {
    const std::string note = currentNote();
    auto* editor = win->findChild<QPlainTextEdit*>("noteEditor");
    if (note.empty() || !editor || editor->isReadOnly() || !editor->isEnabled()) return;
    if (!typed.count(note)) typed[note] = readWholeFile(note).value_or("");
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    // Words begin with a letter, so no line typed here begins with a blank
    // (which the editor would carry to the next line).
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz  ";
    std::string word(1, kLetters[pick(26)]);
    for (int i = 0, n = pick(12); i < n; ++i) word += kLetters[pick(sizeof kLetters - 1)];
    const bool newline = pick(4) == 0;
    QTest::keyClicks(editor, QString::fromStdString(word));
    if (newline) QTest::keyClick(editor, Qt::Key_Return);
    typed[note] += word + (newline ? "\n" : "");
  }

  void multibarLine() {
    static const char* kLines[] = {"one",      "two.txt",  "sub",     "?alpha", "??? words", "table.csv",
                                   "new note", "Fresh",    "one.txt", "three",  "zz new.csv"};
    auto* bar = win->findChild<QLineEdit*>("multibar");
    if (!bar) return;
    bar->setFocus();
    bar->setText(QString::fromUtf8(kLines[pick(std::size(kLines))]));
    QTest::keyClick(bar, Qt::Key_Return, pick(3) == 0 ? Qt::ControlModifier : Qt::NoModifier);
  }

  void editCell() {
    if (app->currentViewer() != Viewer::Sheet || !app->sheet().isOpen()) return;
    const int rows = app->sheet().rowCount(), cols = app->sheet().columnCount();
    if (rows == 0 || cols == 0) return;
    app->sheetCellDoubleClicked(pick(rows), 1 + pick(cols));
    QWidget* f = QApplication::focusWidget();
    if (!f) return;
    QTest::keyClicks(f, QStringLiteral("c%1").arg(pick(1000)));
    QTest::keyClick(f, Qt::Key_Return);
  }

  void step() {
    switch (pick(10)) {
      case 0: clickRow("fileList"); break;
      case 1: clickRow("folderList"); break;
      case 2:
      case 3:
      case 4: typeInNote(); break;
      case 5: app->command(cmd::kSwitchMode); break;
      case 6: multibarLine(); break;
      case 7: editCell(); break;
      case 8: app->command(cmd::kCtrlB); break;
      default: app->command(cmd::kCtrlS); break;
    }
    QTest::qWait(pick(3) == 0 ? 20 : 1);
  }

  // Each note typed into is its first content plus a part of what was typed.
  void checkNotes() {
    for (const auto& [path, text] : typed) {
      const std::optional<std::string> disk = readWholeFile(path);
      if (!disk) continue;  // renamed or deleted by a command
      if (text.compare(0, disk->size(), *disk) != 0 || disk->size() > text.size())
        failure = path + " holds bytes nobody typed:\n" + disk->substr(0, 300) + "\n-- typed --\n" + text.substr(0, 300);
    }
    const std::string note = currentNote();
    auto* editor = win->findChild<QPlainTextEdit*>("noteEditor");
    if (!note.empty() && typed.count(note) && editor && editor->toPlainText().toStdString() != typed[note])
      failure = note + ": the editor does not hold what was typed";
  }
};

TEST_F(Soak, RandomInputsKeepNotesAndMemory) {
  h.dir.write("docs/one.txt", "first note\n");
  h.dir.write("docs/two.txt", "second note\nwith two lines\n");
  h.dir.write("docs/three.md", "# three\n\nsome *markdown*\n");
  h.dir.write("docs/sub/four.txt", "in a folder\n");
  h.dir.write("docs/table.csv", "a,b,c\n1,2,3\n4,5,6\n");
  start();
  const unsigned seed = static_cast<unsigned>(envNumber("VELLUMARK_SOAK_SEED", 20261206));
  rng.seed(seed);
  const long seconds = envNumber("VELLUMARK_SOAK_SECONDS", 40);
  QElapsedTimer clock;
  clock.start();
  long steps = 0, peak = residentMb();
  while (clock.elapsed() < seconds * 1000 && failure.empty()) {
    QElapsedTimer one;
    one.start();
    step();
    ++steps;
    ASSERT_LT(one.elapsed(), kStepLimitMs) << "step " << steps << " took " << one.elapsed() << " ms";
    checkNotes();
    if (steps % 20 == 0) {
      peak = std::max(peak, residentMb());
      ASSERT_LT(peak, kMemoryBoundMb) << "resident memory after " << steps << " steps";
    }
  }
  peak = std::max(peak, residentMb());
  EXPECT_EQ(failure, "") << "seed " << seed << ", step " << steps;
  std::printf("soak: seed %u, %ld steps in %lld s, %zu notes typed into, peak resident %ld MB\n", seed, steps,
              static_cast<long long>(clock.elapsed() / 1000), typed.size(), peak);
  EXPECT_GT(steps, 50);
  EXPECT_FALSE(typed.empty()) << "no note was ever typed into";
}

}  // namespace
}  // namespace vm::ui
