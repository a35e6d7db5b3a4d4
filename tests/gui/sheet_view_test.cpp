// The spreadsheet's table: what it shows of a sheet, where clicks and keys
// go, the cell cursor, the cell editor and its byte limit, the pop-up menus,
// the load pump, and the whole chain from the File List to a shown sheet.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

#include "../sheet/sheet_test_util.h"
#include "core/commands.h"
#include "gui_test_util.h"

namespace vm::ui {
namespace {

// Dark pixels on one row of an image between x0 and x1 (the dotted cursor
// draws every other one in the text colour; grid lines and cells are light).
int darkPixels(const QImage& img, int y, int x0, int x1) {
  int n = 0;
  for (int x = x0; x <= x1; ++x)
    if (qGray(img.pixel(x, y)) < 100) ++n;
  return n;
}

// Types text as key presses carrying it, one character at a time (QTest's
// own typing knows only Latin-1).
void typeText(QWidget* w, const QString& text) {
  for (char32_t c : text.toUcs4())
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent e(type, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
      QApplication::sendEvent(w, &e);
    }
}

// Waits for a pop-up to open and hands it to f.
void withPopup(std::function<void(QMenu*)> f) {
  QTimer::singleShot(0, qApp, [f = std::move(f)] {
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000))
      ADD_FAILURE() << "no pop-up menu opened";
    f(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
  });
}

QStringList texts(QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
}

std::vector<bool> enabled(QMenu* menu) {
  std::vector<bool> out;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) out.push_back(a->isEnabled());
  return out;
}

class SheetViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = new QWidget(&window);
    window.setCentralWidget(host);
    view.attach(host);
    view.onCellClicked = [this](int r, int c) { log("click", r, c); };
    view.onCellDoubleClicked = [this](int r, int c) { log("double", r, c); };
    view.onContextMenu = [this](int r, int c) {
      log("menu", r, c);
      if (menuItems) chosen = view.popupMenu(*menuItems);
    };
    view.onKey = [this](SheetKey k, int page) {
      log("key", static_cast<int>(k));
      pageRows = page;
    };
    view.onEditorEnter = [this] { log("enter"); };
    view.onEditorEscape = [this] { log("escape"); };
    view.onHeaderClicked = [this](int c) { log("header", c); };
    view.onGroupToggled = [this](int g) { log("group", g); };
    view.onScrolled = [this] { log("scrolled"); };
    view.onColumnResized = [this](int c, int w) { log("width", c, w); };
    window.resize(420, 320);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  void TearDown() override { view.showSheet(nullptr, 0); }

  void log(const char* what, int a = -9, int b = -9) {
    std::string s = what;
    if (a != -9) s += " " + std::to_string(a);
    if (b != -9) s += " " + std::to_string(b);
    calls.push_back(s);
  }
  std::string last() const { return calls.empty() ? "" : calls.back(); }
  int pageRows = 0;

  void open(const std::string& csv, int numberWidth = 40) {
    ASSERT_TRUE(test::openText(sheet, dir, "t.csv", csv, o));
    view.showSheet(&sheet, numberWidth);
    QTest::qWait(1);
  }
  // A sheet of rows x cols cells "r.c", the last column left empty.
  void openGrid(int rows, int cols) {
    std::string csv;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols - 1; ++c) csv += std::to_string(r) + "." + std::to_string(c) + ",";
      csv += '\n';
    }
    open(csv);
  }

  QTableView* table() { return view.table(); }
  QWidget* viewport() { return view.table()->viewport(); }
  QRect cell(int displayRow, int column) { return table()->visualRect(table()->model()->index(displayRow, column)); }
  QString title(int column) { return table()->model()->headerData(column, Qt::Horizontal).toString(); }

  test::TempDir dir;
  SheetOptions o = test::optionsIn(dir);
  Sheet sheet;
  QMainWindow window;
  QWidget* host = nullptr;
  QtSheetView view;
  std::vector<std::string> calls;
  const std::vector<PopupItem>* menuItems = nullptr;
  int chosen = -1;
};

