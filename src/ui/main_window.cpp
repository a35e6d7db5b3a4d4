#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>
#include <functional>
#include <memory>

#include "core/commands.h"
#include "ui/drop_target.h"
#include "ui/list_models.h"
#include "ui/qt_ports.h"
#include "ui/qt_web_view.h"

namespace vm::ui {

namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s); }

// Asking a replaced native window for the keyboard: how often, how far apart.
constexpr int kRetakeTries = 10;
constexpr int kRetakeDelayMs = 50;

// The splitter between the viewer area and the navigation column. The
// column keeps the width the App asks for whenever the window changes size;
// while the user drags, a rubber band shows the new place and the panes move
// only when the button is released.
class NavSplitter : public QSplitter {
 public:
  NavSplitter(std::function<int()> wanted, QWidget* parent)
      : QSplitter(Qt::Horizontal, parent), wanted_(std::move(wanted)) {
    setOpaqueResize(false);
    setChildrenCollapsible(false);
  }

  void applyWanted() {
    const int w = wanted_ ? wanted_() : -1;
    if (w < 0 || count() != 2) return;
    const int total = width() - handleWidth();
    if (total <= 0) return;
    const int nav = std::clamp(w, 0, total);
    setSizes({total - nav, nav});
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QSplitter::resizeEvent(e);
    applyWanted();
  }

 private:
  std::function<int()> wanted_;
};

// The current-folder label: reports left clicks.
class ClickLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && onClick) {
      onClick();
      e->accept();
      return;
    }
    QLabel::mousePressEvent(e);
  }
};

// A one-line message that never shows half a word or number: text too long
// for the label ends in "…", and the whole text is the label's tool tip.
class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void setFullText(const QString& text) {
    full_ = text;
    setToolTip(text);
    elide();
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QLabel::resizeEvent(e);
    elide();
  }

 private:
  void elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, std::max(0, contentsRect().width()));
    if (shown != text()) QLabel::setText(shown);
  }
  QString full_;
};

// A counter of the status bar: always as wide as its whole text.
QLabel* counterLabel(QWidget* parent, const char* name) {
  auto* l = new QLabel(parent);
  l->setObjectName(QLatin1String(name));
  l->setTextFormat(Qt::PlainText);
  l->setMinimumWidth(60);
  l->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  return l;
}

// True when the picture is one colour (nothing drawn yet). Every fourth
// pixel of every fourth line is enough for a page.
bool oneColour(const QImage& image) {
  if (image.isNull()) return true;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4)
      if (image.pixel(x, y) != first) return false;
  return true;
}

// A page with a number on it, for the Perpetual note buttons. Drawn at
// each size a toolbar may ask for, up to three times the 24-pixel button on
// a scaled screen, so the number stays sharp.
QIcon numberedIcon(int number) {
  const QIcon page = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 72}) {
    QPixmap base = page.pixmap(QSize(size, size), 1.0);
    if (base.isNull() || base.size() != QSize(size, size)) {
      QPixmap fitted(size, size);
      fitted.fill(Qt::transparent);
      QPainter fp(&fitted);
      if (!base.isNull())
        fp.drawPixmap(QRect(QPoint(0, 0), base.size().scaled(size, size, Qt::KeepAspectRatio)), base);
      else
        fp.fillRect(fitted.rect(), Qt::white);
      base = fitted;
    }
    base.setDevicePixelRatio(1.0);
    QPainter p(&base);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const qreal unit = size / 24.0;
    const QRectF badge(10 * unit, 10 * unit, 13 * unit, 13 * unit);
    QFont f = p.font();
    f.setPixelSize(std::max(6, int(12 * unit + 0.5)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    p.drawEllipse(badge);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, QString::number(number));
    p.end();
    icon.addPixmap(base);
  }
  return icon;
}

