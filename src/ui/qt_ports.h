#pragma once
// Qt implementations of the ports the core talks to: the clock, the main
// window's timers, the window itself, desktop services and message boxes.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>

#include "platform/ports.h"

class QTimer;

namespace vm::ui {

class QtClock : public Clock {
 public:
  std::int64_t nowNs() override;
};

// One QTimer per timer id; each timeout calls the tick function with the id.
// The tick function is set once the App exists (the App needs the timers
// when it is built).
class QtTimers : public QObject, public Timers {
  Q_OBJECT
 public:
  explicit QtTimers(QObject* parent = nullptr);
  void setTick(std::function<void(int)> tick) { tick_ = std::move(tick); }

  void start(int id, int periodMs) override;
  void stop(int id) override;

  bool isRunning(int id) const;
  int interval(int id) const;  // -1 when the timer was never started

 private:
  std::function<void(int)> tick_;
  std::map<int, QTimer*> timers_;
};

// The main window as the core sees it. The window is attached after it is
// built; until then the port answers "not in front" and ignores requests.
class QtWindowPort : public WindowPort {
 public:
  void setWindow(QWidget* w) { window_ = w; }
  // What quit() does; by default leaves the application's event loop
  // (queued, so that the caller finishes first).
  void setQuitHandler(std::function<void()> f) { quit_ = std::move(f); }

  bool isForeground() override;
  void setStayOnTop(bool on) override;
  void quit() override;

  // Sets or clears the stay-on-top hint keeping the window's geometry.
  static void applyStayOnTop(QWidget* w, bool on);

 private:
  QPointer<QWidget> window_;
  std::function<void()> quit_;
};

class QtDesktop : public Desktop {
 public:
  // Starts this program's own executable again, detached.
  bool startInstance(const std::vector<std::string>& args) override;
};

class QtDialogs : public Dialogs {
 public:
  void setParent(QWidget* w) { parent_ = w; }
  void information(const std::string& title, const std::string& text) override;
  bool confirm(const std::string& title, const std::string& text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vm::ui
