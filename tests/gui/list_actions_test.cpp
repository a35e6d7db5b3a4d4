// What the user does to the Folder List and the File List themselves: label
// edits, their menus, the Delete key and dragging files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QLineEdit>
#include <QPointer>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/commands.h"
#include "gui_test_util.h"
#include "ui/list_models.h"

namespace vm::ui {
namespace {

namespace fs = std::filesystem;

class ListActionsTest : public test::ShellTest {
 protected:
  void SetUp() override {
    h.ini("[General]\nTnFileWithOriginal=1\n");  // companions beside their files
    h.dir.write("docs/plan.txt", "the plan");
    h.dir.write("docs/plan.txt.tn", "[Settings]\n");
    h.dir.write("docs/other.txt", "x");
    h.dir.write("docs/alpha/a.txt", "a");
    h.dir.write("docs/beta/b.txt", "b");
  }
  void TearDown() override {
    if (dataHomeSet_) ::unsetenv("XDG_DATA_HOME");
  }

  QListView* view(const char* name) {
    auto* v = win->findChild<QListView*>(name);
    EXPECT_NE(v, nullptr) << name;
    return v;
  }
  fs::path docs() const { return fs::path(h.docs); }
  // The open label editor of a list, or null.
  QLineEdit* labelEditor(const char* list) {
    for (QLineEdit* e : view(list)->viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  // Replaces the editor's text as typed keys, then ends the edit with key.
  void typeLabel(QLineEdit* editor, const QString& text, Qt::Key key) {
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    if (!text.isEmpty()) QTest::keyClicks(editor, text);
    QTest::keyClick(editor, key);
  }
  QRect rowRect(const char* list, const QString& name) {
    QListView* v = view(list);
    const QModelIndexList hit =
        v->model()->match(v->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    EXPECT_EQ(hit.size(), 1) << name.toStdString();
    return hit.isEmpty() ? QRect() : v->visualRect(hit.first());
  }
  // A point of another widget in the File List viewport's coordinates.
  QPoint inFileList(QWidget* other, const QPoint& at) {
    return view("fileList")->viewport()->mapFromGlobal(other->mapToGlobal(at));
  }
  void moveMouse(const QPoint& at, Qt::KeyboardModifiers mods = {}) {
    QWidget* port = view("fileList")->viewport();
    QMouseEvent move(QEvent::MouseMove, at, port->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(port, &move);
  }
  // Presses on a File List item and moves step by step to `to` (File List
  // viewport coordinates), button still down.
  void pressAndMove(const QString& name, const QPoint& to) {
    QWidget* port = view("fileList")->viewport();
    const QPoint from = rowRect("fileList", name).center();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 4; ++i) moveMouse(from + (to - from) * i / 4);
  }
  void release(const QPoint& at) { QTest::mouseRelease(view("fileList")->viewport(), Qt::LeftButton, {}, at); }

  // Right click on a list; `inMenu` runs while its menu shows.
  void rightClick(const char* list, const QPoint& at, const std::function<void(QMenu*)>& inMenu) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      EXPECT_NE(menu, nullptr);
      if (!menu) return;
      ran = true;
      inMenu(menu);
      if (menu->isVisible()) menu->close();
    });
    QWidget* port = view(list)->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, port->mapToGlobal(at));
    QApplication::sendEvent(port, &event);
    EXPECT_TRUE(ran);
  }
  static QStringList texts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
  }
  static void choose(QMenu* menu, int id) {
    for (QAction* a : menu->actions()) {
      if (a->isSeparator() || a->data().toInt() != id) continue;
      menu->setActiveAction(a);
      QTest::keyClick(menu, Qt::Key_Return);
      return;
    }
    ADD_FAILURE() << "no item " << id;
  }
  void useTempTrash() {
    ::setenv("XDG_DATA_HOME", (fs::path(h.dir.path()) / "data").c_str(), 1);
    dataHomeSet_ = true;
  }