void shapeOf(const std::vector<MenuItem>& items, std::string& out) {
  for (const auto& it : items) {
    out += std::to_string(it.id);
    out += it.separator() ? 's' : (it.children.empty() ? 'i' : 'm');
    if (!it.children.empty()) {
      out += '(';
      shapeOf(it.children, out);
      out += ')';
    }
    out += ',';
  }
}

std::string menuShape(const MenuModel& model) {
  std::string out;
  for (const auto& m : model.menus()) {
    out += '[';
    shapeOf(m.items, out);
    out += ']';
  }
  return out;
}

std::string toolbarShape(const ToolbarModel& model) {
  std::string out;
  for (const auto& b : model.buttons()) {
    out += std::to_string(b.id);
    out += b.spacer ? 's' : 'b';
    out += ',';
  }
  return out;
}

void applyItem(QAction* a, const MenuItem& item) {
  a->setText(qs(item.text));
  a->setCheckable(item.checkable);
  a->setChecked(item.checkable && item.checked);
  a->setEnabled(item.enabled);
}

}  // namespace

QIcon MainWindow::toolbarIcon(int picture) {
  QStyle* st = QApplication::style();
  switch (picture) {
    case 0: return st->standardIcon(QStyle::SP_FileIcon);
    case 1: return st->standardIcon(QStyle::SP_DialogSaveButton);
    case 2: return st->standardIcon(QStyle::SP_FileDialogContentsView);
    case 3: return st->standardIcon(QStyle::SP_FileDialogDetailedView);
    case 4: return st->standardIcon(QStyle::SP_ArrowBack);
    case 5: return st->standardIcon(QStyle::SP_ArrowForward);
    case 7: return numberedIcon(1);
    case 8: return numberedIcon(2);
    case 9: return numberedIcon(3);
    case 10: return st->standardIcon(QStyle::SP_DirIcon);
    default: return QIcon();
  }
}

