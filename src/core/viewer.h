#pragma once
// A viewer shows the selected file of the current place in the viewer pane:
// the note editor, the web viewer and the spreadsheet. The App's open
// dispatch and its leave step speak to a viewer only through this.
#include <string>

namespace vm {

class DocumentViewer {
 public:
  virtual ~DocumentViewer() = default;
  // Shows the current place's selected file; false when it could not.
  virtual bool open(bool focus) = 0;
  // The user moves away: unsaved work is saved, or kept elsewhere. False
  // when it could be neither, so the file must stay shown.
  virtual bool leave() = 0;
  // Empties the viewer and drops its menu items.
  virtual void close() = 0;
  // The user's Save (Ctrl+S, the Save command and button).
  virtual void save() = 0;
  // The autosave timer's turn came.
  virtual void autosave() = 0;
  virtual bool modified() const = 0;
  virtual void insertMenuItems() = 0;
  virtual void removeMenuItems() = 0;
  // Runs one of the viewer's own commands; false when the id is not its.
  virtual bool command(int id) = 0;
  // Finds a term in the shown document (from its start, or after the last
  // hit); false when the term is not there or the viewer has no search.
  virtual bool find(const std::string& term, bool fromStart) = 0;
};

}  // namespace vm