 private:
  bool dataHomeSet_ = false;
};

// ---- Label edits -----------------------------------------------------------

// A menu command that keeps the window alive through the pump (Links to This
// Note reads the root's notes) changes the menus while the menu item that ran
// it is still on the stack: the menus are rebuilt only after the command.
TEST_F(ListActionsTest, AMenuCommandRunningThroughThePumpKeepsItsMenuAlive) {
  h.dir.write("docs/refers.txt", "see [plan]");
  start();
  click("fileList", "plan.txt");
  ASSERT_TRUE(app->noteLoaded());
  QTest::qWait(50);  // the note's menu items are in
  QPointer<QAction> item = win->findChild<QAction*>("menu40300");
  ASSERT_TRUE(item);
  app->menuAboutToOpen();  // as the Tools menu opens: the item is enabled
  ASSERT_TRUE(item->isEnabled());
  item->trigger();
  EXPECT_TRUE(item) << "the menu was rebuilt under the running command";
  EXPECT_EQ(app->fileList().size(), 1);
  EXPECT_EQ(app->fileList().at(0).name, "refers.txt");
  // The rebuild follows from the event loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return item.isNull(); }, 2000));
}

TEST_F(ListActionsTest, RenameEndedWithEnterRenamesTheFileAndItsCompanion) {
  start();
  click("fileList", "plan.txt");
  app->command(cmd::kRenameFile);
  QLineEdit* editor = labelEditor("fileList");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "plan.txt");
  EXPECT_TRUE(editor->hasFocus());
  typeLabel(editor, "final.txt", Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(docs() / "final.txt"); }, 2000));
  EXPECT_FALSE(fs::exists(docs() / "plan.txt"));
  EXPECT_TRUE(fs::exists(docs() / "final.txt.tn"));
  EXPECT_FALSE(fs::exists(docs() / "plan.txt.tn"));
  EXPECT_EQ(app->status().message(), "plan.txt renamed final.txt");
  EXPECT_EQ(app->fileList().selectedName(), "final.txt");
  EXPECT_EQ(labelEditor("fileList"), nullptr);
}

TEST_F(ListActionsTest, EscapeEndsTheEditWithoutRenameOrMessageAndAnEmptiedNameStaysEmpty) {
  start();
  click("fileList", "plan.txt");
  const std::string before = app->status().message();
  app->command(cmd::kRenameFile);
  QLineEdit* editor = labelEditor("fileList");
  ASSERT_NE(editor, nullptr);
  typeLabel(editor, "final.txt", Qt::Key_Escape);
  QTest::qWait(50);
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));
  EXPECT_FALSE(fs::exists(docs() / "final.txt"));
  EXPECT_EQ(app->status().message(), before);
  EXPECT_EQ(labelEditor("fileList"), nullptr);

  // Neither a double click nor F2 starts an edit by itself afterwards.
  QListView* files = view("fileList");
  const QModelIndex row = files->model()->index(app->fileList().find("plan.txt"), 0);
  EXPECT_FALSE(files->model()->flags(row) & Qt::ItemIsEditable);
  QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, files->visualRect(row).center());
  QTest::keyClick(files, Qt::Key_F2);
  EXPECT_EQ(labelEditor("fileList"), nullptr);

  // An emptied name reaches the App as empty, not as the old name.
  click("fileList", "plan.txt");
  app->command(cmd::kRenameFile);
  ASSERT_NE(labelEditor("fileList"), nullptr);
  typeLabel(labelEditor("fileList"), "", Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return app->status().message() == "Error getting new name"; }, 2000));
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));
}