TEST_F(SheetViewTest, ShowsTitlesAndWidthsOfTheSheetAndReportsResizesAndSorting) {
  o.columnWidth = 90;
  ASSERT_TRUE(test::openText(sheet, dir, "t.csv", "x,1,p\ny,2,q\nx,3,r\n", o));
  sheet.setColumnWidth(1, 130);
  view.showSheet(&sheet, 44);
  QTableView* t = table();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ((QStringList{title(0), title(3)}), (QStringList{"tn", "C"}));
  QHeaderView* h = t->horizontalHeader();
  auto widths = [&] { return std::vector<int>{h->sectionSize(0), h->sectionSize(1), h->sectionSize(2), h->sectionSize(3)}; };
  EXPECT_EQ(widths(), (std::vector<int>{44, 90, 130, 90}));
  EXPECT_TRUE((h->defaultAlignment() & Qt::AlignLeft) && t->showGrid() && !t->verticalHeader()->isVisible());
  EXPECT_EQ(t->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_TRUE(calls.empty()) << last();  // setting the sheet's widths is no resize by the user

  // The user's resize goes out; a reset (grouping) puts the sheet's widths back.
  h->resizeSection(2, 150);
  EXPECT_EQ(last(), "width 2 150");
  calls.clear();
  sheet.groupBy(0);
  EXPECT_EQ(t->model()->rowCount(), 5);
  EXPECT_EQ(widths(), (std::vector<int>{44, 90, 130, 90}));
  EXPECT_TRUE(calls.empty()) << last();
  sheet.ungroup();

  // Header clicks count only while sorting is on; the sort shows on the header.
  auto clickHeader = [&](int column) {
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
  };
  clickHeader(2);
  EXPECT_TRUE(calls.empty()) << last();
  view.setSortable(true);
  clickHeader(2);
  EXPECT_EQ(last(), "header 2");
  EXPECT_FALSE(h->isSortIndicatorShown());
  sheet.setSortingOn(true);
  sheet.sortBy(1, false);
  sheet.sortBy(1, false);  // the second time descending
  EXPECT_TRUE(h->isSortIndicatorShown());
  EXPECT_EQ(std::make_pair(h->sortIndicatorSection(), h->sortIndicatorOrder()), std::make_pair(2, Qt::DescendingOrder));
  view.setSortable(false);
  EXPECT_FALSE(h->isSortIndicatorShown());

  view.showSheet(nullptr, 0);
  EXPECT_EQ(t->model() ? t->model()->rowCount() : 0, 0);
}

TEST_F(SheetViewTest, ClicksKeysMenusAndScrollingReachTheAppWithViewRows) {
  std::string csv;
  for (int r = 0; r < 60; ++r) csv += std::string(r % 2 ? "odd," : "even,") + std::to_string(r) + "\n";
  open(csv);
  sheet.groupBy(0);  // header "even", rows 0, 2, 4...; header "odd" further down
  ASSERT_TRUE(sheet.grouped());
  ASSERT_EQ(sheet.displayRow(2).viewRow, 2);

  QTest::mouseClick(viewport(), Qt::LeftButton, {}, cell(2, 2).center());
  EXPECT_EQ(last(), "click 2 2");
  EXPECT_EQ(QApplication::focusWidget(), table());
  calls.clear();
  QTest::mouseDClick(viewport(), Qt::LeftButton, {}, cell(3, 1).center());
  EXPECT_EQ(last(), "double 4 1");
  // A group's header: its sign toggles on a click, the row on a double-click.
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, cell(0, 0).center());
  QTest::mouseDClick(viewport(), Qt::LeftButton, {}, cell(0, 2).center());
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "group 0"), 2);
  EXPECT_EQ(last(), "group 0");

  // Keys go to the App; the view's own current cell never moves.
  calls.clear();
  const QModelIndex current = table()->currentIndex();
  const int scrolled = table()->verticalScrollBar()->value();
  for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Left, Qt::Key_Up, Qt::Key_Right,
                    Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End, Qt::Key_A})
    QTest::keyClick(table(), k);
  QTest::keyClick(table(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(table(), Qt::Key_End, Qt::ControlModifier);
  std::vector<std::string> want;
  for (SheetKey k : {SheetKey::Enter, SheetKey::Enter, SheetKey::Escape, SheetKey::Left, SheetKey::Up, SheetKey::Right,
                     SheetKey::Down, SheetKey::PageUp, SheetKey::PageDown, SheetKey::Home, SheetKey::End,
                     SheetKey::CtrlHome, SheetKey::CtrlEnd})
    want.push_back("key " + std::to_string(static_cast<int>(k)));
  EXPECT_EQ(calls, want);
  EXPECT_EQ(table()->currentIndex(), current);
  // The page keys move the cursor (through the App), not the table: a page
  // is the rows the viewport shows, less one.
  EXPECT_EQ(table()->verticalScrollBar()->value(), scrolled);
  const int rowHeight = table()->rowHeight(1);
  EXPECT_EQ(pageRows, std::max(1, viewport()->height() / rowHeight - 1));
  EXPECT_GT(pageRows, 3);

  // A right click: the App hears of it and its menu opens there.
  calls.clear();
  const QPoint at = cell(5, 2).center();
  QContextMenuEvent right(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at));
  QApplication::sendEvent(viewport(), &right);
  EXPECT_EQ(last(), "menu 8 2");
  EXPECT_EQ(view.menuPosition(), viewport()->mapToGlobal(at));

  // Scrolling by the user is reported; the view's own scrolling to the cursor is not.
  calls.clear();
  view.setCursor(58, 2, true);
  EXPECT_GT(table()->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(calls.empty()) << last();
  table()->verticalScrollBar()->setValue(0);
  EXPECT_EQ(last(), "scrolled");

  // Below the last row there is no row.
  view.showSheet(nullptr, 0);
  open("a,b\n");
  calls.clear();
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(cell(0, 1).center().x(), viewport()->height() - 3));
  EXPECT_EQ(last(), "click -1 1");
}

