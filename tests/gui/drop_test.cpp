// Drags from other programs dropped on the real File List and note editor:
// the drag is answered, and the drop lands on disk and in the note.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QListView>
#include <QMimeData>
#include <QTest>
#include <QTextCursor>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "gui_test_util.h"
#include "ui/drop_target.h"
#include "ui/qt_ports.h"

namespace vm::ui {
namespace {

namespace fs = std::filesystem;

class DropTest : public test::ShellTest {
 protected:
  QWidget* fileArea() { return win->findChild<QListView*>("fileList")->viewport(); }
  NoteEdit* note() { return win->findChild<NoteEdit*>("noteEditor"); }
  // Enters, moves over and drops on the middle of area; true when the drag
  // was answered with Copy and the drop taken.
  static bool drop(QWidget* area, const QMimeData& mime) {
    const QPoint at = area->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction) return false;
    QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    if (!move.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &dropped);
    return dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
  }
  void openNote(const QString& name, const QString& text) {
    click("fileList", name);
    ASSERT_TRUE(QTest::qWaitFor([&] { return note()->isEnabled() && note()->toPlainText() == text; }, 2000));
  }
  fs::path docs() const { return fs::path(h.docs); }
};

TEST_F(DropTest, FilesDroppedOnTheFileListAreCopiedAndTheLastOpened) {
  h.dir.write("docs/kept.txt", "mine");
  h.dir.write("outside/kept.txt", "theirs");
  h.dir.write("outside/new one.txt", "fresh");
  start();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((h.dir.path() / "outside/kept.txt").string())),
                QUrl::fromLocalFile(QString::fromStdString((h.dir.path() / "outside/new one.txt").string()))});
  ASSERT_TRUE(drop(fileArea(), mime));
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "fresh"; }, 3000));
  EXPECT_EQ(h.dir.read("docs/kept.txt"), "mine");
  EXPECT_EQ(h.dir.read("docs/new one.txt"), "fresh");
  EXPECT_EQ(app->status().message(), "File exists: kept.txt");
  EXPECT_EQ(app->roots().current().selectedFile, "new one.txt");
}

TEST_F(DropTest, TextOnTheFileListBecomesAnOpenNewNote) {
  start();
  QMimeData mime;
  mime.setText(QString::fromUtf8("dropped words \xC3\xA9"));
  ASSERT_TRUE(drop(fileArea(), mime));
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(docs() / "New Note.txt"); }, 3000));
  EXPECT_EQ(h.dir.read("docs/New Note.txt"), "dropped words \xC3\xA9");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == QString::fromUtf8("dropped words \xC3\xA9"); }, 3000));
}

TEST_F(DropTest, PictureOnTheNoteGoesToImgsWithALinkAtTheCaret) {
  h.dir.write("docs/pics.md", "Pictures\n");
  start();
  openNote("pics.md", "Pictures\n");
  QTextCursor c = note()->textCursor();
  c.movePosition(QTextCursor::End);
  note()->setTextCursor(c);
  QImage picture(20, 10, QImage::Format_RGB32);
  picture.fill(QColor(10, 120, 200));
  QMimeData mime;
  mime.setImageData(picture);
  mime.setText("https://example.org/photos/sunset.jpg");
  ASSERT_TRUE(drop(note()->viewport(), mime));
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText().endsWith(")"); }, 3000));
  EXPECT_EQ(note()->toPlainText(), "Pictures\n![ sunset.png ](imgs/sunset.png)");
  QImage saved((docs() / "imgs/sunset.png").c_str());
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(20, 10));
  EXPECT_EQ(saved.pixelColor(5, 5), QColor(10, 120, 200));
  EXPECT_TRUE(app->noteModified());
}

TEST_F(DropTest, TextOnTheNoteReplacesTheSelectionNotTheDropPoint) {
  h.dir.write("docs/t.txt", "alpha beta gamma");
  start();
  openNote("t.txt", "alpha beta gamma");
  QTextCursor c = note()->textCursor();
  c.setPosition(6);
  c.setPosition(10, QTextCursor::KeepAnchor);
  note()->setTextCursor(c);
  QMimeData mime;
  mime.setText("delta");
  ASSERT_TRUE(drop(note()->viewport(), mime));
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "alpha delta gamma"; }, 3000));
  EXPECT_TRUE(app->noteModified());
}

TEST_F(DropTest, DragsWithNothingUsableAreRefused) {
  start();
  QMimeData mime;
  mime.setData("application/x-something", "bytes");
  EXPECT_FALSE(drop(fileArea(), mime));
  QMimeData none;
  EXPECT_FALSE(drop(fileArea(), none));
}

TEST(DropData, UriListPathsKeepTheirBytesAndOtherAddressesCountAsText) {
  QMimeData mime;
  mime.setData("text/uri-list", "# comment\r\nfile:///tmp/a%20b/caf%E9.txt\r\nfile://localhost/srv/x.png\r\n"
                                "https://example.org/p.gif\r\n");
  mime.setHtml("<b>h</b>");
  const DropData d = dropDataFrom(&mime);
  ASSERT_EQ(d.files.size(), 2u);
  EXPECT_EQ(d.files[0], "/tmp/a b/caf\xE9.txt");  // not UTF-8, kept as it was
  EXPECT_EQ(d.files[1], "/srv/x.png");
  EXPECT_EQ(d.text, "https://example.org/p.gif");
  EXPECT_EQ(d.html, "<b>h</b>");
  EXPECT_FALSE(d.hasImage());
  ASSERT_EQ(d.offered.size(), 2u);
  EXPECT_EQ(d.offered[0], DropFormat::Files);
  EXPECT_EQ(d.offered[1], DropFormat::Html);

  QMimeData pic;
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(Qt::red);
  pic.setImageData(image);
  const DropData p = dropDataFrom(&pic);
  ASSERT_TRUE(p.hasImage());
  EXPECT_TRUE(p.image("png").starts_with("\x89PNG"));
  EXPECT_TRUE(p.image("bmp").starts_with("BM"));
}

}  // namespace
}  // namespace vm::ui