MainWindow::MainWindow(App& app, QWidget* parent) : QMainWindow(parent), app_(app) {
  setObjectName("mainWindow");
  setWindowTitle(qs(app_.status().title()));
  buildPanes();
  connectApp();
  // The rendered page may claim keys before the window's shortcuts see
  // them, and its focus object lives inside the engine's view: only a
  // filter on the whole application sees those keys first.
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::buildPanes() {
  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName("toolbar");
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setIconSize(QSize(24, 24));
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
  toolbar_->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, toolbar_);

  multibar_ = new QLineEdit(this);
  multibar_->setObjectName("multibar");
  multibar_->setMinimumWidth(80);
  multibar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  multibar_->installEventFilter(this);
  // The Multibar's own menu comes from the App.
  multibar_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(multibar_, &QLineEdit::customContextMenuRequested, this, [this] { app_.multibarContextMenu(); });
  multibarAction_ = new QWidgetAction(this);
  multibarAction_->setDefaultWidget(multibar_);

  splitter_ = new NavSplitter([this] { return wantedListWidth(); }, this);
  splitter_->setObjectName("mainSplitter");

  // Viewer area (left).
  viewerArea_ = new QWidget(splitter_);
  viewerArea_->setObjectName("viewerArea");
  auto* viewerLayout = new QVBoxLayout(viewerArea_);
  viewerLayout->setContentsMargins(0, 0, 0, 0);
  noteEditor_ = new NoteEdit(viewerArea_);
  noteEditor_->setObjectName("noteEditor");
  noteEditor_->setEnabled(false);
  defaultNoteFont_ = noteEditor_->font();
  viewerLayout->addWidget(noteEditor_);
  webHost_ = new QWidget(viewerArea_);
  webHost_->setObjectName("webHost");
  auto* webLayout = new QVBoxLayout(webHost_);
  webLayout->setContentsMargins(0, 0, 0, 0);
  webHost_->hide();
  viewerLayout->addWidget(webHost_);
  sheetHost_ = new QWidget(viewerArea_);
  sheetHost_->setObjectName("sheetHost");
  auto* sheetLayout = new QVBoxLayout(sheetHost_);
  sheetLayout->setContentsMargins(0, 0, 0, 0);
  sheetHost_->hide();
  viewerLayout->addWidget(sheetHost_);
  viewerPlaceholder_ = new QWidget(viewerArea_);
  viewerPlaceholder_->setObjectName("viewerPlaceholder");
  viewerPlaceholder_->setAutoFillBackground(true);
  viewerPlaceholder_->setBackgroundRole(QPalette::Base);
  viewerPlaceholder_->hide();
  viewerLayout->addWidget(viewerPlaceholder_);
  messageField_ = new ElidedLabel(viewerArea_);
  messageField_->setObjectName("messageField");
  messageField_->setFrameShape(QFrame::StyledPanel);
  messageField_->setFrameShadow(QFrame::Sunken);
  messageField_->setAutoFillBackground(true);
  messageField_->setBackgroundRole(QPalette::Base);
  messageField_->hide();
  viewerArea_->installEventFilter(this);

  // Navigation column (right).
  navColumn_ = new QWidget(splitter_);
  navColumn_->setObjectName("navColumn");
  navColumn_->setMinimumWidth(40);
  auto* nav = new QVBoxLayout(navColumn_);
  nav->setContentsMargins(0, 0, 2, 0);
  nav->setSpacing(2);

  rootList_ = new QComboBox(navColumn_);
  rootList_->setObjectName("rootList");
  rootList_->setEditable(true);
  rootList_->setInsertPolicy(QComboBox::NoInsert);
  rootList_->setMaxVisibleItems(12);
  rootList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  rootList_->setMinimumContentsLength(4);
  // Keys reach the combo box first, which hands them to its line edit
  // directly; watch both so Enter is seen whichever way it comes.
  rootList_->installEventFilter(this);
  rootList_->lineEdit()->installEventFilter(this);
  connect(rootList_, &QComboBox::activated, this, [this](int index) {
    if (index < 0) return;
    app_.rootChosen(rootList_->itemText(index).toStdString());
    refillRootList();
  });
  nav->addWidget(rootList_);

  auto* label = new ClickLabel(navColumn_);
  folderLabel_ = label;
  folderLabel_->setObjectName("folderLabel");
  folderLabel_->setTextFormat(Qt::PlainText);
  folderLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  QFont lf = folderLabel_->font();
  lf.setPixelSize(12);
  folderLabel_->setFont(lf);
  QPalette lp = folderLabel_->palette();
  lp.setColor(QPalette::WindowText, Qt::red);
  folderLabel_->setPalette(lp);
  folderLabel_->setCursor(Qt::PointingHandCursor);
  label->onClick = [this] { app_.folderLabelClicked(); };
  nav->addWidget(folderLabel_);

  folderList_ = new QListView(navColumn_);
  folderList_->setObjectName("folderList");
  fileList_ = new QListView(navColumn_);
  fileList_->setObjectName("fileList");
  nav->addWidget(folderList_, 1);
  nav->addWidget(fileList_, 1);

  folderModel_ = new CoreListModel(app_.folderList(), CoreListModel::Kind::Folders, this);
  fileModel_ = new CoreListModel(app_.fileList(), CoreListModel::Kind::Files, this);
  folderBinding_ = new ListViewBinding(folderList_, folderModel_, this);
  fileBinding_ = new ListViewBinding(fileList_, fileModel_, this);
  folderBinding_->onSelected = [this](int row) { app_.folderSelected(row); };
  folderBinding_->onActivated = [this](int row) { app_.folderActivated(row); };
  fileBinding_->onSelected = [this](int row) { app_.fileClicked(row); };
  fileBinding_->onClickedAgain = [this](int row) { app_.fileClicked(row); };
  fileBinding_->onActivated = [this](int row) { app_.fileActivated(row); };
  folderBinding_->onLabelEdited = [this](const std::string& oldText, const std::string& newText) {
    app_.labelEdited(cmd::kFolderList, oldText, newText);
  };
  fileBinding_->onLabelEdited = [this](const std::string& oldText, const std::string& newText) {
    app_.labelEdited(cmd::kFileList, oldText, newText);
  };
  // The lists' own menus come from the App.
  folderList_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(folderList_, &QWidget::customContextMenuRequested, this,
          [this] { app_.listContextMenu(cmd::kFolderList); });
  fileList_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(fileList_, &QWidget::customContextMenuRequested, this, [this] { app_.listContextMenu(cmd::kFileList); });
  fileDrag_ = new FileListDrag(fileList_, fileModel_, folderList_, folderBinding_, this);
  fileDrag_->onDropped = [this](const std::string& name, int row) { app_.fileDroppedOnFolder(name, row); };
  fileDrag_->filesFolder = [this] { return app_.roots().current().filesFolder(); };
  // Drops from other programs; the File List's own drags are not taken back.
  auto* fileDrops = new DropTarget(fileList_->viewport(), [this](const DropData& d) { app_.dropOnFileList(d); }, this);
  fileDrops->isOwnDrag = [this](const QObject* s) { return s && (s == fileList_ || s == fileList_->viewport()); };
  auto* noteDrops = new DropTarget(noteEditor_->viewport(), [this](const DropData& d) { app_.dropOnNote(d); }, this);
  noteDrops->isOwnDrag = [this](const QObject* s) { return s && (s == noteEditor_ || s == noteEditor_->viewport()); };
  noteDrops->passOwnDrags = true;  // the editor moves its own text

  splitter_->addWidget(viewerArea_);
  splitter_->addWidget(navColumn_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  connect(splitter_, &QSplitter::splitterMoved, this, [this] { splitterReleased(); });
  setCentralWidget(splitter_);

  placementTimer_ = new QTimer(this);
  placementTimer_->setSingleShot(true);
  placementTimer_->setInterval(100);
  connect(placementTimer_, &QTimer::timeout, this, &MainWindow::storePlacement);
}

void MainWindow::connectApp() {
  // The App's signals cannot be disconnected: each slot checks that the
  // window still exists.
  QPointer<MainWindow> self(this);
  app_.menus().changed.connect([self] {
    if (self) self->menusChanged();
  });
  app_.toolbar().changed.connect([self] {
    if (self) self->toolbarChanged();
  });
  app_.status().changed.connect([self] {
    if (self) self->updateStatus();
  });
  app_.rootListChanged.connect([self] {
    if (self) self->refillRootList();
  });
  app_.folderLabelChanged.connect([self] {
    if (self) self->updateFolderLabel();
  });
  app_.modeChanged.connect([self] {
    if (!self) return;
    self->menusChanged();
    self->toolbarChanged();
  });
  app_.viewerChanged.connect([self] {
    if (self) self->showViewer();
  });
  app_.noteLookChanged.connect([self] {
    if (self) self->applyNoteLook();
  });
  app_.alwaysOnTopChanged.connect([self] {
    if (self) QtWindowPort::applyStayOnTop(self, self->app_.alwaysOnTop());
  });
  app_.aboutRequested.connect([self](std::string text) {
    if (self) QMessageBox::about(self, QStringLiteral("About Vellumark"), qs(text));
  });
}

void MainWindow::showAtStart() {
  started_ = true;
  refreshAll();
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const RestorePlan plan = app_.restorePlan(avail.width(), avail.height(), 0);
  if (plan.useDefault) {
    // The first size, within the screen (a small screen at a large scale has
    // fewer than 1000 x 700 logical pixels).
    resize(std::min(1000, std::max(320, avail.width())), std::min(700, std::max(240, avail.height())));
    show();
  } else {
    setGeometry(plan.left, plan.top, std::max(1, plan.right - plan.left), std::max(1, plan.bottom - plan.top));
    if (plan.maximised)
      showMaximized();
    else
      show();
  }
  static_cast<NavSplitter*>(splitter_)->applyWanted();
  // Whatever Qt chose as the first focus (the Root List's field), work
  // starts in the viewer or the File List.
  app_.placeFocus();
}

void MainWindow::refreshAll() {
  rebuildMenus();
  rebuildToolbar();
  refillRootList();
  updateFolderLabel();
  updatePaneTips();
  updateStatus();
  folderBinding_->syncFromCore();
  fileBinding_->syncFromCore();
  showViewer();
  applyNoteLook();
  QtWindowPort::applyStayOnTop(this, app_.alwaysOnTop());
}

bool MainWindow::saveScreenshot(const QString& file) {
  const QPixmap picture = grab();
  return !picture.isNull() && picture.save(file, "PNG");
}

bool MainWindow::loading() const {
  const bool page = webHost_->isVisible() && web_ && web_->loading();
  return page || app_.sheet().loading();
}

bool MainWindow::pageDrawn() const {
  if (!webHost_->isVisible()) return true;
  QWidget* view = web_ ? web_->view() : nullptr;
  return view && !oneColour(view->grab().toImage());
}

// ---- Commands, menus and toolbar -----------------------------------------

void MainWindow::runCommand(int id) {
  // A command that keeps the window alive through the pump (a search, a long
  // load) may change the menus; the action, menu or shortcut that triggered
  // it is still on the stack, so menus and toolbar are rebuilt only after it.
  ++commandDepth_;
  app_.command(id);
  --commandDepth_;
  if (rebuildAfterCommand_ && commandDepth_ == 0) {
    rebuildAfterCommand_ = false;
    scheduleRebuild();
  }
  // The core may have refused a check or enable change that Qt already drew.
  if (menuShape(app_.menus()) == menuShape_) updateMenusInPlace();
  if (toolbarShape(app_.toolbar()) == toolbarShape_) updateToolbarInPlace();
}

void MainWindow::scheduleRebuild() {
  // A rebuild deletes actions; the one that triggered the change may still
  // be on the stack, so rebuild from the event loop.
  if (rebuildPending_) return;
  rebuildPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        rebuildPending_ = false;
        if (commandDepth_ > 0) {
          rebuildAfterCommand_ = true;
          return;
        }
        if (menuShape(app_.menus()) != menuShape_) rebuildMenus();
        if (toolbarShape(app_.toolbar()) != toolbarShape_) rebuildToolbar();
      },
      Qt::QueuedConnection);
}

