#include "ui/configure_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/fs.h"
#include "platform/text.h"
#include "ui/qt_ports.h"

namespace vm {

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string s8(const QString& s) { return s.toStdString(); }

const SettingDef* const kPerpetualKeys[3] = {&setting::PerpetualNote1, &setting::PerpetualNote2,
                                             &setting::PerpetualNote3};

constexpr const char* kFontSizes[] = {"8",  "9",  "10", "11", "12", "14", "16", "18",
                                      "20", "22", "24", "26", "28", "36", "48", "72"};

void say(QWidget* parent, const ConfigureMessage& m) { QMessageBox::warning(parent, q(m.title), q(m.text)); }

}  // namespace

ConfigureDialog::ConfigureDialog(ConfigureSession& session, QWidget* parent) : QDialog(parent), session_(session) {
  setWindowTitle("Configure");
  auto* outer = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  pages_ = new QTreeWidget(this);
  pages_->setObjectName("Pages");
  pages_->setColumnCount(1);
  pages_->setHeaderLabels({"Pages"});
  pages_->setRootIsDecorated(false);
  pages_->setSelectionBehavior(QAbstractItemView::SelectRows);
  pages_->setFixedWidth(130);
  for (auto name : kConfigurePages) pages_->addTopLevelItem(new QTreeWidgetItem(QStringList{q(name)}));
  body->addWidget(pages_);
  area_ = new QWidget(this);
  auto* areaLayout = new QVBoxLayout(area_);
  areaLayout->setContentsMargins(30, 0, 0, 0);
  page_ = new QLabel("Select a configuration page from the list", area_);
  areaLayout->addWidget(page_);
  body->addWidget(area_, 1);
  outer->addLayout(body, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  outer->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &ConfigureDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ConfigureDialog::reject);
  connect(pages_, &QTreeWidget::itemSelectionChanged, this, [this] {
    auto sel = pages_->selectedItems();
    if (sel.isEmpty()) {
      leavePage();
      return;
    }
    const std::string text = s8(sel.front()->text(0));
    for (int p = 0; p < static_cast<int>(kConfigurePages.size()); ++p)
      if (text == kConfigurePages[static_cast<std::size_t>(p)]) showPage(p);
  });
  resize(720, 520);
}

void ConfigureDialog::leavePage() {
  for (auto& w : writers_) w();
  writers_.clear();
  if (page_) page_->deleteLater();
  if (page_) page_->hide();
  page_ = nullptr;
  current_ = -1;
}

void ConfigureDialog::showPage(int page) {
  if (page == current_) return;
  leavePage();
  if (page >= 0 && page < static_cast<int>(kConfigurePages.size())) {
    QSignalBlocker block(pages_);
    pages_->setCurrentItem(pages_->topLevelItem(page));
  }
  auto* w = new QWidget(area_);
  w->setObjectName(page == kNotePickerPage ? QString("Note picker") : q(kConfigurePages[static_cast<std::size_t>(page)]));
  auto* l = new QVBoxLayout(w);
  switch (page) {
    case 0: buildGeneral(l); break;
    case 1: buildTextViewer(l); break;
    case 2: buildWebBrowser(l); break;
    case 3: buildRoots(l); break;
    case 4: buildPerpetual(l); break;
    case 5: buildExternal(l); break;
    case 6: buildSpreadsheet(l); break;
    case 7: buildDates(l); break;
    case kNotePickerPage: buildNotePicker(l); break;
    default: break;
  }
  l->addStretch(1);
  area_->layout()->addWidget(w);
  w->show();
  page_ = w;
  current_ = page;
}

QCheckBox* ConfigureDialog::addFlag(QVBoxLayout* l, const SettingDef& d) {
  auto* box = new QCheckBox(q(d.control));
  box->setObjectName(q(d.key));
  box->setChecked(session_.flag(d));
  l->addWidget(box);
  writers_.push_back([this, box, &d] { session_.setFlag(d, box->isChecked()); });
  return box;
}

