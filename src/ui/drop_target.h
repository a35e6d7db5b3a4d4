#pragma once
// Drops from other programs onto the File List and the note editor. A
// DropTarget watches one widget's drag events: it answers Copy when the
// drag offers a picture, files, HTML or text, and once the drag is over it
// hands what was offered, read into a DropData, to onDrop.
#include <QObject>
#include <functional>

#include "import/drop_import.h"

class QMimeData;
class QWidget;

namespace vm::ui {

// What a drag offers, read into the program's form: the picture (encoded on
// request), local files from text/uri-list (their path bytes as they were
// percent-encoded), HTML and plain text (UTF-8); other addresses of the
// uri-list count as text when the drag offers no text of its own.
DropData dropDataFrom(const QMimeData* mime);
// True when the drag offers anything a drop can use.
bool dropOffersContent(const QMimeData* mime);

class DropTarget : public QObject {
  Q_OBJECT
 public:
  DropTarget(QWidget* area, std::function<void(const DropData&)> onDrop, QObject* parent = nullptr);

  // A drag that this says comes from the widget itself is not taken:
  // refused, or (passOwnDrags) left to the widget's own handling.
  std::function<bool(const QObject* source)> isOwnDrag;
  bool passOwnDrags = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* area_;
  std::function<void(const DropData&)> onDrop_;
  bool accepted_ = false;  // decided when the drag enters
  bool own_ = false;
};

}  // namespace vm::ui