void MainWindow::menusChanged() {
  if (!updateMenusInPlace()) scheduleRebuild();
}

void MainWindow::toolbarChanged() {
  if (!updateToolbarInPlace()) scheduleRebuild();
  updatePaneTips();
}

void MainWindow::rebuildMenus() {
  menuBar()->clear();
  for (QMenu* m : menus_) m->deleteLater();
  menus_.clear();
  menuActions_.clear();

  std::function<void(QMenu*, const std::vector<MenuItem>&)> fill = [&](QMenu* menu,
                                                                         const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
      if (item.separator()) {
        menuActions_.push_back(menu->addSeparator());
      } else if (!item.children.empty()) {
        QMenu* sub = menu->addMenu(qs(item.text));
        sub->menuAction()->setEnabled(item.enabled);
        menuActions_.push_back(sub->menuAction());
        fill(sub, item.children);
      } else {
        QAction* a = menu->addAction(qs(item.text));
        applyItem(a, item);
        a->setData(item.id);
        a->setObjectName(QStringLiteral("menu%1").arg(item.id));
        if (!item.shortcut.empty())
          a->setShortcut(QKeySequence(qs(item.shortcut), QKeySequence::PortableText));
        const int id = item.id;
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        menuActions_.push_back(a);
      }
    }
  };
  for (const Menu& m : app_.menus().menus()) {
    QMenu* menu = new QMenu(qs(m.title), this);
    menuBar()->addMenu(menu);
    menus_.push_back(menu);
    // Items that act on the note's selection are enabled as the menu opens.
    connect(menu, &QMenu::aboutToShow, this, [this] { app_.menuAboutToOpen(); });
    fill(menu, m.items);
  }
  menuShape_ = menuShape(app_.menus());
  rebuildShortcuts();
}