TEST_F(SheetViewTest, CursorRectangleFollowsTheCellAndScrollsItIntoView) {
  openGrid(300, 8);  // 40 + 8 * 100 pixels wide, far wider than the pane
  EXPECT_TRUE(view.cursorRect().isEmpty());
  view.setCursor(250, 8, true);  // the empty last column
  QRect r = view.cursorRect();
  ASSERT_FALSE(r.isEmpty());
  EXPECT_EQ(r, cell(250, 8).adjusted(1, 0, 0, -1));
  EXPECT_TRUE(viewport()->rect().contains(r));
  // Drawn: the dotted top edge, and nothing on that line once hidden.
  QImage shot = viewport()->grab().toImage();
  EXPECT_GT(darkPixels(shot, r.top(), r.left(), r.right()), r.width() / 3);

  // A cell in the middle lies between the left edge and the gap at the right.
  view.setCursor(10, 4, true);
  r = view.cursorRect();
  EXPECT_TRUE(r.left() >= 0 && r.right() <= viewport()->width() - QtSheetView::kRightGap);
  EXPECT_EQ(r, cell(10, 4).adjusted(1, 0, 0, -1));
  view.setCursor(10, 1, true);
  r = view.cursorRect();
  EXPECT_EQ(r, cell(10, 1).adjusted(1, 0, 0, -1));
  EXPECT_GE(r.left(), 0);
  shot = viewport()->grab().toImage();
  EXPECT_GT(darkPixels(shot, r.bottom(), r.left(), r.right()), r.width() / 3);

  view.setCursor(10, 1, false);
  EXPECT_TRUE(view.cursorRect().isEmpty());
  shot = viewport()->grab().toImage();
  EXPECT_EQ(darkPixels(shot, r.top(), r.left() + 1, r.right() - 1), 0);

  // A row in a collapsed group has no place on the screen.
  sheet.groupBy(0);
  sheet.setGroupCollapsed(0, true);
  view.setCursor(0, 1, true);
  EXPECT_TRUE(view.cursorRect().isEmpty());
}

