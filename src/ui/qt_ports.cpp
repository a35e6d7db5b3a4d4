#include "ui/qt_ports.h"

#include "ui/properties_dialog.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <climits>

#include "core/commands.h"
#include "notes/highlight.h"
#include "platform/limits.h"
#include "ui/keywords_dialog.h"
#include "ui/note_highlighter.h"
#include "ui/palette.h"
#include "platform/text.h"

namespace vm::ui {

namespace {

QString display(const std::string& utf8) { return QString::fromUtf8(displayUtf8(utf8)); }

struct ControlName {
  int id;
  const char* objectName;
};
// The cell editor lies inside the table: it comes first, so that its focus
// is not taken for the table's.
constexpr ControlName kControls[] = {
    {cmd::kFolderList, "folderList"}, {cmd::kFileList, "fileList"},     {cmd::kNoteEditor, "noteEditor"},
    {cmd::kMultibar, "multibar"},     {cmd::kRootList, "rootList"},     {cmd::kCellEditor, "cellEditor"},
    {cmd::kSheetTable, "sheetView"},  {cmd::kWebHost, "webView"},
};

}  // namespace

std::int64_t QtClock::nowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

QtTimers::QtTimers(QObject* parent) : QObject(parent) {}

void QtTimers::start(int id, int periodMs) {
  QTimer*& t = timers_[id];
  if (!t) {
    t = new QTimer(this);
    t->setTimerType(periodMs < 50 ? Qt::PreciseTimer : Qt::CoarseTimer);
    connect(t, &QTimer::timeout, this, [this, id] {
      if (tick_) tick_(id);
    });
  }
  t->start(periodMs < 0 ? 0 : periodMs);
}

void QtTimers::stop(int id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

bool QtTimers::isRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int QtTimers::interval(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? -1 : it->second->interval();
}

bool QtWindowPort::isForeground() { return window_ && window_->isActiveWindow(); }

void QtWindowPort::setStayOnTop(bool on) {
  if (window_) applyStayOnTop(window_, on);
}

void QtWindowPort::applyStayOnTop(QWidget* w, bool on) {
  if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const bool visible = w->isVisible();
  const Qt::WindowStates state = w->windowState();
  const QRect normal = w->normalGeometry().isValid() ? w->normalGeometry() : w->geometry();
  // Changing a window flag hides the window; put it back where it was.
  w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  w->setGeometry(normal);
  w->setWindowState(state);
  if (visible) {
    w->show();
    if (on) {
      w->raise();
      w->activateWindow();
    }
  }
}

void QtWindowPort::quit() {
  if (quit_) {
    quit_();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

int QtWindowPort::focusedControl() {
  if (!window_) return 0;
  QWidget* focus = window_->focusWidget();
  if (!focus) return 0;
  for (const ControlName& c : kControls) {
    QWidget* w = window_->findChild<QWidget*>(QLatin1String(c.objectName));
    if (w && (w == focus || w->isAncestorOf(focus))) return c.id;
  }
  return 0;
}

void QtWindowPort::focusControl(int id) {
  if (!window_) return;
  for (const ControlName& c : kControls) {
    if (c.id != id) continue;
    if (QWidget* w = window_->findChild<QWidget*>(QLatin1String(c.objectName))) w->setFocus(Qt::OtherFocusReason);
    return;
  }
}

namespace {
void addPopupItems(QMenu& menu, const std::vector<PopupItem>& items) {
  for (const PopupItem& item : items) {
    if (!item.children.empty()) {
      QMenu* sub = menu.addMenu(QString::fromUtf8(item.text));
      addPopupItems(*sub, item.children);
      continue;
    }
    if (item.id == 0) {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(QString::fromUtf8(item.text));
    a->setData(item.id);
    a->setEnabled(item.enabled);
  }
}
}  // namespace

int execPopupMenu(QWidget* parent, const QString& name, const std::vector<PopupItem>& items, const QPoint& at) {
  if (!parent) return 0;
  QMenu menu(parent);
  menu.setObjectName(name);
  addPopupItems(menu, items);
  QAction* chosen = menu.exec(at);
  return chosen ? chosen->data().toInt() : 0;
}

int QtWindowPort::popupMenu(int control, const std::vector<PopupItem>& items) {
  return execPopupMenu(window_, control == cmd::kFolderList ? QStringLiteral("folderMenu") : QStringLiteral("fileMenu"),
                       items, QCursor::pos());
}

void QtWindowPort::editLabel(int control, int index) {
  if (onEditLabel) onEditLabel(control, index);
}

// ---- Note editor ---------------------------------------------------------

void NoteEdit::setGutter(int pixels) {
  // The strip is the editor's own, painted like the text's background.
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setViewportMargins(std::max(0, pixels), 0, 0, 0);
}

void QtTextEditor::attach(NoteEdit* editor) {
  editor_ = editor;
  if (!editor) return;
  editor->onContextMenu = [this](const QPoint& at) {
    menuPoint_ = at;
    hasMenuPoint_ = true;
    if (onContextMenu) onContextMenu();
    hasMenuPoint_ = false;
  };
  connect(editor, &QPlainTextEdit::textChanged, this, [this] {
    // The highlighter's formats also report a change; only a new revision
    // of the text is one.
    const int revision = editor_->document()->revision();
    if (revision == seenRevision_) return;
    seenRevision_ = revision;
    if (!programChange_) edited();
  });
  editor->installEventFilter(this);
  editor->viewport()->installEventFilter(this);
  connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (!programChange_ && onScrolled) onScrolled();
  });
}

bool QtTextEditor::eventFilter(QObject* watched, QEvent* event) {
  if (editor_ && onReleased) {
    if ((watched == editor_ && event->type() == QEvent::KeyRelease &&
         !static_cast<QKeyEvent*>(event)->isAutoRepeat()) ||
        (watched == editor_->viewport() && event->type() == QEvent::MouseButtonRelease))
      onReleased();
  }
  // The window turned light or dark: the highlighted note takes the colours
  // of its new page, as the program's own change.
  if (watched == editor_ && event->type() == QEvent::PaletteChange && highlighter_ && highlighter_->document()) {
    highlighter_->setDark(darkPaletteInUse());
    programChange_ = true;
    highlighter_->rehighlight();
    programChange_ = false;
  }
  return QObject::eventFilter(watched, event);
}

void QtTextEditor::edited() {
  if (onEdited) onEdited();
}

namespace {
// The document's text with its paragraph and line separators as LF; one
// character for each document position. (toPlainText would also turn
// no-break spaces into blanks.)
QString rawText(const QPlainTextEdit* e) {
  QString t = e->document()->toRawText();
  for (QChar& c : t)
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = u'\n';
  return t;
}
}  // namespace

std::string QtTextEditor::text() { return editor_ ? rawText(editor_).toStdString() : std::string(); }

void QtTextEditor::setText(const std::string& text) {
  if (!editor_) return;
  programChange_ = true;
  if (highlighter_) highlighter_->setDocument(nullptr);  // highlighted once, below
  editor_->setPlainText(display(text));
  programChange_ = false;
  applySyntax(text.size());
}

void QtTextEditor::setEnabled(bool on) {
  if (editor_) editor_->setEnabled(on);
}

bool QtTextEditor::isEnabled() { return editor_ && editor_->isEnabled(); }

void QtTextEditor::setVisible(bool on) {
  if (editor_) editor_->setVisible(on);
}

void QtTextEditor::setWordWrap(bool on) {
  if (editor_) editor_->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void QtTextEditor::focus() {
  if (editor_) editor_->setFocus(Qt::OtherFocusReason);
}

std::size_t QtTextEditor::byteOffset(int position) {
  if (!editor_ || position <= 0) return 0;
  return static_cast<std::size_t>(QStringView(rawText(editor_)).left(position).toUtf8().size());
}

std::size_t QtTextEditor::selectionStart() { return editor_ ? byteOffset(editor_->textCursor().selectionStart()) : 0; }

std::size_t QtTextEditor::selectionEnd() { return editor_ ? byteOffset(editor_->textCursor().selectionEnd()) : 0; }

void QtTextEditor::replaceSelection(const std::string& text) {
  if (!editor_) return;
  programChange_ = true;
  QTextCursor c = editor_->textCursor();
  c.insertText(display(text));
  editor_->setTextCursor(c);
  programChange_ = false;
  edited();
}

int QtTextEditor::scrollPosition() { return editor_ ? editor_->verticalScrollBar()->value() : 0; }

void QtTextEditor::setReadOnly(bool on) {
  if (editor_) editor_->setReadOnly(on);
}

// The document keeps its length; it counts one closing paragraph separator.
std::size_t QtTextEditor::characterCount() {
  return editor_ ? static_cast<std::size_t>(std::max(0, editor_->document()->characterCount() - 1)) : 0;
}

void NoteEdit::contextMenuEvent(QContextMenuEvent* event) {
  if (!onContextMenu) {
    QPlainTextEdit::contextMenuEvent(event);
    return;
  }
  event->accept();
  onContextMenu(event->globalPos());
}

int QtTextEditor::positionOf(std::size_t offset) {
  if (!editor_) return 0;
  const QString t = rawText(editor_);
  std::size_t bytes = 0;
  int i = 0;
  while (i < t.size() && bytes < offset) {
    const char16_t c = t[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < t.size() && QChar::isLowSurrogate(t[i + 1].unicode())) {
      bytes += 4;
      i += 2;
      continue;
    }
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    ++i;
  }
  return i;
}

void QtTextEditor::undo() {
  if (editor_) editor_->undo();
}

void QtTextEditor::cut() {
  if (editor_) editor_->cut();
}

void QtTextEditor::copy() {
  if (editor_) editor_->copy();
}

void QtTextEditor::selectAll() {
  if (editor_) editor_->selectAll();
}

void QtTextEditor::select(std::size_t start, std::size_t end) {
  if (!editor_) return;
  QTextCursor c = editor_->textCursor();
  c.setPosition(positionOf(start));
  c.setPosition(positionOf(end), QTextCursor::KeepAnchor);
  editor_->setTextCursor(c);
  editor_->ensureCursorVisible();
}

int QtTextEditor::textWidth(const std::string& text) {
  if (!editor_) return -1;
  return editor_->fontMetrics().horizontalAdvance(QString::fromUtf8(text));
}

int QtTextEditor::popupMenu(const std::vector<PopupItem>& items) {
  if (!editor_) return 0;
  const QPoint at = hasMenuPoint_ ? menuPoint_ : editor_->viewport()->mapToGlobal(editor_->cursorRect().bottomLeft());
  hasMenuPoint_ = false;
  return execPopupMenu(editor_, QStringLiteral("noteMenu"), items, at);
}

void QtTextEditor::setSyntax(int syntax) {
  if (syntax == syntax_) return;
  syntax_ = syntax;
  if (editor_) applySyntax(static_cast<std::size_t>(editor_->document()->characterCount()));
}

// The highlighter works on the editor's document while a note with markup
// of a sensible size is shown; re-attaching highlights the whole text once,
// after that only the blocks the user changes are run again.
void QtTextEditor::applySyntax(std::size_t textBytes) {
  if (!editor_) return;
  if (!highlighter_) highlighter_ = new NoteHighlighter(editor_);
  const bool on = syntax_ != 0 && textBytes <= kMaxHighlightBytes;
  highlighter_->setSyntax(static_cast<NoteSyntax>(on ? syntax_ : 0));
  highlighter_->setDark(darkPaletteInUse());  // the desktop may have changed its palette since
  // The whole text is highlighted here, at once, as the program's own
  // change: the pass setDocument would run later looks like an edit.
  programChange_ = true;
  highlighter_->setDocument(on ? editor_->document() : nullptr);
  if (on) highlighter_->rehighlight();
  programChange_ = false;
}

// ---- Multibar ------------------------------------------------------------

void QtLineEditor::attach(QLineEdit* edit) { edit_ = edit; }

std::string QtLineEditor::text() { return edit_ ? edit_->text().toStdString() : std::string(); }

void QtLineEditor::setText(const std::string& text) {
  if (edit_) edit_->setText(display(text));
}

void QtLineEditor::insertAtCaret(const std::string& text) {
  if (edit_) edit_->insert(display(text));
}

void QtLineEditor::selectAll() {
  if (edit_) edit_->selectAll();
}

bool QtLineEditor::hasSelection() { return edit_ && edit_->hasSelectedText(); }

bool QtLineEditor::canPaste() {
  return edit_ && !edit_->isReadOnly() && !QGuiApplication::clipboard()->text().isEmpty();
}

void QtLineEditor::cut() {
  if (edit_) edit_->cut();
}

void QtLineEditor::copy() {
  if (edit_) edit_->copy();
}

void QtLineEditor::paste() {
  if (edit_) edit_->paste();
}

int QtLineEditor::popupMenu(const std::vector<PopupItem>& items) {
  return execPopupMenu(edit_, QStringLiteral("multibarMenu"), items, QCursor::pos());
}

// ---- Pump ----------------------------------------------------------------

namespace {

// How soon a close request held back during long work is tried again.
constexpr int kCloseRetryMs = 20;
// How often the end of long work is looked for.
constexpr int kRestCheckMs = 10;

// Hidden by a call rather than not shown yet: QMainWindow hides the status
// bar it replaces until it is deleted, while a new one shows only when the
// event loop next turns.
bool explicitlyHidden(const QWidget* w) { return w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide); }

}  // namespace

QtPump::~QtPump() {
  if (window_) window_->removeEventFilter(this);
}

void QtPump::attach(QMainWindow* window) {
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  if (window) window->installEventFilter(this);
}

QProgressBar* QtPump::progressBar() const { return bar_; }

bool QtPump::step() {
  // Painting, timers and the window's close request are handed out; clicks
  // and keys are held (all but Esc, which cancels) until the work is over,
  // so the App is never entered by the user half-way through a load. The
  // window stays drawn and can be closed.
  if (!holding_) {
    holding_ = true;
    qApp->installEventFilter(this);
    // Fires only once the window thread is back in its own event loop,
    // i.e. after the work has returned: a firing inside a step waits again.
    QTimer::singleShot(kRestCheckMs, this, &QtPump::atRest);
  }
  ++depth_;
  QCoreApplication::processEvents();
  --depth_;
  return quit_ || cancel_;
}

void QtPump::atRest() {
  if (depth_ > 0) {
    QTimer::singleShot(kRestCheckMs, this, &QtPump::atRest);
    return;
  }
  qApp->removeEventFilter(this);
  holding_ = false;
  cancel_ = false;
  std::vector<HeldEvent> held;
  held.swap(held_);
  QList<QAction*> actions;
  if (window_) actions = window_->findChildren<QAction*>();
  for (HeldEvent& h : held) {
    if (!h.receiver) continue;
    if (h.event->type() == QEvent::KeyPress) {
      // Keys reach their widget directly, past the accelerators: a key that
      // is one triggers its action instead.
      const auto* key = static_cast<QKeyEvent*>(h.event.get());
      const QKeySequence seq(key->keyCombination());
      QAction* hit = nullptr;
      for (QAction* a : actions)
        if (a->isEnabled() && a->shortcuts().contains(seq)) hit = a;
      if (hit) {
        hit->trigger();
        continue;
      }
    }
    QCoreApplication::postEvent(h.receiver, h.event.release());
  }
}

bool QtPump::holdInput(QObject* watched, QEvent* event) {
  // The user's input reaches a top-level window first, which hands it to
  // its widgets: it is held where it is first seen (the window) and handed
  // to the same object again later.
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // Taken by the widget: no accelerator fires during the work.
      event->accept();
      return true;
    case QEvent::KeyPress: {
      if (!event->spontaneous()) return false;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        cancel_ = true;
        return true;
      }
      [[fallthrough]];
    }
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
      if (!event->spontaneous()) return false;
      held_.push_back({QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
      return true;
    case QEvent::MouseMove:
    case QEvent::ContextMenu:
      if (!event->spontaneous()) return false;
      event->ignore();
      return true;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      event->ignore();
      return true;
    default:
      return false;
  }
}

bool QtPump::eventFilter(QObject* watched, QEvent* event) {
  if (depth_ > 0 && watched != this && holdInput(watched, event)) return true;
  if (watched == window_ && event->type() == QEvent::Close && depth_ > 0) {
    // Closing now would shut the App down under the running work. The work
    // is told to stop, and the window is closed again once it has returned
    // (a close that still finds it running waits once more).
    quit_ = true;
    event->ignore();
    QPointer<QMainWindow> w(window_);
    QTimer::singleShot(kCloseRetryMs, this, [w] {
      if (w) w->close();
    });
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void QtPump::progress(int percent) {
  if (percent < 0) {
    if (bar_) bar_->hide();
    // A bar made for the progress goes again (unless the window has put
    // its own in its place meanwhile, which hides ours).
    if (ownStatusBar_ && window_ && !explicitlyHidden(ownStatusBar_)) {
      window_->setStatusBar(nullptr);
      bar_ = nullptr;  // goes with its status bar
    }
    ownStatusBar_ = nullptr;
    return;
  }
  if (!window_) return;
  if (!bar_) {
    // QMainWindow::statusBar() would make one; a replaced bar is only hidden
    // until it is deleted.
    QStatusBar* status = nullptr;
    for (QStatusBar* b : window_->findChildren<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
      if (!explicitlyHidden(b)) status = b;
    if (!status) {
      // The window shows its messages elsewhere; a bar is made for the
      // progress and taken away again when it ends.
      status = new QStatusBar(window_);
      status->setObjectName(QStringLiteral("progressStatusBar"));
      window_->setStatusBar(status);
      status->show();
      ownStatusBar_ = status;
    }
    auto* bar = new QProgressBar(status);
    bar->setObjectName(QStringLiteral("loadProgress"));
    bar->setRange(0, 100);
    bar->setFormat(QStringLiteral("%p%  (Esc cancels)"));
    bar->setMaximumWidth(260);
    status->addPermanentWidget(bar);
    bar_ = bar;
  }
  bar_->setValue(std::clamp(percent, 0, 100));
  bar_->show();
}

// ---- Desktop -------------------------------------------------------------

bool QtDesktop::openExternally(const std::string& pathOrUrl) {
  if (pathOrUrl.empty()) return false;
  QUrl url;
  if (pathOrUrl.front() != '/') url = QUrl(QString::fromUtf8(pathOrUrl), QUrl::TolerantMode);
  if (url.scheme().size() < 2) {  // no scheme: a path (relative ones from the working folder)
    const QString path = QFile::decodeName(QByteArray::fromStdString(pathOrUrl));
    url = QUrl::fromLocalFile(QDir::current().absoluteFilePath(path));
  }
  return QDesktopServices::openUrl(url);
}

void QtDesktop::showProperties(const std::string& path) { showPropertiesDialog(path, parent_); }

bool QtDesktop::startInstance(const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  return QProcess::startDetached(QCoreApplication::applicationFilePath(), list);
}

void QtDialogs::information(const std::string& title, const std::string& text) {
  QMessageBox::information(parent_, display(title), display(text));
}

void QtDialogs::keywords(KeywordsDialogModel& model) {
  KeywordsDialog dialog(model, parent_);
  dialog.exec();
}

// ---- Clipboard -----------------------------------------------------------

bool QtClipboard::hasText() {
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  return m && m->hasText() && !m->text().isEmpty();
}

std::string QtClipboard::text() { return QGuiApplication::clipboard()->text().toStdString(); }

void QtClipboard::setText(const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromUtf8(text)); }

bool QtClipboard::hasImage() {
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  return m && m->hasImage();
}

std::string QtClipboard::image(std::string_view format) {
  const QImage img = QGuiApplication::clipboard()->image();
  if (img.isNull()) return {};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const QByteArray fmt = QByteArray(format.data(), static_cast<qsizetype>(format.size())).toUpper();
  if (!img.save(&buffer, fmt.constData())) return {};
  return bytes.toStdString();
}

bool QtClipboard::setImage(const std::string& encoded) {
  QImage img;
  if (!img.loadFromData(reinterpret_cast<const uchar*>(encoded.data()), static_cast<int>(encoded.size()))) return false;
  QGuiApplication::clipboard()->setImage(img);
  return true;
}

bool QtDialogs::confirm(const std::string& title, const std::string& text) {
  return QMessageBox::question(parent_, display(title), display(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace vm::ui
