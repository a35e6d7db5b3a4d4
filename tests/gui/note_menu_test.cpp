// The note editor's context menu, the clipboard and the Keywords dialog in
// the real widgets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <functional>

#include "core/commands.h"
#include "gui_test_util.h"
#include "ui/keywords_dialog.h"
#include "ui/qt_ports.h"

namespace vm::ui {
namespace {

class NoteMenuTest : public test::ShellTest {
 protected:
  NoteEdit* note() { return win->findChild<NoteEdit*>("noteEditor"); }
  // Opens the note's context menu; `inMenu` runs while it shows.
  void contextMenu(const std::function<void(QMenu*)>& inMenu) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      EXPECT_NE(menu, nullptr);
      if (!menu) return;
      ran = true;
      inMenu(menu);
      if (menu->isVisible()) menu->close();
    });
    const QPoint at = note()->viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, note()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(note()->viewport(), &event);
    EXPECT_TRUE(ran);
  }
  static QAction* action(QMenu* menu, int id) {
    for (QAction* a : menu->actions())
      if (!a->isSeparator() && a->data().toInt() == id) return a;
    return nullptr;
  }
  static void choose(QMenu* menu, int id) {
    QAction* a = action(menu, id);
    ASSERT_NE(a, nullptr) << id;
    menu->setActiveAction(a);
    QTest::keyClick(menu, Qt::Key_Return);
  }
};

TEST_F(NoteMenuTest, PicturePastedFromTheMenuLandsInImgsWithItsLink) {
  h.dir.write("docs/pics.md", "Pictures\n");
  start();
  click("fileList", "pics.md");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "Pictures\n"; }, 2000));
  QImage picture(24, 16, QImage::Format_RGB32);
  picture.fill(QColor(200, 30, 40));
  QGuiApplication::clipboard()->setImage(picture);
  QTextCursor c = note()->textCursor();
  c.movePosition(QTextCursor::End);
  note()->setTextCursor(c);

  contextMenu([&](QMenu* menu) {
    EXPECT_EQ(menu->objectName(), "noteMenu");
    ASSERT_NE(action(menu, cmd::kNotePasteImage), nullptr);
    EXPECT_EQ(action(menu, cmd::kNotePasteImage)->text(), "    Paste Image ");
    EXPECT_TRUE(action(menu, cmd::kNotePasteImage)->isEnabled());
    EXPECT_FALSE(action(menu, cmd::kNoteCut)->isEnabled());  // nothing selected
    EXPECT_EQ(menu->actions().size(), 22);
    choose(menu, cmd::kNotePasteImage);
  });
  EXPECT_EQ(note()->toPlainText(), "Pictures\n![ Image_000.png ](imgs/Image_000.png)");
  EXPECT_TRUE(app->noteModified());
  QImage saved(QString::fromStdString(h.docs + "/imgs/Image_000.png"), "PNG");
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(24, 16));
  EXPECT_EQ(saved.pixelColor(3, 3), QColor(200, 30, 40));
}

TEST_F(NoteMenuTest, FormattingFromTheMenuAndTheClipboardText) {
  h.dir.write("docs/a.txt", "a word here");
  start();
  click("fileList", "a.txt");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText() == "a word here"; }, 2000));
  QGuiApplication::clipboard()->setText("https://example.org");
  shell.editor.select(2, 6);
  contextMenu([&](QMenu* menu) {
    EXPECT_TRUE(action(menu, cmd::kFormatWebLink)->isEnabled());
    EXPECT_FALSE(action(menu, cmd::kNotePasteImage)->isEnabled());
    EXPECT_EQ(action(menu, cmd::kNotePasteImage)->text(), "    Paste Image  ");
    choose(menu, cmd::kFormatWebLink);
  });
  EXPECT_EQ(h.dir.read("docs/a.txt"), "a [ word ](https://example.org)  here");
  EXPECT_FALSE(app->noteModified());

  // Copy and Paste Text through the real clipboard.
  shell.editor.select(0, 1);
  contextMenu([&](QMenu* menu) { choose(menu, cmd::kNoteCopy); });
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "a");
  QTextCursor c = note()->textCursor();
  c.movePosition(QTextCursor::End);
  note()->setTextCursor(c);
  contextMenu([&](QMenu* menu) { choose(menu, cmd::kNotePasteText); });
  EXPECT_EQ(h.dir.read("docs/a.txt"), "a [ word ](https://example.org)  herea");
}