QLineEdit* ConfigureDialog::addField(QVBoxLayout* l, const SettingDef& d, QWidget* trailing) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(q(d.control)));
  auto* edit = new QLineEdit(q(session_.text(d)));
  edit->setObjectName(q(d.key));
  edit->setMaxLength(259);
  row->addWidget(edit, 1);
  if (trailing) row->addWidget(trailing);
  l->addLayout(row);
  writers_.push_back([this, edit, &d] { session_.setText(d, s8(edit->text())); });
  return edit;
}

void ConfigureDialog::footer(QVBoxLayout* l, const char* text) {
  l->addSpacing(12);
  auto* f = new QLabel(text);
  f->setWordWrap(true);
  l->addWidget(f);
}

void ConfigureDialog::buildGeneral(QVBoxLayout* l) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Autosave every"));
  auto* minutes = new QLineEdit(q(session_.text(setting::AutoSave)));
  minutes->setObjectName("AutoSave");
  minutes->setMaximumWidth(60);
  row->addWidget(minutes);
  row->addWidget(new QLabel("minutes"));
  row->addStretch(1);
  l->addLayout(row);
  writers_.push_back([this, minutes] { session_.setText(setting::AutoSave, s8(minutes->text())); });
  auto* statBar = addFlag(l, setting::UseStatBar);
  l->addWidget(new QLabel("Restart after changing this setting"));
  auto* words = addFlag(l, setting::NoteShowWordCount);
  auto* chars = addFlag(l, setting::NoteShowCharCount);
  auto follow = [statBar, words, chars] {
    words->setEnabled(statBar->isChecked());
    chars->setEnabled(statBar->isChecked());
  };
  follow();
  connect(statBar, &QCheckBox::toggled, this, follow);
  addFlag(l, setting::TnFileWithOriginal);
  addFlag(l, setting::BackInsteadOfNew);
  addFlag(l, setting::TnHideFiles);
  addFlag(l, setting::ExpertMode);
}

void ConfigureDialog::buildTextViewer(QVBoxLayout* l) {
  addField(l, setting::DefaultExtension)->setMaxLength(9);
  auto* form = new QFormLayout;
  auto* font = new QComboBox;
  font->setObjectName("NoteFont");
  QSet<QString> seen;
  for (const QString& family : QFontDatabase::families()) {
    if (family.size() > 31 || seen.contains(family) || seen.size() >= 260) continue;
    seen.insert(family);
    font->addItem(family);
  }
  font->setCurrentIndex(font->findText(q(session_.text(setting::NoteFont))));
  form->addRow("Note font", font);
  auto* size = new QComboBox;
  size->setObjectName("NoteFontSize");
  size->setEditable(true);
  for (const char* s : kFontSizes) size->addItem(s);
  size->setCurrentText(q(session_.text(setting::NoteFontSize)));
  form->addRow("Font size", size);
  l->addLayout(form);
  addField(l, setting::TextExtraExtensions);
  l->addWidget(new QLabel("Separate extensions with commas"));
  writers_.push_back([this, font, size] {
    if (font->currentIndex() >= 0) session_.setText(setting::NoteFont, s8(font->currentText()));
    if (!size->currentText().trimmed().isEmpty()) session_.setText(setting::NoteFontSize, s8(size->currentText()));
  });
}

void ConfigureDialog::buildWebBrowser(QVBoxLayout* l) {
  addField(l, setting::WebExtraExtensions);
  addField(l, setting::MarkdownExtraExtensions);
  auto* show = addFlag(l, setting::ShowCSSInMenu);
  auto* save = addFlag(l, setting::SaveCSSOnChange);
  save->setEnabled(show->isChecked());
  connect(show, &QCheckBox::toggled, save, &QCheckBox::setEnabled);
  footer(l, "Add other markdown extensions and allow change CSS");
}

// ---------------------------------------------------------------- roots

void ConfigureDialog::fillRoots(QTreeWidget* list) {
  list->clear();
  for (const auto& r : session_.roots())
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{q(r.path), q(r.alias), q(r.extension)}));
}