void MainWindow::rebuildShortcuts() {
  for (QShortcut* s : shortcuts_) delete s;
  shortcuts_.clear();
  QList<QKeySequence> taken;
  for (QAction* a : menuActions_)
    if (!a->shortcut().isEmpty()) taken << a->shortcut();
  for (const Accelerator& acc : app_.accelerators()) {
    const QKeySequence keys(qs(acc.keys), QKeySequence::PortableText);
    if (keys.isEmpty()) continue;
    // "Enter" names both the main Return key and the keypad's Enter.
    QList<QKeySequence> variants{keys};
    const QKeyCombination k = keys[0];
    if (keys.count() == 1 && (k.key() == Qt::Key_Enter || k.key() == Qt::Key_Return))
      variants << QKeySequence(QKeyCombination(k.keyboardModifiers(),
                                               k.key() == Qt::Key_Enter ? Qt::Key_Return : Qt::Key_Enter));
    for (const QKeySequence& seq : variants) {
      if (taken.contains(seq)) continue;  // the menu item's shortcut runs it
      taken << seq;
      auto* s = new QShortcut(seq, this);
      s->setContext(Qt::WindowShortcut);
      const int id = acc.id;
      connect(s, &QShortcut::activated, this, [this, id] { runCommand(id); });
      shortcuts_.push_back(s);
    }
  }
  windowKeys_ = taken;
}