TEST_F(SheetViewTest, EditorCoversTheCellInsideTheViewportAndReportsEnterAndEscape) {
  o.columnWidth = 120;
  openGrid(40, 6);
  const std::string word = "h\xC3\xA9llo";  // 5 characters, 6 bytes
  view.setCursor(20, 3, true);
  view.openEditor(20, 3, word, true, "Enter to save");
  auto* edit = window.findChild<QLineEdit*>("cellEditor");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit, view.editor());
  EXPECT_TRUE(view.editorOpen() && edit->isVisible() && !edit->hasSelectedText());
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(edit->geometry(), cell(20, 3));
  EXPECT_EQ(view.editorText(), word);
  EXPECT_EQ(edit->cursorPosition(), 5);
  EXPECT_EQ(edit->toolTip(), "Enter to save");

  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(last(), "enter");
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(last(), "escape");
  view.closeEditor();
  EXPECT_FALSE(view.editorOpen() || edit->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), table());
  EXPECT_EQ(view.editorText(), "");

  // A cell wider than the pane: the editor starts at the viewport's left and
  // ends short of its right edge.
  sheet.setColumnWidth(4, 900);
  view.showSheet(&sheet, 40);
  calls.clear();
  view.openEditor(5, 5, "wide", false, "");
  EXPECT_TRUE(edit->isVisible() && edit->toolTip().isEmpty());
  EXPECT_EQ(edit->geometry().left(), 0);
  EXPECT_LE(edit->geometry().right() + 1, viewport()->width() - QtSheetView::kRightGap);
  EXPECT_GT(edit->geometry().width(), 100);
  EXPECT_EQ(edit->selectedText(), "wide");
  EXPECT_TRUE(calls.empty()) << last();  // scrolling the cell into view is not the user's scroll

  // A new sheet closes the editor.
  view.showSheet(&sheet, 40);
  EXPECT_FALSE(view.editorOpen());
}

TEST_F(SheetViewTest, EditorNeverHoldsMoreThanACellsBytesAndSplitsNoCharacter) {
  openGrid(3, 3);
  const std::string e = "\xC3\xA9";         // 2 bytes
  const std::string euro = "\xE2\x82\xAC";  // 3 bytes
  // A cell that already holds more than new typing may opens whole, and
  // takes nothing more.
  const std::string longText = std::string(3000, 'a') + e;
  view.openEditor(0, 1, longText, true, "");
  EXPECT_EQ(view.editorText(), longText);
  QTest::keyClicks(view.editor(), "b");
  EXPECT_EQ(view.editorText(), longText);
  QTest::keyClick(view.editor(), Qt::Key_Backspace);
  QTest::keyClicks(view.editor(), "b");
  EXPECT_EQ(view.editorText(), std::string(3000, 'a') + "b");

  view.openEditor(0, 1, std::string(1020, 'a'), true, "");
  QLineEdit* edit = view.editor();
  typeText(edit, QString::fromUtf8(e));
  EXPECT_EQ(view.editorText().size(), 1022u);
  typeText(edit, QString::fromUtf8(euro));  // 1025 bytes: refused
  EXPECT_EQ(view.editorText(), std::string(1020, 'a') + e);
  QTest::keyClicks(edit, "bc");
  EXPECT_EQ(view.editorText(), std::string(1020, 'a') + e + "b");

  // Pasting and inserting take what fits, whole characters only.
  view.openEditor(0, 1, std::string(1018, 'a'), true, "");
  QApplication::clipboard()->setText(QString::fromUtf8(e + e + euro));
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(view.editorText(), std::string(1018, 'a') + e + e);
  edit->setSelection(1016, 3);  // "aa" and one é: 4 bytes
  view.editorInsert(euro + euro);
  EXPECT_EQ(view.editorText(), std::string(1016, 'a') + euro + e);
  EXPECT_EQ(view.editorText().size(), 1021u);
  edit->selectAll();
  view.editorInsert("12.05.2024");
  EXPECT_EQ(view.editorText(), "12.05.2024");
}

