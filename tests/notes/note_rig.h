#pragma once
// The note viewer on its own for the editing-command suites: one root
// "notes" in a temporary folder, the shared parts a feature gets, fake
// editor, clipboard and dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/commands.h"
#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "notes/note_viewer.h"
#include "platform/fs.h"

namespace vm::test {

struct EditRig : FeatureParts {
  std::string root = dir.mkdir("notes").string();
  FakeClock clock;
  FakeTextEditor editor;
  FakeLineEditor multibar;
  FakeDesktop desktop;
  FakeDialogs dialogs;
  FakeClipboard clipboard;
  NoteViewer viewer{context(), NoteHooks{}};

  explicit EditRig(const std::string& general = "") : FeatureParts(general) {
    ports.clock = &clock;
    ports.editor = &editor;
    ports.multibar = &multibar;
    ports.desktop = &desktop;
    ports.dialogs = &dialogs;
    ports.clipboard = &clipboard;
    editor.clipboard = &clipboard;
    // As the shell does, a replaced selection counts as the user's edit.
    editor.onReplace = [this] { viewer.edited(); };
    status.configure(settings.flag(setting::UseStatBar), settings.flag(setting::NoteShowCharCount),
                     settings.flag(setting::NoteShowWordCount), [] { return true; });
    roots.add(root, root, "Notes", ".txt", ".txt", [](const std::string&) {});
    menus.menus().push_back(Menu{"&File", {}});
    menus.menus().push_back(Menu{"&Tools", {MenuItem{cmd::kSwitchMode, " Switch to &View mode", "", false, false, true, {}}}});
  }
  // Writes the note and opens it, as a click on it in the File List does.
  bool openNew(const std::string& name, const std::string& content) {
    dir.write("notes/" + name, content);
    roots.current().selectedFile = name;
    return viewer.open(false);
  }
  void select(std::size_t a, std::size_t b) {
    editor.selStart = a;
    editor.selEnd = b;
  }
  // Selects the first occurrence of text in the editor.
  void select(const std::string& text) {
    std::size_t at = editor.content.find(text);
    ASSERT_NE(at, std::string::npos) << text;
    select(at, at + text.size());
  }
  void type(const std::string& text) {
    editor.content += text;
    viewer.edited();
  }
  std::string file(const std::string& name) const { return readWholeFile(root + "/" + name).value_or("<missing>"); }
  std::string message() const { return status.message(); }
  std::string selected() const { return editor.content.substr(editor.selStart, editor.selEnd - editor.selStart); }
};

}  // namespace vm::test