bool MainWindow::updateMenusInPlace() {
  if (menuShape(app_.menus()) != menuShape_) return false;
  std::size_t i = 0;
  std::function<void(const std::vector<MenuItem>&)> walk = [&](const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
      if (i >= menuActions_.size()) return;
      QAction* a = menuActions_[i++];
      if (item.separator()) continue;
      if (!item.children.empty()) {
        a->setText(qs(item.text));
        a->setEnabled(item.enabled);
        walk(item.children);
      } else {
        applyItem(a, item);
      }
    }
  };
  for (std::size_t m = 0; m < app_.menus().menus().size() && m < menus_.size(); ++m) {
    menus_[m]->setTitle(qs(app_.menus().menus()[m].title));
    walk(app_.menus().menus()[m].items);
  }
  return true;
}

void MainWindow::rebuildToolbar() {
  for (QAction* a : toolbar_->actions()) toolbar_->removeAction(a);
  for (QAction* a : toolActions_)
    if (a) a->deleteLater();
  toolActions_.clear();

  bool multibarPlaced = false;
  for (const ToolButton& b : app_.toolbar().buttons()) {
    if (b.spacer) {
      toolActions_.push_back(nullptr);
      if (b.id == cmd::kToolSpacerMultibar && !multibarPlaced) {
        toolbar_->addAction(multibarAction_);
        multibarPlaced = true;
      }
      continue;
    }
    auto* a = new QAction(this);
    a->setObjectName(QStringLiteral("tool%1").arg(b.id));
    a->setData(b.id);
    const int id = b.id;
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    toolbar_->addAction(a);
    toolActions_.push_back(a);
    // Without a spacer for it, the Multibar follows the mode button.
    if (b.id == cmd::kToolViewEdit && !multibarPlaced &&
        !app_.toolbar().find(cmd::kToolSpacerMultibar)) {
      toolbar_->addAction(multibarAction_);
      multibarPlaced = true;
    }
  }
  if (!multibarPlaced) toolbar_->addAction(multibarAction_);
  toolbarShape_ = toolbarShape(app_.toolbar());
  updateToolbarInPlace();
}

bool MainWindow::updateToolbarInPlace() {
  if (toolbarShape(app_.toolbar()) != toolbarShape_) return false;
  const auto& buttons = app_.toolbar().buttons();
  for (std::size_t i = 0; i < buttons.size() && i < toolActions_.size(); ++i) {
    QAction* a = toolActions_[i];
    if (!a) continue;
    const ToolButton& b = buttons[i];
    a->setIcon(toolbarIcon(b.picture));
    // No text: an action without a tip would show its text as one.
    a->setToolTip(qs(b.tip));
    a->setEnabled(b.enabled);
  }
  return true;
}

