#include "ui/list_models.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDrag>
#include <QEvent>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QUrl>

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
    case Qt::ToolTipRole: {
      if (kind_ != Kind::Files) return {};
      const std::string& modified = list_.withTime(index.row()).modified;  // read on the first ask
      if (!modified.empty()) return QString::fromUtf8(modified);
      return {};
    }
    case Qt::ForegroundRole:  // a cut file waiting for Paste is dimmed
      if (item.cut) return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    default:
      return {};
  }
}

Qt::ItemFlags CoreListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractListModel::flags(index);
  if (index.isValid() && index.row() == editRow_) f |= Qt::ItemIsEditable;
  return f;
}

bool CoreListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.row() != editRow_) return false;
  const std::string oldText = editOld_;
  // Text left as it was shown keeps the name's own bytes (a name that is
  // not valid UTF-8 is shown with replacement characters).
  const std::string newText =
      value.toString() == data(index, Qt::EditRole).toString() ? oldText : value.toString().toStdString();
  endEdit();
  if (onLabelCommitted) onLabelCommitted(oldText, newText);
  return true;
}

bool CoreListModel::beginEdit(int row) {
  if (row < 0 || row >= list_.size()) return false;
  editRow_ = row;
  editOld_ = list_.at(row).name;
  return true;
}

void CoreListModel::endEdit() {
  editRow_ = -1;
  editOld_.clear();
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
  endEdit();  // the view drops its editor with the old items
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
  // Escape closes the editor without committing: the row stops being editable.
  connect(view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] { model_->endEdit(); });
  model->onLabelCommitted = [this](const std::string& oldText, const std::string& newText) {
    // The App may replace the items; let the view finish with its editor first.
    QMetaObject::invokeMethod(
        this,
        [this, oldText, newText] {
          if (onLabelEdited) onLabelEdited(oldText, newText);
        },
        Qt::QueuedConnection);
  };
  syncFromCore();
}

void ListViewBinding::showRow(int row) {
  if (!view_) return;
  if (row < 0 || row >= model_->rowCount()) {
    syncFromCore();
    return;
  }
  syncing_ = true;
  view_->selectionModel()->setCurrentIndex(model_->index(row), QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
}

bool ListViewBinding::editLabel(int row) {
  if (!view_ || !model_->beginEdit(row)) return false;
  const QModelIndex index = model_->index(row);
  view_->scrollTo(index);
  view_->setFocus(Qt::OtherFocusReason);
  view_->edit(index);
  if (!view_->indexWidget(index)) {  // the open editor of the row
    model_->endEdit();
    return false;
  }
  return true;
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

// ---- Dragging a File List item -------------------------------------------

FileListDrag::FileListDrag(QListView* files, CoreListModel* fileModel, QListView* folders,
                           ListViewBinding* folderBinding, QObject* parent)
    : QObject(parent), files_(files), fileModel_(fileModel), folders_(folders), folderBinding_(folderBinding) {
  files->viewport()->installEventFilter(this);
}

FileListDrag::~FileListDrag() {
  if (cursorSet_) QApplication::restoreOverrideCursor();
}

QMimeData* FileListDrag::fileMimeData(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  // Percent-encoding the raw bytes keeps a name that is not UTF-8 intact.
  QByteArray url = "file://" + QByteArray::fromStdString(path).toPercentEncoding("/");
  auto* mime = new QMimeData;
  mime->setData(QStringLiteral("text/uri-list"), url + "\r\n");
  return mime;
}

int FileListDrag::folderRowAt(const QPoint& global) const {
  if (!folders_ || !folders_->isVisible()) return -2;
  QWidget* port = folders_->viewport();
  const QPoint local = port->mapFromGlobal(global);
  if (!port->rect().contains(local)) return -2;
  const QModelIndex index = folders_->indexAt(local);
  return index.isValid() ? index.row() : -1;
}

bool FileListDrag::eventFilter(QObject* watched, QEvent* event) {
  if (!files_ || watched != files_->viewport()) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (moving_) endMove();
      name_.clear();
      if (e->button() != Qt::LeftButton) break;
      const QModelIndex index = files_->indexAt(e->position().toPoint());
      if (!index.isValid() || index.row() >= fileModel_->list().size()) break;
      name_ = fileModel_->list().at(index.row()).name;
      icon_ = fileModel_->list().at(index.row()).icon;
      pressAt_ = e->position().toPoint();
      break;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (name_.empty() || !(e->buttons() & Qt::LeftButton)) break;
      if (moving_) {
        track(e->globalPosition().toPoint());
        return true;
      }
      if ((e->position().toPoint() - pressAt_).manhattanLength() < QApplication::startDragDistance()) break;
      if (e->modifiers() & Qt::ControlModifier) {
        dragOut();
        return true;
      }
      moving_ = true;
      track(e->globalPosition().toPoint());
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (moving_ && e->button() == Qt::LeftButton) finish(e->globalPosition().toPoint());
      name_.clear();
      break;  // the view ends its own press
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void FileListDrag::track(const QPoint& global) {
  const int row = folderRowAt(global);
  if (folderBinding_) folderBinding_->showRow(row);
  const Qt::CursorShape shape = row >= 0 ? Qt::DragMoveCursor : Qt::ForbiddenCursor;
  if (cursorSet_) {
    QApplication::changeOverrideCursor(QCursor(shape));
  } else {
    QApplication::setOverrideCursor(QCursor(shape));
    cursorSet_ = true;
  }
}

void FileListDrag::finish(const QPoint& global) {
  const int row = folderRowAt(global);
  const std::string name = name_;
  endMove();
  if (row == -2) return;
  QMetaObject::invokeMethod(
      this,
      [this, name, row] {
        if (onDropped) onDropped(name, row);
        if (folderBinding_) folderBinding_->syncFromCore();
      },
      Qt::QueuedConnection);
}

void FileListDrag::endMove() {
  moving_ = false;
  if (cursorSet_) {
    QApplication::restoreOverrideCursor();
    cursorSet_ = false;
  }
  if (folderBinding_) folderBinding_->syncFromCore();
}

void FileListDrag::dragOut() {
  const std::string name = name_;
  name_.clear();
  if (!filesFolder) return;
  auto* drag = new QDrag(files_);
  drag->setMimeData(fileMimeData(filesFolder(), name));
  drag->setPixmap(fileModel_->iconFor(icon_).pixmap(16, 16));
  drag->exec(Qt::CopyAction, Qt::CopyAction);  // Qt deletes the drag afterwards
}

}  // namespace vm::ui
