// A small program at the other end of a drag, for the tests that drag
// between Vellumark and other programs through the window system.
//   dnd_peer OUT
//     shows a window titled "drop receiver" that accepts copies of files; on
//     a drop it writes, to OUT, one line per dropped URL followed by "--" and
//     the bytes of the first dropped local file, then quits.
//   dnd_peer --source [--picture PNG] [FILE...]
//     shows a window titled "drag source"; a press on it starts a drag that
//     offers FILEs as a text/uri-list and, with --picture, the picture itself
//     as image data. It quits 3 s after the drag ends (the drop's data is
//     fetched from it meanwhile): 0 when the other side took a copy, 1 when
//     the drag was refused.
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace {

class Receiver : public QWidget {
 public:
  explicit Receiver(QString out) : out_(std::move(out)) {
    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("drop receiver"));
    resize(300, 300);
  }

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* e) override {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    QByteArray report;
    for (const QUrl& url : e->mimeData()->urls()) report += url.toEncoded() + '\n';
    report += "--\n";
    const QList<QUrl> urls = e->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
      QFile f(urls.first().toLocalFile());
      if (f.open(QIODevice::ReadOnly)) report += f.readAll();
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    QSaveFile save(out_);
    if (save.open(QIODevice::WriteOnly)) {
      save.write(report);
      save.commit();
    }
    QTimer::singleShot(0, qApp, &QApplication::quit);
  }

 private:
  QString out_;
};

class Source : public QWidget {
 public:
  Source(QList<QUrl> files, QImage picture) : files_(std::move(files)), picture_(std::move(picture)) {
    setWindowTitle(QStringLiteral("drag source"));
    resize(300, 300);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton || started_) return;
    started_ = true;
    auto* mime = new QMimeData;
    if (!files_.isEmpty()) mime->setUrls(files_);
    if (!picture_.isNull()) mime->setImageData(picture_);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const Qt::DropAction done = drag->exec(Qt::CopyAction);
    // The other side asks for the offered data after the drop; it is
    // answered for as long as this program runs, as a file manager would.
    QTimer::singleShot(3000, qApp, [done] { QApplication::exit(done == Qt::CopyAction ? 0 : 1); });
  }

 private:
  QList<QUrl> files_;
  QImage picture_;
  bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments().mid(1);
  if (args.isEmpty()) return 2;
  if (args.first() != QLatin1String("--source")) {
    Receiver r(args.first());
    r.move(700, 100);
    r.show();
    return app.exec();
  }
  QList<QUrl> files;
  QImage picture;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--picture") && i + 1 < args.size()) {
      if (!picture.load(args[++i])) return 2;
    } else {
      files << QUrl::fromLocalFile(args[i]);
    }
  }
  Source s(files, picture);
  s.move(700, 100);
  s.show();
  return app.exec();
}