TEST_F(SheetViewTest, EditorMenuHasItsItemsGreyedByStateAndDoesTheirWork) {
  openGrid(3, 3);
  view.openEditor(1, 1, "", true, "");
  QLineEdit* edit = view.editor();
  QApplication::clipboard()->clear();
  auto openMenu = [&](std::function<void(QMenu*)> check) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit, &e);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), (QStringList{"    Undo   ", "-", "    Cut      ", "    Copy      ", "    Paste      ",
                                        "    Select All   "}));
    check(menu);
    menu->close();
    QTest::qWait(1);
  };
  enum { Undo = 0, Copy = 3, Paste = 4 };  // places in the menu checked above
  // Empty, nothing selected, nothing to paste: only Undo.
  openMenu([](QMenu* m) { EXPECT_EQ(enabled(m), (std::vector<bool>{true, false, false, false, false})); });

  edit->setText("abc");
  edit->selectAll();
  QApplication::clipboard()->setText("xyz");
  openMenu([&](QMenu* m) {
    EXPECT_EQ(enabled(m), (std::vector<bool>{true, true, true, true, true}));
    m->actions()[Copy]->trigger();
  });
  EXPECT_EQ(QApplication::clipboard()->text(), "abc");
  // The items act on the edit control itself: a paste, then Undo takes it back.
  QApplication::clipboard()->setText("xyz");
  openMenu([&](QMenu* m) { m->actions()[Paste]->trigger(); });
  EXPECT_EQ(edit->text(), "xyz");
  openMenu([&](QMenu* m) {
    EXPECT_EQ(enabled(m), (std::vector<bool>{true, false, false, true, true}));  // nothing selected now
    m->actions()[Undo]->trigger();
  });
  EXPECT_EQ(edit->text(), "abc");
}

TEST_F(SheetViewTest, PopupMenuOpensWhereTheUserClickedAndAnswersTheChosenId) {
  openGrid(20, 4);
  const std::vector<PopupItem> items = {{7, "    Insert Row   ", true}, {0, "", true}, {8, "    Delete Row  ", false},
                                        {9, "    Group by this column ", true}};
  menuItems = &items;
  const QPoint at = cell(2, 2).topLeft() + QPoint(3, 3);
  const QPoint global = viewport()->mapToGlobal(at);

  QPoint menuAt;
  withPopup([&](QMenu* m) {
    ASSERT_NE(m, nullptr);
    menuAt = m->pos();
    EXPECT_EQ(texts(m), (QStringList{"    Insert Row   ", "-", "    Delete Row  ", "    Group by this column "}));
    EXPECT_EQ(enabled(m), (std::vector<bool>{true, false, true}));
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(m->actions()[3]).center());
  });
  QContextMenuEvent right(QContextMenuEvent::Mouse, at, global);
  QApplication::sendEvent(viewport(), &right);
  EXPECT_EQ(calls.front(), "menu 2 2");
  EXPECT_EQ(chosen, 9);
  EXPECT_EQ(menuAt, global);

  // Dismissed: 0. From the keyboard the menu belongs to the cursor's cell.
  view.setCursor(5, 3, true);
  calls.clear();
  withPopup([&](QMenu* m) {
    ASSERT_NE(m, nullptr);
    menuAt = m->pos();
    QTest::keyClick(m, Qt::Key_Escape);
  });
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), viewport()->mapToGlobal(QPoint(0, 0)));
  QApplication::sendEvent(viewport(), &key);
  EXPECT_EQ(calls.front(), "menu 5 3");
  EXPECT_EQ(chosen, 0);
  EXPECT_EQ(menuAt, viewport()->mapToGlobal(view.cursorRect().center()));
}

// ---- The load pump -------------------------------------------------------------

// A window that counts the close requests it really handled.
class CountingWindow : public QMainWindow {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* e) override {
    ++closes;
    e->accept();
  }
};

TEST(QtPump, HoldsACloseRequestUntilTheWorkHasReturned) {
  CountingWindow w;
  QtPump pump;
  pump.attach(&w);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_FALSE(pump.step());

  // A close while the work runs: the work hears "quit", the window stays.
  QMetaObject::invokeMethod(&w, "close", Qt::QueuedConnection);
  bool quit = false;
  for (int i = 0; i < 3 && !quit; ++i) quit = pump.step();
  EXPECT_TRUE(quit && pump.quitRequested() && w.isVisible());
  EXPECT_EQ(w.closes, 0);
  // Still running: the close tried again is held back again.
  QThread::msleep(40);
  EXPECT_TRUE(pump.step());
  EXPECT_EQ(w.closes, 0);
  // Back in the event loop, the window closes once.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
  EXPECT_EQ(w.closes, 1);

  // Outside any work a close goes straight to the window.
  CountingWindow v;
  QtPump idle;
  idle.attach(&v);
  v.show();
  v.close();
  EXPECT_EQ(v.closes, 1);
  EXPECT_FALSE(idle.quitRequested());
}

