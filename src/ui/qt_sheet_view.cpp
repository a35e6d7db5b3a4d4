#include "ui/qt_sheet_view.h"

#include "ui/qt_ports.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <optional>

#include "app/app.h"
#include "sheet/sheet.h"
#include "ui/palette.h"
#include "ui/sheet_model.h"

namespace vm::ui {

namespace {

constexpr int kCellBytes = static_cast<int>(kCellTextMax);
// Space above and below a cell's text; every row has the same height.
constexpr int kRowPadding = 6;
// The open or closed sign of a group's header.
constexpr int kSignSize = 9;

// The texts of the cell editor's own menu, as the program has always shown them.
constexpr const char* kUndoItem = "    Undo   ";
constexpr const char* kCutItem = "    Cut      ";
constexpr const char* kCopyItem = "    Copy      ";
constexpr const char* kPasteItem = "    Paste      ";
constexpr const char* kSelectAllItem = "    Select All   ";

int utf8Bytes(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// The longest front of s that takes at most `room` bytes in UTF-8, whole
// characters only. A lone surrogate counts as the replacement character it
// becomes.
QString fitBytes(const QString& s, int room) {
  int used = 0;
  qsizetype i = 0;
  while (i < s.size()) {
    char32_t cp = s[i].unicode();
    qsizetype len = 1;
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
      cp = QChar::surrogateToUcs4(s[i], s[i + 1]);
      len = 2;
    } else if (s[i].isSurrogate()) {
      cp = 0xFFFD;
    }
    const int need = utf8Bytes(cp);
    if (used + need > room) break;
    used += need;
    i += len;
  }
  return s.left(i);
}

int bytesOf(const QString& s) { return static_cast<int>(s.toUtf8().size()); }

// Refuses every change that would make the text longer than a cell holds:
// typing, composing, dropping and the line edit's own paste.
// The editor takes new typing up to kCellBytes; a cell that held more when
// it was opened may keep that much.
class ByteLimit : public QValidator {
 public:
  ByteLimit(const int* limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int&) const override {
    return bytesOf(input) <= *limit_ ? Acceptable : Invalid;
  }

 private:
  const int* limit_;
};

// The table's grid takes its colour from the palette: some styles draw it
// in a shade of the window colour that vanishes on a dark page.
class GridStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == SH_Table_GridLineColor)
      return int(gridColour(widget ? widget->palette() : option ? option->palette : QGuiApplication::palette()).rgba());
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

// Cells are drawn by Qt; only the sheet's own cursor marks a cell, so the
// item view's focus and selection marks are left out. Group headers are
// drawn across the row by the table itself.
class CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.data(SheetTableModel::GroupHeaderRole).toBool()) return;
    QStyleOptionViewItem o(option);
    o.state &= ~(QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_MouseOver);
    QStyledItemDelegate::paint(p, o, index);
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant number = index.data(SheetTableModel::RowNumberRole);
    if (number.isValid()) {
      option->text = number.toString();
      option->features |= QStyleOptionViewItem::HasDisplay;
    }
  }
};

}  // namespace

// ---- The table -------------------------------------------------------------

class SheetTable : public QTableView {
 public:
  SheetTable(QtSheetView* view, QWidget* parent) : QTableView(parent), view_(view) {}

  void layoutNow() {
    executeDelayedItemsLayout();
    updateGeometries();
  }

  // The display row and table column at a viewport point (-1 when none).
  std::pair<int, int> cellAt(const QPoint& pos) const { return {rowAt(pos.y()), columnAt(pos.x())}; }

  int viewRowOf(int displayRow) const {
    Sheet* s = view_->sheet_;
    if (!s || !s->isOpen() || displayRow < 0 || displayRow >= s->displayRowCount()) return -1;
    return s->displayRow(displayRow).viewRow;
  }

  int groupOf(int displayRow) const {
    Sheet* s = view_->sheet_;
    if (!s || !s->isOpen() || displayRow < 0 || displayRow >= s->displayRowCount()) return -1;
    const DisplayRow r = s->displayRow(displayRow);
    return r.isHeader() ? r.group : -1;
  }

