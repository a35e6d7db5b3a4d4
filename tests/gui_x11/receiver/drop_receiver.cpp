// A small program that other programs drop files on. It shows one window
// titled "drop receiver" that accepts copies; on a drop it writes, to the
// file named by its first argument, one line per dropped URL followed by the
// bytes of the first dropped local file, then quits.
//   drop_receiver OUT
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSaveFile>
#include <QTimer>
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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  Receiver r(QString::fromLocal8Bit(argv[1]));
  r.move(700, 100);
  r.show();
  return app.exec();
}
