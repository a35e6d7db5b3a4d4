#include "ui/keywords_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/text.h"

namespace vm::ui {

namespace {
QString display(const std::string& utf8) { return QString::fromUtf8(displayUtf8(utf8)); }
}  // namespace

KeywordsDialog::KeywordsDialog(KeywordsDialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("keywordsDialog"));
  setWindowTitle(display(model.title()));
  combo_ = new QComboBox(this);
  combo_->setObjectName(QStringLiteral("keywordChoices"));
  combo_->setEditable(true);
  combo_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& k : model.choices()) combo_->addItem(display(k));
  combo_->setCurrentIndex(-1);
  combo_->setEditText(QString());
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("keywordList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* addButton = new QPushButton(QStringLiteral("Add"), this);
  addButton->setObjectName(QStringLiteral("keywordAdd"));
  auto* deleteButton = new QPushButton(QStringLiteral("Delete"), this);
  deleteButton->setObjectName(QStringLiteral("keywordDelete"));
  auto* okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setObjectName(QStringLiteral("keywordOk"));
  addButton->setAutoDefault(false);
  deleteButton->setAutoDefault(false);
  okButton->setAutoDefault(false);
  connect(addButton, &QPushButton::clicked, this, &KeywordsDialog::add);
  connect(deleteButton, &QPushButton::clicked, this, &KeywordsDialog::removeSelected);
  connect(okButton, &QPushButton::clicked, this, &KeywordsDialog::ok);
  // Enter in the drop-down's field adds what was typed.
  connect(combo_->lineEdit(), &QLineEdit::returnPressed, this, &KeywordsDialog::add);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(addButton);
  buttons->addWidget(deleteButton);
  buttons->addStretch(1);
  buttons->addWidget(okButton);
  auto* left = new QVBoxLayout;
  left->addWidget(combo_);
  left->addWidget(list_, 1);
  auto* row = new QHBoxLayout(this);
  row->addLayout(left, 1);
  row->addLayout(buttons);
  resize(360, 300);
  fill(-1);
}

void KeywordsDialog::fill(int select) {
  list_->clear();
  for (const std::string& k : model_.entries()) list_->addItem(display(k));
  if (select >= 0 && select < list_->count()) list_->setCurrentRow(select);
}

void KeywordsDialog::add() {
  const int at = model_.add(combo_->currentText().toStdString());
  if (at < 0) return;
  fill(at);
  combo_->setEditText(QString());
}

void KeywordsDialog::removeSelected() {
  const QList<QListWidgetItem*> chosen = list_->selectedItems();
  if (chosen.isEmpty()) return;
  model_.remove(list_->row(chosen.first()));
  fill(-1);
}

void KeywordsDialog::ok() {
  model_.ok();
  accept();
}

void KeywordsDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace vm::ui
