// Dragging a file out of the File List with Ctrl held, dropped on another
// program: the real pointer (xdotool) carries it from the File List to a
// small Qt program that accepts files, through the window system's own
// drag-and-drop protocol.
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "peer_test.h"

namespace vm::ui {
namespace {

namespace fs = std::filesystem;

class DragOutTest : public test::PeerTest {
 protected:
  void SetUp() override {
    PeerTest::SetUp();
    h.dir.write("docs/plan 1.txt", "the plan\n");
    h.dir.write("docs/other.txt", "x");
  }
  QPoint fileRowOnScreen(const QString& name) {
    auto* v = win->findChild<QListView*>("fileList");
    const QModelIndexList hit =
        v->model()->match(v->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    EXPECT_EQ(hit.size(), 1);
    return hit.isEmpty() ? QPoint() : v->viewport()->mapToGlobal(v->visualRect(hit.first()).center());
  }
};

TEST_F(DragOutTest, CtrlDragDropsTheFileOnAnotherProgram) {
  start();
  win->move(0, 0);
  win->resize(900, 700);
  click("fileList", "plan 1.txt");
  QTest::qWait(200);

  const std::string out = h.dir.str() + "/received.txt";
  peer_.start(QStringLiteral(VELLUMARK_DND_PEER), {QString::fromStdString(out)});
  ASSERT_TRUE(peer_.waitForStarted(5000));
  // The receiver's window, right of the main window.
  const QString receiverWindow = test::waitForWindow(QStringLiteral("drop receiver"));
  ASSERT_FALSE(receiverWindow.isEmpty()) << "the receiver's window never showed";
  ASSERT_TRUE(test::xdotool({"windowmove", receiverWindow, "1000", "100"}));
  QTest::qWait(300);

  const QPoint from = fileRowOnScreen("plan 1.txt");
  ASSERT_FALSE(from.isNull());
  QProcess drag;
  drag.start("xdotool", test::dragGesture(from, QPoint(1150, 250), true));
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
  EXPECT_TRUE(peer_.waitForFinished(5000));
}

}  // namespace
}  // namespace vm::ui
