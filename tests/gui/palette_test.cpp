// Light and dark palettes: which palette counts as dark, and the sheet's
// grid, cell cursor and the lists' cut mark staying visible on both.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <memory>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

#include "../sheet/sheet_test_util.h"
#include "gui_test_util.h"
#include "ui/note_highlighter.h"
#include "ui/palette.h"
#include "ui/qt_sheet_view.h"

namespace vm::ui {
namespace {

int grayDistance(QColor a, QColor b) { return std::abs(qGray(a.rgb()) - qGray(b.rgb())); }

QPalette lightPalette() {
  std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
  return fusion->standardPalette();
}

TEST(Palette, DarkIsLightTextOnADarkWindow) {
  EXPECT_FALSE(isDarkPalette(lightPalette()));
  EXPECT_TRUE(isDarkPalette(darkPalette()));
  // A theme's own dark palette: grey text on a mid-grey window still counts.
  QPalette grey = lightPalette();
  grey.setColor(QPalette::Window, QColor(90, 90, 90));
  grey.setColor(QPalette::WindowText, QColor(200, 200, 200));
  EXPECT_TRUE(isDarkPalette(grey));
  grey.setColor(QPalette::WindowText, QColor(20, 20, 20));
  EXPECT_FALSE(isDarkPalette(grey));
}

TEST(Palette, GridAndDimmedTextShowOnBothPages) {
  for (const QPalette& p : {lightPalette(), darkPalette()}) {
    const QColor base = p.color(QPalette::Base), text = p.color(QPalette::Text);
    const QColor grid = gridColour(p);
    EXPECT_GE(grayDistance(grid, base), 40) << grid.name().toStdString();
    EXPECT_GE(grayDistance(grid, text), 80) << grid.name().toStdString();
    // A cut file is dimmed: apart from the page and from plain text.
    const QColor cut = p.color(QPalette::Disabled, QPalette::Text);
    EXPECT_GE(grayDistance(cut, base), 60) << cut.name().toStdString();
    EXPECT_GE(grayDistance(cut, text), 40) << cut.name().toStdString();
  }
  // The dark palette's own roles for the cursor and the cell editor's frame.
  const QPalette dark = darkPalette();
  EXPECT_GE(grayDistance(dark.color(QPalette::Text), dark.color(QPalette::Base)), 150);
  EXPECT_GE(grayDistance(dark.color(QPalette::Highlight), dark.color(QPalette::Base)), 40);
}

TEST(Palette, NoteHighlightingReadsOnBothPages) {
  NoteHighlighter h(nullptr);
  for (bool dark : {false, true}) {
    h.setDark(dark);
    const QColor page = (dark ? darkPalette() : lightPalette()).color(QPalette::Base);
    for (HighlightKind kind : {HighlightKind::Heading, HighlightKind::Link, HighlightKind::PageLink})
      EXPECT_GE(grayDistance(h.formatOf(kind).foreground().color(), page), 90) << dark << int(kind);
    const QTextCharFormat& code = h.formatOf(HighlightKind::Code);
    EXPECT_LE(grayDistance(code.background().color(), page), 40) << dark;
    EXPECT_GE(grayDistance(code.foreground().color(), code.background().color()), 90) << dark;
    EXPECT_GE(grayDistance(h.formatOf(HighlightKind::Rule).foreground().color(), page), 50) << dark;
  }
}

// The sheet drawn in the dark palette: its grid lines and the dotted cursor
// are there to see.
TEST(Palette, SheetGridAndCursorShowOnADarkPage) {
  test::TempDir dir;
  SheetOptions o = test::optionsIn(dir);
  o.columnWidth = 80;
  Sheet sheet;
  ASSERT_TRUE(test::openText(sheet, dir, "t.csv", "a,b,c\nd,e,f\ng,h,i\n", o));
  QMainWindow window;
  window.setPalette(darkPalette());
  auto* host = new QWidget(&window);
  window.setCentralWidget(host);
  QtSheetView view;
  view.attach(host);
  window.resize(420, 240);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  view.showSheet(&sheet, 40);
  view.setCursor(1, 2, true);
  QTest::qWait(20);
  QTableView* table = view.table();
  const QImage shot = table->viewport()->grab().toImage();
  const qreal scale = shot.devicePixelRatio();
  const QColor base = darkPalette().color(QPalette::Base);

  // A vertical grid line: the last pixel column of cell (0, 1).
  const QRect c = table->visualRect(table->model()->index(0, 1));
  const QColor line = shot.pixelColor(int((c.right() + 1) * scale), int(c.center().y() * scale));
  const QColor inside = shot.pixelColor(int((c.left() + 2) * scale), int((c.top() + 2) * scale));
  EXPECT_LE(grayDistance(inside, base), 8) << inside.name().toStdString();
  EXPECT_GE(grayDistance(line, base), 30) << line.name().toStdString();

  // The cursor's dotted top edge in the text colour.
  const QRect r = view.cursorRect();
  ASSERT_FALSE(r.isEmpty());
  int lit = 0;
  for (int x = int(r.left() * scale); x <= int(r.right() * scale); ++x)
    lit += qGray(shot.pixel(x, int(r.top() * scale))) > 150;
  EXPECT_GT(lit, int(r.width() * scale) / 3);
  view.showSheet(nullptr, 0);
}

// The colour the highlighter gave the first line of the note in the editor.
QColor firstLineColour(QPlainTextEdit* editor) {
  const QTextBlock first = editor->document()->firstBlock();
  const auto formats = first.layout()->formats();
  return formats.isEmpty() ? QColor() : formats.first().format.foreground().color();
}

// A highlighted note while the window turns dark and light again: the
// colours follow, and recolouring is no edit of the note.
using PaletteShell = test::ShellTest;

TEST_F(PaletteShell, HighlightedNoteFollowsThePalette) {
  struct Restore {
    QPalette palette = QApplication::palette();
    ~Restore() { QApplication::setPalette(palette); }
  } restore;
  h.dir.write("docs/Plan.md", "# Plan\n\nsome text\n");
  start();
  app->fileClicked(app->fileList().find("Plan.md"));
  QPlainTextEdit* editor = win->noteEditor();
  ASSERT_EQ(editor->toPlainText(), "# Plan\n\nsome text\n");
  const QColor light = firstLineColour(editor);
  ASSERT_TRUE(light.isValid());
  EXPECT_FALSE(isDarkPalette(QApplication::palette()));
  EXPECT_GE(grayDistance(light, editor->palette().color(QPalette::Base)), 90);

  QApplication::setPalette(darkPalette());
  QCoreApplication::processEvents();
  const QColor dark = firstLineColour(editor);
  EXPECT_NE(dark, light);
  EXPECT_GE(grayDistance(dark, darkPalette().color(QPalette::Base)), 90) << dark.name().toStdString();
  EXPECT_FALSE(app->noteModified());

  QApplication::setPalette(restore.palette);
  QCoreApplication::processEvents();
  EXPECT_EQ(firstLineColour(editor), light);
  EXPECT_FALSE(app->noteModified());
}

}  // namespace
}  // namespace vm::ui
