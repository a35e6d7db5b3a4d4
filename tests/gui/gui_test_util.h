#pragma once
// The whole program in one window, built as the program builds it: the Qt
// shell's ports (fake desktop and dialogs: nothing may wait for a user), the
// App, its main window, start-up and show.
#include <gtest/gtest.h>

#include <QListView>
#include <QTest>
#include <filesystem>
#include <memory>

#include "fakes/fake_ports.h"
#include "ui/main_window.h"
#include "ui/shell.h"

namespace vm::test {

class ShellTest : public ::testing::Test {
 protected:
  void start() {
    // A window test is no first start (that would show the help) unless it asks.
    if (!firstStart && !std::filesystem::exists(h.env.home / "vellumark.ini")) h.ini("[General]\n");
    AppPorts ports = shell.ports();
    ports.desktop = &h.desktop;
    ports.dialogs = &h.dialogs;
    app = std::make_unique<App>(h.env, ports);
    win = std::make_unique<ui::MainWindow>(*app);
    shell.connect(*app, *win);
    shell.windowPort.setQuitHandler([this] { ++quits; });
    app->startUp();
    win->showAtStart();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
  }
  // Clicks the row showing name in the list view of that object name.
  void click(const char* list, const QString& name) {
    auto* v = win->findChild<QListView*>(list);
    ASSERT_NE(v, nullptr) << list;
    const QModelIndexList hit = v->model()->match(v->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    ASSERT_EQ(hit.size(), 1) << name.toStdString();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(hit.first()).center());
  }

  AppHarness h;
  ui::QtShell shell;  // before the App, which holds its ports
  std::unique_ptr<App> app;
  std::unique_ptr<ui::MainWindow> win;  // goes before the App it shows
  int quits = 0;
  bool firstStart = false;  // start() keeps a missing INI missing
};

}  // namespace vm::test
