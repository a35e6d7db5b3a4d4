#pragma once
// The Configure dialog: a page list on the left, one page at a time on the
// right. A page reads its values from the session when it is built and
// writes them back when it is left (another page chosen, or OK).
#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "core/configure.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class QWidget;

namespace vm {

class ConfigureDialog : public QDialog {
  Q_OBJECT
 public:
  ConfigureDialog(ConfigureSession& session, QWidget* parent = nullptr);

  // Shows page number page (0..7 from the list, 8 the note picker).
  void showPage(int page);
  int currentPage() const { return current_; }
  QWidget* pageWidget() const { return page_; }

  void accept() override;
  void reject() override;

 private:
  void leavePage();
  void buildGeneral(QVBoxLayout* l);
  void buildTextViewer(QVBoxLayout* l);
  void buildWebBrowser(QVBoxLayout* l);
  void buildRoots(QVBoxLayout* l);
  void buildPerpetual(QVBoxLayout* l);
  void buildNotePicker(QVBoxLayout* l);
  void buildExternal(QVBoxLayout* l);
  void buildSpreadsheet(QVBoxLayout* l);
  void buildDates(QVBoxLayout* l);
  // A check box or a labelled field bound to a key: read now, written on leave.
  QCheckBox* addFlag(QVBoxLayout* l, const SettingDef& d);
  QLineEdit* addField(QVBoxLayout* l, const SettingDef& d, QWidget* trailing = nullptr);
  void footer(QVBoxLayout* l, const char* text);
  // Add New Root (row -1) or Edit (row >= 0).
  void rootDialog(QTreeWidget* list, int row);
  void fillRoots(QTreeWidget* list);

  ConfigureSession& session_;
  QTreeWidget* pages_ = nullptr;
  QWidget* area_ = nullptr;
  QPointer<QWidget> page_;
  int current_ = -1;
  std::vector<std::function<void()>> writers_;  // run when the page is left
  // Note picker state: the Perpetual field that asked (0..2, -1 none), whether a pick waits, the pick.
  int pickField_ = -1;
  bool pickWaiting_ = false;
  std::string picked_;
};

}  // namespace vm
