#pragma once
// Qt item models over the core's Folder List and File List, and the binding
// of a QListView to one of them: the view shows the core's items and
// selection; what the user selects, clicks or activates is reported back
// through callbacks and never kept in the view.
#include <QAbstractListModel>
#include <QIcon>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "browse/list_model.h"

class QListView;
class QMimeData;

namespace vm::ui {

class CoreListModel : public QAbstractListModel, public ListModel::Observer {
  Q_OBJECT
 public:
  enum class Kind { Folders, Files };

  CoreListModel(ListModel& list, Kind kind, QObject* parent = nullptr);
  ~CoreListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Only the row whose label edit was asked for is editable, and only until
  // that edit ends: the view starts no edits by itself.
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The end of a label edit: reports the item's name before the edit and
  // the typed text through onLabelCommitted. The core's list is not changed
  // here; the App decides what the item shows afterwards.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // Makes row editable and remembers its name; false when there is no such row.
  bool beginEdit(int row);
  void endEdit();
  int editRow() const { return editRow_; }
  std::function<void(const std::string& oldText, const std::string& newText)> onLabelCommitted;

  ListModel& list() { return list_; }
  Kind kind() const { return kind_; }
  // True while the core replaces the items: selection signals the views emit
  // meanwhile are not user input.
  bool resetting() const { return resetting_; }

  // Picture for an icon number of this list.
  QIcon iconFor(int icon) const;

 signals:
  // The core's selection may differ from the views' (after a reset too).
  void coreSelectionChanged();

 private:
  void listReset() override;
  void selectionChanged() override;

  ListModel& list_;
  Kind kind_;
  bool resetting_ = false;
  int editRow_ = -1;
  std::string editOld_;
  mutable std::map<int, QIcon> icons_;
};

class ListViewBinding : public QObject {
  Q_OBJECT
 public:
  // Sets model on view (single selection) and keeps the two in step.
  ListViewBinding(QListView* view, CoreListModel* model, QObject* parent = nullptr);

  // The user moved the selection to row (mouse or keyboard).
  std::function<void(int)> onSelected;
  // A mouse click on a row that was already selected (the press did not
  // move the selection). Unset: such clicks are not reported.
  std::function<void(int)> onClickedAgain;
  // Double click or Enter on a row.
  std::function<void(int)> onActivated;

  // The label edit the user ended with Enter (or by leaving the editor);
  // reported from the event loop, once the view has closed its editor.
  // Escape reports nothing.
  std::function<void(const std::string& oldText, const std::string& newText)> onLabelEdited;

  // Shows the core's selection in the view, without reporting it back.
  void syncFromCore();
  // Highlights row in the view only (-1: the core's selection again),
  // without reporting it back.
  void showRow(int row);
  // Starts the in-place edit of row's label; false when it could not start.
  bool editLabel(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void userSelectionChanged();
  void clicked(const QModelIndex& index);

  QPointer<QListView> view_;
  CoreListModel* model_;
  bool syncing_ = false;
  bool pressMovedSelection_ = false;
};

// Dragging a File List item. Without Ctrl the mouse stays with the File
// List: over the Folder List the row under the mouse is highlighted and the
// cursor tells whether the spot is a folder item; the release there reports
// the row (-1 for empty space), a release anywhere else does nothing. With
// Ctrl the file leaves the program as a copy: a drag offering it as a
// file:// URL (text/uri-list).
class FileListDrag : public QObject {
  Q_OBJECT
 public:
  FileListDrag(QListView* files, CoreListModel* fileModel, QListView* folders, ListViewBinding* folderBinding,
               QObject* parent = nullptr);
  ~FileListDrag() override;

  // A file released over the Folder List; reported from the event loop,
  // after the views have seen the release.
  std::function<void(const std::string& name, int folderRow)> onDropped;
  // The folder the listed files are in.
  std::function<std::string()> filesFolder;

  // The drag data for a file: its file:// URL, the bytes of the path kept.
  static QMimeData* fileMimeData(const std::string& folder, const std::string& name);

  // True between the start of a move and its release.
  bool moving() const { return moving_; }
  // The Folder List row under a point on the screen: -1 over empty space,
  // -2 outside the Folder List.
  int folderRowAt(const QPoint& global) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void track(const QPoint& global);
  void finish(const QPoint& global);
  void endMove();
  void dragOut();

  QPointer<QListView> files_;
  CoreListModel* fileModel_;
  QPointer<QListView> folders_;
  ListViewBinding* folderBinding_;
  QPoint pressAt_;
  std::string name_;  // the pressed item's name, empty when no item was pressed
  int icon_ = 0;
  bool moving_ = false;
  bool cursorSet_ = false;
};

}  // namespace vm::ui
