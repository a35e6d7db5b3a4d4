#include "ui/qt_ports.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <chrono>

namespace vm::ui {

std::int64_t QtClock::nowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

QtTimers::QtTimers(QObject* parent) : QObject(parent) {}

void QtTimers::start(int id, int periodMs) {
  QTimer*& t = timers_[id];
  if (!t) {
    t = new QTimer(this);
    t->setTimerType(periodMs < 50 ? Qt::PreciseTimer : Qt::CoarseTimer);
    connect(t, &QTimer::timeout, this, [this, id] {
      if (tick_) tick_(id);
    });
  }
  t->start(periodMs < 0 ? 0 : periodMs);
}

void QtTimers::stop(int id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

bool QtTimers::isRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int QtTimers::interval(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? -1 : it->second->interval();
}

bool QtWindowPort::isForeground() { return window_ && window_->isActiveWindow(); }

void QtWindowPort::setStayOnTop(bool on) {
  if (window_) applyStayOnTop(window_, on);
}

void QtWindowPort::applyStayOnTop(QWidget* w, bool on) {
  if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const bool visible = w->isVisible();
  const Qt::WindowStates state = w->windowState();
  const QRect normal = w->normalGeometry().isValid() ? w->normalGeometry() : w->geometry();
  // Changing a window flag hides the window; put it back where it was.
  w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  w->setGeometry(normal);
  w->setWindowState(state);
  if (visible) {
    w->show();
    if (on) {
      w->raise();
      w->activateWindow();
    }
  }
}

void QtWindowPort::quit() {
  if (quit_) {
    quit_();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

bool QtDesktop::startInstance(const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  return QProcess::startDetached(QCoreApplication::applicationFilePath(), list);
}

void QtDialogs::information(const std::string& title, const std::string& text) {
  QMessageBox::information(parent_, QString::fromStdString(title), QString::fromStdString(text));
}

bool QtDialogs::confirm(const std::string& title, const std::string& text) {
  return QMessageBox::question(parent_, QString::fromStdString(title), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace vm::ui