 protected:
  // The App moves the cursor; the view's own current index never moves.
  QModelIndex moveCursor(CursorAction, Qt::KeyboardModifiers) override { return {}; }

  void keyPressEvent(QKeyEvent* e) override {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    std::optional<SheetKey> key;
    if (mods == Qt::NoModifier) {
      switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: key = SheetKey::Enter; break;
        case Qt::Key_Escape: key = SheetKey::Escape; break;
        case Qt::Key_Left: key = SheetKey::Left; break;
        case Qt::Key_Up: key = SheetKey::Up; break;
        case Qt::Key_Right: key = SheetKey::Right; break;
        case Qt::Key_Down: key = SheetKey::Down; break;
        case Qt::Key_PageUp: key = SheetKey::PageUp; break;
        case Qt::Key_PageDown: key = SheetKey::PageDown; break;
        case Qt::Key_Home: key = SheetKey::Home; break;
        case Qt::Key_End: key = SheetKey::End; break;
        default: break;
      }
    } else if (mods == Qt::ControlModifier) {
      if (e->key() == Qt::Key_Home) key = SheetKey::CtrlHome;
      if (e->key() == Qt::Key_End) key = SheetKey::CtrlEnd;
    }
    if (key) {
      e->accept();
      if (view_->onKey) view_->onKey(*key, pageRows());
      return;
    }
    // Everything else belongs to the window (its accelerators).
    e->ignore();
  }

  // Whole rows the viewport shows, less one kept from the last page.
  int pageRows() const {
    const int h = std::max(1, verticalHeader()->defaultSectionSize());
    return std::max(1, viewport()->height() / h - 1);
  }

  void mousePressEvent(QMouseEvent* e) override {
    setFocus(Qt::MouseFocusReason);
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    const auto [row, col] = cellAt(e->position().toPoint());
    const int group = groupOf(row);
    if (group >= 0) {
      if (col == 0) {
        if (view_->onGroupToggled) view_->onGroupToggled(group);
        return;
      }
    }
    if (view_->onCellClicked) view_->onCellClicked(viewRowOf(row), col);
  }

  void mouseDoubleClickEvent(QMouseEvent* e) override {
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    const auto [row, col] = cellAt(e->position().toPoint());
    const int group = groupOf(row);
    if (group >= 0) {
      if (view_->onGroupToggled) view_->onGroupToggled(group);
      return;
    }
    if (view_->onCellDoubleClicked) view_->onCellDoubleClicked(viewRowOf(row), col);
  }

  // No selection, no drag: the press went to the App already.
  void mouseMoveEvent(QMouseEvent* e) override { e->accept(); }
  void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }

  void contextMenuEvent(QContextMenuEvent* e) override {
    e->accept();
    view_->tableContextMenu(e->pos(), e->globalPos(), e->reason() == QContextMenuEvent::Mouse);
  }

  void paintEvent(QPaintEvent* e) override {
    QTableView::paintEvent(e);
    QPainter p(viewport());
    paintGroupHeaders(p);
    const QRect r = view_->cursorRect();
    if (!r.isEmpty()) {
      // A dotted focus rectangle, one pixel on, one off. Dotted pens lose
      // their dots on a scaled screen, so the dots are set one by one, each
      // a pixel of the window's scale.
      const QColor ink = palette().color(QPalette::Text);
      const QRect& b = r;  // its edges are its outermost pixels
      for (int x = b.left(); x <= b.right(); x += 2) {
        p.fillRect(x, b.top(), 1, 1, ink);
        p.fillRect(x, b.bottom(), 1, 1, ink);
      }
      for (int y = b.top(); y <= b.bottom(); y += 2) {
        p.fillRect(b.left(), y, 1, 1, ink);
        p.fillRect(b.right(), y, 1, 1, ink);
      }
    }
  }

 private:
  // Each shown group header: a band across the data columns with the
  // group's name and size, and the open or closed sign in the "tn" column.
  void paintGroupHeaders(QPainter& p) {
    Sheet* s = view_->sheet_;
    if (!s || !s->isOpen() || !s->grouped() || !model()) return;
    const int first = rowAt(0);
    if (first < 0) return;
    int last = rowAt(viewport()->height() - 1);
    if (last < 0) last = model()->rowCount() - 1;
    const int cols = model()->columnCount();
    if (cols < 1) return;
    const int dataLeft = cols > 1 ? columnViewportPosition(1) : columnViewportPosition(0) + columnWidth(0);
    const int right = columnViewportPosition(cols - 1) + columnWidth(cols - 1);
    QFont bold = font();
    bold.setBold(true);
    const QColor band = palette().color(QPalette::Button);
    const QColor ink = palette().color(QPalette::ButtonText);
    for (int row = first; row <= last; ++row) {
      const int group = groupOf(row);
      if (group < 0) continue;
      const int y = rowViewportPosition(row);
      const int h = rowHeight(row) - (showGrid() ? 1 : 0);
      const QRect text(dataLeft, y, std::max(0, right - dataLeft - (showGrid() ? 1 : 0)), h);
      p.fillRect(text, band);
      p.setFont(bold);
      p.setPen(ink);
      p.drawText(text.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                 model()->index(row, std::min(1, cols - 1)).data().toString());

      const QRect cell(columnViewportPosition(0), y, columnWidth(0) - (showGrid() ? 1 : 0), h);
      p.fillRect(cell, band);
      const QRect sign(cell.center().x() - kSignSize / 2, cell.center().y() - kSignSize / 2, kSignSize, kSignSize);
      p.setPen(ink);
      p.setBrush(palette().color(QPalette::Base));
      p.drawRect(sign);
      const int cx = sign.center().x(), cy = sign.center().y();
      p.drawLine(sign.left() + 2, cy, sign.right() - 2, cy);
      if (s->group(group).collapsed) p.drawLine(cx, sign.top() + 2, cx, sign.bottom() - 2);
    }
  }

  QtSheetView* view_;
};

