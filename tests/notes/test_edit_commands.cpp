#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notes/edit_commands.h"
#include "notes/note_rig.h"

namespace vm {
namespace {

using test::EditRig;

// The formatted text is written to the note's file at once.
TEST(EditCommands, EmphasisWrapsTheSelectionWithOneBlankAroundAndSaves) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "a word here"));
  h.select("word");
  EXPECT_TRUE(h.viewer.command(cmd::kFormatBold));
  EXPECT_EQ(h.editor.content, "a **word**  here");  // no blank in front: one is there already
  EXPECT_EQ(h.file("a.txt"), "a **word**  here");
  EXPECT_FALSE(h.viewer.modified());

  ASSERT_TRUE(h.openNew("b.txt", "xword"));
  h.select(1, 5);
  h.viewer.command(cmd::kFormatItalics);
  EXPECT_EQ(h.file("b.txt"), "x *word* ");  // after a letter a blank comes first

  ASSERT_TRUE(h.openNew("c.txt", "gone  \nnext"));
  h.select("gone  ");
  h.viewer.command(cmd::kFormatStrike);
  EXPECT_EQ(h.file("c.txt"), "~~gone~~ \nnext");  // trailing blanks dropped, none in front at the start

  ASSERT_TRUE(h.openNew("d.txt", "see Other Note now"));
  h.select("Other Note");
  h.viewer.command(cmd::kFormatPageLink);
  EXPECT_EQ(h.file("d.txt"), "see [ Other Note ]  now");
}

TEST(EditCommands, CommandsThatNeedASelectionDoNothingWithoutOne) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "text"));
  for (int id : {cmd::kFormatBold, cmd::kFormatItalics, cmd::kFormatStrike, cmd::kFormatPageLink,
                 cmd::kFormatWebLink}) {
    h.select(2, 2);
    h.viewer.command(id);
    EXPECT_EQ(h.editor.content, "text") << id;
  }
  // More than 999 bytes: nothing, and nothing said.
  ASSERT_TRUE(h.openNew("long.txt", std::string(1000, 'x')));
  h.select(0, 1000);
  h.viewer.command(cmd::kFormatBold);
  EXPECT_EQ(h.editor.content, std::string(1000, 'x'));
  h.select(0, 999);
  h.viewer.command(cmd::kFormatBold);
  EXPECT_EQ(h.editor.content, "**" + std::string(999, 'x') + "** x");
}

TEST(EditCommands, HeaderOnAnEmptySelectionTakesTheLineOrInsertsABar) {
  EditRig h;  // TextExtent: the fake editor's characters are 7 pixels wide
  ASSERT_TRUE(h.openNew("a.txt", "Title\nbody"));
  h.select(2, 2);
  h.viewer.command(cmd::kCtrlH);
  EXPECT_EQ(h.file("a.txt"), "Title\n=====\nbody");  // no extra line break after the bar

  ASSERT_TRUE(h.openNew("b.txt", "x\n\ny"));
  h.select(2, 2);
  h.viewer.command(cmd::kFormatSubheader);
  EXPECT_EQ(h.file("b.txt"), "x\n" + std::string(40, '-') + "\ny");  // HeaderLenInt

  ASSERT_TRUE(h.openNew("c.txt", "last line"));
  h.select(9, 9);
  h.viewer.command(cmd::kCtrlU);
  EXPECT_EQ(h.file("c.txt"), "last line\n---------\n");  // at the end a break follows the bar
}

TEST(EditCommands, HeaderInsideALineBreaksBeforeAndAfter) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "intro Title rest"));
  h.select("Title");
  h.viewer.command(cmd::kFormatHeader);
  EXPECT_EQ(h.file("a.txt"), "intro \nTitle\n=====\n rest");
}