void ConfigureDialog::buildRoots(QVBoxLayout* l) {
  auto* list = new QTreeWidget;
  list->setObjectName("Roots");
  list->setColumnCount(3);
  list->setHeaderLabels({"Path", "Alias", "Extension"});
  list->setRootIsDecorated(false);
  list->header()->resizeSection(0, 200);
  list->header()->resizeSection(1, 100);
  list->header()->resizeSection(2, 100);
  fillRoots(list);
  l->addWidget(list);
  auto* buttons = new QHBoxLayout;
  auto* add = new QPushButton("Add");
  auto* edit = new QPushButton("Edit");
  auto* del = new QPushButton("Delete");
  for (auto* b : {add, edit, del}) buttons->addWidget(b);
  buttons->addStretch(1);
  l->addLayout(buttons);
  auto selectedRow = [list] {
    auto* it = list->currentItem();
    return it ? list->indexOfTopLevelItem(it) : -1;
  };
  connect(add, &QPushButton::clicked, this, [this, list] { rootDialog(list, -1); });
  connect(edit, &QPushButton::clicked, this, [this, list, selectedRow] {
    if (selectedRow() >= 0) rootDialog(list, selectedRow());
  });
  connect(list, &QTreeWidget::itemDoubleClicked, this,
          [this, list](QTreeWidgetItem* it) { rootDialog(list, list->indexOfTopLevelItem(it)); });
  connect(del, &QPushButton::clicked, this, [this, list, selectedRow] {
    session_.removeRoot(selectedRow());
    fillRoots(list);
  });
  addFlag(l, setting::RootAutoAddMyDocuments);
  addFlag(l, setting::RootAutoAddCDrive);
  addFlag(l, setting::RootAdjustForNetwork);
  addFlag(l, setting::HideHidden);
}

void ConfigureDialog::rootDialog(QTreeWidget* list, int row) {
  QDialog d(this);
  d.setWindowTitle("Add New Root");
  d.setObjectName("Add New Root");
  d.setMinimumWidth(480);
  auto* form = new QFormLayout(&d);
  auto* path = new QLineEdit;
  path->setObjectName("Path");
  auto* pick = new QPushButton(". . .");
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path, 1);
  pathRow->addWidget(pick);
  form->addRow("Path", pathRow);
  auto* alias = new QLineEdit;
  alias->setObjectName("Alias");
  form->addRow("Alias", alias);
  auto* ext = new QLineEdit;
  ext->setObjectName("Default extension");
  form->addRow("Default extension", ext);
  auto* remote = new QPushButton("Set path for remote use");
  form->addRow(remote);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  if (row >= 0 && row < static_cast<int>(session_.roots().size())) {
    const RootRow& r = session_.roots()[static_cast<std::size_t>(row)];
    path->setText(q(r.path));
    alias->setText(q(r.alias));
    ext->setText(q(r.extension));
  }
  connect(pick, &QPushButton::clicked, &d, [&] {
    QString dir = QFileDialog::getExistingDirectory(&d, "Pick a Directory", path->text());
    if (!dir.isEmpty()) path->setText(dir);
  });
  connect(remote, &QPushButton::clicked, &d, [&] {
    std::string p = s8(path->text());
    if (auto m = session_.contractForRemote(p))
      say(&d, *m);
    else
      path->setText(q(p));
  });
  connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, &d, [&] {
    RootRow r{s8(path->text()), s8(alias->text()), s8(ext->text())};
    auto m = row < 0 ? session_.addRoot(std::move(r)) : session_.editRoot(row, std::move(r));
    if (m)
      say(&d, *m);
    else
      d.accept();
  });
  if (d.exec() == QDialog::Accepted) fillRoots(list);
}

// ---------------------------------------------------------------- Perpetual notes

