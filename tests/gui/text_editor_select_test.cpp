// The note editor port selects by byte offsets of its UTF-8 text.
#include <gtest/gtest.h>

#include <QTextCursor>

#include "ui/main_window.h"
#include "ui/qt_ports.h"

namespace vm::ui {
namespace {

TEST(QtTextEditor, SelectsByteRangesOfItsText) {
  NoteEdit edit;
  QtTextEditor port;
  port.attach(&edit);
  int edits = 0;
  port.onEdited = [&] { ++edits; };
  // "añ" 3 bytes, LF, an emoji (4 bytes, two UTF-16 units), " ok"
  port.setText("a\xc3\xb1\n\xf0\x9f\x98\x80 ok");
  port.select(4, 8);
  EXPECT_EQ(edit.textCursor().selectedText(), QString::fromUtf8("\xf0\x9f\x98\x80"));
  EXPECT_EQ(std::make_pair(port.selectionStart(), port.selectionEnd()), std::make_pair(4ul, 8ul));
  port.select(9, 11);
  EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("ok"));
  port.select(0, 99);  // past the end: up to the end
  EXPECT_EQ(port.selectionEnd(), port.text().size());
  EXPECT_EQ(edits, 0);  // selecting is no edit
}

}  // namespace
}  // namespace vm::ui
