// The Configure dialog in the real widgets, opened from the File menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "core/commands.h"
#include "gui_test_util.h"
#include "ui/configure_dialog.h"

namespace vm::ui {
namespace {

class ConfigureDialogTest : public test::ShellTest {
 protected:
  template <class T>
  static T* field(ConfigureDialog& d, const char* name) {
    auto* w = d.pageWidget() ? d.pageWidget()->findChild<T*>(name) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Runs `inDialog` on the next modal dialog (Add New Root, a message box) once it shows.
  static void onModal(std::function<void(QWidget*)> inDialog) {
    QTimer::singleShot(0, [inDialog] {
      QWidget* m = QApplication::activeModalWidget();
      EXPECT_NE(m, nullptr);
      if (m) inDialog(m);
    });
  }
  void runMenu(int id) {
    auto* a = win->findChild<QAction*>(QStringLiteral("menu%1").arg(id));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(), "   &Configure");
    a->trigger();
  }
};

TEST_F(ConfigureDialogTest, ThreePagesChangedAndTheWindowFollows) {
  h.ini("[General]\nAutoSave=2\n; my own note\nMyKey=stays\nUseStatBar=no\n");
  const std::string more = h.dir.mkdir("more").string();
  start();
  QString family;
  bool ran = false;
  h.dialogs.configureUser = [&](ConfigureSession& s) {
    ConfigureDialog d(s, win.get());
    d.show();
    EXPECT_EQ(d.currentPage(), -1);
    auto* pages = d.findChild<QTreeWidget*>("Pages");
    EXPECT_EQ(pages->topLevelItemCount(), 8);

    // Roots: Add New Root, first refused without an alias, then added.
    d.showPage(3);
    onModal([&](QWidget* add) {
      EXPECT_EQ(add->windowTitle(), "Add New Root");
      add->findChild<QLineEdit*>("Path")->setText(QString::fromStdString(more));
      add->findChild<QLineEdit*>("Default extension")->setText("md");
      onModal([](QWidget* box) {
        EXPECT_EQ(box->windowTitle(), "Required");
        static_cast<QDialog*>(box)->accept();
      });
      add->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      EXPECT_TRUE(add->isVisible());  // still open after the refusal
      add->findChild<QLineEdit*>("Alias")->setText("More");
      add->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    for (auto* b : d.pageWidget()->findChildren<QPushButton*>())
      if (b->text() == "Add") b->click();
    auto* roots = field<QTreeWidget>(d, "Roots");
    EXPECT_EQ(roots->topLevelItemCount(), 1);

    // Text Viewer: a font of the font database and a size.
    d.showPage(1);
    auto* font = field<QComboBox>(d, "NoteFont");
    EXPECT_GT(font->count(), 0);
    font->setCurrentIndex(0);
    family = font->currentText();
    field<QComboBox>(d, "NoteFontSize")->setCurrentText("14");

    // General: autosave, and the count boxes follow "Use Status bar".
    d.showPage(0);
    field<QLineEdit>(d, "AutoSave")->setText("7");
    auto* statBar = field<QCheckBox>(d, "UseStatBar");
    auto* words = field<QCheckBox>(d, "NoteShowWordCount");
    EXPECT_FALSE(words->isEnabled());
    statBar->setChecked(true);
    EXPECT_TRUE(words->isEnabled());
    statBar->setChecked(false);

    // Back on the roots page: the new row is still there.
    d.showPage(3);
    EXPECT_EQ(field<QTreeWidget>(d, "Roots")->topLevelItemCount(), 1);
    d.showPage(0);
    EXPECT_EQ(field<QLineEdit>(d, "AutoSave")->text(), "7");
    d.accept();
    ran = true;
    return d.result() == QDialog::Accepted;
  };
  runMenu(cmd::kConfigure);
  ASSERT_TRUE(ran);

  const std::string ini = h.iniText();
  EXPECT_NE(ini.find("AutoSave=7\n; my own note\nMyKey=stays\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find(more + "=More;.md"), std::string::npos) << ini;
  EXPECT_NE(ini.find("NoteFontSize=14"), std::string::npos) << ini;
  EXPECT_NE(ini.find("UseStatBar=no\n"), std::string::npos) << ini;  // touched and put back: not rewritten
  EXPECT_NE(ini.find("ExpertMode=0\n"), std::string::npos) << ini;  // absent flags of a shown page are written
  auto* rootList = win->findChild<QComboBox*>("rootList");
  ASSERT_NE(rootList, nullptr);
  EXPECT_GE(rootList->findText("More"), 0);
  auto* note = win->findChild<QPlainTextEdit*>("noteEditor");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->font().family(), family);
  EXPECT_EQ(note->font().pixelSize(), 14);
}

TEST_F(ConfigureDialogTest, BadNumberKeepsTheDialogOpenAndCancelWritesNothing) {
  h.ini("[General]\nAutoSave=2\n");
  start();
  const std::string before = h.iniText();
  h.dialogs.configureUser = [&](ConfigureSession& s) {
    ConfigureDialog d(s, win.get());
    d.show();
    d.showPage(0);
    field<QLineEdit>(d, "AutoSave")->setText("soon");
    d.showPage(6);
    onModal([](QWidget* box) {
      EXPECT_EQ(box->windowTitle(), "Error");
      static_cast<QDialog*>(box)->accept();
    });
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Rejected);  // not closed with OK
    EXPECT_EQ(d.currentPage(), 0);              // the page with the bad value
    EXPECT_EQ(field<QLineEdit>(d, "AutoSave")->text(), "soon");
    d.reject();
    return d.result() == QDialog::Accepted;
  };
  runMenu(cmd::kConfigure);
  EXPECT_EQ(h.iniText(), before);
}

}  // namespace
}  // namespace vm::ui
