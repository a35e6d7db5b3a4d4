// Drags from another program dropped on Vellumark through the window
// system's own drag-and-drop protocol: the real pointer (xdotool) carries
// files or a picture from a small Qt program onto the File List or the note
// editor, and the drop lands on disk and in the note.
#include <QImage>
#include <QListView>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <regex>

#include "ui/qt_ports.h"
#include "peer_test.h"

namespace vm::ui {
namespace {

namespace fs = std::filesystem;

class DragInTest : public test::PeerTest {
 protected:
  void startWindow() {
    start();
    win->move(0, 0);
    win->resize(900, 700);
    QTest::qWait(200);
  }
  // Starts the other program offering these arguments' files or picture and
  // drags from the middle of its window to target (global coordinates);
  // true when the other program saw its drag taken as a copy.
  bool dragFromSource(const QStringList& offer, QPoint target) {
    peer_.start(QStringLiteral(VELLUMARK_DND_PEER), QStringList{"--source"} + offer);
    if (!peer_.waitForStarted(5000)) return false;
    const QString window = test::waitForWindow(QStringLiteral("drag source"));
    if (window.isEmpty()) return false;
    if (!test::xdotool({"windowmove", window, "1000", "100"})) return false;
    QTest::qWait(300);
    QProcess drag;
    drag.start("xdotool", test::dragGesture(QPoint(1150, 250), target, false));
    const bool ended = QTest::qWaitFor([&] { return peer_.state() == QProcess::NotRunning; }, 15000);
    drag.waitForFinished(5000);
    return ended && peer_.exitStatus() == QProcess::NormalExit && peer_.exitCode() == 0;
  }
  static QPoint middleOnScreen(QWidget* w) { return w->mapToGlobal(w->rect().center()); }
  NoteEdit* note() { return win->findChild<NoteEdit*>("noteEditor"); }
};

TEST_F(DragInTest, FilesFromAnotherProgramAreCopiedIntoTheFolder) {
  h.dir.write("docs/kept.txt", "mine");
  h.dir.write("outside/kept.txt", "theirs");
  h.dir.write("outside/report 2.txt", "the report\n");
  startWindow();
  const QString outside = QString::fromStdString((h.dir.path() / "outside").string());
  ASSERT_TRUE(dragFromSource({outside + "/kept.txt", outside + "/report 2.txt"},
                             middleOnScreen(win->findChild<QListView*>("fileList")->viewport())))
      << "the drop was not taken";
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "the report\n"; }, 5000));
  // Copied, never moved, and an existing name is never overwritten.
  EXPECT_EQ(h.dir.read("docs/report 2.txt"), "the report\n");
  EXPECT_EQ(h.dir.read("outside/report 2.txt"), "the report\n");
  EXPECT_EQ(h.dir.read("docs/kept.txt"), "mine");
  EXPECT_EQ(app->fileList().selectedName(), "report 2.txt");
}

TEST_F(DragInTest, APictureFromAnotherProgramGoesToImgsWithItsLinkInTheNote) {
  h.dir.write("docs/pics.md", "Pictures\n");
  startWindow();
  click("fileList", "pics.md");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "Pictures\n"; }, 3000));
  QImage picture(24, 12, QImage::Format_RGB32);
  picture.fill(QColor(200, 60, 30));
  const std::string png = h.dir.str() + "/drawn.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(png), "PNG"));

  ASSERT_TRUE(dragFromSource({"--picture", QString::fromStdString(png)}, middleOnScreen(note()->viewport())))
      << "the drop was not taken";
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText().contains("imgs/"); }, 5000));
  std::smatch link;
  const std::string text = note()->toPlainText().toStdString();
  ASSERT_TRUE(std::regex_search(text, link, std::regex(R"(!\[ ([^\]]+) \]\(imgs/([^)]+)\))")))
      << text;
  EXPECT_EQ(link[1].str(), link[2].str());
  const QImage saved(QString::fromStdString((fs::path(h.docs) / "imgs" / link[2].str()).string()));
  ASSERT_FALSE(saved.isNull()) << link[2].str();
  EXPECT_EQ(saved.size(), QSize(24, 12));
  EXPECT_EQ(saved.pixelColor(3, 3), QColor(200, 60, 30));
  EXPECT_TRUE(app->noteModified());
}

}  // namespace
}  // namespace vm::ui
