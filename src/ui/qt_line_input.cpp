#include "ui/qt_line_input.h"

#include <QInputDialog>
#include <QLineEdit>

#include "platform/limits.h"
#include "platform/text.h"

namespace vm::ui {

std::optional<std::string> QtLineInput::ask(const std::string& prompt, const std::string& initial) {
  QInputDialog dialog(parent_);
  dialog.setWindowTitle(QStringLiteral("Vellumark"));
  dialog.setLabelText(QString::fromStdString(displayUtf8(prompt)));
  dialog.setTextValue(QString::fromStdString(displayUtf8(initial)));
  dialog.setInputMode(QInputDialog::TextInput);
  if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(static_cast<int>(limits::kText));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return cutUtf8(dialog.textValue().toStdString(), limits::kText);
}

}  // namespace vm::ui