// ---- Navigation column ---------------------------------------------------

void MainWindow::refillRootList() {
  const QSignalBlocker block(rootList_);
  rootList_->clear();
  for (const std::string& name : app_.rootListItems()) rootList_->addItem(qs(name));
  const QString current = qs(app_.rootListCurrent());
  rootList_->setCurrentIndex(rootList_->findText(current, Qt::MatchExactly));
  rootList_->setEditText(current);
}

void MainWindow::showViewer() {
  const Viewer v = app_.currentViewer();
  noteEditor_->setLineWrapMode(app_.wordWrap() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  noteEditor_->setVisible(v == Viewer::Text);
  webHost_->setVisible(v == Viewer::Web);
  sheetHost_->setVisible(v == Viewer::Sheet);
  viewerPlaceholder_->setVisible(v != Viewer::Text && v != Viewer::Web && v != Viewer::Sheet);
}

void MainWindow::applyNoteLook() {
  const NoteLook& look = app_.noteLook();
  QFont font = defaultNoteFont_;
  if (!look.font.empty()) {
    font = QFont(qs(look.font));
    if (look.fontSize > 0) font.setPixelSize(look.fontSize);
    font.setWeight(QFont::Normal);
  }
  noteEditor_->setFont(font);
  noteEditor_->setGutter(look.gutter);
}

void MainWindow::updateFolderLabel() { folderLabel_->setText(qs(app_.folderLabel())); }

void MainWindow::updatePaneTips() {
  multibar_->setToolTip(qs(app_.paneTip(cmd::kMultibar)));
  folderLabel_->setToolTip(qs(app_.paneTip(cmd::kFolderLabel)));
  rootList_->setToolTip(qs(app_.paneTip(cmd::kRootList)));
  rootList_->lineEdit()->setToolTip(rootList_->toolTip());
  fileList_->setToolTip(qs(app_.paneTip(cmd::kFileList)));
  folderList_->setToolTip(qs(app_.paneTip(cmd::kFolderList)));
}

void MainWindow::editLabel(int control, int index) {
  if (control == cmd::kFolderList) folderBinding_->editLabel(index);
  if (control == cmd::kFileList) fileBinding_->editLabel(index);
}

int MainWindow::wantedListWidth() { return started_ ? app_.listWidth() : -1; }

void MainWindow::splitterReleased() {
  const QList<int> sizes = splitter_->sizes();
  if (sizes.size() == 2 && started_) app_.splitterReleased(sizes[1]);
}

// ---- Status, title -------------------------------------------------------

void MainWindow::ensureStatusBar() {
  if (statusMessage_) return;
  auto* bar = new QStatusBar(this);
  bar->setObjectName("statusBar");
  statusMessage_ = new ElidedLabel(bar);
  statusMessage_->setObjectName("statusMessage");
  statusMessage_->setMaximumWidth(500);
  charCounter_ = counterLabel(bar, "charCounter");
  wordCounter_ = counterLabel(bar, "wordCounter");
  auto* rest = new QLabel(bar);
  rest->setObjectName("statusRest");
  bar->addWidget(statusMessage_, 10);
  bar->addWidget(charCounter_);
  bar->addWidget(wordCounter_);
  bar->addWidget(rest, 1);
  setStatusBar(bar);
}

void MainWindow::updateStatus() {
  const StatusLine& s = app_.status();
  setWindowTitle(qs(s.title()));
  if (s.useStatBar()) {
    ensureStatusBar();
    static_cast<ElidedLabel*>(statusMessage_)->setFullText(qs(s.message()));
    charCounter_->setText(qs(s.charCounter()));
    wordCounter_->setText(qs(s.wordCounter()));
    messageField_->hide();
    return;
  }
  static_cast<ElidedLabel*>(messageField_)->setFullText(qs(s.message()));
  if (s.fieldVisible()) {
    placeMessageField();
    messageField_->show();
    messageField_->raise();
  } else {
    messageField_->hide();
  }
}

void MainWindow::placeMessageField() {
  const int w = viewerArea_->width(), h = viewerArea_->height();
  messageField_->setGeometry(2, h - 19, std::max(0, w - 19), 17);
}

// ---- Window events -------------------------------------------------------

// Enter in the Multibar goes to the App; Ctrl+Enter too, and while the
// Multibar has the focus it takes the key from the window's accelerator.
bool MainWindow::multibarKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (mods != Qt::NoModifier && mods != Qt::ControlModifier) return false;
  key->accept();
  if (event->type() == QEvent::KeyPress) app_.multibarEnter(mods == Qt::ControlModifier);
  return true;
}

