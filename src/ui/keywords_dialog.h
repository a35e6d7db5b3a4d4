#pragma once
// The Keywords dialog: a drop-down of every keyword used (with an edit
// field), the file's keywords in a list, and Add, Delete and OK. What the
// buttons do is the model's; the dialog draws it. It has no Cancel: Escape
// and the close box do nothing, only OK ends it.
#include <QDialog>

#include "platform/ports.h"

class QComboBox;
class QListWidget;

namespace vm::ui {

class KeywordsDialog : public QDialog {
  Q_OBJECT
 public:
  KeywordsDialog(KeywordsDialogModel& model, QWidget* parent = nullptr);

  void add();
  void removeSelected();
  void ok();

 protected:
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;

 private:
  void fill(int select);

  KeywordsDialogModel& model_;
  QComboBox* combo_ = nullptr;
  QListWidget* list_ = nullptr;
};

}  // namespace vm::ui