TEST_F(ListActionsTest, NewFolderFromTheFolderMenuIsCreatedUnderTheTypedName) {
  start();
  rightClick("folderList", rowRect("folderList", "alpha").center(), [&](QMenu* menu) {
    EXPECT_EQ(menu->objectName(), "folderMenu");
    EXPECT_EQ(texts(menu), (QStringList{"   New   ", "-", " Open in File Manager  ", "-", "  Properties  "}));
    choose(menu, cmd::kNewFolder);
  });
  // The closed menu leaves the window inactive here, which would hide the messages.
  win->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
  QLineEdit* editor = labelEditor("folderList");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "New Folder");
  EXPECT_EQ(app->folderList().at(0).name, "New Folder");
  typeLabel(editor, "Archive", Qt::Key_Enter);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::is_directory(docs() / "Archive"); }, 2000));
  EXPECT_EQ(app->status().message(), "Created Archive");
  EXPECT_FALSE(fs::exists(docs() / "New Folder"));
}

// ---- Menus -----------------------------------------------------------------

TEST_F(ListActionsTest, FileListRightClickShowsTheFileMenuAndRunsTheChosenItem) {
  start();
  click("fileList", "plan.txt");
  rightClick("fileList", rowRect("fileList", "plan.txt").center(), [&](QMenu* menu) {
    EXPECT_EQ(menu->objectName(), "fileMenu");
    const QStringList shown = texts(menu);
    ASSERT_EQ(shown.size(), 19);
    EXPECT_EQ(shown.mid(0, 9), (QStringList{"   Refresh", "-", "   Copy      ", "   Cut", "   Paste",
                                            "   Paste Image  ", "-", "   Delete", "   Rename"}));
    EXPECT_EQ(shown.last(), "   Properties  ");
    EXPECT_FALSE(menu->actions().at(4)->isEnabled());  // nothing to paste yet
    QMenu* filter = menu->actions().at(10)->menu();
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->actions().size(), 7);
    choose(menu, cmd::kRenameFile);
  });
  QLineEdit* editor = labelEditor("fileList");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "plan.txt");
  QTest::keyClick(editor, Qt::Key_Escape);
}

// ---- Delete key --------------------------------------------------------------

TEST_F(ListActionsTest, DeleteKeyInTheFileListAsksThenTrashesTheFile) {
  useTempTrash();
  start();
  click("fileList", "plan.txt");
  QListView* folders = view("folderList");
  folders->setFocus();
  QTest::keyClick(folders, Qt::Key_Delete);  // not the File List: nothing to ask
  EXPECT_TRUE(h.dialogs.shown.empty());

  QListView* files = view("fileList");
  files->setFocus();
  h.dialogs.answer = false;
  QTest::keyClick(files, Qt::Key_Delete);
  ASSERT_EQ(h.dialogs.shown.size(), 1u);
  EXPECT_EQ(h.dialogs.shown[0], "Delete: " + (docs() / "plan.txt").string());
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));

  h.dialogs.answer = true;
  QTest::keyClick(files, Qt::Key_Delete);
  EXPECT_EQ(h.dialogs.shown.size(), 2u);
  EXPECT_FALSE(fs::exists(docs() / "plan.txt"));
  EXPECT_TRUE(fs::exists(fs::path(h.dir.path()) / "data" / "Trash" / "files" / "plan.txt"));
  EXPECT_EQ(app->fileList().find("plan.txt"), -1);
}

// ---- Dragging ----------------------------------------------------------------

TEST_F(ListActionsTest, DraggingAFileOntoAFolderMovesItThere) {
  start();
  click("fileList", "other.txt");
  const int keptFolder = app->folderList().selected();
  QListView* folders = view("folderList");
  const QPoint beta = inFileList(folders->viewport(), rowRect("folderList", "beta").center());
  pressAndMove("plan.txt", beta);

  // While over the Folder List the row under the mouse is highlighted and
  // the cursor says a drop is possible; the core's selection stays.
  const int betaRow = app->folderList().find("beta");
  EXPECT_EQ(folders->selectionModel()->currentIndex().row(), betaRow);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
  EXPECT_EQ(app->folderList().selected(), keptFolder);
  // The File List's own selection does not follow the mouse.
  EXPECT_EQ(app->fileList().selectedName(), "plan.txt");

  release(beta);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(docs() / "beta" / "plan.txt"); }, 2000));
  EXPECT_FALSE(fs::exists(docs() / "plan.txt"));
  EXPECT_TRUE(fs::exists(docs() / "beta" / "plan.txt.tn"));
  EXPECT_EQ(app->status().message(), "Moving plan.txt succeeded");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(app->folderList().selected(), keptFolder);
  const QModelIndex shown = folders->selectionModel()->currentIndex();
  EXPECT_EQ(shown.isValid() ? shown.row() : -1, keptFolder);
}