// ---- The cell editor ---------------------------------------------------------

class CellEdit : public QLineEdit {
 public:
  CellEdit(QtSheetView* view, QWidget* parent) : QLineEdit(parent), view_(view) {
    setObjectName(QStringLiteral("cellEditor"));
    setValidator(new ByteLimit(&limit_, this));
    setFrame(false);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QLineEdit#cellEditor { border: 1px solid palette(highlight); padding: 0 2px; }"));
  }

  // Opens with text, whole however long it is.
  void start(const QString& text) {
    limit_ = std::max(kCellBytes, bytesOf(text));
    setMaxLength(std::max<int>(32767, static_cast<int>(std::min<qsizetype>(text.size(), INT_MAX))));
    setText(text);
  }

  // Replaces the selection with as much of text as the cell still holds.
  void insertFitting(const QString& text) {
    const int room = limit_ - (bytesOf(this->text()) - bytesOf(selectedText()));
    const QString fit = fitBytes(text, std::max(0, room));
    if (fit.isEmpty() && !hasSelectedText()) return;
    insert(fit);
  }

  void pasteFitting() { insertFitting(QGuiApplication::clipboard()->text()); }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
      e->accept();
      if (view_->onEditorEnter) view_->onEditorEnter();
      return;
    }
    if (e->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
      e->accept();
      if (view_->onEditorEscape) view_->onEditorEscape();
      return;
    }
    if (e == QKeySequence::Paste) {
      // Pasted text is cut to fit rather than refused as a whole.
      e->accept();
      pasteFitting();
      return;
    }
    QLineEdit::keyPressEvent(e);
  }

  void contextMenuEvent(QContextMenuEvent* e) override {
    e->accept();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("cellEditorMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selected = hasSelectedText();
    QAction* undoItem = menu->addAction(QString::fromLatin1(kUndoItem));
    connect(undoItem, &QAction::triggered, this, &QLineEdit::undo);
    menu->addSeparator();
    QAction* cutItem = menu->addAction(QString::fromLatin1(kCutItem));
    cutItem->setEnabled(selected);
    connect(cutItem, &QAction::triggered, this, &QLineEdit::cut);
    QAction* copyItem = menu->addAction(QString::fromLatin1(kCopyItem));
    copyItem->setEnabled(selected);
    connect(copyItem, &QAction::triggered, this, &QLineEdit::copy);
    QAction* pasteItem = menu->addAction(QString::fromLatin1(kPasteItem));
    pasteItem->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
    connect(pasteItem, &QAction::triggered, this, [this] { pasteFitting(); });
    QAction* allItem = menu->addAction(QString::fromLatin1(kSelectAllItem));
    allItem->setEnabled(!text().isEmpty());
    connect(allItem, &QAction::triggered, this, &QLineEdit::selectAll);
    menu->popup(e->globalPos());
  }

 private:
  QtSheetView* view_;
  int limit_ = kCellBytes;  // bytes the text may hold
};

