#include "ui/list_models.h"

#include <QApplication>
#include <QEvent>
#include <QListView>
#include <QStyle>

#include "browse/file_kinds.h"
#include "platform/text.h"

namespace vm::ui {

CoreListModel::CoreListModel(ListModel& list, Kind kind, QObject* parent)
    : QAbstractListModel(parent), list_(list), kind_(kind) {
  list_.addObserver(this);
}

CoreListModel::~CoreListModel() { list_.removeObserver(this); }

int CoreListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.size(); }

QVariant CoreListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= list_.size()) return {};
  const ListItem& item = list_.at(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromUtf8(displayUtf8(item.name));
    case Qt::DecorationRole:
      return iconFor(item.icon);
    case Qt::ToolTipRole:
      if (kind_ == Kind::Files && !item.modified.empty()) return QString::fromUtf8(item.modified);
      return {};
    case Qt::ForegroundRole:  // a cut file waiting for Paste is dimmed
      if (item.cut) return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    default:
      return {};
  }
}

QIcon CoreListModel::iconFor(int icon) const {
  auto it = icons_.find(icon);
  if (it != icons_.end()) return it->second;
  QStyle::StandardPixmap sp = QStyle::SP_FileIcon;
  if (kind_ == Kind::Folders) {
    switch (icon) {
      case 0: sp = QStyle::SP_ArrowUp; break;
      case 2: sp = QStyle::SP_DirOpenIcon; break;
      default: sp = QStyle::SP_DirClosedIcon; break;
    }
  } else {
    switch (icon) {
      case kKindText: sp = QStyle::SP_FileDialogContentsView; break;
      case kKindImage: sp = QStyle::SP_DesktopIcon; break;
      case kKindWeb: sp = QStyle::SP_DriveNetIcon; break;
      case kKindArchive: sp = QStyle::SP_DriveFDIcon; break;
      case kKindSheet: sp = QStyle::SP_FileDialogDetailedView; break;
      default: sp = QStyle::SP_FileIcon; break;
    }
  }
  QIcon result = QApplication::style()->standardIcon(sp);
  icons_.emplace(icon, result);
  return result;
}

void CoreListModel::listReset() {
  resetting_ = true;
  beginResetModel();
  endResetModel();
  resetting_ = false;
  emit coreSelectionChanged();
}

void CoreListModel::selectionChanged() { emit coreSelectionChanged(); }

ListViewBinding::ListViewBinding(QListView* view, CoreListModel* model, QObject* parent)
    : QObject(parent), view_(view), model_(model) {
  view->setModel(model);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setUniformItemSizes(true);
  view->setIconSize(QSize(16, 16));
  view->viewport()->installEventFilter(this);
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ListViewBinding::userSelectionChanged);
  connect(view, &QAbstractItemView::clicked, this, &ListViewBinding::clicked);
  connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    if (index.isValid() && onActivated) onActivated(index.row());
  });
  connect(model, &CoreListModel::coreSelectionChanged, this, &ListViewBinding::syncFromCore);
  syncFromCore();
}

void ListViewBinding::syncFromCore() {
  if (!view_) return;
  syncing_ = true;
  QItemSelectionModel* sel = view_->selectionModel();
  const int row = model_->list().selected();
  if (row < 0) {
    sel->clearSelection();
    sel->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  } else {
    const QModelIndex index = model_->index(row);
    if (sel->currentIndex() != index || !sel->isSelected(index))
      sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(index);
  }
  syncing_ = false;
}

void ListViewBinding::userSelectionChanged() {
  if (syncing_ || model_->resetting() || !view_) return;
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) {
    // Single selection has no way to choose "nothing": keep the core's choice.
    syncFromCore();
    return;
  }
  const int row = rows.first().row();
  if (row == model_->list().selected()) return;
  pressMovedSelection_ = true;
  if (onSelected) onSelected(row);
  // The core decides what stays selected.
  syncFromCore();
}

void ListViewBinding::clicked(const QModelIndex& index) {
  const bool moved = pressMovedSelection_;
  pressMovedSelection_ = false;
  if (moved || !index.isValid() || !onClickedAgain) return;
  onClickedAgain(index.row());
}

bool ListViewBinding::eventFilter(QObject* watched, QEvent* event) {
  if (view_ && watched == view_->viewport() && event->type() == QEvent::MouseButtonPress)
    pressMovedSelection_ = false;
  return QObject::eventFilter(watched, event);
}

}  // namespace vm::ui
