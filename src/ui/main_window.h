#pragma once
// The main window: toolbar row with the Multibar, the viewer area on the
// left, the navigation column (Root List, current-folder label, Folder List,
// File List) on the right, and the status area. Everything it shows comes
// from the App's models; everything the user does goes back to the App.
#include <QMainWindow>
#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <vector>

#include "app/app.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QShortcut;
class QSplitter;
class QTimer;
class QToolBar;
class QWidgetAction;

namespace vm::ui {

class CoreListModel;
class FileListDrag;
class ListViewBinding;
class NoteEdit;
class QtWebView;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(App& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Run once App::startUp has finished: draws every model, places the
  // window as stored (or at the default size) and shows it.
  void showAtStart();
  // Redraws menus, toolbar, Root List, label, tips, status and title from
  // the App's models.
  void refreshAll();

  // Saves a picture of the window as PNG; false when it cannot be written.
  bool saveScreenshot(const QString& file);
  // True while something the window shows is still arriving: a page or a
  // spreadsheet loading.
  bool loading() const;
  // True when the shown page has been drawn (not one colour any more), or
  // when no page is shown.
  bool pageDrawn() const;
  // Off: the window's size and place are not stored (a picture taken on a
  // screen of another size must not move the user's window).
  void setStorePlacement(bool on) { storePlacement_ = on; }

  // Picture of a toolbar image number (0 to 10).
  static QIcon toolbarIcon(int picture);

  // Starts the in-place edit of a list item's label (control: the Folder
  // List's or the File List's id).
  void editLabel(int control, int index);

  // The widgets the editor ports work on.
  NoteEdit* noteEditor() const { return noteEditor_; }
  QLineEdit* multibar() const { return multibar_; }
  // The viewer area's place for the web view (hidden unless the web viewer shows).
  QWidget* webHost() const { return webHost_; }
  // The web view port that draws into webHost, for loading() and pageDrawn().
  void setWebView(QtWebView* web) { web_ = web; }
  // The viewer area's place for the spreadsheet's table (shown with the sheet viewer).
  QWidget* sheetHost() const { return sheetHost_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildPanes();
  void connectApp();

  void rebuildMenus();
  bool updateMenusInPlace();
  void menusChanged();
  void rebuildToolbar();
  bool updateToolbarInPlace();
  void toolbarChanged();
  void scheduleRebuild();
  void runCommand(int id);
  int commandDepth_ = 0;             // commands running (one inside another through the pump)
  bool rebuildAfterCommand_ = false;  // a rebuild waits for the running command
  void rebuildShortcuts();
  bool multibarKey(QEvent* event);
  void showViewer();
  void applyNoteLook();
  bool windowKey(QEvent* event);

  void refillRootList();
  void updateFolderLabel();
  void updatePaneTips();
  void updateStatus();
  void ensureStatusBar();
  void placeMessageField();

  int wantedListWidth();
  void splitterReleased();
  void retakeKeyboard();
  void schedulePlacement();
  void storePlacement();

  App& app_;
  bool started_ = false;
  bool rebuildPending_ = false;
  int retakeTries_ = 0;
  bool storePlacement_ = true;

  QToolBar* toolbar_ = nullptr;
  QLineEdit* multibar_ = nullptr;
  QWidgetAction* multibarAction_ = nullptr;
  std::vector<QAction*> toolActions_;  // in the toolbar model's order, null for spacers
  std::string toolbarShape_;

  std::vector<QMenu*> menus_;
  std::vector<QAction*> menuActions_;  // every menu item in the model's order
  std::string menuShape_;
  std::vector<QShortcut*> shortcuts_;  // accelerators that are no menu item's shortcut
  QList<QKeySequence> windowKeys_;     // every key of a menu item or accelerator

  QSplitter* splitter_ = nullptr;
  QWidget* viewerArea_ = nullptr;
  NoteEdit* noteEditor_ = nullptr;
  QWidget* webHost_ = nullptr;
  QtWebView* web_ = nullptr;
  QWidget* sheetHost_ = nullptr;
  QWidget* viewerPlaceholder_ = nullptr;  // stands for the viewers not drawn yet
  QLabel* messageField_ = nullptr;
  QFont defaultNoteFont_;
  QWidget* navColumn_ = nullptr;
  QComboBox* rootList_ = nullptr;
  QLabel* folderLabel_ = nullptr;
  QListView* folderList_ = nullptr;
  QListView* fileList_ = nullptr;
  CoreListModel* folderModel_ = nullptr;
  CoreListModel* fileModel_ = nullptr;
  ListViewBinding* folderBinding_ = nullptr;
  ListViewBinding* fileBinding_ = nullptr;
  FileListDrag* fileDrag_ = nullptr;

  QLabel* statusMessage_ = nullptr;
  QLabel* charCounter_ = nullptr;
  QLabel* wordCounter_ = nullptr;

  QTimer* placementTimer_ = nullptr;
};

}  // namespace vm::ui
