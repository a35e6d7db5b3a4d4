#include <gtest/gtest.h>

#include <string>

#include "core/context.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "notes/note_viewer.h"
#include "platform/fs.h"

namespace vm {
namespace {

using test::FakeClock;
using test::FakeDesktop;
using test::FakeDialogs;
using test::FakeLineEditor;
using test::FakeTextEditor;
using test::FeatureParts;

// The note viewer with one root "notes", a fake editor and Multibar.
struct FindRig : FeatureParts {
  std::string root = dir.mkdir("notes").string();
  FakeClock clock;
  FakeTextEditor editor;
  FakeLineEditor multibar;
  FakeDesktop desktop;
  FakeDialogs dialogs;
  NoteViewer viewer{context(), NoteHooks{[](const std::string&) {}, [] {}, nullptr}};

  FindRig() {
    ports.clock = &clock;
    ports.editor = &editor;
    ports.multibar = &multibar;
    ports.desktop = &desktop;
    ports.dialogs = &dialogs;
    roots.add(root, root, "Notes", ".txt", ".txt", [](const std::string&) {});
  }
  bool openNew(const std::string& name, const std::string& content) {
    dir.write("notes/" + name, content);
    roots.current().selectedFile = name;
    return viewer.open(false);
  }
  std::string selected() const { return editor.content.substr(editor.selStart, editor.selEnd - editor.selStart); }
  std::string file(const std::string& name) const { return readWholeFile(root + "/" + name).value_or("<missing>"); }
};

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
