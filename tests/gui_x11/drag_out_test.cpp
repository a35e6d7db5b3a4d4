// Dragging a file out of the File List with Ctrl held, dropped on another
// program: the real pointer (xdotool) carries it from the File List to a
// small Qt program that accepts files, through the window system's own
// drag-and-drop protocol.
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui/gui_test_util.h"
#include "x11_env.h"

namespace vm::ui {
namespace {

namespace fs = std::filesystem;

class DragOutTest : public test::ShellTest {
 protected:
  void SetUp() override {
    if (!test::x11Ready) GTEST_SKIP() << "needs Xvfb and xdotool";
    h.dir.write("docs/plan 1.txt", "the plan\n");
    h.dir.write("docs/other.txt", "x");
  }
  void TearDown() override {
    if (receiver_.state() != QProcess::NotRunning) {
      receiver_.kill();
      receiver_.waitForFinished(2000);
    }
  }
  // Runs xdotool with these arguments and waits for it.
  bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000)) return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }
  QPoint fileRowOnScreen(const QString& name) {
    auto* v = win->findChild<QListView*>("fileList");
    const QModelIndexList hit =
        v->model()->match(v->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    EXPECT_EQ(hit.size(), 1);
    return hit.isEmpty() ? QPoint() : v->viewport()->mapToGlobal(v->visualRect(hit.first()).center());
  }

  QProcess receiver_;
};

TEST_F(DragOutTest, CtrlDragDropsTheFileOnAnotherProgram) {
  start();
  win->move(0, 0);
  win->resize(900, 700);
  click("fileList", "plan 1.txt");
  QTest::qWait(200);

  const std::string out = h.dir.str() + "/received.txt";
  receiver_.start(QStringLiteral(VELLUMARK_DROP_RECEIVER), {QString::fromStdString(out)});
  ASSERT_TRUE(receiver_.waitForStarted(5000));
  // The receiver's window, right of the main window.
  QProcess search;
  search.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "drop receiver"});
  QElapsedTimer wait;
  wait.start();
  while (search.state() != QProcess::NotRunning && wait.elapsed() < 10000) QTest::qWait(20);
  const QString receiverWindow = QString::fromLatin1(search.readAllStandardOutput()).trimmed().section('\n', 0, 0);
  ASSERT_FALSE(receiverWindow.isEmpty()) << "the receiver's window never showed";
  ASSERT_TRUE(xdotool({"windowmove", receiverWindow, "1000", "100"}));
  QTest::qWait(300);

  const QPoint from = fileRowOnScreen("plan 1.txt");
  ASSERT_FALSE(from.isNull());
  // The whole gesture runs in one xdotool while this process's event loop
  // (and the drag's own loop inside it) goes on.
  QStringList gesture{"mousemove", QString::number(from.x()), QString::number(from.y()), "keydown", "ctrl",
                      "mousedown", "1", "sleep", "0.3"};
  for (int x = from.x() + 10; x < 1150; x += 50)
    gesture << "mousemove" << QString::number(x) << "250" << "sleep" << "0.1";
  gesture << "mousemove" << "1150" << "250" << "sleep" << "0.4" << "mouseup" << "1" << "keyup" << "ctrl";
  QProcess drag;
  drag.start("xdotool", gesture);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(out); }, 15000)) << "nothing was dropped";
  drag.waitForFinished(5000);

  std::ifstream in(out, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  // The file as a file: URL, and the receiver could read its bytes through it.
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString((fs::path(h.docs) / "plan 1.txt").string()));
  EXPECT_EQ(got.str(), url.toEncoded().toStdString() + "\n--\nthe plan\n");
  // A copy: the file stays where it was and stays shown.
  EXPECT_TRUE(fs::exists(fs::path(h.docs) / "plan 1.txt"));
  EXPECT_EQ(app->fileList().selectedName(), "plan 1.txt");
  EXPECT_TRUE(receiver_.waitForFinished(5000));
}

}  // namespace
}  // namespace vm::ui