TEST_F(NoteMenuTest, MarkdownNoteIsHighlightedWithoutBeingChanged) {
  h.dir.write("docs/h.md", "# Title\nplain **bold**\n");
  h.dir.write("docs/p.txt", "# not a heading\n");
  start();
  click("fileList", "h.md");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText().startsWith("# Title"); }, 2000));
  auto formatted = [&](int block) {
    return !note()->document()->findBlockByNumber(block).layout()->formats().isEmpty();
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return formatted(0); }, 2000));
  EXPECT_TRUE(formatted(1));
  QTest::qWait(50);
  EXPECT_FALSE(app->noteModified());
  QTest::keyClicks(note(), "x");  // typing still counts
  EXPECT_TRUE(app->noteModified());
  app->command(cmd::kCtrlS);
  ASSERT_FALSE(app->noteModified());
  QTest::keyClicks(note(), "y");  // and again after a save
  EXPECT_TRUE(app->noteModified());
  app->command(cmd::kCtrlS);

  click("fileList", "p.txt");
  ASSERT_TRUE(QTest::qWaitFor([&] { return note()->toPlainText().startsWith("# not"); }, 2000));
  QTest::qWait(50);
  EXPECT_FALSE(formatted(0));
  EXPECT_FALSE(app->noteModified());
}

TEST(QtTextEditorPort, SelectionAndMeasureInBytesOfUtf8) {
  NoteEdit edit;
  QtTextEditor port;
  port.attach(&edit);
  port.setText("\xc3\xa9t\xc3\xa9 \xf0\x9f\x99\x82 end");  // été 🙂 end
  port.select(2, 5);                                            // "té"
  EXPECT_EQ(edit.textCursor().selectedText(), QString::fromUtf8("t\xc3\xa9"));
  EXPECT_EQ(port.selectionStart(), 2u);
  EXPECT_EQ(port.selectionEnd(), 5u);
  port.select(6, 10);  // the emoji
  EXPECT_EQ(edit.textCursor().selectedText(), QString::fromUtf8("\xf0\x9f\x99\x82"));
  EXPECT_GT(port.textWidth("WWWW"), port.textWidth("W"));
  int edits = 0;
  port.onEdited = [&] { ++edits; };
  port.replaceSelection("x");
  port.undo();
  EXPECT_EQ(port.text(), "\xc3\xa9t\xc3\xa9 \xf0\x9f\x99\x82 end");
  EXPECT_GE(edits, 1);
}

TEST(QtClipboardPort, TextAndPicturesRoundTrip) {
  QtClipboard clip;
  clip.setText("hello");
  EXPECT_TRUE(clip.hasText());
  EXPECT_EQ(clip.text(), "hello");
  EXPECT_FALSE(clip.hasImage());
  EXPECT_EQ(clip.image("png"), "");
  EXPECT_FALSE(clip.setImage("not a picture"));

  QImage img(5, 4, QImage::Format_RGB32);
  img.fill(Qt::blue);
  QByteArray png;
  QBuffer buf(&png);
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(img.save(&buf, "PNG"));
  ASSERT_TRUE(clip.setImage(png.toStdString()));
  EXPECT_TRUE(clip.hasImage());
  const std::string bmp = clip.image("bmp");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  QImage back;
  ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(clip.image("png")), "PNG"));
  EXPECT_EQ(back.size(), QSize(5, 4));
}

// A model that records what the dialog hands it.
struct RecordingModel : KeywordsDialogModel {
  std::vector<std::string> list{"alpha", "zeta"};
  std::vector<std::string> added;
  int oks = 0;
  std::string title() const override { return "Keywords for a.txt"; }
  std::vector<std::string> choices() const override { return {"apple", "pear"}; }
  const std::vector<std::string>& entries() const override { return list; }
  int add(const std::string& text) override {
    added.push_back(text);
    if (text.empty()) return -1;
    list.insert(list.begin() + 1, text);
    return 1;
  }
  void remove(int index) override { list.erase(list.begin() + index); }
  void ok() override { ++oks; }
};

TEST(KeywordsDialogWidget, AddDeleteAndOnlyOkCloses) {
  RecordingModel model;
  KeywordsDialog dialog(model);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Keywords for a.txt");
  auto* combo = dialog.findChild<QComboBox*>("keywordChoices");
  auto* list = dialog.findChild<QListWidget*>("keywordList");
  ASSERT_TRUE(combo && list);
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(list->count(), 2);

  combo->setEditText("beta");
  QTest::mouseClick(dialog.findChild<QPushButton*>("keywordAdd"), Qt::LeftButton);
  EXPECT_EQ(model.added, std::vector<std::string>{"beta"});
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(list->item(1)->text(), "beta");

  list->setCurrentRow(0);
  QTest::mouseClick(dialog.findChild<QPushButton*>("keywordDelete"), Qt::LeftButton);
  EXPECT_EQ(model.list, (std::vector<std::string>{"beta", "zeta"}));

  QTest::keyClick(&dialog, Qt::Key_Escape);
  dialog.close();
  EXPECT_TRUE(dialog.isVisible());  // no Cancel
  EXPECT_EQ(model.oks, 0);
  QTest::mouseClick(dialog.findChild<QPushButton*>("keywordOk"), Qt::LeftButton);
  EXPECT_EQ(model.oks, 1);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace vm::ui