TEST(QtPump, EscCancelsTheWorkWhileOtherInputWaitsForItsEnd) {
  QMainWindow w;
  auto* edit = new QLineEdit;
  w.setCentralWidget(edit);
  int triggered = 0;
  auto* action = new QAction(&w);
  action->setShortcut(QKeySequence(QStringLiteral("Ctrl+K")));
  w.addAction(action);
  QObject::connect(action, &QAction::triggered, [&] { ++triggered; });
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  edit->setFocus();
  QtPump pump;
  pump.attach(&w);

  // Keys typed during the work: held, and no accelerator fires.
  QTimer::singleShot(0, edit, [edit] {
    QTest::keyClicks(edit, QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_K, Qt::ControlModifier);
  });
  bool stop = false;
  for (int i = 0; i < 5 && !stop; ++i) stop = pump.step();
  EXPECT_FALSE(stop);
  EXPECT_EQ(edit->text(), QString());
  EXPECT_EQ(triggered, 0);
  // Esc stops it, as a cancel and not a quit.
  QTimer::singleShot(0, edit, [edit] { QTest::keyClick(edit, Qt::Key_Escape); });
  for (int i = 0; i < 5 && !stop; ++i) stop = pump.step();
  EXPECT_TRUE(stop);
  EXPECT_TRUE(pump.cancelled());
  EXPECT_FALSE(pump.quitRequested());
  // Back in the event loop the held keys arrive in their order, the
  // accelerator fires, and the next work starts uncancelled.
  EXPECT_TRUE(QTest::qWaitFor([&] { return edit->text() == QLatin1String("ab"); }, 2000));
  EXPECT_EQ(triggered, 1);
  EXPECT_FALSE(pump.cancelled());
  EXPECT_FALSE(pump.step());
}

TEST(QtPump, ShowsProgressInTheStatusBar) {
  QMainWindow w;
  QtPump pump;
  pump.attach(&w);
  w.show();
  pump.progress(40);
  QProgressBar* bar = pump.progressBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 1000));
  EXPECT_EQ(bar->value(), 40);
  EXPECT_EQ(bar->parentWidget(), w.findChild<QStatusBar*>());
  pump.progress(100);
  EXPECT_EQ(bar->value(), 100);
  pump.progress(-1);
  // The window had no status bar: the one made for the progress goes again.
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.findChild<QStatusBar*>() == nullptr; }, 1000));

  // A window with a status bar of its own keeps it.
  auto* own = new QStatusBar(&w);
  w.setStatusBar(own);
  pump.progress(10);
  ASSERT_NE(pump.progressBar(), nullptr);
  EXPECT_EQ(pump.progressBar()->parentWidget(), own);
  pump.progress(-1);
  QTest::qWait(1);
  EXPECT_EQ(w.findChild<QStatusBar*>(), own);
  EXPECT_FALSE(pump.progressBar()->isVisible());
}

// ---- The whole chain -------------------------------------------------------------

using SheetWindowTest = test::ShellTest;

TEST_F(SheetWindowTest, ACsvFromTheFileListShowsInTheTableAndTakesAnEdit) {
  h.dir.write("docs/people.csv", "Ann,7\nBob,9\n");
  start();
  click("fileList", "people.csv");

  auto* table = win->findChild<QTableView*>("sheetView");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->isVisible(); }, 2000));
  EXPECT_EQ(app->currentViewer(), Viewer::Sheet);
  EXPECT_FALSE(win->noteEditor()->isVisible());
  ASSERT_EQ(table->model()->rowCount() * 10 + table->model()->columnCount(), 23);
  EXPECT_EQ(table->model()->index(1, 1).data().toString(), "Bob");

  shell.windowPort.focusControl(cmd::kSheetTable);
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kSheetTable);
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 2)).center());
  EXPECT_EQ(std::make_pair(app->sheetCursorRow(), app->sheetCursorColumn()), std::make_pair(0, 2));
  QTest::keyClick(table, Qt::Key_Down);
  EXPECT_EQ(app->sheetCursorRow(), 1);
  EXPECT_EQ(shell.sheet.cursorRect(), table->visualRect(table->model()->index(1, 2)).adjusted(1, 0, 0, -1));

  // Enter opens the editor over the cell; Enter in it stores the text.
  QTest::keyClick(table, Qt::Key_Return);
  auto* edit = win->findChild<QLineEdit*>("cellEditor");
  ASSERT_TRUE(edit && edit->isVisible());
  EXPECT_EQ(shell.windowPort.focusedControl(), cmd::kCellEditor);
  edit->selectAll();
  QTest::keyClicks(edit, "12");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_FALSE(edit->isVisible());
  EXPECT_EQ(table->model()->index(1, 2).data().toString(), "12");

  win->close();
  EXPECT_TRUE(app->isShutDown());
  EXPECT_EQ(h.dir.read("docs/people.csv"), "Ann,7\nBob,12\n");
}