// A key of the window (menu item or accelerator) goes to the window
// whatever has the focus: neither the rendered page nor a line edit (whose
// Ctrl+E would move to the end of the line) gets to claim it.
bool MainWindow::windowKey(QEvent* event) {
  if (event->type() != QEvent::ShortcutOverride) return false;
  // The page's focus object may be an item inside the view rather than a
  // widget; the focus widget tells where the key is going.
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == 0 || key->key() == Qt::Key_unknown) return false;
  const QKeySequence seq(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
  if (!windowKeys_.contains(seq)) return false;
  event->ignore();
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (windowKey(event)) return true;
  if (watched == multibar_ && multibarKey(event)) return true;
  if (watched == fileList_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && !(key->modifiers() & ~Qt::KeypadModifier)) {
      app_.command(cmd::kDeleteFile);
      return true;
    }
  }
  if (watched == viewerArea_ && event->type() == QEvent::Resize && messageField_) {
    placeMessageField();
  } else if (rootList_ && (watched == rootList_ || watched == rootList_->lineEdit()) &&
             event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const auto chords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & chords)) {
      // Enter in the Root List's edit field selects or adds what was typed.
      app_.rootTyped(rootList_->lineEdit()->text().toStdString());
      refillRootList();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  schedulePlacement();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  schedulePlacement();
}

// The first rendered page makes Qt replace the window's native window (it
// switches to an OpenGL surface); the old one takes the keyboard with it, so
// after the first page every key would go nowhere until a click. The new
// window is asked for the keyboard again, as soon as it can take it.
bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WinIdChange && started_ && isVisible()) {
    retakeTries_ = 0;
    QTimer::singleShot(0, this, &MainWindow::retakeKeyboard);
  }
  return QMainWindow::event(event);
}

void MainWindow::retakeKeyboard() {
  if (!isVisible() || isActiveWindow() || app_.isShutDown()) return;
  if (QApplication::activeWindow()) return;  // a dialog of ours has it
  activateWindow();
  if (++retakeTries_ < kRetakeTries) QTimer::singleShot(kRetakeDelayMs, this, &MainWindow::retakeKeyboard);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) schedulePlacement();
  // The desktop turned light or dark: a rendered note follows.
  if (event->type() == QEvent::PaletteChange && started_ && !app_.isShutDown()) app_.paletteChanged();
}

void MainWindow::schedulePlacement() {
  if (started_ && storePlacement_ && !app_.isShutDown()) placementTimer_->start();
}

void MainWindow::storePlacement() {
  if (!started_ || !storePlacement_ || app_.isShutDown() || isMinimized()) return;
  const QRect g = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  WindowPlacement p;
  p.flags = 0;
  p.showState = isMaximized() ? 3 : 1;
  p.left = g.x();
  p.top = g.y();
  p.right = g.x() + g.width();
  p.bottom = g.y() + g.height();
  app_.windowPlacementChanged(p);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (placementTimer_->isActive()) {
    placementTimer_->stop();
    storePlacement();
  }
  if (!app_.isShutDown()) app_.shutDown();
  event->accept();
}

}  // namespace vm::ui