TEST_F(ListActionsTest, ReleaseOverEmptyFolderSpaceOrElsewhereMovesNothing) {
  start();
  QListView* folders = view("folderList");
  const QRect last = rowRect("folderList", "beta");
  const QPoint empty = inFileList(folders->viewport(), QPoint(last.center().x(), last.bottom() + 20));
  ASSERT_TRUE(folders->viewport()->rect().contains(QPoint(last.center().x(), last.bottom() + 20)));
  pressAndMove("plan.txt", empty);
  ASSERT_TRUE(app->noteLoaded());  // the press opened it
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ForbiddenCursor);
  release(empty);
  // Inside the Folder List the shown file is closed, but nothing moves.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !app->noteLoaded(); }, 2000));
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  const std::string before = app->status().message();
  QWidget* viewer = win->findChild<QWidget*>("viewerArea");
  const QPoint outside = inFileList(viewer, viewer->rect().center());
  click("fileList", "other.txt");
  pressAndMove("plan.txt", outside);
  ASSERT_TRUE(app->noteLoaded());
  release(outside);
  QTest::qWait(50);
  EXPECT_TRUE(app->noteLoaded());  // outside the Folder List: nothing at all
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));
  EXPECT_EQ(app->status().message(), before);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(FileDragData, OffersTheFileAsAFileUrlKeepingItsBytes) {
  std::unique_ptr<QMimeData> mime(FileListDrag::fileMimeData("/home/u/My Notes", "plan 1.txt"));
  EXPECT_EQ(mime->urls(), QList<QUrl>{QUrl::fromLocalFile("/home/u/My Notes/plan 1.txt")});
  EXPECT_EQ(mime->formats(), QStringList{"text/uri-list"});
  // A name that is not UTF-8 reaches the receiver byte for byte.
  mime.reset(FileListDrag::fileMimeData("/n/", "caf\xe9 #1.txt"));
  EXPECT_EQ(mime->data("text/uri-list"), "file:///n/caf%E9%20%231.txt\r\n");
}

TEST_F(ListActionsTest, CtrlDragCarriesTheFileOutAsACopy) {
  start();
  QListView* files = view("fileList");
  const QPoint from = rowRect("fileList", "plan.txt").center();
  QTest::mousePress(files->viewport(), Qt::LeftButton, Qt::ControlModifier, from);
  moveMouse(from + QPoint(4, 0), Qt::ControlModifier);
  EXPECT_EQ(files->findChild<QDrag*>(), nullptr);  // not yet the drag distance
  moveMouse(from + QPoint(40, 0), Qt::ControlModifier);
  // Without a window system to drop on, the drag ends at once; until the
  // event loop runs again it is still there to look at.
  auto* drag = files->findChild<QDrag*>();
  ASSERT_NE(drag, nullptr);
  EXPECT_EQ(drag->supportedActions(), Qt::CopyAction);
  ASSERT_NE(drag->mimeData(), nullptr);
  EXPECT_EQ(drag->mimeData()->urls(),
            QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString((docs() / "plan.txt").string()))});
  release(from + QPoint(40, 0));
  QTest::qWait(50);
  // Nothing happens to the file itself, nor to the Folder List.
  EXPECT_TRUE(fs::exists(docs() / "plan.txt"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(app->fileList().selectedName(), "plan.txt");
}

}  // namespace
}  // namespace vm::ui
