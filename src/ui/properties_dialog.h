#pragma once
// The Properties dialog of a file or folder: path, kind, size, modified
// time and permissions, read-only, with one Close button.
#include <QDialog>

#include "browse/path_properties.h"

class QLabel;

namespace vm::ui {

class PropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PropertiesDialog(const PathProperties& props, QWidget* parent = nullptr);

  // The shown value of a row ("Path", "Kind", "Size", "Modified",
  // "Permissions", "Error"); empty when the row is not shown.
  QString value(const QString& row) const;
};

// Describes path and shows the dialog modally over parent.
void showPropertiesDialog(const std::string& path, QWidget* parent);

}  // namespace vm::ui