void ConfigureDialog::buildPerpetual(QVBoxLayout* l) {
  for (int n = 0; n < 3; ++n) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QString("Perpetual %1").arg(n + 1)));
    auto* edit = new QLineEdit(q(pickWaiting_ && pickField_ == n ? picked_ : session_.perpetualText(n)));
    edit->setObjectName(q(kPerpetualKeys[n]->key));
    row->addWidget(edit, 1);
    auto* pick = new QPushButton(". . .");
    pick->setObjectName(QString("pick%1").arg(n + 1));
    row->addWidget(pick);
    l->addLayout(row);
    writers_.push_back([this, edit, n] { session_.setPerpetualText(n, s8(edit->text())); });
    connect(pick, &QPushButton::clicked, this, [this, n] {
      pickField_ = n;
      pickWaiting_ = false;
      showPage(kNotePickerPage);
    });
  }
  pickWaiting_ = false;
  footer(l, "Assign notes to toolbar buttons on the right of the Multibar");
}

void ConfigureDialog::buildNotePicker(QVBoxLayout* l) {
  auto* rootBox = new QComboBox;
  rootBox->setObjectName("PickerRoot");
  l->addWidget(rootBox);
  auto* lists = new QHBoxLayout;
  auto* folders = new QListWidget;
  folders->setObjectName("Folder");
  auto* files = new QListWidget;
  files->setObjectName("File");
  for (auto* w : {folders, files}) w->setFixedWidth(350);
  auto* fl = new QVBoxLayout;
  fl->addWidget(new QLabel("Folder"));
  fl->addWidget(folders);
  auto* fi = new QVBoxLayout;
  fi->addWidget(new QLabel("File"));
  fi->addWidget(files);
  lists->addLayout(fl);
  lists->addLayout(fi);
  l->addLayout(lists);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName("PickerButtons");
  auto* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(false);
  l->addWidget(buttons);

  // The picker's place: the chosen root's folder and the folder whose files are listed.
  struct Place {
    std::string root, folder;
  };
  auto place = std::make_shared<Place>();
  auto listFolder = [this, place, folders, files, ok](const std::string& folder, const std::string& selectFile) {
    place->folder = folder;
    auto listing = listPickerFolder(folder, folder != place->root && folder.size() > place->root.size());
    folders->clear();
    files->clear();
    for (const auto& f : listing.folders) folders->addItem(q(f));
    for (const auto& f : listing.files) files->addItem(q(f));
    auto found = files->findItems(q(selectFile), Qt::MatchExactly);
    if (!selectFile.empty() && !found.isEmpty()) files->setCurrentItem(found.front());
    ok->setEnabled(files->currentItem() != nullptr);
  };
  const auto roots = session_.pickerRoots();
  for (const auto& r : roots) rootBox->addItem(q(r));
  connect(rootBox, &QComboBox::currentIndexChanged, this, [this, rootBox, place, listFolder](int) {
    place->root = withoutTrailingSlash(session_.expand(s8(rootBox->currentText())));
    listFolder(place->root, "");
  });
  connect(folders, &QListWidget::itemClicked, this, [place, files, ok](QListWidgetItem* it) {
    if (it->text() == q(kUpFolder)) return;
    auto listing = listPickerFolder(joinPath(place->folder, s8(it->text())), false);
    files->clear();
    for (const auto& f : listing.files) files->addItem(q(f));
    ok->setEnabled(false);
  });
  connect(folders, &QListWidget::itemDoubleClicked, this, [place, listFolder](QListWidgetItem* it) {
    if (it->text() == q(kUpFolder))
      listFolder(parentOf(place->folder), "");
    else
      listFolder(joinPath(place->folder, s8(it->text())), "");
  });
  connect(files, &QListWidget::itemClicked, this, [ok] { ok->setEnabled(true); });
  connect(buttons, &QDialogButtonBox::rejected, this, [this] {
    pickWaiting_ = false;
    showPage(4);
  });
  connect(buttons, &QDialogButtonBox::accepted, this, [this, place, folders, files, rootBox] {
    if (!files->currentItem()) return;
    std::string folder = place->folder;
    if (auto* f = folders->currentItem(); f && f->text() != q(kUpFolder)) folder = joinPath(folder, s8(f->text()));
    picked_ = session_.pickedPath(s8(rootBox->currentText()), joinPath(folder, s8(files->currentItem()->text())));
    pickWaiting_ = true;
    showPage(4);
  });
  // Show the field's current note: its root, its folder and its file.
  const std::string current = pickField_ >= 0 ? session_.perpetualText(pickField_) : std::string();
  int rootIndex = 0;
  for (int i = 0; i < static_cast<int>(roots.size()); ++i) {
    const std::string expanded = withoutTrailingSlash(session_.expand(roots[static_cast<std::size_t>(i)]));
    if (!current.empty() && (startsWithNoCase(current, roots[static_cast<std::size_t>(i)]) ||
                             startsWithNoCase(current, expanded + "/")))
      rootIndex = i;
  }
  {
    QSignalBlocker block(rootBox);
    rootBox->setCurrentIndex(roots.empty() ? -1 : rootIndex);
  }
  if (roots.empty()) return;
  place->root = withoutTrailingSlash(session_.expand(roots[static_cast<std::size_t>(rootIndex)]));
  std::string file = current.empty() ? std::string() : s8(q(current).section('/', -1));
  std::string folder = current.empty() ? place->root : session_.expand(parentOf(current));
  if (!startsWithNoCase(folder, place->root)) folder = place->root;
  listFolder(folder, file);
}

