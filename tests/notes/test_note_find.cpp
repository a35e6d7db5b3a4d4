#include <gtest/gtest.h>

#include <string>

#include "core/context.h"
#include "fakes/fake_ports.h"
#include "notes/note_rig.h"
#include "notes/note_viewer.h"
#include "platform/fs.h"

namespace vm {
namespace {

// The note viewer with one root "notes", a fake editor and Multibar.
using FindRig = test::EditRig;

TEST(NoteFind, SelectsEachOccurrenceThenWrapsAfterOneMiss) {
  FindRig r;
  ASSERT_TRUE(r.openNew("n.txt", "Über uns\nüber alles\n"));
  const int focusBefore = r.editor.focusCount;
  EXPECT_TRUE(r.viewer.find("ÜBER", true));
  EXPECT_EQ(r.editor.selStart, 0u);
  EXPECT_EQ(r.selected(), "Über");
  EXPECT_GT(r.editor.focusCount, focusBefore);
  EXPECT_TRUE(r.viewer.find("", false));  // the remembered term
  EXPECT_EQ(r.editor.selStart, 10u);
  EXPECT_EQ(r.selected(), "über");
  EXPECT_FALSE(r.viewer.find("", false));
  EXPECT_TRUE(r.viewer.find("", false));
  EXPECT_EQ(r.editor.selStart, 0u);
  EXPECT_FALSE(r.viewer.find("nowhere", true));
}

// Editing the note and searching again saves it and starts from its top.
TEST(NoteFind, UnsavedEditsAreSavedAndTheSearchStartsOver) {
  FindRig r;
  ASSERT_TRUE(r.openNew("n.txt", "mark one, mark two"));
  EXPECT_TRUE(r.viewer.find("mark", true));
  EXPECT_TRUE(r.viewer.find("mark", false));
  EXPECT_EQ(r.editor.selStart, 10u);
  r.editor.content = "mark zero, " + r.editor.content;
  r.viewer.edited();
  ASSERT_TRUE(r.viewer.modified());
  EXPECT_TRUE(r.viewer.find("mark", false));
  EXPECT_FALSE(r.viewer.modified());
  EXPECT_EQ(r.file("n.txt"), "mark zero, mark one, mark two");
  EXPECT_EQ(r.editor.selStart, 0u);
}

TEST(NoteFind, NothingLoadedFindsNothing) {
  FindRig r;
  EXPECT_FALSE(r.viewer.find("x", true));
}

}  // namespace
}  // namespace vm
