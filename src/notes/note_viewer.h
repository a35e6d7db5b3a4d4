#pragma once
// The note viewer: the open note in the note editor, its modified mark, the
// bytes it was read from, saving (by the user, the autosave timer, or on the
// way to another place), changes by other programs, the counters and the
// note's own Tools menu items.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "core/context.h"
#include "core/viewer.h"
#include "notes/highlight.h"
#include "notes/note_file.h"
#include "platform/text_search.h"

namespace vm {

// Why the open note cannot be edited; None while it can.
enum class NoteLock { None, NulByte, NotWritable, Help };

// What the note viewer asks of the rest of the program.
struct NoteHooks {
  // Lists the current files folder again in place and selects `name`
  // (empty: the item selected before).
  std::function<void(const std::string& name)> relistFiles{};
  // Our own write is no change from outside: the folder watch forgets.
  std::function<void()> forgetWatch{};
  // The editor's text, wrap or visibility changed.
  std::function<void()> changed{};
  // The editor's font or left margin changed.
  std::function<void()> lookChanged{};
  // A choice of the note's menu that is the program's, not the note's.
  std::function<void(int id)> command{};
};

// How the note editor looks: NoteFont (empty keeps the platform's font),
// NoteFontSize in pixels (0 lets the platform choose) and the left margin
// GutterWidth in pixels.
struct NoteLook {
  std::string font;
  int fontSize = 0;
  int gutter = 10;
  friend bool operator==(const NoteLook&, const NoteLook&) = default;
};

class NoteViewer : public DocumentViewer {
 public:
  NoteViewer(FeatureContext ctx, NoteHooks hooks);

  // DocumentViewer.
  bool open(bool focus) override;  // reads the selected file into the editor
  bool leave() override;
  void close() override;
  void save() override;
  void autosave() override;
  bool modified() const override { return modified_; }
  void insertMenuItems() override;
  void removeMenuItems() override;
  bool command(int id) override;
  bool find(const std::string& term, bool fromStart) override;

  bool loaded() const { return loaded_; }
  NoteLock lock() const { return lock_; }
  // The open note's file went away while it had unsaved changes.
  bool gone() const { return gone_; }
  bool wordWrap() const;
  const NoteLook& look() const { return look_; }
  // Reads the editor's look from the settings; values the editor cannot
  // use fall back to the platform's font and the default margin.
  void readLook();

  // Why a save runs: the user asked, the autosave timer, or the user is
  // moving away from the note (a failed save then keeps the text in rescued/).
  enum class SaveCause { User, Autosave, Leave };
  bool saveFor(SaveCause cause);
  // Empties the editor's state; `full` also disables the editor.
  void unload(bool full);
  // Unsaved text goes to a new file in folder (rescued/ in the home folder
  // when empty); returns the message it showed, empty when nothing was unsaved.
  std::string rescueUnsaved(const std::filesystem::path& folder = {});
  // Names a new note from the Multibar; false (with a message) when the
  // name cannot be used.
  bool resolveName();
  // The folder watch tick: reload, or note a change by another program.
  void checkOnDisk();

  // Inputs from the editor.
  void edited();
  void keyReleased() { updateCounters(false); }
  void updateCounters(bool force);
  void dropText(const std::string& text);
  void pasteDate();
  // The editor's selection, empty when no note is shown.
  std::string selection();
  // Editing commands of the note's context menu and accelerators.
  void showContextMenu();
  void runMenuChoice(int id);
  void formatSelection(int id);
  void pasteText();
  void pasteImage();
  void showKeywords();
  // Puts the link to picture `name` (in the "imgs" folder) in place of the
  // selection, saving unsaved text first; the link itself stays unsaved.
  void insertImageLink(const std::string& name);
  // True when a note is open and may be changed; says why not otherwise.
  bool editable();

  // A message the steps of the same move must not clear, and whether the
  // status line still shows it.
  void sayKept(const std::string& text);
  bool messageKept() const;

 private:
  void forget();
  std::string rescue(const std::string& text, const std::filesystem::path& where = {});
  bool isHelpNote() const;
  void toggleSetting(int id);
  void mailSelection(bool asBody);
  void launchAssociated();
  void showCount(bool words);
  void say(const std::string& text) { ctx_.say(text); }
  TextEditor& editor() { return *ctx_.ports.editor; }
  NoteSyntax syntaxFor(const std::string& fileName) const;

  FeatureContext ctx_;
  NoteHooks hooks_;
  NoteLook look_;
  bool loaded_ = false;
  bool modified_ = false;
  std::optional<DiskStamp> stamp_;
  NoteBaseline baseline_;  // the note's bytes as last read or written, and their text
  std::optional<std::pair<std::int64_t, std::uint64_t>> mtime_;  // last-write time and size seen with stamp_
  NoteLock lock_ = NoteLock::None;
  bool gone_ = false;
  std::string keptMessage_;
  std::optional<std::size_t> savedWords_;  // words of the saved file, counted when first needed
  std::int64_t lastWordCountNs_ = 0;
  DocumentFind find_;  // the document search's remembered term and position
};

}  // namespace vm
