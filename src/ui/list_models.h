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

#include "browse/list_model.h"

class QListView;

namespace vm::ui {

class CoreListModel : public QAbstractListModel, public ListModel::Observer {
  Q_OBJECT
 public:
  enum class Kind { Folders, Files };

  CoreListModel(ListModel& list, Kind kind, QObject* parent = nullptr);
  ~CoreListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

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

  // Shows the core's selection in the view, without reporting it back.
  void syncFromCore();

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

}  // namespace vm::ui