// ---- The port ------------------------------------------------------------------

QtSheetView::QtSheetView(QObject* parent) : QObject(parent) {}

QtSheetView::~QtSheetView() {
  // The table lives on with the window; it must not reach into this.
  if (table_) {
    table_->setModel(nullptr);
    delete table_.data();
  }
  delete model_;
}

QTableView* QtSheetView::table() const { return table_; }
QLineEdit* QtSheetView::editor() const { return editor_; }

void QtSheetView::attach(QWidget* host) {
  host_ = host;
  if (!host) return;
  if (!host->layout()) {
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
  }
  auto* t = new SheetTable(this, host);
  table_ = t;
  t->setObjectName(QStringLiteral("sheetView"));
  t->setItemDelegate(new CellDelegate(t));
  auto* grid = new GridStyle();
  grid->setParent(t);
  t->setStyle(grid);
  t->setShowGrid(true);
  t->setSelectionMode(QAbstractItemView::NoSelection);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setAutoScroll(false);
  t->setTabKeyNavigation(false);
  t->setWordWrap(false);
  t->setCornerButtonEnabled(false);
  t->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  t->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  t->setFocusPolicy(Qt::StrongFocus);

  // Every row is as high as one line of text: the view never measures rows,
  // which keeps a sheet of a hundred thousand rows as quick as a small one.
  QHeaderView* rows = t->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(t->fontMetrics().height() + kRowPadding);

  QHeaderView* cols = t->horizontalHeader();
  cols->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  cols->setSectionResizeMode(QHeaderView::Interactive);
  cols->setMinimumSectionSize(1);
  cols->setStretchLastSection(false);
  cols->setHighlightSections(false);
  cols->setSectionsMovable(false);
  cols->setSectionsClickable(sortable_);
  connect(cols, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
    if (ownResize_ == 0 && onColumnResized) onColumnResized(column, width);
  });
  connect(cols, &QHeaderView::sectionClicked, this, [this](int column) {
    if (sortable_ && onHeaderClicked) onHeaderClicked(column);
  });
  connect(t->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { reportScroll(); });
  connect(t->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { reportScroll(); });

  host->layout()->addWidget(t);
}

void QtSheetView::reportScroll() {
  if (editorOpen_ && ownScroll_ > 0) placeEditor();
  if (ownScroll_ == 0 && onScrolled) onScrolled();
}

void QtSheetView::showSheet(Sheet* sheet, int numberColumnWidth) {
  if (editorOpen_) closeEditor();
  cursorShown_ = false;
  cursorRow_ = -1;
  scrolledRow_ = -1;
  scrolledCol_ = -1;
  hasMenuPoint_ = false;
  sheet_ = sheet;
  numberWidth_ = numberColumnWidth;
  SheetTableModel* old = model_;
  model_ = sheet ? new SheetTableModel(*sheet, this) : nullptr;
  if (table_) {
    ++ownScroll_;
    QItemSelectionModel* oldSelection = table_->selectionModel();
    table_->setModel(model_);
    delete oldSelection;
    if (model_) {
      // Qt gives new or reset sections its default width; the sheet's widths
      // and sort mark go back on after every such change.
      connect(model_, &QAbstractItemModel::modelReset, this, [this] { applyHeader(); });
      connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { applyHeader(); });
      connect(model_, &QAbstractItemModel::columnsInserted, this, [this] { applyHeader(); });
      connect(model_, &QAbstractItemModel::columnsRemoved, this, [this] { applyHeader(); });
    }
    applyHeader();
    table_->scrollToTop();
    table_->horizontalScrollBar()->setValue(0);
    table_->viewport()->update();
    --ownScroll_;
  }
  delete old;
}