TEST(EditCommands, BarLengthFollowsHeaderBarLengthType) {
  {
    EditRig h("HeaderBarLengthType=TextLength");
    ASSERT_TRUE(h.openNew("a.txt", "Title  "));
    h.select(0, 7);
    h.viewer.command(cmd::kFormatHeader);
    EXPECT_EQ(h.file("a.txt"), "Title\n=======\n");  // the selected length, blanks included
  }
  {
    EditRig h("HeaderBarLengthType=fixed\nHeaderLenInt=3");
    ASSERT_TRUE(h.openNew("a.txt", "A long title"));
    h.select(0, 12);
    h.viewer.command(cmd::kFormatSubheader);
    EXPECT_EQ(h.file("a.txt"), "A long title\n---\n");
  }
  {
    EditRig h("HeaderLenInt=999");
    ASSERT_TRUE(h.openNew("a.txt", "\n"));
    h.viewer.command(cmd::kFormatHeader);
    EXPECT_EQ(h.editor.content, std::string(260, '=') + "\n");  // every bar stops at 260
  }
  {
    EditRig h;  // a text that cannot be measured gets no bar
    h.editor.charWidth = 0;
    ASSERT_TRUE(h.openNew("a.txt", "Title"));
    h.select(0, 5);
    h.viewer.command(cmd::kFormatHeader);
    EXPECT_EQ(h.file("a.txt"), "Title\n\n");
  }
}

TEST(EditCommands, TextExtentBarIsAsWideAsTheTextInTheEditorsFont) {
  BarOptions bar;
  // A measure where "W" is wide and "=" narrow.
  auto measure = [](const std::string& t) {
    int w = 0;
    for (char c : t) w += c == 'W' ? 12 : c == '=' ? 5 : 6;
    return w;
  };
  EXPECT_EQ(headerBar('=', "WW", 2, bar, measure), "=====");  // 24 pixels: five bars of 5
  EXPECT_EQ(headerBar('=', "ii", 2, bar, measure), "===");    // 12 pixels
  EXPECT_EQ(headerBar('=', std::string(400, 'W'), 400, bar, measure).size(), 260u);
}

TEST(EditCommands, RuleReplacesTheSelectionOrGoesInAtTheCaret) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "one\ntwo"));
  h.select(4, 4);
  h.viewer.command(cmd::kCtrlL);
  EXPECT_EQ(h.file("a.txt"), "one\n* * *\ntwo");
  h.select("two");
  h.viewer.command(cmd::kFormatRule);
  EXPECT_EQ(h.file("a.txt"), "one\n* * *\n* * *\n");
}

TEST(EditCommands, WebLinkTakesTheAddressFromTheClipboard) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "read the docs today"));
  h.clipboard.textContent = "https://example.org/docs\r\n";
  h.select("the docs");
  h.viewer.command(cmd::kFormatWebLink);
  EXPECT_EQ(h.file("a.txt"), "read [ the docs ](https://example.org/docs)  today");

  h.clipboard.textContent.reset();
  h.select("today");
  h.viewer.command(cmd::kFormatWebLink);
  EXPECT_EQ(h.message(), "No text on clipboard");
  EXPECT_EQ(h.file("a.txt"), "read [ the docs ](https://example.org/docs)  today");
}

TEST(EditCommands, UnsavedTextIsSavedBeforeFormatting) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "start"));
  h.type(" more");
  EXPECT_TRUE(h.viewer.modified());
  h.select("more");
  h.viewer.command(cmd::kFormatBold);
  EXPECT_EQ(h.file("a.txt"), "start **more** ");
  EXPECT_FALSE(h.viewer.modified());
}

TEST(EditCommands, ReadOnlyNoteIsNotFormatted) {
  EditRig h;
  ASSERT_TRUE(h.openNew("nul.txt", std::string("abc\0def", 7)));
  ASSERT_EQ(h.viewer.lock(), NoteLock::NulByte);
  h.select(0, 3);
  h.viewer.command(cmd::kFormatBold);
  h.viewer.command(cmd::kNotePasteText);
  EXPECT_EQ(h.file("nul.txt"), std::string("abc\0def", 7));
  EXPECT_NE(h.message().find("Read-only"), std::string::npos);
}

TEST(EditCommands, PasteTextUsesTheEditorsLineEnds) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "ab"));
  h.viewer.command(cmd::kNotePasteText);
  EXPECT_EQ(h.message(), "No text on clipboard");
  EXPECT_EQ(h.editor.content, "ab");

  h.clipboard.textContent = "x\r\ny\rz\n";
  h.select(1, 1);
  h.viewer.command(cmd::kNotePasteText);
  EXPECT_EQ(h.editor.content, "ax\ny\nz\nb");
  EXPECT_EQ(h.file("a.txt"), "ax\ny\nz\nb");  // saved after pasting
}

