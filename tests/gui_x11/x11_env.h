#pragma once
// Set by the x11 test main: a private Xvfb runs and the xcb platform is in use.
// Beside it, what the tests use to reach other programs' windows with the
// real pointer.
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace vm::test {
extern bool x11Ready;

// Runs xdotool with these arguments and waits for it; true when it succeeded.
inline bool xdotool(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  if (!p.waitForFinished(10000)) return false;
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The window id of the first visible window of that title, waiting up to
// 10 s for it while this process's events go on; empty when none showed.
inline QString waitForWindow(const QString& title) {
  QProcess search;
  search.start(QStringLiteral("xdotool"), {"search", "--sync", "--onlyvisible", "--name", title});
  QElapsedTimer wait;
  wait.start();
  while (search.state() != QProcess::NotRunning && wait.elapsed() < 10000) QTest::qWait(20);
  if (search.state() != QProcess::NotRunning) search.kill();
  return QString::fromLatin1(search.readAllStandardOutput()).trimmed().section('\n', 0, 0);
}

// A press at from, a walk in steps to to, and a release there, all in one
// xdotool run so that this process's event loop (and a drag's own loop
// inside it) goes on meanwhile. With ctrl the key is held throughout.
inline QStringList dragGesture(QPoint from, QPoint to, bool ctrl) {
  QStringList g{"mousemove", QString::number(from.x()), QString::number(from.y())};
  if (ctrl) g << "keydown" << "ctrl";
  g << "mousedown" << "1" << "sleep" << "0.3";
  const int steps = 12;
  for (int i = 1; i <= steps; ++i) {
    const QPoint at = from + (to - from) * i / steps;
    g << "mousemove" << QString::number(at.x()) << QString::number(at.y()) << "sleep" << "0.1";
  }
  g << "sleep" << "0.4" << "mouseup" << "1";
  if (ctrl) g << "keyup" << "ctrl";
  return g;
}

}  // namespace vm::test
