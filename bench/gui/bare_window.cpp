// The floor of a Qt widgets program's start on this machine: the same kind of
// window as Vellumark's (menu bar, tool bar, an editor beside two lists, a
// status line), nothing read, nothing listed. scripts/compare-peers.sh starts
// it beside Vellumark, so the table shows how much of a start is Qt's own.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("bare Qt window"));
  for (const char* title : {"&File", "&Tools", "&Help"}) window.menuBar()->addMenu(QString::fromLatin1(title));
  QToolBar* tools = window.addToolBar(QStringLiteral("tools"));
  tools->addAction(app.style()->standardIcon(QStyle::SP_FileIcon), QStringLiteral("New"));
  tools->addAction(app.style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save"));
  auto* split = new QSplitter(&window);
  split->addWidget(new QPlainTextEdit(split));
  auto* lists = new QSplitter(Qt::Vertical, split);
  auto* folders = new QListWidget(lists);
  auto* files = new QListWidget(lists);
  folders->addItem(QStringLiteral("notes"));
  files->addItem(QStringLiteral("note.txt"));
  window.setCentralWidget(split);
  window.statusBar()->showMessage(QStringLiteral("Ready"));
  window.resize(1000, 700);
  window.show();
  return app.exec();
}