// ---------------------------------------------------------------- the other pages

void ConfigureDialog::buildExternal(QVBoxLayout* l) {
  auto* pick = new QPushButton(". . .");
  pick->setObjectName("pickProgram");
  auto* program = addField(l, setting::ExternalProgramExe, pick);
  connect(pick, &QPushButton::clicked, this, [this, program] {
    QString f = QFileDialog::getOpenFileName(this, "Open", "/", "Applications (*)");
    if (!f.isEmpty()) program->setText(f);
  });
  addField(l, setting::ExternalProgramArgs);
  addField(l, setting::ExternalProgramAlias);
  auto* help = new QLabel(
      "$fullfile          full path and filename\n$filename      filename with extension\n"
      "$filebase       filename without extension\n$filepath       file directory\n"
      "$request       request text from user\n$storetxt      request text and reuse\n"
      "$date            current date\n$time             current time in 12 hour \n"
      "$24time         current time in 24 hour");
  l->addWidget(help);
  footer(l, "Rightclick on a file in the File List to send to this program");
}

void ConfigureDialog::buildSpreadsheet(QVBoxLayout* l) {
  addFlag(l, setting::SSMakeChangeBackups);
  addFlag(l, setting::SSNeverSort);
  footer(l, "Settings which affect CSV spreadsheets");
}

void ConfigureDialog::buildDates(QVBoxLayout* l) {
  addField(l, setting::MultibarDateTemplate);
  addField(l, setting::NoteDateTemplate);
  addField(l, setting::SpreadsheetDateTemplate);
  footer(l, "Customze the F5 date string formatting");
  auto* legend = new QLabel(
      "yyyy  year       yy   3rd and 4th digits of the year\n"
      "MMMM  January    MMM  Jan    MM  01    M  1\n"
      "dddd  Monday     ddd  Mon    dd  01    d  1\n"
      "HH    16         H    16     (24 hour)\n"
      "hh    04         h    4      (12 hour)\n"
      "mm    01         m    1      ss  01    s  1\n"
      "tt    AM/PM      t    A/P");
  legend->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  l->addWidget(legend);
}

// ---------------------------------------------------------------- OK and Cancel

void ConfigureDialog::accept() {
  const int shown = current_;
  leavePage();
  if (auto m = session_.validate()) {
    say(this, *m);
    const int page = m->page >= 0 ? m->page : (shown == kNotePickerPage ? 4 : shown);
    if (page >= 0) showPage(page);
    return;
  }
  QDialog::accept();
}

void ConfigureDialog::reject() {
  writers_.clear();
  QDialog::reject();
}

bool ui::QtDialogs::configure(ConfigureSession& session) {
  ConfigureDialog dialog(session, parent_);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace vm
