#include "ui/drop_target.h"

#include <QApplication>
#include <QBuffer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QWidget>
#include <algorithm>

namespace vm::ui {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// The lines of a text/uri-list: local paths of its file: URLs (the bytes
// behind the percent signs kept, so a name that is not UTF-8 survives) and
// its other addresses.
void readUriList(const QByteArray& list, std::vector<std::string>& files, std::vector<std::string>& others) {
  for (QByteArray line : list.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    if (line.toLower().startsWith("file:")) {
      QByteArray rest = line.mid(5);
      if (rest.startsWith("//")) {
        const int slash = rest.indexOf('/', 2);  // past the host ("" or "localhost")
        if (slash < 0) continue;
        rest = rest.mid(slash);
      }
      const int cut = rest.indexOf('?') >= 0 ? rest.indexOf('?') : rest.indexOf('#');
      if (cut >= 0) rest.truncate(cut);
      const QByteArray path = QByteArray::fromPercentEncoding(rest);
      if (path.startsWith('/') && !path.contains('\0')) files.push_back(path.toStdString());
    } else {
      others.push_back(line.toStdString());
    }
  }
}

}  // namespace

bool dropOffersContent(const QMimeData* mime) {
  return mime && (mime->hasImage() || mime->hasFormat(kUriList) || mime->hasHtml() || mime->hasText());
}

DropData dropDataFrom(const QMimeData* mime) {
  DropData d;
  if (!mime) return d;
  std::vector<std::string> others;
  if (mime->hasFormat(kUriList)) readUriList(mime->data(kUriList), d.files, others);
  if (mime->hasHtml()) d.html = mime->html().toStdString();
  // Qt answers text() with the uri-list's lines when no text is offered.
  const QStringList formats = mime->formats();
  const bool plain = std::any_of(formats.begin(), formats.end(), [](const QString& f) {
    return f == QLatin1String("text/plain") || f.startsWith(QLatin1String("text/plain;"));
  });
  if (plain) d.text = mime->text().toStdString();
  if (d.text.empty() && !others.empty()) d.text = others.front();
  if (mime->hasImage()) {
    const QImage image = qvariant_cast<QImage>(mime->imageData());
    if (!image.isNull()) {
      d.image = [image](std::string_view format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, format == "bmp" ? "BMP" : "PNG")) return std::string();
        return bytes.toStdString();
      };
    }
  }
  // The order of the offer names the picture: the later of files and text.
  auto add = [&d](DropFormat f) {
    if (std::find(d.offered.begin(), d.offered.end(), f) == d.offered.end()) d.offered.push_back(f);
  };
  for (const QString& f : formats) {
    if (f == kUriList) {
      add(d.files.empty() ? DropFormat::Text : DropFormat::Files);
    } else if (f == QLatin1String("text/html")) {
      add(DropFormat::Html);
    } else if (f == QLatin1String("text/plain") || f.startsWith(QLatin1String("text/plain;"))) {
      add(DropFormat::Text);
    } else if (f.startsWith(QLatin1String("image/")) || f == QLatin1String("application/x-qt-image")) {
      add(DropFormat::Image);
    }
  }
  return d;
}

DropTarget::DropTarget(QWidget* area, std::function<void(const DropData&)> onDrop, QObject* parent)
    : QObject(parent), area_(area), onDrop_(std::move(onDrop)) {
  area_->setAcceptDrops(true);
  area_->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != area_) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* e = static_cast<QDragEnterEvent*>(event);
      own_ = isOwnDrag && isOwnDrag(e->source());
      if (own_ && passOwnDrags) return false;
      accepted_ = !own_ && dropOffersContent(e->mimeData());
      if (accepted_) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    case QEvent::DragMove: {
      if (own_ && passOwnDrags) return false;
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (accepted_) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      if (own_ && passOwnDrags) return false;
      accepted_ = false;
      return true;
    case QEvent::Drop: {
      if (own_ && passOwnDrags) return false;
      auto* e = static_cast<QDropEvent*>(event);
      if (!accepted_) {
        e->ignore();
        return true;
      }
      accepted_ = false;
      DropData data = dropDataFrom(e->mimeData());
      e->setDropAction(Qt::CopyAction);
      e->accept();
      // The drag's source waits for this answer: a download must not hold it.
      QMetaObject::invokeMethod(
          this,
          [this, data = std::move(data)] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            onDrop_(data);
            QApplication::restoreOverrideCursor();
          },
          Qt::QueuedConnection);
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vm::ui
