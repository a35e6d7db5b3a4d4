#pragma once
// The SheetView port: the spreadsheet's table in the viewer pane, its cell
// cursor, the floating cell editor and the table's pop-up menu. The table
// reads the open Sheet in place through a SheetTableModel; it keeps no
// state of its own beyond what it draws. What the user does goes out
// through the on... callbacks, set once the App exists.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "platform/ports.h"

class QLineEdit;
class QTableView;
class QWidget;

namespace vm {
enum class SheetKey;  // core/app.h
}

namespace vm::ui {

class SheetTable;
class CellEdit;
class SheetTableModel;

class QtSheetView : public QObject, public SheetView {
  Q_OBJECT
 public:
  // Room kept free right of the cell cursor and the cell editor, so that
  // neither hides under the vertical scroll bar's edge.
  static constexpr int kRightGap = 18;

  explicit QtSheetView(QObject* parent = nullptr);
  ~QtSheetView() override;

  // Creates the table inside host (the main window's sheet host).
  void attach(QWidget* host);

  // Rows are view rows (-1: no row, or a group's header); columns are
  // table columns (0 "tn", -1 right of the last column).
  std::function<void(int viewRow, int column)> onCellClicked;
  std::function<void(int viewRow, int column)> onCellDoubleClicked;
  std::function<void(int viewRow, int column)> onContextMenu;
  // A key for the cell cursor, with the rows a page holds (for PageUp and PageDown).
  std::function<void(SheetKey, int pageRows)> onKey;
  std::function<void()> onEditorEnter;
  std::function<void()> onEditorEscape;
  std::function<void(int column)> onHeaderClicked;
  std::function<void(int group)> onGroupToggled;
  // The user scrolled the table (the view's own scrolling to the cursor
  // does not count).
  std::function<void()> onScrolled;
  // The user dragged a column's edge.
  std::function<void(int column, int width)> onColumnResized;

  void showSheet(Sheet* sheet, int numberColumnWidth) override;
  void setVisible(bool on) override;
  void setSortable(bool on) override;
  void setCursor(int viewRow, int column, bool visible) override;
  void focus() override;
  void openEditor(int viewRow, int column, const std::string& text, bool caretToEnd,
                  const std::string& tip) override;
  void closeEditor() override;
  bool editorOpen() override;
  std::string editorText() override;
  void editorInsert(const std::string& text) override;
  int popupMenu(const std::vector<PopupItem>& items) override;

  // For the window and the tests.
  QTableView* table() const;
  QLineEdit* editor() const;
  Sheet* sheet() const { return sheet_; }
  // The rectangle the cursor is drawn as, in viewport coordinates; empty
  // when no cursor shows.
  QRect cursorRect() const;
  // Where the next pop-up menu opens (global coordinates).
  QPoint menuPosition() const;

 private:
  friend class SheetTable;
  int displayRowOfCursor() const;
  void applyHeader();
  void scrollToCell(int displayRow, int column);
  void placeEditor();
  void reportScroll();
  void tableContextMenu(const QPoint& pos, const QPoint& globalPos, bool byMouse);

  QPointer<QWidget> host_;
  QPointer<SheetTable> table_;
  QPointer<CellEdit> editor_;
  SheetTableModel* model_ = nullptr;
  Sheet* sheet_ = nullptr;
  int numberWidth_ = 30;
  bool sortable_ = false;
  int cursorRow_ = -1;  // view row
  int cursorCol_ = 0;
  bool cursorShown_ = false;
  int scrolledRow_ = -1;  // the cell last scrolled into view (view row, column)
  int scrolledCol_ = -1;
  bool editorOpen_ = false;
  int editRow_ = -1;  // view row and column under the editor
  int editCol_ = 0;
  int ownScroll_ = 0;     // > 0 while the view scrolls by itself
  int ownResize_ = 0;     // > 0 while the view sets column widths
  bool hasMenuPoint_ = false;
  QPoint menuPoint_;  // global position of the last right click
};

}  // namespace vm::ui
