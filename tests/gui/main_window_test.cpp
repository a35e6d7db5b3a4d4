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
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWebEngineView>
#include <tuple>

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
  win->setStorePlacement(false);  // as for a screenshot
  win->resize(650, 450);
  QTest::qWait(300);
  EXPECT_NE(h.iniText().find("WindowPosition=0,1,0,0,0,0,10,20,610,420"), std::string::npos) << h.iniText();
  win->setStorePlacement(true);
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

TEST_F(MainWindowTest, StartAndModeSwitchesKeepTheFocusOffTheRootList) {
  start();
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kFileList);
  auto* roots = child<QComboBox>("rootList");
  const QString rootText = roots->lineEdit()->text();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);  // right after start
  EXPECT_EQ(app->mode(), Mode::View);
  QTest::keyClicks(QApplication::focusWidget(), "zz");
  EXPECT_EQ(roots->lineEdit()->text(), rootText);
  EXPECT_NE(shell.windowPort.focusedControl(), cmd::kRootList);
  // With a note shown, a switch puts the focus into it.
  click("fileList", "top.txt");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(app->mode(), Mode::Edit);
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kNoteEditor);
  QTest::keyClicks(QApplication::focusWidget(), "q");
  EXPECT_EQ(child<QPlainTextEdit>("noteEditor")->toPlainText(), "qt");
  // A line edit's own Ctrl+E (end of line) does not win over the window's.
  for (int control : {cmd::kMultibar, cmd::kRootList}) {
    shell.windowPort.focusControl(control);
    const Mode before = app->mode();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_NE(app->mode(), before) << control;
  }
}

TEST_F(MainWindowTest, WindowKeysWorkWhileThePageHasTheFocus) {
  h.dir.write("docs/page.md", "# Page\n\nSome text.\n");
  h.dir.write("docs/second.md", "# Second\n");
  start();
  app->command(cmd::kCtrlE);
  click("fileList", "page.md");
  ASSERT_EQ(app->currentViewer(), Viewer::Web);
  QWidget* page = nullptr;
  auto pageFocused = [&] {
    auto* view = win->findChild<QWebEngineView*>();
    page = view ? view->focusProxy() : nullptr;
    if (!page) return false;
    if (QApplication::focusWidget() != page) page->setFocus();
    return QApplication::focusWidget() == page;
  };
  ASSERT_TRUE(QTest::qWaitFor(pageFocused, 20000));
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kWebHost);

  QTest::keyClick(page, Qt::Key_F6);
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kMultibar);
  ASSERT_TRUE(QTest::qWaitFor(pageFocused, 5000));
  QTest::keyClick(page, Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kFileList);
  for (auto [key, mods, control] : {std::tuple{Qt::Key_D, Qt::ControlModifier | Qt::AltModifier, cmd::kFolderList},
                                    std::tuple{Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, cmd::kRootList},
                                    std::tuple{Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier, cmd::kMultibar}}) {
    ASSERT_TRUE(QTest::qWaitFor(pageFocused, 5000));
    QTest::keyClick(page, key, mods);
    EXPECT_EQ(shell.windowPort.focusedControl(), control) << key;
  }
  ASSERT_TRUE(QTest::qWaitFor(pageFocused, 5000));
  QTest::keyClick(page, Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(app->mode(), Mode::Edit);
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kNoteEditor);

  // Back to the page; a wiki link opens a text note; Ctrl+B undoes it.
  app->command(cmd::kCtrlE);
  ASSERT_EQ(app->currentViewer(), Viewer::Web);
  app->pageLinkClicked("tn:top");
  ASSERT_EQ(app->fileList().selectedName(), "top.txt");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(app->fileList().selectedName(), "page.md");
  EXPECT_EQ(app->currentViewer(), Viewer::Web);
  click("fileList", "second.md");
  app->pageLinkClicked("tn:top");
  ASSERT_EQ(shell.windowPort.focusedControl(), cmd::kNoteEditor);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);  // Alt+Left as well
  EXPECT_EQ(app->fileList().selectedName(), "second.md");
  ASSERT_TRUE(QTest::qWaitFor(pageFocused, 20000));
  QTest::keyClick(page, Qt::Key_N, Qt::ControlModifier);  // a new note, in Edit mode
  EXPECT_EQ(app->mode(), Mode::Edit);
  EXPECT_EQ(app->fileList().selectedName(), "New Note.txt");
}

TEST_F(MainWindowTest, StatusBarCountersAndLongMessagesAreNeverCut) {
  h.ini("[General]\nUseStatBar=1\n");
  std::string big;
  for (int i = 0; i < 10001; ++i) big += std::string(99, 'a') + "\n";
  big += "1234567";  // 1,000,107 characters
  h.dir.write("docs/big.txt", big);
  start();
  click("fileList", "big.txt");
  auto* chars = child<QLabel>("charCounter");
  ASSERT_EQ(chars->text(), "Ch 1000107");
  auto wholeCounter = [&] {
    return chars->fontMetrics().horizontalAdvance(chars->text()) <= chars->contentsRect().width();
  };
  EXPECT_TRUE(QTest::qWaitFor(wholeCounter, 1000)) << chars->contentsRect().width();

  const std::string longText = "Could not save the note; your text was kept in " + std::string(300, 'x');
  app->status().show(longText);
  auto* message = child<QLabel>("statusMessage");
  EXPECT_TRUE(message->text().endsWith(QChar(0x2026))) << message->text().toStdString();
  EXPECT_LE(message->fontMetrics().horizontalAdvance(message->text()), message->contentsRect().width());
  EXPECT_EQ(message->toolTip().toStdString(), app->status().message());
  app->status().show("Note saved");
  EXPECT_EQ(message->text(), "Note saved");
}

TEST_F(MainWindowTest, NoteFontGutterAndScrollingHideTheMessage) {
  h.ini("[General]\nNoteFont=Courier\nNoteFontSize=20\nGutterWidth=30\n");
  h.dir.write("docs/long.txt", std::string(400, '\n'));
  start();
  auto* note = child<NoteEdit>("noteEditor");
  EXPECT_EQ(note->font().family(), "Courier");
  EXPECT_EQ(note->font().pixelSize(), 20);
  EXPECT_EQ(note->gutter(), 30);
  click("fileList", "long.txt");
  auto* field = child<QLabel>("messageField");
  app->status().show(std::string(400, 'm'));  // longer than the field: cut with "…"
  ASSERT_TRUE(field->isVisible());
  EXPECT_TRUE(field->text().endsWith(QChar(0x2026)));
  note->verticalScrollBar()->setValue(100);
  EXPECT_FALSE(field->isVisible());
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
