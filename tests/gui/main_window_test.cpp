// The main window driven as a user would: it draws the App's models and
// hands every click, key and drag back to the App.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "core/commands.h"
#include "gui_test_util.h"
#include "platform/limits.h"

namespace vm::ui {
namespace {

class MainWindowTest : public test::ShellTest {
 protected:
  void SetUp() override {
    for (const char* f : {"alpha/a.txt", "alpha/b.txt", "alpha/inner/i.txt", "beta/c.txt"})
      h.dir.write(std::string("docs/") + f, "x");
    h.dir.write("docs/top.txt", "t");
  }
  template <class T>
  T* child(const char* name) {
    T* w = win->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QAction* tool(int id) { return child<QAction>(QStringLiteral("tool%1").arg(id).toUtf8().constData()); }
  QStringList rows(const char* view) {
    QStringList out;
    auto* m = child<QListView>(view)->model();
    for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, 0).data().toString();
    return out;
  }
};

TEST_F(MainWindowTest, TipsCommandsAndSplitterReachTheApp) {
  start();
  EXPECT_EQ(win->windowTitle(), "Vellumark");
  EXPECT_EQ(tool(cmd::kPerpetual1 + 2)->toolTip(), "Perpetual note 3\nAssign note using Configure -> Perpetual Notes");
  EXPECT_FALSE(tool(cmd::kPerpetual1)->isEnabled());
  EXPECT_EQ(child<QLineEdit>("multibar")->toolTip(), "Multibar (Type new filename or ? to search current document)");
  EXPECT_EQ(child<QLabel>("folderLabel")->toolTip(), "Current Folder (Click to return to root)");
  EXPECT_EQ(win->menuBar()->actions().size(), 3);

  QTest::mouseClick(child<QToolBar>("toolbar")->widgetForAction(tool(cmd::kToolViewEdit)), Qt::LeftButton);
  EXPECT_EQ(app->mode(), Mode::View);
  EXPECT_EQ(tool(cmd::kToolViewEdit)->toolTip(), "Edit");
  child<QAction>("menu40012")->trigger();
  EXPECT_EQ(app->mode(), Mode::Edit);
  QAction* onTop = child<QAction>("menu40052");
  onTop->trigger();
  EXPECT_TRUE(onTop->isChecked() && win->windowFlags().testFlag(Qt::WindowStaysOnTopHint) && win->isVisible());
  onTop->trigger();
  EXPECT_FALSE(win->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  const QString shot = QString::fromStdString(h.dir.str() + "/shot.png");
  ASSERT_TRUE(win->saveScreenshot(shot));
  EXPECT_EQ(QImage(shot).size(), win->size());
  EXPECT_FALSE(win->saveScreenshot(QString::fromStdString(h.dir.str() + "/missing/x.png")));

  // Dragging the splitter stores the list width on release.
  auto* nav = child<QWidget>("navColumn");
  EXPECT_EQ(nav->width(), 200);
  QWidget* handle = child<QSplitter>("mainSplitter")->handle(1);
  const QPoint from(handle->width() / 2, handle->height() / 2);
  const QPoint to = from - QPoint(60, 0);
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(handle->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(handle, &e);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(nav->width(), 200);  // nothing moves before the release
  send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(nav->width(), 260);
  EXPECT_NE(h.iniText().find("ListWidth=260"), std::string::npos) << h.iniText();
  // The column keeps its new width when the window changes size.
  win->resize(win->width() + 100, win->height());
  QTest::qWait(20);
  EXPECT_EQ(nav->width(), 260);
}

TEST_F(MainWindowTest, ExpertModeStatusBarAndWindowPosition) {
  h.ini("[General]\nExpertMode=1\nUseStatBar=1\nWindowPosition=0,1,0,0,0,0,10,20,610,420\n");
  start();
  for (QWidget* w : {child<QWidget>("multibar"), child<QWidget>("fileList"), child<QWidget>("rootList")})
    EXPECT_TRUE(w->toolTip().isEmpty()) << w->objectName().toStdString();
  EXPECT_TRUE(tool(cmd::kToolNewBack)->toolTip().isEmpty());

  auto* message = child<QLabel>("statusMessage");
  EXPECT_TRUE(message->isVisible() && message->text().startsWith("Files in")) << message->text().toStdString();
  EXPECT_FALSE(child<QLabel>("messageField")->isVisible());

  EXPECT_EQ(win->geometry(), QRect(10, 20, 600, 400));
  win->resize(700, 500);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return h.iniText().find("WindowPosition=0,1,0,0,0,0,10,20,710,520") != std::string::npos; }, 2000))
      << h.iniText();
}

TEST_F(MainWindowTest, ListsRootsMultibarEditorAndClose) {
  start();
  EXPECT_EQ(win->findChild<QStatusBar*>(), nullptr);
  auto* field = child<QLabel>("messageField");
  EXPECT_FALSE(field->isVisible());
  EXPECT_EQ(rows("folderList"), (QStringList{"alpha", "beta"}));
  click("folderList", "alpha");
  EXPECT_EQ(rows("fileList"), (QStringList{"a.txt", "b.txt"}));
  // The message field shows while in front.
  EXPECT_TRUE(field->isVisible() && field->text().startsWith("Files in")) << field->text().toStdString();

  auto* folders = child<QListView>("folderList");
  QTest::keyClick(folders, Qt::Key_Down);
  EXPECT_EQ(rows("fileList"), QStringList{"c.txt"});
  QTest::keyClick(folders, Qt::Key_Up);
  QTest::keyClick(folders, Qt::Key_Return);  // enter alpha
  EXPECT_EQ(rows("folderList"), (QStringList{"[ . . ]", "inner"}));
  click("fileList", "b.txt");
  EXPECT_EQ(app->fileList().selectedName(), "b.txt");
  auto* label = child<QLabel>("folderLabel");
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(rows("folderList"), (QStringList{"alpha", "beta"}));
  EXPECT_EQ(label->text(), QString::fromStdString("  " + h.docs));

  auto* roots = child<QComboBox>("rootList");
  emit roots->activated(roots->findText("File System"));
  EXPECT_EQ(app->rootListCurrent(), "File System");
  const QString beta = QString::fromStdString(h.docs + "/beta");  // a typed folder becomes a new root
  roots->lineEdit()->selectAll();
  QTest::keyClicks(roots->lineEdit(), beta);
  QTest::keyClick(roots, Qt::Key_Return);  // keys reach the combo box, not its line edit
  EXPECT_EQ(roots->count(), 3);
  EXPECT_EQ(roots->currentText(), beta);
  EXPECT_EQ(rows("fileList"), QStringList{"c.txt"});

  // The Multibar, the editor, the note's Tools items and window accelerators.
  emit roots->activated(roots->findText("My Documents"));
  auto* bar = child<QLineEdit>("multibar");
  auto* note = child<QPlainTextEdit>("noteEditor");
  shell.windowPort.focusControl(cmd::kMultibar);
  QTest::keyClicks(bar, "top.txt");
  QTest::keyClick(bar, Qt::Key_Return);  // opens the file of that name
  EXPECT_TRUE(bar->text().isEmpty());
  EXPECT_EQ(note->toPlainText(), "t");
  EXPECT_TRUE(note->isEnabled() && note->isVisible() && !app->noteModified());
  QTest::keyClicks(note, "x");
  EXPECT_TRUE(app->noteModified());
  // The note's items join the Tools menu; their separators draw as such.
  EXPECT_TRUE(QTest::qWaitFor([&] { return win->findChild<QAction*>("menu903") != nullptr; }, 1000));
  EXPECT_EQ(win->findChild<QAction*>("menu900"), nullptr);
  QTest::keyClick(note, Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);  // a window accelerator
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kFolderList);