void QtSheetView::applyHeader() {
  if (!table_) return;
  QHeaderView* h = table_->horizontalHeader();
  const bool open = model_ && sheet_ && sheet_->isOpen();
  ++ownResize_;
  if (open) {
    const int cols = model_->columnCount();
    if (cols > 0) h->resizeSection(0, numberWidth_);
    for (int c = 1; c < cols; ++c) h->resizeSection(c, sheet_->columnWidth(SheetTableModel::dataColumn(c)));
  }
  --ownResize_;
  const int sorted = open ? sheet_->sortColumn() : -1;
  if (open && sortable_ && sorted >= 0 && sorted < model_->columnCount() - 1) {
    h->setSortIndicator(SheetTableModel::modelColumn(sorted),
                        sheet_->sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    h->setSortIndicatorShown(true);
  } else {
    h->setSortIndicatorShown(false);
  }
}

void QtSheetView::setVisible(bool on) {
  if (host_) host_->setVisible(on);
}

void QtSheetView::setSortable(bool on) {
  sortable_ = on;
  if (!table_) return;
  table_->horizontalHeader()->setSectionsClickable(on);
  applyHeader();
}

int QtSheetView::displayRowOfCursor() const {
  if (!cursorShown_ || cursorRow_ < 0 || !sheet_ || !sheet_->isOpen() || cursorRow_ >= sheet_->rowCount()) return -1;
  return sheet_->displayRowOf(cursorRow_);
}

QRect QtSheetView::cursorRect() const {
  if (!table_ || !model_) return {};
  const int row = displayRowOfCursor();
  if (row < 0 || row >= model_->rowCount() || cursorCol_ < 0 || cursorCol_ >= model_->columnCount()) return {};
  // Inside the cell's grid lines, one pixel in at the left and the bottom.
  return table_->visualRect(model_->index(row, cursorCol_)).adjusted(1, 0, 0, -1);
}

void QtSheetView::setCursor(int viewRow, int column, bool visible) {
  cursorRow_ = viewRow;
  cursorCol_ = column;
  cursorShown_ = visible && viewRow >= 0;
  const int row = displayRowOfCursor();
  // Only a cursor that moved is scrolled into view: drawing it again where
  // it was leaves the table where the user scrolled it.
  if (row >= 0 && (viewRow != scrolledRow_ || column != scrolledCol_)) {
    scrollToCell(row, column);
    scrolledRow_ = viewRow;
    scrolledCol_ = column;
  }
  if (table_) table_->viewport()->update();
}

void QtSheetView::scrollToCell(int displayRow, int column) {
  if (!table_ || !model_ || displayRow < 0 || displayRow >= model_->rowCount()) return;
  ++ownScroll_;
  table_->layoutNow();
  const QWidget* vp = table_->viewport();
  QScrollBar* vbar = table_->verticalScrollBar();
  const int top = table_->rowViewportPosition(displayRow);
  const int bottom = top + table_->rowHeight(displayRow);
  if (top < 0)
    vbar->setValue(vbar->value() + top);
  else if (bottom > vp->height())
    vbar->setValue(vbar->value() + std::min(top, bottom - vp->height()));
  if (column >= 0 && column < model_->columnCount()) {
    // Horizontally the cell goes between the left edge and the gap at the right.
    QScrollBar* hbar = table_->horizontalScrollBar();
    const int left = table_->columnViewportPosition(column);
    const int right = left + table_->columnWidth(column);
    const int limit = vp->width() - kRightGap;
    if (left < 0)
      hbar->setValue(hbar->value() + left);
    else if (right > limit)
      hbar->setValue(hbar->value() + std::min(left, right - limit));
  }
  --ownScroll_;
}

void QtSheetView::focus() {
  if (editorOpen_ && editor_)
    editor_->setFocus(Qt::OtherFocusReason);
  else if (table_)
    table_->setFocus(Qt::OtherFocusReason);
}

// ---- Cell editor ---------------------------------------------------------------

void QtSheetView::placeEditor() {
  if (!editor_ || !table_ || !model_ || !sheet_) return;
  const int row = editRow_ >= 0 && editRow_ < sheet_->rowCount() ? sheet_->displayRowOf(editRow_) : -1;
  if (row < 0 || editCol_ < 0 || editCol_ >= model_->columnCount()) return;
  const QRect cell = table_->visualRect(model_->index(row, editCol_));
  // Over the cell, but never left of the viewport nor into the gap at its right.
  const int limit = table_->viewport()->width() - kRightGap;
  const int left = std::max(0, cell.left());
  const int right = std::min(cell.left() + cell.width(), limit);
  editor_->setGeometry(left, cell.top(), std::max(1, right - left), cell.height());
}

void QtSheetView::openEditor(int viewRow, int column, const std::string& text, bool caretToEnd,
                             const std::string& tip) {
  if (!table_ || !model_ || !sheet_ || !sheet_->isOpen()) return;
  const int row = viewRow >= 0 && viewRow < sheet_->rowCount() ? sheet_->displayRowOf(viewRow) : -1;
  if (row < 0 || column < 0 || column >= model_->columnCount()) return;
  if (!editor_) editor_ = new CellEdit(this, table_->viewport());
  editRow_ = viewRow;
  editCol_ = column;
  scrollToCell(row, column);
  editor_->start(QString::fromUtf8(text));
  editor_->setToolTip(tip.empty() ? QString() : QString::fromUtf8(tip));
  if (caretToEnd)
    editor_->end(false);
  else
    editor_->selectAll();
  placeEditor();
  editorOpen_ = true;
  editor_->show();
  editor_->raise();
  editor_->setFocus(Qt::OtherFocusReason);
}

void QtSheetView::closeEditor() {
  if (!editorOpen_) return;
  editorOpen_ = false;
  editRow_ = -1;
  // The editor may be closing from inside its own key handler: it is kept
  // for the next edit rather than deleted.
  if (editor_) {
    editor_->hide();
    editor_->setToolTip(QString());
  }
  if (table_) table_->setFocus(Qt::OtherFocusReason);
}

bool QtSheetView::editorOpen() { return editorOpen_ && editor_; }

std::string QtSheetView::editorText() { return editorOpen() ? editor_->text().toStdString() : std::string(); }

void QtSheetView::editorInsert(const std::string& text) {
  if (editorOpen()) static_cast<CellEdit*>(editor_.data())->insertFitting(QString::fromUtf8(text));
}

// ---- Pop-up menu -----------------------------------------------------------------

void QtSheetView::tableContextMenu(const QPoint& pos, const QPoint& globalPos, bool byMouse) {
  int viewRow = -1, column = -1;
  if (byMouse) {
    const auto [row, col] = table_->cellAt(pos);
    viewRow = table_->viewRowOf(row);
    column = col;
    menuPoint_ = globalPos;
    hasMenuPoint_ = true;
  } else {
    // From the keyboard: the menu belongs to the cursor's cell.
    hasMenuPoint_ = false;
    viewRow = displayRowOfCursor() >= 0 ? cursorRow_ : -1;
    column = cursorCol_;
  }
  if (onContextMenu) onContextMenu(viewRow, column);
}

QPoint QtSheetView::menuPosition() const {
  if (hasMenuPoint_) return menuPoint_;
  if (!table_) return QCursor::pos();
  const QRect r = cursorRect();
  const QPoint at = r.isEmpty() ? table_->viewport()->rect().center() : r.center();
  return table_->viewport()->mapToGlobal(at);
}

int QtSheetView::popupMenu(const std::vector<PopupItem>& items) {
  if (!table_) return 0;
  const QPoint at = menuPosition();
  hasMenuPoint_ = false;
  return execPopupMenu(table_, QStringLiteral("sheetMenu"), items, at);
}

}  // namespace vm::ui