TEST_F(SheetWindowTest, AfterAClickTheTableStillScrollsAndPageKeysMoveTheCursor) {
  std::string csv;
  for (int r = 0; r < 300; ++r) csv += "row " + std::to_string(r) + ",x,y\n";
  h.dir.write("docs/long.csv", csv);
  start();
  click("fileList", "long.csv");
  auto* table = win->findChild<QTableView*>("sheetView");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->isVisible(); }, 2000));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(2, 1)).center());
  ASSERT_EQ(app->sheetCursorRow(), 2);
  QTest::qWait(20);  // the cursor's timer has drawn it

  // The wheel scrolls away from the cursor, and the cursor's timer leaves it there.
  QScrollBar* bar = table->verticalScrollBar();
  const QPoint at = table->viewport()->rect().center();
  QWheelEvent wheel(at, table->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120 * 5), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(table->viewport(), &wheel);
  const int wheeled = bar->value();
  EXPECT_GT(wheeled, 5);
  QTest::qWait(50);
  EXPECT_EQ(bar->value(), wheeled);
  // So does the scroll bar.
  bar->setValue(bar->maximum() / 2);
  QTest::qWait(50);
  EXPECT_EQ(bar->value(), bar->maximum() / 2);
  EXPECT_EQ(app->sheetCursorRow(), 2);

  // Keys move the cursor, and the table follows it.
  QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(std::make_pair(app->sheetCursorRow(), app->sheetCursorColumn()), std::make_pair(299, 3));
  EXPECT_EQ(bar->value(), bar->maximum());
  QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(std::make_pair(app->sheetCursorRow(), app->sheetCursorColumn()), std::make_pair(0, 1));
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(table, Qt::Key_PageDown);
  const int page = app->sheetCursorRow();
  EXPECT_GT(page, 3);
  EXPECT_TRUE(table->viewport()->rect().contains(shell.sheet.cursorRect()));
  QTest::keyClick(table, Qt::Key_PageDown);
  EXPECT_EQ(app->sheetCursorRow(), 2 * page);
  QTest::keyClick(table, Qt::Key_PageUp);
  EXPECT_EQ(app->sheetCursorRow(), page);
  QTest::keyClick(table, Qt::Key_End);
  EXPECT_EQ(app->sheetCursorColumn(), 3);
  win->close();
}

TEST_F(SheetWindowTest, ClosingTheWindowDuringALoadStopsTheLoadThenShutsDown) {
  // Big enough to be read in several chunks, with pump steps between them.
  std::string csv;
  for (int r = 0; r < 200000; ++r) csv += "row " + std::to_string(r) + ",some text\n";
  h.dir.write("docs/big.csv", csv);
  start();
  // The close request waits in the queue; the load's first step hands it out.
  QMetaObject::invokeMethod(win.get(), "close", Qt::QueuedConnection);
  click("fileList", "big.csv");
  EXPECT_TRUE(shell.pump.quitRequested());
  EXPECT_FALSE(app->isShutDown());  // not from inside the load
  EXPECT_FALSE(app->sheet().isOpen());
  EXPECT_TRUE(win->isVisible());
  // Once the load has returned, the window closes and the App shuts down.
  EXPECT_TRUE(QTest::qWaitFor([&] { return app->isShutDown(); }, 3000));
  EXPECT_FALSE(win->isVisible());
  EXPECT_EQ(quits, 1);
  EXPECT_EQ(h.dir.read("docs/big.csv").size(), csv.size());
}

}  // namespace
}  // namespace vm::ui
