#pragma once
// The Qt side of the program in one place: the ports the core talks to, and
// their hook-up to the window once both exist. Declare the shell before the
// App that holds its ports, so that the App goes first.
#include "app/app.h"
#include "ui/main_window.h"
#include "ui/qt_line_input.h"
#include "ui/qt_ports.h"
#include "ui/qt_sheet_view.h"
#include "ui/qt_web_view.h"

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace vm::ui {

// SIGTERM, SIGHUP and SIGINT reach the event loop instead of ending the
// process on the spot: the handler only writes the signal's number into a
// pipe, and the loop reads it and calls onSignal, so the program can save
// what the user typed before it ends. One instance per process.
class ShutdownSignals : public QObject {
  Q_OBJECT
 public:
  explicit ShutdownSignals(QObject* parent = nullptr);
  ~ShutdownSignals() override;
  // False when the pipe or a handler could not be set up (the signals then
  // keep their default action).
  bool install();
  std::function<void(int signal)> onSignal;

 private:
  void readPipe();
  QSocketNotifier* notifier_ = nullptr;
};

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
  QtClipboard clipboard;
  QtLineInput lineInput;

  AppPorts ports() {
    return {&clock,     &timers, &windowPort, &desktop, &dialogs, &editor,
            &multibar,  &web,    &sheet,      &pump,    &clipboard, &lineInput};
  }

  // Timer ticks, the editor's, the Multibar's, the web view's and the
  // sheet's reports go to app; the ports take the window's widgets.
  void connect(App& app, MainWindow& window);
};

}  // namespace vm::ui