  win->close();
  EXPECT_TRUE(app->isShutDown());
  win->close();
  EXPECT_EQ(quits, 1);
}

TEST(QtTextEditor, ReportsOnlyUserEditsInBytesAndLimitsTyping) {
  NoteEdit edit;
  QtTextEditor port;
  port.attach(&edit);
  int edits = 0, releases = 0;
  port.onEdited = [&] { ++edits; };
  port.onReleased = [&] { ++releases; };
  port.setText("a\xc3\xb1\xe2\x82\xac\xa0z");  // "añ€", a stray byte, "z"
  EXPECT_EQ(edits, 0);
  EXPECT_EQ(port.text(), "a\xc3\xb1\xe2\x82\xac\xef\xbf\xbdz");
  QTextCursor c = edit.textCursor();
  c.setPosition(1);
  c.setPosition(3, QTextCursor::KeepAnchor);
  edit.setTextCursor(c);
  EXPECT_EQ(std::make_pair(port.selectionStart(), port.selectionEnd()), std::make_pair(1ul, 6ul));
  port.replaceSelection("\xc2\xa0");  // a no-break space stays one
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(port.text(), "a\xc2\xa0\xef\xbf\xbdz");
  EXPECT_EQ(port.selectionStart(), 3u);  // after the two bytes put in
  edit.undo();
  EXPECT_EQ(port.text(), "a\xc3\xb1\xe2\x82\xac\xef\xbf\xbdz");
  edits = 0;
  QTest::keyClicks(&edit, "x");
  EXPECT_EQ(std::make_pair(edits, releases), std::make_pair(1, 1));

  // No typing limit: a note past 64000 characters takes more, and the
  // count comes from the document.
  const int big = 64000;
  port.setText(std::string(big - 2, 'a'));
  edit.moveCursor(QTextCursor::End);
  edits = 0;
  QTest::keyClick(&edit, Qt::Key_Return);
  QTest::keyClicks(&edit, "bcd");
  EXPECT_EQ(port.characterCount(), std::size_t(big + 2));
  EXPECT_EQ(port.text().substr(big - 3), "a\nbcd");
  port.setReadOnly(true);  // a read-only note refuses typing
  QTest::keyClicks(&edit, "x");
  EXPECT_EQ(port.characterCount(), std::size_t(big + 2));
  port.setReadOnly(false);
}

TEST(QtTimers, TicksWithItsIdUntilStopped) {
  QtTimers timers;
  std::vector<int> ticks;
  timers.setTick([&](int id) { ticks.push_back(id); });
  timers.start(5, 5);
  EXPECT_EQ(std::make_pair(timers.interval(5), timers.interval(4)), std::make_pair(5, -1));
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 2; }, 1000));
  EXPECT_EQ(ticks.front(), 5);
  timers.stop(5);
  EXPECT_FALSE(timers.isRunning(5));
  const auto seen = ticks.size();
  QTest::qWait(30);
  EXPECT_EQ(ticks.size(), seen);
}

}  // namespace
}  // namespace vm::ui
