#include "ui/properties_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vm::ui {

namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

PropertiesDialog::PropertiesDialog(const PathProperties& p, QWidget* parent) : QDialog(parent) {
  const std::string name = QFileInfo(qs(p.path)).fileName().toStdString();
  setWindowTitle(QStringLiteral("Properties of ") + qs(name.empty() ? p.path : name));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  auto add = [&](const char* row, const std::string& text) {
    if (text.empty()) return;
    auto* label = new QLabel(qs(text), this);
    label->setObjectName(QString::fromLatin1(row));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    form->addRow(QString::fromLatin1(row) + QLatin1Char(':'), label);
  };
  add("Path", p.path);
  add("Error", p.error);
  add("Kind", p.kind);
  add("Size", p.size);
  add("Modified", p.modified);
  add("Permissions", p.permissions);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

QString PropertiesDialog::value(const QString& row) const {
  auto* label = findChild<QLabel*>(row);
  return label ? label->text() : QString();
}

void showPropertiesDialog(const std::string& path, QWidget* parent) {
  PropertiesDialog dialog(describePath(path), parent);
  dialog.exec();
}

}  // namespace vm::ui
