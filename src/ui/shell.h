#pragma once
// The Qt side of the program in one place: the ports the core talks to, and
// their hook-up to the window once both exist. Declare the shell before the
// App that holds its ports, so that the App goes first.
#include "core/app.h"
#include "ui/main_window.h"
#include "ui/qt_ports.h"
#include "ui/qt_sheet_view.h"
#include "ui/qt_web_view.h"

namespace vm::ui {

struct QtShell {
  QtClock clock;
  QtTimers timers;
  QtWindowPort windowPort;
  QtDesktop desktop;
  QtDialogs dialogs;
  QtTextEditor editor;
  QtLineEditor multibar;
  QtWebView web;
  QtSheetView sheet;
  QtPump pump;

  AppPorts ports() {
    return {&clock, &timers, &windowPort, &desktop, &dialogs, &editor, &multibar, &web, &sheet, &pump};
  }

  // Timer ticks, the editor's, the Multibar's, the web view's and the
  // sheet's reports go to app; the ports take the window's widgets.
  void connect(App& app, MainWindow& window);
};

}  // namespace vm::ui