TEST(EditCommands, ContextMenuOffersWhatTheStateAllows) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "\nsecond line"));
  h.viewer.command(cmd::kNoteContextMenu);
  ASSERT_EQ(h.editor.menus.size(), 1u);
  const std::vector<PopupItem>& items = h.editor.menus.back();
  std::vector<int> ids;
  for (const PopupItem& i : items) ids.push_back(i.id);
  EXPECT_EQ(ids, (std::vector<int>{199, 0, 768, 769, 33794, 33795, 177, 33796, 0, 29698, 0, 29703, 29697, 29702, 0,
                                   29699, 29700, 29704, 0, 29701, 0, 40300}));
  EXPECT_TRUE(h.editor.item(cmd::kNoteUndo)->enabled);
  for (int id : {cmd::kNoteCut, cmd::kNoteCopy, cmd::kNoteLaunch, cmd::kFormatBold, cmd::kFormatWebLink,
                 cmd::kNotePasteText, cmd::kNotePasteImage, cmd::kNoteSelectAll})
    EXPECT_FALSE(h.editor.item(id)->enabled) << id;
  EXPECT_EQ(h.editor.item(cmd::kNotePasteImage)->text, "    Paste Image  ");
  EXPECT_TRUE(h.editor.item(cmd::kFormatHeader)->enabled);
  EXPECT_EQ(h.editor.item(cmd::kFormatStrike)->text, "    Strike out selection\t   ~~ipsum~~  ");

  h.editor.content = "first\nsecond";
  h.clipboard.textContent = "https://example.org";
  h.clipboard.setImage("PNGDATA");
  h.select("first");
  h.viewer.command(cmd::kNoteContextMenu);
  for (int id : {cmd::kNoteCut, cmd::kNoteCopy, cmd::kNoteLaunch, cmd::kFormatBold, cmd::kFormatWebLink,
                 cmd::kNotePasteText, cmd::kNotePasteImage, cmd::kNoteSelectAll})
    EXPECT_TRUE(h.editor.item(id)->enabled) << id;
  EXPECT_EQ(h.editor.item(cmd::kNotePasteImage)->text, "    Paste Image ");
}

TEST(EditCommands, MenuChoiceRunsTheCommand) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "cut me please"));
  h.select("me ");
  h.editor.choose = cmd::kNoteCut;
  h.viewer.command(cmd::kNoteContextMenu);
  EXPECT_EQ(h.editor.content, "cut please");
  EXPECT_EQ(h.clipboard.text(), "me ");
  EXPECT_TRUE(h.viewer.modified());

  h.editor.choose = cmd::kNoteUndo;
  h.viewer.command(cmd::kNoteContextMenu);
  EXPECT_EQ(h.editor.content, "cut me please");

  h.editor.choose = cmd::kNoteSelectAll;
  h.viewer.command(cmd::kNoteContextMenu);
  h.editor.choose = cmd::kFormatBold;
  h.viewer.command(cmd::kNoteContextMenu);
  EXPECT_EQ(h.file("a.txt"), "**cut me please** ");

  h.select("cut");
  h.editor.choose = cmd::kNoteLaunch;
  h.viewer.command(cmd::kNoteContextMenu);
  EXPECT_EQ(h.desktop.opened, std::vector<std::string>{"cut"});

  h.editor.choose = 0;  // dismissed
  h.viewer.command(cmd::kNoteContextMenu);
  EXPECT_EQ(h.file("a.txt"), "**cut me please** ");
}

TEST(EditCommands, AcceleratorsReachHeaderSubheaderAndRule) {
  std::vector<std::pair<std::string, int>> keys;
  for (const NoteAccelerator& a : noteAccelerators()) keys.emplace_back(a.keys, a.id);
  EXPECT_EQ(keys, (std::vector<std::pair<std::string, int>>{{"Ctrl+H", 40055}, {"Ctrl+U", 40056}, {"Ctrl+L", 40031}}));
}

}  // namespace
}  // namespace vm
